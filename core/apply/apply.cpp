#include "core/apply/apply.hpp"

#include <optional>

#include "core/apply/in_place_write.hpp"
#include "core/apply/opened_patch.hpp"
#include "core/apply/record_writer.hpp"
#include "core/error.hpp"
#include "core/table/patch_table.hpp"

namespace vips {

ApplyResult ApplyMarkedRecords(const std::string& originalPath, const std::string& patchPath,
                               PatchTable& table) {
  table.SetRowCount(1);

  std::optional<OpenedPatch> files = OpenPatchThenOriginal(patchPath, originalPath);
  if (!files) return ApplyResult::BadHeader;
  IpsReader& reader = files->reader;
  ExistingFile& original = files->original;
  // One writer at a time among our own processes: a second apply or recover
  // of this file fails here, before anything is read or written.
  original.LockForWriting();
  // Another program may have renamed a file over the path meanwhile: the file
  // patched is the one the path names.
  if (IdentityOf(originalPath) != original.Identity())
    original = ExistingFile::OpenLocked(originalPath);
  // Writing a patch into itself would change the records while they are read.
  if (IdentityOf(patchPath) == original.Identity()) throw Error(kFileAccessDenied, originalPath);
  // Marked records are gathered first and reach the file only once the
  // patch has read through to its end marker: a cut patch writes nothing.
  RecordWriter writer;

  // Records are paired with rows by position.
  for (int row = 0;; ++row) {
    const std::int32_t offset = reader.ReadOffset();
    table.SetNumberCell(row, static_cast<std::int64_t>(row) + 1);
    table.SetAddressCell(PatchTable::kFirstAddressColumn, row, offset);
    if (offset == kEndMarkerOffset) break;

    const std::uint16_t size = reader.ReadSize();
    table.SetRowCount(table.RowCount() + 1);
    const bool marked = table.MarkerIsExecute(row);
    const auto position = static_cast<std::uint64_t>(offset);
    if (size != 0) {
      if (marked) {
        std::uint64_t at = position;
        reader.ReadData(size, [&writer, &at](const std::uint8_t* bytes, std::size_t length) {
          writer.Write(at, bytes, length);
          at += length;
        });
      } else {
        reader.SkipData(size);
      }
    } else {
      const RunBody run = reader.ReadRunBody();
      if (marked) writer.Fill(position, run.value, run.runLength);
    }
  }

  // Drops the row that the end marker began.
  table.SetRowCount(table.RowCount() - 1);
  reader.Close();
  // Flushed to the disk before Go reports success; an earlier Go or apply
  // that was stopped half-way is taken back first.
  (void)WriteRecordsInPlace(original, writer, true);
  original.Close();
  return ApplyResult::Applied;
}

}  // namespace vips
