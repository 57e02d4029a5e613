// Whole-table selection commands, the double-click toggle, cell drawing and
// paging.
#include <string>

#include "form/handler_scopes.hpp"
#include "form/window_logic.hpp"

namespace vips::form {
namespace {

constexpr Rgb kNumberFill{0xFF, 0xFF, 0x99};
constexpr Rgb kAddressFill{0xCC, 0xFF, 0xCC};
constexpr Rgb kFocusedAddressFill{0xA6, 0xCA, 0xF0};
constexpr Rgb kMarkerFill{0xFF, 0xCC, 0xCC};
constexpr Rgb kFocusedText{0, 0, 0};

}  // namespace

// Runs to the last row without yielding: the user sees the busy cursor, then
// the whole table redrawn at once. The rule takes all rows in one call.
void WindowLogic::ApplyToEveryRow(void (*rule)(PatchTable&, int, int, Language)) {
  BusyCursor cursor(services_);
  cursor.Show();
  const int rowCount = table_.RowCount();
  if (rowCount > 0) {
    rule(table_, 0, rowCount - 1, CurrentLanguage());
    grid_.RowsChanged(0, rowCount - 1);
  }
  cursor.Restore();
}

void WindowLogic::ExecuteAll() {
  ApplyToEveryRow(&ExecuteRows);
}
void WindowLogic::CancelAll() {
  ApplyToEveryRow(&CancelRows);
}
void WindowLogic::InvertAll() {
  ApplyToEveryRow(&InvertRows);
}

// The scroll gives the table the keyboard focus.
void WindowLogic::PageDown() {
  grid_.PageDown();
  controls_.SetFocus(ControlId::Grid);
}

void WindowLogic::PageUp() {
  grid_.PageUp();
  controls_.SetFocus(ControlId::Grid);
}

void WindowLogic::ToggleCurrentMarker() {
  const int column = grid_.Col();
  const int row = grid_.Row();
  // Rows at or beyond the row count keep their texts but are no part of the
  // table; a table without rows has no current cell.
  if (column < 0 || column >= PatchTable::kColumns || row < 0 || row >= table_.RowCount()) return;
  // The toggle keeps the marker's own language, whatever the interface's.
  const auto toggled = ToggledMarker(table_.Cell(column, row));
  if (!toggled) return;
  table_.SetCell(column, row, *toggled);
  grid_.RowsChanged(row, row);
}

void WindowLogic::ToggleMarkerOfCurrentRow() {
  const int row = grid_.Row();
  if (row < 0) return;
  grid_.SetCurrentCell(PatchTable::kMarkerColumn, row);
  ToggleCurrentMarker();
}

void WindowLogic::DrawCell(CellCanvas& canvas, int column, int row, GridDrawState state) {
  // Only the address columns show the focus colour.
  Rgb fill = kMarkerFill;
  if (column == PatchTable::kNumberColumn) fill = kNumberFill;
  if (column == PatchTable::kFirstAddressColumn || column == PatchTable::kFinalAddressColumn) {
    fill = state.focused ? kFocusedAddressFill : kAddressFill;
  }
  if (state.focused) canvas.SetTextColour(kFocusedText);
  canvas.FillCell(fill);
  const std::string text = table_.Cell(column, row);
  if (!text.empty()) canvas.DrawText(text);
}

}  // namespace vips::form
