#pragma once

#include <QTableView>
#include <functional>

#include "form/views.hpp"

namespace vips {
class PatchTable;
}

namespace vips::app {

class PatchTableModel;

using GridDrawState = form::GridDrawState;

// The window's grid: a view straight over the core patch table (no copy, no
// per-row objects). Rows are 16 pixels plus a 1-pixel line, columns 82 plus
// a line; 12 whole rows are visible; no headings; vertical scroll bar only.
class StringGrid : public QTableView {
  Q_OBJECT
 public:
  using DrawCellHandler = std::function<void(QPainter& canvas, int column, int row,
                                             const QRect& rect, GridDrawState state)>;

  StringGrid(PatchTable& table, QWidget* parent);

  [[nodiscard]] PatchTable& Table() { return table_; }
  [[nodiscard]] const PatchTable& Table() const { return table_; }

  // The table's row count (through the core table), telling the view.
  [[nodiscard]] int RowCount() const;
  void SetRowCount(int rowCount);
  // Call around any change of the row count or many cells made directly on
  // the core table (loading, applying); the view is rebuilt at the end.
  void BeginTableChange();
  void EndTableChange();
  // Tell the view that any cells in rows [firstRow, lastRow] were changed.
  void RowsChanged(int firstRow, int lastRow);

  [[nodiscard]] int Col() const;             // current cell's column, -1 if none
  [[nodiscard]] int Row() const;             // current cell's row, -1 if none
  void SetCurrentCell(int column, int row);  // scrolls to show the cell
  [[nodiscard]] int TopRow() const;
  // Whole rows visible at once (12 at the designed size).
  [[nodiscard]] int VisibleRowCount() const;
  // Page-wise scrolling as the vertical scroll bar's page areas do: down makes
  // the last fully visible row the top row, up the reverse; stops at the ends.
  void PageDown();
  void PageUp();
  void RepaintNow();

  // The handler that draws every cell (fill, text colour, text).
  void SetDrawCellHandler(DrawCellHandler handler);

  // Typed characters do nothing: the cells are not editable, and the current
  // cell does not jump to one whose text starts with them.
  void keyboardSearch(const QString& search) override;

 signals:
  void DoubleClicked();

 protected:
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  // A hidden view gets its resize event and its item layout only when shown;
  // scrolling and paging need both now.
  void EnsureLaidOut();
  // Scrolls by whole pages (negative: up), as the scroll bar's page areas do.
  void ScrollByPages(int pages);

  PatchTable& table_;
  PatchTableModel* model_;
  DrawCellHandler drawCell_;
  int changeDepth_ = 0;
  friend class GridCellDelegate;
};

}  // namespace vips::app
