#include <windows.h>

#include <algorithm>
#include <optional>

#include "core/error.hpp"
#include "core/files/file_access.hpp"
#include "core/files/windows/windows_files.hpp"
#include "core/files/write_fault.hpp"

namespace vips {

namespace {

// What is no file of its own with bytes to patch.
constexpr DWORD kNoFile =
    FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE;

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

// Moves the end of the file to `length`; false, with the thread's last error, on failure.
bool SetEnd(HANDLE handle, std::uint64_t length) {
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
  return ::SetFileInformationByHandle(handle, FileEndOfFileInfo, &end, sizeof end) != FALSE;
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
    case ERROR_LOCK_VIOLATION:
      return kFileBusy;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return kDiskFull;
    default:
      return IoErrorText(static_cast<int>(error));
  }
}

void ThrowLastError(const std::string& path) {
  throw Error(ErrorTextOf(::GetLastError()), path);
}

bool LockByte(void* handle, unsigned long flags, bool release) {
  OVERLAPPED where = OverlappedAt(0x7FFFFFFF'FFFFFFFEull);
  if (release) return ::UnlockFileEx(handle, 0, 1, 0, &where) != FALSE;
  return ::LockFileEx(handle, flags | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &where) != FALSE;
}

void WriteAll(void* handle, const void* buffer, std::size_t size, const std::string& path,
              const std::uint64_t* position) {
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < size) {
    if (write_fault::StepFails()) throw Error(kDiskFull, path);
    OVERLAPPED overlapped = OverlappedAt(position == nullptr ? 0 : *position + done);
    DWORD count = 0;
    if (!::WriteFile(handle, bytes + done, ChunkOf(size - done), &count,
                     position == nullptr ? nullptr : &overlapped)) {
      ThrowLastError(path);
    }
    // A write that takes nothing and reports no error cannot make progress.
    if (count == 0) throw Error(kDiskFull, path);
    done += count;
  }
}

}  // namespace windows

void FileHandle::Reset(NativeHandle handle) noexcept {
  if (handle_ != kClosedHandle) ::CloseHandle(handle_);
  handle_ = handle;
}

void LockFile(NativeHandle handle, bool exclusive, const std::string& path) {
  if (!windows::LockByte(handle, exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0)) {
    windows::ThrowLastError(path);
  }
}

std::optional<FileIdentity> IdentityOf(const std::string& path) {
  const std::optional<std::wstring> wide = windows::WidePath(path);
  if (!wide) return std::nullopt;
  HANDLE handle =
      ::CreateFileW(wide->c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  const FileHandle held(handle);
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(handle, &info)) return std::nullopt;
  return windows::IdentityFrom(info);
}

bool NameTaken(const std::string& path) {
  const std::optional<std::wstring> wide = windows::WidePath(path);
  return wide && ::GetFileAttributesW(wide->c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsRegularFile(const std::string& path) {
  const std::optional<std::wstring> wide = windows::WidePath(path);
  if (!wide) return false;
  const DWORD attributes = ::GetFileAttributesW(wide->c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & kNoFile) == 0;
}

ExistingFile ExistingFile::OpenWithAccess(const std::string& path, Access access) {
  CheckPathText(path);
  const std::wstring wide = windows::WidePathOrThrow(path);
  const bool copying = access == Access::Copy;
  // For a copy, a link standing at `path` is opened itself, never its target.
  HANDLE handle = ::CreateFileW(
      wide.c_str(), access == Access::Write ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ,
      FILE_SHARE_READ | FILE_SHARE_WRITE | (copying ? FILE_SHARE_DELETE : 0), nullptr,
      OPEN_EXISTING,
      copying ? FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS : FILE_ATTRIBUTE_NORMAL,
      nullptr);
  if (handle == INVALID_HANDLE_VALUE) windows::ThrowLastError(path);
  ExistingFile file(handle, path);
  BY_HANDLE_FILE_INFORMATION info{};
  if (copying && !::GetFileInformationByHandle(handle, &info)) windows::ThrowLastError(path);
  // Only a file on a disk has bytes to patch: a pipe would leave a read
  // waiting forever, and a device (NUL, CON) is no file.
  if (::GetFileType(handle) != FILE_TYPE_DISK || (info.dwFileAttributes & kNoFile) != 0) {
    file.Fail(kFileAccessDenied);
  }
  return file;
}

std::size_t ExistingFile::ReadAt(std::uint64_t position, void* buffer, std::size_t size) {
  auto* bytes = static_cast<unsigned char*>(buffer);
  std::size_t done = 0;
  if (size > 0 && write_fault::ReadEnds()) size = 0;
  while (done < size) {
    OVERLAPPED overlapped = OverlappedAt(position + done);
    DWORD count = 0;
    if (!::ReadFile(handle_.Get(), bytes + done, ChunkOf(size - done), &count, &overlapped)) {
      if (::GetLastError() == ERROR_HANDLE_EOF) break;
      windows::ThrowLastError(path_);
    }
    if (count == 0) break;
    done += count;
  }
  return done;
}

void ExistingFile::WriteAt(std::uint64_t position, const void* buffer, std::size_t size) {
  windows::WriteAll(handle_.Get(), buffer, size, path_, &position);
  MarkWritten();
}

std::uint64_t ExistingFile::Length() {
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(handle_.Get(), &size)) windows::ThrowLastError(path_);
  return static_cast<std::uint64_t>(size.QuadPart);
}

void ExistingFile::SetLength(std::uint64_t length) {
  if (write_fault::StepFails()) Fail(kDiskFull);
  if (!SetEnd(handle_.Get(), length)) windows::ThrowLastError(path_);
  MarkWritten();
}

std::optional<std::uint64_t> ExistingFile::FreshSpaceForOverwrites() {
  // NTFS and FAT overwrite in place (ReFS with block cloning is not told apart).
  return std::nullopt;
}

void StartWriteBack(NativeHandle, std::uint64_t, std::uint64_t) noexcept {
  // Windows has no request to begin writing a range without waiting.
}

void ExistingFile::Flush() {
  if (write_fault::FlushFails()) Fail(kDiskFull);
  if (!::FlushFileBuffers(handle_.Get())) windows::ThrowLastError(path_);
  flushed_ = true;
}

void ExistingFile::Reserve(std::uint64_t length) {
  const std::uint64_t before = Length();
  if (length <= before) return;
  MarkWritten();
  if (write_fault::StepFails()) Fail(kDiskFull);
  // The allocation takes the disk space and the end of file makes it the
  // length; either failing leaves the length as it was. Without an allocation
  // request (some file systems, Wine), moving the end still allocates.
  FILE_ALLOCATION_INFO allocation{};
  allocation.AllocationSize.QuadPart = static_cast<LONGLONG>(length);
  if (!::SetFileInformationByHandle(handle_.Get(), FileAllocationInfo, &allocation,
                                    sizeof allocation)) {
    const DWORD error = ::GetLastError();
    if (error != ERROR_CALL_NOT_IMPLEMENTED && error != ERROR_NOT_SUPPORTED &&
        error != ERROR_INVALID_PARAMETER) {
      Fail(windows::ErrorTextOf(error));
    }
  }
  if (!SetEnd(handle_.Get(), length)) {
    const DWORD error = ::GetLastError();
    (void)SetEnd(handle_.Get(), before);
    Fail(windows::ErrorTextOf(error));
  }
}

FileIdentity ExistingFile::Identity() {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(handle_.Get(), &info)) windows::ThrowLastError(path_);
  return windows::IdentityFrom(info);
}

void ExistingFile::Close() {
  if (!handle_.IsOpen()) return;
  // Closing a file written and flushed is a write step that changes nothing.
  if (written_ && flushed_) (void)write_fault::StepFails();
  if (!::CloseHandle(handle_.Release()) && !flushed_) windows::ThrowLastError(path_);
}

}  // namespace vips
