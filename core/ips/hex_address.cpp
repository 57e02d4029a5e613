#include "core/ips/hex_address.hpp"

#include <charconv>
#include <iterator>

namespace vips {
namespace {

template <typename Number>
std::string UpperHex(Number value) {
  char digits[20];
  std::string text(digits, std::to_chars(std::begin(digits), std::end(digits), value, 16).ptr);
  for (char& c : text) {
    if (c >= 'a') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

}  // namespace

std::string HexAddressText(std::int32_t address) {
  // A negative value gets a minus sign rather than a two's-complement pattern.
  return UpperHex(address);
}

std::string HexPositionText(std::uint64_t position) {
  return UpperHex(position);
}

}  // namespace vips
