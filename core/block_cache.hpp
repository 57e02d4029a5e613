#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/file_access.hpp"

namespace vips {

// The bytes that a patch writes, held in memory until Flush, in 64 KiB
// blocks. Each block remembers the pieces that records wrote into it and the
// span from the first to the last of them; nothing is read from the file
// before Flush.
class BlockCache {
 public:
  static constexpr std::size_t kBlockSize = 64 * 1024;

  void Write(std::uint64_t position, const std::uint8_t* bytes, std::size_t count);
  void Fill(std::uint64_t position, std::uint8_t value, std::size_t count);
  [[nodiscard]] bool Empty() const { return end_ == 0; }
  // One past the last byte written.
  [[nodiscard]] std::uint64_t End() const { return end_; }

  // True when writing the recorded bytes would change `file`, now `length`
  // bytes long: a byte that a record writes differs from the file's, or the
  // records reach past its end. Reads the spans; writes nothing.
  [[nodiscard]] bool Changes(ExistingFile& file, std::uint64_t length);

  // Writes the recorded bytes into `file`, whose length was `originalLength`
  // before the caller made room for them, block by block in ascending order.
  // Each block's span is read afresh right before it is written, so that the
  // bytes between records keep whatever the file holds at that moment, also
  // when another program has just changed them: only the records' bytes
  // change. When a write fails, the spans already written get their bytes as
  // read back, the file its original length, and the error is thrown on.
  // The cache holds no record bytes afterwards: Flush is done once. A span
  // whose records change none of its bytes is not written; true when some
  // span was.
  bool Flush(ExistingFile& file, std::uint64_t originalLength);

 private:
  static constexpr std::size_t kWordBits = 64;

  // A piece a record wrote, within its block. A list appended
  // in patch order costs one cached line per block, where a bit per byte
  // would cost a cache miss per record; the bits are made at Flush.
  struct Piece {
    // Its first and last byte within the block: four bytes a record.
    std::uint16_t first;
    std::uint16_t last;
  };

  struct Block {
    // In region_, ownStorage_ or spare_ (see Flush).
    std::uint8_t* bytes = nullptr;
    std::vector<Piece> pieces;
    // Set once the span is written: `bytes` then holds what the file held
    // there just before.
    bool overwritten = false;
    std::size_t dirtyBegin = kBlockSize;
    std::size_t dirtyEnd = 0;
  };

  // Calls `action(block, offsetInBlock, done, length)` for each block piece of
  // the span [position, position + count), and marks the piece written.
  template <typename Action>
  void ForEachPiece(std::uint64_t position, std::size_t count, Action action);
  Block& Touch(std::size_t index);
  // Sets the bits of `written` (one per byte of the block) where the block's
  // pieces lie, within its span; the rest of the span's bits are cleared.
  static void MarkWritten(const Block& block, std::uint64_t* written);
  // Takes the bytes of the block's span that no record wrote from `before`
  // (a whole block, at the same places); `written` is one bit per byte of
  // the block, set where a record wrote.
  static void KeepUnwritten(Block& block, const std::uint64_t* written, const std::uint8_t* before);
  // True when a byte that a record wrote (a bit of `written`) differs from
  // the file's at the same place in `fileBytes` (a whole block).
  static bool WrittenDiffer(const Block& block, const std::uint64_t* written,
                            const std::uint8_t* fileBytes);
  // Writes back what the overwritten spans held, then the original length;
  // as far as it goes.
  void Undo(ExistingFile& file, std::uint64_t originalLength) noexcept;

  // Blocks that an IPS record can reach (offsets below 2^24, up to 65535
  // bytes long) take their bytes from one region, reserved at the first write
  // and backed page by page as records reach it; any other block has its own.
  static constexpr std::size_t kRegionBlocks = ((std::size_t{1} << 24) + 65535) / kBlockSize + 1;
  struct FreeRegion {
    void operator()(std::uint8_t* region) const;
  };
  using Region = std::unique_ptr<std::uint8_t[], FreeRegion>;
  [[nodiscard]] static Region NewRegion();

  Region region_;
  std::vector<std::unique_ptr<std::uint8_t[]>> ownStorage_;
  // Flush's scratch block; it changes places with the blocks' buffers.
  std::unique_ptr<std::uint8_t[]> spare_;
  std::vector<Block> blocks_;
  std::uint64_t end_ = 0;
};

}  // namespace vips
