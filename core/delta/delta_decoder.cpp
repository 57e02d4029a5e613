#include "core/delta/delta_decoder.hpp"

#include "core/delta/bps_decoder.hpp"
#include "core/delta/patch_format.hpp"
#include "core/delta/ups_decoder.hpp"
#include "core/error.hpp"

namespace vips {

DeltaResult DecodeDeltaBytes(std::span<const std::uint8_t> patch,
                             std::span<const std::uint8_t> original,
                             const std::string& originalName) {
  DeltaResult decoded;
  switch (SniffPatchFormat(patch)) {
    case PatchFormat::Bps:
      decoded.result = DecodeBps(patch, original, originalName);
      return decoded;
    case PatchFormat::Ups: {
      DecodedUps ups = DecodeUps(patch, original, originalName);
      decoded.result = std::move(ups.bytes);
      decoded.backwards = ups.backwards;
      return decoded;
    }
    default:
      throw Error("Not a BPS or UPS patch");
  }
}

}  // namespace vips
