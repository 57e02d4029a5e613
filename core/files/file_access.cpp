#include "core/files/file_access.hpp"

#include "core/error.hpp"

namespace vips {

std::string IoErrorText(int systemError) {
  return "I/O error " + std::to_string(systemError);
}

ExistingFile ExistingFile::Open(const std::string& path) {
  return OpenWithAccess(path, true);
}

ExistingFile ExistingFile::OpenForReading(const std::string& path) {
  return OpenWithAccess(path, false);
}

void ExistingFile::Fail(const std::string& text) const {
  throw Error(text, path_);
}

}  // namespace vips
