#include <windows.h>

#include <algorithm>
#include <optional>
#include <utility>

#include "core/error.hpp"
#include "core/files/file_access.hpp"
#include "core/files/windows/system_error_text.hpp"
#include "core/files/windows/wide_path.hpp"
#include "core/files/write_fault.hpp"

namespace vips {

namespace {

void* const kClosed = nullptr;

FileIdentity IdentityFrom(const BY_HANDLE_FILE_INFORMATION& info) {
  return {info.dwVolumeSerialNumber,
          static_cast<std::uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
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
    case ERROR_LOCK_VIOLATION:
      return kFileBusy;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return kDiskFull;
    default:
      return IoErrorText(static_cast<int>(error));
  }
}

}  // namespace windows

std::optional<FileIdentity> IdentityOf(const std::string& path) {
  if (path.empty() || path.find('\0') != std::string::npos) return std::nullopt;
  const std::optional<std::wstring> wide = windows::WidePath(path);
  if (!wide) return std::nullopt;
  HANDLE handle =
      ::CreateFileW(wide->c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool known = ::GetFileInformationByHandle(handle, &info) != FALSE;
  ::CloseHandle(handle);
  if (!known) return std::nullopt;
  return IdentityFrom(info);
}

bool IsRegularFile(const std::string& path) {
  if (path.empty() || path.find('\0') != std::string::npos) return false;
  const std::optional<std::wstring> wide = windows::WidePath(path);
  if (!wide) return false;
  const DWORD attributes = ::GetFileAttributesW(wide->c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes &
          (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) == 0;
}

ExistingFile ExistingFile::OpenWithAccess(const std::string& path, bool forWriting) {
  if (path.empty()) throw Error(kFileNotFound, path);
  // The system would stop reading the name at a NUL and open another file.
  if (path.find('\0') != std::string::npos) throw Error(kInvalidFilename, path);
  const std::optional<std::wstring> wide = windows::WidePath(path);
  if (!wide) throw Error(kInvalidFilename, path);
  HANDLE handle = ::CreateFileW(
      wide->c_str(), forWriting ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ,
      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) throw Error(windows::ErrorTextOf(::GetLastError()), path);
  ExistingFile file(handle, path);
  // Only a file on a disk has bytes to patch: a pipe would leave a read
  // waiting forever, and a device (NUL, CON) is no file.
  if (::GetFileType(handle) != FILE_TYPE_DISK) file.Fail(kFileAccessDenied);
  return file;
}

ExistingFile::ExistingFile(ExistingFile&& other) noexcept
    : handle_(std::exchange(other.handle_, kClosed)),
      path_(std::move(other.path_)),
      written_(other.written_),
      flushed_(other.flushed_) {}

ExistingFile& ExistingFile::operator=(ExistingFile&& other) noexcept {
  if (this != &other) {
    if (handle_ != kClosed) ::CloseHandle(handle_);
    handle_ = std::exchange(other.handle_, kClosed);
    path_ = std::move(other.path_);
    written_ = other.written_;
    flushed_ = other.flushed_;
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
  if (write_fault::ReadEnds()) return 0;
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
  if (size > 0 && write_fault::ReadEnds()) size = 0;
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
    if (write_fault::StepFails()) Fail(kDiskFull);
    OVERLAPPED overlapped = OverlappedAt(position + done);
    DWORD count = 0;
    if (!::WriteFile(handle_, bytes + done, ChunkOf(size - done), &count, &overlapped)) {
      ThrowLastError();
    }
    if (count == 0) Fail(kDiskFull);
    done += count;
  }
  written_ = true;
  flushed_ = false;
  if (!::SetFilePointerEx(handle_, saved, nullptr, FILE_BEGIN)) ThrowLastError();
}

std::uint64_t ExistingFile::Length() {
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(handle_, &size)) ThrowLastError();
  return static_cast<std::uint64_t>(size.QuadPart);
}

void ExistingFile::SetLength(std::uint64_t length) {
  if (write_fault::StepFails()) Fail(kDiskFull);
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
  if (!::SetFileInformationByHandle(handle_, FileEndOfFileInfo, &end, sizeof end)) {
    ThrowLastError();
  }
  written_ = true;
  flushed_ = false;
}

std::optional<std::uint64_t> ExistingFile::FreshSpaceForOverwrites() {
  // NTFS and FAT overwrite in place; ReFS with block cloning is not told
  // apart here.
  return std::nullopt;
}

void ExistingFile::Flush() {
  if (write_fault::StepFails()) Fail(kDiskFull);
  if (!::FlushFileBuffers(handle_)) ThrowLastError();
  flushed_ = true;
}

void ExistingFile::Reserve(std::uint64_t length) {
  const std::uint64_t before = Length();
  if (length <= before) return;
  written_ = true;
  flushed_ = false;
  if (write_fault::StepFails()) Fail(kDiskFull);
  // The allocation takes the disk space; the end of file then makes it the
  // file's length. Either failing leaves the length as it was. Where the file
  // system (or Wine) has no allocation request, moving the end of file still
  // allocates the clusters, so a full disk is caught there.
  FILE_ALLOCATION_INFO allocation{};
  allocation.AllocationSize.QuadPart = static_cast<LONGLONG>(length);
  if (!::SetFileInformationByHandle(handle_, FileAllocationInfo, &allocation, sizeof allocation)) {
    const DWORD error = ::GetLastError();
    if (error != ERROR_CALL_NOT_IMPLEMENTED && error != ERROR_NOT_SUPPORTED &&
        error != ERROR_INVALID_PARAMETER) {
      Fail(windows::ErrorTextOf(error));
    }
  }
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
  if (!::SetFileInformationByHandle(handle_, FileEndOfFileInfo, &end, sizeof end)) {
    const DWORD error = ::GetLastError();
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(before);
    ::SetFileInformationByHandle(handle_, FileEndOfFileInfo, &end, sizeof end);
    Fail(windows::ErrorTextOf(error));
  }
}

void ExistingFile::LockForWriting() {
  OVERLAPPED where{};
  where.Offset = windows::kLockOffsetLow;
  where.OffsetHigh = windows::kLockOffsetHigh;
  if (!::LockFileEx(handle_, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                    &where)) {
    ThrowLastError();
  }
}

void ExistingFile::LockForReading() {
  OVERLAPPED where{};
  where.Offset = windows::kLockOffsetLow;
  where.OffsetHigh = windows::kLockOffsetHigh;
  if (!::LockFileEx(handle_, LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &where)) ThrowLastError();
}

FileIdentity ExistingFile::Identity() {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(handle_, &info)) ThrowLastError();
  return IdentityFrom(info);
}

void ExistingFile::ThrowLastError() const {
  Fail(windows::ErrorTextOf(::GetLastError()));
}

void ExistingFile::Close() {
  if (handle_ == kClosed) return;
  HANDLE handle = std::exchange(handle_, kClosed);
  // The close of a file written is a write step; after a flush its failure
  // changes nothing on the disk.
  const bool failing = written_ && flushed_ && write_fault::StepFails();
  const bool closed = ::CloseHandle(handle) != 0;
  if ((!closed || failing) && !flushed_) {
    Fail(failing ? kDiskFull : windows::ErrorTextOf(::GetLastError()));
  }
}

}  // namespace vips
