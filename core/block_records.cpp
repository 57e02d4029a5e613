#include "core/block_records.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <limits>
#include <utility>

#include "core/error.hpp"
#include "core/file_access.hpp"
#include "core/ips_reader.hpp"
#include "core/patch_image.hpp"

namespace vips {
namespace {

// A block's chain grows by segments of this size, or of one record's piece
// when that is larger; most chains end in a part-filled one.
constexpr std::size_t kSegmentBytes = 4096;
constexpr std::size_t kFirstSegmentBytes = 256;
// Segments are cut from pieces of memory this large (whole 2 MiB pages).
constexpr std::size_t kArenaBytes = std::size_t{4} << 20;
// The patch is read through a buffer of this size, used again and again.
constexpr std::size_t kReadBytes = std::size_t{64} << 10;
// The bytes of a record's piece are read past the buffer from this many on.
constexpr std::size_t kDirectBytes = 16 << 10;
// What the read after a long record's bytes takes.
constexpr std::size_t kShortFill = 4 << 10;
// Short data records' bytes are copied as one lane of this many bytes.
constexpr std::size_t kLane = 64;
// A record's head and a short data record's lane.
constexpr std::size_t kShortRecord = 5 + kLane;
// Room at the start of the buffer for the unread end of the bytes before.
constexpr std::size_t kCarry = 72;

std::size_t RoundUp8(std::size_t size) {
  return (size + 7) / 8 * 8;
}

// A patch file read front to back through one buffer.
class PatchStream {
 public:
  PatchStream(ExistingFile& file, std::uint8_t* buffer, const std::string& path)
      : file_(file), buffer_(buffer), path_(path) {}

  // Makes at least `count` bytes (count <= kCarry) lie together from Next(),
  // as far as the file holds them; returns how many lie there.
  std::size_t Have(std::size_t count) {
    if (end_ - begin_ >= count || ended_) return end_ - begin_;
    return Gather(count);
  }
  [[nodiscard]] const std::uint8_t* Next() const { return buffer_ + begin_; }
  [[nodiscard]] std::size_t Buffered() const { return end_ - begin_; }
  void Skip(std::size_t count) { begin_ += count; }

  // Copies the next `count` bytes to `to` (or passes over them when `to` is
  // null); false when the file ends first.
  bool Take(std::uint8_t* to, std::size_t count) {
    while (count > 0) {
      if (begin_ == end_ && to != nullptr && count >= kDirectBytes) {
        // Long records' bytes are read straight to where they go.
        const std::size_t read = file_.ReadSome(to, count);
        if (read == 0) {
          ended_ = true;
          return false;
        }
        Count(read);
        to += read;
        count -= read;
        // Long records tend to follow long records: the next read takes only
        // enough for a record's head and a few short ones, so that the
        // bytes of the next long one are again read straight to their place.
        shortFill_ = true;
        continue;
      }
      if (begin_ == end_) {
        begin_ = end_ = kCarry;
        Fill();
        if (begin_ == end_) return false;
      }
      const std::size_t part = std::min(count, end_ - begin_);
      if (to != nullptr) {
        std::memcpy(to, buffer_ + begin_, part);
        to += part;
      }
      begin_ += part;
      count -= part;
    }
    return true;
  }

 private:
  std::size_t Gather(std::size_t count) {
    // The unread bytes move to just before the buffer's room, which the
    // next read fills.
    const std::size_t left = end_ - begin_;
    std::memmove(buffer_ + kCarry - left, buffer_ + begin_, left);
    begin_ = kCarry - left;
    end_ = kCarry;
    while (end_ - begin_ < count && !ended_) Fill();
    return end_ - begin_;
  }

  void Fill() {
    const std::size_t room = kCarry + kReadBytes - end_;
    const std::size_t read =
        file_.ReadSome(buffer_ + end_, shortFill_ ? std::min(room, kShortFill) : room);
    shortFill_ = false;
    if (read == 0) {
      ended_ = true;
      return;
    }
    end_ += read;
    Count(read);
  }

  void Count(std::size_t read) {
    total_ += read;
    // Patches are refused from 4 GiB on, also one that grows while it is read.
    if (total_ > std::numeric_limits<std::uint32_t>::max()) throw Error(IoErrorText(EFBIG), path_);
  }

  ExistingFile& file_;
  std::uint8_t* buffer_;
  const std::string& path_;
  std::size_t begin_ = kCarry;
  std::size_t end_ = kCarry;
  std::uint64_t total_ = 0;
  bool ended_ = false;
  bool shortFill_ = false;
};

// Copies the next `count` bytes of `stream` to `data`, a piece's room in a
// segment whose free room ends at `roomEnd`; false when the patch ends first.
bool TakeData(PatchStream& stream, std::uint8_t* data, std::uint32_t count,
              const std::uint8_t* roomEnd) {
  if (count <= kLane && stream.Buffered() >= kLane && roomEnd - data >= std::ptrdiff_t{kLane}) {
    // A whole lane whatever the length, without a choice by length: the
    // buffer holds it, and past the piece the segment's room is free (the
    // block's next entry goes there).
    std::memcpy(data, stream.Next(), kLane);
    stream.Skip(count);
    return true;
  }
  return stream.Take(data, count);
}

}  // namespace

BlockRecords::BlockRecords() : summaries_(kBlockCount) {}
BlockRecords::BlockRecords(BlockRecords&&) noexcept = default;
BlockRecords& BlockRecords::operator=(BlockRecords&&) noexcept = default;
BlockRecords::~BlockRecords() = default;

std::size_t BlockRecords::MostPieces() const {
  std::size_t most = 0;
  for (const Summary& summary : summaries_) most = std::max(most, summary.pieceCount);
  return most;
}

std::uint8_t* BlockRecords::RoomInNewSegment(std::size_t block, std::size_t size) {
  // A chain's first segment is small, for blocks that few records write;
  // each next one is twice as large, up to kSegmentBytes.
  Tail& tail = tails_[block];
  Segment* const last = tail.segment;
  std::size_t wanted = kFirstSegmentBytes;
  if (last != nullptr) {
    const auto lastSize = static_cast<std::size_t>(tail.end - BytesOf(last)) + sizeof(Segment);
    wanted = std::min(kSegmentBytes, 2 * lastSize);
  }
  const std::size_t capacity = std::max(wanted - sizeof(Segment), RoundUp8(size));
  const std::size_t need = sizeof(Segment) + capacity;
  if (arenaSize_ - arenaUsed_ < need) {
    arenaSize_ = std::max(kArenaBytes, need);
    arenas_.push_back(NewLargeBytes(arenaSize_));
    arenaUsed_ = 0;
  }
  auto* const segment = reinterpret_cast<Segment*>(arenas_.back().get() + arenaUsed_);
  arenaUsed_ += need;
  *segment = Segment{nullptr, 0};
  if (last == nullptr) {
    head_[block] = segment;
  } else {
    last->used = static_cast<std::size_t>(tail.at - BytesOf(last));
    last->next = segment;
  }
  std::uint8_t* const at = BytesOf(segment);
  tail = Tail{at + size, at + capacity, segment};
  return at;
}

bool BlockRecords::Add(const std::string& path, const std::vector<bool>& chosen) {
  ExistingFile file = ExistingFile::OpenForReading(path);
  if (file.Length() > std::numeric_limits<std::uint32_t>::max()) {
    throw Error(IoErrorText(EFBIG), path);
  }
  if (!readBuffer_)
    readBuffer_ = std::make_unique_for_overwrite<std::uint8_t[]>(kCarry + kReadBytes);
  PatchStream stream(file, readBuffer_.get(), path);
  if (stream.Have(std::size(kPatchHeader)) < std::size(kPatchHeader) ||
      std::memcmp(stream.Next(), kPatchHeader, std::size(kPatchHeader)) != 0) {
    return false;
  }
  stream.Skip(std::size(kPatchHeader));
  for (std::size_t index = 0;; ++index) {
    // A record's head: offset and size, and for a run its length and byte;
    // a short data record's lane lies there with it.
    const std::size_t have = stream.Have(kShortRecord);
    const std::uint8_t* const b = stream.Next();
    if (have < 3) throw Error(kReadBeyondEnd, path);
    const std::uint32_t offset = std::uint32_t{b[0]} << 16 | std::uint32_t{b[1]} << 8 | b[2];
    if (offset == static_cast<std::uint32_t>(kEndMarkerOffset)) break;
    if (have < 5) throw Error(kReadBeyondEnd, path);
    const std::uint32_t size = std::uint32_t{b[3]} << 8 | b[4];
    const bool run = size == 0;
    if (run && have < 8) throw Error(kReadBeyondEnd, path);
    const std::uint32_t count = run ? (std::uint32_t{b[5]} << 8 | b[6]) : size;
    const std::uint8_t value = run ? b[7] : 0;
    const bool wanted = chosen.empty() || (index < chosen.size() && chosen[index]);
    if (!wanted || count == 0) {
      stream.Skip(run ? 8 : 5);
      if (!run && !stream.Take(nullptr, size)) throw Error(kReadBeyondEnd, path);
      continue;
    }
    const std::uint64_t end = std::uint64_t{offset} + count;
    reach_ = std::max(reach_, end);
    stream.Skip(run ? 8 : 5);
    // One piece per block the record writes into: at most two.
    for (std::uint64_t at = offset; at < end;) {
      const std::size_t block = static_cast<std::size_t>(at / kBlockSize);
      const std::uint64_t base = std::uint64_t{block} * kBlockSize;
      const auto first = static_cast<std::uint32_t>(at - base);
      const auto pieceCount = static_cast<std::uint32_t>(std::min(end, base + kBlockSize) - at);
      std::uint8_t* const data = Put(block, first, pieceCount, run, value);
      if (!run && !TakeData(stream, data, pieceCount, tails_[block].end))
        throw Error(kReadBeyondEnd, path);
      at += pieceCount;
    }
  }
  file.Close();
  for (const Tail& tail : tails_) {
    if (tail.segment != nullptr)
      tail.segment->used = static_cast<std::size_t>(tail.at - BytesOf(tail.segment));
  }
  return true;
}

}  // namespace vips
