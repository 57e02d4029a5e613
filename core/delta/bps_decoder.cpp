#include "core/delta/bps_decoder.hpp"

#include <algorithm>
#include <cstring>

#include "core/delta/delta_errors.hpp"
#include "core/delta/delta_frame.hpp"
#include "core/delta/patch_format.hpp"
#include "core/error.hpp"

namespace vips {
namespace {

enum Action : std::uint8_t { kSourceRead = 0, kTargetRead = 1, kSourceCopy = 2, kTargetCopy = 3 };

// The frame, with its body moved past the metadata.
struct BpsParts {
  DeltaFrame frame;
  std::span<const std::uint8_t> metadata;
};

BpsParts ReadBpsParts(std::span<const std::uint8_t> patch, bool checkPatchCrc) {
  BpsParts parts{ReadDeltaFrame(patch, kBpsMagic, kDeltaNotBps, checkPatchCrc), {}};
  const std::uint64_t metadataSize = parts.frame.body.Number();
  if (metadataSize > parts.frame.body.Remaining()) throw Error(kDeltaMetadataPastEnd);
  parts.metadata = parts.frame.body.Bytes(metadataSize);
  return parts;
}

// A copy's read cursor moved by an encoded offset (bit 0 the sign); `limit`
// is one past the last position it may reach, `outside` the refusal.
std::uint64_t MovedCursor(std::uint64_t cursor, std::uint64_t encoded, std::uint64_t limit,
                          const char* outside) {
  const std::uint64_t distance = encoded >> 1;
  if (encoded & 1) {
    if (distance > cursor) throw Error(outside);
    return cursor - distance;
  }
  if (distance > limit - cursor) throw Error(outside);
  return cursor + distance;
}

// Runs the actions of `body` over `source`: checks them all and, with
// `out` given, writes the target there. Throws unless they make exactly
// `targetSize` bytes.
void RunActions(ByteCursor body, std::span<const std::uint8_t> source, std::uint64_t targetSize,
                std::uint8_t* out) {
  std::uint64_t written = 0;
  std::uint64_t sourceCursor = 0;
  std::uint64_t targetCursor = 0;
  while (!body.AtEnd()) {
    const std::uint64_t action = body.Number();
    const std::uint64_t length = (action >> 2) + 1;
    if (length > targetSize - written) throw Error(kDeltaPastTarget);
    switch (action & 3) {
      case kSourceRead:
        if (length > source.size() || written > source.size() - length) {
          throw Error(kDeltaOutsideSource);
        }
        if (out) std::memcpy(out + written, source.data() + written, length);
        break;
      case kTargetRead: {
        const std::span<const std::uint8_t> bytes = body.Bytes(length);
        if (out) std::memcpy(out + written, bytes.data(), length);
        break;
      }
      case kSourceCopy:
        sourceCursor = MovedCursor(sourceCursor, body.Number(), source.size(), kDeltaOutsideSource);
        if (length > source.size() - sourceCursor) throw Error(kDeltaOutsideSource);
        if (out) std::memcpy(out + written, source.data() + sourceCursor, length);
        sourceCursor += length;
        break;
      case kTargetCopy: {
        targetCursor = MovedCursor(targetCursor, body.Number(), written, kDeltaOutsideTarget);
        if (targetCursor >= written) throw Error(kDeltaOutsideTarget);
        if (out) {
          // Byte by byte in effect: a copy that overlaps its own output
          // repeats the last (written - targetCursor) bytes. Each piece is
          // as long as what lies between the read start and the write
          // position, so the pieces double.
          std::uint64_t at = written;
          for (std::uint64_t left = length; left > 0;) {
            const std::uint64_t piece = std::min(left, at - targetCursor);
            std::memcpy(out + at, out + targetCursor, piece);
            at += piece;
            left -= piece;
          }
        }
        targetCursor += length;
        break;
      }
    }
    written += length;
  }
  if (written != targetSize) throw Error(kDeltaShortOfTarget);
}

}  // namespace

std::vector<std::uint8_t> DecodeBps(std::span<const std::uint8_t> patch,
                                    std::span<const std::uint8_t> original,
                                    const std::string& originalName) {
  const BpsParts parts = ReadBpsParts(patch, true);
  const DeltaFrame& frame = parts.frame;
  CheckOriginal(original, originalName, frame.sourceSize, frame.sourceCrc);
  CheckResultSize(frame.targetSize);
  RunActions(frame.body, original, frame.targetSize, nullptr);
  std::vector<std::uint8_t> result = NewResult(frame.targetSize);
  RunActions(frame.body, original, frame.targetSize, result.data());
  CheckResultCrc(result, frame.targetCrc);
  return result;
}

std::string BpsMetadata(std::span<const std::uint8_t> patch) {
  const BpsParts parts = ReadBpsParts(patch, false);
  return {parts.metadata.begin(), parts.metadata.end()};
}

}  // namespace vips
