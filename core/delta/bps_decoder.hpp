#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vips {

// Builds the file a BPS patch makes from `original`. Refused with vips::Error
// (nothing made) when: the patch's own CRC-32 does not match (checked
// first); `original` is not the patch's source, by size or CRC-32 (the text
// names `originalName`); the target size passes kMaxDeltaResultSize; the
// metadata or an action reaches past the actions' end; a number passes 64
// bits; an action writes past the target size, reads outside the original or
// copies bytes of the result not written yet; the actions end short of the
// target size; or the result's CRC-32 is not the target's.
//
// Actions are checked in a first pass that writes nothing, so that the
// result is allocated only for a patch whose actions make exactly its target
// size.
[[nodiscard]] std::vector<std::uint8_t> DecodeBps(std::span<const std::uint8_t> patch,
                                                  std::span<const std::uint8_t> original,
                                                  const std::string& originalName);

// The metadata text of a BPS patch (often XML; empty for none), read without
// the CRC-32 checks.
[[nodiscard]] std::string BpsMetadata(std::span<const std::uint8_t> patch);

}  // namespace vips
