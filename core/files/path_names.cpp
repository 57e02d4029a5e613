#include "core/files/path_names.hpp"

namespace vips {

std::string BareName(const std::string& path) {
#ifdef _WIN32
  const std::size_t separator = path.find_last_of("\\/:");
#else
  const std::size_t separator = path.find_last_of('/');
#endif
  return separator == std::string::npos ? path : path.substr(separator + 1);
}

std::string BackupPathOf(const std::string& originalPath) {
  return originalPath + "_backup";
}

}  // namespace vips
