#pragma once

#include <string>

namespace vips {

// Copies the whole file `from` to `to`, creating or replacing `to`. Returns
// false when the copy could not be made (missing source, read-only or
// unwritable destination, full disk, source and destination the same file);
// never throws.
[[nodiscard]] bool CopyWholeFile(const std::string& from, const std::string& to) noexcept;

}  // namespace vips
