#include "core/apply/record_writer.hpp"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>
#include <utility>
#include <vector>

#ifdef __linux__
#include <sys/mman.h>
#endif

#include "core/error.hpp"
#include "core/files/replacement_file.hpp"

namespace vips {
namespace {

// The bits [from, to) of a 64-bit word, 0 <= from < to <= 64.
std::uint64_t BitsOf(std::size_t from, std::size_t to) {
  const std::uint64_t upTo = to == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << to) - 1;
  return upTo & ~((std::uint64_t{1} << from) - 1);
}

// Parts of a block this close are journaled as one stretch: the bytes
// between cost less than an entry's head.
constexpr std::size_t kJoinGap = 4;

// The new file is read and written in pieces of this many blocks.
constexpr std::size_t kCopyBlocks = 16;

}  // namespace

RecordWriter::RecordWriter(std::size_t listBytes)
    : scratchStorage_(NewIoBuffer(2 * kBlockSize)),
      scratch_(scratchStorage_.get()),
      asRead_(scratch_ + kBlockSize),
      blocks_(kBlockCount),
      arenaBytes_(listBytes) {}
RecordWriter::~RecordWriter() = default;

void RecordWriter::Put(std::uint64_t position, const std::uint8_t* bytes, std::uint8_t value,
                       std::size_t count) {
  if (count > kMaxRecordBytes || position > kPatchableSize - count) {
    throw std::invalid_argument("a record of more than 65,535 bytes or past the patchable reach");
  }
  if (count == 0) return;
  if (!memory_) {
    // Taken at the first record, so that a writer that lays none costs
    // nothing (taken when made, it made the fuzzer's runs 3 times slower).
    // Whole large pages: the system backs a part of one with small pages.
    // Nothing needs clearing: only bytes records wrote are read from the
    // image, and only listed entries from the lists.
    const std::size_t bytes = (kArenaAt + arenaBytes_ + kLargePage - 1) / kLargePage * kLargePage;
    memory_ = NewAlignedBytes<kLargePage>(bytes);
#ifdef __linux__
    (void)::madvise(memory_.get(), bytes, MADV_HUGEPAGE);
#endif
  }
  for (std::size_t done = 0; done < count;) {
    const std::uint64_t at = position + done;
    const auto index = static_cast<std::size_t>(at / kBlockSize);
    const auto first = static_cast<std::size_t>(at % kBlockSize);
    const std::size_t length = std::min(count - done, kBlockSize - first);
    const std::uint8_t* const data = bytes == nullptr ? nullptr : bytes + done;
    done += length;
    Block& block = blocks_[index];
    if (!block.Used()) {
      block.bytes = memory_.get() + index * kBlockSize;
      block.written =
          reinterpret_cast<std::uint64_t*>(memory_.get() + kMasksAt + index * kMaskBytes);
    }
    block.spanBegin = std::min(block.spanBegin, first);
    block.spanEnd = std::max(block.spanEnd, first + length);
    block.listedBytes += length;
    std::uint8_t* to = Room(block, 4 + length);
    if (to == nullptr) {
      // The lists are full: every block's is laid, and they begin again.
      LayAll(false);
      arenaUsed_ = 0;
      to = Room(block, 4 + length);
      if (to == nullptr) {
        // Longer than all the room: laid at once.
        LayPart(block, first, length, data, value);
        continue;
      }
    }
    // An entry: first and count, low byte first, then the bytes.
    to[0] = static_cast<std::uint8_t>(first);
    to[1] = static_cast<std::uint8_t>(first >> 8);
    to[2] = static_cast<std::uint8_t>(length);
    to[3] = static_cast<std::uint8_t>(length >> 8);
    if (data == nullptr) {
      std::memset(to + 4, value, length);
    } else {
      std::memcpy(to + 4, data, length);
    }
    // The list's next line, fresh memory, is fetched while other blocks'
    // records come (measured: 12 % of the CPU time of an apply of 300,000
    // records). A compiler without the hint goes without it.
#if defined(__GNUC__) || defined(__clang__)
    __builtin_prefetch(block.at + 64, 1);
#endif
  }
  end_ = std::max(end_, position + count);
}

void RecordWriter::Write(std::uint64_t position, const std::uint8_t* bytes, std::size_t count) {
  Put(position, bytes, 0, count);
}

void RecordWriter::Fill(std::uint64_t position, std::uint8_t value, std::size_t count) {
  Put(position, nullptr, value, count);
}

std::uint8_t* RecordWriter::Room(Block& block, std::size_t size) {
  if (static_cast<std::size_t>(block.end - block.at) >= size) {
    std::uint8_t* const at = block.at;
    block.at += size;
    return at;
  }
  // A new segment at the end of the chain, cut from the arena in turn, so
  // that the lists lie densely whatever the blocks they serve.
  const std::size_t capacity = (std::max(kSegmentBytes, size) + 7) / 8 * 8;
  const std::size_t need = sizeof(Segment) + capacity;
  if (arenaBytes_ - arenaUsed_ < need) return nullptr;
  auto* const segment = reinterpret_cast<Segment*>(memory_.get() + kArenaAt + arenaUsed_);
  arenaUsed_ += need;
  *segment = Segment{nullptr, 0};
  std::uint8_t* const room = reinterpret_cast<std::uint8_t*>(segment + 1);
  if (block.last == nullptr) {
    block.first = segment;
  } else {
    block.last->used =
        static_cast<std::size_t>(block.at - reinterpret_cast<std::uint8_t*>(block.last + 1));
    block.last->next = segment;
  }
  block.last = segment;
  block.at = room + size;
  block.end = room + capacity;
  return room;
}

void RecordWriter::LayPart(Block& block, std::size_t first, std::size_t count,
                           const std::uint8_t* data, std::uint8_t value) {
  if (data == nullptr) {
    std::memset(block.bytes + first, value, count);
  } else {
    std::memcpy(block.bytes + first, data, count);
  }
  std::uint64_t* const words = block.written;
  const std::size_t last = first + count - 1;
  const std::size_t firstWord = first / kWordBits;
  const std::size_t lastWord = last / kWordBits;
  const std::size_t lastBit = last % kWordBits + 1;
  if (firstWord == lastWord) {
    words[firstWord] |= BitsOf(first % kWordBits, lastBit);
  } else {
    words[firstWord] |= BitsOf(first % kWordBits, kWordBits);
    std::fill(words + firstWord + 1, words + lastWord, ~std::uint64_t{0});
    words[lastWord] |= BitsOf(0, lastBit);
  }
}

template <typename Visit>
void RecordWriter::ForEachListed(const Block& block, Visit&& visit) {
  for (const Segment* segment = block.first; segment != nullptr; segment = segment->next) {
    auto* entry = reinterpret_cast<std::uint8_t*>(const_cast<Segment*>(segment) + 1);
    const std::uint8_t* const end = segment == block.last ? block.at : entry + segment->used;
    while (entry < end) {
      const std::size_t first = std::size_t{entry[0]} | std::size_t{entry[1]} << 8;
      const std::size_t count = std::size_t{entry[2]} | std::size_t{entry[3]} << 8;
      visit(first, count, entry + 4);
      entry += 4 + count;
    }
  }
}

void RecordWriter::CutAt(std::uint64_t length) {
  if (length < end_) throw Error("A record reaches past the end the patch gives the file");
  cut_ = length;
}

std::uint64_t RecordWriter::SpanBytes() const {
  std::uint64_t bytes = 0;
  for (const Block& block : blocks_) {
    if (block.Used()) bytes += block.spanEnd - block.spanBegin;
  }
  return bytes;
}

void RecordWriter::ForEachStretch(ExistingFile& file, std::uint64_t length,
                                  const StretchVisitor& visit) {
  LayAll(true);
  for (std::size_t index = 0; index < blocks_.size(); ++index) {
    Block& block = blocks_[index];
    const std::uint64_t base = std::uint64_t{index} * kBlockSize;
    if (!block.Used() || base + block.spanBegin >= length) continue;
    // A block's span at a time, so that its parts are copied out of the
    // caches: the span as read, and what it becomes once written.
    ReadSpan(file, index, length, asRead_);
    const std::uint8_t* const bytes = asRead_;
    const std::uint8_t* after = scratch_;
    if (block.laid) {
      (void)TakeUnwritten(block, asRead_);
      after = block.bytes;
    } else {
      std::memcpy(scratch_ + block.spanBegin, asRead_ + block.spanBegin,
                  block.spanEnd - block.spanBegin);
      ForEachListed(block, [this](std::size_t first, std::size_t count, const std::uint8_t* data) {
        std::memcpy(scratch_ + first, data, count);
      });
    }
    const auto limit = static_cast<std::size_t>(std::min<std::uint64_t>(kBlockSize, length - base));
    const auto put = [&](std::size_t begin, std::size_t end) {
      end = std::min(end, limit);
      if (begin < end) visit(base + begin, bytes + begin, after + begin, end - begin);
    };
    if (block.laid || 2 * block.listedBytes > block.spanEnd - block.spanBegin) {
      // Records that fill much of the span go as one stretch: an entry for
      // each would cost more than the bytes between them, and piled records
      // would journal the same bytes again and again. A laid block (a patch
      // past the lists' room) goes whole too: the journal stays within the
      // reach.
      put(block.spanBegin, block.spanEnd);
      continue;
    }
    // The parts in the list's order; one that overlaps the stretch before,
    // or nearly touches it, is joined to it.
    std::size_t begin = 0;
    std::size_t end = 0;
    ForEachListed(block, [&](std::size_t first, std::size_t count, const std::uint8_t*) {
      if (begin < end && first >= begin && first <= end + kJoinGap) {
        end = std::max(end, first + count);
        return;
      }
      put(begin, end);
      begin = first;
      end = first + count;
    });
    put(begin, end);
  }
  // The end a cut takes off, read a block's worth at a time.
  for (std::uint64_t at = FinalLength(length); at < length; at += kBlockSize) {
    const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(kBlockSize, length - at));
    file.ReadAllAt(at, asRead_, size);
    visit(at, asRead_, asRead_, size);
  }
}

void RecordWriter::ForEachGrowth(std::uint64_t length, const GrowthVisitor& visit) {
  LayAll(true);
  for (std::uint64_t base = length / kBlockSize * kBlockSize; base < end_; base += kBlockSize) {
    Block& block = blocks_[static_cast<std::size_t>(base / kBlockSize)];
    // The room made for the records holds zeros where no record writes.
    std::memset(asRead_, 0, kBlockSize);
    if (block.laid) {
      (void)TakeUnwritten(block, asRead_);
      std::memcpy(asRead_ + block.spanBegin, block.bytes + block.spanBegin,
                  block.spanEnd - block.spanBegin);
    } else if (block.Used()) {
      ForEachListed(block, [this](std::size_t first, std::size_t count, const std::uint8_t* data) {
        std::memcpy(asRead_ + first, data, count);
      });
    }
    const std::uint64_t from = std::max(base, length);
    const std::uint64_t to = std::min(base + kBlockSize, end_);
    visit(from, asRead_ + (from - base), static_cast<std::size_t>(to - from));
  }
}

void RecordWriter::Lay(Block& block) {
  if (!block.laid) {
    std::memset(block.written, 0, kMaskBytes);
    block.laid = true;
  }
  ForEachListed(block, [&block](std::size_t first, std::size_t count, const std::uint8_t* data) {
    LayPart(block, first, count, data, 0);
  });
  block.first = block.last = nullptr;
  block.at = block.end = nullptr;
  block.listedBytes = 0;
}

void RecordWriter::LayAll(bool onlyLaid) {
  for (Block& block : blocks_) {
    if (block.Used() && (block.laid || !onlyLaid)) Lay(block);
  }
}

bool RecordWriter::NewSpan(ExistingFile& file, std::size_t index, std::uint64_t length,
                           bool keepOld) {
  Block& block = blocks_[index];
  const std::size_t begin = block.spanBegin / kWordBits * kWordBits;
  const std::size_t end = (block.spanEnd + kWordBits - 1) / kWordBits * kWordBits;
  if (block.laid) {
    ReadSpan(file, index, length, scratch_);
    if (!TakeUnwritten(block, scratch_)) return false;
    std::swap(block.bytes, scratch_);
    return true;
  }
  // Only listed: the parts are put over a copy of the span as read, and for
  // the undo each part then takes the bytes it replaces, in its own place in
  // the list. That memory is in use already, where a copy of the span in the
  // image would be fresh memory that the system has to clear first
  // (measured: a third of the time of an apply of 300,000 records).
  ReadSpan(file, index, length, asRead_);
  std::memcpy(scratch_ + begin, asRead_ + begin, end - begin);
  ForEachListed(block, [this, keepOld](std::size_t first, std::size_t count, std::uint8_t* data) {
    std::memcpy(scratch_ + first, data, count);
    if (keepOld) std::memcpy(data, asRead_ + first, count);
  });
  return std::memcmp(scratch_ + block.spanBegin, asRead_ + block.spanBegin,
                     block.spanEnd - block.spanBegin) != 0;
}

bool RecordWriter::TakeUnwritten(Block& block, const std::uint8_t* fileBytes) {
  // The span is taken in whole words of the mask: bytes outside it are no
  // record's, so they come from the file as well.
  const std::uint64_t* const written = block.written;
  const std::size_t endWord = (block.spanEnd + kWordBits - 1) / kWordBits;
  bool differs = false;
  for (std::size_t word = block.spanBegin / kWordBits; word < endWord; ++word) {
    const std::uint64_t bits = written[word];
    std::uint8_t* const to = block.bytes + word * kWordBits;
    const std::uint8_t* const from = fileBytes + word * kWordBits;
    if (bits == 0) {
      std::memcpy(to, from, kWordBits);
    } else if (bits == ~std::uint64_t{0}) {
      differs = differs || std::memcmp(to, from, kWordBits) != 0;
    } else {
      for (std::size_t i = 0; i < kWordBits; ++i) {
        if ((bits >> i & 1) == 0) {
          to[i] = from[i];
        } else {
          differs = differs || to[i] != from[i];
        }
      }
    }
  }
  return differs;
}

void RecordWriter::ReadSpan(ExistingFile& file, std::size_t index, std::uint64_t length,
                            std::uint8_t* to) {
  const Block& block = blocks_[index];
  // Whole words of the mask, as TakeUnwritten takes them.
  const std::size_t begin = block.spanBegin / kWordBits * kWordBits;
  const std::size_t end = (block.spanEnd + kWordBits - 1) / kWordBits * kWordBits;
  const std::uint64_t position = std::uint64_t{index} * kBlockSize + begin;
  // Below `length` the file holds every byte: a read that ends early (the
  // file cut meanwhile, a failing file system) is an error, never zeros.
  std::size_t read = 0;
  if (position < length) {
    read = static_cast<std::size_t>(std::min<std::uint64_t>(end - begin, length - position));
    file.ReadAllAt(position, to + begin, read);
  }
  std::memset(to + begin + read, 0, end - begin - read);
}

bool RecordWriter::Changes(ExistingFile& file) {
  LayAll(true);
  const std::uint64_t length = file.Length();
  if (FinalLength(length) != length) return true;
  for (std::size_t index = 0; index < blocks_.size(); ++index) {
    Block& block = blocks_[index];
    if (!block.Used()) continue;
    const bool laid = block.laid;
    const bool differs = NewSpan(file, index, length, false);
    // The laid block's buffers go back to their places.
    if (laid && differs) std::swap(block.bytes, scratch_);
    if (differs) return true;
  }
  return false;
}

bool RecordWriter::WriteInPlace(ExistingFile& file) {
  if (Empty()) return false;
  LayAll(true);
  const std::uint64_t length = file.Length();
  bool wrote = false;
  try {
    file.Reserve(std::max(length, end_));
    for (std::size_t index = 0; index < blocks_.size(); ++index) {
      Block& block = blocks_[index];
      // Past the first length the file holds the zeros of the room made for
      // the records.
      if (!block.Used() || !NewSpan(file, index, length, true)) continue;
      // The block keeps what its span held, the scratch buffer holds the new
      // span; a failing write may reach part of it, so it is undone too.
      block.overwritten = true;
      file.WriteAt(std::uint64_t{index} * kBlockSize + block.spanBegin, scratch_ + block.spanBegin,
                   block.spanEnd - block.spanBegin);
      wrote = true;
    }
    // The cut comes last: once it is made nothing here can fail, and the
    // journal keeps the end it took.
    if (FinalLength(length) < length) file.SetLength(FinalLength(length));
  } catch (...) {
    undoFailed_ = !Undo(file, length);
    throw;
  }
  return wrote || FinalLength(length) != length;
}

bool RecordWriter::Undo(ExistingFile& file, std::uint64_t length) noexcept {
  bool whole = true;
  // Bytes past the first length are no concern: the length restores them.
  const auto putBack = [&file, length, &whole](std::uint64_t begin, const std::uint8_t* bytes,
                                               std::size_t count) {
    if (begin >= length) return;
    try {
      file.WriteAt(begin, bytes,
                   static_cast<std::size_t>(std::min<std::uint64_t>(count, length - begin)));
    } catch (...) {
      // The first error is the one reported; the rest is done as far as it goes.
      whole = false;
    }
  };
  for (std::size_t index = 0; index < blocks_.size(); ++index) {
    Block& block = blocks_[index];
    if (!block.overwritten) continue;
    const std::uint64_t base = std::uint64_t{index} * kBlockSize;
    if (block.laid) {
      putBack(base + block.spanBegin, block.bytes + block.spanBegin,
              block.spanEnd - block.spanBegin);
      continue;
    }
    // Every part holds what the span held before any part was put over it,
    // so overlapping parts put back the same bytes, in any order.
    ForEachListed(block, [&](std::size_t first, std::size_t count, const std::uint8_t* data) {
      putBack(base + first, data, count);
    });
  }
  try {
    if (file.Length() != length) file.SetLength(length);
  } catch (...) {
    whole = false;
  }
  return whole;
}

bool RecordWriter::WriteCopy(ExistingFile& original, ReplacementFile& output) {
  constexpr std::size_t kPiece = kCopyBlocks * kBlockSize;
  const IoBuffer buffer = NewIoBuffer(kPiece);
  LayAll(false);
  bool changed = false;
  // As many bytes as the original's length says: a read that ends early is an
  // error, never a shorter file.
  const std::uint64_t originalLength = original.Length();
  // A cut ends the new file early.
  const std::uint64_t finalLength = FinalLength(originalLength);
  changed = finalLength < originalLength;
  for (std::uint64_t base = 0;; base += kPiece) {
    const auto read = static_cast<std::size_t>(
        std::min<std::uint64_t>(kPiece, base < originalLength ? originalLength - base : 0));
    if (read > 0) original.ReadAllAt(base, buffer.get(), read);
    std::size_t length = read;
    // Whole words of the masks are read from here.
    if (read < kPiece) std::memset(buffer.get() + read, 0, kPiece - read);
    if (base + read < end_) {
      // The records reach past the original's end: zeros up to them.
      length = static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, end_ - base));
      changed = true;
    }
    length = static_cast<std::size_t>(std::min<std::uint64_t>(length, finalLength - base));
    const std::size_t firstBlock = static_cast<std::size_t>(base / kBlockSize);
    for (std::size_t k = 0; k < kCopyBlocks && firstBlock + k < blocks_.size(); ++k) {
      Block& block = blocks_[firstBlock + k];
      if (!block.Used()) continue;
      std::uint8_t* const fileBytes = buffer.get() + k * kBlockSize;
      changed = TakeUnwritten(block, fileBytes) || changed;
      std::memcpy(fileBytes + block.spanBegin, block.bytes + block.spanBegin,
                  block.spanEnd - block.spanBegin);
    }
    output.Append(buffer.get(), length);
    if (length < kPiece) return changed;
  }
}

}  // namespace vips
