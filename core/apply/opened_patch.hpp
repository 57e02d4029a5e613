#pragma once

#include <optional>
#include <string>

#include "core/files/file_access.hpp"
#include "core/ips/reader.hpp"

namespace vips {

// The two files that the loader and the applier hold while they walk a
// patch: the patch, read past its header, and the original file.
struct OpenedPatch {
  IpsReader reader;
  ExistingFile original;
};

// Opens the patch file, for reading only, and tests its header; only a patch
// with a valid header has the original file opened after it, so a missing or
// read-only original is reported only for a real patch. A rejected header
// gives nothing, with the patch file closed again and the original never
// opened.
// A file that cannot be opened throws vips::Error.
[[nodiscard]] std::optional<OpenedPatch> OpenPatchThenOriginal(const std::string& patchPath,
                                                               const std::string& originalPath);

}  // namespace vips
