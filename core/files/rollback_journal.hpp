#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "core/error.hpp"
#include "core/files/file_access.hpp"
#include "core/files/journal_file.hpp"

namespace vips {

// The rollback journal of one in-place write of a file.
//
// What it records: before the first byte of the file changes, a hidden file
// beside it (".NAME.vips-journal", beside the file its links lead to) gets the
// file's length before and after the write, the old bytes of every stretch
// the write may change, and a CRC-32C of what the write puts in each 512-byte
// piece of those stretches and of the room it adds past the old end; with
// `durable` it is flushed with its folder before the write begins. Once the
// file itself is flushed, the journal is marked finished (on the disk when
// durable) and removed: a finished journal that a crash brings back, or that
// could not be removed, is never played.
//
// When it is trusted: a journal that a kill or a crash leaves is played back
// (the old bytes and length put back, the file flushed, the journal removed)
// only when it fits the file as its run can have left it: the file's length
// is the old or the new one, every piece of every stretch holds its old bytes
// or the new ones, and past the old end every piece holds zeros (the room
// made before the first write) or the new bytes. A piece is 512 bytes of the
// file at a multiple of 512: a write stopped by a kill or a crash ends between
// pages or sectors, never inside one. The file's name, device and number
// decide nothing: a disk that comes back on another device, a folder copied
// with the journal, or the file reached through another of its names in the
// same folder (a hard link) all find and fit it, and another file put under
// the name, or the file edited since, does not.
//
// What happens when it is not: a journal cut short (its run stopped before
// the first write of the file, so the file is as it was) or finished goes
// unplayed. One that does not fit, something else at its name (a folder, a
// link, a device, a file of another program) or a journal that cannot be
// read stops the run with JournalRefused, which names the file and the
// journal and says how to go on; nothing is written and the journal stays.
// A journal of the previous format (which recorded the file's device and
// number, and no check of the new bytes) is played when those numbers are
// the file's and the file has its old length, else refused the same way. All of it assumes the
// caller holds the file's lock (ExistingFile::LockForWriting).
class RollbackJournal {
 public:
  // Calls `visit(position, before, after, count)` for each stretch below the
  // file's present length that the write may change, with the bytes it holds
  // now and those it will hold; overlaps are allowed.
  using StretchVisitor =
      std::function<void(std::uint64_t, const std::uint8_t*, const std::uint8_t*, std::size_t)>;
  // Calls `visit(position, after, count)` in ascending pieces from the file's
  // present length to its new one, with the bytes the write puts there.
  using GrowthVisitor = std::function<void(std::uint64_t, const std::uint8_t*, std::size_t)>;
  struct Write {
    // The file's length once written: longer, shorter or as it is.
    std::uint64_t newLength = 0;
    std::function<void(const StretchVisitor&)> stretches;
    std::function<void(const GrowthVisitor&)> growth;
  };

  // The journal's path for the file at `filePath`: beside the file its links
  // lead to. Its name always fits.
  static std::string PathFor(const std::string& filePath);

  // True when something stands at the journal's name of the file at
  // `filePath`, under any of its names in its folder.
  static bool JournalStandsBeside(const std::string& filePath);

  // What stands beside a file that a stopped run may have left half-written.
  struct Finding {
    enum class Kind {
      // No journal.
      None,
      // A journal cut short or finished: no run left the file half-written.
      Unfinished,
      // A journal that fits the file: played back, the file is as it was.
      Fits,
      // Not to be played, nor removed: `refusal` says why and what to do.
      Refused,
    };
    Kind kind = Kind::None;
    std::string journalPath;
    std::string refusal;
    // Refused, and a journal of this program: one that does not fit the file.
    bool ours = false;
  };
  // Looks for the journal of `file` (open, for reading at least) under any of
  // its names in its folder and checks it against the file. Reads only.
  static Finding Examine(ExistingFile& file);

  // Writes the journal of `file` (opened for writing and locked) for `write`,
  // from the file's present length. With `durable`, the journal is on the
  // disk when this returns.
  static RollbackJournal Begin(ExistingFile& file, const Write& write, bool durable);
  // One object per journal: a copy would finish or roll back the same file twice.
  RollbackJournal(RollbackJournal&&) = default;
  RollbackJournal& operator=(RollbackJournal&&) = default;

  // Acts on what Examine found beside `file` (opened for writing and locked):
  // a journal that fits is played back, the file flushed and the journal
  // removed (true); one cut short or finished is only removed; one that cannot
  // be trusted throws JournalRefused. A file that cannot be put back throws the
  // error, and the journal stays for the next try.
  static bool RollBackInterrupted(ExistingFile& file, const Finding& finding);

  // The write is done and flushed (or undone and flushed): the journal is
  // marked finished, then goes. A failure before the mark is on the disk
  // throws, and the journal still fits the file.
  void Finish();
  // Plays the journal back into the file it was begun for: the undo when the
  // write failed and the writer's own undo could not run.
  void RollBack(ExistingFile& file);

 private:
  RollbackJournal(std::string path, JournalFile file, bool durable)
      : path_(std::move(path)), file_(std::move(file)), durable_(durable) {}
  std::string path_;
  std::optional<JournalFile> file_;
  bool durable_ = true;
  bool finished_ = false;
};

// A journal beside the file that is not to be played: what() says which,
// naming the file and the journal, and how to go on; Path() is the file's.
class JournalRefused : public Error {
 public:
  JournalRefused(const std::string& filePath, const RollbackJournal::Finding& finding)
      : Error(finding.refusal, filePath), journalPath_(finding.journalPath), ours_(finding.ours) {}
  [[nodiscard]] const std::string& JournalPath() const { return journalPath_; }
  // A journal of this program that does not fit, not something else at its name.
  [[nodiscard]] bool Ours() const { return ours_; }

 private:
  std::string journalPath_;
  bool ours_ = false;
};

}  // namespace vips
