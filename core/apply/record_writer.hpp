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
// patch order to their block's list: a copy of a data record's bytes, a run's
// one value. When the lists fill their room they are laid, in order, into an
// image of the reach (16 MiB + 64 KiB) with one bit per byte written, and
// begin again: memory is bounded. (Pointing into a patch mapped into memory
// instead of copying its bytes measured slower: the parts of a block lie
// all over the patch, where the lists hold them together.)
//
// An in-place write goes in two steps, so that a journal can come between.
// Compose reads the 4 KiB pages the records touch, once, block by block, puts
// the records over them in the image, and shows each stretch the records
// cover (joined where they nearly touch) with its bytes before and after: the
// journal keeps those and nothing else (whole spans of a block measured twice
// the bytes at 300,000 records). It notes the pages whose bytes change.
// WriteComposed then reserves the final length (a full disk is found while the
// file is as it was) and writes those pages from the image, reading nothing:
// a read that fails can stop the write only before it begins. A page the
// records leave as it was is not written; pages that follow one another go in
// one write, since a write of every stretch on its own would take a system
// call each. A durable write sends its pages on to the disk a MiB at a time
// as it writes the rest, so that the flush after it waits for little
// (measured: the flush of 300,000 records' pages from 4.3 ms to 0.2 ms).
// WriteComposed has no undo of its own: the journal puts the file back. (Reading each page again
// right before its write, into memory used again block after block, spared the system's clearing of
// the image's fresh memory and measured 15 % faster at 10,000 records, but 15 % slower at 1,000,000
// and 7 % at 300,000.)
//
// WriteCopy lays every list and appends the original, read in ascending
// pieces, with the laid bytes over it to a replacement file. Locking is the
// callers' part.
class RecordWriter {
 public:
  static constexpr std::size_t kBlockSize = 64 * 1024;
  static constexpr std::size_t kPageSize = 4096;
  static constexpr std::size_t kArenaBytes = std::size_t{32} << 20;

  // `listBytes`: room for records waiting to be laid; less only in tests.
  explicit RecordWriter(std::size_t listBytes = kArenaBytes);
  ~RecordWriter();
  RecordWriter(const RecordWriter&) = delete;
  RecordWriter& operator=(const RecordWriter&) = delete;

  // The most bytes one record lays, an IPS record's largest: a list entry
  // counts a part in 16 bits, and a whole block's part would not fit.
  static constexpr std::size_t kMaxRecordBytes = 65'535;

  // Lays a copy of a record's bytes at `position`. Requires count <=
  // kMaxRecordBytes and position + count <= kPatchableSize; otherwise throws
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
  // At most how many bytes an in-place write writes, or journals: every
  // block's span, from the first byte records write in it to the last, in
  // whole pages.
  [[nodiscard]] std::uint64_t SpanBytes() const;
  // One past the last byte a record wrote.
  [[nodiscard]] std::uint64_t End() const { return end_; }

  // True when writing the records would change `file`: a byte differs, or
  // its length. Reads, writes nothing.
  [[nodiscard]] bool Changes(ExistingFile& file);

  // Calls `visit(position, before, after, count)` for each stretch that
  // records write below the file's present length (the only bytes an in-place
  // write changes there), joined where they nearly touch, with what the file
  // holds now and what it will hold once written; then with the end a cut
  // takes off (after as before). Ascending, never overlapping. Reads the
  // pages the records touch and notes those that change, for WriteComposed.
  // True when the write changes the file. `visit` may be empty.
  using StretchVisitor =
      std::function<void(std::uint64_t, const std::uint8_t*, const std::uint8_t*, std::size_t)>;
  bool Compose(ExistingFile& file, const StretchVisitor& visit);
  // Calls `visit(position, after, count)` with the bytes an in-place write
  // puts past the file's first `length` bytes, up to End(), in ascending
  // pieces: zeros where no record writes. Reads nothing.
  using GrowthVisitor = std::function<void(std::uint64_t, const std::uint8_t*, std::size_t)>;
  void ForEachGrowth(std::uint64_t length, const GrowthVisitor& visit);
  // After Compose (or composing first), the file locked since: writes the
  // pages that change from the image, then the cut. True when the file changed. A failure
  // throws and leaves the file part-written: the journal puts it back. With
  // `startWriteBack`, the pages go on to the disk as they are written, so
  // that the flush that follows waits for less.
  bool WriteComposed(ExistingFile& file, bool startWriteBack = false);

  // Appends `original` with the records laid over it to `output`, lengthened
  // as far as the records reach (zeros between). True when that differs
  // from `original`.
  bool WriteCopy(ExistingFile& original, ReplacementFile& output);

 private:
  static constexpr std::size_t kWordBits = 64;
  static constexpr std::size_t kBlockCount = (kPatchableSize + kBlockSize - 1) / kBlockSize;
  static constexpr std::size_t kMaskBytes = kBlockSize / 8;
  static constexpr std::size_t kPagesPerBlock = kBlockSize / kPageSize;
  static constexpr std::size_t kWordsPerPage = kPageSize / kWordBits;
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
    // In the image.
    std::uint8_t* bytes = nullptr;
    // One bit per byte of the block, set where a record wrote; in use once
    // laid.
    std::uint64_t* written = nullptr;
    // The block's list: its segments, and the free room in the last.
    Segment* first = nullptr;
    Segment* last = nullptr;
    std::uint8_t* at = nullptr;
    std::uint8_t* end = nullptr;
    std::size_t spanBegin = kBlockSize;
    std::size_t spanEnd = 0;
    // Set once parts have been laid into the image and the mask.
    bool laid = false;
    // The pages records write in, and those whose bytes the write changes
    // (Compose's).
    std::uint16_t touchedPages = 0;
    std::uint16_t changedPages = 0;

    [[nodiscard]] bool Used() const { return spanBegin < spanEnd; }
  };

  // How a list entry gives its part's bytes.
  enum class Source : std::uint8_t { Copied, Run };
  // Lists a part of a record: a copy of `bytes`, or `count` copies of `value`
  // when `bytes` is null.
  void Put(std::uint64_t position, const std::uint8_t* bytes, std::uint8_t value, std::size_t count,
           Source source);
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
  // Calls `visit(first, count, bytes, value)` for each listed part in order;
  // `bytes` is null for a run.
  template <typename Visit>
  static void ForEachListed(const Block& block, Visit&& visit);
  static void LayPart(std::uint8_t* to, std::uint64_t* mask, std::size_t first, std::size_t count,
                      const std::uint8_t* data, std::uint8_t value);
  // Reads block `index` from the first page records touch to the last into
  // asRead_ (zeros past `length`) and puts what no record writes there into
  // the block's image.
  void ReadTouchedPages(ExistingFile& file, std::size_t index, std::uint64_t length);
  // Takes the bytes of [begin, end), in whole words of the mask, that no
  // record wrote from `fileBytes` (a whole block).
  static void TakeUnwritten(Block& block, const std::uint8_t* fileBytes, std::size_t begin,
                            std::size_t end);

  // The image, the masks and the lists.
  AlignedBytes<kLargePage> memory_;
  // A block's worth of the file as read, and its mask made from its list:
  // memory used again block after block, which stays in the caches.
  IoBuffer scratchStorage_;
  std::uint8_t* asRead_ = nullptr;
  std::uint64_t* cover_ = nullptr;
  std::vector<Block> blocks_;
  std::size_t arenaBytes_;
  std::size_t arenaUsed_ = 0;
  std::uint64_t end_ = 0;
  std::optional<std::uint64_t> cut_;
  // The file's length when composed, and whether the write changes a byte.
  std::optional<std::uint64_t> composedLength_;
  bool composedChanges_ = false;
};

}  // namespace vips
