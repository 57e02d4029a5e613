#pragma once

#include <cstdint>
#include <string_view>

#include "form/control_id.hpp"
#include "form/core.hpp"

namespace vips::form {

// A colour as (red, green, blue).
struct Rgb {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
  friend constexpr bool operator==(const Rgb&, const Rgb&) = default;
};

// What the window's logic shows through its controls. The logic holds every
// value (texts, enabled and checked states) and tells the view each change;
// the view tells the logic what the user changed (WindowLogic::TextEdited,
// WindowLogic::CheckBoxToggled). Texts are UTF-8.
class ControlsView {
 public:
  virtual ~ControlsView() = default;

  // The caption or text of a control; for Window the window title. The status
  // line sizes itself to its text; a label never shrinks below its designed
  // width.
  virtual void SetText(ControlId id, std::string_view text) = 0;
  virtual void SetEnabled(ControlId id, bool enabled) = 0;
  virtual void SetChecked(ControlId id, bool checked) = 0;
  // Background colour of an edit field.
  virtual void SetTint(ControlId id, Rgb colour) = 0;
  virtual void SetFocus(ControlId id) = 0;
  // The title bar keeps the system menu and the close button only.
  virtual void RemoveMinimizeMaximizeBoxes() = 0;
  // The interface language has been chosen or switched: the toolkit's own
  // texts (dialog buttons, context menus) may follow it.
  virtual void LanguageChanged(Language language) = 0;
};

// The patch table's view. Its rows are the logic's PatchTable (cell texts
// and row count); the view keeps the current cell and the scrolling.
class GridView {
 public:
  virtual ~GridView() = default;

  [[nodiscard]] virtual int Col() const = 0;  // current cell's column, -1 if none
  [[nodiscard]] virtual int Row() const = 0;  // current cell's row, -1 if none
  // Makes the cell current and scrolls just enough to show it whole.
  virtual void SetCurrentCell(int column, int row) = 0;
  [[nodiscard]] virtual int TopRow() const = 0;
  // Page-wise scrolling as the vertical scroll bar's page areas do: down
  // makes the last fully visible row the top row, up the reverse; stops at
  // the ends.
  virtual void PageDown() = 0;
  virtual void PageUp() = 0;
  // Around a change of the row count or of many cells made straight on the
  // table (loading, applying); brackets nest. At the end the view is rebuilt
  // for the table's row count.
  virtual void BeginTableChange() = 0;
  virtual void EndTableChange() = 0;
  // Cells in rows [firstRow, lastRow] were rewritten.
  virtual void RowsChanged(int firstRow, int lastRow) = 0;
  // Draws the table now, before a long walk keeps the window from it.
  virtual void RepaintNow() = 0;
};

// What the cell-drawing handler is told about a cell.
struct GridDrawState {
  bool selected = false;
  bool focused = false;  // the table has the keyboard focus and this is its current cell
};

// Where DrawCell draws one cell: the cell's rectangle, with the
// grid's font and the view's normal text colour already set.
class CellCanvas {
 public:
  virtual ~CellCanvas() = default;
  virtual void SetTextColour(Rgb colour) = 0;
  virtual void FillCell(Rgb colour) = 0;
  // At the cell's top left, on one line.
  virtual void DrawText(std::string_view text) = 0;
};

}  // namespace vips::form
