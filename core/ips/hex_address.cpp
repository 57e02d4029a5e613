#include "core/ips/hex_address.hpp"

#include <charconv>
#include <iterator>

namespace vips {

std::string HexAddressText(std::int32_t address) {
  // A negative value gets a minus sign rather than a two's-complement pattern.
  char digits[12];
  std::string text(digits, std::to_chars(std::begin(digits), std::end(digits), address, 16).ptr);
  for (char& c : text) {
    if (c >= 'a') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

}  // namespace vips
