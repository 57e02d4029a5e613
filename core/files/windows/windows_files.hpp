#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "core/files/file_access.hpp"

namespace vips::windows {

// The file layer's text for a system error code ("Disk full", "I/O error 5").
std::string ErrorTextOf(unsigned long error);
// Throws the text of the thread's last error with `path`.
[[noreturn]] void ThrowLastError(const std::string& path);

// A UTF-8 path as the wide-character path the file API takes; nothing when
// it is empty, holds a NUL or is no valid UTF-8.
std::optional<std::wstring> WidePath(const std::string& path);
// The same, or "Invalid filename" thrown.
std::wstring WidePathOrThrow(const std::string& path);

// Takes at once (LockFileEx `flags`) or, with `release`, gives up this program's
// lock, on a byte past any data so that other programs' reads and writes go on.
// False on failure.
bool LockByte(void* handle, unsigned long flags, bool release = false);
// Writes all `size` bytes at `position`, or after those written before when
// it is null; each piece is a write step, and errors throw with `path`.
void WriteAll(void* handle, const void* buffer, std::size_t size, const std::string& path,
              const std::uint64_t* position = nullptr);

inline FileIdentity IdentityFrom(const BY_HANDLE_FILE_INFORMATION& info) {
  return {info.dwVolumeSerialNumber,
          static_cast<std::uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
}

}  // namespace vips::windows
