#include "core/image_apply.hpp"

#include <algorithm>
#include <bit>
#include <cstring>

#include "core/file_bytes.hpp"
#include "core/short_moves.hpp"

namespace vips {
namespace {

constexpr std::size_t kWordBits = 64;

// Calls `write(patchIndex, patch, record)` for each record that writes a
// byte, in order.
template <typename Write>
void ForEachWrittenRecord(const std::vector<PatchImage>& patches,
                          const std::vector<bool>& firstChosen, Write&& write) {
  for (std::size_t p = 0; p < patches.size(); ++p) {
    std::size_t i = 0;
    patches[p].ForEachRecord([&](const PatchRecord& record) {
      const bool chosen = p != 0 || firstChosen.empty() || firstChosen[i];
      ++i;
      if (chosen && record.Count() > 0) write(p, patches[p], record);
    });
  }
}

// The bits [from, to) of a 64-bit word, 0 <= from < to <= 64.
std::uint64_t BitsOf(std::size_t from, std::size_t to) {
  const std::uint64_t upTo = to == kWordBits ? ~std::uint64_t{0} : (std::uint64_t{1} << to) - 1;
  return upTo & ~((std::uint64_t{1} << from) - 1);
}

// Sets the bits [first, end) of `words`, first < end.
void SetBits(std::uint64_t* words, std::size_t first, std::size_t end) {
  const std::size_t firstWord = first / kWordBits;
  const std::size_t lastWord = (end - 1) / kWordBits;
  const std::size_t lastBit = (end - 1) % kWordBits + 1;
  if (firstWord == lastWord) {
    words[firstWord] |= BitsOf(first % kWordBits, lastBit);
    return;
  }
  words[firstWord] |= BitsOf(first % kWordBits, kWordBits);
  std::fill(words + firstWord + 1, words + lastWord, ~std::uint64_t{0});
  words[lastWord] |= BitsOf(0, lastBit);
}

// A block whose records write at most this many stretches has only those
// read and written, each on its own; any other is read and written as one
// span from its first to its last written byte. Either way a block costs at
// most four reads and writes.
constexpr std::size_t kFewRuns = 2;

// Reads `count` bytes of `file` at `position` into `bytes`, where the file
// held them before it was lengthened to take the records (`originalLength`
// bytes); zeros stand for the rest. A read that ends before `originalLength`
// is an error: zeros taken for the file's bytes would be written back.
void ReadOld(ExistingFile& file, std::uint64_t position, std::uint8_t* bytes, std::size_t count,
             std::uint64_t originalLength) {
  std::size_t wanted = 0;
  if (position < originalLength) {
    wanted = static_cast<std::size_t>(std::min<std::uint64_t>(count, originalLength - position));
  }
  if (wanted > 0) file.ReadAllAt(position, bytes, wanted);
  std::memset(bytes + wanted, 0, count - wanted);
}

}  // namespace

PatchedStart PatchFileStart(const std::vector<PatchImage>& patches,
                            const std::vector<bool>& firstChosen, ExistingFile& file) {
  std::uint64_t end = 0;
  ForEachWrittenRecord(patches, firstChosen,
                       [&end](std::size_t, const PatchImage&, const PatchRecord& record) {
                         end = std::max<std::uint64_t>(
                             end, static_cast<std::uint64_t>(record.offset) + record.Count());
                       });
  const std::vector<std::uint8_t> before = ReadFileStart(file, end);
  PatchedStart result;
  result.bytes = before;
  result.bytes.resize(end, 0);
  std::uint8_t* const bytes = result.bytes.data();
  ForEachWrittenRecord(patches, firstChosen,
                       [bytes](std::size_t, const PatchImage& patch, const PatchRecord& record) {
                         std::uint8_t* target = bytes + record.offset;
                         if (record.IsRun()) {
                           std::memset(target, record.value, record.runLength);
                         } else {
                           std::memcpy(target, patch.DataOf(record), record.size);
                         }
                       });
  // The last record to write a byte decides it, so the bytes are compared
  // once all are written; bytes past the end of the file lengthen it.
  result.changed =
      before.size() < end || (end > 0 && std::memcmp(before.data(), bytes, before.size()) != 0);
  return result;
}

RecordWriter::RecordWriter(BlockRecords& records)
    : records_(records), blocks_(BlockRecords::kBlockCount) {
  // A block keeps at most the bytes of its span, and at most its pieces'
  // bytes: the room taken is what the undo will fill, not more.
  for (std::size_t index = 0; index < blocks_.size(); ++index) {
    const Summary& summary = records_.SummaryOf(index);
    if (summary.spanBegin < summary.spanEnd) {
      undoSize_ += static_cast<std::size_t>(
          std::min<std::uint64_t>(summary.spanEnd - summary.spanBegin, summary.pieceBytes));
    }
  }
}

void RecordWriter::PutRecords(std::size_t index, std::uint8_t* bytes) const {
  records_.ForEachPiece(index, [bytes](const Piece& piece) {
    if (piece.data == nullptr) {
      std::memset(bytes + piece.first, piece.value, piece.count);
    } else {
      CopyShort(bytes + piece.first, piece.data, piece.count);
    }
  });
}

std::size_t RecordWriter::PutRecordsKeepingOld(std::size_t index, std::uint8_t* bytes,
                                               std::uint8_t* old) {
  std::size_t kept = 0;
  records_.ForEachPiece(index, [bytes, old, &kept](const Piece& piece) {
    std::uint8_t* const target = bytes + piece.first;
    if (piece.data == nullptr) {
      CopyShort(old + kept, target, piece.count);
      kept += piece.count;
      std::memset(target, piece.value, piece.count);
    } else {
      SwapShort(target, piece.data, piece.count);
    }
  });
  return kept;
}

std::uint8_t* RecordWriter::OnePieceData(std::size_t index) const {
  if (records_.SummaryOf(index).pieceCount != 1) return nullptr;
  std::uint8_t* data = nullptr;
  records_.ForEachPiece(index, [&data](const Piece& piece) { data = piece.data; });
  return data;
}

bool RecordWriter::KeepsByPiece(const Summary& summary) {
  // Many pieces make many stretches, which cost more to find than to keep
  // each piece's old bytes; so do data records that fill much of the block,
  // whose old bytes go where their data was instead of to fresh memory. Run
  // records' old bytes are kept in undo_, which has room for the span.
  const std::uint64_t span = summary.spanEnd - summary.spanBegin;
  const std::uint64_t dataBytes = summary.pieceBytes - summary.runPieceBytes;
  return summary.runPieceBytes <= span &&
         (summary.pieceCount > kFewRuns || dataBytes >= kBlockSize / 4);
}

void RecordWriter::FindRuns(std::size_t index) {
  const Summary& summary = records_.SummaryOf(index);
  std::uint64_t* const words = written_.data();
  const std::size_t firstWord = summary.spanBegin / kWordBits;
  const std::size_t endWord = (summary.spanEnd + kWordBits - 1) / kWordBits;
  std::fill(words + firstWord, words + endWord, std::uint64_t{0});
  records_.ForEachPiece(index, [words](const Piece& piece) {
    SetBits(words, piece.first, piece.first + piece.count);
  });
  // Each run begins at a set bit after a clear one and ends at the next
  // clear bit: looking for ones, then for ones of the inverted word.
  runs_.clear();
  bool inRun = false;
  std::uint32_t runFirst = 0;
  for (std::size_t w = firstWord; w < endWord; ++w) {
    std::uint64_t look = inRun ? ~words[w] : words[w];
    while (look != 0) {
      const int bit = std::countr_zero(look);
      const auto at = static_cast<std::uint32_t>(w * kWordBits + static_cast<std::size_t>(bit));
      if (inRun) {
        runs_.emplace_back(runFirst, at);
      } else {
        runFirst = at;
      }
      inRun = !inRun;
      const std::uint64_t from = ~std::uint64_t{0} << bit;
      look = (inRun ? ~words[w] : words[w]) & from;
    }
  }
  if (inRun) runs_.emplace_back(runFirst, static_cast<std::uint32_t>(endWord * kWordBits));
}

bool RecordWriter::Step(ExistingFile& file, std::uint64_t originalLength, std::size_t index,
                        bool write) {
  Block& block = blocks_[index];
  const Summary& summary = records_.SummaryOf(index);
  const std::uint64_t base = std::uint64_t{index} * kBlockSize;
  std::uint8_t* const bytes = buffer_.get();
  std::uint8_t* const old = undo_.get() + block.undoAt;
  // Once the records have changed the file, later blocks are written without
  // comparing: a block with many pieces is then read and written as one
  // span, each piece's old bytes kept as it is put in.
  std::uint8_t* const direct = OnePieceData(index);
  if (write && changedAlready_ && direct != nullptr) {
    // One data record's piece is the whole span: it is written straight from
    // the patch, and the old bytes, read right before, then take its place
    // there, as PutRecordsKeepingOld would leave them.
    const std::size_t length = summary.spanEnd - summary.spanBegin;
    ReadOld(file, base + summary.spanBegin, bytes + summary.spanBegin, length, originalLength);
    stepUndo_ = 0;
    block.keptBytes = 0;
    block.keptByPiece = true;
    block.written = true;
    try {
      file.WriteAt(base + summary.spanBegin, direct, length);
    } catch (...) {
      std::memcpy(direct, bytes + summary.spanBegin, length);
      throw;
    }
    std::memcpy(direct, bytes + summary.spanBegin, length);
    return true;
  }
  if (write && changedAlready_ && KeepsByPiece(summary)) {
    ReadOld(file, base + summary.spanBegin, bytes + summary.spanBegin,
            summary.spanEnd - summary.spanBegin, originalLength);
    stepUndo_ = PutRecordsKeepingOld(index, bytes, old);
    block.keptBytes = stepUndo_;
    block.keptByPiece = true;
    block.written = true;
    file.WriteAt(base + summary.spanBegin, bytes + summary.spanBegin,
                 summary.spanEnd - summary.spanBegin);
    return true;
  }
  FindRuns(index);
  stepUndo_ = 0;
  for (const auto& [first, end] : runs_) stepUndo_ += end - first;
  const bool few = runs_.size() <= kFewRuns;
  // The bytes that records write, as the file holds them now, packed in
  // `old`: read there straight away, or taken from the span.
  std::size_t at = 0;
  if (few) {
    for (const auto& [first, end] : runs_) {
      ReadOld(file, base + first, old + at, end - first, originalLength);
      at += end - first;
    }
  } else {
    ReadOld(file, base + summary.spanBegin, bytes + summary.spanBegin,
            summary.spanEnd - summary.spanBegin, originalLength);
    for (const auto& [first, end] : runs_) {
      CopyShort(old + at, bytes + first, end - first);
      at += end - first;
    }
  }
  // The bytes of one data record alone in its block are written straight
  // from the patch (its one stretch); other blocks' records are put in.
  if (direct == nullptr) PutRecords(index, bytes);
  const auto newBytes = [direct, bytes](std::uint32_t first) {
    return direct != nullptr ? direct : bytes + first;
  };
  // Once the records have changed the file, writing bytes it already holds
  // changes nothing more: the later blocks are written without comparing.
  bool changed = changedAlready_;
  at = 0;
  for (std::size_t run = 0; !changed && run < runs_.size(); ++run) {
    const auto [first, end] = runs_[run];
    changed = std::memcmp(newBytes(first), old + at, end - first) != 0;
    at += end - first;
  }
  if (!changed || !write) return changed;
  changedAlready_ = true;
  block.written = true;
  if (few) {
    for (const auto& [first, end] : runs_) file.WriteAt(base + first, newBytes(first), end - first);
  } else {
    file.WriteAt(base + summary.spanBegin, bytes + summary.spanBegin,
                 summary.spanEnd - summary.spanBegin);
  }
  return true;
}

bool RecordWriter::Changes(ExistingFile& file, std::uint64_t length) {
  if (records_.Reach() > length) return true;
  buffer_ = std::make_unique_for_overwrite<std::uint8_t[]>(kBlockSize);
  undo_ = NewLargeBytes(kBlockSize);
  written_.assign(kBlockSize / kWordBits, 0);
  for (std::size_t index = 0; index < blocks_.size(); ++index) {
    Block& block = blocks_[index];
    const Summary& summary = records_.SummaryOf(index);
    if (summary.spanBegin >= summary.spanEnd) continue;
    block.undoAt = 0;
    if (Step(file, length, index, false)) return true;
  }
  return false;
}

bool RecordWriter::WriteAllOrNothing(ExistingFile& file) {
  if (records_.Reach() == 0) return false;
  const std::uint64_t length = file.Length();
  // The room for the file's final length is taken before the first byte is
  // written, so a full disk is found while the file is still as it was.
  file.Reserve(std::max(length, records_.Reach()));
  buffer_ = std::make_unique_for_overwrite<std::uint8_t[]>(kBlockSize);
  // Room for the old bytes of every span, taken by the system only as far as
  // the records' bytes fill it.
  undo_ = NewLargeBytes(undoSize_);
  written_.assign(kBlockSize / kWordBits, 0);
  // The undo allocates nothing.
  places_.reserve(records_.MostPieces());
  bool wrote = false;
  std::size_t undoAt = 0;
  try {
    for (std::size_t index = 0; index < blocks_.size(); ++index) {
      Block& block = blocks_[index];
      const Summary& summary = records_.SummaryOf(index);
      if (summary.spanBegin >= summary.spanEnd) continue;
      block.undoAt = undoAt;
      if (Step(file, length, index, true)) {
        wrote = true;
        undoAt += stepUndo_;
      }
    }
  } catch (...) {
    // The failing write may have reached part of its block: it is undone too.
    Undo(file, length);
    throw;
  }
  return wrote || records_.Reach() > length;
}

void RecordWriter::UndoByPiece(ExistingFile& file, std::size_t index, std::size_t length) noexcept {
  const Block& block = blocks_[index];
  const Summary& summary = records_.SummaryOf(index);
  const std::uint64_t base = std::uint64_t{index} * kBlockSize;
  std::uint8_t* const bytes = buffer_.get();
  const std::uint8_t* const old = undo_.get() + block.undoAt;
  // The pieces go back last first, so that where pieces overlap the byte
  // ends as the first piece found it.
  const auto eachPieceBackwards = [&](auto&& put) {
    std::size_t at = block.keptBytes;
    records_.ForEachPieceBackwards(index, places_, [&](const Piece& piece) {
      if (piece.data == nullptr) {
        at -= piece.count;
        put(piece.first, old + at, piece.count);
      } else {
        put(piece.first, piece.data, piece.count);
      }
    });
  };
  // Bytes past the original end go with the length.
  const std::uint32_t limit = summary.spanBegin + static_cast<std::uint32_t>(length);
  try {
    // The span as the file holds it now, with the records' places put back.
    if (length == 0) return;
    if (file.ReadAt(base + summary.spanBegin, bytes + summary.spanBegin, length) == length) {
      eachPieceBackwards([bytes](std::uint32_t first, const std::uint8_t* from, std::size_t count) {
        std::memcpy(bytes + first, from, count);
      });
      file.WriteAt(base + summary.spanBegin, bytes + summary.spanBegin, length);
      return;
    }
  } catch (...) {
    // Then piece by piece.
  }
  eachPieceBackwards([&](std::uint32_t first, const std::uint8_t* from, std::size_t count) {
    if (first >= limit) return;
    try {
      file.WriteAt(base + first, from, std::min<std::size_t>(count, limit - first));
    } catch (...) {
      // The first error is the one reported; the rest is done as far as it goes.
    }
  });
}

void RecordWriter::Undo(ExistingFile& file, std::uint64_t originalLength) noexcept {
  std::uint8_t* const bytes = buffer_.get();
  for (std::size_t index = 0; index < blocks_.size(); ++index) {
    const Block& block = blocks_[index];
    if (!block.written) continue;
    const Summary& summary = records_.SummaryOf(index);
    const std::uint64_t base = std::uint64_t{index} * kBlockSize;
    const std::uint8_t* const old = undo_.get() + block.undoAt;
    // Bytes past the original end go with the length.
    const auto clipped = [base, originalLength](std::uint32_t first, std::uint32_t end) {
      const std::uint64_t limit = originalLength > base ? originalLength - base : 0;
      return static_cast<std::size_t>(std::min<std::uint64_t>(end, limit) -
                                      std::min<std::uint64_t>(first, limit));
    };
    if (block.keptByPiece) {
      UndoByPiece(file, index, clipped(summary.spanBegin, summary.spanEnd));
      continue;
    }
    FindRuns(index);
    bool done = false;
    if (runs_.size() > kFewRuns) {
      // The span as the file holds it now, with the records' places put back.
      try {
        const std::size_t length = clipped(summary.spanBegin, summary.spanEnd);
        if (length == 0 ||
            file.ReadAt(base + summary.spanBegin, bytes + summary.spanBegin, length) == length) {
          std::size_t at = 0;
          for (const auto& [first, end] : runs_) {
            std::memcpy(bytes + first, old + at, end - first);
            at += end - first;
          }
          if (length > 0) file.WriteAt(base + summary.spanBegin, bytes + summary.spanBegin, length);
          done = true;
        }
      } catch (...) {
        // Then run by run.
      }
    }
    std::size_t at = 0;
    for (const auto& [first, end] : runs_) {
      const std::size_t length = clipped(first, end);
      if (!done && length > 0) {
        try {
          file.WriteAt(base + first, old + at, length);
        } catch (...) {
          // The first error is the one reported; the rest is done as far as it goes.
        }
      }
      at += end - first;
    }
  }
  try {
    file.SetLength(originalLength);
  } catch (...) {
  }
}

}  // namespace vips
