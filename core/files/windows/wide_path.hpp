#pragma once

#include <optional>
#include <string>

namespace vips::windows {

// A UTF-8 path as the wide-character path the file API takes; nothing when
// the text is no valid UTF-8.
std::optional<std::wstring> WidePath(const std::string& path);

}  // namespace vips::windows
