#pragma once

#include <string>

namespace vips {

// The part of a path after its last separator (the whole path if it has
// none): the backslash, the slash and the colon on Windows, else the slash.
std::string BareName(const std::string& path);

// The backup file of an original file: its full path with "_backup" appended.
std::string BackupPathOf(const std::string& originalPath);

// The file that `path` stands for: `path` itself or, where a symbolic link
// stands there, the file it leads to (through any further links), which the
// backup copies and the recovery writes back, as the applier writes through
// the link. A link leading nowhere, or a path that cannot be looked at, is
// given back as it is, for the copy to refuse it.
[[nodiscard]] std::string FileBehindLinks(const std::string& path);

}  // namespace vips
