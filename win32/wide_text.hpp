#pragma once

#include <string>
#include <string_view>

namespace vips::win32 {

// The window's logic keeps texts and paths in UTF-8; Windows takes UTF-16.
[[nodiscard]] std::wstring Wide(std::string_view utf8);
[[nodiscard]] std::string Utf8(std::wstring_view wide);

}  // namespace vips::win32
