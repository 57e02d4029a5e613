#include "core/block_cache.hpp"

#include <algorithm>
#include <cstring>

namespace vips {

BlockCache::Block& BlockCache::Touch(std::size_t index) {
  if (blocks_.size() <= index) blocks_.resize(index + 1);
  Block& block = blocks_[index];
  if (!block.bytes) {
    block.bytes = std::make_unique<std::uint8_t[]>(kBlockSize);
    const std::uint64_t start = static_cast<std::uint64_t>(index) * kBlockSize;
    const std::size_t read = file_.ReadAt(start, block.bytes.get(), kBlockSize);
    std::memset(block.bytes.get() + read, 0, kBlockSize - read);
    block.loaded = read;
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
    if (inBlock + length > block.loaded) changed_ = true;
    action(block, inBlock, done, length);
    block.dirtyBegin = std::min(block.dirtyBegin, inBlock);
    block.dirtyEnd = std::max(block.dirtyEnd, inBlock + length);
    done += length;
  }
}

void BlockCache::Write(std::uint64_t position, const std::uint8_t* bytes, std::size_t count) {
  ForEachPiece(
      position, count,
      [this, bytes](Block& block, std::size_t inBlock, std::size_t done, std::size_t length) {
        std::uint8_t* target = block.bytes.get() + inBlock;
        if (!changed_ && std::memcmp(target, bytes + done, length) != 0) changed_ = true;
        std::memcpy(target, bytes + done, length);
      });
}

void BlockCache::Fill(std::uint64_t position, std::uint8_t value, std::size_t count) {
  ForEachPiece(position, count,
               [this, value](Block& block, std::size_t inBlock, std::size_t, std::size_t length) {
                 std::uint8_t* target = block.bytes.get() + inBlock;
                 if (!changed_) {
                   changed_ = std::any_of(target, target + length,
                                          [value](std::uint8_t byte) { return byte != value; });
                 }
                 std::memset(target, value, length);
               });
}

void BlockCache::Flush() {
  for (std::size_t index = 0; index < blocks_.size(); ++index) {
    Block& block = blocks_[index];
    if (block.dirtyBegin >= block.dirtyEnd) continue;
    const std::uint64_t start = static_cast<std::uint64_t>(index) * kBlockSize;
    file_.WriteAt(start + block.dirtyBegin, block.bytes.get() + block.dirtyBegin,
                  block.dirtyEnd - block.dirtyBegin);
    block.dirtyBegin = kBlockSize;
    block.dirtyEnd = 0;
  }
}

}  // namespace vips
