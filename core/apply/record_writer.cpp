#include "core/apply/record_writer.hpp"

#include <algorithm>
#include <bit>
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

// Sets the bits [first, first + count) of `words`; count > 0.
void MarkBits(std::uint64_t* words, std::size_t first, std::size_t count) {
  const std::size_t last = first + count - 1;
  const std::size_t firstWord = first / 64;
  const std::size_t lastWord = last / 64;
  const std::size_t lastBit = last % 64 + 1;
  if (firstWord == lastWord) {
    words[firstWord] |= BitsOf(first % 64, lastBit);
  } else {
    words[firstWord] |= BitsOf(first % 64, 64);
    std::fill(words + firstWord + 1, words + lastWord, ~std::uint64_t{0});
    words[lastWord] |= BitsOf(0, lastBit);
  }
}

// Calls `visit(begin, end)` for each run of set bits of `words` in [from,
// to), ascending, runs closer than `gap` clear bits joined: a word at a time.
template <typename Visit>
void ForEachRun(const std::uint64_t* words, std::size_t from, std::size_t to, std::size_t gap,
                Visit&& visit) {
  bool pending = false;
  std::size_t begin = 0;
  std::size_t end = 0;
  for (std::size_t word = from / 64; word * 64 < to; ++word) {
    std::uint64_t bits = words[word];
    if (word == from / 64) bits &= ~std::uint64_t{0} << (from % 64);
    if ((word + 1) * 64 > to) bits &= BitsOf(0, to - word * 64);
    while (bits != 0) {
      const int first = std::countr_zero(bits);
      const int ones = std::countr_one(bits >> first);
      const std::size_t runBegin = word * 64 + static_cast<std::size_t>(first);
      if (pending && runBegin - end <= gap) {
        end = runBegin + static_cast<std::size_t>(ones);
      } else {
        if (pending) visit(begin, end);
        begin = runBegin;
        end = runBegin + static_cast<std::size_t>(ones);
        pending = true;
      }
      bits = first + ones == 64 ? 0 : bits & (~std::uint64_t{0} << (first + ones));
    }
  }
  if (pending) visit(begin, end);
}

// Stretches this close are journaled as one: the bytes between cost less
// than an entry's head and its check.
constexpr std::size_t kJoinGap = 8;

// A durable in-place write sends its pages on to the disk in pieces of at
// least this many bytes as it goes.
constexpr std::uint64_t kWriteBackBytes = std::uint64_t{1} << 20;

// The new file is read and written in pieces of this many blocks.
constexpr std::size_t kCopyBlocks = 16;

// A list entry: its source, its first byte and count (low byte first), then
// the bytes copied or the run's value.
constexpr std::size_t kEntryHead = 5;

}  // namespace

RecordWriter::RecordWriter(std::size_t listBytes)
    : scratchStorage_(NewIoBuffer(kBlockSize + kMaskBytes)),
      asRead_(scratchStorage_.get()),
      cover_(reinterpret_cast<std::uint64_t*>(asRead_ + kBlockSize)),
      blocks_(kBlockCount),
      arenaBytes_(listBytes) {}
RecordWriter::~RecordWriter() = default;

void RecordWriter::Put(std::uint64_t position, const std::uint8_t* bytes, std::uint8_t value,
                       std::size_t count, Source source) {
  if (count > kMaxRecordBytes || position > kPatchableSize - count) {
    throw std::invalid_argument("a record of more than 65,535 bytes or past the patchable reach");
  }
  if (count == 0) return;
  if (!memory_) {
    // Taken at the first record, so that a writer that lays none costs
    // nothing (taken when made, it made the fuzzer's runs 3 times slower).
    // Whole large pages: the system backs a part of one with small pages.
    // Nothing needs clearing: only bytes records wrote or the file's are read
    // from the image, and only listed entries from the lists.
    const std::size_t size = (kArenaAt + arenaBytes_ + kLargePage - 1) / kLargePage * kLargePage;
    memory_ = NewAlignedBytes<kLargePage>(size);
#ifdef __linux__
    (void)::madvise(memory_.get(), size, MADV_HUGEPAGE);
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
    for (std::size_t page = first / kPageSize; page <= (first + length - 1) / kPageSize; ++page) {
      block.touchedPages |= static_cast<std::uint16_t>(1u << page);
    }
    const std::size_t payload = source == Source::Copied ? length : 1;
    std::uint8_t* to = Room(block, kEntryHead + payload);
    if (to == nullptr) {
      // The lists are full: every block's is laid, and they begin again.
      LayAll(false);
      arenaUsed_ = 0;
      to = Room(block, kEntryHead + payload);
      if (to == nullptr) {
        // Longer than all the room: laid at once (its block is laid by now).
        LayPart(block.bytes, block.written, first, length, data, value);
        continue;
      }
    }
    to[0] = static_cast<std::uint8_t>(source);
    to[1] = static_cast<std::uint8_t>(first);
    to[2] = static_cast<std::uint8_t>(first >> 8);
    to[3] = static_cast<std::uint8_t>(length);
    to[4] = static_cast<std::uint8_t>(length >> 8);
    if (source == Source::Copied) {
      std::memcpy(to + kEntryHead, data, length);
    } else {
      to[kEntryHead] = value;
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
  Put(position, bytes, 0, count, Source::Copied);
}

void RecordWriter::Fill(std::uint64_t position, std::uint8_t value, std::size_t count) {
  Put(position, nullptr, value, count, Source::Run);
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

void RecordWriter::LayPart(std::uint8_t* to, std::uint64_t* mask, std::size_t first,
                           std::size_t count, const std::uint8_t* data, std::uint8_t value) {
  if (data == nullptr) {
    std::memset(to + first, value, count);
  } else {
    std::memcpy(to + first, data, count);
  }
  if (mask != nullptr) MarkBits(mask, first, count);
}

template <typename Visit>
void RecordWriter::ForEachListed(const Block& block, Visit&& visit) {
  for (const Segment* segment = block.first; segment != nullptr; segment = segment->next) {
    const auto* entry = reinterpret_cast<const std::uint8_t*>(segment + 1);
    const std::uint8_t* const end = segment == block.last ? block.at : entry + segment->used;
    while (entry < end) {
      const auto source = static_cast<Source>(entry[0]);
      const std::size_t first = std::size_t{entry[1]} | std::size_t{entry[2]} << 8;
      const std::size_t count = std::size_t{entry[3]} | std::size_t{entry[4]} << 8;
      const std::uint8_t* const payload = entry + kEntryHead;
      if (source == Source::Copied) {
        visit(first, count, payload, std::uint8_t{0});
        entry = payload + count;
      } else {
        visit(first, count, static_cast<const std::uint8_t*>(nullptr), payload[0]);
        entry = payload + 1;
      }
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
    if (!block.Used()) continue;
    bytes += (block.spanEnd + kPageSize - 1) / kPageSize * kPageSize -
             block.spanBegin / kPageSize * kPageSize;
  }
  return bytes;
}

void RecordWriter::Lay(Block& block) {
  if (!block.laid) {
    std::memset(block.written, 0, kMaskBytes);
    block.laid = true;
  }
  ForEachListed(block, [&block](std::size_t first, std::size_t count, const std::uint8_t* data,
                                std::uint8_t value) {
    LayPart(block.bytes, block.written, first, count, data, value);
  });
  block.first = block.last = nullptr;
  block.at = block.end = nullptr;
}

void RecordWriter::LayAll(bool onlyLaid) {
  for (Block& block : blocks_) {
    if (block.Used() && (block.laid || !onlyLaid)) Lay(block);
  }
}

void RecordWriter::ReadTouchedPages(ExistingFile& file, std::size_t index, std::uint64_t length) {
  Block& block = blocks_[index];
  const std::uint64_t base = std::uint64_t{index} * kBlockSize;
  // One read from the first page to the last: the pages between cost less
  // than a system call each (measured: an apply of 10,000 records spent more
  // time in twice as many reads).
  const std::uint16_t pages = block.touchedPages;
  const std::size_t begin = static_cast<std::size_t>(std::countr_zero(pages)) * kPageSize;
  const std::size_t end =
      (kPagesPerBlock - static_cast<std::size_t>(std::countl_zero(pages))) * kPageSize;
  // Below `length` the file holds every byte, so a read that ends early (the
  // file cut meanwhile, a failing file system) is an error, never zeros.
  std::size_t read = 0;
  if (base + begin < length) {
    read = static_cast<std::size_t>(std::min<std::uint64_t>(end - begin, length - base - begin));
    file.ReadAllAt(base + begin, asRead_ + begin, read);
  }
  std::memset(asRead_ + begin + read, 0, end - begin - read);
  if (block.laid) {
    TakeUnwritten(block, asRead_, begin, end);
  } else {
    std::memcpy(block.bytes + begin, asRead_ + begin, end - begin);
  }
}

void RecordWriter::TakeUnwritten(Block& block, const std::uint8_t* fileBytes, std::size_t begin,
                                 std::size_t end) {
  const std::uint64_t* const written = block.written;
  for (std::size_t word = begin / kWordBits; word < (end + kWordBits - 1) / kWordBits; ++word) {
    const std::uint64_t bits = written[word];
    std::uint8_t* const to = block.bytes + word * kWordBits;
    const std::uint8_t* const from = fileBytes + word * kWordBits;
    if (bits == 0) {
      std::memcpy(to, from, kWordBits);
    } else if (bits != ~std::uint64_t{0}) {
      for (std::size_t i = 0; i < kWordBits; ++i) {
        if ((bits >> i & 1) == 0) to[i] = from[i];
      }
    }
  }
}

bool RecordWriter::Compose(ExistingFile& file, const StretchVisitor& visit) {
  LayAll(true);
  const std::uint64_t length = file.Length();
  composedLength_.reset();
  composedChanges_ = false;
  for (std::size_t index = 0; index < blocks_.size(); ++index) {
    Block& block = blocks_[index];
    if (!block.Used()) continue;
    const std::uint64_t base = std::uint64_t{index} * kBlockSize;
    // The file's bytes in asRead_, and in the block's image the new ones,
    // kept for the write: the file is read once. A block only listed gets
    // its mask made on the way.
    ReadTouchedPages(file, index, length);
    std::uint8_t* const after = block.bytes;
    const std::uint64_t* mask = block.written;
    if (!block.laid) {
      std::fill(cover_ + block.spanBegin / kWordBits,
                cover_ + (block.spanEnd + kWordBits - 1) / kWordBits, 0);
      ForEachListed(block, [this, after](std::size_t first, std::size_t count,
                                         const std::uint8_t* data, std::uint8_t value) {
        LayPart(after, cover_, first, count, data, value);
      });
      mask = cover_;
    }
    // The stretches the records cover, joined across small gaps: the pages
    // where one changes, and below `length` the journal's entries.
    block.changedPages = 0;
    const auto limit = static_cast<std::size_t>(
        std::min<std::uint64_t>(kBlockSize, length > base ? length - base : 0));
    ForEachRun(
        mask, block.spanBegin, block.spanEnd, kJoinGap, [&](std::size_t begin, std::size_t end) {
          for (std::size_t page = begin / kPageSize; page * kPageSize < end; ++page) {
            const std::size_t from = std::max(begin, page * kPageSize);
            const std::size_t to = std::min(end, (page + 1) * kPageSize);
            if ((block.changedPages >> page & 1) == 0 &&
                std::memcmp(after + from, asRead_ + from, to - from) != 0) {
              block.changedPages |= static_cast<std::uint16_t>(1u << page);
            }
          }
          if (visit && begin < limit) {
            visit(base + begin, asRead_ + begin, after + begin, std::min(end, limit) - begin);
          }
        });
    composedChanges_ = composedChanges_ || block.changedPages != 0;
  }
  // The end a cut takes off, read a block's worth at a time.
  if (visit) {
    for (std::uint64_t at = FinalLength(length); at < length; at += kBlockSize) {
      const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(kBlockSize, length - at));
      file.ReadAllAt(at, asRead_, size);
      visit(at, asRead_, asRead_, size);
    }
  }
  composedLength_ = length;
  return composedChanges_ || FinalLength(length) != length;
}

void RecordWriter::ForEachGrowth(std::uint64_t length, const GrowthVisitor& visit) {
  LayAll(true);
  for (std::uint64_t base = length / kBlockSize * kBlockSize; base < end_; base += kBlockSize) {
    Block& block = blocks_[static_cast<std::size_t>(base / kBlockSize)];
    // The room made for the records holds zeros where no record writes.
    std::memset(asRead_, 0, kBlockSize);
    if (block.laid) {
      TakeUnwritten(block, asRead_, block.spanBegin, block.spanEnd);
      std::memcpy(asRead_ + block.spanBegin, block.bytes + block.spanBegin,
                  block.spanEnd - block.spanBegin);
    } else if (block.Used()) {
      ForEachListed(block, [this](std::size_t first, std::size_t count, const std::uint8_t* data,
                                  std::uint8_t value) {
        LayPart(asRead_, nullptr, first, count, data, value);
      });
    }
    const std::uint64_t from = std::max(base, length);
    const std::uint64_t to = std::min(base + kBlockSize, end_);
    visit(from, asRead_ + (from - base), static_cast<std::size_t>(to - from));
  }
}

bool RecordWriter::Changes(ExistingFile& file) {
  return Compose(file, {});
}

bool RecordWriter::WriteComposed(ExistingFile& file, bool startWriteBack) {
  if (Empty()) return false;
  if (!composedLength_ || *composedLength_ != file.Length()) (void)Compose(file, {});
  const std::uint64_t length = *composedLength_;
  const std::uint64_t finalLength = FinalLength(length);
  file.Reserve(std::max(length, end_));
  // Pages that follow one another in the file, as in the image, go in one
  // write; so do pages of a block one unchanged page apart (the page between
  // was read and holds what the file holds, and rewriting it costs less than
  // a system call).
  std::uint64_t runBegin = 0;
  std::uint64_t runEnd = 0;
  // Sent on to the disk up to here (with `startWriteBack`).
  std::uint64_t sentUpTo = 0;
  const auto writeRun = [&] {
    const std::uint64_t end = std::min(runEnd, finalLength);
    for (std::uint64_t at = runBegin; at < end;) {
      // Sent on in pieces, so that the disk starts while the rest is written.
      const std::uint64_t to = startWriteBack ? std::min(end, at + kWriteBackBytes) : end;
      file.WriteAt(at, memory_.get() + at, static_cast<std::size_t>(to - at));
      at = to;
      if (startWriteBack && at - sentUpTo >= kWriteBackBytes) {
        file.StartWriteBack(sentUpTo, at - sentUpTo);
        sentUpTo = at;
      }
    }
  };
  for (std::size_t index = 0; index < blocks_.size(); ++index) {
    const Block& block = blocks_[index];
    if (!block.Used() || block.changedPages == 0) continue;
    for (std::size_t page = 0; page < kPagesPerBlock; ++page) {
      if ((block.changedPages >> page & 1) == 0) continue;
      const std::uint64_t at = std::uint64_t{index} * kBlockSize + page * kPageSize;
      // The page between is in the image only within one block's pages read.
      const bool joins =
          runEnd != 0 && (at == runEnd || (at == runEnd + kPageSize &&
                                           (runEnd - 1) / kBlockSize == at / kBlockSize));
      if (!joins) {
        writeRun();
        runBegin = at;
      }
      runEnd = at + kPageSize;
    }
  }
  writeRun();
  // The cut comes last: once it is made nothing here can fail, and the
  // journal keeps the end it took.
  if (finalLength < length) file.SetLength(finalLength);
  return composedChanges_ || finalLength != length;
}

bool RecordWriter::WriteCopy(ExistingFile& original, ReplacementFile& output) {
  constexpr std::size_t kPiece = kCopyBlocks * kBlockSize;
  const IoBuffer buffer = NewIoBuffer(kPiece);
  LayAll(false);
  // As many bytes as the original's length says: a read that ends early is an
  // error, never a shorter file.
  const std::uint64_t originalLength = original.Length();
  // A cut ends the new file early.
  const std::uint64_t finalLength = FinalLength(originalLength);
  bool changed = finalLength < originalLength;
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
      const std::size_t begin = block.spanBegin;
      const std::size_t size = block.spanEnd - begin;
      TakeUnwritten(block, fileBytes, begin, block.spanEnd);
      changed = changed || std::memcmp(fileBytes + begin, block.bytes + begin, size) != 0;
      std::memcpy(fileBytes + begin, block.bytes + begin, size);
    }
    output.Append(buffer.get(), length);
    if (length < kPiece) return changed;
  }
}

}  // namespace vips
