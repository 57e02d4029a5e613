#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "core/delta/patch_format.hpp"

namespace vips {

// What a BPS or UPS patch says about itself, for `info`.
struct DeltaSummary {
  PatchFormat format = PatchFormat::Unknown;
  std::uint64_t sourceSize = 0;
  std::uint64_t targetSize = 0;
  std::uint32_t sourceCrc = 0;
  std::uint32_t targetCrc = 0;
  std::uint32_t patchCrc = 0;        // as its footer gives it
  std::uint32_t patchCrcActual = 0;  // of its bytes before that
  std::string metadata;              // BPS only; empty for none

  [[nodiscard]] bool Damaged() const { return patchCrc != patchCrcActual; }
};

// Reads the sizes, the footer and (BPS) the metadata of `patch` without
// applying it; a damaged patch is summarized, with Damaged() true. Throws
// vips::Error for a patch of another format, one too short for its footer,
// an overlong number or metadata past the end.
[[nodiscard]] DeltaSummary SummarizeDelta(std::span<const std::uint8_t> patch);

}  // namespace vips
