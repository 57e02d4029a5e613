#pragma once

#include <QString>
#include <string_view>

namespace vips::app {

// The window's texts and the core's file names are UTF-8; Qt's are UTF-16.
[[nodiscard]] inline QString ToQString(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

}  // namespace vips::app
