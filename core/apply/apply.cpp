#include "core/apply/apply.hpp"

#include <optional>

#include "core/apply/in_place_write.hpp"
#include "core/apply/record_writer.hpp"
#include "core/error.hpp"
#include "core/ips/reader.hpp"
#include "core/table/patch_table.hpp"

namespace vips {
namespace {

// Lays the record whose head `reader` has just read into `writer` when it is
// wanted; a data record's bytes are read either way.
void LayRecord(IpsReader& reader, const IpsRecord& record, bool wanted, RecordWriter& writer) {
  auto at = static_cast<std::uint64_t>(record.offset);
  if (record.IsRun()) {
    if (wanted) writer.Fill(at, record.run.value, record.run.runLength);
  } else if (wanted) {
    reader.ReadData(record.size, [&writer, &at](const std::uint8_t* bytes, std::size_t length) {
      writer.Write(at, bytes, length);
      at += length;
    });
  } else {
    reader.SkipData(record.size);
  }
}

}  // namespace

ApplyResult ApplyMarkedRecords(const std::string& originalPath, const std::string& patchPath,
                               PatchTable& table) {
  table.SetRowCount(1);

  // Only a real patch has the original opened after it, so a missing or
  // read-only original is reported only for a patch.
  std::optional<IpsReader> reader = IpsReader::Open(patchPath);
  if (!reader) return ApplyResult::BadHeader;
  // One writer at a time among our own processes: a second apply or recover
  // of this file fails here, before anything is read or written.
  ExistingFile original = ExistingFile::OpenLocked(originalPath);
  // Writing a patch into itself would change the records while they are read.
  if (IdentityOf(patchPath) == original.Identity()) throw Error(kFileAccessDenied, originalPath);
  // Marked records are gathered first and reach the file only once the
  // patch has read through to its end marker: a cut patch writes nothing.
  RecordWriter writer;

  // Records are paired with rows by position.
  for (int row = 0;; ++row) {
    IpsRecord record;
    record.offset = reader->ReadOffset();
    table.SetNumberCell(row, static_cast<std::int64_t>(row) + 1);
    table.SetAddressCell(PatchTable::kFirstAddressColumn, row, record.offset);
    if (record.offset == kEndMarkerOffset) break;

    record.size = reader->ReadSize();
    table.SetRowCount(table.RowCount() + 1);
    if (record.IsRun()) record.run = reader->ReadRunBody();
    LayRecord(*reader, record, table.MarkerIsExecute(row), writer);
  }

  // Drops the row that the end marker began.
  table.SetRowCount(table.RowCount() - 1);
  reader->Close();
  // Flushed to the disk before Go reports success; an earlier Go or apply
  // that was stopped half-way is taken back first.
  (void)WriteRecordsInPlace(original, writer, true);
  original.Close();
  return ApplyResult::Applied;
}

bool GatherRecords(const std::string& path, const std::vector<bool>& chosen, RecordWriter& writer) {
  std::optional<IpsReader> reader = IpsReader::Open(path);
  if (!reader) return false;
  IpsRecord record;
  for (std::size_t index = 0; reader->ReadRecordHead(record); ++index) {
    LayRecord(*reader, record, chosen.empty() || (index < chosen.size() && chosen[index]), writer);
  }
  reader->Close();
  return true;
}

}  // namespace vips
