#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vips {

// The file a BPS or UPS patch makes from `original`.
struct DeltaResult {
  std::vector<std::uint8_t> result;
  // A UPS patch undone: `original` was its target.
  bool backwards = false;
};

// Decodes `patch`, a BPS or UPS patch by its first bytes, against `original`
// (named `originalName` in the refusals, which are DecodeBps's and
// DecodeUps's); anything else is refused as "Not a BPS or UPS patch".
[[nodiscard]] DeltaResult DecodeDeltaBytes(std::span<const std::uint8_t> patch,
                                           std::span<const std::uint8_t> original,
                                           const std::string& originalName);

}  // namespace vips
