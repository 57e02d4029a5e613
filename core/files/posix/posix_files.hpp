#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/files/file_access.hpp"

namespace vips::posix {

// The file layer's text for a system error number ("Disk full", "I/O error 5").
std::string ErrorTextOf(int error);
// The text for a failed open of `path`: a missing file, or a missing folder.
std::string OpenErrorTextOf(const std::string& path, int error);
// Writes all `size` bytes at `position`, or after those written before when
// it is null; each piece is a write step, and errors throw with `path`.
void WriteAll(int handle, const void* buffer, std::size_t size, const std::string& path,
              const std::uint64_t* position = nullptr);

inline FileIdentity IdentityFrom(const struct stat& info) {
  return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

// The result of `call()`, a system call made again while a signal interrupts it.
template <typename Call>
auto Retrying(Call call) {
  for (;;) {
    const auto result = call();
    if (result >= 0 || errno != EINTR) return result;
  }
}

// open() with O_CLOEXEC | O_NOCTTY.
inline int Open(const std::string& path, int flags, mode_t mode = 0) {
  return Retrying([&] { return ::open(path.c_str(), flags | O_CLOEXEC | O_NOCTTY, mode); });
}

// The folder part of a path ("." when it names none).
inline std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Flushes `folder`, making the names made or removed in it durable: 0, or the
// system's error. One that cannot be flushed (EINVAL, EROFS) counts as flushed.
inline int FlushFolder(const std::string& folder) {
  const FileHandle handle(Open(folder, O_RDONLY | O_DIRECTORY));
  if (!handle.IsOpen()) return errno;
  const int error = ::fsync(handle.Get()) == 0 ? 0 : errno;
  return error == EINVAL || error == EROFS ? 0 : error;
}

}  // namespace vips::posix
