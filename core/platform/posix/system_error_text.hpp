#pragma once

#include <string>

namespace vips::posix {

// The file layer's text for a system error number ("Disk full", "I/O error 5").
std::string ErrorTextOf(int error);
// The text for a failed open of `path`: a missing file, or a missing folder.
std::string OpenErrorTextOf(const std::string& path, int error);
// Takes the exclusive lock that one writer of a file holds among this
// program's processes; throws the system's lock error when another holds it.
void LockExclusively(int handle);

}  // namespace vips::posix
