#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <new>

#include "core/file_copy.hpp"

namespace vips {

namespace {

constexpr std::size_t kChunkSize = 64 * 1024;

// Closes a descriptor when it leaves scope.
class Descriptor {
 public:
  explicit Descriptor(int handle) : handle_(handle) {}
  ~Descriptor() {
    if (handle_ >= 0) ::close(handle_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;

  void Reset(int handle) {
    if (handle_ >= 0) ::close(handle_);
    handle_ = handle;
  }
  [[nodiscard]] int Get() const { return handle_; }
  [[nodiscard]] bool Valid() const { return handle_ >= 0; }
  // Closes now and tells whether the data reached the file system.
  bool Close() {
    const int handle = handle_;
    handle_ = -1;
    return ::close(handle) == 0 || errno == EINTR;
  }

 private:
  int handle_;
};

int OpenRetrying(const char* path, int flags, mode_t mode = 0) {
  int handle;
  do {
    handle = ::open(path, flags, mode);
  } while (handle < 0 && errno == EINTR);
  return handle;
}

bool WriteAll(int handle, const char* bytes, std::size_t size) {
  while (size > 0) {
    const ssize_t count = ::write(handle, bytes, size);
    if (count < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (count == 0) return false;
    bytes += count;
    size -= static_cast<std::size_t>(count);
  }
  return true;
}

bool CopyContents(int from, int to) {
  // The kernel copies without a trip through user space where it can; other
  // file systems fall back to plain reads and writes.
  for (;;) {
    const ssize_t count = ::copy_file_range(from, nullptr, to, nullptr, 1 << 30, 0);
    if (count == 0) return true;
    if (count > 0) continue;
    if (errno == EINTR) continue;
    if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ||
        errno == EBADF) {
      break;
    }
    return false;
  }
  // The copy reports failure instead of raising, also when memory is short.
  const std::unique_ptr<char[]> buffer(new (std::nothrow) char[kChunkSize]);
  if (!buffer) return false;
  for (;;) {
    const ssize_t count = ::read(from, buffer.get(), kChunkSize);
    if (count < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (count == 0) return true;
    if (!WriteAll(to, buffer.get(), static_cast<std::size_t>(count))) return false;
  }
}

bool IsStream(const struct stat& info) {
  return S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode);
}

// Back to ordinary waiting reads and writes once the file is known to be one.
bool Blocking(int handle) {
  const int flags = ::fcntl(handle, F_GETFL);
  return flags >= 0 && ::fcntl(handle, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

}  // namespace

bool CopyWholeFile(const std::string& from, const std::string& to) noexcept {
  if (from.empty() || to.empty()) return false;
  // A NUL would end the name early and name another file.
  if (from.find('\0') != std::string::npos || to.find('\0') != std::string::npos) return false;
  // Opened without waiting, so that a pipe in the way cannot hold the window
  // forever. Only a regular file has a whole to copy: a pipe or a device such
  // as /dev/zero would keep the copy going until the disk is full.
  Descriptor source(OpenRetrying(from.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!source.Valid()) return false;
  struct stat sourceInfo {};
  if (::fstat(source.Get(), &sourceInfo) != 0 || !S_ISREG(sourceInfo.st_mode) ||
      !Blocking(source.Get())) {
    return false;
  }

  // Open an existing destination without truncating it first: it may be the
  // source itself, or read-only, and must then stay as it is.
  bool created = false;
  Descriptor destination(OpenRetrying(to.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!destination.Valid()) {
    if (errno != ENOENT) return false;
    destination.Reset(
        OpenRetrying(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666));
    if (!destination.Valid()) return false;
    created = true;
  }
  struct stat destinationInfo {};
  if (::fstat(destination.Get(), &destinationInfo) != 0 || IsStream(destinationInfo) ||
      !Blocking(destination.Get())) {
    return false;
  }
  if (!created) {
    if (destinationInfo.st_dev == sourceInfo.st_dev &&
        destinationInfo.st_ino == sourceInfo.st_ino) {
      return false;
    }
    // Root may write a file whose write bits are all clear; such a file is
    // read-only for this program whoever runs it.
    if ((destinationInfo.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return false;
  }

  bool copied = (!S_ISREG(destinationInfo.st_mode) || ::ftruncate(destination.Get(), 0) == 0) &&
                CopyContents(source.Get(), destination.Get());
  copied = destination.Close() && copied;
  // A partial copy that did not exist before is worse than none: a later
  // recovery would take it for a whole file.
  if (!copied && created) ::unlink(to.c_str());
  return copied;
}

}  // namespace vips
