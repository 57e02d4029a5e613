#include "core/ips/hex_address.hpp"

#include <cstdint>

namespace vips {

std::string HexAddressText(std::int32_t address) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  // Only -1 (an empty run at offset 0) ever arrives negative; any negative
  // value is shown with a minus sign rather than as a two's-complement pattern.
  const bool negative = address < 0;
  std::uint32_t value =
      negative ? 0u - static_cast<std::uint32_t>(address) : static_cast<std::uint32_t>(address);
  char digits[8];
  int count = 0;
  do {
    digits[count++] = kDigits[value & 0xF];
    value >>= 4;
  } while (value != 0);
  std::string text;
  text.reserve(static_cast<std::size_t>(count) + (negative ? 1 : 0));
  if (negative) text.push_back('-');
  while (count > 0) text.push_back(digits[--count]);
  return text;
}

}  // namespace vips
