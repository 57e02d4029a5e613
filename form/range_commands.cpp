// Range fields (key filter, clamp, normalisation) and the range commands.
#include <algorithm>
#include <cstdint>
#include <string>

#include "form/handler_scopes.hpp"
#include "form/window_logic.hpp"

namespace vips::form {
namespace {

// Only the digits and backspace reach a range field from the keyboard.
void FilterRangeKey(char& key) {
  const bool digit = key >= '0' && key <= '9';
  if (!digit && key != '\b') key = '\0';
}

constexpr ControlId kRangeFields[] = {ControlId::ExecuteFrom, ControlId::ExecuteTo,
                                      ControlId::CancelFrom,  ControlId::CancelTo,
                                      ControlId::InvertFrom,  ControlId::InvertTo};

}  // namespace

bool WindowLogic::IsRangeField(ControlId id) {
  return std::find(std::begin(kRangeFields), std::end(kRangeFields), id) != std::end(kRangeFields);
}

void WindowLogic::KeyPress(ControlId id, char& key) {
  if (IsRangeField(id)) FilterRangeKey(key);
}

void WindowLogic::KeyUp(ControlId id) {
  if (IsRangeField(id)) ClampRangeField(id);
}

std::string WindowLogic::FilterRangeText(ControlId id, std::string_view text, bool pasted) {
  std::string kept;
  for (std::size_t at = 0; at < text.size();) {
    // One character at a time, however many bytes it takes: a character
    // that the single-byte set cannot hold is seen as '?', as the system's
    // conversion does, so that no digit of another script slips through.
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = 1;
    if (lead >= 0xF0) {
      length = 4;
    } else if (lead >= 0xE0) {
      length = 3;
    } else if (lead >= 0xC0) {
      length = 2;
    }
    length = std::min(length, text.size() - at);
    char key = lead < 0x80 ? static_cast<char>(lead) : '?';
    KeyPress(id, key);
    if (key != '\0' && !(pasted && key == '\b')) kept.append(text.substr(at, length));
    at += length;
  }
  return kept;
}

void WindowLogic::ClampRangeField(ControlId field) {
  if (Text(field).empty()) return;
  try {
    const std::int32_t value = StrToInt(Text(field));
    // The row count, not the number of records: 12 before any patch, and
    // never a bound below 1.
    const int bound = std::max(table_.RowCount(), 1);
    if (value > bound) SetText(field, std::to_string(bound));
  } catch (const Error& error) {
    ReportError(error.what());
  }
}

void WindowLogic::NormalizeRangeFields() {
  for (const ControlId field : kRangeFields) {
    if (Text(field).empty()) SetText(field, "1");
  }
  // Stops at the first field that is no number; the fields before it have
  // been rewritten already. "007" is left as typed.
  for (const ControlId field : kRangeFields) {
    if (StrToInt(Text(field)) == 0) SetText(field, "1");
  }
}

void WindowLogic::ExecuteRange() {
  RangeCommand(ControlId::ExecuteFrom, ControlId::ExecuteTo, &ExecuteRows);
}
void WindowLogic::CancelRange() {
  RangeCommand(ControlId::CancelFrom, ControlId::CancelTo, &CancelRows);
}
void WindowLogic::InvertRange() {
  RangeCommand(ControlId::InvertFrom, ControlId::InvertTo, &InvertRows);
}

void WindowLogic::RangeCommand(ControlId from, ControlId to,
                               void (*rule)(PatchTable&, int, int, Language)) {
  BusyCursor cursor(services_);
  try {
    NormalizeRangeFields();
    cursor.Show();
    const std::int64_t first = StrToInt(Text(from));
    const std::int64_t last = StrToInt(Text(to));
    // Record k is row k - 1. Only rows inside the table are visited: a part
    // of the range beyond the last row, or before the first (a pasted
    // negative "from"), changes nothing, and a huge "to" costs nothing.
    if (last >= first) {
      const std::int64_t firstRow = std::max<std::int64_t>(first - 1, 0);
      const std::int64_t lastRow = std::min<std::int64_t>(last - 1, table_.RowCount() - 1);
      if (firstRow <= lastRow) {
        rule(table_, static_cast<int>(firstRow), static_cast<int>(lastRow), CurrentLanguage());
        grid_.RowsChanged(static_cast<int>(firstRow), static_cast<int>(lastRow));
      }
    }
    cursor.Restore();
  } catch (const Error& error) {
    // Only the normalisation can fail, before the busy cursor is shown.
    ReportError(error.what());
  }
}

}  // namespace vips::form
