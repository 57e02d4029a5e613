#include "form/marked_rows.hpp"

#include <optional>
#include <vector>

namespace vips::form {
namespace {

// A BPS or UPS patch is decoded again against the file as it is now (it may
// have changed since it was listed); stretches are paired with rows by
// position. A refusal throws before anything is written and leaves the
// table as it was.
ApplyResult ApplyMarkedStretches(const std::string& patchPath, PatchTable& table,
                                 ExistingFile& original, bool listedBackwards) {
  const DecodedDeltaPatch patch = DecodeDeltaPatch(patchPath, original);
  // A UPS patch applies both ways: a second Go after a whole one would take
  // the file back.
  if (patch.backwards != listedBackwards) return ApplyResult::AlreadyApplied;
  const std::size_t count = patch.stretches.stretches.size();
  // Row k's execute marker (either language) chooses stretch k; rows beyond
  // the row count keep theirs, for a file that changed since the listing.
  std::vector<bool> chosen(count);
  for (std::size_t index = 0; index < count; ++index) {
    chosen[index] = table.MarkerIsExecute(static_cast<int>(index));
  }
  RecordWriter stretches;
  GatherStretches(patch, chosen, stretches);
  ShowStretchRows(patch.stretches, table);
  (void)WriteRecordsInPlace(original, stretches, true);
  return ApplyResult::Applied;
}

// The original file to write: `locked` when the caller holds it, otherwise
// opened into `opened` and locked against a second apply or recover of this
// file by our own processes, which then fails here, before anything is read
// or written. Writing a patch into itself would change it while it is read.
ExistingFile& OriginalToWrite(const std::string& originalPath, const std::string& patchPath,
                              ExistingFile* locked, std::optional<ExistingFile>& opened) {
  if (!locked) opened.emplace(ExistingFile::OpenLocked(originalPath));
  ExistingFile& original = locked ? *locked : *opened;
  if (IdentityOf(patchPath) == original.Identity()) throw Error(kFileAccessDenied, originalPath);
  return original;
}

}  // namespace

ApplyResult ApplyMarkedRows(const std::string& originalPath, const std::string& patchPath,
                            PatchTable& table, ExistingFile* locked, bool listedBackwards) {
  if (BeginsAsDeltaPatch(patchPath)) {
    std::optional<ExistingFile> opened;
    const ApplyResult result = ApplyMarkedStretches(
        patchPath, table, OriginalToWrite(originalPath, patchPath, locked, opened),
        listedBackwards);
    if (opened) opened->Close();
    return result;
  }

  table.SetRowCount(1);

  // Only a real patch has the original opened after it, so a missing or
  // read-only original is reported only for a patch.
  std::optional<IpsReader> reader = IpsReader::Open(patchPath);
  if (!reader) return ApplyResult::BadHeader;
  std::optional<ExistingFile> opened;
  ExistingFile& original = OriginalToWrite(originalPath, patchPath, locked, opened);

  // The chosen records reach the file only once the patch has read through
  // to its end marker: a cut patch writes nothing. The rows are re-counted
  // on the same walk: each record read shows its row and the one after it,
  // which the next record fills.
  RecordWriter records;
  GatherMarkedRows(*reader, table, records);
  reader->Close();

  // Flushed to the disk before Go reports success; an earlier Go or apply
  // that was stopped half-way is taken back first.
  (void)WriteRecordsInPlace(original, records, true);
  if (opened) opened->Close();
  return ApplyResult::Applied;
}

void GatherMarkedRows(IpsReader& reader, PatchTable& table, RecordWriter& records) {
  std::size_t count = 0;
  GatherRecords(
      reader, records,
      // Row k's execute marker (either language) chooses record k; rows
      // beyond the row count keep theirs, for a patch grown since listed.
      [&table](std::size_t index) { return table.MarkerIsExecute(static_cast<int>(index)); },
      [&table, &count](std::size_t index, std::int32_t offset) {
        const auto row = static_cast<int>(index);
        table.SetNumberCell(row, static_cast<std::int64_t>(row) + 1);
        table.SetAddressCell(PatchTable::kFirstAddressColumn, row, offset);
        table.SetRowCount(row + 2);
        count = index + 1;
      });
  // The end marker's row, which the count then drops, as the loader leaves it.
  const auto end = static_cast<int>(count);
  table.SetNumberCell(end, static_cast<std::int64_t>(end) + 1);
  table.SetAddressCell(PatchTable::kFirstAddressColumn, end, kEndMarkerOffset);
  table.SetRowCount(end);
}

}  // namespace vips::form
