#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "core/error.hpp"
#include "core/files/file_access.hpp"
#include "core/files/journal_file.hpp"
#include "core/files/posix/folders.hpp"
#include "core/files/posix/system_error_text.hpp"
#include "core/files/write_fault.hpp"

namespace vips {
namespace {

void FlushFolderOf(const std::string& path) {
  if (const int error = posix::FlushFolder(posix::FolderOf(path))) {
    throw Error(posix::ErrorTextOf(error), path);
  }
}

}  // namespace

JournalFile JournalFile::Create(const std::string& path) {
  int handle;
  do {
    handle =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW, 0600);
  } while (handle < 0 && errno == EINTR);
  if (handle < 0) throw Error(posix::OpenErrorTextOf(path, errno), path);
  return JournalFile(path, handle);
}

void JournalFile::Remove(const std::string& path, bool durable) {
  if (write_fault::StepFails()) throw Error(kDiskFull, path);
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) throw Error(posix::ErrorTextOf(errno), path);
  if (durable) FlushFolderOf(path);
}

std::size_t JournalFile::NameLimitOf(const std::string& path) {
  return posix::NameLimitOf(posix::FolderOf(path));
}

JournalFile::JournalFile(JournalFile&& other) noexcept
    : path_(std::move(other.path_)), handle_(std::exchange(other.handle_, kClosed)) {}

JournalFile& JournalFile::operator=(JournalFile&& other) noexcept {
  if (this != &other) {
    if (handle_ != kClosed) ::close(handle_);
    path_ = std::move(other.path_);
    handle_ = std::exchange(other.handle_, kClosed);
  }
  return *this;
}

JournalFile::~JournalFile() {
  if (handle_ != kClosed) ::close(handle_);
}

void JournalFile::Append(const void* bytes, std::size_t size) {
  const auto* next = static_cast<const unsigned char*>(bytes);
  while (size > 0) {
    if (write_fault::StepFails()) throw Error(kDiskFull, path_);
    const ssize_t count = ::write(handle_, next, size);
    if (count < 0) {
      if (errno == EINTR) continue;
      throw Error(posix::ErrorTextOf(errno), path_);
    }
    if (count == 0) throw Error(kDiskFull, path_);
    next += count;
    size -= static_cast<std::size_t>(count);
  }
}

void JournalFile::Flush() {
  if (write_fault::StepFails()) throw Error(kDiskFull, path_);
  while (::fdatasync(handle_) != 0) {
    if (errno != EINTR) throw Error(posix::ErrorTextOf(errno), path_);
  }
  FlushFolderOf(path_);
}

void JournalFile::Close() {
  if (handle_ == kClosed) return;
  // Flushed or not needed flushed: a failing close changes nothing that the
  // journal's check would not find.
  ::close(std::exchange(handle_, kClosed));
}

}  // namespace vips
