#pragma once

#include <string>

namespace vips {

// The part of a path after its last separator (the whole path if it has
// none). On Windows the separators are the backslash, the slash and the
// colon; elsewhere the slash.
std::string BareName(const std::string& path);

// The backup file of an original file: its full path with "_backup" appended.
std::string BackupPathOf(const std::string& originalPath);

}  // namespace vips
