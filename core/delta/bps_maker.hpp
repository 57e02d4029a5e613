#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace vips {

// A linear BPS patch that makes `modified` from `original`: the original's
// bytes read in place where the two agree, the modified bytes given where
// they differ or lie past the original's end; `metadata` is stored as the
// patch's metadata text. Any sizes; the footer's CRC-32s are filled in.
[[nodiscard]] std::vector<std::uint8_t> MakeLinearBps(std::span<const std::uint8_t> original,
                                                      std::span<const std::uint8_t> modified,
                                                      std::string_view metadata = {});

}  // namespace vips
