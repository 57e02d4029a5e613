#pragma once

#include <cstdint>
#include <string>

namespace vips {

// Reads a text as a signed 32-bit decimal whole number: optional blanks
// around an optional sign and one or more digits. Anything else, or a value
// out of range, throws vips::Error("'<text>' is not a valid integer value").
std::int32_t StrToInt(const std::string& text);

}  // namespace vips
