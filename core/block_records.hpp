#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/large_bytes.hpp"

namespace vips {

// The records of one or more patches, read straight from the patch files and
// kept by the 64 KiB block of the file that they write: the file can then be
// written block by block, each block's records read in the order they lie in
// memory, however the patches scatter them. Within a block the records keep
// the order of their patches, and within a patch their order in it. A record
// that reaches into the next block is kept in both, as two pieces.
//
// The patch itself is not kept: each record's bytes are copied to their
// block as the patch is read, so the records cost about the patch's size.
class BlockRecords {
 public:
  static constexpr std::size_t kBlockSize = 64 * 1024;
  // The blocks that records can reach (offsets below 2^24, up to 65535
  // bytes long).
  static constexpr std::size_t kBlockCount =
      ((std::size_t{1} << 24) + 65535 + kBlockSize - 1) / kBlockSize;

  // A record's part of one block: it writes the block's bytes
  // [first, first + count), count > 0.
  struct Piece {
    std::uint32_t first;
    std::uint32_t count;
    // A data record's bytes for those places (they may be changed: the
    // writer keeps there the bytes that they replaced); null for a run.
    std::uint8_t* data;
    // A run record's byte.
    std::uint8_t value;
  };

  // What the records put into one block.
  struct Summary {
    // The span from the first to the last byte that records write in it;
    // empty (begin >= end) when none does.
    std::uint32_t spanBegin = kBlockSize;
    std::uint32_t spanEnd = 0;
    // How many pieces, their bytes counted one by one (overlapping pieces
    // count twice), and of those the run records' bytes.
    std::size_t pieceCount = 0;
    std::uint64_t pieceBytes = 0;
    std::uint64_t runPieceBytes = 0;
  };

  BlockRecords();
  BlockRecords(BlockRecords&&) noexcept;
  BlockRecords& operator=(BlockRecords&&) noexcept;
  ~BlockRecords();

  // Adds the records of the patch at `path` (opened for reading only) after
  // those added before: the ones that `chosen` marks, by their place in the
  // patch, or all of them when it is empty. False, adding nothing, for a file
  // whose header is not "PATCH". A patch cut before its end marker throws
  // "Read beyond end of file", a patch file of 4 GiB or more the system's
  // "file too large" error, and I/O failures throw too; after a throw the
  // records are not to be written.
  bool Add(const std::string& path, const std::vector<bool>& chosen = {});

  [[nodiscard]] const Summary& SummaryOf(std::size_t block) const { return summaries_[block]; }
  // One past the last byte of the file that a record writes.
  [[nodiscard]] std::uint64_t Reach() const { return reach_; }
  // The most pieces that any one block holds.
  [[nodiscard]] std::size_t MostPieces() const;

  // Calls `visit(piece)` for each piece of `block`, in order.
  template <typename Visit>
  void ForEachPiece(std::size_t block, Visit&& visit) const {
    for (const Segment* segment = head_[block]; segment != nullptr; segment = segment->next) {
      std::uint8_t* at = BytesOf(segment);
      std::uint8_t* const end = at + segment->used;
#if defined(__GNUC__)
      // The pieces were written long before and lie in memory, not in the
      // caches: the next segment's start, and the bytes a little ahead in
      // this one, are fetched while these are used.
      if (segment->next != nullptr) {
        __builtin_prefetch(BytesOf(segment->next));
        __builtin_prefetch(BytesOf(segment->next) + 64);
      }
#endif
      while (at < end) {
#if defined(__GNUC__)
        __builtin_prefetch(at + kFetchAhead);
#endif
        const Piece piece = Decode(at);
        at += EntrySize(piece);
        visit(piece);
      }
    }
  }

  // The same in reverse order. `places` is scratch room; with capacity for
  // MostPieces() pieces this allocates nothing.
  template <typename Visit>
  void ForEachPieceBackwards(std::size_t block, std::vector<std::uint8_t*>& places,
                             Visit&& visit) const {
    places.clear();
    for (const Segment* segment = head_[block]; segment != nullptr; segment = segment->next) {
      std::uint8_t* at = BytesOf(segment);
      std::uint8_t* const end = at + segment->used;
      while (at < end) {
        places.push_back(at);
        at += EntrySize(Decode(at));
      }
    }
    for (auto place = places.rbegin(); place != places.rend(); ++place) visit(Decode(*place));
  }

 private:
  // A block's pieces lie in a chain of segments, each a header followed by
  // entries: first and count (two bytes each, low byte first), a kind byte,
  // then a data record's bytes or a run record's byte.
  struct Segment {
    Segment* next;
    // Set when the next segment is begun, and for the last when the patch
    // has been read.
    std::size_t used;
  };
  // A block's last segment and the free room at its end, kept apart from the
  // segments so that the blocks' places to write stay together in memory.
  struct Tail {
    std::uint8_t* at = nullptr;
    std::uint8_t* end = nullptr;
    Segment* segment = nullptr;
  };
  static constexpr std::size_t kEntryHeader = 5;
  // How far ahead of the piece in use its segment's bytes are fetched.
  static constexpr std::size_t kFetchAhead = 512;
  static constexpr std::uint8_t kDataEntry = 0;
  static constexpr std::uint8_t kRunEntry = 1;

  static std::uint8_t* BytesOf(const Segment* segment) {
    return reinterpret_cast<std::uint8_t*>(const_cast<Segment*>(segment)) + sizeof(Segment);
  }
  static Piece Decode(std::uint8_t* at) {
    Piece piece;
    piece.first = std::uint32_t{at[0]} | std::uint32_t{at[1]} << 8;
    piece.count = std::uint32_t{at[2]} | std::uint32_t{at[3]} << 8;
    const bool run = at[4] == kRunEntry;
    piece.data = run ? nullptr : at + kEntryHeader;
    piece.value = run ? at[kEntryHeader] : 0;
    return piece;
  }
  static std::size_t EntrySize(const Piece& piece) {
    return kEntryHeader + (piece.data == nullptr ? 1 : piece.count);
  }

  // Room for an entry of `size` bytes at the end of `block`'s chain.
  std::uint8_t* Room(std::size_t block, std::size_t size) {
    Tail& tail = tails_[block];
    if (static_cast<std::size_t>(tail.end - tail.at) < size) return RoomInNewSegment(block, size);
    std::uint8_t* const at = tail.at;
    tail.at += size;
#if defined(__GNUC__)
    // A block's chain is written to again only after the records of many
    // other blocks: the room for its next entry is fetched meanwhile.
    __builtin_prefetch(at + size, 1);
    __builtin_prefetch(at + size + 64, 1);
#endif
    return at;
  }
  std::uint8_t* RoomInNewSegment(std::size_t block, std::size_t size);
  // Puts the piece of a record in `block`: [first, first + count), and for a
  // data record room for its bytes, returned to be filled.
  std::uint8_t* Put(std::size_t block, std::uint32_t first, std::uint32_t count, bool run,
                    std::uint8_t value) {
    std::uint8_t* const entry = Room(block, kEntryHeader + (run ? 1 : count));
    entry[0] = static_cast<std::uint8_t>(first);
    entry[1] = static_cast<std::uint8_t>(first >> 8);
    entry[2] = static_cast<std::uint8_t>(count);
    entry[3] = static_cast<std::uint8_t>(count >> 8);
    entry[4] = run ? kRunEntry : kDataEntry;
    if (run) entry[kEntryHeader] = value;
    Summary& summary = summaries_[block];
    ++summary.pieceCount;
    summary.pieceBytes += count;
    if (run) summary.runPieceBytes += count;
    if (first < summary.spanBegin) summary.spanBegin = first;
    if (first + count > summary.spanEnd) summary.spanEnd = first + count;
    return entry + kEntryHeader;
  }

  std::array<Segment*, kBlockCount> head_{};
  std::array<Tail, kBlockCount> tails_{};
  std::vector<Summary> summaries_;
  std::uint64_t reach_ = 0;
  // The segments are cut from large pieces of memory that never move.
  std::vector<LargeBytes> arenas_;
  std::size_t arenaUsed_ = 0;
  std::size_t arenaSize_ = 0;
  // Where the patch is read through.
  std::unique_ptr<std::uint8_t[]> readBuffer_;
};

}  // namespace vips
