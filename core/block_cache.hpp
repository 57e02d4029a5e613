#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/file_access.hpp"

namespace vips {

// The bytes of a file that a patch writes, held in memory until Flush: each
// 64 KiB block is read from the file once, when a write first touches it
// (zeros past the end of the file), and remembers the span of bytes written
// into it. Flush writes each touched block's span, in ascending order, so the
// file grows only up to the last byte written.
class BlockCache {
 public:
  static constexpr std::size_t kBlockSize = 64 * 1024;

  explicit BlockCache(ExistingFile& file) : file_(file) {}

  void Write(std::uint64_t position, const std::uint8_t* bytes, std::size_t count);
  void Fill(std::uint64_t position, std::uint8_t value, std::size_t count);
  // Writes the touched spans to the file; a failing write throws, and the
  // blocks written before it stay written.
  void Flush();
  // True once a write has put a byte other than the one the file held there,
  // or has reached past the end of the file (which lengthens it).
  [[nodiscard]] bool Changed() const { return changed_; }

 private:
  struct Block {
    std::unique_ptr<std::uint8_t[]> bytes;
    std::size_t dirtyBegin = kBlockSize;
    std::size_t dirtyEnd = 0;
    std::size_t loaded = 0;  // bytes that came from the file
  };

  // Calls `action(block, offsetInBlock, done, length)` for each block piece of
  // the span [position, position + count).
  template <typename Action>
  void ForEachPiece(std::uint64_t position, std::size_t count, Action action);
  Block& Touch(std::size_t index);

  ExistingFile& file_;
  std::vector<Block> blocks_;
  bool changed_ = false;
};

}  // namespace vips
