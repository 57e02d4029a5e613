#pragma once

#include <vector>

#include "core/file_access.hpp"
#include "core/patch_image.hpp"

namespace vips {

// For each record of `patch`, whether `file` already holds it: every byte
// the record writes has that value in the file. A record that reaches past
// the end of the file is not held; one that writes no byte (a run of length
// 0) is. Each record is judged alone, against the file as it is.
std::vector<bool> HeldRecords(const PatchImage& patch, ExistingFile& file);

}  // namespace vips
