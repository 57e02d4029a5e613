#include "app/string_grid.hpp"

#include <QApplication>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <algorithm>

#include "app/patch_table_model.hpp"
#include "core/table/patch_table.hpp"
#include "form/layout.hpp"

namespace vips::app {
namespace {

namespace layout = form::layout;
// A section holds its cell and the line after it.
constexpr int kColumnPitch = layout::kGridColumnWidth + layout::kGridLineWidth;
constexpr int kRowPitch = layout::kGridRowHeight + layout::kGridLineWidth;

}  // namespace

// Hands every cell to the window's drawing handler, with the painter set up
// the way the handler expects: the grid's font, and the normal text colour or
// the highlight-text colour for a selected cell without the focus.
class GridCellDelegate : public QStyledItemDelegate {
 public:
  explicit GridCellDelegate(StringGrid& grid) : QStyledItemDelegate(&grid), grid_(grid) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    GridDrawState state;
    state.selected = option.state.testFlag(QStyle::State_Selected);
    state.focused = grid_.hasFocus() && index == grid_.currentIndex();

    const QPalette& palette = grid_.palette();
    painter->save();
    painter->setFont(grid_.font());
    painter->setPen(state.selected && !state.focused ? palette.color(QPalette::HighlightedText)
                                                     : palette.color(QPalette::Text));
    if (grid_.drawCell_) {
      grid_.drawCell_(*painter, index.column(), index.row(), option.rect, state);
    } else {
      painter->fillRect(option.rect, palette.color(QPalette::Base));
      painter->drawText(option.rect, Qt::AlignLeft | Qt::AlignTop,
                        index.data(Qt::DisplayRole).toString());
    }
    painter->restore();

    if (state.focused) {
      // The usual dotted focus frame, inverting what lies beneath, so that the
      // cell's own fill shows inside it.
      painter->save();
      painter->setCompositionMode(QPainter::RasterOp_SourceXorDestination);
      painter->setPen(QPen(Qt::white, 1, Qt::DotLine));
      painter->setBrush(Qt::NoBrush);
      painter->drawRect(option.rect.adjusted(0, 0, -1, -1));
      painter->restore();
    }
  }

 private:
  StringGrid& grid_;
};

StringGrid::StringGrid(PatchTable& table, QWidget* parent)
    : QTableView(parent), table_(table), model_(new PatchTableModel(table, this)) {
  setModel(model_);
  setItemDelegate(new GridCellDelegate(*this));

  horizontalHeader()->hide();
  verticalHeader()->hide();
  // Uniform sections: the headers keep no per-row sizes, so a million rows
  // cost nothing and scrolling stays immediate.
  horizontalHeader()->setMinimumSectionSize(1);
  verticalHeader()->setMinimumSectionSize(1);
  horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  horizontalHeader()->setDefaultSectionSize(kColumnPitch);
  verticalHeader()->setDefaultSectionSize(kRowPitch);

  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerItem);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectItems);
  // Tab leaves the grid for the next control instead of walking its cells.
  setTabKeyNavigation(false);
  setShowGrid(true);
  setWordWrap(false);
  setCornerButtonEnabled(false);
  setDragEnabled(false);

  QPalette colours = palette();
  colours.setColor(QPalette::Base, colours.color(QPalette::Window));
  // The current cell stays selected when the table loses the focus; its text
  // keeps the normal colour then, which reads on all three pale fills (the
  // usual highlight-text colour is white).
  for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
    colours.setColor(group, QPalette::HighlightedText, colours.color(group, QPalette::Text));
  setPalette(colours);

  if (table_.RowCount() > 0)
    selectionModel()->setCurrentIndex(model_->index(0, 0), QItemSelectionModel::ClearAndSelect);
}

int StringGrid::RowCount() const {
  return table_.RowCount();
}

void StringGrid::SetRowCount(int rowCount) {
  BeginTableChange();
  table_.SetRowCount(rowCount);
  EndTableChange();
}

void StringGrid::BeginTableChange() {
  if (changeDepth_++ > 0) return;
  model_->BeginChange();
}

void StringGrid::EndTableChange() {
  if (changeDepth_ == 0 || --changeDepth_ > 0) return;
  model_->EndChange();
  EnsureLaidOut();
}

void StringGrid::RowsChanged(int firstRow, int lastRow) {
  for (int column = 0; column < PatchTable::kColumns; ++column)
    model_->CellsChanged(column, firstRow, lastRow);
}

int StringGrid::Col() const {
  const QModelIndex current = currentIndex();
  return current.isValid() ? current.column() : -1;
}

int StringGrid::Row() const {
  const QModelIndex current = currentIndex();
  return current.isValid() ? current.row() : -1;
}

void StringGrid::SetCurrentCell(int column, int row) {
  if (row < 0 || row >= table_.RowCount() || column < 0 || column >= model_->columnCount()) return;
  EnsureLaidOut();
  const QModelIndex cell = model_->index(row, column);
  selectionModel()->setCurrentIndex(cell, QItemSelectionModel::ClearAndSelect);
  scrollTo(cell, QAbstractItemView::EnsureVisible);
}

int StringGrid::TopRow() const {
  const_cast<StringGrid*>(this)->EnsureLaidOut();
  return verticalScrollBar()->value();
}

int StringGrid::VisibleRowCount() const {
  return contentsRect().height() / kRowPitch;
}

void StringGrid::PageDown() {
  ScrollByPages(1);
}

void StringGrid::PageUp() {
  ScrollByPages(-1);
}

void StringGrid::ScrollByPages(int pages) {
  EnsureLaidOut();
  // A page leaves the last fully visible row in view. The scroll bar's range
  // already ends where the last row is the last fully visible one, so paging
  // simply stops at either end.
  const int step = layout::GridPageStep(VisibleRowCount());
  verticalScrollBar()->setValue(verticalScrollBar()->value() + pages * step);
}

void StringGrid::RepaintNow() {
  viewport()->repaint();
}

void StringGrid::SetDrawCellHandler(DrawCellHandler handler) {
  drawCell_ = std::move(handler);
  viewport()->update();
}

void StringGrid::keyboardSearch(const QString& /*search*/) {}

void StringGrid::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QTableView::mouseDoubleClickEvent(event);
    return;
  }
  // Below the last row there is no cell: the current cell stays where the
  // first click left it, and the double-click still counts.
  if (indexAt(event->position().toPoint()).isValid()) {
    QTableView::mouseDoubleClickEvent(event);
  } else {
    event->accept();
  }
  emit DoubleClicked();
}

void StringGrid::EnsureLaidOut() {
  if (testAttribute(Qt::WA_PendingResizeEvent)) {
    QResizeEvent resize(size(), QSize());
    QApplication::sendEvent(this, &resize);
    setAttribute(Qt::WA_PendingResizeEvent, false);
  }
  executeDelayedItemsLayout();
}

}  // namespace vips::app
