#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>

#include "core/error.hpp"
#include "core/files/file_access.hpp"
#include "core/files/posix/system_error_text.hpp"
#include "core/files/replacement_file.hpp"
#include "core/files/temporary_name.hpp"
#include "core/files/write_fault.hpp"

namespace vips {

namespace {

constexpr int kNameAttempts = 100;

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// A name that no other run picks at the same moment: the process, a counter
// and the clock.
std::string UniqueSuffix() {
  static std::atomic<std::uint32_t> counter{0};
  const auto now =
      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  return TemporaryNameSuffix(now * 0x9E3779B97F4A7C15ull ^
                             static_cast<std::uint64_t>(::getpid()) << 20 ^ ++counter);
}

[[noreturn]] void ThrowError(int error, const std::string& path) {
  throw Error(posix::ErrorTextOf(error), path);
}

// Makes the data and the name of a new file in `folder` durable; a folder
// that cannot be opened or flushed (some file systems refuse) leaves the
// rename as durable as the system makes it.
void FlushFolder(const std::string& folder) {
  const int handle = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (handle < 0) return;
  ::fsync(handle);
  ::close(handle);
}

}  // namespace

ReplacementFile ReplacementFile::Create(const std::string& destination) {
  if (destination.empty()) throw Error(kFileNotFound, destination);
  if (destination.find('\0') != std::string::npos) throw Error(kInvalidFilename, destination);
  const std::size_t slash = destination.find_last_of('/');
  const std::string folder = FolderOf(destination);
  const std::string name = slash == std::string::npos ? destination : destination.substr(slash + 1);
  if (name.empty()) throw Error(kInvalidFilename, destination);
  const std::string prefix =
      (slash == std::string::npos ? std::string() : destination.substr(0, slash + 1)) + "." + name +
      kTemporaryMark;
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    std::string temporary = prefix + UniqueSuffix();
    // O_EXCL creates a new file or fails; it never follows a link.
    const int handle = ::open(
        temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW, 0666);
    if (handle >= 0) return ReplacementFile(destination, std::move(temporary), handle);
    if (errno == EEXIST || errno == EINTR) continue;
    throw Error(posix::OpenErrorTextOf(destination, errno), destination);
  }
  ThrowError(EEXIST, destination);
}

void ReplacementFile::Discard() noexcept {
  if (handle_ != kClosed) ::close(std::exchange(handle_, kClosed));
  if (!committed_) {
    ::unlink(temporary_.c_str());
    committed_ = true;
  }
}

void ReplacementFile::Append(const void* bytes, std::size_t size) {
  if (handle_ == kClosed) ThrowError(EBADF, destination_);
  const auto* next = static_cast<const unsigned char*>(bytes);
  while (size > 0) {
    if (write_fault::StepFails()) ThrowError(ENOSPC, destination_);
    const ssize_t count = ::write(handle_, next, size);
    if (count < 0) {
      if (errno == EINTR) continue;
      ThrowError(errno, destination_);
    }
    if (count == 0) ThrowError(ENOSPC, destination_);
    next += count;
    size -= static_cast<std::size_t>(count);
  }
}

void ReplacementFile::CopyPermissionsFrom(const std::string& source) {
  struct stat info {};
  if (::stat(source.c_str(), &info) != 0)
    throw Error(posix::OpenErrorTextOf(source, errno), source);
  if (::fchmod(handle_, info.st_mode & 07777) != 0) ThrowError(errno, destination_);
}

void ReplacementFile::Commit() {
  if (handle_ == kClosed) ThrowError(EBADF, destination_);
  try {
    if (write_fault::StepFails()) ThrowError(ENOSPC, destination_);
    if (::fsync(handle_) != 0) ThrowError(errno, destination_);
    // After close() the descriptor is gone even when it reports an error.
    if (::close(std::exchange(handle_, kClosed)) != 0 && errno != EINTR)
      ThrowError(errno, destination_);
    if (write_fault::StepFails()) ThrowError(ENOSPC, destination_);
    if (::rename(temporary_.c_str(), destination_.c_str()) != 0) ThrowError(errno, destination_);
  } catch (...) {
    Discard();
    throw;
  }
  committed_ = true;
  FlushFolder(FolderOf(destination_));
}

}  // namespace vips
