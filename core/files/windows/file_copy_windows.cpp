#include <windows.h>

#include "core/error.hpp"
#include "core/files/file_copy.hpp"
#include "core/files/windows/windows_files.hpp"

namespace vips {

FileHandle LockCopyDestination(const std::string& to, const FileIdentity& source) {
  // Only checked and probed for another run's lock: Windows cannot rename over
  // an open file, so the handle is closed before the copy replaces it, and a
  // run opening the file meanwhile makes that rename fail rather than lose its
  // writes. A link at `to` is opened itself, never its target.
  HANDLE handle =
      ::CreateFileW(windows::WidePathOrThrow(to).c_str(), GENERIC_READ,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_NOT_FOUND) throw Error(windows::ErrorTextOf(error), to);
    return {};
  }
  const FileHandle destination(handle);
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(handle, &info)) windows::ThrowLastError(to);
  // A link is replaced, never followed.
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return {};
  // Copying a file over itself would destroy it.
  if (::GetFileType(handle) != FILE_TYPE_DISK || windows::IdentityFrom(info) == source ||
      (info.dwFileAttributes &
       (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_READONLY)) != 0) {
    throw Error(kFileAccessDenied, to);
  }
  if (!windows::LockByte(handle, LOCKFILE_EXCLUSIVE_LOCK)) windows::ThrowLastError(to);
  windows::LockByte(handle, 0, true);
  return {};
}

}  // namespace vips
