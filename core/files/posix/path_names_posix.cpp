#include <dirent.h>
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

std::vector<std::string> OtherNamesInFolder(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || info.st_nlink < 2) return {};
  const std::unique_ptr<DIR, decltype(&::closedir)> folder(::opendir(posix::FolderOf(path).c_str()),
                                                           &::closedir);
  if (!folder) return {};
  const std::string name = BareName(path);
  const std::string prefix = path.substr(0, path.size() - name.size());
  std::vector<std::string> names;
  while (const dirent* entry = ::readdir(folder.get())) {
    const std::string other = entry->d_name;
    if (other == "." || other == ".." || other == name) continue;
    struct stat found {};
    if (::lstat((prefix + other).c_str(), &found) == 0 && S_ISREG(found.st_mode) &&
        found.st_dev == info.st_dev && found.st_ino == info.st_ino) {
      names.push_back(prefix + other);
    }
  }
  return names;
}

std::size_t NameLimitOf(const std::string& path) {
  const long limit = ::pathconf(posix::FolderOf(path).c_str(), _PC_NAME_MAX);
  return limit > 0 ? static_cast<std::size_t>(limit) : 255;
}

}  // namespace vips
