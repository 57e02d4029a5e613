#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#ifdef __linux__
#include <sys/vfs.h>
#endif
#include <unistd.h>

#include <cerrno>

#include "core/error.hpp"
#include "core/files/file_access.hpp"
#include "core/files/posix/posix_files.hpp"
#include "core/files/write_fault.hpp"

namespace vips {

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
  if (error != ENOENT) return ErrorTextOf(error);
  // A missing folder is told from a missing file.
  struct stat folder {};
  const bool inFolder = ::stat(FolderOf(path).c_str(), &folder) == 0 && S_ISDIR(folder.st_mode);
  return inFolder ? kFileNotFound : kInvalidFilename;
}

void WriteAll(int handle, const void* buffer, std::size_t size, const std::string& path,
              const std::uint64_t* position) {
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < size) {
    if (write_fault::StepFails()) throw Error(kDiskFull, path);
    const ssize_t count = position == nullptr ? ::write(handle, bytes + done, size - done)
                                              : ::pwrite(handle, bytes + done, size - done,
                                                         static_cast<off_t>(*position + done));
    if (count < 0) {
      if (errno == EINTR) continue;
      throw Error(ErrorTextOf(errno), path);
    }
    // A write that takes nothing and reports no error cannot make progress.
    if (count == 0) throw Error(kDiskFull, path);
    done += static_cast<std::size_t>(count);
  }
}

}  // namespace posix

void LockFile(NativeHandle handle, bool exclusive, const std::string& path) {
  // flock locks belong to the open file, so two opens conflict even within one
  // process; being advisory, they let other programs read and write.
  const int kind = (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
  if (posix::Retrying([&] { return ::flock(handle, kind); }) != 0) {
    throw Error(errno == EWOULDBLOCK ? kFileBusy : posix::ErrorTextOf(errno), path);
  }
}

void FileHandle::Reset(NativeHandle handle) noexcept {
  if (handle_ != kClosedHandle) ::close(handle_);
  handle_ = handle;
}

std::optional<FileIdentity> IdentityOf(const std::string& path) {
  struct stat info {};
  if (path.find('\0') != std::string::npos || ::stat(path.c_str(), &info) != 0) return std::nullopt;
  return posix::IdentityFrom(info);
}

bool NameTaken(const std::string& path) {
  struct stat info {};
  return path.find('\0') == std::string::npos && ::lstat(path.c_str(), &info) == 0;
}

bool IsRegularFile(const std::string& path) {
  struct stat info {};
  return path.find('\0') == std::string::npos && ::lstat(path.c_str(), &info) == 0 &&
         S_ISREG(info.st_mode);
}

ExistingFile ExistingFile::OpenWithAccess(const std::string& path, Access access) {
  CheckPathText(path);
  // Without waiting, so that a pipe or a device cannot hold the program up.
  const int handle = posix::Open(path, (access == Access::Write ? O_RDWR : O_RDONLY) |
                                           (access == Access::Copy ? O_NOFOLLOW : 0) | O_NONBLOCK);
  if (handle < 0) {
    const bool link = access == Access::Copy && errno == ELOOP;
    throw Error(link ? kFileAccessDenied : posix::OpenErrorTextOf(path, errno), path);
  }
  ExistingFile file(handle, path);

  struct stat info {};
  if (::fstat(handle, &info) != 0) file.Fail(posix::ErrorTextOf(errno));
  // Only a regular file has bytes to patch (not a folder, a pipe, /dev/zero).
  if (!S_ISREG(info.st_mode)) file.Fail(kFileAccessDenied);
  // A file without write bits is read-only for this program, even run by root.
  if (access == Access::Write && (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    file.Fail(kFileAccessDenied);
  }
  const int status = ::fcntl(handle, F_GETFL);
  if (status < 0 || ::fcntl(handle, F_SETFL, status & ~O_NONBLOCK) != 0) {
    file.Fail(posix::ErrorTextOf(errno));
  }
  return file;
}

std::size_t ExistingFile::ReadAt(std::uint64_t position, void* buffer, std::size_t size) {
  auto* bytes = static_cast<unsigned char*>(buffer);
  std::size_t done = 0;
  if (size > 0 && write_fault::ReadEnds()) return 0;
  while (done < size) {
    const ssize_t count = posix::Retrying([&] {
      return ::pread(handle_.Get(), bytes + done, size - done, static_cast<off_t>(position + done));
    });
    if (count < 0) Fail(posix::ErrorTextOf(errno));
    if (count == 0) break;
    done += static_cast<std::size_t>(count);
  }
  return done;
}

void ExistingFile::WriteAt(std::uint64_t position, const void* buffer, std::size_t size) {
  posix::WriteAll(handle_.Get(), buffer, size, path_, &position);
  MarkWritten();
}

std::uint64_t ExistingFile::Length() {
  struct stat info {};
  if (::fstat(handle_.Get(), &info) != 0) Fail(posix::ErrorTextOf(errno));
  return static_cast<std::uint64_t>(info.st_size);
}

void ExistingFile::SetLength(std::uint64_t length) {
  if (write_fault::StepFails()) Fail(kDiskFull);
  const auto end = static_cast<off_t>(length);
  if (posix::Retrying([&] { return ::ftruncate(handle_.Get(), end); }) != 0) {
    Fail(posix::ErrorTextOf(errno));
  }
  MarkWritten();
}

std::optional<std::uint64_t> ExistingFile::FreshSpaceForOverwrites() {
#ifdef __linux__
  constexpr unsigned long kBtrfsMagic = 0x9123683E;
  struct statfs info {};
  if (::fstatfs(handle_.Get(), &info) != 0 ||
      static_cast<unsigned long>(info.f_type) != kBtrfsMagic) {
    return std::nullopt;
  }
  return static_cast<std::uint64_t>(info.f_bavail) * static_cast<std::uint64_t>(info.f_bsize);
#else
  return std::nullopt;
#endif
}

void StartWriteBack(NativeHandle handle, std::uint64_t position, std::uint64_t size) noexcept {
#ifdef __linux__
  (void)::sync_file_range(handle, static_cast<off_t>(position), static_cast<off_t>(size),
                          SYNC_FILE_RANGE_WRITE);
#else
  (void)handle;
  (void)position;
  (void)size;
#endif
}

void ExistingFile::Flush() {
  if (write_fault::FlushFails()) Fail(kDiskFull);
  // fdatasync: the bytes and the length; a crash may leave the times older.
  if (posix::Retrying([&] { return ::fdatasync(handle_.Get()); }) != 0) {
    Fail(posix::ErrorTextOf(errno));
  }
  flushed_ = true;
}

void ExistingFile::Reserve(std::uint64_t length) {
  const std::uint64_t before = Length();
  if (length <= before) return;
  MarkWritten();
  int error = write_fault::StepFails() ? ENOSPC : 0;
  const auto from = static_cast<off_t>(before);
  const auto count = static_cast<off_t>(length - before);
#ifdef __linux__
  // Not posix_fallocate, whose stand-in writes every block where the file system
  // cannot reserve space: a write that still finds the disk full is undone anyway.
  while (error == 0 && ::fallocate(handle_.Get(), 0, from, count) != 0) {
    error = errno == EINTR ? 0 : errno;
  }
  if (error == EOPNOTSUPP) error = 0;
#else
  if (error == 0) error = ::posix_fallocate(handle_.Get(), from, count);
  if (error == EINVAL || error == EOPNOTSUPP) error = 0;
#endif
  if (error == 0 && Length() < length) SetLength(length);
  if (error != 0) {
    // A reservation that failed half-way may have made the file longer.
    if (Length() != before) ::ftruncate(handle_.Get(), from);
    Fail(posix::ErrorTextOf(error));
  }
}

FileIdentity ExistingFile::Identity() {
  struct stat info {};
  if (::fstat(handle_.Get(), &info) != 0) Fail(posix::ErrorTextOf(errno));
  return posix::IdentityFrom(info);
}

void ExistingFile::Close() {
  if (!handle_.IsOpen()) return;
  // Closing a file written and flushed is a write step that changes nothing.
  if (written_ && flushed_) (void)write_fault::StepFails();
  // After close() the descriptor is gone even when it reports EINTR.
  if (::close(handle_.Release()) != 0 && errno != EINTR && !flushed_) {
    Fail(posix::ErrorTextOf(errno));
  }
}

}  // namespace vips
