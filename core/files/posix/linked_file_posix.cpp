#include <sys/stat.h>

#include <cstdlib>
#include <memory>

#include "core/files/path_names.hpp"

namespace vips {

std::string FileBehindLinks(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
  const std::unique_ptr<char, decltype(&std::free)> target(::realpath(path.c_str(), nullptr),
                                                           &std::free);
  return target ? std::string(target.get()) : path;
}

}  // namespace vips
