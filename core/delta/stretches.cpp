#include "core/delta/stretches.hpp"

#include <algorithm>
#include <cstring>

namespace vips {
namespace {

// The first position at or after `at`, below `end`, where `a` and `b`
// differ; `end` when none does. Equal blocks are passed by memcmp.
std::size_t NextDifference(const std::uint8_t* a, const std::uint8_t* b, std::size_t at,
                           std::size_t end) {
  constexpr std::size_t kBlock = 256;
  while (end - at >= kBlock && std::memcmp(a + at, b + at, kBlock) == 0) at += kBlock;
  while (at < end && a[at] == b[at]) ++at;
  return at;
}

}  // namespace

StretchList ListStretches(std::span<const std::uint8_t> original,
                          std::span<const std::uint8_t> result) {
  StretchList list;
  const std::size_t shorter = std::min(original.size(), result.size());
  std::size_t at = NextDifference(original.data(), result.data(), 0, shorter);
  while (at < shorter) {
    const std::size_t first = at;
    while (at < shorter && original[at] != result[at]) ++at;
    list.stretches.push_back({first, at - 1});
    at = NextDifference(original.data(), result.data(), at, shorter);
  }
  if (result.size() > original.size()) {
    list.stretches.push_back({original.size(), result.size() - 1});
    list.grows = true;
  } else if (result.size() < original.size()) {
    list.shortensTo = result.size();
  }
  return list;
}

}  // namespace vips
