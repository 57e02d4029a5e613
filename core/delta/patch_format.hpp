#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace vips {

// The first bytes of the two delta formats; IPS patches begin with
// kPatchHeader ("PATCH").
inline constexpr std::uint8_t kBpsMagic[4] = {'B', 'P', 'S', '1'};
inline constexpr std::uint8_t kUpsMagic[4] = {'U', 'P', 'S', '1'};

enum class PatchFormat { Unknown, Ips, Bps, Ups };

// How many first bytes of a file tell its format.
inline constexpr std::size_t kFormatSniffSize = 5;

// The format that `firstBytes` (a file's first kFormatSniffSize bytes, or all
// of a shorter file) begin; Unknown for anything else.
[[nodiscard]] PatchFormat SniffPatchFormat(std::span<const std::uint8_t> firstBytes);

}  // namespace vips
