#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vips {

// Reads a delta patch's bytes strictly forward, up to a limit (the start of
// its footer). Every read that would pass the limit throws kDeltaCutShort.
class ByteCursor {
 public:
  explicit ByteCursor(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  [[nodiscard]] bool AtEnd() const { return at_ == bytes_.size(); }
  [[nodiscard]] std::size_t Remaining() const { return bytes_.size() - at_; }
  // How far the cursor is from the start of its bytes.
  [[nodiscard]] std::size_t Position() const { return at_; }

  std::uint8_t Byte();
  // The next `count` bytes, in place.
  std::span<const std::uint8_t> Bytes(std::uint64_t count);
  // A number of 7-bit groups, least significant first; a byte with bit 7 set
  // is the last, and each further group also counts one more of its weight,
  // so that every value has one spelling. A value past 64 bits throws
  // kDeltaNumberTooLarge.
  std::uint64_t Number();

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t at_ = 0;
};

// Appends `value` spelled as ByteCursor::Number reads it.
void AppendNumber(std::vector<std::uint8_t>& out, std::uint64_t value);

}  // namespace vips
