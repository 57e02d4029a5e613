#include "core/table/markers.hpp"

#include "core/table/patch_table.hpp"

namespace vips {

std::optional<std::string_view> ToggledMarker(std::string_view text) {
  if (text == kExecuteRussian) return kSkipRussian;
  if (text == kExecuteEnglish) return kSkipEnglish;
  if (text == kSkipRussian) return kExecuteRussian;
  if (text == kSkipEnglish) return kExecuteEnglish;
  return std::nullopt;
}

// Execute and cancel write their marker over any text; invert writes the
// skip marker only over the current language's execute marker.
void ExecuteRows(PatchTable& table, int firstRow, int lastRow, Language language) {
  const std::string_view execute = ExecuteMarker(language);
  table.RewriteMarkers(firstRow, lastRow, execute, execute, execute);
}

void CancelRows(PatchTable& table, int firstRow, int lastRow, Language language) {
  const std::string_view skip = SkipMarker(language);
  table.RewriteMarkers(firstRow, lastRow, skip, skip, skip);
}

void InvertRows(PatchTable& table, int firstRow, int lastRow, Language language) {
  const std::string_view execute = ExecuteMarker(language);
  table.RewriteMarkers(firstRow, lastRow, execute, SkipMarker(language), execute);
}

}  // namespace vips
