#include <windows.h>

#include <climits>

#include "core/error.hpp"
#include "core/files/file_access.hpp"
#include "core/files/windows/windows_files.hpp"

namespace vips::windows {

std::optional<std::wstring> WidePath(const std::string& path) {
  // The system would stop reading a name at a NUL and find another file.
  if (path.empty() || path.find('\0') != std::string::npos ||
      path.size() > static_cast<std::size_t>(INT_MAX)) {
    return std::nullopt;
  }
  const int inSize = static_cast<int>(path.size());
  const int wideSize =
      ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), inSize, nullptr, 0);
  if (wideSize <= 0) return std::nullopt;
  std::wstring wide(static_cast<std::size_t>(wideSize), L'\0');
  if (::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), inSize, wide.data(),
                            wideSize) != wideSize) {
    return std::nullopt;
  }
  return wide;
}

std::wstring WidePathOrThrow(const std::string& path) {
  const std::optional<std::wstring> wide = WidePath(path);
  if (!wide) throw Error(kInvalidFilename, path);
  return *wide;
}

}  // namespace vips::windows
