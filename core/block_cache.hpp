#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/file_access.hpp"

namespace vips {

// The bytes that a patch writes, held in memory until Flush, in 64 KiB
// blocks. Each block remembers which of its bytes records wrote and the span
// from the first to the last of them; nothing is read from the file before
// Flush.
class BlockCache {
 public:
  static constexpr std::size_t kBlockSize = 64 * 1024;

  void Write(std::uint64_t position, const std::uint8_t* bytes, std::size_t count);
  void Fill(std::uint64_t position, std::uint8_t value, std::size_t count);
  [[nodiscard]] bool Empty() const { return end_ == 0; }
  // One past the last byte written.
  [[nodiscard]] std::uint64_t End() const { return end_; }

  // Writes the recorded bytes into `file`, whose length was `originalLength`
  // before the caller made room for them, block by block in ascending order.
  // Each block's span is read afresh right before it is written, so that the
  // bytes between records keep whatever the file holds at that moment, also
  // when another program has just changed them: only the records' bytes
  // change. When a write fails, the spans already written get their bytes as
  // read back, the file its original length, and the error is thrown on.
  void Flush(ExistingFile& file, std::uint64_t originalLength);

 private:
  static constexpr std::size_t kWordBits = 64;

  struct Block {
    std::unique_ptr<std::uint8_t[]> bytes;
    // One bit per byte: set where a record wrote it.
    std::unique_ptr<std::uint64_t[]> written;
    // The span's bytes as the file held them just before the span was written.
    std::unique_ptr<std::uint8_t[]> before;
    std::size_t dirtyBegin = kBlockSize;
    std::size_t dirtyEnd = 0;
  };

  // Calls `action(block, offsetInBlock, done, length)` for each block piece of
  // the span [position, position + count), and marks the piece written.
  template <typename Action>
  void ForEachPiece(std::uint64_t position, std::size_t count, Action action);
  Block& Touch(std::size_t index);
  // Takes the bytes that no record wrote from `before`, for the block's span.
  static void KeepUnwritten(Block& block);
  // Writes back what the spans of blocks [0, count) held before; best effort.
  void Undo(ExistingFile& file, std::size_t count, std::uint64_t originalLength) noexcept;

  std::vector<Block> blocks_;
  std::uint64_t end_ = 0;
};

}  // namespace vips
