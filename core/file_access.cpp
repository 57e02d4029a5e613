#include "core/file_access.hpp"

namespace vips {

std::string IoErrorText(int systemError) {
  return "I/O error " + std::to_string(systemError);
}

}  // namespace vips
