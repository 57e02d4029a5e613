#include "core/block_cache.hpp"

#include <algorithm>
#include <cstring>

namespace vips {

namespace {

// The bits [from, to) of a 64-bit word, 0 <= from < to <= 64.
std::uint64_t BitsOf(std::size_t from, std::size_t to) {
  const std::uint64_t upTo = to == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << to) - 1;
  return upTo & ~((std::uint64_t{1} << from) - 1);
}

}  // namespace

BlockCache::Block& BlockCache::Touch(std::size_t index) {
  if (blocks_.size() <= index) blocks_.resize(index + 1);
  Block& block = blocks_[index];
  if (!block.bytes) {
    block.bytes = std::make_unique<std::uint8_t[]>(kBlockSize);
    block.written = std::make_unique<std::uint64_t[]>(kBlockSize / kWordBits);
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
    for (std::size_t word = inBlock / kWordBits; word * kWordBits < pieceEnd; ++word) {
      const std::size_t from = std::max(inBlock, word * kWordBits) - word * kWordBits;
      const std::size_t to = std::min(pieceEnd, (word + 1) * kWordBits) - word * kWordBits;
      block.written[word] |= BitsOf(from, to);
    }
    block.dirtyBegin = std::min(block.dirtyBegin, inBlock);
    block.dirtyEnd = std::max(block.dirtyEnd, pieceEnd);
    done += length;
  }
  if (count > 0) end_ = std::max(end_, position + count);
}

void BlockCache::Write(std::uint64_t position, const std::uint8_t* bytes, std::size_t count) {
  ForEachPiece(position, count,
               [bytes](Block& block, std::size_t inBlock, std::size_t done, std::size_t length) {
                 std::memcpy(block.bytes.get() + inBlock, bytes + done, length);
               });
}

void BlockCache::Fill(std::uint64_t position, std::uint8_t value, std::size_t count) {
  ForEachPiece(position, count,
               [value](Block& block, std::size_t inBlock, std::size_t, std::size_t length) {
                 std::memset(block.bytes.get() + inBlock, value, length);
               });
}

void BlockCache::KeepUnwritten(Block& block) {
  const std::size_t begin = block.dirtyBegin;
  const std::size_t end = block.dirtyEnd;
  for (std::size_t word = begin / kWordBits; word * kWordBits < end; ++word) {
    const std::uint64_t written = block.written[word];
    if (written == ~std::uint64_t{0}) continue;
    const std::size_t first = std::max(begin, word * kWordBits);
    const std::size_t last = std::min(end, (word + 1) * kWordBits);
    for (std::size_t at = first; at < last; ++at) {
      if ((written >> (at % kWordBits) & 1) == 0) block.bytes[at] = block.before[at - begin];
    }
  }
}

void BlockCache::Flush(ExistingFile& file, std::uint64_t originalLength) {
  std::size_t index = 0;
  bool writing = false;
  try {
    for (; index < blocks_.size(); ++index) {
      Block& block = blocks_[index];
      if (block.dirtyBegin >= block.dirtyEnd) continue;
      const std::uint64_t start = static_cast<std::uint64_t>(index) * kBlockSize;
      const std::uint64_t spanBegin = start + block.dirtyBegin;
      const std::size_t spanLength = block.dirtyEnd - block.dirtyBegin;
      // Past the original end the file holds the zeros of the room made for
      // the records; only the part before it is read.
      block.before = std::make_unique<std::uint8_t[]>(spanLength);
      if (spanBegin < originalLength) {
        const auto wanted = static_cast<std::size_t>(
            std::min<std::uint64_t>(spanLength, originalLength - spanBegin));
        (void)file.ReadAt(spanBegin, block.before.get(), wanted);
      }
      KeepUnwritten(block);
      writing = true;
      file.WriteAt(spanBegin, block.bytes.get() + block.dirtyBegin, spanLength);
      writing = false;
    }
  } catch (...) {
    // The failing write may have reached part of its span: it is undone too.
    Undo(file, writing ? index + 1 : index, originalLength);
    throw;
  }
}

void BlockCache::Undo(ExistingFile& file, std::size_t count,
                      std::uint64_t originalLength) noexcept {
  for (std::size_t index = 0; index < count && index < blocks_.size(); ++index) {
    Block& block = blocks_[index];
    if (!block.before) continue;
    const std::uint64_t spanBegin =
        static_cast<std::uint64_t>(index) * kBlockSize + block.dirtyBegin;
    if (spanBegin >= originalLength) continue;
    const auto length = static_cast<std::size_t>(
        std::min<std::uint64_t>(block.dirtyEnd - block.dirtyBegin, originalLength - spanBegin));
    try {
      file.WriteAt(spanBegin, block.before.get(), length);
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
