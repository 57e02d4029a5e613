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
  ::operator delete[](bytes, std::align_val_t{alignment});
}

LargeBytes NewLargeBytes(std::size_t count) {
  // Smaller buffers are allocated as any other: a large alignment would only
  // waste room around them.
  const std::size_t alignment = count >= kLargePage ? kLargePage : alignof(std::max_align_t);
  LargeBytes bytes(static_cast<std::uint8_t*>(
                       ::operator new[](count == 0 ? 1 : count, std::align_val_t{alignment})),
                   FreeLargeBytes{alignment});
#ifdef __linux__
  // Only whole large pages: a partly used one would be cleared and counted
  // whole, so the rest stays on small pages.
  const std::size_t whole = count / kLargePage * kLargePage;
  if (whole > 0) (void)::madvise(bytes.get(), whole, MADV_HUGEPAGE);
#endif
  return bytes;
}

}  // namespace vips
