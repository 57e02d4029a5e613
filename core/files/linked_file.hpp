#pragma once

#include <string>

namespace vips {

// The file that the user's `path` stands for: `path` itself, or, where a
// symbolic link stands there, the file the link leads to (through any
// further links). The backup copies that file and the recovery writes it
// back there, as the applier writes through the link. A link that leads
// nowhere, or a path that cannot be looked at, is given back as it is, for
// the copy to refuse it.
[[nodiscard]] std::string FileBehindLinks(const std::string& path);

}  // namespace vips
