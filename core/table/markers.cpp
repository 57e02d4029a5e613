#include "core/table/markers.hpp"

#include "core/table/patch_table.hpp"

namespace vips {

std::string_view ExecuteMarker(Language language) {
  return language == Language::Russian ? kExecuteRussian : kExecuteEnglish;
}

std::string_view SkipMarker(Language language) {
  return language == Language::Russian ? kSkipRussian : kSkipEnglish;
}

bool IsExecuteMarker(std::string_view text) {
  return text == kExecuteRussian || text == kExecuteEnglish;
}

std::optional<std::string_view> ToggledMarker(std::string_view text) {
  if (text == kExecuteRussian) return kSkipRussian;
  if (text == kExecuteEnglish) return kSkipEnglish;
  if (text == kSkipRussian) return kExecuteRussian;
  if (text == kSkipEnglish) return kExecuteEnglish;
  return std::nullopt;
}

namespace {

// The rules act only on rows of the table that carry some marker text; an
// empty marker cell is no record row.
bool IsRuleTarget(const PatchTable& table, int row) {
  return row >= 0 && row < table.RowCount() && !table.MarkerIsEmpty(row);
}

}  // namespace

void ExecuteRule(PatchTable& table, int row, Language language) {
  if (!IsRuleTarget(table, row)) return;
  table.SetMarkerCell(row, ExecuteMarker(language));
}

void CancelRule(PatchTable& table, int row, Language language) {
  if (!IsRuleTarget(table, row)) return;
  table.SetMarkerCell(row, SkipMarker(language));
}

void InvertRule(PatchTable& table, int row, Language language) {
  if (!IsRuleTarget(table, row)) return;
  const bool isCurrentExecute =
      table.Cell(PatchTable::kMarkerColumn, row) == ExecuteMarker(language);
  table.SetMarkerCell(row, isCurrentExecute ? SkipMarker(language) : ExecuteMarker(language));
}

}  // namespace vips
