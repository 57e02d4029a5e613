#pragma once

#include <string>

namespace vips::posix {

// The file layer's text for a system error number ("Disk full", "I/O error 5").
std::string ErrorTextOf(int error);
// The text for a failed open of `path`: a missing file, or a missing folder.
std::string OpenErrorTextOf(const std::string& path, int error);

}  // namespace vips::posix
