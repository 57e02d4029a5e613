#include <windows.h>

#include "core/file_copy.hpp"
#include "core/platform/windows/wide_path.hpp"

namespace vips {

namespace {

// True when both paths name the same existing file (same volume and file
// index); replacing such a destination would destroy the source.
bool SameFile(const std::wstring& first, const std::wstring& second) {
  const auto identity = [](const std::wstring& path, BY_HANDLE_FILE_INFORMATION& info) {
    HANDLE handle =
        ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const bool known = ::GetFileInformationByHandle(handle, &info) != FALSE;
    ::CloseHandle(handle);
    return known;
  };
  BY_HANDLE_FILE_INFORMATION a{};
  BY_HANDLE_FILE_INFORMATION b{};
  if (!identity(first, a) || !identity(second, b)) return false;
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

}  // namespace

bool CopyWholeFile(const std::string& from, const std::string& to) noexcept {
  try {
    if (from.find('\0') != std::string::npos || to.find('\0') != std::string::npos) return false;
    const auto wideFrom = windows::WidePath(from);
    const auto wideTo = windows::WidePath(to);
    if (!wideFrom || !wideTo || wideFrom->empty() || wideTo->empty()) return false;
    if (SameFile(*wideFrom, *wideTo)) return false;
    // The platform copy itself refuses a read-only destination.
    return ::CopyFileW(wideFrom->c_str(), wideTo->c_str(), FALSE) != FALSE;
  } catch (...) {
    return false;
  }
}

}  // namespace vips
