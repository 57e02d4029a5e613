#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>

#include "core/error.hpp"
#include "core/files/file_access.hpp"
#include "core/files/file_copy.hpp"
#include "core/files/windows/system_error_text.hpp"
#include "core/files/windows/wide_path.hpp"
#include "core/files/replacement_file.hpp"
#include "core/files/write_fault.hpp"

namespace vips {

namespace {

constexpr DWORD kChunkSize = 1024 * 1024;

// Closes a handle when it leaves scope.
class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (Valid()) ::CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  [[nodiscard]] HANDLE Get() const { return handle_; }
  [[nodiscard]] bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
};

std::wstring Wide(const std::string& path) {
  const std::optional<std::wstring> wide = windows::WidePath(path);
  if (!wide || wide->empty()) throw Error(kInvalidFilename, path);
  return *wide;
}

// Opens the link itself where a link stands at `path`, never its target.
HANDLE OpenNoFollow(const std::string& path, DWORD access) {
  return ::CreateFileW(
      Wide(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool IsLinkOrFolder(const BY_HANDLE_FILE_INFORMATION& info) {
  return (info.dwFileAttributes &
          (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0;
}

}  // namespace

void CopyWholeFileOrThrow(const std::string& from, const std::string& to) {
  for (const std::string* path : {&from, &to}) {
    if (path->empty()) throw Error(kFileNotFound, *path);
    if (path->find('\0') != std::string::npos) throw Error(kInvalidFilename, *path);
  }

  const Handle source(OpenNoFollow(from, GENERIC_READ));
  if (!source.Valid()) throw Error(windows::ErrorTextOf(::GetLastError()), from);
  BY_HANDLE_FILE_INFORMATION sourceInfo{};
  if (!::GetFileInformationByHandle(source.Get(), &sourceInfo)) {
    throw Error(windows::ErrorTextOf(::GetLastError()), from);
  }
  // Only a regular file on a disk has a whole to copy; a link is no backup.
  if (::GetFileType(source.Get()) != FILE_TYPE_DISK || IsLinkOrFolder(sourceInfo)) {
    throw Error(kFileAccessDenied, from);
  }

  // A file that another run of this program is patching is not copied
  // half-written: a shared lock on the byte the applier locks.
  OVERLAPPED sourceLock{};
  sourceLock.Offset = windows::kLockOffsetLow;
  sourceLock.OffsetHigh = windows::kLockOffsetHigh;
  if (!::LockFileEx(source.Get(), LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &sourceLock)) {
    throw Error(windows::ErrorTextOf(::GetLastError()), from);
  }

  // The destination is only checked and probed for another run's lock here:
  // Windows refuses to rename over a file that is open (whatever its sharing),
  // so the handle is closed before the copy replaces it, and a run that opens
  // the file meanwhile makes that rename fail rather than lose its writes.
  {
    const Handle destination(OpenNoFollow(to, GENERIC_READ));
    if (destination.Valid()) {
      BY_HANDLE_FILE_INFORMATION info{};
      if (!::GetFileInformationByHandle(destination.Get(), &info)) {
        throw Error(windows::ErrorTextOf(::GetLastError()), to);
      }
      const bool link = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
      if (!link) {
        if (::GetFileType(destination.Get()) != FILE_TYPE_DISK || IsLinkOrFolder(info) ||
            (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
          throw Error(kFileAccessDenied, to);
        }
        // Copying a file over itself would destroy it.
        if (info.dwVolumeSerialNumber == sourceInfo.dwVolumeSerialNumber &&
            info.nFileIndexHigh == sourceInfo.nFileIndexHigh &&
            info.nFileIndexLow == sourceInfo.nFileIndexLow) {
          throw Error(kFileAccessDenied, to);
        }
        // The same byte range beyond any data that the applier locks.
        OVERLAPPED where{};
        where.Offset = windows::kLockOffsetLow;
        where.OffsetHigh = windows::kLockOffsetHigh;
        if (!::LockFileEx(destination.Get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                          1, 0, &where)) {
          throw Error(windows::ErrorTextOf(::GetLastError()), to);
        }
        ::UnlockFileEx(destination.Get(), 0, 1, 0, &where);
      }
    } else {
      const DWORD error = ::GetLastError();
      if (error != ERROR_FILE_NOT_FOUND) throw Error(windows::ErrorTextOf(error), to);
    }
  }

  ReplacementFile copy = ReplacementFile::Create(to);
  const std::unique_ptr<char[]> buffer(new char[kChunkSize]);
  // A read that ends before the source's known length is an error, not a
  // shorter backup.
  const std::uint64_t length =
      std::uint64_t{sourceInfo.nFileSizeHigh} << 32 | sourceInfo.nFileSizeLow;
  std::uint64_t copied = 0;
  for (;;) {
    DWORD count = 0;
    if (write_fault::ReadEnds()) break;
    if (!::ReadFile(source.Get(), buffer.get(), kChunkSize, &count, nullptr)) {
      throw Error(windows::ErrorTextOf(::GetLastError()), from);
    }
    if (count == 0) break;
    copy.Append(buffer.get(), count);
    copied += count;
  }
  if (copied < length) throw Error(kReadBeyondEnd, from);
  copy.Commit();
}

}  // namespace vips
