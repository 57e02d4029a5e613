#pragma once

#include <string>

namespace vips {

// The part of a path after its last separator (the whole path if it has
// none): the backslash, the slash and the colon on Windows, else the slash.
std::string BareName(const std::string& path);

// The backup file of an original file: its full path with "_backup" appended.
std::string BackupPathOf(const std::string& originalPath);

// The file that the user's `path` stands for: `path` itself, or, where a
// symbolic link stands there, the file the link leads to (through any further
// links). The backup copies that file and the recovery writes it back there,
// as the applier writes through the link. A link that leads nowhere, or a
// path that cannot be looked at, is given back as it is, for the copy to
// refuse it.
[[nodiscard]] std::string FileBehindLinks(const std::string& path);

}  // namespace vips
