// Whole-table selection commands, the double-click toggle, cell drawing and
// paging.
#include <QColor>
#include <QPainter>
#include <string>

#include "app/Patch1.hpp"
#include "app/handler_scopes.hpp"
#include "core/table/markers.hpp"

namespace {

using RowRule = void (*)(vips::PatchTable&, int, vips::Language);

// Runs to the last row without yielding: the user sees the busy cursor, then
// the whole table redrawn at once.
void ApplyToEveryRow(TForm1& form, RowRule rule) {
  vips::app::BusyCursor cursor(form.Services());
  cursor.Show();
  const int rowCount = form.StringGrid1->RowCount();
  const vips::Language language = form.CurrentLanguage();
  for (int row = 0; row < rowCount; ++row) rule(form.Table(), row, language);
  if (rowCount > 0) form.StringGrid1->MarkersChanged(0, rowCount - 1);
  cursor.Restore();
}

const QColor kNumberFill{0xFF, 0xFF, 0x99};
const QColor kAddressFill{0xCC, 0xFF, 0xCC};
const QColor kFocusedAddressFill{0xA6, 0xCA, 0xF0};
const QColor kMarkerFill{0xFF, 0xCC, 0xCC};

}  // namespace

void TForm1::Button3Click() {
  ApplyToEveryRow(*this, &vips::ExecuteRule);
}
void TForm1::Button4Click() {
  ApplyToEveryRow(*this, &vips::CancelRule);
}
void TForm1::Button5Click() {
  ApplyToEveryRow(*this, &vips::InvertRule);
}

void TForm1::Button6Click() {
  StringGrid1->PageDown();
  StringGrid1->setFocus(Qt::OtherFocusReason);
}

void TForm1::Button7Click() {
  StringGrid1->PageUp();
  StringGrid1->setFocus(Qt::OtherFocusReason);
}

void TForm1::StringGrid1DblClick() {
  const int column = StringGrid1->Col();
  const int row = StringGrid1->Row();
  // Rows at or beyond the row count keep their texts but are no part of the
  // table; a table without rows has no current cell.
  if (column < 0 || column >= vips::PatchTable::kColumns || row < 0 ||
      row >= StringGrid1->RowCount()) {
    return;
  }
  // The toggle keeps the marker's own language, whatever the interface's.
  const auto toggled = vips::ToggledMarker(Table().Cell(column, row));
  if (!toggled) return;
  Table().SetCell(column, row, *toggled);
  StringGrid1->update(StringGrid1->model()->index(row, column));
}

void TForm1::StringGrid1DrawCell(QPainter& canvas, int ACol, int ARow, const QRect& Rect,
                                 vips::app::GridDrawState State) {
  // Only the address columns show the focus colour.
  QColor fill = kMarkerFill;
  if (ACol == vips::PatchTable::kNumberColumn) fill = kNumberFill;
  if (ACol == vips::PatchTable::kFirstAddressColumn ||
      ACol == vips::PatchTable::kFinalAddressColumn) {
    fill = State.focused ? kFocusedAddressFill : kAddressFill;
  }
  if (State.focused) canvas.setPen(QColor(Qt::black));
  canvas.fillRect(Rect, fill);
  const std::string text = Table().Cell(ACol, ARow);
  if (!text.empty()) {
    canvas.drawText(Rect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                    QString::fromStdString(text));
  }
}
