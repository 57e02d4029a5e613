#include <windows.h>

#include <climits>
#include <optional>

#include "core/files/path_names.hpp"
#include "core/files/windows/windows_files.hpp"

namespace vips {

namespace {

std::optional<std::string> Utf8(const std::wstring& wide) {
  if (wide.size() > static_cast<std::size_t>(INT_MAX)) return std::nullopt;
  const int inSize = static_cast<int>(wide.size());
  const int size = ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), inSize,
                                         nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::nullopt;
  std::string text(static_cast<std::size_t>(size), '\0');
  if (::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), inSize, text.data(), size,
                            nullptr, nullptr) != size) {
    return std::nullopt;
  }
  return text;
}

}  // namespace

std::string FileBehindLinks(const std::string& path) {
  const std::optional<std::wstring> wide = windows::WidePath(path);
  if (!wide) return path;
  const DWORD attributes = ::GetFileAttributesW(wide->c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    return path;
  }
  // Opened through the link: the handle is the file it leads to.
  const HANDLE file =
      ::CreateFileW(wide->c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return path;
  std::wstring target(MAX_PATH, L'\0');
  DWORD length = ::GetFinalPathNameByHandleW(file, target.data(), static_cast<DWORD>(target.size()),
                                             FILE_NAME_NORMALIZED);
  if (length >= target.size()) {
    target.resize(length);
    length = ::GetFinalPathNameByHandleW(file, target.data(), static_cast<DWORD>(target.size()),
                                         FILE_NAME_NORMALIZED);
  }
  ::CloseHandle(file);
  if (length == 0 || length >= target.size()) return path;
  target.resize(length);
  return Utf8(target).value_or(path);
}

std::vector<std::string> OtherNamesInFolder(const std::string& path) {
  const std::optional<std::wstring> wide = windows::WidePath(path);
  if (!wide) return {};
  const HANDLE file =
      ::CreateFileW(wide->c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  BY_HANDLE_FILE_INFORMATION info{};
  const bool known = ::GetFileInformationByHandle(file, &info) != 0;
  ::CloseHandle(file);
  if (!known || info.nNumberOfLinks < 2) return {};
  const FileIdentity identity = windows::IdentityFrom(info);
  const std::string name = BareName(path);
  const std::string prefix = path.substr(0, path.size() - name.size());
  const std::optional<std::wstring> pattern =
      windows::WidePath(prefix.empty() ? "*" : prefix + "*");
  if (!pattern) return {};
  WIN32_FIND_DATAW found{};
  const HANDLE search = ::FindFirstFileW(pattern->c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return {};
  std::vector<std::string> names;
  do {
    const std::optional<std::string> other = Utf8(found.cFileName);
    if (!other || *other == "." || *other == ".." || *other == name ||
        (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
      continue;
    }
    if (IdentityOf(prefix + *other) == identity) names.push_back(prefix + *other);
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
  return names;
}

std::size_t NameLimitOf(const std::string&) {
  // 255 UTF-16 units, never fewer than the UTF-8 bytes counted against it.
  return 255;
}

}  // namespace vips
