#include <windows.h>

#include <algorithm>
#include <optional>
#include <utility>

#include "core/error.hpp"
#include "core/file_access.hpp"
#include "core/platform/windows/system_error_text.hpp"
#include "core/platform/windows/wide_path.hpp"

namespace vips {

namespace {

void* const kClosed = nullptr;

[[noreturn]] void ThrowLastError() {
  throw Error(windows::ErrorTextOf(::GetLastError()));
}

// ReadFile and WriteFile take at most a DWORD of bytes per call.
DWORD ChunkOf(std::size_t size) {
  return static_cast<DWORD>(std::min<std::size_t>(size, 0x40000000u));
}

OVERLAPPED OverlappedAt(std::uint64_t position) {
  OVERLAPPED overlapped{};
  overlapped.Offset = static_cast<DWORD>(position & 0xFFFFFFFFu);
  overlapped.OffsetHigh = static_cast<DWORD>(position >> 32);
  return overlapped;
}

}  // namespace

namespace windows {

std::string ErrorTextOf(unsigned long error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
      return kFileNotFound;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
      return kInvalidFilename;
    case ERROR_TOO_MANY_OPEN_FILES:
      return kTooManyOpenFiles;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
      return kFileAccessDenied;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return kDiskFull;
    default:
      return IoErrorText(static_cast<int>(error));
  }
}

}  // namespace windows

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
  const std::optional<std::wstring> wide = windows::WidePath(path);
  if (!wide) throw Error(kInvalidFilename);
  HANDLE handle = ::CreateFileW(
      wide->c_str(), forWriting ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ,
      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) ThrowLastError();
  ExistingFile file(handle);
  // A pipe would leave a read waiting forever: it is no file to patch.
  if (::GetFileType(handle) == FILE_TYPE_PIPE) throw Error(kFileAccessDenied);
  return file;
}

ExistingFile::ExistingFile(ExistingFile&& other) noexcept
    : handle_(std::exchange(other.handle_, kClosed)) {}

ExistingFile& ExistingFile::operator=(ExistingFile&& other) noexcept {
  if (this != &other) {
    if (handle_ != kClosed) ::CloseHandle(handle_);
    handle_ = std::exchange(other.handle_, kClosed);
  }
  return *this;
}

ExistingFile::~ExistingFile() {
  if (handle_ != kClosed) ::CloseHandle(handle_);
}

bool ExistingFile::IsOpen() const {
  return handle_ != kClosed;
}

std::size_t ExistingFile::ReadSome(void* buffer, std::size_t size) {
  DWORD count = 0;
  if (!::ReadFile(handle_, buffer, ChunkOf(size), &count, nullptr)) ThrowLastError();
  return count;
}

std::size_t ExistingFile::ReadAt(std::uint64_t position, void* buffer, std::size_t size) {
  // A positioned read on a synchronous handle moves the file pointer too;
  // keep it where it was so that ReadSome goes on from its own position.
  LARGE_INTEGER saved{};
  const LARGE_INTEGER zero{};
  if (!::SetFilePointerEx(handle_, zero, &saved, FILE_CURRENT)) ThrowLastError();
  auto* bytes = static_cast<unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < size) {
    OVERLAPPED overlapped = OverlappedAt(position + done);
    DWORD count = 0;
    if (!::ReadFile(handle_, bytes + done, ChunkOf(size - done), &count, &overlapped)) {
      if (::GetLastError() == ERROR_HANDLE_EOF) break;
      ThrowLastError();
    }
    if (count == 0) break;
    done += count;
  }
  if (!::SetFilePointerEx(handle_, saved, nullptr, FILE_BEGIN)) ThrowLastError();
  return done;
}

void ExistingFile::WriteAt(std::uint64_t position, const void* buffer, std::size_t size) {
  LARGE_INTEGER saved{};
  const LARGE_INTEGER zero{};
  if (!::SetFilePointerEx(handle_, zero, &saved, FILE_CURRENT)) ThrowLastError();
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < size) {
    OVERLAPPED overlapped = OverlappedAt(position + done);
    DWORD count = 0;
    if (!::WriteFile(handle_, bytes + done, ChunkOf(size - done), &count, &overlapped)) {
      ThrowLastError();
    }
    if (count == 0) throw Error(kDiskFull);
    done += count;
  }
  if (!::SetFilePointerEx(handle_, saved, nullptr, FILE_BEGIN)) ThrowLastError();
}

void ExistingFile::Close() {
  if (handle_ == kClosed) return;
  HANDLE handle = std::exchange(handle_, kClosed);
  if (!::CloseHandle(handle)) ThrowLastError();
}

}  // namespace vips
