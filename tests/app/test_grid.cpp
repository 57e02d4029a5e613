// The grid over the core patch table: visible rows, paging, the current cell,
// table changes, what the drawing handler is given, and a million rows.
#include <QLineEdit>
#include <QPainter>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <set>
#include <string>
#include <vector>

#include "app/string_grid.hpp"
#include "core/table/patch_table.hpp"

using vips::app::StringGrid;

using vips::PatchTable;
using vips::app::GridDrawState;

namespace {

// A grid at its designed size in a shown window, with every draw recorded.
struct GridHost {
  explicit GridHost(int rows) : table(rows) {
    window.resize(400, 260);
    grid = new StringGrid(table, &window);
    grid->setGeometry(8, 16, 353, 209);
    other = new QLineEdit(&window);
    other->setGeometry(8, 230, 100, 21);
    grid->SetDrawCellHandler(
        [this](QPainter& canvas, int column, int row, const QRect& rect, GridDrawState state) {
          draws.push_back({column, row, rect, state, canvas.pen().color()});
        });
  }

  void Show() {
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
  }

  // Paints the viewport now and returns what the handler was given.
  struct Draw {
    int column;
    int row;
    QRect rect;
    GridDrawState state;
    QColor pen;
  };
  std::vector<Draw> Paint() {
    draws.clear();
    grid->viewport()->grab();
    return draws;
  }

  PatchTable table;
  QWidget window;
  StringGrid* grid = nullptr;
  QLineEdit* other = nullptr;
  std::vector<Draw> draws;
};

void FillNumbers(PatchTable& table) {
  for (int row = 0; row < table.RowCount(); ++row) table.SetNumberCell(row, row + 1);
}

}  // namespace

class GridTest : public QObject {
  Q_OBJECT
 private slots:
  void showsTwelveWholeRowsOfDesignedCells();
  void pagesByTheVisibleRowsLessOne();
  void currentRowScrollsTheLeastNeeded();
  void tableChangesKeepTheTexts();
  void drawHandlerIsToldSelectionAndFocus();
  void doubleClickBelowTheLastRowKeepsTheCurrentCell();
  void typingMovesNoCell();
  void holdsAMillionRows();
};

void GridTest::showsTwelveWholeRowsOfDesignedCells() {
  GridHost host(40);
  FillNumbers(host.table);
  QCOMPARE(host.grid->VisibleRowCount(), 12);
  host.Show();
  QCOMPARE(host.grid->VisibleRowCount(), 12);

  const auto draws = host.Paint();
  std::set<int> rows;
  for (const auto& draw : draws) {
    rows.insert(draw.row);
    // Each cell is 82 x 16; the line after it belongs to its section.
    QCOMPARE(draw.rect.size(), QSize(82, 16));
    QCOMPARE(draw.rect.topLeft(), QPoint(draw.column * 83, (draw.row - *rows.begin()) * 17));
  }
  // Twelve whole rows and the top of the thirteenth, in four columns.
  QCOMPARE(*rows.begin(), 0);
  QVERIFY(*rows.rbegin() <= 12);
  QVERIFY(rows.count(11) == 1);
  std::set<int> columns;
  for (const auto& draw : draws) columns.insert(draw.column);
  QCOMPARE(columns, (std::set<int>{0, 1, 2, 3}));

  // Twelve rows fit without a scroll bar; a thirteenth brings it.
  GridHost exact(12);
  exact.Show();
  QVERIFY(!exact.grid->verticalScrollBar()->isVisible());
  QVERIFY(host.grid->verticalScrollBar()->isVisible());
  QVERIFY(!host.grid->horizontalScrollBar()->isVisible());
}

void GridTest::pagesByTheVisibleRowsLessOne() {
  // Paging works on a grid that was never shown as well as on a shown one.
  for (bool shown : {false, true}) {
    GridHost host(30);
    if (shown) host.Show();
    std::vector<int> tops;
    const auto record = [&] { tops.push_back(host.grid->TopRow()); };
    record();
    host.grid->PageUp();
    record();
    for (int i = 0; i < 3; ++i) {
      host.grid->PageDown();
      record();
    }
    host.grid->PageUp();
    record();
    host.grid->PageUp();
    record();
    QCOMPARE(tops, (std::vector<int>{0, 0, 11, 18, 18, 7, 0}));
  }

  // A table that fits never moves.
  GridHost small(12);
  small.grid->PageDown();
  QCOMPARE(small.grid->TopRow(), 0);
}

void GridTest::currentRowScrollsTheLeastNeeded() {
  GridHost host(30);
  host.Show();
  host.grid->setCurrentIndex(host.grid->model()->index(0, 2));

  host.grid->SetCurrentCell(std::max(host.grid->Col(), 0),
                            11);  // already the last whole row on view
  QCOMPARE(host.grid->TopRow(), 0);
  QCOMPARE(host.grid->Row(), 11);
  QCOMPARE(host.grid->Col(), 2);

  host.grid->SetCurrentCell(std::max(host.grid->Col(), 0),
                            16);  // brought up to be the last whole row
  QCOMPARE(host.grid->TopRow(), 5);
  QCOMPARE(host.grid->Row(), 16);

  host.grid->SetCurrentCell(std::max(host.grid->Col(), 0),
                            3);  // above the view: becomes the top row
  QCOMPARE(host.grid->TopRow(), 3);

  host.grid->verticalScrollBar()->setValue(10);
  QCOMPARE(host.grid->TopRow(), 10);
  host.grid->verticalScrollBar()->setValue(
      29);  // the last row can be no higher than the last whole row
  QCOMPARE(host.grid->TopRow(), 18);

  host.grid->SetCurrentCell(std::max(host.grid->Col(), 0), 30);  // no such row: nothing moves
  QCOMPARE(host.grid->Row(), 3);
  QCOMPARE(host.grid->TopRow(), 18);
}

void GridTest::tableChangesKeepTheTexts() {
  GridHost host(5);
  FillNumbers(host.table);
  host.Show();
  host.grid->setCurrentIndex(host.grid->model()->index(4, 3));

  host.grid->SetRowCount(2);
  QCOMPARE(host.grid->RowCount(), 2);
  QCOMPARE(host.grid->model()->rowCount(), 2);

  // Rows are filled through the core table between Begin and End.
  host.grid->BeginTableChange();
  host.table.SetRowCount(5);
  host.table.SetMarkerCell(4, "Execute");
  host.grid->EndTableChange();
  QCOMPARE(host.grid->model()->rowCount(), 5);
  QCOMPARE(host.grid->model()->index(4, 0).data().toString(), QString("5"));
  QCOMPARE(host.grid->model()->index(4, 3).data().toString(), QString("Execute"));
  QVERIFY(!(host.grid->model()->flags(host.grid->model()->index(4, 3)) & Qt::ItemIsEditable));

  // A table without rows shows an empty grid and has no current cell.
  host.grid->SetRowCount(0);
  QCOMPARE(host.grid->Row(), -1);
  QCOMPARE(host.grid->TopRow(), 0);
  QVERIFY(host.Paint().empty());
  host.grid->PageDown();
  host.grid->SetCurrentCell(std::max(host.grid->Col(), 0), 0);
  QCOMPARE(host.grid->Row(), -1);
}

void GridTest::drawHandlerIsToldSelectionAndFocus() {
  GridHost host(3);
  host.Show();
  host.window.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&host.window));
  const QPalette palette = host.grid->palette();
  const auto drawOf = [&host](const std::vector<GridHost::Draw>& draws, int column, int row) {
    for (const auto& draw : draws)
      if (draw.column == column && draw.row == row) return draw;
    return GridHost::Draw{-1, -1, {}, {}, {}};
  };

  host.grid->setFocus();
  host.grid->setCurrentIndex(host.grid->model()->index(1, 2));
  auto draws = host.Paint();
  QCOMPARE(draws.size(), std::size_t{12});
  for (const auto& draw : draws) {
    const bool current = draw.column == 2 && draw.row == 1;
    QCOMPARE(draw.state.focused, current);
    QCOMPARE(draw.state.selected, current);
    QCOMPARE(draw.pen, palette.color(QPalette::Text));
  }

  // Without the focus the current cell is selected only, and its text is
  // prepared in the highlight-text colour.
  host.other->setFocus();
  draws = host.Paint();
  const auto current = drawOf(draws, 2, 1);
  QVERIFY(current.state.selected);
  QVERIFY(!current.state.focused);
  QCOMPARE(current.pen, palette.color(QPalette::HighlightedText));
  QCOMPARE(drawOf(draws, 0, 0).pen, palette.color(QPalette::Text));
}

void GridTest::doubleClickBelowTheLastRowKeepsTheCurrentCell() {
  GridHost host(3);
  host.Show();
  QSignalSpy doubleClicks(host.grid, &StringGrid::DoubleClicked);
  const QRect cell = host.grid->visualRect(host.grid->model()->index(1, 3));
  QTest::mouseClick(host.grid->viewport(), Qt::LeftButton, {}, cell.center());
  QCOMPARE(host.grid->Row(), 1);
  QVERIFY(host.grid->hasFocus());

  QTest::mouseDClick(host.grid->viewport(), Qt::LeftButton, {}, QPoint(cell.center().x(), 150));
  QCOMPARE(doubleClicks.count(), 1);
  QCOMPARE(host.grid->Row(), 1);
  QCOMPARE(host.grid->Col(), 3);

  const QRect other = host.grid->visualRect(host.grid->model()->index(2, 0));
  QTest::mouseDClick(host.grid->viewport(), Qt::LeftButton, {}, other.center());
  QCOMPARE(doubleClicks.count(), 2);
  QCOMPARE(host.grid->Row(), 2);
  QCOMPARE(host.grid->Col(), 0);
}

void GridTest::typingMovesNoCell() {
  GridHost host(30);
  FillNumbers(host.table);
  host.Show();
  host.grid->setFocus();
  QTest::keyClicks(host.grid, "25");
  QCOMPARE(host.grid->Row(), 0);
  QCOMPARE(host.grid->TopRow(), 0);
  QCOMPARE(host.table.Cell(0, 0), std::string("1"));
  // The arrow keys still move the current cell.
  QTest::keyClick(host.grid, Qt::Key_Down);
  QCOMPARE(host.grid->Row(), 1);
}

void GridTest::holdsAMillionRows() {
  constexpr int kRows = 1'000'000;
  GridHost host(0);
  host.grid->BeginTableChange();
  host.table.SetRowCount(kRows);
  for (int row = 0; row < kRows; ++row) host.table.SetNumberCell(row, row + 1);
  host.grid->EndTableChange();
  host.Show();

  QCOMPARE(host.grid->model()->rowCount(), kRows);
  host.grid->PageDown();
  QCOMPARE(host.grid->TopRow(), 11);
  host.grid->SetCurrentCell(std::max(host.grid->Col(), 0), kRows - 1);
  QCOMPARE(host.grid->TopRow(), kRows - 12);
  host.grid->PageDown();
  QCOMPARE(host.grid->TopRow(), kRows - 12);
  host.grid->PageUp();
  QCOMPARE(host.grid->TopRow(), kRows - 23);

  // Only the rows on view are drawn.
  const auto draws = host.Paint();
  QVERIFY(!draws.empty());
  QVERIFY(draws.size() <= 13 * 4);
  for (const auto& draw : draws) QVERIFY(draw.row >= kRows - 23 && draw.row <= kRows - 11);
  QCOMPARE(host.grid->model()->index(kRows - 1, 0).data().toString(), QString("1000000"));
}

QTEST_MAIN(GridTest)
#include "test_grid.moc"
