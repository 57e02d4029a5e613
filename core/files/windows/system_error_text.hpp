#pragma once

#include <string>

namespace vips::windows {

// The file layer's text for a system error code ("Disk full", "I/O error 5").
std::string ErrorTextOf(unsigned long error);

// The byte that the lock among this program's processes covers: far beyond
// any data, so that other programs' reads and writes are never blocked.
inline constexpr unsigned long kLockOffsetLow = 0xFFFFFFFEu;
inline constexpr unsigned long kLockOffsetHigh = 0x7FFFFFFFu;

}  // namespace vips::windows
