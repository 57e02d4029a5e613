#pragma once

#include <cstdint>
#include <vector>

#include "core/files/file_access.hpp"

namespace vips {

// The first `limit` bytes of `file` (all of them when it is shorter), read
// from position 0 without moving the file's own position.
std::vector<std::uint8_t> ReadFileStart(ExistingFile& file, std::uint64_t limit);

}  // namespace vips
