#include "core/record_writer.hpp"

#include <algorithm>
#include <array>
#include <cstring>

#include "core/replacement_file.hpp"

namespace vips {
namespace {

// The bits [from, to) of a 64-bit word, 0 <= from < to <= 64.
std::uint64_t BitsOf(std::size_t from, std::size_t to) {
  const std::uint64_t upTo = to == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << to) - 1;
  return upTo & ~((std::uint64_t{1} << from) - 1);
}

// Eight bits widened to the bytes of a 64-bit word: byte i is 0xFF where
// bit i is set, so that eight bytes are chosen at once.
constexpr std::array<std::uint64_t, 256> kWidened = [] {
  std::array<std::uint64_t, 256> table{};
  for (std::size_t bits = 0; bits < 256; ++bits) {
    for (std::size_t i = 0; i < 8; ++i) {
      if ((bits >> i & 1) != 0) table[bits] |= std::uint64_t{0xFF} << (8 * i);
    }
  }
  return table;
}();

// The new file is read and written in pieces of this many blocks.
constexpr std::size_t kCopyBlocks = 16;

}  // namespace

RecordWriter::RecordWriter() : blocks_(kBlockCount) {}
RecordWriter::~RecordWriter() = default;

template <typename Put>
void RecordWriter::ForEachPart(std::uint64_t position, std::size_t count, Put&& put) {
  if (count == 0) return;
  if (!image_) {
    // Only bytes that records write are read from the image before a span
    // is filled from the file: it needs no clearing, and the system backs
    // only the pages that records reach.
    image_ = std::make_unique_for_overwrite<std::uint8_t[]>(kBlockCount * kBlockSize);
  }
  for (std::size_t done = 0; done < count;) {
    const std::uint64_t at = position + done;
    const auto index = static_cast<std::size_t>(at / kBlockSize);
    const auto first = static_cast<std::size_t>(at % kBlockSize);
    const std::size_t length = std::min(count - done, kBlockSize - first);
    Block& block = blocks_[index];
    if (!block.written) {
      block.bytes = image_.get() + index * kBlockSize;
      block.written = std::make_unique<std::uint64_t[]>(kBlockSize / kWordBits);
    }
    const std::size_t end = first + length;
    const std::size_t firstWord = first / kWordBits;
    const std::size_t lastWord = (end - 1) / kWordBits;
    const std::size_t lastBit = (end - 1) % kWordBits + 1;
    std::uint64_t* const words = block.written.get();
    if (firstWord == lastWord) {
      words[firstWord] |= BitsOf(first % kWordBits, lastBit);
    } else {
      words[firstWord] |= BitsOf(first % kWordBits, kWordBits);
      std::fill(words + firstWord + 1, words + lastWord, ~std::uint64_t{0});
      words[lastWord] |= BitsOf(0, lastBit);
    }
    block.spanBegin = std::min(block.spanBegin, first);
    block.spanEnd = std::max(block.spanEnd, end);
    put(block, first, done, length);
    done += length;
  }
  end_ = std::max(end_, position + count);
}

void RecordWriter::Write(std::uint64_t position, const std::uint8_t* bytes, std::size_t count) {
  ForEachPart(position, count,
              [bytes](Block& block, std::size_t first, std::size_t done, std::size_t length) {
                std::memcpy(block.bytes + first, bytes + done, length);
              });
}

void RecordWriter::Fill(std::uint64_t position, std::uint8_t value, std::size_t count) {
  ForEachPart(position, count,
              [value](Block& block, std::size_t first, std::size_t, std::size_t length) {
                std::memset(block.bytes + first, value, length);
              });
}

bool RecordWriter::WrittenDiffer(const Block& block, const std::uint8_t* fileBytes) {
  const std::uint64_t* const written = block.written.get();
  const std::size_t endWord = (block.spanEnd + kWordBits - 1) / kWordBits;
  for (std::size_t word = block.spanBegin / kWordBits; word < endWord; ++word) {
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

void RecordWriter::KeepUnwritten(Block& block, const std::uint8_t* fileBytes) {
  // Word by word of the mask: all written or none is one move or none, else
  // eight bytes at a time chosen by the widened bits. The span is taken in
  // whole words: bytes outside it are no record's, so they come from the
  // file as well.
  const std::uint64_t* const written = block.written.get();
  const std::size_t endWord = (block.spanEnd + kWordBits - 1) / kWordBits;
  for (std::size_t word = block.spanBegin / kWordBits; word < endWord; ++word) {
    const std::uint64_t bits = written[word];
    const std::size_t at = word * kWordBits;
    if (bits == ~std::uint64_t{0}) continue;
    if (bits == 0) {
      std::memcpy(block.bytes + at, fileBytes + at, kWordBits);
      continue;
    }
    for (std::size_t part = 0; part < kWordBits / 8; ++part) {
      const std::uint64_t keep = kWidened[bits >> (part * 8) & 0xFF];
      std::uint64_t mine;
      std::uint64_t theirs;
      std::memcpy(&mine, block.bytes + at + part * 8, 8);
      std::memcpy(&theirs, fileBytes + at + part * 8, 8);
      mine = (mine & keep) | (theirs & ~keep);
      std::memcpy(block.bytes + at + part * 8, &mine, 8);
    }
  }
}

void RecordWriter::NeedScratch() {
  if (scratch_ != nullptr) return;
  scratchStorage_ = std::make_unique_for_overwrite<std::uint8_t[]>(kBlockSize);
  scratch_ = scratchStorage_.get();
}

void RecordWriter::ReadSpan(ExistingFile& file, std::size_t index, std::uint64_t length) {
  const Block& block = blocks_[index];
  // Whole words of the mask, as KeepUnwritten takes them.
  const std::size_t begin = block.spanBegin / kWordBits * kWordBits;
  const std::size_t end =
      std::min(kBlockSize, (block.spanEnd + kWordBits - 1) / kWordBits * kWordBits);
  const std::uint64_t position = std::uint64_t{index} * kBlockSize + begin;
  // Below `length` the file holds every byte: a read that ends early (the
  // file cut meanwhile, a failing file system) is an error, never zeros.
  std::size_t read = 0;
  if (position < length) {
    read = static_cast<std::size_t>(std::min<std::uint64_t>(end - begin, length - position));
    file.ReadAllAt(position, scratch_ + begin, read);
  }
  std::memset(scratch_ + begin + read, 0, end - begin - read);
}

bool RecordWriter::Changes(ExistingFile& file) {
  const std::uint64_t length = file.Length();
  if (end_ > length) return true;
  NeedScratch();
  for (std::size_t index = 0; index < blocks_.size(); ++index) {
    if (!blocks_[index].written) continue;
    ReadSpan(file, index, length);
    if (WrittenDiffer(blocks_[index], scratch_)) return true;
  }
  return false;
}

bool RecordWriter::WriteInPlace(ExistingFile& file) {
  if (Empty()) return false;
  const std::uint64_t length = file.Length();
  // Memory first: once the length is reserved, every failure puts it back.
  NeedScratch();
  bool wrote = false;
  std::size_t index = 0;
  bool writing = false;
  try {
    file.Reserve(std::max(length, end_));
    for (; index < blocks_.size(); ++index) {
      Block& block = blocks_[index];
      if (!block.written) continue;
      // Past the first length the file holds the zeros of the room made for
      // the records.
      ReadSpan(file, index, length);
      if (!WrittenDiffer(block, scratch_)) continue;
      KeepUnwritten(block, scratch_);
      const std::size_t begin = block.spanBegin;
      writing = true;
      file.WriteAt(std::uint64_t{index} * kBlockSize + begin, block.bytes + begin,
                   block.spanEnd - begin);
      writing = false;
      wrote = true;
      std::swap(block.bytes, scratch_);
      block.overwritten = true;
    }
  } catch (...) {
    if (writing) {
      std::swap(blocks_[index].bytes, scratch_);
      blocks_[index].overwritten = true;
    }
    undoFailed_ = !Undo(file, length);
    throw;
  }
  return wrote || end_ > length;
}

bool RecordWriter::Undo(ExistingFile& file, std::uint64_t length) noexcept {
  bool whole = true;
  for (std::size_t index = 0; index < blocks_.size(); ++index) {
    const Block& block = blocks_[index];
    const std::uint64_t begin = std::uint64_t{index} * kBlockSize + block.spanBegin;
    if (!block.overwritten || begin >= length) continue;
    const auto count = static_cast<std::size_t>(
        std::min<std::uint64_t>(block.spanEnd - block.spanBegin, length - begin));
    try {
      file.WriteAt(begin, block.bytes + block.spanBegin, count);
    } catch (...) {
      // The first error is the one reported; the rest is done as far as it goes.
      whole = false;
    }
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
  const auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(kPiece);
  bool changed = false;
  // As many bytes as the original's length says: a read that ends early is an
  // error, never a shorter file.
  const std::uint64_t originalLength = original.Length();
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
    const std::size_t firstBlock = static_cast<std::size_t>(base / kBlockSize);
    for (std::size_t k = 0; k < kCopyBlocks && firstBlock + k < blocks_.size(); ++k) {
      Block& block = blocks_[firstBlock + k];
      if (!block.written) continue;
      std::uint8_t* const fileBytes = buffer.get() + k * kBlockSize;
      changed = changed || WrittenDiffer(block, fileBytes);
      KeepUnwritten(block, fileBytes);
      std::memcpy(fileBytes + block.spanBegin, block.bytes + block.spanBegin,
                  block.spanEnd - block.spanBegin);
    }
    output.Append(buffer.get(), length);
    if (length < kPiece) return changed;
  }
}

}  // namespace vips
