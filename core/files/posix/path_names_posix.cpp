#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "core/files/path_names.hpp"
#include "core/files/posix/posix_files.hpp"

namespace vips {

std::string FileBehindLinks(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
  const std::unique_ptr<char, decltype(&std::free)> target(::realpath(path.c_str(), nullptr),
                                                           &std::free);
  return target ? std::string(target.get()) : path;
}

std::size_t NameLimitOf(const std::string& path) {
  const long limit = ::pathconf(posix::FolderOf(path).c_str(), _PC_NAME_MAX);
  return limit > 0 ? static_cast<std::size_t>(limit) : 255;
}

}  // namespace vips
