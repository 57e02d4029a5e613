#include "core/apply/in_place_write.hpp"

#include <exception>
#include <new>
#include <optional>

#include "core/files/path_names.hpp"
#include "core/files/rollback_journal.hpp"

namespace vips {
namespace {

constexpr const char* kDamaged =
    " could not be restored: the file is damaged; recover it from its backup";

// The text of the error in flight, for a file's message.
std::string TextOf(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const std::bad_alloc&) {
    return "Out of memory";
  } catch (const std::exception& error) {
    return error.what();
  } catch (...) {
    return "unknown error";
  }
}

}  // namespace

DamagedFile::DamagedFile(const std::string& path, std::string cause)
    : Error(BareName(path) + kDamaged, path), cause_(std::move(cause)) {}

bool RollBackInterruptedRun(ExistingFile& file) {
  const RollbackJournal::Finding finding = RollbackJournal::Examine(file);
  if (finding.kind != RollbackJournal::Finding::Kind::Fits) {
    return RollbackJournal::RollBackInterrupted(file, finding);
  }
  try {
    return RollbackJournal::RollBackInterrupted(file, finding);
  } catch (const std::exception&) {
    throw DamagedFile(file.Path(), TextOf(std::current_exception()));
  }
}

bool RollBackInterruptedRunAt(const std::string& path) {
  if (!RollbackJournal::JournalStandsBeside(path)) return false;
  ExistingFile file = ExistingFile::OpenLocked(path);
  const bool rolledBack = RollBackInterruptedRun(file);
  file.Close();
  return rolledBack;
}

InPlaceOutcome WriteRecordsInPlace(ExistingFile& file, RecordWriter& records, bool durable) {
  InPlaceOutcome outcome;
  outcome.rolledBackEarlierRun = RollBackInterruptedRun(file);
  if (records.Empty()) return outcome;
  // Where overwriting takes fresh space, a write that finds the disk full
  // half-way could not be undone either (the undo needs fresh space too): the
  // room for the journal, the write and its undo is there before anything is
  // written, with a margin for the file system's own records, or the write is
  // refused as a full disk while the file is as it was.
  if (const std::optional<std::uint64_t> free = file.FreshSpaceForOverwrites()) {
    constexpr std::uint64_t kMargin = std::uint64_t{8} << 20;
    const std::uint64_t length = file.Length();
    const std::uint64_t growth =
        records.FinalLength(length) - std::min(records.FinalLength(length), length);
    if (*free < 3 * records.SpanBytes() + growth + kMargin) throw Error(kDiskFull, file.Path());
  }
  std::optional<RollbackJournal> journal;
  try {
    const std::uint64_t length = file.Length();
    RollbackJournal::Write write;
    write.newLength = records.FinalLength(length);
    // The pages the records touch are read once: for the journal, and for the
    // write that follows.
    write.stretches = [&](const RollbackJournal::StretchVisitor& visit) {
      (void)records.Compose(file, visit);
    };
    write.growth = [&](const RollbackJournal::GrowthVisitor& visit) {
      records.ForEachGrowth(length, visit);
    };
    journal.emplace(RollbackJournal::Begin(file, write, durable));
  } catch (...) {
    // Nothing of the file has changed yet. Every failure is named by the
    // file: the journal is the file's business.
    throw Error(TextOf(std::current_exception()), file.Path());
  }
  try {
    outcome.changed = records.WriteComposed(file, durable);
    if (durable) file.Flush();
    journal->Finish();
  } catch (...) {
    const std::exception_ptr failure = std::current_exception();
    try {
      // A write or a flush that failed, or a journal that could not be marked
      // finished (it would take the records back at the next run): the
      // journal puts the file back now, and on the disk.
      journal->RollBack(file);
    } catch (...) {
      throw DamagedFile(file.Path(), TextOf(failure));
    }
    throw Error(TextOf(failure), file.Path());
  }
  return outcome;
}

}  // namespace vips
