#include <windows.h>

#include <optional>
#include <utility>

#include "core/error.hpp"
#include "core/files/file_access.hpp"
#include "core/files/journal_file.hpp"
#include "core/files/windows/system_error_text.hpp"
#include "core/files/windows/wide_path.hpp"
#include "core/files/write_fault.hpp"

namespace vips {
namespace {

std::wstring Wide(const std::string& path) {
  const std::optional<std::wstring> wide = windows::WidePath(path);
  if (!wide || wide->empty()) throw Error(kInvalidFilename, path);
  return *wide;
}

}  // namespace

JournalFile JournalFile::Create(const std::string& path) {
  // CREATE_NEW makes a new file or fails; it never opens through a link.
  HANDLE handle = ::CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) throw Error(windows::ErrorTextOf(::GetLastError()), path);
  return JournalFile(path, handle);
}

void JournalFile::Remove(const std::string& path, bool) {
  if (write_fault::StepFails()) throw Error(kDiskFull, path);
  if (!::DeleteFileW(Wide(path).c_str())) {
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_NOT_FOUND) throw Error(windows::ErrorTextOf(error), path);
  }
}

std::size_t JournalFile::NameLimitOf(const std::string&) {
  // 255 UTF-16 units, never fewer than the UTF-8 bytes counted against it.
  return 255;
}

JournalFile::JournalFile(JournalFile&& other) noexcept
    : path_(std::move(other.path_)), handle_(std::exchange(other.handle_, kClosed)) {}

JournalFile& JournalFile::operator=(JournalFile&& other) noexcept {
  if (this != &other) {
    if (handle_ != kClosed) ::CloseHandle(handle_);
    path_ = std::move(other.path_);
    handle_ = std::exchange(other.handle_, kClosed);
  }
  return *this;
}

JournalFile::~JournalFile() {
  if (handle_ != kClosed) ::CloseHandle(handle_);
}

void JournalFile::Append(const void* bytes, std::size_t size) {
  const auto* next = static_cast<const unsigned char*>(bytes);
  while (size > 0) {
    if (write_fault::StepFails()) throw Error(kDiskFull, path_);
    const DWORD part = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    DWORD count = 0;
    if (!::WriteFile(handle_, next, part, &count, nullptr)) {
      throw Error(windows::ErrorTextOf(::GetLastError()), path_);
    }
    if (count == 0) throw Error(kDiskFull, path_);
    next += count;
    size -= count;
  }
}

void JournalFile::Flush() {
  if (write_fault::StepFails()) throw Error(kDiskFull, path_);
  if (!::FlushFileBuffers(handle_)) throw Error(windows::ErrorTextOf(::GetLastError()), path_);
}

void JournalFile::Close() {
  if (handle_ == kClosed) return;
  ::CloseHandle(std::exchange(handle_, kClosed));
}

}  // namespace vips
