#include "core/block_cache.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace vips {

namespace {

// The bits [from, to) of a 64-bit word, 0 <= from < to <= 64.
std::uint64_t BitsOf(std::size_t from, std::size_t to) {
  const std::uint64_t upTo = to == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << to) - 1;
  return upTo & ~((std::uint64_t{1} << from) - 1);
}

// Eight bits widened to the bytes of a 64-bit word: byte i is 0xFF where
// bit i is set.
constexpr std::array<std::uint64_t, 256> kWidened = [] {
  std::array<std::uint64_t, 256> table{};
  for (std::size_t bits = 0; bits < 256; ++bits) {
    for (std::size_t i = 0; i < 8; ++i) {
      if ((bits >> i & 1) != 0) table[bits] |= std::uint64_t{0xFF} << (8 * i);
    }
  }
  return table;
}();

// The region is aligned to, and on Linux asks to be backed by, 2 MiB pages:
// records spread over a whole file then cost a few page faults instead of
// thousands (a page is still only taken when a record first reaches it).
constexpr std::size_t kLargePage = std::size_t{2} << 20;

}  // namespace

void BlockCache::FreeRegion::operator()(std::uint8_t* region) const {
  ::operator delete[](region, std::align_val_t{kLargePage});
}

BlockCache::Region BlockCache::NewRegion() {
  constexpr std::size_t kBytes =
      (kRegionBlocks * kBlockSize + kLargePage - 1) / kLargePage * kLargePage;
  Region region(static_cast<std::uint8_t*>(::operator new[](kBytes, std::align_val_t{kLargePage})));
#ifdef __linux__
  (void)::madvise(region.get(), kBytes, MADV_HUGEPAGE);
#endif
  return region;
}

BlockCache::Block& BlockCache::Touch(std::size_t index) {
  if (blocks_.size() <= index) blocks_.resize(index + 1);
  Block& block = blocks_[index];
  if (block.bytes == nullptr) {
    // Only bytes that records write are ever read from here before Flush
    // fills the rest of the span: no need to clear it.
    if (index < kRegionBlocks) {
      if (!region_) region_ = NewRegion();
      block.bytes = region_.get() + index * kBlockSize;
    } else {
      ownStorage_.push_back(std::make_unique_for_overwrite<std::uint8_t[]>(kBlockSize));
      block.bytes = ownStorage_.back().get();
    }
  }
  return block;
}

template <typename Action>
void BlockCache::ForEachPiece(std::uint64_t position, std::size_t count, Action action) {
  std::size_t done = 0;
  while (done < count) {
    const std::uint64_t at = position + done;
    const auto index = static_cast<std::size_t>(at / kBlockSize);
    const auto inBlock = static_cast<std::size_t>(at % kBlockSize);
    const std::size_t length = std::min(count - done, kBlockSize - inBlock);
    Block& block = Touch(index);
    action(block, inBlock, done, length);
    const std::size_t pieceEnd = inBlock + length;
    block.pieces.push_back(
        {static_cast<std::uint16_t>(inBlock), static_cast<std::uint16_t>(pieceEnd - 1)});
    block.dirtyBegin = std::min(block.dirtyBegin, inBlock);
    block.dirtyEnd = std::max(block.dirtyEnd, pieceEnd);
    done += length;
  }
  if (count > 0) end_ = std::max(end_, position + count);
}

void BlockCache::Write(std::uint64_t position, const std::uint8_t* bytes, std::size_t count) {
  ForEachPiece(position, count,
               [bytes](Block& block, std::size_t inBlock, std::size_t done, std::size_t length) {
                 std::memcpy(block.bytes + inBlock, bytes + done, length);
               });
}

void BlockCache::Fill(std::uint64_t position, std::uint8_t value, std::size_t count) {
  ForEachPiece(position, count,
               [value](Block& block, std::size_t inBlock, std::size_t, std::size_t length) {
                 std::memset(block.bytes + inBlock, value, length);
               });
}

void BlockCache::MarkWritten(const Block& block, std::uint64_t* written) {
  const std::size_t firstWord = block.dirtyBegin / kWordBits;
  const std::size_t endWord = (block.dirtyEnd + kWordBits - 1) / kWordBits;
  std::fill(written + firstWord, written + endWord, std::uint64_t{0});
  for (const Piece& piece : block.pieces) {
    const std::size_t first = piece.first / kWordBits;
    const std::size_t last = piece.last / kWordBits;
    const std::size_t lastBit = piece.last % kWordBits + 1;
    if (first == last) {
      written[first] |= BitsOf(piece.first % kWordBits, lastBit);
    } else {
      written[first] |= BitsOf(piece.first % kWordBits, kWordBits);
      std::fill(written + first + 1, written + last, ~std::uint64_t{0});
      written[last] |= BitsOf(0, lastBit);
    }
  }
}

void BlockCache::KeepUnwritten(Block& block, const std::uint64_t* written,
                               const std::uint8_t* before) {
  // Eight bytes at a time: each bit of the written mask widened to a byte of
  // a 64-bit word selects the record's byte or the file's.
  const std::size_t end = block.dirtyEnd;
  std::uint8_t* bytes = block.bytes;
  const auto keepOne = [&](std::size_t at) {
    if ((written[at / kWordBits] >> (at % kWordBits) & 1) == 0) bytes[at] = before[at];
  };
  std::size_t at = block.dirtyBegin;
  for (; at < end && at % 8 != 0; ++at) keepOne(at);
  while (at + 8 <= end) {
    if (at % kWordBits == 0 && at + kWordBits <= end) {
      // A whole word of the mask: all written, or none.
      const std::uint64_t word = written[at / kWordBits];
      if (word == ~std::uint64_t{0} || word == 0) {
        if (word == 0) std::memcpy(bytes + at, before + at, kWordBits);
        at += kWordBits;
        continue;
      }
    }
    const auto bits = static_cast<std::size_t>(written[at / kWordBits] >> (at % kWordBits) & 0xFF);
    const std::uint64_t keep = kWidened[bits];
    std::uint64_t mine;
    std::uint64_t theirs;
    std::memcpy(&mine, bytes + at, 8);
    std::memcpy(&theirs, before + at, 8);
    mine = (mine & keep) | (theirs & ~keep);
    std::memcpy(bytes + at, &mine, 8);
    at += 8;
  }
  for (; at < end; ++at) keepOne(at);
}

bool BlockCache::WrittenDiffer(const Block& block, const std::uint64_t* written,
                               const std::uint8_t* fileBytes) {
  const std::size_t endWord = (block.dirtyEnd + kWordBits - 1) / kWordBits;
  for (std::size_t word = block.dirtyBegin / kWordBits; word < endWord; ++word) {
    const std::uint64_t bits = written[word];
    if (bits == 0) continue;
    const std::size_t at = word * kWordBits;
    if (bits == ~std::uint64_t{0}) {
      if (std::memcmp(block.bytes + at, fileBytes + at, kWordBits) != 0) return true;
      continue;
    }
    for (std::size_t part = 0; part < kWordBits / 8; ++part) {
      const std::uint64_t mask = kWidened[bits >> (part * 8) & 0xFF];
      if (mask == 0) continue;
      std::uint64_t mine;
      std::uint64_t theirs;
      std::memcpy(&mine, block.bytes + at + part * 8, 8);
      std::memcpy(&theirs, fileBytes + at + part * 8, 8);
      if (((mine ^ theirs) & mask) != 0) return true;
    }
  }
  return false;
}

bool BlockCache::Changes(ExistingFile& file, std::uint64_t length) {
  if (end_ > length) return true;
  if (!spare_) spare_ = std::make_unique_for_overwrite<std::uint8_t[]>(kBlockSize);
  std::uint8_t* const fileBytes = spare_.get();
  std::vector<std::uint64_t> written(kBlockSize / kWordBits);
  for (std::size_t index = 0; index < blocks_.size(); ++index) {
    const Block& block = blocks_[index];
    if (block.dirtyBegin >= block.dirtyEnd) continue;
    const std::uint64_t spanBegin =
        static_cast<std::uint64_t>(index) * kBlockSize + block.dirtyBegin;
    const std::size_t spanLength = block.dirtyEnd - block.dirtyBegin;
    // Past the file's end the records lengthen it; before it, a read that
    // ends early is an error, not the file's end.
    if (spanBegin + spanLength > length) return true;
    file.ReadAllAt(spanBegin, fileBytes + block.dirtyBegin, spanLength);
    MarkWritten(block, written.data());
    if (WrittenDiffer(block, written.data(), fileBytes)) return true;
  }
  return false;
}

bool BlockCache::Flush(ExistingFile& file, std::uint64_t originalLength) {
  // The span's bytes as the file holds them are read into `scratch` at their
  // places in the block. Once the block is written its own buffer is no longer
  // needed, so the two swap: the block then keeps what it overwrote, for an
  // undo, and the memory held stays one block above the cache's.
  if (!spare_) spare_ = std::make_unique_for_overwrite<std::uint8_t[]>(kBlockSize);
  std::uint8_t* scratch = spare_.get();
  std::vector<std::uint64_t> written(kBlockSize / kWordBits);
  std::size_t index = 0;
  bool writing = false;
  bool wrote = false;
  try {
    for (; index < blocks_.size(); ++index) {
      Block& block = blocks_[index];
      if (block.dirtyBegin >= block.dirtyEnd) continue;
      const std::uint64_t spanBegin =
          static_cast<std::uint64_t>(index) * kBlockSize + block.dirtyBegin;
      const std::size_t spanLength = block.dirtyEnd - block.dirtyBegin;
      std::uint8_t* before = scratch + block.dirtyBegin;
      // Past the original end the file holds the zeros of the room made for
      // the records; only the part before it is read.
      std::size_t read = 0;
      if (spanBegin < originalLength) {
        const auto wanted = static_cast<std::size_t>(
            std::min<std::uint64_t>(spanLength, originalLength - spanBegin));
        file.ReadAllAt(spanBegin, before, wanted);
        read = wanted;
      }
      std::memset(before + read, 0, spanLength - read);
      MarkWritten(block, written.data());
      // A span whose records change none of its bytes needs no write.
      if (!WrittenDiffer(block, written.data(), scratch)) continue;
      wrote = true;
      KeepUnwritten(block, written.data(), scratch);
      writing = true;
      file.WriteAt(spanBegin, block.bytes + block.dirtyBegin, spanLength);
      writing = false;
      std::swap(block.bytes, scratch);
      block.overwritten = true;
    }
  } catch (...) {
    // The failing write may have reached part of its span: it is undone too.
    if (writing) {
      std::swap(blocks_[index].bytes, scratch);
      blocks_[index].overwritten = true;
    }
    Undo(file, originalLength);
    throw;
  }
  return wrote;
}

void BlockCache::Undo(ExistingFile& file, std::uint64_t originalLength) noexcept {
  for (std::size_t index = 0; index < blocks_.size(); ++index) {
    Block& block = blocks_[index];
    if (!block.overwritten) continue;
    const std::uint64_t spanBegin =
        static_cast<std::uint64_t>(index) * kBlockSize + block.dirtyBegin;
    if (spanBegin >= originalLength) continue;
    const auto length = static_cast<std::size_t>(
        std::min<std::uint64_t>(block.dirtyEnd - block.dirtyBegin, originalLength - spanBegin));
    try {
      file.WriteAt(spanBegin, block.bytes + block.dirtyBegin, length);
    } catch (...) {
      // The first error is the one reported; the rest is done as far as it goes.
    }
  }
  try {
    file.SetLength(originalLength);
  } catch (...) {
  }
}

}  // namespace vips
