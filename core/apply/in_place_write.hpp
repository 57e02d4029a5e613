#pragma once

#include <string>

#include "core/apply/record_writer.hpp"
#include "core/error.hpp"
#include "core/files/file_access.hpp"

namespace vips {

// A write that failed and could not be undone: the file is neither as it was
// nor patched. what() names the file by its bare name and says what to do;
// Cause() is the error that stopped the write.
class DamagedFile : public Error {
 public:
  DamagedFile(const std::string& path, std::string cause);
  [[nodiscard]] const std::string& Cause() const { return cause_; }

 private:
  std::string cause_;
};

// What an in-place write did: whether the records changed the file (a byte,
// or its length), and whether the write of an earlier run of this program,
// stopped half-way, was taken back first.
struct InPlaceOutcome {
  bool changed = false;
  bool rolledBackEarlierRun = false;
};

// Writes `records` into `file` (opened for writing and locked) so that the
// file is either as it was or patched, whatever stops the write: a failure
// the program sees, a kill, a crash of the machine. A journal left by an
// interrupted earlier run is played back first; then the old bytes of every
// stretch the records cover are journaled beside the file (RollbackJournal),
// the pages that change written and, with `durable`, the file flushed to the
// disk before the journal goes ("done" means on the disk). A write or flush
// that fails is undone from the journal and its error thrown on; a file that
// cannot be put back throws DamagedFile and keeps its journal for the next
// run to try. Without `durable` nothing is flushed: a killed run is still
// rolled back by the next one, but a crash of the machine may lose any of it.
InPlaceOutcome WriteRecordsInPlace(ExistingFile& file, RecordWriter& records, bool durable);

// Plays back what an interrupted run left in `file` (opened for writing and
// locked), as WriteRecordsInPlace does first; true when there was one.
// Throws DamagedFile when the file cannot be put back.
bool RollBackInterruptedRun(ExistingFile& file);

// The same for the file at `path`, which is opened (for writing, locked) only
// when a journal stands beside it: a file that no run left half-written is
// not touched, a read-only one included. True when a journal was played back.
bool RollBackInterruptedRunAt(const std::string& path);

}  // namespace vips
