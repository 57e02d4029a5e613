#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <memory>

#include "core/error.hpp"
#include "core/files/file_access.hpp"
#include "core/files/file_copy.hpp"
#include "core/files/io_buffer.hpp"
#include "core/files/posix/system_error_text.hpp"
#include "core/files/replacement_file.hpp"
#include "core/files/write_fault.hpp"

namespace vips {

namespace {

constexpr std::size_t kChunkSize = 1024 * 1024;

// Closes a descriptor when it leaves scope.
class Descriptor {
 public:
  explicit Descriptor(int handle) : handle_(handle) {}
  ~Descriptor() {
    if (handle_ >= 0) ::close(handle_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  [[nodiscard]] int Get() const { return handle_; }

 private:
  int handle_;
};

// Opened without waiting (a pipe in the way cannot hold the program) and
// without following a link at the last part of the path.
int OpenNoFollow(const std::string& path) {
  int handle;
  do {
    handle = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW);
  } while (handle < 0 && errno == EINTR);
  return handle;
}

}  // namespace

void CopyWholeFileOrThrow(const std::string& from, const std::string& to) {
  for (const std::string* path : {&from, &to}) {
    if (path->empty()) throw Error(kFileNotFound, *path);
    // A NUL would end the name early and name another file.
    if (path->find('\0') != std::string::npos) throw Error(kInvalidFilename, *path);
  }

  // Only a regular file has a whole to copy: a pipe or a device such as
  // /dev/zero would keep the copy going until the disk is full; and a link
  // at the source is no backup of its own.
  const Descriptor source(OpenNoFollow(from));
  if (source.Get() < 0) {
    throw Error(errno == ELOOP ? kFileAccessDenied : posix::OpenErrorTextOf(from, errno), from);
  }
  struct stat sourceInfo {};
  if (::fstat(source.Get(), &sourceInfo) != 0) throw Error(posix::ErrorTextOf(errno), from);
  if (!S_ISREG(sourceInfo.st_mode)) throw Error(kFileAccessDenied, from);
  // A file that another run of this program is patching is not copied
  // half-written.
  try {
    posix::LockShared(source.Get());
  } catch (const Error& error) {
    throw Error(error.what(), from);
  }
  const int flags = ::fcntl(source.Get(), F_GETFL);
  if (flags < 0 || ::fcntl(source.Get(), F_SETFL, flags & ~O_NONBLOCK) != 0) {
    throw Error(posix::ErrorTextOf(errno), from);
  }

  // An existing destination stays open, locked, until it has been replaced.
  const Descriptor destination(OpenNoFollow(to));
  if (destination.Get() >= 0) {
    struct stat info {};
    if (::fstat(destination.Get(), &info) != 0) throw Error(posix::ErrorTextOf(errno), to);
    if (!S_ISREG(info.st_mode)) throw Error(kFileAccessDenied, to);
    // Copying a file over itself would destroy it.
    if (info.st_dev == sourceInfo.st_dev && info.st_ino == sourceInfo.st_ino) {
      throw Error(kFileAccessDenied, to);
    }
    // Root may write a file whose write bits are all clear; such a file is
    // read-only for this program whoever runs it.
    if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) throw Error(kFileAccessDenied, to);
    try {
      posix::LockExclusively(destination.Get());
    } catch (const Error& error) {
      throw Error(error.what(), to);
    }
  } else if (errno != ENOENT && errno != ELOOP) {
    throw Error(posix::OpenErrorTextOf(to, errno), to);
  }

  ReplacementFile copy = ReplacementFile::Create(to);
  copy.CopyPermissionsFrom(from);
  const IoBuffer buffer = NewIoBuffer(kChunkSize);
  // The source's length says how many bytes it has: a read that ends before
  // it (the file cut meanwhile, a failing file system) is an error, not a
  // shorter backup.
  const auto length = static_cast<std::uint64_t>(sourceInfo.st_size);
  std::uint64_t copied = 0;
  for (;;) {
    const ssize_t count =
        write_fault::ReadEnds() ? 0 : ::read(source.Get(), buffer.get(), kChunkSize);
    if (count < 0) {
      if (errno == EINTR) continue;
      throw Error(posix::ErrorTextOf(errno), from);
    }
    if (count == 0) break;
    copy.Append(buffer.get(), static_cast<std::size_t>(count));
    copied += static_cast<std::uint64_t>(count);
  }
  if (copied < length) throw Error(kReadBeyondEnd, from);
  copy.Commit();
}

}  // namespace vips
