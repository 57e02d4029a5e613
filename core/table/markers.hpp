#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vips {

class PatchTable;

// The interface language; it decides which marker texts the rules write.
enum class Language { English, Russian };

// The four row markers. Spaces are part of the texts and of every comparison.
inline constexpr std::string_view kExecuteEnglish = "Execute";
inline constexpr std::string_view kExecuteRussian = "Выполнить";
inline constexpr std::string_view kSkipEnglish = "No                   *";
inline constexpr std::string_view kSkipRussian = "Нет                  *";

constexpr std::string_view ExecuteMarker(Language language) {
  return language == Language::Russian ? kExecuteRussian : kExecuteEnglish;
}
constexpr std::string_view SkipMarker(Language language) {
  return language == Language::Russian ? kSkipRussian : kSkipEnglish;
}

// The double-click toggle: a marker becomes its counterpart in its own
// language; any other text gives nothing.
std::optional<std::string_view> ToggledMarker(std::string_view text);

// Row rules on the marker cells of the rows firstRow..lastRow, in one pass
// (a single row is firstRow == lastRow); a row whose marker cell is empty is
// no record row and stays as it is. Rows outside the table are ignored.
void ExecuteRows(PatchTable& table, int firstRow, int lastRow, Language language);
void CancelRows(PatchTable& table, int firstRow, int lastRow, Language language);
void InvertRows(PatchTable& table, int firstRow, int lastRow, Language language);

}  // namespace vips
