#include "core/apply/opened_patch.hpp"

#include <utility>

namespace vips {

std::optional<OpenedPatch> OpenPatchThenOriginal(const std::string& patchPath,
                                                 const std::string& originalPath) {
  // The patch is only ever read, so a read-only patch is as good as any.
  IpsReader reader(ExistingFile::OpenForReading(patchPath));
  if (!reader.ReadHeader()) {
    reader.Close();
    return std::nullopt;
  }
  ExistingFile original = ExistingFile::Open(originalPath);
  return OpenedPatch{std::move(reader), std::move(original)};
}

}  // namespace vips
