// Whole-table selection commands, the double-click toggle, cell drawing and
// paging.
#include <string>

#include "form/Patch1.hpp"
#include "form/handler_scopes.hpp"

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
void TForm1::ApplyToEveryRow(void (*rule)(PatchTable&, int, int, Language)) {
  BusyCursor cursor(services_);
  cursor.Show();
  const int rowCount = table_.RowCount();
  if (rowCount > 0) {
    rule(table_, 0, rowCount - 1, CurrentLanguage());
    grid_.RowsChanged(0, rowCount - 1);
  }
  cursor.Restore();
}

void TForm1::Button3Click() {
  ApplyToEveryRow(&ExecuteRows);
}
void TForm1::Button4Click() {
  ApplyToEveryRow(&CancelRows);
}
void TForm1::Button5Click() {
  ApplyToEveryRow(&InvertRows);
}

// The scroll gives the table the keyboard focus.
void TForm1::Button6Click() {
  grid_.PageDown();
  controls_.SetFocus(ControlId::StringGrid1);
}

void TForm1::Button7Click() {
  grid_.PageUp();
  controls_.SetFocus(ControlId::StringGrid1);
}

void TForm1::StringGrid1DblClick() {
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

void TForm1::StringGrid1SpacePressed() {
  const int row = grid_.Row();
  if (row < 0) return;
  grid_.SetCurrentCell(PatchTable::kMarkerColumn, row);
  StringGrid1DblClick();
}

void TForm1::StringGrid1DrawCell(CellCanvas& canvas, int ACol, int ARow, GridDrawState State) {
  // Only the address columns show the focus colour.
  Rgb fill = kMarkerFill;
  if (ACol == PatchTable::kNumberColumn) fill = kNumberFill;
  if (ACol == PatchTable::kFirstAddressColumn || ACol == PatchTable::kFinalAddressColumn) {
    fill = State.focused ? kFocusedAddressFill : kAddressFill;
  }
  if (State.focused) canvas.SetTextColour(kFocusedText);
  canvas.FillCell(fill);
  const std::string text = table_.Cell(ACol, ARow);
  if (!text.empty()) canvas.DrawText(text);
}

}  // namespace vips::form
