#include "form/marked_rows.hpp"

#include <optional>

namespace vips::form {

ApplyResult ApplyMarkedRows(const std::string& originalPath, const std::string& patchPath,
                            PatchTable& table, ExistingFile* locked) {
  table.SetRowCount(1);

  // Only a real patch has the original opened after it, so a missing or
  // read-only original is reported only for a patch.
  std::optional<IpsReader> reader = IpsReader::Open(patchPath);
  if (!reader) return ApplyResult::BadHeader;
  // One writer at a time among our own processes: a second apply or recover
  // of this file fails here, before anything is read or written.
  std::optional<ExistingFile> opened;
  if (!locked) opened.emplace(ExistingFile::OpenLocked(originalPath));
  ExistingFile& original = locked ? *locked : *opened;
  // Writing a patch into itself would change the records while they are read.
  if (IdentityOf(patchPath) == original.Identity()) throw Error(kFileAccessDenied, originalPath);

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
