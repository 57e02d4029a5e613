#include "core/delta/bps_maker.hpp"

#include <algorithm>

#include "core/delta/delta_frame.hpp"
#include "core/delta/numbers.hpp"
#include "core/delta/patch_format.hpp"

namespace vips {
namespace {

constexpr std::uint64_t kSourceRead = 0;
constexpr std::uint64_t kTargetRead = 1;

void AppendAction(std::vector<std::uint8_t>& out, std::uint64_t action, std::uint64_t length) {
  AppendNumber(out, (length - 1) << 2 | action);
}

void AppendLittleEndian32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8)
    out.push_back(static_cast<std::uint8_t>(value >> shift));
}

}  // namespace

std::vector<std::uint8_t> MakeLinearBps(std::span<const std::uint8_t> original,
                                        std::span<const std::uint8_t> modified,
                                        std::string_view metadata) {
  std::vector<std::uint8_t> patch(std::begin(kBpsMagic), std::end(kBpsMagic));
  AppendNumber(patch, original.size());
  AppendNumber(patch, modified.size());
  AppendNumber(patch, metadata.size());
  patch.insert(patch.end(), metadata.begin(), metadata.end());

  const std::size_t shorter = std::min(original.size(), modified.size());
  std::size_t at = 0;
  while (at < modified.size()) {
    const std::size_t start = at;
    if (at < shorter && original[at] == modified[at]) {
      while (at < shorter && original[at] == modified[at]) ++at;
      AppendAction(patch, kSourceRead, at - start);
      continue;
    }
    while (at < modified.size() && (at >= shorter || original[at] != modified[at])) ++at;
    AppendAction(patch, kTargetRead, at - start);
    patch.insert(patch.end(), modified.begin() + static_cast<std::ptrdiff_t>(start),
                 modified.begin() + static_cast<std::ptrdiff_t>(at));
  }

  AppendLittleEndian32(patch, Crc32Of(original));
  AppendLittleEndian32(patch, Crc32Of(modified));
  AppendLittleEndian32(patch, Crc32Of(patch));
  return patch;
}

}  // namespace vips
