#include "core/files/file_access.hpp"

#include <algorithm>

#include "core/error.hpp"
#include "core/files/io_buffer.hpp"
#include "core/files/write_fault.hpp"

namespace vips {

std::string IoErrorText(int systemError) {
  return "I/O error " + std::to_string(systemError);
}

void CheckPathText(const std::string& path) {
  if (path.empty()) throw Error(kFileNotFound, path);
  if (path.find('\0') != std::string::npos) throw Error(kInvalidFilename, path);
}

ExistingFile ExistingFile::OpenForCopying(const std::string& path) {
  ExistingFile file = OpenWithAccess(path, Access::Copy);
  file.LockForReading();
  return file;
}

ExistingFile ExistingFile::OpenLocked(const std::string& path) {
  // A path that keeps naming another file than the one locked is given up as busy.
  constexpr int kAttempts = 100;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    ExistingFile file = Open(path);
    write_fault::RunBeforeLock();
    file.LockForWriting();
    if (IdentityOf(path) == file.Identity()) return file;
  }
  throw Error(kFileBusy, path);
}

void ExistingFile::ReadAllAt(std::uint64_t position, void* buffer, std::size_t size) {
  if (ReadAt(position, buffer, size) != size) Fail(kReadBeyondEnd);
}

void ExistingFile::Fail(const std::string& text) const {
  throw Error(text, path_);
}

std::vector<std::uint8_t> ReadFileStart(ExistingFile& file, std::uint64_t limit) {
  std::vector<std::uint8_t> bytes =
      NewLargeBuffer(static_cast<std::size_t>(std::min(limit, file.Length())));
  file.ReadAllAt(0, bytes.data(), bytes.size());
  return bytes;
}

}  // namespace vips
