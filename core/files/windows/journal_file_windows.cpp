#include <windows.h>

#include "core/error.hpp"
#include "core/files/journal_file.hpp"
#include "core/files/windows/windows_files.hpp"
#include "core/files/write_fault.hpp"

namespace vips {

JournalFile JournalFile::Create(const std::string& path) {
  // CREATE_NEW makes a new file or fails; it never opens through a link.
  HANDLE handle =
      ::CreateFileW(windows::WidePathOrThrow(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                    CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) windows::ThrowLastError(path);
  return JournalFile(path, handle);
}

void JournalFile::Remove(const std::string& path, bool) {
  if (write_fault::StepFails()) throw Error(kDiskFull, path);
  if (!::DeleteFileW(windows::WidePathOrThrow(path).c_str())) {
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_NOT_FOUND) throw Error(windows::ErrorTextOf(error), path);
  }
}

void JournalFile::Append(const void* bytes, std::size_t size) {
  windows::WriteAll(handle_.Get(), bytes, size, path_);
}

void JournalFile::WriteAt(std::uint64_t position, const void* bytes, std::size_t size) {
  windows::WriteAll(handle_.Get(), bytes, size, path_, &position);
}

// The folder's entries cannot be flushed here: the journal's content is what
// makes it safe, a finished one being marked so before it goes.
void JournalFile::Flush(bool) {
  if (write_fault::FlushFails()) throw Error(kDiskFull, path_);
  if (!::FlushFileBuffers(handle_.Get())) windows::ThrowLastError(path_);
}

}  // namespace vips
