#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "core/files/file_access.hpp"
#include "core/files/io_buffer.hpp"

namespace vips {

class ReplacementFile;

// The one writer of a patch's records into a file, for the window's Go and
// for the command line's apply, in place or into a new file.
//
// Gathering (Write, Fill). Nothing of the file is read or written while the
// patch is read: a cut patch writes nothing. Each record's parts, one per
// 64 KiB block of the file it falls in, are appended in patch order to that
// block's list, and each block keeps its span, from the first to the last
// byte that records write in it. When the lists fill their room (32 MiB),
// every list is laid, in order, into an image of the part of a file that a
// record can reach (offsets below 2^24, up to 65,535 bytes: 16 MiB + 64 KiB)
// with one bit per byte that a record wrote, and the lists begin again; so
// memory is bounded whatever the patch's length, and later records' bytes
// replace earlier ones' where they overlap.
//
// Writing in place (WriteInPlace). The room for the file's final length is
// taken first, so that a full disk is found while the file is still as it
// was. Then block by block, in ascending order, the span is read from the
// file right before its write, so that the bytes between records keep what
// the file holds at that moment (another program's change included) and
// only the records' bytes change. The new span is made from what was read,
// with the block's listed parts put over it, or its laid bytes taken where
// its bits are set. A span that comes out as it was read is not written;
// otherwise the block keeps what the new span replaces and the new span is
// written. A laid block keeps its span as read, in its place in the image; a
// listed block keeps only the bytes its parts replace, each data part in its
// own place in the list and the runs' in one buffer taken before the first
// write.
//
// Undoing. When a write fails (the failing one may have reached part of its
// span), every span written so far, the failing one included, gets back the
// bytes that the block kept, the file gets back its first length, and the
// first error is thrown on. The undo needs no memory of its own.
//
// Writing a new file (WriteCopy): every list is laid, then the original file
// is read in pieces of 1 MiB in ascending order, each block's laid bytes are
// taken over it the same way, and the result is appended to a replacement
// file, which takes the place of its destination only once whole.
//
// Locking the file and refusing a patch as its own original are the
// callers' part. A writer is used for one write.
class RecordWriter {
 public:
  static constexpr std::size_t kBlockSize = 64 * 1024;
  // One past the last byte that an IPS record can write: 0xFFFFFF + 65,535.
  static constexpr std::uint64_t kReach = 0x100FFFE;
  static constexpr std::size_t kArenaBytes = std::size_t{32} << 20;

  // `listBytes`: room for records waiting to be laid (see Lay); less only
  // to test the laying.
  explicit RecordWriter(std::size_t listBytes = kArenaBytes);
  ~RecordWriter();
  RecordWriter(const RecordWriter&) = delete;
  RecordWriter& operator=(const RecordWriter&) = delete;

  // Lays a record's bytes at `position`; position + count <= kReach.
  void Write(std::uint64_t position, const std::uint8_t* bytes, std::size_t count);
  // Lays `count` copies of `value` at `position` (a run record).
  void Fill(std::uint64_t position, std::uint8_t value, std::size_t count);
  [[nodiscard]] bool Empty() const { return end_ == 0; }
  // How many bytes an in-place write may write: every block's span.
  [[nodiscard]] std::uint64_t SpanBytes() const;
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
  // Calls `visit(position, bytes, count)` with what `file` (`length` bytes
  // long) holds now in each stretch that records write below `length`: the
  // only bytes an in-place write changes. Block by block in ascending order;
  // within a block stretches may overlap. Reads, writes nothing.
  void ForEachOldStretch(
      ExistingFile& file, std::uint64_t length,
      const std::function<void(std::uint64_t, const std::uint8_t*, std::size_t)>& visit);
  // Appends `original` (read from its start) with the records laid over it
  // to `output`, lengthened as far as the records reach (zeros between).
  // True when that differs from `original`.
  bool WriteCopy(ExistingFile& original, ReplacementFile& output);

 private:
  static constexpr std::size_t kWordBits = 64;
  static constexpr std::size_t kBlockCount = (kReach + kBlockSize - 1) / kBlockSize;

  static constexpr std::size_t kMaskBytes = kBlockSize / 8;
  // The blocks' lists of records' parts waiting to be laid (see Lay) are
  // chains of segments cut from one arena.
  static constexpr std::size_t kSegmentBytes = 4096;
  // Where the masks and the arena lie in memory_, after the image.
  static constexpr std::size_t kMasksAt = kBlockCount * kBlockSize;
  static constexpr std::size_t kArenaAt = kMasksAt + kBlockCount * kMaskBytes;

  struct Segment {
    Segment* next;
    // Set once the next segment is begun.
    std::size_t used;
  };
  static std::uint8_t* BytesOf(const Segment* segment) {
    return reinterpret_cast<std::uint8_t*>(const_cast<Segment*>(segment)) + sizeof(Segment);
  }

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
    // Bytes of the runs in the list.
    std::size_t runBytes = 0;
    // Bytes of all the parts in the list, overlaps counted again.
    std::size_t listedBytes = 0;
    // Where the list's runs keep what they replaced, in runOld_.
    std::size_t runsAt = 0;
    // Set once parts have been laid into the image and the mask.
    bool laid = false;
    // Set once the span is written: what the file held is then in `bytes`
    // when laid, else in the list's parts (see NewSpan).
    bool overwritten = false;

    [[nodiscard]] bool Used() const { return spanBegin < spanEnd; }
  };

  // Lists the parts of a record (its data `bytes`, or `count` copies of
  // `value` when null) with the blocks they fall in.
  void Put(std::uint64_t position, const std::uint8_t* bytes, std::uint8_t value,
           std::size_t count);
  void NewMemory();
  // Room for an entry of `size` bytes at the end of the block's list;
  // null when the arena is full.
  std::uint8_t* Room(Block& block, std::size_t size);
  // Lays the block's listed parts into the image and sets their bits, and
  // empties its list. Laid at once, records scattered over the reach would
  // cost a cache miss each in the image and the masks; listed, a record
  // costs no more than the end of its block's list, which stays in the
  // caches, and a block's parts are laid together while its image and mask
  // are in them (measured: half the time of an apply of 300,000 records).
  // The lists are laid whenever the arena is full, so memory stays bounded.
  void Lay(Block& block);
  // Lays the lists of the blocks laid before, or of every block.
  void LayAll(bool onlyLaid);
  template <typename Visit>
  static void ForEachListed(const Block& block, Visit&& visit);
  // Puts the new bytes of block `index`'s span in the scratch buffer; true
  // when they differ from what the file holds there now (zeros past
  // `length`). A block whose parts are all still listed has them put over a
  // copy of the span as read, with no mask: the common case, and the
  // cheapest. With `keepOld` the block keeps what the new bytes replace, for
  // the undo (see WriteInPlace), and its list no longer holds its records.
  bool NewSpan(ExistingFile& file, std::size_t index, std::uint64_t length, bool keepOld);
  static void LayPart(Block& block, std::size_t first, std::size_t count, const std::uint8_t* data,
                      std::uint8_t value);
  void NeedScratch();
  // Reads the span of block `index` as the file holds it into `to` (a
  // block's room) at its place in the block, zeros past `length`.
  void ReadSpan(ExistingFile& file, std::size_t index, std::uint64_t length, std::uint8_t* to);
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

  struct FreeMemory {
    void operator()(std::uint8_t* memory) const;
  };
  using Memory = std::unique_ptr<std::uint8_t[], FreeMemory>;
  // Memory that the system backs with 2 MiB pages where it can, and only
  // as far as it is reached: far fewer page faults than small pages.
  static Memory LargeMemory(std::size_t bytes);
  // The image, then the masks, then the lists.
  Memory memory_;
  // A block's worth of room for a span as the file holds it. Once a block
  // is written its own buffer is free and the two change places, so the
  // block keeps what it overwrote and the memory held stays the same.
  IoBuffer scratchStorage_;
  std::uint8_t* scratch_ = nullptr;
  // A block's worth of room for a listed block's span as read.
  std::uint8_t* asRead_ = nullptr;
  // What the listed runs of written blocks replaced, block after block.
  Memory runOld_;
  std::size_t runOldUsed_ = 0;
  std::vector<Block> blocks_;
  std::size_t arenaBytes_;
  std::size_t arenaUsed_ = 0;
  std::uint64_t end_ = 0;
  bool undoFailed_ = false;
};

}  // namespace vips
