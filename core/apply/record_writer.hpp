#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "core/files/file_access.hpp"
#include "core/files/io_buffer.hpp"
#include "core/ips/reader.hpp"

namespace vips {

class ReplacementFile;

// The one writer of a patch's records into a file, for the window's Go and
// for the command line's apply, in place or into a new file.
//
// Gathering (Write, Fill) touches no file, so a cut patch writes nothing.
// Each record's parts, one per 64 KiB block of the file, are appended in
// patch order to their block's list; each block keeps its span, from the
// first to the last byte records write in it. When the lists fill their room
// they are laid, in order, into an image of the reach (16 MiB + 64 KiB) with
// one bit per byte written, and begin again: memory is bounded.
//
// WriteInPlace reserves the final length first, so that a full disk is found
// while the file is as it was. Then block by block, in ascending order, the
// span is read right before its write, so that only the records' bytes change
// whatever the file holds by then, and written unless it comes out as read.
// A written span keeps what it replaced for the undo: a laid block its span
// as read, a listed one the replaced bytes in its parts' places in the list.
// When a write fails, every span written so far, the failing one included,
// gets back its old bytes and the file its first length; the undo needs no
// memory of its own.
//
// WriteCopy lays every list and appends the original, read in ascending
// pieces, with the laid bytes over it to a replacement file. Locking is the
// callers' part. A writer writes once.
class RecordWriter {
 public:
  static constexpr std::size_t kBlockSize = 64 * 1024;
  static constexpr std::size_t kArenaBytes = std::size_t{32} << 20;

  // `listBytes`: room for records waiting to be laid; less only in tests.
  explicit RecordWriter(std::size_t listBytes = kArenaBytes);
  ~RecordWriter();
  RecordWriter(const RecordWriter&) = delete;
  RecordWriter& operator=(const RecordWriter&) = delete;

  // The most bytes one record lays, an IPS record's largest: a list entry
  // counts a part in 16 bits, and a whole block's part would not fit.
  static constexpr std::size_t kMaxRecordBytes = 65'535;

  // Lays a record's bytes at `position`. Requires count <= kMaxRecordBytes
  // and position + count <= kPatchableSize; otherwise throws
  // std::invalid_argument and lays nothing.
  void Write(std::uint64_t position, const std::uint8_t* bytes, std::size_t count);
  // Lays `count` copies of `value` at `position` (a run record), with the
  // same requirement.
  void Fill(std::uint64_t position, std::uint8_t value, std::size_t count);
  // The write leaves the file `length` bytes long where it is longer, its end
  // cut off (a patch that makes a file shorter); no record may reach past it.
  void CutAt(std::uint64_t length);
  [[nodiscard]] bool Empty() const { return end_ == 0 && !cut_; }
  // The file's length once written, for a file `length` bytes long now.
  [[nodiscard]] std::uint64_t FinalLength(std::uint64_t length) const {
    return cut_ && *cut_ < length ? *cut_ : std::max(length, end_);
  }
  // How many bytes an in-place write may write: every block's span.
  [[nodiscard]] std::uint64_t SpanBytes() const;
  // One past the last byte a record wrote.
  [[nodiscard]] std::uint64_t End() const { return end_; }

  // True when writing the records would change `file`: a byte differs, or
  // they reach past its end. Reads, writes nothing.
  [[nodiscard]] bool Changes(ExistingFile& file);
  // Writes the records into `file` all or nothing. True when the file
  // changed. When the undo could not put the file back, UndoFailed() tells
  // so after the throw.
  bool WriteInPlace(ExistingFile& file);
  [[nodiscard]] bool UndoFailed() const { return undoFailed_; }
  // Calls `visit(position, before, after, count)` with what `file` (`length`
  // bytes long) holds now in each stretch that records write below `length`
  // (the only bytes an in-place write changes) and what it will hold once
  // written, then with the end a cut takes off (after as before). Blocks in
  // ascending order; within a block stretches may overlap. Reads, writes
  // nothing.
  using StretchVisitor =
      std::function<void(std::uint64_t, const std::uint8_t*, const std::uint8_t*, std::size_t)>;
  void ForEachStretch(ExistingFile& file, std::uint64_t length, const StretchVisitor& visit);
  // Calls `visit(position, after, count)` with the bytes an in-place write
  // puts past the file's first `length` bytes, up to End(), in ascending
  // pieces: zeros where no record writes.
  using GrowthVisitor = std::function<void(std::uint64_t, const std::uint8_t*, std::size_t)>;
  void ForEachGrowth(std::uint64_t length, const GrowthVisitor& visit);
  // Appends `original` with the records laid over it to `output`, lengthened
  // as far as the records reach (zeros between). True when that differs
  // from `original`.
  bool WriteCopy(ExistingFile& original, ReplacementFile& output);

 private:
  static constexpr std::size_t kWordBits = 64;
  static constexpr std::size_t kBlockCount = (kPatchableSize + kBlockSize - 1) / kBlockSize;
  static constexpr std::size_t kMaskBytes = kBlockSize / 8;
  // The lists are chains of segments cut from one arena.
  static constexpr std::size_t kSegmentBytes = 4096;
  // memory_ holds the image, then the masks, then the arena.
  static constexpr std::size_t kMasksAt = kBlockCount * kBlockSize;
  static constexpr std::size_t kArenaAt = kMasksAt + kBlockCount * kMaskBytes;
  // The image is aligned to, and on Linux asks to be backed by, 2 MiB pages:
  // records spread over the whole reach then cost a few page faults instead
  // of thousands (measured: a third of the time of an apply of 10,000
  // records). A page is still only taken when a record first reaches it.
  static constexpr std::size_t kLargePage = std::size_t{2} << 20;

  struct Segment {
    Segment* next;
    // Set once the next segment is begun.
    std::size_t used;
  };

  struct Block {
    // In the image, or after its write the buffer it changed places with.
    std::uint8_t* bytes = nullptr;
    // One bit per byte of the block, set where a record wrote.
    std::uint64_t* written = nullptr;
    // The block's list: its segments, and the free room in the last.
    Segment* first = nullptr;
    Segment* last = nullptr;
    std::uint8_t* at = nullptr;
    std::uint8_t* end = nullptr;
    std::size_t spanBegin = kBlockSize;
    std::size_t spanEnd = 0;
    // Bytes of all the parts in the list, overlaps counted again.
    std::size_t listedBytes = 0;
    // Set once parts have been laid into the image and the mask.
    bool laid = false;
    // Set once the span is written: its old bytes are then in `bytes` when
    // laid, else in the list's parts.
    bool overwritten = false;

    [[nodiscard]] bool Used() const { return spanBegin < spanEnd; }
  };

  // Lists a record's bytes, or `count` copies of `value` when `bytes` is
  // null, with the blocks they fall in.
  void Put(std::uint64_t position, const std::uint8_t* bytes, std::uint8_t value,
           std::size_t count);
  // Room for `size` bytes at the end of the block's list; null when the
  // arena is full.
  std::uint8_t* Room(Block& block, std::size_t size);
  // Lays the block's list into the image and the mask, and empties it. A
  // record listed costs no more than the end of its block's list, which stays
  // in the caches, where laid at once it would cost a cache miss in the image
  // and the masks (measured: half the time of an apply of 300,000 records).
  void Lay(Block& block);
  // Lays the lists of the blocks laid before, or of every block.
  void LayAll(bool onlyLaid);
  template <typename Visit>
  static void ForEachListed(const Block& block, Visit&& visit);
  static void LayPart(Block& block, std::size_t first, std::size_t count, const std::uint8_t* data,
                      std::uint8_t value);
  // Puts the new bytes of block `index`'s span in scratch_; true when they
  // differ from what the file holds there now (zeros past `length`). With
  // `keepOld` the block keeps what they replace, for the undo.
  bool NewSpan(ExistingFile& file, std::size_t index, std::uint64_t length, bool keepOld);
  // Reads block `index`'s span, in whole words of the mask, into `to` at
  // its place in the block; zeros past `length`.
  void ReadSpan(ExistingFile& file, std::size_t index, std::uint64_t length, std::uint8_t* to);
  // Takes the span's bytes that no record wrote from `fileBytes` (a whole
  // block); true when a byte that a record wrote differs from the file's.
  static bool TakeUnwritten(Block& block, const std::uint8_t* fileBytes);
  // Puts back what the overwritten spans held, then `length`, as far as it
  // goes; false when a part of it failed.
  bool Undo(ExistingFile& file, std::uint64_t length) noexcept;

  // The image, the masks and the lists.
  AlignedBytes<kLargePage> memory_;
  // Two blocks' worth: the new span, and a listed block's span as read. A
  // laid block that is written changes places with the first, so that it
  // keeps what it overwrote in the same memory.
  IoBuffer scratchStorage_;
  std::uint8_t* scratch_ = nullptr;
  std::uint8_t* asRead_ = nullptr;
  std::vector<Block> blocks_;
  std::size_t arenaBytes_;
  std::size_t arenaUsed_ = 0;
  std::uint64_t end_ = 0;
  std::optional<std::uint64_t> cut_;
  bool undoFailed_ = false;
};

}  // namespace vips
