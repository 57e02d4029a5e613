#include "core/files/rollback_journal.hpp"

#include <algorithm>
#include <cstring>
#include <span>

#include "core/error.hpp"
#include "core/files/crc32c.hpp"
#include "core/files/io_buffer.hpp"
#include "core/files/path_names.hpp"

namespace vips {
namespace {

// The journal: a header (the mark, the file's identity and length, the
// header's CRC-32C), entries, a trailer (the end mark, the entry count, the
// CRC-32C of everything before it). An entry is its position, as the distance
// from the end of the entry before it, and its length, both as LEB128
// numbers (the distance zigzag-coded, since entries may go back), then the
// old bytes: two or three bytes of head where records are many and short.
// The marks are their first 16 bytes, without the closing NUL.
constexpr char kHeadMark[] = "VIPS-JOURNAL-v2\n";
constexpr char kEndMark[] = "VIPS-JOURNAL-END";
constexpr std::size_t kHeaderSize = 16 + 3 * 8 + 4;
constexpr std::size_t kTrailerSize = 16 + 8 + 4;
// Journals are written and read through a buffer of this size.
constexpr std::size_t kChunk = std::size_t{256} << 10;
constexpr const char* kJournalMark = ".vips-journal";

// Numbers of the header and trailer: `size` bytes, low byte first.
void Put(std::uint8_t* at, std::uint64_t value, int size = 8) {
  for (int i = 0; i < size; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}
std::uint64_t Get(const std::uint8_t* at, int size = 8) {
  std::uint64_t value = 0;
  for (int i = size - 1; i >= 0; --i) value = value << 8 | at[i];
  return value;
}
// Writes the journal through one buffer, keeping its CRC-32C (taken over the
// whole buffer as it goes out: one call per piece of bytes would cost more
// than the bytes).
class JournalWriter {
 public:
  explicit JournalWriter(JournalFile& file) : file_(file), buffer_(NewIoBuffer(kChunk)) {}
  void Put(const void* bytes, std::size_t size) {
    const auto* from = static_cast<const std::uint8_t*>(bytes);
    while (size > 0) {
      const std::size_t part = std::min(size, kChunk - used_);
      std::memcpy(buffer_.get() + used_, from, part);
      used_ += part;
      from += part;
      size -= part;
      if (used_ == kChunk) Drain();
    }
  }
  void PutNumber(std::uint64_t value) {
    // A LEB128 number of 64 bits takes at most 10 bytes.
    if (kChunk - used_ < 10) Drain();
    for (; value >= 0x80; value >>= 7) buffer_[used_++] = static_cast<std::uint8_t>(value | 0x80);
    buffer_[used_++] = static_cast<std::uint8_t>(value);
  }
  void Drain() {
    if (used_ == 0) return;
    crc_ = Crc32c(crc_, buffer_.get(), used_);
    file_.Append(buffer_.get(), used_);
    used_ = 0;
  }
  [[nodiscard]] std::uint32_t CrcSoFar() const { return Crc32c(crc_, buffer_.get(), used_); }

 private:
  JournalFile& file_;
  IoBuffer buffer_;
  std::size_t used_ = 0;
  std::uint32_t crc_ = 0;
};

// Reads a journal's entries, from the end of its header up to `end` (its
// trailer), through one buffer, keeping the CRC-32C of all it has read.
class JournalReader {
 public:
  JournalReader(ExistingFile& file, std::uint64_t end, std::uint32_t crc)
      : file_(file), end_(end), crc_(crc), buffer_(NewIoBuffer(kChunk)) {}
  [[nodiscard]] std::uint64_t Position() const { return start_ + at_; }
  [[nodiscard]] std::uint32_t Crc() const { return crc_; }
  // Up to `most` bytes from here (at least one while any is left); they
  // count as read.
  std::span<const std::uint8_t> Next(std::size_t most) {
    if (at_ == have_) {
      start_ += have_;
      have_ = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, end_ - start_));
      at_ = 0;
      if (have_ > 0) file_.ReadAllAt(start_, buffer_.get(), have_);
      crc_ = Crc32c(crc_, buffer_.get(), have_);
    }
    const std::size_t part = std::min(most, have_ - at_);
    at_ += part;
    return {buffer_.get() + at_ - part, part};
  }
  // A LEB128 number; nothing when it is cut or too long.
  std::optional<std::uint64_t> Number() {
    std::uint64_t value = 0;
    for (int shift = 0; shift < 64; shift += 7) {
      const std::span<const std::uint8_t> byte = Next(1);
      if (byte.empty()) return std::nullopt;
      value |= std::uint64_t{byte[0] & 0x7Fu} << shift;
      if ((byte[0] & 0x80) == 0) return value;
    }
    return std::nullopt;
  }

 private:
  ExistingFile& file_;
  std::uint64_t end_;
  std::uint32_t crc_;
  IoBuffer buffer_;
  // The buffer holds the journal's bytes [start_, start_ + have_).
  std::uint64_t start_ = kHeaderSize;
  std::size_t have_ = 0;
  std::size_t at_ = 0;
};

struct Header {
  FileIdentity identity;
  std::uint64_t length = 0;
};

// Reads the journal through; calls `entry(position, bytes, size)` for each
// piece of each entry when given. Nothing when the journal is not whole and
// ours (cut, torn, changed, or no journal at all).
std::optional<Header> ReadJournal(
    ExistingFile& journal,
    const std::function<void(std::uint64_t, const std::uint8_t*, std::size_t)>& entry) {
  const std::uint64_t size = journal.Length();
  if (size < kHeaderSize + kTrailerSize) return std::nullopt;
  const std::uint64_t entriesEnd = size - kTrailerSize;
  std::uint8_t head[kHeaderSize];
  journal.ReadAllAt(0, head, kHeaderSize);
  if (std::memcmp(head, kHeadMark, 16) != 0 ||
      Get(head + kHeaderSize - 4, 4) != Crc32c(0, head, kHeaderSize - 4)) {
    return std::nullopt;
  }
  const Header header{{Get(head + 16), Get(head + 24)}, Get(head + 32)};
  JournalReader reader(journal, entriesEnd, Crc32c(0, head, kHeaderSize));
  std::uint64_t count = 0;
  std::uint64_t previousEnd = 0;
  while (reader.Position() < entriesEnd) {
    const std::optional<std::uint64_t> distance = reader.Number();
    const std::optional<std::uint64_t> length = reader.Number();
    if (!distance || !length) return std::nullopt;
    const std::uint64_t step = *distance >> 1;
    const bool back = (*distance & 1) != 0;
    if (back ? step > previousEnd : step > header.length - previousEnd) return std::nullopt;
    const std::uint64_t position = back ? previousEnd - step : previousEnd + step;
    if (*length > entriesEnd - reader.Position() || *length > header.length - position) {
      return std::nullopt;
    }
    for (std::uint64_t done = 0; done < *length;) {
      const std::span<const std::uint8_t> part = reader.Next(*length - done);
      if (entry) entry(position + done, part.data(), part.size());
      done += part.size();
    }
    previousEnd = position + *length;
    ++count;
  }
  std::uint8_t tail[kTrailerSize];
  journal.ReadAllAt(entriesEnd, tail, kTrailerSize);
  if (std::memcmp(tail, kEndMark, 16) != 0 || Get(tail + 16) != count ||
      Get(tail + kTrailerSize - 4, 4) != Crc32c(reader.Crc(), tail, kTrailerSize - 4)) {
    return std::nullopt;
  }
  return header;
}

// When the journal at `path` is whole and ours (and, with `ofThisFile`,
// begun for `file`), writes its old bytes and length back into `file`,
// flushes it, and closes the journal; false, writing nothing, otherwise.
bool PlayBack(const std::string& path, ExistingFile& file, bool ofThisFile) {
  ExistingFile journal = ExistingFile::OpenForReading(path);
  const std::optional<Header> header = ReadJournal(journal, nullptr);
  if (!header || (ofThisFile && header->identity != file.Identity())) return false;
  (void)ReadJournal(journal, [&file](std::uint64_t position, const std::uint8_t* bytes,
                                     std::size_t size) { file.WriteAt(position, bytes, size); });
  if (file.Length() != header->length) file.SetLength(header->length);
  file.Flush();
  journal.Close();
  return true;
}

}  // namespace

std::string RollbackJournal::PathFor(const std::string& filePath) {
  return CompanionPath(filePath, kJournalMark, 0);
}

RollbackJournal RollbackJournal::Begin(ExistingFile& file, std::uint64_t length,
                                       const OldBytes& oldBytes, bool durable) {
  const std::string path = PathFor(file.Path());
  JournalFile journal = JournalFile::Create(path);
  RollbackJournal result(path, durable);
  try {
    JournalWriter writer(journal);
    std::uint8_t head[kHeaderSize];
    std::memcpy(head, kHeadMark, 16);
    const FileIdentity identity = file.Identity();
    Put(head + 16, identity.device);
    Put(head + 24, identity.index);
    Put(head + 32, length);
    Put(head + kHeaderSize - 4, Crc32c(0, head, kHeaderSize - 4), 4);
    writer.Put(head, kHeaderSize);

    std::uint64_t count = 0;
    std::uint64_t previousEnd = 0;
    oldBytes([&](std::uint64_t position, const std::uint8_t* bytes, std::size_t size) {
      // Past the old end the length puts the file back.
      if (position >= length || size == 0) return;
      size = static_cast<std::size_t>(std::min<std::uint64_t>(size, length - position));
      writer.PutNumber(position >= previousEnd ? (position - previousEnd) << 1
                                               : (previousEnd - position) << 1 | 1);
      writer.PutNumber(size);
      writer.Put(bytes, size);
      previousEnd = position + size;
      ++count;
    });
    std::uint8_t tail[kTrailerSize];
    std::memcpy(tail, kEndMark, 16);
    Put(tail + 16, count);
    writer.Put(tail, kTrailerSize - 4);
    Put(tail + kTrailerSize - 4, writer.CrcSoFar(), 4);
    writer.Put(tail + kTrailerSize - 4, 4);
    writer.Drain();
    if (durable) journal.Flush();
    journal.Close();
  } catch (...) {
    // The file is untouched yet: a journal that was not written whole goes.
    journal.Close();
    try {
      JournalFile::Remove(path, false);
    } catch (...) {
      // A torn journal is never played back; the next run removes it.
    }
    throw;
  }
  return result;
}

bool RollbackJournal::RollBackInterrupted(ExistingFile& file) {
  const std::string path = PathFor(file.Path());
  if (!IdentityOf(path)) return false;
  // A journal cut short (the run died before its first write), or left for
  // a file that has since been replaced, is only removed.
  const bool played = PlayBack(path, file, true);
  JournalFile::Remove(path, true);
  return played;
}

void RollbackJournal::Finish() {
  if (finished_) return;
  JournalFile::Remove(path_, durable_);
  finished_ = true;
}

void RollbackJournal::RollBack(ExistingFile& file) {
  if (!PlayBack(path_, file, false)) throw Error(kReadBeyondEnd, path_);
  try {
    Finish();
  } catch (...) {
    // The file is as it was and on the disk: a journal that stays only puts
    // the same bytes back once more.
  }
}

}  // namespace vips
