#include "core/table/patch_loader.hpp"

#include <optional>

#include "core/files/file_access.hpp"
#include "core/ips/reader.hpp"
#include "core/table/markers.hpp"
#include "core/table/patch_table.hpp"

namespace vips {

LoadResult LoadPatchIntoTable(const std::string& patchPath, const std::string& originalPath,
                              PatchTable& table, Language language) {
  // The row about to be filled; it keeps its old texts until overwritten.
  table.SetRowCount(1);

  // Loading touches no byte of the original file; it only has to be
  // possible to open it the way the applier will.
  std::optional<IpsReader> reader = IpsReader::Open(patchPath);
  if (!reader) return LoadResult::BadHeader;
  ExistingFile original = ExistingFile::Open(originalPath);

  ListRecordsInTable(*reader, table, language);
  reader->Close();
  original.Close();
  return LoadResult::Loaded;
}

void ListRecordsInTable(IpsReader& reader, PatchTable& table, Language language) {
  table.SetRowCount(1);
  const std::string_view marker = ExecuteMarker(language);
  for (int row = 0;; ++row) {
    const std::int32_t offset = reader.ReadOffset();
    table.SetNumberCell(row, static_cast<std::int64_t>(row) + 1);
    table.SetAddressCell(PatchTable::kFirstAddressColumn, row, offset);
    if (offset == kEndMarkerOffset) break;

    const std::uint16_t size = reader.ReadSize();
    const std::uint32_t count = size != 0 ? size : reader.ReadRunBody().runLength;
    table.SetAddressCell(PatchTable::kFinalAddressColumn, row, FinalAddress(offset, count));
    table.SetMarkerCell(row, marker);
    table.SetRowCount(table.RowCount() + 1);
    // The data bytes are not kept: the applier reads them again.
    reader.SkipData(size);
  }

  // Drops the row that the end marker began.
  table.SetRowCount(table.RowCount() - 1);
}

}  // namespace vips
