// The whole-table commands, the double-click toggle, cell colours and paging,
// driven through the window's buttons and the grid's viewport.
#include <QImage>
#include <QTest>

#include "support/patching_session.hpp"

using vips::app::StringGrid;
using vips::form::ControlId;

using vips::app::testing::Ips;
using vips::app::testing::PatchingSession;
using vips::app::testing::PatchOfOneByteRecords;

namespace {

const std::string kExecute = "Execute";
const std::string kSkip = "No                   *";
const std::string kExecuteRu = "Выполнить";
const std::string kSkipRu = "Нет                  *";

std::vector<std::string> Markers(vips::app::QtWindow& form, int count) {
  std::vector<std::string> markers;
  for (int row = 0; row < count; ++row) markers.push_back(form.Logic().Table().Cell(3, row));
  return markers;
}

QRect CellRect(vips::app::QtWindow& form, int column, int row) {
  auto* grid = form.Widget<StringGrid>(ControlId::Grid);
  return grid->visualRect(grid->model()->index(row, column));
}

void ClickCell(vips::app::QtWindow& form, int column, int row) {
  QTest::mouseClick(form.Widget<StringGrid>(ControlId::Grid)->viewport(), Qt::LeftButton, {},
                    CellRect(form, column, row).center());
}

void DoubleClickAt(vips::app::QtWindow& form, QPoint point) {
  QTest::mouseDClick(form.Widget<StringGrid>(ControlId::Grid)->viewport(), Qt::LeftButton, {},
                     point);
}

void DoubleClickCell(vips::app::QtWindow& form, int column, int row) {
  ClickCell(form, column, row);
  DoubleClickAt(form, CellRect(form, column, row).center());
}

void Click(QPushButton* button) {
  QTest::mouseClick(button, Qt::LeftButton);
}

}  // namespace

class SelectionTest : public QObject {
  Q_OBJECT
 private slots:
  void commandsLeaveEmptyAndHiddenRowsAlone();
  void doubleClickTogglesMarkersInTheirOwnLanguage();
  void doubleClickBelowTheLastRowActsOnTheCurrentCell();
  void cellsAreFilledByColumnAndFocus();
  void pagingMovesTheViewAndFocusesTheGrid();
};

void SelectionTest::commandsLeaveEmptyAndHiddenRowsAlone() {
  PatchingSession s;
  for (QPushButton* button : {s.form.Widget<QPushButton>(ControlId::ExecuteAll),
                              s.form.Widget<QPushButton>(ControlId::CancelAll),
                              s.form.Widget<QPushButton>(ControlId::InvertAll)})
    Click(button);
  DoubleClickCell(s.form, 3, 0);
  QCOMPARE(Markers(s.form, 12), std::vector<std::string>(12));

  s.Prepare("0123", PatchOfOneByteRecords(5));
  s.ChoosePatch(s.dir.Write("two.ips", PatchOfOneByteRecords(2)));
  Click(s.form.Widget<QPushButton>(ControlId::CancelAll));
  QCOMPARE(Markers(s.form, 5),
           (std::vector<std::string>{kSkip, kSkip, kExecute, kExecute, kExecute}));

  // No row is left to act on; the hidden rows keep their texts.
  s.ChoosePatch(s.dir.Write("none.ips", "PATCHEOF"));
  for (QPushButton* button : {s.form.Widget<QPushButton>(ControlId::ExecuteAll),
                              s.form.Widget<QPushButton>(ControlId::InvertAll)})
    Click(button);
  DoubleClickAt(s.form, QPoint(300, 8));
  QCOMPARE(s.form.Widget<StringGrid>(ControlId::Grid)->Row(), -1);
  QCOMPARE(Markers(s.form, 3), (std::vector<std::string>{kSkip, kSkip, kExecute}));
  QVERIFY(!s.services.busy);
}

void SelectionTest::doubleClickTogglesMarkersInTheirOwnLanguage() {
  PatchingSession s;
  s.Prepare("0123", PatchOfOneByteRecords(3));
  s.form.Logic().Table().SetCell(3, 1, kSkipRu);
  s.form.Logic().Table().SetCell(3, 2, kSkip + " ");

  DoubleClickCell(s.form, 3, 0);
  QCOMPARE(s.form.Logic().Table().Cell(3, 0), kSkip);
  DoubleClickCell(s.form, 3, 0);
  QCOMPARE(s.form.Logic().Table().Cell(3, 0), kExecute);
  DoubleClickCell(s.form, 3, 1);
  QCOMPARE(s.form.Logic().Table().Cell(3, 1), kExecuteRu);
  DoubleClickCell(s.form, 3, 2);
  QCOMPARE(s.form.Logic().Table().Cell(3, 2), kSkip + " ");
  for (int column = 0; column < 3; ++column) DoubleClickCell(s.form, column, 0);
  QCOMPARE(Markers(s.form, 3), (std::vector<std::string>{kExecute, kExecuteRu, kSkip + " "}));
  QCOMPARE(s.form.Logic().Table().Cell(0, 0), std::string("1"));
}

void SelectionTest::doubleClickBelowTheLastRowActsOnTheCurrentCell() {
  PatchingSession s;
  s.Prepare("0123", PatchOfOneByteRecords(3));
  ClickCell(s.form, 3, 1);
  const QPoint belowLastRow(CellRect(s.form, 3, 2).center() + QPoint(0, 60));

  DoubleClickAt(s.form, belowLastRow);
  QCOMPARE(Markers(s.form, 3), (std::vector<std::string>{kExecute, kSkip, kExecute}));
  QCOMPARE(s.form.Widget<StringGrid>(ControlId::Grid)->Col(), 3);
  QCOMPARE(s.form.Widget<StringGrid>(ControlId::Grid)->Row(), 1);

  ClickCell(s.form, 1, 2);  // an address cell is current: nothing to toggle
  DoubleClickAt(s.form, belowLastRow);
  QCOMPARE(Markers(s.form, 3), (std::vector<std::string>{kExecute, kSkip, kExecute}));
}

void SelectionTest::cellsAreFilledByColumnAndFocus() {
  PatchingSession s;
  s.Prepare("0123", PatchOfOneByteRecords(2));
  s.form.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&s.form));

  // A point inside the cell, clear of its text and of the focus frame.
  const auto fill = [&s](int column, int row) {
    const QRect cell = CellRect(s.form, column, row);
    const QImage image = s.form.Widget<StringGrid>(ControlId::Grid)->viewport()->grab().toImage();
    return image.pixelColor(cell.right() - 6, cell.center().y()).name();
  };
  const auto focusCell = [&s](int column, int row) {
    ClickCell(s.form, column, row);
    QVERIFY(s.form.Widget<StringGrid>(ControlId::Grid)->hasFocus());
  };

  focusCell(1, 0);
  QCOMPARE(fill(1, 0), QString("#a6caf0"));
  QCOMPARE(fill(2, 0), QString("#ccffcc"));
  QCOMPARE(fill(1, 1), QString("#ccffcc"));
  QCOMPARE(fill(0, 0), QString("#ffff99"));
  QCOMPARE(fill(3, 1), QString("#ffcccc"));
  focusCell(2, 1);
  QCOMPARE(fill(2, 1), QString("#a6caf0"));
  focusCell(0, 1);
  QCOMPARE(fill(0, 1), QString("#ffff99"));
  focusCell(3, 0);
  QCOMPARE(fill(3, 0), QString("#ffcccc"));

  // Without the keyboard focus no cell is drawn as focused.
  focusCell(1, 1);
  s.form.Widget<QPushButton>(ControlId::ExecuteAll)->setFocus();
  QCOMPARE(fill(1, 1), QString("#ccffcc"));

  // The focused cell's text is black whatever the grid's text colour; other
  // cells keep that colour, and their text starts at the cell's left edge.
  QPalette colours = s.form.Widget<StringGrid>(ControlId::Grid)->palette();
  colours.setColor(QPalette::Text, QColor(0, 0, 0xFF));
  s.form.Widget<StringGrid>(ControlId::Grid)->setPalette(colours);
  focusCell(3, 0);
  const QImage image = s.form.Widget<StringGrid>(ControlId::Grid)->viewport()->grab().toImage();
  const auto darkest = [&image](QRect inside) {
    QColor found(Qt::white);
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
      for (int x = inside.left(); x <= inside.right(); ++x) {
        const QColor pixel = image.pixelColor(x, y);
        if (pixel.lightness() < found.lightness()) found = pixel;
      }
    }
    return found;
  };
  // Inside the focus frame.
  QVERIFY(darkest(CellRect(s.form, 3, 0).adjusted(1, 1, -1, -1)).blue() < 0x40);
  const QRect other = CellRect(s.form, 3, 1);
  QVERIFY(darkest(other).blue() > 0xC0);
  int firstInk = other.right();
  for (int x = other.right(); x >= other.left(); --x) {
    if (darkest(QRect(x, other.top(), 1, other.height())).lightness() < 0xB0) firstInk = x;
  }
  QVERIFY2(firstInk - other.left() <= 1, qPrintable(QString::number(firstInk - other.left())));
}

void SelectionTest::pagingMovesTheViewAndFocusesTheGrid() {
  PatchingSession s;
  s.Prepare("0123", PatchOfOneByteRecords(30));
  ClickCell(s.form, 3, 2);
  const auto page = [&s](QPushButton* button, int expectedTop) {
    Click(button);
    QCOMPARE(s.form.Widget<StringGrid>(ControlId::Grid)->TopRow(), expectedTop);
    QCOMPARE(s.form.focusWidget(), s.form.Widget<StringGrid>(ControlId::Grid));
  };

  page(s.form.Widget<QPushButton>(ControlId::PageUp), 0);
  page(s.form.Widget<QPushButton>(ControlId::PageDown), 11);
  page(s.form.Widget<QPushButton>(ControlId::PageDown), 18);
  page(s.form.Widget<QPushButton>(ControlId::PageDown), 18);
  page(s.form.Widget<QPushButton>(ControlId::PageUp), 7);
  page(s.form.Widget<QPushButton>(ControlId::PageUp), 0);
  QCOMPARE(s.form.Widget<StringGrid>(ControlId::Grid)->Col(), 3);
  QCOMPARE(s.form.Widget<StringGrid>(ControlId::Grid)->Row(), 2);
  QCOMPARE(s.form.Logic().Table().Cell(3, 2), kExecute);
}

QTEST_MAIN(SelectionTest)
#include "test_selection.moc"
