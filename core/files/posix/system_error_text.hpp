#pragma once

#include <string>

namespace vips::posix {

// The file layer's text for a system error number ("Disk full", "I/O error 5").
std::string ErrorTextOf(int error);
// The text for a failed open of `path`: a missing file, or a missing folder.
std::string OpenErrorTextOf(const std::string& path, int error);
// Takes the lock that one writer of a file holds among this program's
// processes (exclusive), or that a copy of the file holds while it reads it
// (shared); throws the system's lock error at once when a conflicting lock
// is held.
void LockExclusively(int handle);
void LockShared(int handle);

}  // namespace vips::posix
