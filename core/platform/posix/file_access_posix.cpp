#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "core/error.hpp"
#include "core/file_access.hpp"
#include "core/platform/posix/system_error_text.hpp"

namespace vips {

namespace {

constexpr int kClosed = -1;

// The folder part of a path ("." when it names none), to tell a missing file
// from a missing folder.
std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool IsFolder(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

[[noreturn]] void ThrowOpenError(const std::string& path, int error) {
  throw Error(posix::OpenErrorTextOf(path, error));
}

[[noreturn]] void ThrowError(int error) {
  throw Error(posix::ErrorTextOf(error));
}

}  // namespace

namespace posix {

std::string ErrorTextOf(int error) {
  switch (error) {
    case EMFILE:
    case ENFILE:
      return kTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
      return kFileAccessDenied;
    case ENOSPC:
    case EDQUOT:
      return kDiskFull;
    case ENOTDIR:
      return kInvalidFilename;
    default:
      return IoErrorText(error);
  }
}

std::string OpenErrorTextOf(const std::string& path, int error) {
  if (error == ENOENT) return IsFolder(FolderOf(path)) ? kFileNotFound : kInvalidFilename;
  return ErrorTextOf(error);
}

}  // namespace posix

ExistingFile ExistingFile::Open(const std::string& path) {
  return OpenWithAccess(path, true);
}

ExistingFile ExistingFile::OpenForReading(const std::string& path) {
  return OpenWithAccess(path, false);
}

ExistingFile ExistingFile::OpenWithAccess(const std::string& path, bool forWriting) {
  if (path.empty()) throw Error(kFileNotFound);
  // The system would stop reading the name at a NUL and open another file.
  if (path.find('\0') != std::string::npos) throw Error(kInvalidFilename);
  int handle;
  do {
    // Read-only opens do not wait, so that a pipe in the way cannot hold them.
    handle =
        ::open(path.c_str(), (forWriting ? O_RDWR : O_RDONLY | O_NONBLOCK) | O_CLOEXEC | O_NOCTTY);
  } while (handle < 0 && errno == EINTR);
  if (handle < 0) ThrowOpenError(path, errno);
  ExistingFile file(handle);

  struct stat info {};
  if (::fstat(handle, &info) != 0) ThrowError(errno);
  if (S_ISDIR(info.st_mode)) throw Error(kFileAccessDenied);
  // A pipe or socket would leave a read waiting forever: it is no file to patch.
  if (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode)) throw Error(kFileAccessDenied);
  // Root may open a file whose write bits are all clear; such a file is
  // read-only for this program whoever runs it.
  if (forWriting && (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    throw Error(kFileAccessDenied);
  }
  if (!forWriting) {
    const int flags = ::fcntl(handle, F_GETFL);
    if (flags < 0 || ::fcntl(handle, F_SETFL, flags & ~O_NONBLOCK) != 0) ThrowError(errno);
  }
  return file;
}

ExistingFile::ExistingFile(ExistingFile&& other) noexcept
    : handle_(std::exchange(other.handle_, kClosed)) {}

ExistingFile& ExistingFile::operator=(ExistingFile&& other) noexcept {
  if (this != &other) {
    if (handle_ != kClosed) ::close(handle_);
    handle_ = std::exchange(other.handle_, kClosed);
  }
  return *this;
}

ExistingFile::~ExistingFile() {
  if (handle_ != kClosed) ::close(handle_);
}

bool ExistingFile::IsOpen() const {
  return handle_ != kClosed;
}

std::size_t ExistingFile::ReadSome(void* buffer, std::size_t size) {
  for (;;) {
    const ssize_t count = ::read(handle_, buffer, size);
    if (count >= 0) return static_cast<std::size_t>(count);
    if (errno != EINTR) ThrowError(errno);
  }
}

std::size_t ExistingFile::ReadAt(std::uint64_t position, void* buffer, std::size_t size) {
  auto* bytes = static_cast<unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t count =
        ::pread(handle_, bytes + done, size - done, static_cast<off_t>(position + done));
    if (count < 0) {
      if (errno == EINTR) continue;
      ThrowError(errno);
    }
    if (count == 0) break;
    done += static_cast<std::size_t>(count);
  }
  return done;
}

void ExistingFile::WriteAt(std::uint64_t position, const void* buffer, std::size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < size) {
    const auto at = static_cast<off_t>(position + done);
    ssize_t count = ::pwrite(handle_, bytes + done, size - done, at);
    if (count < 0 && errno == ESPIPE) {
      // Some devices take no positioned write; seek, then write.
      if (::lseek(handle_, at, SEEK_SET) < 0) ThrowError(errno);
      count = ::write(handle_, bytes + done, size - done);
    }
    if (count < 0) {
      if (errno == EINTR) continue;
      ThrowError(errno);
    }
    // A write that takes nothing and reports no error cannot make progress.
    if (count == 0) ThrowError(ENOSPC);
    done += static_cast<std::size_t>(count);
  }
}

void ExistingFile::Close() {
  if (handle_ == kClosed) return;
  const int handle = std::exchange(handle_, kClosed);
  // After close() the descriptor is gone even when it reports EINTR.
  if (::close(handle) != 0 && errno != EINTR) ThrowError(errno);
}

}  // namespace vips
