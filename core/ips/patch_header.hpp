#pragma once

#include <string>

namespace vips {

// Whether the file at `path` begins with the header "PATCH", which is what
// tells an IPS patch from any other file before it is loaded. A file that
// cannot be opened or read is no patch here.
[[nodiscard]] bool BeginsAsPatch(const std::string& path) noexcept;

}  // namespace vips
