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

// The byte mask of eight bits: byte k is 0xFF where bit k is set.
constexpr std::array<std::uint64_t, 256> kByteMasks = [] {
  std::array<std::uint64_t, 256> masks{};
  for (std::size_t bits = 0; bits < masks.size(); ++bits) {
    for (int bit = 0; bit < 8; ++bit) {
      if ((bits >> bit & 1) != 0) masks[bits] |= std::uint64_t{0xFF} << (bit * 8);
    }
  }
  return masks;
}();

// The region is aligned to, and on Linux asks to be backed by, 2 MiB pages:
// records spread over a whole file then cost a few page faults instead of
// thousands (a page is still only taken when a record first reaches it).
constexpr std::size_t kLargePage = std::size_t{2} << 20;

}  // namespace

void BlockCache::FreeAligned::operator()(std::uint8_t* storage) const {
  ::operator delete[](storage, std::align_val_t{kLargePage});
}

BlockCache::Storage BlockCache::NewStorage(std::size_t bytes) {
  bytes = (bytes + kLargePage - 1) / kLargePage * kLargePage;
  Storage storage(
      static_cast<std::uint8_t*>(::operator new[](bytes, std::align_val_t{kLargePage})));
#ifdef __linux__
  (void)::madvise(storage.get(), bytes, MADV_HUGEPAGE);
#endif
  return storage;
}

BlockCache::Block& BlockCache::Touch(std::size_t index) {
  if (blocks_.size() <= index) blocks_.resize(index + 1);
  Block& block = blocks_[index];
  if (block.bytes == nullptr) {
    std::uint8_t* storage;
    if (index < kRegionBlocks) {
      if (!region_) region_ = NewStorage(kRegionBlocks * kBlockStorage);
      storage = region_.get() + index * kBlockStorage;
    } else {
      ownStorage_.push_back(std::make_unique_for_overwrite<std::uint8_t[]>(kBlockStorage));
      storage = ownStorage_.back().get();
    }
    // Only the bytes that records write are ever read back.
    block.bytes = storage;
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
    block.pieces.push_back(static_cast<std::uint32_t>(inBlock << 16 | (length - 1)));
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

void BlockCache::MarkWritten(const Block& block) {
  const std::size_t beginWord = block.dirtyBegin / kWordBits;
  const std::size_t endWord = (block.dirtyEnd + kWordBits - 1) / kWordBits;
  std::fill(written_.begin() + beginWord, written_.begin() + endWord, 0);
  for (const std::uint32_t piece : block.pieces) {
    const std::size_t begin = piece >> 16;
    const std::size_t end = begin + (piece & 0xFFFF) + 1;
    for (std::size_t word = begin / kWordBits; word * kWordBits < end; ++word) {
      const std::size_t from = std::max(begin, word * kWordBits) - word * kWordBits;
      const std::size_t to = std::min(end, (word + 1) * kWordBits) - word * kWordBits;
      written_[word] |= BitsOf(from, to);
    }
  }
}

void BlockCache::CopyWhere(const Block& block, bool written, const std::uint8_t* from,
                           std::uint8_t* to) const {
  const std::size_t endWord = (block.dirtyEnd + kWordBits - 1) / kWordBits;
  for (std::size_t word = block.dirtyBegin / kWordBits; word < endWord; ++word) {
    // Bits of the first and last word outside the span may be taken: both
    // sides hold don't-care bytes there.
    const std::uint64_t take = written ? written_[word] : ~written_[word];
    if (take == 0) continue;
    const std::size_t first = word * kWordBits;
    if (take == ~std::uint64_t{0}) {
      std::memcpy(to + first, from + first, kWordBits);
      continue;
    }
    // Eight bytes at a time, each byte's bit spread to a byte mask.
    for (std::size_t part = 0; part < kWordBits / 8; ++part) {
      const std::uint64_t mask = kByteMasks[static_cast<std::uint8_t>(take >> (part * 8))];
      if (mask == 0) continue;
      std::uint64_t source;
      std::uint64_t target;
      std::memcpy(&source, from + first + part * 8, 8);
      std::memcpy(&target, to + first + part * 8, 8);
      target = (source & mask) | (target & ~mask);
      std::memcpy(to + first + part * 8, &target, 8);
    }
  }
}

void BlockCache::Flush(ExistingFile& file, std::uint64_t originalLength) {
  if (!spare_) spare_ = std::make_unique_for_overwrite<std::uint8_t[]>(kBlockSize);
  std::uint8_t* spare = spare_.get();
  try {
    for (std::size_t index = 0; index < blocks_.size(); ++index) {
      Block& block = blocks_[index];
      if (block.dirtyBegin >= block.dirtyEnd || block.flushed) continue;
      const std::uint64_t start = static_cast<std::uint64_t>(index) * kBlockSize;
      const std::uint64_t spanBegin = start + block.dirtyBegin;
      const std::size_t spanLength = block.dirtyEnd - block.dirtyBegin;
      // Read afresh right before the write, so that the bytes between records
      // keep what the file holds now. Past the original end the file holds
      // the zeros of the room made for the records.
      std::size_t read = 0;
      if (spanBegin < originalLength) {
        const auto wanted = static_cast<std::size_t>(
            std::min<std::uint64_t>(spanLength, originalLength - spanBegin));
        read = file.ReadAt(spanBegin, spare + block.dirtyBegin, wanted);
      }
      std::memset(spare + block.dirtyBegin + read, 0, spanLength - read);
      // The block's bytes become what the file is to hold; the span as read
      // stays with the block for an undo, and its old bytes are the next spare.
      MarkWritten(block);
      CopyWhere(block, false, spare, block.bytes);
      std::swap(spare, block.bytes);
      // From here on the span counts as written, also when the write fails
      // half-way.
      block.flushed = true;
      file.WriteAt(spanBegin, spare + block.dirtyBegin, spanLength);
    }
  } catch (...) {
    Undo(file, spare, originalLength);
    throw;
  }
}

void BlockCache::Undo(ExistingFile& file, std::uint8_t* spare,
                      std::uint64_t originalLength) noexcept {
  for (std::size_t index = 0; index < blocks_.size(); ++index) {
    Block& block = blocks_[index];
    if (!block.flushed) continue;
    const std::uint64_t spanBegin =
        static_cast<std::uint64_t>(index) * kBlockSize + block.dirtyBegin;
    if (spanBegin >= originalLength) continue;
    const auto length = static_cast<std::size_t>(
        std::min<std::uint64_t>(block.dirtyEnd - block.dirtyBegin, originalLength - spanBegin));
    try {
      // The file's bytes now, with the records' ones put back as they were;
      // the part past the original end goes with the length below.
      if (file.ReadAt(spanBegin, spare + block.dirtyBegin, length) != length) continue;
      MarkWritten(block);
      CopyWhere(block, true, block.bytes, spare);
      file.WriteAt(spanBegin, spare + block.dirtyBegin, length);
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
