#pragma once

#include <windows.h>

namespace vips::win32 {

// What the cell-drawing handler is told about a cell.
struct GridCellState {
  bool selected = false;  // the current cell
  bool focused = false;   // the current cell while the grid has the keyboard focus
};

// What the grid asks of its owner: it stores no rows, it only draws them.
class StringGridClient {
 public:
  virtual ~StringGridClient() = default;
  // Draws one cell into `dc`, which holds the grid's font, the normal text
  // colour and a transparent text background.
  virtual void DrawCell(HDC dc, int column, int row, const RECT& rect, GridCellState state) = 0;
  // A double-click anywhere in the grid (the first click has made the cell
  // under it current, if there is one).
  virtual void DoubleClicked() = 0;
  // Space pressed while the grid has the keyboard focus.
  virtual void SpacePressed() = 0;
};

// The window's grid: four columns, rows of one height, a current cell, a top
// row and a vertical scroll bar, drawn row by row on demand, so that a
// million rows cost as little as twelve. Cells are 82 × 16 pixels at 96 DPI
// with a one-pixel line after each.
class StringGrid {
 public:
  static constexpr int kColumns = 4;
  static constexpr wchar_t kClassName[] = L"VelmorantStringGrid";

  // Creates the grid as a child control; it lives until its window is
  // destroyed. `dpi` scales the cell size.
  static StringGrid& Create(HWND parent, const RECT& place, int id, int dpi,
                            StringGridClient& client);
  // The grid of a window made by Create, or nullptr.
  [[nodiscard]] static StringGrid* From(HWND window);

  [[nodiscard]] HWND Handle() const { return window_; }

  [[nodiscard]] int RowCount() const { return rowCount_; }
  // The view goes to the top with row 0 current, in the column that was
  // current (as after a table was reloaded).
  void SetRowCount(int rowCount);
  [[nodiscard]] int Col() const { return rowCount_ > 0 ? column_ : -1; }
  [[nodiscard]] int Row() const { return rowCount_ > 0 ? row_ : -1; }
  // Scrolls as little as needed to show the cell.
  void SetCurrentCell(int column, int row);
  [[nodiscard]] int TopRow() const { return topRow_; }
  void SetTopRow(int row);
  // Whole rows that fit in the grid at once.
  [[nodiscard]] int VisibleRowCount() const;
  // As a click in the scroll bar's page areas: down makes the last fully
  // visible row the top row, up the reverse; both stop at the ends.
  void PageDown() { Scroll(SB_PAGEDOWN); }
  void PageUp() { Scroll(SB_PAGEUP); }
  // The cells' size for a new DPI (the window moved to another monitor).
  void SetDpi(int dpi);
  // Redraws rows first..last where they are visible.
  void RowsChanged(int firstRow, int lastRow);

 private:
  StringGrid(HWND window, int dpi, StringGridClient& client);
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);

  void Scroll(int request);
  void Paint(HDC dc, const RECT& area);
  void UpdateScrollBar();
  [[nodiscard]] int MaxTopRow() const;
  [[nodiscard]] RECT CellRect(int column, int row) const;
  // The cell under a point of the client area; false below the last row.
  bool CellAt(POINT point, int& column, int& row) const;
  void MoveTo(int column, int row);
  void InvalidateCell(int column, int row);
  bool Key(WPARAM key);

  HWND window_;
  StringGridClient& client_;
  HFONT font_ = nullptr;
  int columnPitch_;  // cell width + line
  int rowPitch_;     // cell height + line
  int rowCount_ = 0;
  int column_ = 0;
  int row_ = 0;
  int topRow_ = 0;
  int wheelRemainder_ = 0;
};

}  // namespace vips::win32
