#include "support/fake_view.hpp"

#include <algorithm>

#include "form/layout.hpp"

namespace vips::form::testing {

void FakeView::SetText(ControlId id, std::string_view text) {
  texts[IndexOf(id)] = text;
}
void FakeView::SetEnabled(ControlId id, bool on) {
  enabled[IndexOf(id)] = on;
}
void FakeView::SetChecked(ControlId id, bool on) {
  checked[IndexOf(id)] = on;
}
void FakeView::SetTint(ControlId id, Rgb colour) {
  tints[IndexOf(id)] = colour;
}
void FakeView::SetFocus(ControlId id) {
  focus = id;
}
void FakeView::RemoveMinimizeMaximizeBoxes() {
  titleBarFixed = true;
}
void FakeView::LanguageChanged(Language language) {
  languages.push_back(language);
}

int FakeView::RowCount() const {
  return table == nullptr ? 0 : table->RowCount();
}

int FakeView::Col() const {
  return RowCount() > 0 ? column_ : -1;
}
int FakeView::Row() const {
  return RowCount() > 0 ? row_ : -1;
}

void FakeView::SetCurrentCell(int column, int row) {
  if (row < 0 || row >= RowCount() || column < 0 || column >= PatchTable::kColumns) return;
  column_ = column;
  row_ = row;
  // Just enough scrolling to show the cell whole.
  const int shown = layout::kGridWholeRowsShown;
  if (row < top_) ScrollTo(row);
  if (row >= top_ + shown) ScrollTo(row - shown + 1);
}

int FakeView::TopRow() const {
  return top_;
}

void FakeView::ScrollTo(int top) {
  // The last row at the bottom of the view is as far as the view goes.
  const int lastTop = std::max(RowCount() - layout::kGridWholeRowsShown, 0);
  top_ = std::clamp(top, 0, lastTop);
}

// A page keeps the last fully visible row in view.
void FakeView::PageDown() {
  ScrollTo(top_ + layout::kGridWholeRowsShown - 1);
}
void FakeView::PageUp() {
  ScrollTo(top_ - (layout::kGridWholeRowsShown - 1));
}

void FakeView::BeginTableChange() {
  ++openBrackets;
}

// Rebuilt as a toolkit's view is after its model was reset: no current cell,
// the scrolling kept where the new row count allows.
void FakeView::EndTableChange() {
  if (openBrackets == 0 || --openBrackets > 0) return;
  row_ = -1;
  column_ = -1;
  ScrollTo(top_);
}

void FakeView::RowsChanged(int firstRow, int lastRow) {
  changedRows.emplace_back(firstRow, lastRow);
}

void FakeView::RepaintNow() {
  ++repaints;
}

FakeWindow::FakeWindow(int localeId) : form(localeId, view, view, services) {
  view.table = &form.Table();
  for (const layout::Control& control : layout::kControls) {
    view.texts[IndexOf(control.id)] = form.Text(control.id);
    view.enabled[IndexOf(control.id)] = form.Enabled(control.id);
    view.checked[IndexOf(control.id)] = form.Checked(control.id);
  }
  form.Start();
}

void FakeWindow::Type(ControlId field, std::string_view text) {
  std::string shown = form.Text(field);
  for (char key : text) {
    form.KeyPress(field, key);
    if (key == '\b') {
      if (!shown.empty()) shown.pop_back();
    } else if (key != '\0') {
      shown += key;
    }
    view.SetText(field, shown);
    form.TextEdited(field, shown);
  }
  form.KeyUp(field);
}

void FakeWindow::Edit(ControlId field, std::string_view text) {
  view.SetText(field, text);
  form.TextEdited(field, text);
}

void FakeWindow::SetChecked(ControlId box, bool on) {
  if (form.Checked(box) == on) return;
  view.SetChecked(box, on);
  form.CheckBoxToggled(box, on);
}

}  // namespace vips::form::testing
