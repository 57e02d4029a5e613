#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace vips {

// Uninitialised bytes for a large buffer that is filled once (a patch read
// whole, the old bytes kept for an undo): from 2 MiB on, aligned to and on
// Linux backed by 2 MiB pages where the system allows it, so that filling
// megabytes costs a few page faults instead of thousands. Pages are still
// only taken as they are first touched.
struct FreeLargeBytes {
  std::size_t alignment = alignof(std::max_align_t);
  void operator()(std::uint8_t* bytes) const;
};
using LargeBytes = std::unique_ptr<std::uint8_t[], FreeLargeBytes>;
[[nodiscard]] LargeBytes NewLargeBytes(std::size_t count);

}  // namespace vips
