#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "core/error.hpp"
#include "core/files/file_access.hpp"
#include "core/files/path_names.hpp"
#include "core/files/posix/posix_files.hpp"
#include "core/files/replacement_file.hpp"
#include "core/files/write_fault.hpp"

namespace vips {

namespace {

constexpr int kNameAttempts = 100;
// The letters that make a temporary name unique.
constexpr std::size_t kSuffixLength = 8;

[[noreturn]] void ThrowError(int error, const std::string& path) {
  throw Error(posix::ErrorTextOf(error), path);
}

// Only a regular file, a link (replaced, never followed) or nothing is replaced.
void CheckDestination(const std::string& destination) {
  struct stat info {};
  if (::lstat(destination.c_str(), &info) != 0) return;
  if (!S_ISREG(info.st_mode) && !S_ISLNK(info.st_mode)) throw Error(kFileAccessDenied, destination);
}

// Removes the temporary files of earlier runs for the same destination that no
// process holds: a run locks its temporary file while it writes it.
void RemoveStaleTemporaries(const std::string& folder, const std::string& prefix) {
  DIR* listing = ::opendir(folder.c_str());
  if (listing == nullptr) return;
  while (const dirent* entry = ::readdir(listing)) {
    const std::string name = entry->d_name;
    if (name.size() != prefix.size() + kSuffixLength || !name.starts_with(prefix)) continue;
    const std::string path = folder + "/" + name;
    const FileHandle handle(posix::Open(path, O_RDONLY | O_NONBLOCK | O_NOFOLLOW));
    struct stat held {};
    struct stat named {};
    // Removed only while locked here, and only when the name still leads to the file locked.
    if (handle.IsOpen() && ::fstat(handle.Get(), &held) == 0 && S_ISREG(held.st_mode) &&
        ::flock(handle.Get(), LOCK_EX | LOCK_NB) == 0 && ::lstat(path.c_str(), &named) == 0 &&
        named.st_dev == held.st_dev && named.st_ino == held.st_ino) {
      ::unlink(path.c_str());
    }
  }
  ::closedir(listing);
}

}  // namespace

ReplacementFile ReplacementFile::Create(const std::string& destination) {
  CheckPathText(destination);
  if (BareName(destination).empty()) throw Error(kInvalidFilename, destination);
  CheckDestination(destination);
  const std::string prefix = CompanionPath(destination, kTemporaryMark, kSuffixLength);
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    std::string temporary = prefix + UniqueNameSuffix(static_cast<std::uint64_t>(::getpid()));
    // O_EXCL creates a new file or fails; it never follows a link.
    FileHandle handle(posix::Open(temporary, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0666));
    if (!handle.IsOpen()) {
      if (errno == EEXIST) continue;
      throw Error(posix::OpenErrorTextOf(destination, errno), destination);
    }
    // Held while it is written, so that no other run takes it for a stale
    // one; one removed by such a run before the lock was taken is given up.
    struct stat info {};
    if (::flock(handle.Get(), LOCK_EX | LOCK_NB) == 0 && ::fstat(handle.Get(), &info) == 0 &&
        info.st_nlink != 0) {
      return ReplacementFile(destination, std::move(temporary), handle.Release(), prefix);
    }
  }
  ThrowError(EEXIST, destination);
}

void ReplacementFile::Discard() noexcept {
  handle_.Reset();
  if (!std::exchange(committed_, true)) ::unlink(temporary_.c_str());
}

void ReplacementFile::Append(const void* bytes, std::size_t size) {
  if (!handle_.IsOpen()) ThrowError(EBADF, destination_);
  posix::WriteAll(handle_.Get(), bytes, size, destination_);
}

void ReplacementFile::CopyPermissionsFrom(const std::string& source) {
  struct stat info {};
  if (::stat(source.c_str(), &info) != 0)
    throw Error(posix::OpenErrorTextOf(source, errno), source);
  if (::fchmod(handle_.Get(), info.st_mode & 07777) != 0) ThrowError(errno, destination_);
}

void ReplacementFile::Commit(bool durable) {
  if (!handle_.IsOpen()) ThrowError(EBADF, destination_);
  try {
    if (durable) {
      if (write_fault::FlushFails()) ThrowError(ENOSPC, destination_);
      if (::fsync(handle_.Get()) != 0) ThrowError(errno, destination_);
    }
    CheckDestination(destination_);
    if (write_fault::StepFails()) ThrowError(ENOSPC, destination_);
    // The lock goes with the descriptor only after the rename, so that no
    // other run removes the file as a stale one before it has its name.
    if (::rename(temporary_.c_str(), destination_.c_str()) != 0) ThrowError(errno, destination_);
  } catch (...) {
    Discard();
    throw;
  }
  committed_ = true;
  // After the flush a failing close (a step of its own) changes nothing.
  if (durable) (void)write_fault::StepFails();
  handle_.Reset();
  // The rename is on the disk only once its folder is flushed.
  const std::string folder = posix::FolderOf(destination_);
  int flushError = 0;
  if (durable) flushError = write_fault::FlushFails() ? ENOSPC : posix::FlushFolder(folder);
  RemoveStaleTemporaries(folder, BareName(prefix_));
  if (flushError != 0) throw FolderNotFlushed(posix::ErrorTextOf(flushError), destination_);
}

}  // namespace vips
