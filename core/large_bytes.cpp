#include "core/large_bytes.hpp"

#include <new>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace vips {
namespace {

constexpr std::size_t kLargePage = std::size_t{2} << 20;

}  // namespace

void FreeLargeBytes::operator()(std::uint8_t* bytes) const {
  ::operator delete[](bytes, std::align_val_t{kLargePage});
}

LargeBytes NewLargeBytes(std::size_t count) {
  // Whole large pages, so that the last one is not shared with other data.
  const std::size_t rounded = (count + kLargePage - 1) / kLargePage * kLargePage;
  LargeBytes bytes(static_cast<std::uint8_t*>(
      ::operator new[](rounded == 0 ? kLargePage : rounded, std::align_val_t{kLargePage})));
#ifdef __linux__
  if (rounded >= kLargePage) (void)::madvise(bytes.get(), rounded, MADV_HUGEPAGE);
#endif
  return bytes;
}

}  // namespace vips
