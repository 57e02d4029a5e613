#include "core/files/file_access.hpp"

#include "core/error.hpp"
#include "core/files/write_fault.hpp"

namespace vips {

std::string IoErrorText(int systemError) {
  return "I/O error " + std::to_string(systemError);
}

ExistingFile ExistingFile::Open(const std::string& path) {
  return OpenWithAccess(path, true);
}

ExistingFile ExistingFile::OpenForReading(const std::string& path) {
  return OpenWithAccess(path, false);
}

ExistingFile ExistingFile::OpenLocked(const std::string& path) {
  // Each time the path turns out to name another file than the one locked,
  // that one is opened and locked in its turn; a path that keeps changing is
  // given up on as busy.
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

}  // namespace vips
