#include "core/delta/patch_format.hpp"

#include <algorithm>

#include "core/ips/reader.hpp"

namespace vips {
namespace {

bool BeginsWith(std::span<const std::uint8_t> bytes, std::span<const std::uint8_t> prefix) {
  return bytes.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), bytes.begin());
}

}  // namespace

PatchFormat SniffPatchFormat(std::span<const std::uint8_t> firstBytes) {
  if (BeginsWith(firstBytes, kPatchHeader)) return PatchFormat::Ips;
  if (BeginsWith(firstBytes, kBpsMagic)) return PatchFormat::Bps;
  if (BeginsWith(firstBytes, kUpsMagic)) return PatchFormat::Ups;
  return PatchFormat::Unknown;
}

}  // namespace vips
