// The BPS and UPS half of the fuzzer. A mutated patch almost never keeps
// its CRC-32s, so by default the footer is mended before decoding: the
// source's CRC-32 becomes the original's and the patch's own is recomputed;
// when the result's CRC-32 is then all that is refused, its value is taken
// from the refusal's text and the patch is decoded again, which must now
// succeed. A decoded result is checked against its footer, against the
// stretches listed from it, and against the maker's patch for it.
//
// Flags (the input's first byte): bit 7 leaves the footer as it is; bit 6
// makes the original `originalLength` bytes long rather than as long as the
// patch says its source is.
#include "fuzz/delta_checks.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "core/delta/bps_decoder.hpp"
#include "core/delta/bps_maker.hpp"
#include "core/delta/delta_errors.hpp"
#include "core/delta/delta_frame.hpp"
#include "core/delta/delta_summary.hpp"
#include "core/delta/patch_format.hpp"
#include "core/delta/stretches.hpp"
#include "core/delta/ups_decoder.hpp"
#include "core/error.hpp"

namespace vips::fuzz {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Decoding holds the result in memory: past this the patch is only
// summarized, so that one input cannot take the fuzzer's memory.
constexpr std::uint64_t kMaxDecodedSize = 1 << 20;
constexpr std::uint64_t kMaxDerivedOriginal = 1 << 16;
constexpr std::size_t kFooterSize = 12;
constexpr const char* kResultRefusal = "CRC-32 of the patched file is ";

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "delta mismatch: %s\n", what);
    std::abort();
  }
}

void PutLittleEndian32(Bytes& patch, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) patch[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void MendPatchCrc(Bytes& patch) {
  PutLittleEndian32(patch, patch.size() - 4, PatchBodyCrc(patch));
}

struct Outcome {
  std::optional<Bytes> result;
  bool backwards = false;
  std::string refusal;
};

Outcome Decode(PatchFormat format, std::span<const std::uint8_t> patch, const Bytes& original) {
  Outcome outcome;
  try {
    if (format == PatchFormat::Bps) {
      outcome.result = DecodeBps(patch, original, "original");
    } else {
      DecodedUps decoded = DecodeUps(patch, original, "original");
      outcome.result = std::move(decoded.bytes);
      outcome.backwards = decoded.backwards;
    }
  } catch (const Error& error) {
    outcome.refusal = error.what();
  }
  return outcome;
}

// The stretches rebuild the result from the original.
void CheckStretches(const Bytes& original, const Bytes& result) {
  const StretchList list = ListStretches(original, result);
  Bytes written = original;
  if (list.shortensTo) {
    Check(*list.shortensTo == result.size() && result.size() < original.size(), "shortening");
    written.resize(*list.shortensTo);
  }
  written.resize(std::max(written.size(), result.size()));
  std::uint64_t after = 0;
  for (const Stretch& stretch : list.stretches) {
    Check(stretch.first >= after && stretch.first <= stretch.last, "stretch order");
    after = stretch.last + 1;
    const auto bytes = stretch.NewBytes(result);
    std::copy(bytes.begin(), bytes.end(),
              written.begin() + static_cast<std::ptrdiff_t>(stretch.first));
  }
  Check(written == result, "stretches rebuild the result");
  Check(list.grows == (result.size() > original.size()), "growth stretch");
}

}  // namespace

void CheckDeltaPatch(std::uint8_t flags, std::uint16_t originalLength,
                     std::span<const std::uint8_t> patchBytes) {
  const PatchFormat format = SniffPatchFormat(patchBytes);
  Bytes patch(patchBytes.begin(), patchBytes.end());
  std::optional<DeltaSummary> summary;
  try {
    summary = SummarizeDelta(patch);
  } catch (const Error&) {
  }
  std::uint64_t length = originalLength;
  if (!(flags & 0x40) && summary && summary->sourceSize <= kMaxDerivedOriginal) {
    length = summary->sourceSize;
  }
  Bytes original(length);
  for (std::size_t i = 0; i < original.size(); ++i)
    original[i] = static_cast<std::uint8_t>(i * 7 + 3);
  if (summary && std::max(summary->sourceSize, summary->targetSize) > kMaxDecodedSize) return;

  const bool mend = !(flags & 0x80) && patch.size() >= 4 + kFooterSize;
  if (mend) {
    PutLittleEndian32(patch, patch.size() - kFooterSize, Crc32Of(original));
    MendPatchCrc(patch);
  }
  Outcome outcome = Decode(format, patch, original);
  if (mend && outcome.refusal.rfind(kResultRefusal, 0) == 0) {
    const std::uint32_t actual = static_cast<std::uint32_t>(
        std::stoul(outcome.refusal.substr(std::string(kResultRefusal).size(), 8), nullptr, 16));
    PutLittleEndian32(patch, patch.size() - 8, actual);
    MendPatchCrc(patch);
    outcome = Decode(format, patch, original);
    Check(outcome.result.has_value(), "the result's CRC-32 named in the refusal");
  }
  if (mend && !outcome.result) {
    Check(outcome.refusal.rfind("The patch is damaged", 0) != 0, "a mended patch is damaged");
    Check(outcome.refusal.rfind("CRC-32 of original", 0) != 0, "a mended patch's original refused");
  }
  if (!outcome.result) return;

  // A decoded patch was whole: its summary reads, and agrees.
  Check(summary.has_value(), "a decoded patch has no summary");
  const DeltaSummary after = SummarizeDelta(patch);
  const Bytes& result = *outcome.result;
  Check(!after.Damaged(), "decoded a damaged patch");
  Check(result.size() == (outcome.backwards ? after.sourceSize : after.targetSize), "result size");
  Check(Crc32Of(result) == (outcome.backwards ? after.sourceCrc : after.targetCrc), "result CRC");
  CheckStretches(original, result);
  Check(DecodeBps(MakeLinearBps(original, result), original, "original") == result,
        "the maker's patch for the result");
  if (format == PatchFormat::Ups && !outcome.backwards && result != original) {
    // Backwards from the result: the original again, or refused by its
    // CRC-32 where the forward pass dropped changes past the result's end.
    const Outcome back = Decode(format, patch, result);
    Check(!back.result || (back.backwards && *back.result == original), "UPS backwards");
  }
}

}  // namespace vips::fuzz
