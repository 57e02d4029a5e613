#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "core/error.hpp"
#include "core/files/journal_file.hpp"
#include "core/files/posix/posix_files.hpp"
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
  const int handle = posix::Open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
  if (handle < 0) throw Error(posix::OpenErrorTextOf(path, errno), path);
  return JournalFile(path, handle);
}

void JournalFile::Remove(const std::string& path, bool durable) {
  if (durable ? write_fault::FlushFails() : write_fault::StepFails()) throw Error(kDiskFull, path);
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) throw Error(posix::ErrorTextOf(errno), path);
  if (durable) FlushFolderOf(path);
}

void JournalFile::Append(const void* bytes, std::size_t size) {
  posix::WriteAll(handle_.Get(), bytes, size, path_);
}

void JournalFile::WriteAt(std::uint64_t position, const void* bytes, std::size_t size) {
  posix::WriteAll(handle_.Get(), bytes, size, path_, &position);
}

void JournalFile::Flush(bool withName) {
  if (write_fault::FlushFails()) throw Error(kDiskFull, path_);
  if (posix::Retrying([&] { return ::fdatasync(handle_.Get()); }) != 0) {
    throw Error(posix::ErrorTextOf(errno), path_);
  }
  if (withName) FlushFolderOf(path_);
}

}  // namespace vips
