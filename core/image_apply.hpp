#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "core/block_records.hpp"
#include "core/file_access.hpp"
#include "core/large_bytes.hpp"
#include "core/patch_image.hpp"

namespace vips {

// The records that one run of the command line writes: those of the first
// patch that `firstChosen` marks (all of them when it is empty), then every
// record of each later patch, in order, each over the ones before.

// The start of `file` as the records make it: its bytes up to the last one a
// record writes (zeros past its end), with the records written over them.
struct PatchedStart {
  std::vector<std::uint8_t> bytes;
  // True when the records change a byte of the file or lengthen it.
  bool changed = false;
};
[[nodiscard]] PatchedStart PatchFileStart(const std::vector<PatchImage>& patches,
                                          const std::vector<bool>& firstChosen, ExistingFile& file);

// Writes records kept by the 64 KiB block of the file they write: the file
// is read and written block by block in ascending order with one block of
// memory, whatever order the patches hold them in. The records must outlive
// it.
class RecordWriter {
 public:
  static constexpr std::size_t kBlockSize = BlockRecords::kBlockSize;

  // WriteAllOrNothing keeps in the data records' bytes the file's bytes that
  // they replaced: afterwards the records no longer hold their data.
  explicit RecordWriter(BlockRecords& records);

  // True when writing the records would change `file`, now `length` bytes
  // long: a byte that a record writes differs from the file's, or the
  // records reach past its end. Reads; writes nothing.
  [[nodiscard]] bool Changes(ExistingFile& file, std::uint64_t length);

  // Writes the records into `file`, all or nothing: the room for the final
  // length is taken before the first byte is written ("Disk full" leaves the
  // file as it was), and when a write fails all the same, the records' places
  // already written get back the bytes they held and the file its length,
  // and the error is thrown on. Each block's bytes are read right before its
  // write, so that only the records' bytes change, also when another program
  // has just changed others. Records that leave their bytes as they are
  // cause no write. True when the file changed (a byte, or its length).
  // Done once.
  bool WriteAllOrNothing(ExistingFile& file);

 private:
  // How a block was written.
  struct Block {
    // Where its bytes as they were before the write are kept in undo_;
    // written is set before its first write.
    std::size_t undoAt = 0;
    bool written = false;
    // The old bytes are kept piece by piece, in the order the pieces are put
    // in, instead of stretch by stretch.
    bool keptByPiece = false;
    // Then how many bytes of undo_ the run records' pieces took; a data
    // record's piece keeps the old bytes where its data was.
    std::size_t keptBytes = 0;
  };
  using Summary = BlockRecords::Summary;
  using Piece = BlockRecords::Piece;
  // A stretch of a block that records write, [first, end).
  using Run = std::pair<std::uint32_t, std::uint32_t>;

  // Writes the records' pieces in block `index` over `bytes` (the block).
  void PutRecords(std::size_t index, std::uint8_t* bytes) const;
  // Lists in runs_ the stretches of block `index` that records write.
  void FindRuns(std::size_t index);
  // Puts the records' pieces in block `index` over `bytes` (the span as the
  // file holds it), keeping the bytes each piece covers right before it is
  // put: a data record's piece exchanges them with its data, a
  // run record's piece copies them to `old`; returns how many bytes went to
  // `old`.
  std::size_t PutRecordsKeepingOld(std::size_t index, std::uint8_t* bytes, std::uint8_t* old);
  // Where the bytes of block `index` stand among the records when one data
  // record's piece is all that is written in it, else nothing.
  [[nodiscard]] std::uint8_t* OnePieceData(std::size_t index) const;
  // Whether block `index` is written as one span with its old bytes kept
  // piece by piece, which needs no list of stretches.
  [[nodiscard]] static bool KeepsByPiece(const Summary& summary);
  // Reads the block's old bytes, puts the records over them, and writes the
  // block when a byte changes (and `write` is set); true when one does.
  // stepUndo_ is how many bytes of undo_ the block's write took.
  bool Step(ExistingFile& file, std::uint64_t originalLength, std::size_t index, bool write);
  void Undo(ExistingFile& file, std::uint64_t originalLength) noexcept;
  // Puts back the old bytes of a block kept piece by piece, up to `length`
  // bytes of its span (the rest lay past the original end).
  void UndoByPiece(ExistingFile& file, std::size_t index, std::size_t length) noexcept;

  BlockRecords& records_;
  std::vector<Block> blocks_;
  bool changedAlready_ = false;
  std::size_t undoSize_ = 0;
  std::size_t stepUndo_ = 0;

  std::unique_ptr<std::uint8_t[]> buffer_;
  LargeBytes undo_;
  std::vector<std::uint64_t> written_;
  std::vector<Run> runs_;
  // Room to go through a block's pieces backwards.
  std::vector<std::uint8_t*> places_;
};

}  // namespace vips
