#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace vips {

// A run of addresses where a patched file's bytes differ from the original's,
// or the bytes it has past the original's end. Its new bytes stand at the
// same addresses in the patched file.
struct Stretch {
  std::uint64_t first = 0;
  std::uint64_t last = 0;  // inclusive

  [[nodiscard]] std::uint64_t Length() const { return last - first + 1; }
  // This stretch's bytes in `result`, the patched file it was listed from.
  [[nodiscard]] std::span<const std::uint8_t> NewBytes(std::span<const std::uint8_t> result) const {
    return result.subspan(static_cast<std::size_t>(first), static_cast<std::size_t>(Length()));
  }
  bool operator==(const Stretch&) const = default;
};

struct StretchList {
  // In address order: every maximal run of differing bytes within the
  // shorter file's length, then, when the result is longer, the bytes past
  // the original's end as one more stretch.
  std::vector<Stretch> stretches;
  // The last stretch is the one past the original's end.
  bool grows = false;
  // The result's length when it is shorter than the original: applying
  // every stretch also cuts the file to it.
  std::optional<std::uint64_t> shortensTo;
};

// The stretches in which `result` differs from `original`.
[[nodiscard]] StretchList ListStretches(std::span<const std::uint8_t> original,
                                        std::span<const std::uint8_t> result);

}  // namespace vips
