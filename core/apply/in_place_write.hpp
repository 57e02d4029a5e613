#pragma once

#include <string>

#include "core/error.hpp"
#include "core/files/file_access.hpp"
#include "core/apply/record_writer.hpp"

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

// What an in-place write found and did.
struct InPlaceOutcome {
  // The records changed the file (a byte, or its length).
  bool changed = false;
  // An earlier run of this program had been stopped in the middle of its
  // write to this file; what it wrote was taken back first.
  bool rolledBackEarlierRun = false;
};

// Writes `records` into `file` (opened for writing and locked) so that the
// file is either as it was or patched, whatever stops the write: a failure
// the program sees, a kill, a crash of the machine.
//
// First a journal left by an interrupted earlier run is played back. Then the
// old bytes of every stretch that the records write are journaled beside the
// file (RollbackJournal), the records are written, and with `durable` the
// file is flushed to the disk before the journal is removed: "done" then
// means on the disk. A write or flush that fails is undone (by the writer, or
// from the journal when the writer's undo could not) and its error thrown on;
// when the file cannot be put back, DamagedFile is thrown and the journal is
// kept, so that the next run can still try.
//
// Without `durable` nothing is flushed: a killed run is still rolled back by
// the next one, but a crash of the machine may lose any of it.
InPlaceOutcome WriteRecordsInPlace(ExistingFile& file, RecordWriter& records, bool durable);

// Plays back what an interrupted run left in `file` (opened for writing and
// locked), as WriteRecordsInPlace does first; true when there was one.
// Throws DamagedFile when the file cannot be put back.
bool RollBackInterruptedRun(ExistingFile& file);

}  // namespace vips
