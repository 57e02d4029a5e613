#include "core/delta/delta_frame.hpp"

#include <zlib.h>

#include <algorithm>
#include <limits>
#include <new>

#include "core/delta/delta_errors.hpp"
#include "core/error.hpp"
#include "core/files/digests.hpp"
#include "core/files/io_buffer.hpp"

namespace vips {
namespace {

constexpr std::size_t kMagicSize = 4;
constexpr std::size_t kFooterSize = 12;

std::uint32_t LittleEndian32(std::span<const std::uint8_t> bytes) {
  return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
         std::uint32_t{bytes[3]} << 24;
}

}  // namespace

std::uint32_t Crc32Of(std::span<const std::uint8_t> bytes) {
  uLong crc = ::crc32(0, nullptr, 0);
  // zlib counts in uInt: a span past 4 GiB goes in pieces.
  constexpr std::size_t kPiece = std::size_t{1} << 30;
  while (!bytes.empty()) {
    const std::size_t piece = std::min(bytes.size(), kPiece);
    crc = ::crc32(crc, bytes.data(), static_cast<uInt>(piece));
    bytes = bytes.subspan(piece);
  }
  return static_cast<std::uint32_t>(crc);
}

std::uint32_t PatchBodyCrc(std::span<const std::uint8_t> patch) {
  return Crc32Of(patch.first(patch.size() - 4));
}

DeltaFrame ReadDeltaFrame(std::span<const std::uint8_t> patch,
                          std::span<const std::uint8_t, 4> magic, const char* notThisFormat,
                          bool checkPatchCrc) {
  if (patch.size() < kMagicSize || !std::equal(magic.begin(), magic.end(), patch.begin())) {
    throw Error(notThisFormat);
  }
  if (patch.size() < kMagicSize + kFooterSize) throw Error(kDeltaCutShort);
  const std::span<const std::uint8_t> footer = patch.last(kFooterSize);
  DeltaFrame frame;
  frame.sourceCrc = LittleEndian32(footer.subspan(0, 4));
  frame.targetCrc = LittleEndian32(footer.subspan(4, 4));
  frame.patchCrc = LittleEndian32(footer.subspan(8, 4));
  if (checkPatchCrc) {
    const std::uint32_t actual = PatchBodyCrc(patch);
    if (actual != frame.patchCrc) {
      throw Error("The patch is damaged: its CRC-32 is " + Crc32Text(actual) +
                  ", its footer says " + Crc32Text(frame.patchCrc));
    }
  }
  frame.body = ByteCursor(patch.subspan(kMagicSize, patch.size() - kMagicSize - kFooterSize));
  frame.sourceSize = frame.body.Number();
  frame.targetSize = frame.body.Number();
  return frame;
}

std::string WrongOriginalText(const std::string& originalName, std::uint32_t actual,
                              std::uint32_t expected) {
  return "CRC-32 of " + originalName + " is " + Crc32Text(actual) + ", the patch is for " +
         Crc32Text(expected);
}

void CheckOriginal(std::span<const std::uint8_t> original, const std::string& originalName,
                   std::uint64_t size, std::uint32_t crc) {
  const std::uint32_t actual = Crc32Of(original);
  if (actual != crc) throw Error(WrongOriginalText(originalName, actual, crc));
  if (original.size() != size) {
    throw Error(originalName + " is " + std::to_string(original.size()) +
                " bytes long, the patch is for " + std::to_string(size) + " bytes");
  }
}

void CheckResultSize(std::uint64_t size) {
  if (size > kMaxDeltaResultSize || size > std::numeric_limits<std::size_t>::max() / 2) {
    throw Error(kDeltaTooLarge);
  }
}

std::vector<std::uint8_t> NewResult(std::uint64_t size) {
  CheckResultSize(size);
  try {
    return NewLargeBuffer(static_cast<std::size_t>(size));
  } catch (const std::bad_alloc&) {
    throw Error(kDeltaOutOfMemory);
  }
}

void CheckResultCrc(std::span<const std::uint8_t> result, std::uint32_t expected) {
  const std::uint32_t actual = Crc32Of(result);
  if (actual != expected) {
    throw Error("CRC-32 of the patched file is " + Crc32Text(actual) + ", the patch makes " +
                Crc32Text(expected));
  }
}

}  // namespace vips
