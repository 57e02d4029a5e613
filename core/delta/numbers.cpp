#include "core/delta/numbers.hpp"

#include <limits>

#include "core/delta/delta_errors.hpp"
#include "core/error.hpp"

namespace vips {

std::uint8_t ByteCursor::Byte() {
  if (AtEnd()) throw Error(kDeltaCutShort);
  return bytes_[at_++];
}

std::span<const std::uint8_t> ByteCursor::Bytes(std::uint64_t count) {
  if (count > Remaining()) throw Error(kDeltaCutShort);
  const std::span<const std::uint8_t> taken = bytes_.subspan(at_, static_cast<std::size_t>(count));
  at_ += taken.size();
  return taken;
}

std::uint64_t ByteCursor::Number() {
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  std::uint64_t value = 0;
  std::uint64_t weight = 1;
  for (;;) {
    const std::uint8_t byte = Byte();
    const std::uint64_t group = byte & 0x7F;
    if (group != 0 && weight > kMax / group) throw Error(kDeltaNumberTooLarge);
    if (value > kMax - group * weight) throw Error(kDeltaNumberTooLarge);
    value += group * weight;
    if (byte & 0x80) return value;
    // At most ten bytes: past them the weight no longer fits.
    if (weight > kMax >> 7) throw Error(kDeltaNumberTooLarge);
    weight <<= 7;
    if (value > kMax - weight) throw Error(kDeltaNumberTooLarge);
    value += weight;
  }
}

void AppendNumber(std::vector<std::uint8_t>& out, std::uint64_t value) {
  for (;;) {
    const auto group = static_cast<std::uint8_t>(value & 0x7F);
    value >>= 7;
    if (value == 0) {
      out.push_back(group | 0x80);
      return;
    }
    out.push_back(group);
    --value;
  }
}

}  // namespace vips
