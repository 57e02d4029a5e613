#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "core/files/file_access.hpp"
#include "core/files/journal_file.hpp"

namespace vips {

// A rollback journal for one in-place write of a file: before the first byte
// of the file changes, the bytes about to be overwritten and the file's
// length are written to a hidden file beside it (".NAME.vips-journal") and,
// when durable, flushed with the folder; after the file's own final flush the
// journal is removed. A kill or a crash in between leaves it behind, and the
// next run that opens the file for writing plays it back: the file is then
// exactly what it was. A journal that is not whole and ours (the marks, the
// file it belongs to, CRC-32C of everything) was never followed by a write of
// the file, and is removed unplayed. All of it assumes the writer holds the
// file's lock (ExistingFile::LockForWriting).
class RollbackJournal {
 public:
  // Calls `visit(position, bytes, count)` with the file's present bytes of
  // each stretch that the write may change, in any order; overlaps are
  // allowed (each holds what the file held before any write).
  using OldBytesVisitor = std::function<void(std::uint64_t, const std::uint8_t*, std::size_t)>;
  using OldBytes = std::function<void(const OldBytesVisitor&)>;

  // The journal's path for the file at `filePath`; its name always fits.
  static std::string PathFor(const std::string& filePath);

  // Writes the journal of `file` (opened for writing and locked, now
  // `length` bytes long) with the old bytes that `oldBytes` gives; bytes past
  // `length` need none, the length restores them. With `durable`, the journal
  // is on the disk when this returns.
  static RollbackJournal Begin(ExistingFile& file, std::uint64_t length, const OldBytes& oldBytes,
                               bool durable);
  // One object per journal: a copy would finish or roll back the same file twice.
  RollbackJournal(RollbackJournal&&) = default;
  RollbackJournal& operator=(RollbackJournal&&) = default;

  // Plays back a journal left by an interrupted run of `file` (opened for
  // writing and locked), flushes the file, and removes the journal; true when
  // there was one. One cut short, or of a file since replaced, is only
  // removed. Throws when the file cannot be put back; the journal then stays
  // for the next try.
  static bool RollBackInterrupted(ExistingFile& file);

  // The write is done and flushed (or undone and flushed): the journal goes.
  void Finish();
  // Plays the journal back into the file it was begun for: the undo when the
  // write failed and the writer's own undo could not run.
  void RollBack(ExistingFile& file);

 private:
  RollbackJournal(std::string path, bool durable) : path_(std::move(path)), durable_(durable) {}
  std::string path_;
  bool durable_ = true;
  bool finished_ = false;
};

}  // namespace vips
