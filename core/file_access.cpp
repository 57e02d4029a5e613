#include "core/file_access.hpp"

#include "core/error.hpp"

namespace vips {

std::string IoErrorText(int systemError) {
  return "I/O error " + std::to_string(systemError);
}

void ExistingFile::Fail(const std::string& text) const {
  throw Error(text, path_);
}

}  // namespace vips
