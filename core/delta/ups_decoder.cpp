#include "core/delta/ups_decoder.hpp"

#include <algorithm>
#include <utility>

#include "core/delta/delta_errors.hpp"
#include "core/delta/delta_frame.hpp"
#include "core/delta/patch_format.hpp"
#include "core/error.hpp"

namespace vips {

DecodedUps DecodeUps(std::span<const std::uint8_t> patch, std::span<const std::uint8_t> original,
                     const std::string& originalName) {
  DeltaFrame frame = ReadDeltaFrame(patch, kUpsMagic, kDeltaNotUps, true);
  DecodedUps decoded;
  const std::uint32_t originalCrc = Crc32Of(original);
  if (originalCrc != frame.sourceCrc && originalCrc == frame.targetCrc &&
      original.size() == frame.targetSize) {
    decoded.backwards = true;
  } else {
    CheckOriginal(original, originalName, frame.sourceSize, frame.sourceCrc);
  }
  const std::uint64_t resultSize = decoded.backwards ? frame.sourceSize : frame.targetSize;
  const std::uint32_t resultCrc = decoded.backwards ? frame.sourceCrc : frame.targetCrc;

  // Changes may reach as far as the longer of the two files: past the
  // shorter one's end its bytes read as 0, and a change there is kept only
  // where it falls inside the result.
  const std::uint64_t reach = std::max(frame.sourceSize, frame.targetSize);
  std::vector<std::uint8_t> result = NewResult(resultSize);
  std::copy_n(original.begin(), std::min<std::uint64_t>(original.size(), resultSize),
              result.begin());
  ByteCursor& body = frame.body;
  std::uint64_t at = 0;
  while (!body.AtEnd()) {
    const std::uint64_t skip = body.Number();
    if (at > reach || skip > reach - at) throw Error(kDeltaPastBothEnds);
    at += skip;
    // XOR bytes up to a 0, which ends the change and also moves one on.
    for (std::uint8_t change = body.Byte(); change != 0; change = body.Byte()) {
      if (at >= reach) throw Error(kDeltaPastBothEnds);
      if (at < resultSize) result[at] ^= change;
      ++at;
    }
    ++at;
  }
  CheckResultCrc(result, resultCrc);
  decoded.bytes = std::move(result);
  return decoded;
}

}  // namespace vips
