#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vips {

struct DecodedUps {
  std::vector<std::uint8_t> bytes;
  // The patch was applied backwards: `original` was its target, and `bytes`
  // is its source.
  bool backwards = false;
};

// Builds the file a UPS patch makes from `original`: forwards when `original`
// is the patch's source (size and CRC-32), backwards when it is its target
// (the changes are XORs, so they undo themselves). Refused with vips::Error
// (nothing made) when: the patch's own CRC-32 does not match (checked
// first); `original` is neither (the text names `originalName` and the
// source's CRC-32); the result would pass kMaxDeltaResultSize; a number
// passes 64 bits; a change reaches past both sizes; the changes run into the
// footer; or the result's CRC-32 is not the one the patch gives for it.
[[nodiscard]] DecodedUps DecodeUps(std::span<const std::uint8_t> patch,
                                   std::span<const std::uint8_t> original,
                                   const std::string& originalName);

}  // namespace vips
