#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace vips::fuzz {

// Feeds a BPS or UPS patch to its decoder against an original made from the
// control bytes, and checks what comes out (see delta_checks.cpp). Aborts on
// any mismatch.
void CheckDeltaPatch(std::uint8_t flags, std::uint16_t originalLength,
                     std::span<const std::uint8_t> patch);

}  // namespace vips::fuzz
