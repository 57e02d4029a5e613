#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/file_access.hpp"

namespace vips {

class ReplacementFile;

// The one writer of a patch's records into a file, for the window's Go and
// for the command line's apply, in place or into a new file.
//
// Gathering. The records are laid, in patch order, over an image of the part
// of a file that an IPS record can reach (offsets below 2^24, up to 65,535
// bytes: 16 MiB + 64 KiB), so a later record's bytes replace an earlier
// one's where they overlap. Beside the image, one bit per byte says which
// bytes a record wrote, and each 64 KiB block keeps its span, from the first
// to the last written byte. Nothing of the file is read yet, and memory is
// bounded by the image, whatever the patch's length.
//
// Writing in place (WriteInPlace). The room for the file's final length is
// taken first, so that a full disk is found while the file is still as it
// was. Then block by block, in ascending order: the span is read from the
// file right before its write, so that the bytes between records keep what
// the file holds at that moment (another program's change included) and
// only the records' bytes change; a span whose written bytes already equal
// the file's is not written; otherwise the span is written whole, and the
// block's buffer, now free, changes places with the buffer that holds the
// span as it was read, which keeps it for the undo.
//
// Undoing. When a write fails (the failing one may have reached part of its
// span), every span written so far, the failing one included, gets back the
// bytes it held before, the file gets back its first length, and the first
// error is thrown on. The undo needs no memory of its own.
//
// Writing a new file (WriteCopy) walks the same blocks: the original file is
// read block by block in ascending order, the records' bytes are laid over
// each block the same way, and the result is appended to a replacement file,
// which takes the place of its destination only once whole.
//
// A writer is used for one write.
class RecordWriter {
 public:
  static constexpr std::size_t kBlockSize = 64 * 1024;
  // One past the last byte that an IPS record can write: 0xFFFFFF + 65,535.
  static constexpr std::uint64_t kReach = 0x100FFFE;

  RecordWriter();
  ~RecordWriter();
  RecordWriter(const RecordWriter&) = delete;
  RecordWriter& operator=(const RecordWriter&) = delete;

  // Lays a record's bytes at `position`; position + count <= kReach.
  void Write(std::uint64_t position, const std::uint8_t* bytes, std::size_t count);
  // Lays `count` copies of `value` at `position` (a run record).
  void Fill(std::uint64_t position, std::uint8_t value, std::size_t count);
  [[nodiscard]] bool Empty() const { return end_ == 0; }
  // One past the last byte a record wrote.
  [[nodiscard]] std::uint64_t End() const { return end_; }

  // True when writing the records would change `file`: a byte they write
  // differs from the file's, or they reach past its end. Reads, writes
  // nothing.
  [[nodiscard]] bool Changes(ExistingFile& file);
  // Writes the records into `file` all or nothing (see above). True when the
  // file changed: a byte, or its length. When the undo itself could not put
  // the file back, UndoFailed() tells so after the throw.
  bool WriteInPlace(ExistingFile& file);
  [[nodiscard]] bool UndoFailed() const { return undoFailed_; }
  // Calls `visit(position, length)` for each stretch of bytes that records
  // write, in ascending order: the only bytes an in-place write changes.
  template <typename Visit>
  void ForEachWrittenStretch(Visit&& visit) const;
  // Appends `original` (read from its start) with the records laid over it
  // to `output`, lengthened as far as the records reach (zeros between).
  // True when that differs from `original`.
  bool WriteCopy(ExistingFile& original, ReplacementFile& output);

 private:
  static constexpr std::size_t kWordBits = 64;
  static constexpr std::size_t kBlockCount = (kReach + kBlockSize - 1) / kBlockSize;

  struct Block {
    // In the image, or after its write the buffer it changed places with.
    std::uint8_t* bytes = nullptr;
    // One bit per byte of the block, set where a record wrote.
    std::unique_ptr<std::uint64_t[]> written;
    std::size_t spanBegin = kBlockSize;
    std::size_t spanEnd = 0;
    // Set once the span is written: `bytes` then holds what the file held.
    bool overwritten = false;
  };

  // Calls `put(block, offsetInBlock, done, length)` for each block's part of
  // [position, position + count), after marking those bytes written.
  template <typename Put>
  void ForEachPart(std::uint64_t position, std::size_t count, Put&& put);
  void NeedScratch();
  // Reads the span of block `index` as the file holds it into the scratch
  // buffer at its place in the block, zeros past `length`.
  void ReadSpan(ExistingFile& file, std::size_t index, std::uint64_t length);
  // True when a byte that a record wrote in `block` differs from the one at
  // the same place in `fileBytes` (a whole block).
  static bool WrittenDiffer(const Block& block, const std::uint8_t* fileBytes);
  // Takes the bytes of the block's span that no record wrote from
  // `fileBytes` (a whole block, at the same places).
  static void KeepUnwritten(Block& block, const std::uint8_t* fileBytes);
  // Puts back what the overwritten spans held, then `length`; as far as it
  // goes.
  // False when a part of it failed.
  bool Undo(ExistingFile& file, std::uint64_t length) noexcept;

  std::unique_ptr<std::uint8_t[]> image_;
  // A block's worth of room for a span as the file holds it. Once a block
  // is written its own buffer is free and the two change places, so the
  // block keeps what it overwrote and the memory held stays the same.
  std::unique_ptr<std::uint8_t[]> scratchStorage_;
  std::uint8_t* scratch_ = nullptr;
  std::vector<Block> blocks_;
  std::uint64_t end_ = 0;
  bool undoFailed_ = false;
};

template <typename Visit>
void RecordWriter::ForEachWrittenStretch(Visit&& visit) const {
  // Each stretch begins at a set bit after a clear one and ends at the next
  // clear bit; a stretch may go on into the next block.
  std::uint64_t begin = 0;
  bool inside = false;
  for (std::size_t index = 0; index < blocks_.size(); ++index) {
    const Block& block = blocks_[index];
    const std::uint64_t base = std::uint64_t{index} * kBlockSize;
    if (!block.written) {
      if (inside) visit(begin, base - begin);
      inside = false;
      continue;
    }
    const std::uint64_t* const words = block.written.get();
    for (std::size_t w = 0; w < kBlockSize / kWordBits; ++w) {
      // Looking for ones outside a stretch, for zeros (ones of the inverted
      // word) inside one.
      std::uint64_t look = inside ? ~words[w] : words[w];
      while (look != 0) {
        const int bit = std::countr_zero(look);
        const std::uint64_t at = base + w * kWordBits + static_cast<std::size_t>(bit);
        if (inside) visit(begin, at - begin);
        begin = at;
        inside = !inside;
        const std::uint64_t from = ~std::uint64_t{0} << bit;
        look = (inside ? ~words[w] : words[w]) & from;
      }
    }
  }
  if (inside) visit(begin, std::uint64_t{blocks_.size()} * kBlockSize - begin);
}

}  // namespace vips
