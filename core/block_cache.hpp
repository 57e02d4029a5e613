#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/file_access.hpp"

namespace vips {

// The bytes that a patch writes, held in memory until Flush, in 64 KiB
// blocks. Each block remembers which of its bytes records wrote (the list of
// its pieces, in order) and the span from the first to the last of them;
// nothing is read from the file before Flush. Flush reads each span into a
// spare block, takes the records' bytes into it and keeps the span as read
// for an undo.
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
  // change. When a write fails, the spans already written get back the bytes
  // the records replaced, the file its original length, and the error is
  // thrown on. A block is written once: a second Flush skips it.
  void Flush(ExistingFile& file, std::uint64_t originalLength);

 private:
  static constexpr std::size_t kWordBits = 64;

  struct Block {
    // The records' bytes where a piece wrote them; once the block is flushed,
    // the span as the file held it before (see Flush).
    std::uint8_t* bytes = nullptr;
    // The pieces that records wrote, each its offset in the block << 16 |
    // (its length - 1). Appending to a short list is all that a record costs
    // beyond its bytes; the bits per byte are made from it at Flush.
    std::vector<std::uint32_t> pieces;
    std::size_t dirtyBegin = kBlockSize;
    std::size_t dirtyEnd = 0;
    // The span reached its write: Undo owes it the replaced bytes.
    bool flushed = false;
  };

  // Calls `action(block, offsetInBlock, done, length)` for each block piece of
  // the span [position, position + count), and marks the piece written.
  template <typename Action>
  void ForEachPiece(std::uint64_t position, std::size_t count, Action action);
  Block& Touch(std::size_t index);
  // Sets written_ to the block's bits: one per byte of the span, set where a
  // piece wrote it.
  void MarkWritten(const Block& block);
  // Copies the bytes of the block's span from `from` to `to` (each a whole
  // block's bytes) where a record wrote them (`written`) or where none did,
  // by the bits in written_.
  void CopyWhere(const Block& block, bool written, const std::uint8_t* from,
                 std::uint8_t* to) const;
  // Writes back what the spans of the flushed blocks held before; best effort.
  void Undo(ExistingFile& file, std::uint8_t* image, std::uint64_t originalLength) noexcept;

  static constexpr std::size_t kBlockStorage = kBlockSize;
  // Blocks that an IPS record can reach (offsets below 2^24, up to 65535
  // bytes long) get their storage from one region, taken at the first write
  // and filled page by page as records reach it; others get their own.
  static constexpr std::size_t kRegionBlocks = ((std::size_t{1} << 24) + 65535) / kBlockSize + 1;
  struct FreeAligned {
    void operator()(std::uint8_t* storage) const;
  };
  using Storage = std::unique_ptr<std::uint8_t[], FreeAligned>;
  [[nodiscard]] static Storage NewStorage(std::size_t bytes);

  Storage region_;
  std::vector<std::unique_ptr<std::uint8_t[]>> ownStorage_;
  // Flush's spare block: the file's span is read into it, and it changes
  // places with the block's bytes.
  std::unique_ptr<std::uint8_t[]> spare_;
  std::array<std::uint64_t, kBlockSize / kWordBits> written_{};
  std::vector<Block> blocks_;
  std::uint64_t end_ = 0;
};

}  // namespace vips
