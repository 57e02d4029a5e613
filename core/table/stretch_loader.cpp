#include "core/table/stretch_loader.hpp"

#include <charconv>
#include <iterator>
#include <limits>

#include "core/apply/delta_patch.hpp"
#include "core/files/file_access.hpp"
#include "core/table/patch_table.hpp"

namespace vips {
namespace {

// Addresses past what an IPS address cell holds (a result over 2 GiB) are
// written as text, in the same upper-case hexadecimal.
void SetAddress(PatchTable& table, int column, int row, std::uint64_t address) {
  if (address <= static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
    table.SetAddressCell(column, row, static_cast<std::int32_t>(address));
    return;
  }
  char digits[20];
  std::string text(digits, std::to_chars(std::begin(digits), std::end(digits), address, 16).ptr);
  for (char& c : text) {
    if (c >= 'a') c = static_cast<char>(c - 'a' + 'A');
  }
  table.SetCell(column, row, text);
}

}  // namespace

bool BeginsAsDeltaPatch(const std::string& path) noexcept {
  try {
    const PatchFormat format = PatchFormatOf(path);
    return format == PatchFormat::Bps || format == PatchFormat::Ups;
  } catch (const std::exception&) {
    return false;
  }
}

void ShowStretchRows(const StretchList& stretches, PatchTable& table) {
  int row = 0;
  for (const Stretch& stretch : stretches.stretches) {
    table.SetNumberCell(row, static_cast<std::int64_t>(row) + 1);
    SetAddress(table, PatchTable::kFirstAddressColumn, row, stretch.first);
    SetAddress(table, PatchTable::kFinalAddressColumn, row, stretch.last);
    ++row;
  }
  table.SetRowCount(row);
}

DeltaListing LoadDeltaPatchIntoTable(const std::string& patchPath, const std::string& originalPath,
                                     PatchTable& table, Language language) {
  table.SetRowCount(1);
  ExistingFile original = ExistingFile::Open(originalPath);
  const DecodedDeltaPatch patch = DecodeDeltaPatch(patchPath, original);
  original.Close();

  ShowStretchRows(patch.stretches, table);
  const std::string_view marker = ExecuteMarker(language);
  for (int row = 0; row < table.RowCount(); ++row) table.SetMarkerCell(row, marker);
  return {patch.format, patch.stretches.shortensTo, patch.backwards};
}

}  // namespace vips
