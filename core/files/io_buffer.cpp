#include "core/files/io_buffer.hpp"

#ifdef __linux__
#include <sys/mman.h>
#endif

#include <cstdint>

namespace vips {

std::vector<std::uint8_t> NewLargeBuffer(std::size_t size) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(size);
#ifdef __linux__
  // Only whole large pages inside the block can be backed so.
  constexpr std::uintptr_t kLargePage = std::uintptr_t{2} << 20;
  const auto start = reinterpret_cast<std::uintptr_t>(bytes.data());
  const std::uintptr_t first = (start + kLargePage - 1) / kLargePage * kLargePage;
  const std::uintptr_t end = (start + size) / kLargePage * kLargePage;
  if (first < end) {
    (void)::madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
  }
#endif
  bytes.resize(size);
  return bytes;
}

}  // namespace vips
