#pragma once

#include <cstdint>
#include <string>

namespace vips {

// Upper-case hexadecimal digits without leading zeros; 0 gives "0".
// -1 (the final address of an empty run at offset 0) gives "-1".
std::string HexAddressText(std::int32_t address);
// The same digits for a position in a file of any size.
std::string HexPositionText(std::uint64_t position);

}  // namespace vips
