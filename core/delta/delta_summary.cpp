#include "core/delta/delta_summary.hpp"

#include "core/delta/bps_decoder.hpp"
#include "core/delta/delta_frame.hpp"
#include "core/error.hpp"

namespace vips {

DeltaSummary SummarizeDelta(std::span<const std::uint8_t> patch) {
  DeltaSummary summary;
  summary.format = SniffPatchFormat(patch);
  if (summary.format != PatchFormat::Bps && summary.format != PatchFormat::Ups) {
    throw Error("Not a BPS or UPS patch");
  }
  const bool bps = summary.format == PatchFormat::Bps;
  const DeltaFrame frame = bps ? ReadDeltaFrame(patch, kBpsMagic, "", false)
                               : ReadDeltaFrame(patch, kUpsMagic, "", false);
  summary.sourceSize = frame.sourceSize;
  summary.targetSize = frame.targetSize;
  summary.sourceCrc = frame.sourceCrc;
  summary.targetCrc = frame.targetCrc;
  summary.patchCrc = frame.patchCrc;
  summary.patchCrcActual = PatchBodyCrc(patch);
  if (bps) summary.metadata = BpsMetadata(patch);
  return summary;
}

}  // namespace vips
