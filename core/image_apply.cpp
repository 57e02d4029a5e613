#include "core/image_apply.hpp"

#include <algorithm>
#include <bit>
#include <cstring>

#include "core/file_bytes.hpp"

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

// The blocks an IPS record can reach, as the patches counted them.
constexpr std::size_t kReachableBlocks = PatchImage::kReachableBlocks;
static_assert(RecordWriter::kBlockSize == PatchImage::kBlockSize);

// memcpy for the short copies of records' bytes (most are a few dozen
// bytes): two overlapping fixed-size moves instead of a library call.
inline void CopyShort(std::uint8_t* to, const std::uint8_t* from, std::size_t count) {
  if (count >= 16 && count <= 32) {
    std::memcpy(to, from, 16);
    std::memcpy(to + count - 16, from + count - 16, 16);
  } else if (count >= 8 && count < 16) {
    std::memcpy(to, from, 8);
    std::memcpy(to + count - 8, from + count - 8, 8);
  } else if (count > 32 && count <= 64) {
    std::memcpy(to, from, 32);
    std::memcpy(to + count - 32, from + count - 32, 32);
  } else {
    std::memcpy(to, from, count);
  }
}

// The bytes [first, end) of the block at `base` that `record` writes.
struct InBlock {
  std::uint32_t first;
  std::uint32_t end;
};
inline InBlock PartIn(const PatchRecord& record, std::uint64_t base) {
  const auto first = static_cast<std::uint64_t>(record.offset);
  const std::uint64_t end = first + record.Count();
  return {static_cast<std::uint32_t>(std::max(first, base) - base),
          static_cast<std::uint32_t>(std::min(end, base + RecordWriter::kBlockSize) - base)};
}

// Exchanges `count` bytes of `a` with those of `b`; the two do not overlap.
inline void SwapBytes(std::uint8_t* a, std::uint8_t* b, std::size_t count) {
  std::uint8_t held[64];
  while (count > 0) {
    const std::size_t n = std::min(count, sizeof held);
    CopyShort(held, a, n);
    CopyShort(a, b, n);
    CopyShort(b, held, n);
    a += n;
    b += n;
    count -= n;
  }
}

// Reads `count` bytes of `file` at `position` into `bytes`, where the file
// held them before it was lengthened to take the records (`originalLength`
// bytes); zeros stand for the rest. False when the file ended before
// `originalLength`.
bool ReadOld(ExistingFile& file, std::uint64_t position, std::uint8_t* bytes, std::size_t count,
             std::uint64_t originalLength) {
  std::size_t wanted = 0;
  if (position < originalLength) {
    wanted = static_cast<std::size_t>(std::min<std::uint64_t>(count, originalLength - position));
  }
  const std::size_t read = wanted == 0 ? 0 : file.ReadAt(position, bytes, wanted);
  std::memset(bytes + read, 0, count - read);
  return read == wanted;
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

RecordWriter::RecordWriter(std::vector<PatchImage>& patches, const std::vector<bool>& firstChosen)
    : patches_(patches) {
  const std::size_t patchCount = patches.size();
  blocks_.resize(kReachableBlocks);
  // Each patch counted its records' pieces per block when it was read: the
  // pieces are listed where those counts put them (fewer when records are
  // left out), so a block's records keep their order.
  first_.assign(kReachableBlocks * patchCount + 1, 0);
  for (std::size_t b = 0; b < kReachableBlocks; ++b) {
    for (std::size_t p = 0; p < patchCount; ++p) {
      const std::size_t at = b * patchCount + p;
      first_[at + 1] = first_[at] + patches[p].PiecesPerBlock()[b];
    }
  }
  // Filled before it is read: no need to clear it first.
  // From 1 MiB on, the list is rounded up to whole 2 MiB pages: a few page
  // faults instead of hundreds, for a little more memory.
  constexpr std::size_t kLargePage = std::size_t{2} << 20;
  std::size_t listBytes = first_.back() * sizeof(Piece);
  if (listBytes >= kLargePage / 2)
    listBytes = (listBytes + kLargePage - 1) / kLargePage * kLargePage;
  pieces_ = NewLargeBytes(listBytes);
  end_.assign(first_.begin(), first_.end() - 1);
  ForEachWrittenRecord(
      patches, firstChosen, [&](std::size_t p, const PatchImage&, const PatchRecord& record) {
        const auto first = static_cast<std::uint64_t>(record.offset);
        const std::uint64_t end = first + record.Count();
        reach_ = std::max(reach_, end);
        for (std::size_t b = first / kBlockSize; b <= (end - 1) / kBlockSize; ++b) {
          const std::uint64_t base = std::uint64_t{b} * kBlockSize;
          const auto pieceFirst = static_cast<std::uint32_t>(std::max(first, base) - base);
          const auto pieceEnd = static_cast<std::uint32_t>(std::min(end, base + kBlockSize) - base);
          Pieces()[end_[b * patchCount + p]++] = {static_cast<std::uint32_t>(record.at)};
          Block& block = blocks_[b];
          ++block.pieceCount;
          block.pieceBytes += pieceEnd - pieceFirst;
          if (record.IsRun()) block.runPieceBytes += pieceEnd - pieceFirst;
          block.spanBegin = std::min(block.spanBegin, pieceFirst);
          block.spanEnd = std::max(block.spanEnd, pieceEnd);
        }
      });
  // A block keeps at most the bytes of its span, and at most its pieces'
  // bytes: the room taken is what the undo will fill, not more.
  for (const Block& block : blocks_) {
    if (block.spanBegin < block.spanEnd) {
      undoSize_ += static_cast<std::size_t>(
          std::min<std::uint64_t>(block.spanEnd - block.spanBegin, block.pieceBytes));
    }
  }
}

std::pair<const RecordWriter::Piece*, const RecordWriter::Piece*> RecordWriter::PiecesOf(
    std::size_t index, std::size_t p) const {
  const std::size_t at = index * patches_.size() + p;
  return {Pieces() + first_[at], Pieces() + end_[at]};
}

void RecordWriter::PutRecords(std::size_t index, std::uint8_t* bytes) const {
  const std::uint64_t base = std::uint64_t{index} * kBlockSize;
  for (std::size_t p = 0; p < patches_.size(); ++p) {
    const PatchImage& patch = patches_[p];
    const auto [begin, end] = PiecesOf(index, p);
    for (const Piece* piece = begin; piece != end; ++piece) {
#if defined(__GNUC__)
      // The records lie scattered over the patch: the ones a few pieces on
      // (header and first data bytes) are fetched while this one is copied.
      constexpr std::ptrdiff_t kAhead = 16;
      if (end - piece > kAhead) {
        const std::size_t ahead = piece[kAhead].at;
        __builtin_prefetch(patch.Bytes() + ahead);
        __builtin_prefetch(patch.Bytes() + std::min(ahead + 64, patch.Size() - 1));
      }
#endif
      const PatchRecord record = patch.RecordAt(piece->at);
      const InBlock part = PartIn(record, base);
      const std::size_t count = part.end - part.first;
      if (record.IsRun()) {
        std::memset(bytes + part.first, record.value, count);
      } else {
        const std::uint64_t skip = base + part.first - static_cast<std::uint64_t>(record.offset);
        CopyShort(bytes + part.first, patch.DataOf(record) + skip, count);
      }
    }
  }
}

std::size_t RecordWriter::PutRecordsKeepingOld(std::size_t index, std::uint8_t* bytes,
                                               std::uint8_t* old) {
  const std::uint64_t base = std::uint64_t{index} * kBlockSize;
  std::size_t kept = 0;
  for (std::size_t p = 0; p < patches_.size(); ++p) {
    PatchImage& patch = patches_[p];
    const auto [begin, end] = PiecesOf(index, p);
    for (const Piece* piece = begin; piece != end; ++piece) {
#if defined(__GNUC__)
      constexpr std::ptrdiff_t kAhead = 16;
      if (end - piece > kAhead) {
        const std::size_t ahead = piece[kAhead].at;
        __builtin_prefetch(patch.Bytes() + ahead);
        __builtin_prefetch(patch.Bytes() + std::min(ahead + 64, patch.Size() - 1));
      }
#endif
      const PatchRecord record = patch.RecordAt(piece->at);
      const InBlock part = PartIn(record, base);
      const std::size_t count = part.end - part.first;
      std::uint8_t* const target = bytes + part.first;
      if (record.IsRun()) {
        CopyShort(old + kept, target, count);
        kept += count;
        std::memset(target, record.value, count);
      } else {
        const std::uint64_t skip = base + part.first - static_cast<std::uint64_t>(record.offset);
        SwapBytes(target, patch.MutableDataOf(record) + skip, count);
      }
    }
  }
  return kept;
}

std::uint8_t* RecordWriter::OnePieceData(std::size_t index) const {
  const std::uint64_t base = std::uint64_t{index} * kBlockSize;
  for (std::size_t p = 0; p < patches_.size(); ++p) {
    const auto [begin, end] = PiecesOf(index, p);
    if (begin == end) continue;
    PatchImage& patch = patches_[p];
    const PatchRecord record = patch.RecordAt(begin->at);
    if (record.IsRun()) return nullptr;
    const InBlock part = PartIn(record, base);
    return patch.MutableDataOf(record) +
           (base + part.first - static_cast<std::uint64_t>(record.offset));
  }
  return nullptr;
}

bool RecordWriter::KeepsByPiece(const Block& block) const {
  // Many pieces make many stretches, which cost more to find than to keep
  // each piece's old bytes; so do data records that fill much of the block,
  // whose old bytes go where their data was instead of to fresh memory. Run
  // records' old bytes are kept in undo_, which has room for the span.
  const std::uint64_t span = block.spanEnd - block.spanBegin;
  const std::uint64_t dataBytes = block.pieceBytes - block.runPieceBytes;
  return block.runPieceBytes <= span &&
         (block.pieceCount > kFewRuns || dataBytes >= kBlockSize / 4);
}

void RecordWriter::FindRuns(std::size_t index) {
  const Block& block = blocks_[index];
  const std::uint64_t base = std::uint64_t{index} * kBlockSize;
  std::uint64_t* const words = written_.data();
  const std::size_t firstWord = block.spanBegin / kWordBits;
  const std::size_t endWord = (block.spanEnd + kWordBits - 1) / kWordBits;
  std::fill(words + firstWord, words + endWord, std::uint64_t{0});
  for (std::size_t p = 0; p < patches_.size(); ++p) {
    const auto [begin, end] = PiecesOf(index, p);
    for (const Piece* piece = begin; piece != end; ++piece) {
      const InBlock part = PartIn(patches_[p].RecordAt(piece->at), base);
      SetBits(words, part.first, part.end);
    }
  }
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
  const std::uint64_t base = std::uint64_t{index} * kBlockSize;
  std::uint8_t* const bytes = buffer_.get();
  std::uint8_t* const old = undo_.get() + block.undoAt;
  // Once the records have changed the file, later blocks are written without
  // comparing: a block with many pieces is then read and written as one
  // span, each piece's old bytes kept as it is put in.
  std::uint8_t* const direct = block.pieceCount == 1 ? OnePieceData(index) : nullptr;
  if (write && changedAlready_ && direct != nullptr) {
    // One data record's piece is the whole span: it is written straight from
    // the patch, and the old bytes, read right before, then take its place
    // there, as PutRecordsKeepingOld would leave them.
    const std::size_t length = block.spanEnd - block.spanBegin;
    (void)ReadOld(file, base + block.spanBegin, bytes + block.spanBegin, length, originalLength);
    stepUndo_ = 0;
    block.keptBytes = 0;
    block.keptByPiece = true;
    block.written = true;
    try {
      file.WriteAt(base + block.spanBegin, direct, length);
    } catch (...) {
      std::memcpy(direct, bytes + block.spanBegin, length);
      throw;
    }
    std::memcpy(direct, bytes + block.spanBegin, length);
    return true;
  }
  if (write && changedAlready_ && KeepsByPiece(block)) {
    (void)ReadOld(file, base + block.spanBegin, bytes + block.spanBegin,
                  block.spanEnd - block.spanBegin, originalLength);
    stepUndo_ = PutRecordsKeepingOld(index, bytes, old);
    block.keptBytes = stepUndo_;
    block.keptByPiece = true;
    block.written = true;
    file.WriteAt(base + block.spanBegin, bytes + block.spanBegin, block.spanEnd - block.spanBegin);
    return true;
  }
  FindRuns(index);
  stepUndo_ = 0;
  for (const auto& [first, end] : runs_) stepUndo_ += end - first;
  const bool few = runs_.size() <= kFewRuns;
  // The bytes that records write, as the file holds them now, packed in
  // `old`: read there straight away, or taken from the span.
  bool whole = true;
  std::size_t at = 0;
  if (few) {
    for (const auto& [first, end] : runs_) {
      whole = ReadOld(file, base + first, old + at, end - first, originalLength) && whole;
      at += end - first;
    }
  } else {
    whole = ReadOld(file, base + block.spanBegin, bytes + block.spanBegin,
                    block.spanEnd - block.spanBegin, originalLength);
    for (const auto& [first, end] : runs_) {
      CopyShort(old + at, bytes + first, end - first);
      at += end - first;
    }
  }
  // A file shorter than it was said to be is lengthened by the records.
  if (!write && !whole) return true;
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
    file.WriteAt(base + block.spanBegin, bytes + block.spanBegin, block.spanEnd - block.spanBegin);
  }
  return true;
}

bool RecordWriter::Changes(ExistingFile& file, std::uint64_t length) {
  if (reach_ > length) return true;
  buffer_ = std::make_unique_for_overwrite<std::uint8_t[]>(kBlockSize);
  undo_ = NewLargeBytes(kBlockSize);
  written_.assign(kBlockSize / kWordBits, 0);
  for (std::size_t index = 0; index < blocks_.size(); ++index) {
    Block& block = blocks_[index];
    if (block.spanBegin >= block.spanEnd) continue;
    block.undoAt = 0;
    if (Step(file, length, index, false)) return true;
  }
  return false;
}

bool RecordWriter::WriteAllOrNothing(ExistingFile& file) {
  if (reach_ == 0) return false;
  const std::uint64_t length = file.Length();
  // The room for the file's final length is taken before the first byte is
  // written, so a full disk is found while the file is still as it was.
  file.Reserve(std::max(length, reach_));
  buffer_ = std::make_unique_for_overwrite<std::uint8_t[]>(kBlockSize);
  // Room for the old bytes of every span, taken by the system only as far as
  // the records' bytes fill it.
  undo_ = NewLargeBytes(undoSize_);
  written_.assign(kBlockSize / kWordBits, 0);
  bool wrote = false;
  std::size_t undoAt = 0;
  try {
    for (std::size_t index = 0; index < blocks_.size(); ++index) {
      Block& block = blocks_[index];
      if (block.spanBegin >= block.spanEnd) continue;
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
  return wrote || reach_ > length;
}

void RecordWriter::UndoByPiece(ExistingFile& file, std::size_t index, std::size_t length) noexcept {
  const Block& block = blocks_[index];
  const std::uint64_t base = std::uint64_t{index} * kBlockSize;
  std::uint8_t* const bytes = buffer_.get();
  const std::uint8_t* const old = undo_.get() + block.undoAt;
  // The pieces go back last first, so that where pieces overlap the byte
  // ends as the first piece found it.
  const auto eachPieceBackwards = [&](auto&& put) {
    std::size_t at = block.keptBytes;
    for (std::size_t p = patches_.size(); p-- > 0;) {
      PatchImage& patch = patches_[p];
      const auto [begin, end] = PiecesOf(index, p);
      for (const Piece* piece = end; piece-- != begin;) {
        const PatchRecord record = patch.RecordAt(piece->at);
        const InBlock part = PartIn(record, base);
        const std::size_t count = part.end - part.first;
        if (record.IsRun()) {
          at -= count;
          put(part.first, old + at, count);
        } else {
          const std::uint64_t skip = base + part.first - static_cast<std::uint64_t>(record.offset);
          put(part.first, patch.DataOf(record) + skip, count);
        }
      }
    }
  };
  // Bytes past the original end go with the length.
  const std::uint32_t limit = block.spanBegin + static_cast<std::uint32_t>(length);
  try {
    // The span as the file holds it now, with the records' places put back.
    if (length == 0) return;
    if (file.ReadAt(base + block.spanBegin, bytes + block.spanBegin, length) == length) {
      eachPieceBackwards([bytes](std::uint32_t first, const std::uint8_t* from, std::size_t count) {
        std::memcpy(bytes + first, from, count);
      });
      file.WriteAt(base + block.spanBegin, bytes + block.spanBegin, length);
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
    const std::uint64_t base = std::uint64_t{index} * kBlockSize;
    const std::uint8_t* const old = undo_.get() + block.undoAt;
    // Bytes past the original end go with the length.
    const auto clipped = [base, originalLength](std::uint32_t first, std::uint32_t end) {
      const std::uint64_t limit = originalLength > base ? originalLength - base : 0;
      return static_cast<std::size_t>(std::min<std::uint64_t>(end, limit) -
                                      std::min<std::uint64_t>(first, limit));
    };
    if (block.keptByPiece) {
      UndoByPiece(file, index, clipped(block.spanBegin, block.spanEnd));
      continue;
    }
    FindRuns(index);
    bool done = false;
    if (runs_.size() > kFewRuns) {
      // The span as the file holds it now, with the records' places put back.
      try {
        const std::size_t length = clipped(block.spanBegin, block.spanEnd);
        if (length == 0 ||
            file.ReadAt(base + block.spanBegin, bytes + block.spanBegin, length) == length) {
          std::size_t at = 0;
          for (const auto& [first, end] : runs_) {
            std::memcpy(bytes + first, old + at, end - first);
            at += end - first;
          }
          if (length > 0) file.WriteAt(base + block.spanBegin, bytes + block.spanBegin, length);
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
