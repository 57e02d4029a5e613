#include "core/files/rollback_journal.hpp"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "core/error.hpp"
#include "core/files/temporary_name.hpp"
#include "core/files/write_fault.hpp"

namespace vips {
namespace {

// The journal: a header (the mark, the file's identity and length, the
// header's CRC-32), entries (position, length, the old bytes), a trailer
// (the end mark, the entry count, the CRC-32 of everything before it).
constexpr char kHeadMark[16] = {'V', 'I', 'P', 'S', '-', 'J', 'O', 'U',
                                'R', 'N', 'A', 'L', '-', 'v', '1', '\n'};
constexpr char kEndMark[16] = {'V', 'I', 'P', 'S', '-', 'J', 'O', 'U',
                               'R', 'N', 'A', 'L', '-', 'E', 'N', 'D'};
constexpr std::size_t kHeaderSize = 16 + 3 * 8 + 4;
constexpr std::size_t kEntryHead = 16;
constexpr std::size_t kTrailerSize = 16 + 8 + 4;
constexpr std::size_t kChunk = std::size_t{1} << 20;
// Stretches closer than this are kept as one entry: the bytes between cost
// less than an entry's head.
constexpr std::uint64_t kJoinGap = kEntryHead;
constexpr const char* kJournalMark = ".vips-journal";

void Put64(std::uint8_t* at, std::uint64_t value) {
  for (int i = 0; i < 8; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}
void Put32(std::uint8_t* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}
std::uint64_t Get64(const std::uint8_t* at) {
  std::uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = value << 8 | at[i];
  return value;
}
std::uint32_t Get32(const std::uint8_t* at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | at[i];
  return value;
}
std::uint32_t Crc(std::uint32_t crc, const std::uint8_t* bytes, std::size_t size) {
  while (size > 0) {
    const auto part = static_cast<uInt>(std::min<std::size_t>(size, 1u << 30));
    crc = static_cast<std::uint32_t>(::crc32(crc, bytes, part));
    bytes += part;
    size -= part;
  }
  return crc;
}

// Writes the journal through one buffer, keeping its CRC-32 (taken over the
// whole buffer as it goes out: one call per piece of bytes would cost more
// than the bytes).
class JournalWriter {
 public:
  explicit JournalWriter(JournalFile& file) : file_(file), buffer_(new std::uint8_t[kChunk]) {}
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
  void Drain() {
    if (used_ == 0) return;
    crc_ = Crc(crc_, buffer_.get(), used_);
    file_.Append(buffer_.get(), used_);
    used_ = 0;
  }
  [[nodiscard]] std::uint32_t CrcSoFar() const { return Crc(crc_, buffer_.get(), used_); }

 private:
  JournalFile& file_;
  std::unique_ptr<std::uint8_t[]> buffer_;
  std::size_t used_ = 0;
  std::uint32_t crc_ = 0;
};

// The old bytes of the file, read a large window at a time, so that many
// small stretches cost few reads.
class OldBytes {
 public:
  OldBytes(ExistingFile& file, std::uint64_t length)
      : file_(file), length_(length), window_(new std::uint8_t[kChunk]) {}
  // Puts the file's bytes [position, position + size) to `journal`.
  void CopyTo(JournalWriter& journal, std::uint64_t position, std::uint64_t size) {
    while (size > 0) {
      if (position < begin_ || position >= end_) {
        begin_ = position;
        end_ = std::min(length_, position + kChunk);
        file_.ReadAllAt(begin_, window_.get(), static_cast<std::size_t>(end_ - begin_));
      }
      const std::uint64_t part = std::min(size, end_ - position);
      journal.Put(window_.get() + (position - begin_), static_cast<std::size_t>(part));
      position += part;
      size -= part;
    }
  }

 private:
  ExistingFile& file_;
  std::uint64_t length_;
  std::unique_ptr<std::uint8_t[]> window_;
  std::uint64_t begin_ = 0;
  std::uint64_t end_ = 0;
};

struct Header {
  FileIdentity identity;
  std::uint64_t length = 0;
};

// Reads the journal at `path` through; calls `entry(position, bytes, size)`
// for each piece of each entry when given. Nothing when the journal is not
// whole and ours (cut, torn, changed, or no journal at all).
std::optional<Header> ReadJournal(
    ExistingFile& journal,
    const std::function<void(std::uint64_t, const std::uint8_t*, std::size_t)>& entry) {
  const std::uint64_t size = journal.Length();
  if (size < kHeaderSize + kTrailerSize) return std::nullopt;
  std::uint8_t head[kHeaderSize];
  journal.ReadAllAt(0, head, kHeaderSize);
  if (std::memcmp(head, kHeadMark, 16) != 0 ||
      Get32(head + kHeaderSize - 4) != Crc(0, head, kHeaderSize - 4)) {
    return std::nullopt;
  }
  Header header{{Get64(head + 16), Get64(head + 24)}, Get64(head + 32)};
  std::uint32_t crc = Crc(0, head, kHeaderSize);
  const std::uint64_t entriesEnd = size - kTrailerSize;
  std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[kChunk]);
  std::uint64_t count = 0;
  for (std::uint64_t at = kHeaderSize; at < entriesEnd; ++count) {
    if (entriesEnd - at < kEntryHead) return std::nullopt;
    std::uint8_t entryHead[kEntryHead];
    journal.ReadAllAt(at, entryHead, kEntryHead);
    crc = Crc(crc, entryHead, kEntryHead);
    at += kEntryHead;
    const std::uint64_t position = Get64(entryHead);
    const std::uint64_t length = Get64(entryHead + 8);
    if (length > entriesEnd - at || position > header.length || length > header.length - position) {
      return std::nullopt;
    }
    for (std::uint64_t done = 0; done < length;) {
      const auto part = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, length - done));
      journal.ReadAllAt(at, buffer.get(), part);
      crc = Crc(crc, buffer.get(), part);
      if (entry) entry(position + done, buffer.get(), part);
      at += part;
      done += part;
    }
  }
  std::uint8_t tail[kTrailerSize];
  journal.ReadAllAt(entriesEnd, tail, kTrailerSize);
  crc = Crc(crc, tail, kTrailerSize - 4);
  if (std::memcmp(tail, kEndMark, 16) != 0 || Get64(tail + 16) != count ||
      Get32(tail + kTrailerSize - 4) != crc) {
    return std::nullopt;
  }
  return header;
}

// Writes the journal's old bytes back into `file` and its length, flushes.
void PlayBack(ExistingFile& journal, ExistingFile& file, std::uint64_t length) {
  (void)ReadJournal(journal, [&file](std::uint64_t position, const std::uint8_t* bytes,
                                     std::size_t size) { file.WriteAt(position, bytes, size); });
  if (file.Length() != length) file.SetLength(length);
  file.Flush();
}

}  // namespace

std::string RollbackJournal::PathFor(const std::string& filePath) {
#ifdef _WIN32
  const std::size_t slash = filePath.find_last_of("\\/:");
#else
  const std::size_t slash = filePath.find_last_of('/');
#endif
  const std::string folder = slash == std::string::npos ? "" : filePath.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? filePath : filePath.substr(slash + 1);
  return folder + CompanionPrefix(name, kJournalMark, 0, JournalFile::NameLimitOf(filePath));
}

RollbackJournal RollbackJournal::Begin(ExistingFile& file, std::uint64_t length, const Spans& spans,
                                       bool durable) {
  const std::string path = PathFor(file.Path());
  JournalFile journal = JournalFile::Create(path);
  RollbackJournal result(path, durable);
  try {
    JournalWriter writer(journal);
    std::uint8_t head[kHeaderSize];
    std::memcpy(head, kHeadMark, 16);
    const FileIdentity identity = file.Identity();
    Put64(head + 16, identity.device);
    Put64(head + 24, identity.index);
    Put64(head + 32, length);
    Put32(head + kHeaderSize - 4, Crc(0, head, kHeaderSize - 4));
    writer.Put(head, kHeaderSize);

    OldBytes old(file, length);
    std::uint64_t count = 0;
    // Stretches that touch or nearly touch are joined into one entry.
    std::uint64_t begin = 0;
    std::uint64_t end = 0;
    const auto flushEntry = [&] {
      if (begin >= end) return;
      std::uint8_t entryHead[kEntryHead];
      Put64(entryHead, begin);
      Put64(entryHead + 8, end - begin);
      writer.Put(entryHead, kEntryHead);
      old.CopyTo(writer, begin, end - begin);
      ++count;
    };
    spans([&](std::uint64_t position, std::uint64_t size) {
      // Past the old end the length puts the file back.
      if (position >= length || size == 0) return;
      const std::uint64_t stop = std::min(length, position + size);
      if (begin < end && position >= begin && position <= end + kJoinGap) {
        end = std::max(end, stop);
        return;
      }
      flushEntry();
      begin = position;
      end = stop;
    });
    flushEntry();
    std::uint8_t tail[kTrailerSize];
    std::memcpy(tail, kEndMark, 16);
    Put64(tail + 16, count);
    writer.Put(tail, kTrailerSize - 4);
    Put32(tail + kTrailerSize - 4, writer.CrcSoFar());
    writer.Drain();
    journal.Append(tail + kTrailerSize - 4, 4);
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

RollbackJournal::Found RollbackJournal::RollBackInterrupted(ExistingFile& file) {
  const std::string path = PathFor(file.Path());
  if (!IdentityOf(path)) return Found::Nothing;
  std::optional<Header> header;
  {
    ExistingFile journal = ExistingFile::OpenForReading(path);
    header = ReadJournal(journal, nullptr);
    if (header && header->identity == file.Identity()) {
      PlayBack(journal, file, header->length);
      journal.Close();
      JournalFile::Remove(path, true);
      return Found::RolledBack;
    }
  }
  // Cut short (the run died before its first write), or left for a file that
  // has since been replaced: nothing to play back.
  JournalFile::Remove(path, true);
  return Found::Discarded;
}

void RollbackJournal::Finish() {
  if (finished_) return;
  JournalFile::Remove(path_, durable_);
  finished_ = true;
}

void RollbackJournal::RollBack(ExistingFile& file) {
  ExistingFile journal = ExistingFile::OpenForReading(path_);
  const std::optional<Header> header = ReadJournal(journal, nullptr);
  if (!header) throw Error(kReadBeyondEnd, path_);
  PlayBack(journal, file, header->length);
  journal.Close();
  try {
    Finish();
  } catch (...) {
    // The file is as it was and on the disk: a journal that stays only puts
    // the same bytes back once more.
  }
}

}  // namespace vips
