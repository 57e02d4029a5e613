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
// Flush, and only the bytes that records wrote are held: Flush reads each
// span into one reused buffer, puts the records' bytes in and keeps the
// bytes they replace in their place, which is all that an undo needs.
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
    // The records' bytes where `written` has a bit set; once the block is
    // flushed, the span as the file held it before (see Flush).
    std::uint8_t* bytes = nullptr;
    // One bit per byte: set where a record wrote it.
    std::uint64_t* written = nullptr;
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
  // Copies the bytes of the block's span from `from` to `to` (each a whole
  // block's bytes) where a record wrote them (`written`) or where none did.
  static void CopyWhere(const Block& block, bool written, const std::uint8_t* from,
                        std::uint8_t* to);
  // Writes back what the spans of the flushed blocks held before; best effort.
  void Undo(ExistingFile& file, std::uint8_t* image, std::uint64_t originalLength) noexcept;

  // Storage of one block: its bytes, then its bits.
  static constexpr std::size_t kBlockStorage = kBlockSize + kBlockSize / 8;
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
  std::vector<Block> blocks_;
  std::uint64_t end_ = 0;
};

}  // namespace vips
