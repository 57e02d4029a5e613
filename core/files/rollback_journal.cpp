#include "core/files/rollback_journal.hpp"

#include <algorithm>
#include <cstring>
#include <span>
#include <vector>

#include "core/files/crc32c.hpp"
#include "core/files/io_buffer.hpp"
#include "core/files/path_names.hpp"

namespace vips {
namespace {

// The journal: a header, the checks of the room past the old end, entries, a
// trailer (the end mark, the entry count, the CRC-32C of everything before
// it). The header is the mark, the old and the new length and its own
// CRC-32C. An entry is its position, as the distance from the end of the
// entry before it (zigzag-coded, since entries may go back), and its length,
// both as LEB128 numbers, then the checks of its pieces, then its old bytes.
// A check is the CRC-32C of what the write puts in one piece, low byte first.
// The previous format's header held the file's device and number and one
// length, and its entries no checks. Marks are 16 bytes, without the NUL.
constexpr char kHeadMark[] = "VIPS-JOURNAL-v3\n";
constexpr char kOldHeadMark[] = "VIPS-JOURNAL-v2\n";
constexpr char kFinishedMark[] = "VIPS-JOURNAL-OK\n";
constexpr char kEndMark[] = "VIPS-JOURNAL-END";
constexpr std::size_t kMarkSize = 16;
constexpr std::size_t kHeaderSize = kMarkSize + 2 * 8 + 4;
constexpr std::size_t kOldHeaderSize = kMarkSize + 3 * 8 + 4;
constexpr std::size_t kTrailerSize = kMarkSize + 8 + 4;
constexpr std::size_t kPiece = 512;
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

// Calls `piece(offset, count)` for each piece of the `count` bytes at `position`
// of the file, offsets counted from `position`.
template <typename Piece>
void ForEachPiece(std::uint64_t position, std::uint64_t count, Piece&& piece) {
  for (std::uint64_t done = 0; done < count;) {
    const std::uint64_t part = std::min(count - done, kPiece - (position + done) % kPiece);
    piece(done, static_cast<std::size_t>(part));
    done += part;
  }
}
std::uint64_t PieceCount(std::uint64_t position, std::uint64_t count) {
  return count == 0 ? 0 : (position + count - 1) / kPiece - position / kPiece + 1;
}

// Writes the journal through one buffer, keeping its CRC-32C (taken over the
// whole buffer as it goes out: one call per piece of bytes would cost more
// than the bytes).
class JournalWriter {
 public:
  // With `startWriteBack`, each chunk goes on to the disk as soon as it is
  // written, while the rest is put together: the flush at the end then waits
  // for the last of it only.
  JournalWriter(JournalFile& file, bool startWriteBack)
      : file_(file), buffer_(NewIoBuffer(kChunk)), startWriteBack_(startWriteBack) {}
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
  // The checks of the new bytes `after` of the `count` bytes at `position`.
  void PutChecks(std::uint64_t position, const std::uint8_t* after, std::size_t count) {
    ForEachPiece(position, count, [&](std::uint64_t offset, std::size_t size) {
      std::uint8_t check[4];
      vips::Put(check, Crc32c(0, after + offset, size), 4);
      Put(check, 4);
    });
  }
  // An entry: its distance (zigzag-coded) and length, the checks of `after`,
  // then `before`. Straight into the buffer when it has room: entries of a
  // few bytes come by the hundred thousand.
  void PutEntry(std::uint64_t distance, std::uint64_t position, const std::uint8_t* before,
                const std::uint8_t* after, std::size_t size) {
    const std::uint64_t pieces = PieceCount(position, size);
    if (kChunk - used_ < 2 * 10 + 4 * pieces + size) {
      PutNumber(distance);
      PutNumber(size);
      PutChecks(position, after, size);
      Put(before, size);
      return;
    }
    std::uint8_t* out = buffer_.get() + used_;
    for (std::uint64_t value : {distance, std::uint64_t{size}}) {
      for (; value >= 0x80; value >>= 7) *out++ = static_cast<std::uint8_t>(value | 0x80);
      *out++ = static_cast<std::uint8_t>(value);
    }
    ForEachPiece(position, size, [&](std::uint64_t offset, std::size_t count) {
      vips::Put(out, Crc32c(0, after + offset, count), 4);
      out += 4;
    });
    std::memcpy(out, before, size);
    used_ = static_cast<std::size_t>(out + size - buffer_.get());
  }
  void Drain() {
    if (used_ == 0) return;
    crc_ = Crc32c(crc_, buffer_.get(), used_);
    file_.Append(buffer_.get(), used_);
    if (startWriteBack_) file_.StartWriteBack(written_, used_);
    written_ += used_;
    used_ = 0;
  }
  [[nodiscard]] std::uint32_t CrcSoFar() const { return Crc32c(crc_, buffer_.get(), used_); }

 private:
  JournalFile& file_;
  IoBuffer buffer_;
  bool startWriteBack_;
  std::size_t used_ = 0;
  std::uint64_t written_ = 0;
  std::uint32_t crc_ = 0;
};

// Reads a journal, from the end of its header up to `end` (its trailer),
// through one buffer, keeping the CRC-32C of all it has read.
class JournalReader {
 public:
  JournalReader(ExistingFile& file, std::uint64_t start, std::uint64_t end, std::uint32_t crc)
      : file_(file), end_(end), crc_(crc), buffer_(NewIoBuffer(kChunk)), start_(start) {}
  [[nodiscard]] std::uint64_t Position() const { return start_ + at_; }
  [[nodiscard]] std::uint64_t Left() const { return end_ - Position(); }
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
  // Exactly `size` bytes into `to`; false when fewer are left.
  bool Take(std::uint8_t* to, std::size_t size) {
    if (Left() < size) return false;
    for (std::size_t done = 0; done < size;) {
      const std::span<const std::uint8_t> part = Next(size - done);
      std::memcpy(to + done, part.data(), part.size());
      done += part.size();
    }
    return true;
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
  std::uint64_t start_;
  std::size_t have_ = 0;
  std::size_t at_ = 0;
};

struct Header {
  bool checked = true;  // false for the previous format
  std::uint64_t oldLength = 0;
  std::uint64_t newLength = 0;
  FileIdentity identity;  // the previous format's
};

// What a journal's first bytes say it is.
enum class Start { Ours, Finished, CutShort, Foreign };

// A journal opened and its header read.
struct OpenJournal {
  Start start = Start::Foreign;
  Header header;
  std::size_t headerSize = 0;
  std::uint32_t crc = 0;  // of the header
};

// With `ownRun`, a journal marked finished is read as it was before the mark:
// the undo of a run whose mark went out but not to the disk.
OpenJournal ReadHeader(ExistingFile& journal, bool ownRun = false) {
  OpenJournal opened;
  const std::uint64_t length = journal.Length();
  std::uint8_t head[kOldHeaderSize] = {};
  journal.ReadAllAt(0, head,
                    static_cast<std::size_t>(std::min<std::uint64_t>(length, sizeof head)));
  const bool old = std::memcmp(head, kOldHeadMark, kMarkSize) == 0;
  if (ownRun && std::memcmp(head, kFinishedMark, kMarkSize) == 0) {
    std::memcpy(head, kHeadMark, kMarkSize);
  }
  if (std::memcmp(head, kFinishedMark, kMarkSize) == 0) {
    opened.start = Start::Finished;
    return opened;
  }
  if (!old && std::memcmp(head, kHeadMark, kMarkSize) != 0) {
    // Fewer bytes than a mark, all of them the mark's: stopped in its first write.
    const auto have = static_cast<std::size_t>(std::min<std::uint64_t>(length, kMarkSize));
    opened.start = have < kMarkSize && std::memcmp(head, kHeadMark, have) == 0 ? Start::CutShort
                                                                               : Start::Foreign;
    return opened;
  }
  opened.headerSize = old ? kOldHeaderSize : kHeaderSize;
  const std::size_t size = opened.headerSize;
  opened.start = Start::CutShort;
  if (length < size + kTrailerSize || Get(head + size - 4, 4) != Crc32c(0, head, size - 4)) {
    return opened;
  }
  opened.crc = Crc32c(0, head, size);
  if (old) {
    opened.header = {false, Get(head + 32), Get(head + 32), {Get(head + 16), Get(head + 24)}};
  } else {
    opened.header = {true, Get(head + 16), Get(head + 24), {}};
  }
  opened.start = Start::Ours;
  return opened;
}

// One entry of the journal as it is read: where, how long, the checks.
struct Entry {
  std::uint64_t position = 0;
  std::uint64_t length = 0;
  std::vector<std::uint8_t> checks;
};

// Reads the journal's body through; calls `growth(checks)` with the checks of
// the room past the old end, then `entry(entry, reader)` for each entry,
// which takes the entry's old bytes from the reader. False when the journal
// is cut short, torn or changed.
template <typename Growth, typename Visit>
bool ReadBody(ExistingFile& journal, const OpenJournal& opened, Growth&& growth, Visit&& entry) {
  const Header& header = opened.header;
  const std::uint64_t entriesEnd = journal.Length() - kTrailerSize;
  JournalReader reader(journal, opened.headerSize, entriesEnd, opened.crc);
  if (header.checked && header.newLength > header.oldLength) {
    const std::uint64_t size =
        4 * PieceCount(header.oldLength, header.newLength - header.oldLength);
    if (size > reader.Left()) return false;
    std::vector<std::uint8_t> checks(static_cast<std::size_t>(size));
    reader.Take(checks.data(), checks.size());
    growth(checks);
  }
  std::uint64_t count = 0;
  std::uint64_t previousEnd = 0;
  Entry current;
  while (reader.Position() < entriesEnd) {
    const std::optional<std::uint64_t> distance = reader.Number();
    const std::optional<std::uint64_t> length = reader.Number();
    if (!distance || !length) return false;
    const std::uint64_t step = *distance >> 1;
    const bool back = (*distance & 1) != 0;
    if (back ? step > previousEnd : step > header.oldLength - previousEnd) return false;
    current.position = back ? previousEnd - step : previousEnd + step;
    current.length = *length;
    if (current.length > reader.Left() || current.length > header.oldLength - current.position) {
      return false;
    }
    current.checks.resize(header.checked ? 4 * PieceCount(current.position, current.length) : 0);
    if (!reader.Take(current.checks.data(), current.checks.size()) ||
        current.length > reader.Left()) {
      return false;
    }
    entry(current, reader);
    previousEnd = current.position + current.length;
    ++count;
  }
  std::uint8_t tail[kTrailerSize];
  journal.ReadAllAt(entriesEnd, tail, kTrailerSize);
  return std::memcmp(tail, kEndMark, kMarkSize) == 0 && Get(tail + kMarkSize) == count &&
         Get(tail + kTrailerSize - 4, 4) == Crc32c(reader.Crc(), tail, kTrailerSize - 4);
}

// Whether `bytes`, a piece the file holds now, is what the check says the write put there.
bool HoldsNew(const std::vector<std::uint8_t>& checks, std::size_t piece, const std::uint8_t* bytes,
              std::size_t size) {
  return checks.size() >= 4 * (piece + 1) &&
         Get(checks.data() + 4 * piece, 4) == Crc32c(0, bytes, size);
}

// Whether the whole journal fits `file` as its run can have left it; cut
// short when it is not whole. Reads only.
enum class Fit { Fits, DoesNotFit, CutShort };
Fit CheckFit(ExistingFile& journal, const OpenJournal& opened, ExistingFile& file) {
  const Header& header = opened.header;
  const std::uint64_t length = file.Length();
  bool fits = header.checked ? length == header.oldLength || length == header.newLength
                             : header.identity == file.Identity() && length == header.oldLength;
  // A write that cuts the file's end keeps all of it: one ascending run of
  // entries from the new end to the old.
  std::uint64_t endKept = header.newLength;
  std::vector<std::uint8_t> now;
  std::vector<std::uint8_t> old;
  const auto growth = [&](const std::vector<std::uint8_t>& checks) {
    // The room the write made holds zeros until the write reaches it.
    if (!fits || length == header.oldLength) return;
    now.resize(kChunk);
    std::size_t piece = 0;
    for (std::uint64_t at = header.oldLength; fits && at < length; at += kChunk) {
      const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, length - at));
      file.ReadAllAt(at, now.data(), size);
      ForEachPiece(at, size, [&](std::uint64_t offset, std::size_t count) {
        const std::uint8_t* const bytes = now.data() + offset;
        fits = fits && (std::all_of(bytes, bytes + count, [](std::uint8_t b) { return b == 0; }) ||
                        HoldsNew(checks, piece, bytes, count));
        ++piece;
      });
    }
  };
  const auto entry = [&](const Entry& entry, JournalReader& reader) {
    old.resize(static_cast<std::size_t>(entry.length));
    reader.Take(old.data(), old.size());
    if (entry.position <= endKept && entry.position + entry.length > endKept) {
      endKept = entry.position + entry.length;
    }
    if (!fits || !header.checked || entry.position >= length) return;
    // Past the file's end, the end a cut took: nothing there to hold.
    const auto size =
        static_cast<std::size_t>(std::min<std::uint64_t>(entry.length, length - entry.position));
    now.resize(std::max(now.size(), size));
    file.ReadAllAt(entry.position, now.data(), size);
    std::size_t piece = 0;
    ForEachPiece(entry.position, size, [&](std::uint64_t offset, std::size_t count) {
      fits = fits && (std::memcmp(now.data() + offset, old.data() + offset, count) == 0 ||
                      HoldsNew(entry.checks, piece, now.data() + offset, count));
      ++piece;
    });
  };
  if (!ReadBody(journal, opened, growth, entry)) return Fit::CutShort;
  return fits && endKept >= header.oldLength ? Fit::Fits : Fit::DoesNotFit;
}

// Writes the journal's old bytes and length back into `file` and flushes it.
void PlayBack(ExistingFile& journal, ExistingFile& file, bool ownRun) {
  const OpenJournal opened = ReadHeader(journal, ownRun);
  std::vector<std::uint8_t> old;
  const bool whole =
      opened.start == Start::Ours && ReadBody(
                                         journal, opened, [](const std::vector<std::uint8_t>&) {},
                                         [&](const Entry& entry, JournalReader& reader) {
                                           old.resize(static_cast<std::size_t>(entry.length));
                                           reader.Take(old.data(), old.size());
                                           file.WriteAt(entry.position, old.data(), old.size());
                                         });
  // Checked whole before anything was written; changed since, it is not played on.
  if (!whole) throw Error(kReadBeyondEnd, journal.Path());
  if (file.Length() != opened.header.oldLength) file.SetLength(opened.header.oldLength);
  file.Flush();
}

// The journal's place beside the file `filePath` leads to, under the name
// that has one, else its own name's.
std::string Locate(const std::string& filePath) {
  const std::string file = FileBehindLinks(filePath);
  const std::string own = CompanionPath(file, kJournalMark, 0);
  if (NameTaken(own)) return own;
  for (const std::string& other : OtherNamesInFolder(file)) {
    const std::string journal = CompanionPath(other, kJournalMark, 0);
    if (NameTaken(journal)) return journal;
  }
  return own;
}

std::string Refusal(const std::string& filePath, const std::string& journalPath,
                    const std::string& what) {
  return "The journal " + BareName(journalPath) + " beside " + BareName(filePath) + " " + what;
}

}  // namespace

std::string RollbackJournal::PathFor(const std::string& filePath) {
  return CompanionPath(FileBehindLinks(filePath), kJournalMark, 0);
}

bool RollbackJournal::JournalStandsBeside(const std::string& filePath) {
  return NameTaken(Locate(filePath));
}

RollbackJournal::Finding RollbackJournal::Examine(ExistingFile& file) {
  Finding finding;
  finding.journalPath = Locate(file.Path());
  const std::string& path = finding.journalPath;
  if (!NameTaken(path)) return finding;
  finding.kind = Finding::Kind::Refused;
  // Only a regular file is read: a pipe would never answer, a device never end.
  if (!IsRegularFile(path)) {
    finding.refusal = Refusal(file.Path(), path,
                              "is not a journal of this program (a folder, a link or a device "
                              "stands at its name): nothing was written. Move it away, then try "
                              "again");
    return finding;
  }
  try {
    ExistingFile journal = ExistingFile::OpenForReading(path);
    const OpenJournal opened = ReadHeader(journal);
    Fit fit = Fit::CutShort;
    if (opened.start == Start::Foreign) {
      finding.refusal = Refusal(file.Path(), path,
                                "is not a journal of this program: nothing was written. Move it "
                                "away, then try again");
      return finding;
    }
    if (opened.start == Start::Ours) fit = CheckFit(journal, opened, file);
    journal.Close();
    if (fit == Fit::Fits) {
      finding.kind = Finding::Kind::Fits;
    } else if (fit == Fit::CutShort) {
      finding.kind = Finding::Kind::Unfinished;
    } else {
      finding.ours = true;
      finding.refusal = Refusal(
          file.Path(), path,
          "was left by a run that was stopped, but it does not fit the file as that run left "
          "it (the file was changed, replaced or restored since), so it was not played back and "
          "nothing was written. Remove the journal to keep the file as it is, or recover the "
          "file from its backup");
    }
  } catch (const Error& error) {
    if (error.Path() != path) throw;
    finding.refusal =
        Refusal(file.Path(), path,
                std::string("cannot be read (") + error.what() + "): nothing was written");
  }
  return finding;
}

RollbackJournal RollbackJournal::Begin(ExistingFile& file, const Write& write, bool durable) {
  const std::string path = PathFor(file.Path());
  JournalFile journal = JournalFile::Create(path);
  try {
    JournalWriter writer(journal, durable);
    const std::uint64_t length = file.Length();
    const std::uint64_t newLength = write.newLength;
    std::uint8_t head[kHeaderSize];
    std::memcpy(head, kHeadMark, kMarkSize);
    Put(head + kMarkSize, length);
    Put(head + kMarkSize + 8, newLength);
    Put(head + kHeaderSize - 4, Crc32c(0, head, kHeaderSize - 4), 4);
    writer.Put(head, kHeaderSize);

    std::uint64_t grown = length;
    if (newLength > length) {
      write.growth([&](std::uint64_t position, const std::uint8_t* after, std::size_t size) {
        if (position != grown || size > newLength - grown) throw Error(kReadBeyondEnd, path);
        writer.PutChecks(position, after, size);
        grown += size;
      });
    }
    // A check missing would leave the entries read out of place.
    if (grown < newLength) throw Error(kReadBeyondEnd, path);

    std::uint64_t count = 0;
    std::uint64_t previousEnd = 0;
    write.stretches([&](std::uint64_t position, const std::uint8_t* before,
                        const std::uint8_t* after, std::size_t size) {
      // Past the old end the length puts the file back.
      if (position >= length || size == 0) return;
      size = static_cast<std::size_t>(std::min<std::uint64_t>(size, length - position));
      writer.PutEntry(position >= previousEnd ? (position - previousEnd) << 1
                                              : (previousEnd - position) << 1 | 1,
                      position, before, after, size);
      previousEnd = position + size;
      ++count;
    });
    std::uint8_t tail[kTrailerSize];
    std::memcpy(tail, kEndMark, kMarkSize);
    Put(tail + kMarkSize, count);
    writer.Put(tail, kTrailerSize - 4);
    Put(tail + kTrailerSize - 4, writer.CrcSoFar(), 4);
    writer.Put(tail + kTrailerSize - 4, 4);
    writer.Drain();
    if (durable) journal.Flush();
  } catch (...) {
    // The file is untouched yet: a journal that was not written whole goes.
    journal.Close();
    try {
      JournalFile::Remove(path, false);
    } catch (...) {
      // A journal cut short is never played back; the next run removes it.
    }
    throw;
  }
  return RollbackJournal(path, std::move(journal), durable);
}

bool RollbackJournal::RollBackInterrupted(ExistingFile& file, const Finding& finding) {
  switch (finding.kind) {
    case Finding::Kind::None:
      return false;
    case Finding::Kind::Unfinished:
      // Its run never wrote the file, or finished: the journal only goes.
      JournalFile::Remove(finding.journalPath, false);
      return false;
    case Finding::Kind::Refused:
      throw JournalRefused(file.Path(), finding);
    case Finding::Kind::Fits:
      break;
  }
  ExistingFile journal = ExistingFile::Open(finding.journalPath);
  PlayBack(journal, file, false);
  // Marked played before it goes, so that a crash that brings it back never
  // plays it over what the file holds by then. Unmarked, it fits the file it
  // put back, and its removal is flushed instead.
  bool marked = false;
  try {
    journal.WriteAt(0, kFinishedMark, kMarkSize);
    journal.Flush();
    marked = true;
  } catch (const Error&) {
    // Played again, it would put the same bytes back.
  }
  journal.Close();
  try {
    JournalFile::Remove(finding.journalPath, !marked);
  } catch (const Error&) {
    // A marked journal left behind is removed unplayed by the next run.
  }
  return true;
}

void RollbackJournal::Finish() {
  if (finished_) return;
  if (file_) {
    // Marked first: whatever becomes of the removal, the journal is never played.
    file_->WriteAt(0, kFinishedMark, kMarkSize);
    if (durable_) file_->Flush(false);
    file_->Close();
    file_.reset();
  }
  finished_ = true;
  try {
    JournalFile::Remove(path_, false);
  } catch (...) {
    // A finished journal left behind is removed unplayed by the next run.
  }
}

void RollbackJournal::RollBack(ExistingFile& file) {
  if (file_) {
    file_->Close();
    file_.reset();
  }
  ExistingFile journal = ExistingFile::OpenForReading(path_);
  PlayBack(journal, file, true);
  journal.Close();
  try {
    JournalFile::Remove(path_, durable_);
  } catch (...) {
    // The file is as it was and on the disk: a journal that stays only puts
    // the same bytes back once more.
  }
  finished_ = true;
}

}  // namespace vips
