// Go as the Qt window shows it: the whole road through its widgets, and the
// grid scrolled back around the walk. The rest of Go is tested on the
// window's logic.
#include <QScrollBar>
#include <QTest>
#include <filesystem>

#include "support/delta.hpp"
#include "support/patching_session.hpp"

using vips::app::StringGrid;
using vips::form::ControlId;

using vips::app::testing::DataRecord;
using vips::app::testing::Ips;
using vips::app::testing::PatchingSession;
using vips::app::testing::PatchOfOneByteRecords;
using vips::app::testing::RunRecord;

namespace {

const std::string kOriginal = "0123456789ABCDEF";

QList<QLineEdit*> RangeFields(vips::app::QtWindow& form) {
  return {
      form.Widget<QLineEdit>(ControlId::ExecuteFrom), form.Widget<QLineEdit>(ControlId::ExecuteTo),
      form.Widget<QLineEdit>(ControlId::CancelFrom),  form.Widget<QLineEdit>(ControlId::CancelTo),
      form.Widget<QLineEdit>(ControlId::InvertFrom),  form.Widget<QLineEdit>(ControlId::InvertTo)};
}

// Text put into the fields as pasting would, unfiltered.
void SetRangeTexts(vips::app::QtWindow& form, const QStringList& texts) {
  const auto fields = RangeFields(form);
  for (int i = 0; i < fields.size(); ++i) fields[i]->setText(texts[i]);
}

}  // namespace

class GoTest : public QObject {
  Q_OBJECT
 private slots:
  void wholeRoadOfOnePatching();
  void bpsPatchIsListedByStretchAndApplied();
  void failedWalkLeavesViewAtTop();
  void viewScrollsBackToSavedTopRow_data();
  void viewScrollsBackToSavedTopRow();
};

void GoTest::wholeRoadOfOnePatching() {
  PatchingSession s;
  // The third record lies past the end of the original file and extends it.
  s.Prepare(kOriginal, Ips({DataRecord(2, "xy"), RunRecord(8, 3, '*'), DataRecord(20, "ZZ"),
                            DataRecord(0, "Q")}));
  QCOMPARE(s.form.Logic().Table().RowCount(), 4);

  // Canceal all, execute records 2 to 3, then a double-click marks record 1.
  QTest::mouseClick(s.form.Widget<QPushButton>(ControlId::CancelAll), Qt::LeftButton);
  SetRangeTexts(s.form, {"2", "3", "1", "1", "1", "1"});
  QTest::mouseClick(s.form.Widget<QPushButton>(ControlId::ExecuteRange), Qt::LeftButton);
  auto* grid = s.form.Widget<StringGrid>(ControlId::Grid);
  const QRect marker = grid->visualRect(grid->model()->index(0, 3));
  QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, marker.center());
  const QStringList markers = {"Execute", "Execute", "Execute", "No                   *"};
  for (int row = 0; row < 4; ++row) QCOMPARE(s.Cell(3, row), markers[row]);

  s.SetMessages(false);
  s.ForgetEvents();
  s.Go();
  QCOMPARE(s.Bytes(s.original), QByteArray("01xy4567***BCDEF\0\0\0\0ZZ", 22));
  QCOMPARE(s.Bytes(s.Backup()), QByteArray::fromStdString(kOriginal));
  QCOMPARE(s.Events(), QStringList({"busy", "beep", "normal"}));
  QCOMPARE(s.Status(), QString("status: operation successful!"));
  QVERIFY(s.form.Widget<QPushButton>(ControlId::Recover)->isEnabled());
  // The walk rewrote the table from the unchanged patch: same rows, same marks.
  QCOMPARE(s.form.Logic().Table().RowCount(), 4);
  for (int row = 0; row < 4; ++row) {
    QCOMPARE(s.Cell(0, row), QString::number(row + 1));
    QCOMPARE(s.Cell(3, row), markers[row]);
  }
  QCOMPARE(s.Cell(1, 2), QString("14"));
  QCOMPARE(s.Cell(2, 1), QString("A"));

  s.Recover();
  QCOMPARE(s.Bytes(s.original), QByteArray::fromStdString(kOriginal));
}

void GoTest::bpsPatchIsListedByStretchAndApplied() {
  PatchingSession s;
  // Told by its first bytes, whatever its name.
  s.Prepare(kOriginal, vips::form::testing::LinearBps(kOriginal, "0xy345678*ABCDEFGH"));
  auto* grid = s.form.Widget<StringGrid>(ControlId::Grid);
  QCOMPARE(grid->RowCount(), 3);
  const QStringList listed = {"1", "1",       "2", "Execute", "2",  "9",
                              "9", "Execute", "3", "10",      "11", "Execute"};
  for (int row = 0; row < 3; ++row) {
    for (int column = 0; column < 4; ++column) {
      QCOMPARE(grid->model()->index(row, column).data().toString(), listed[row * 4 + column]);
    }
  }
  QCOMPARE(s.Status(), QString("status: bps file selected!"));

  // A double-click skips the second stretch.
  const QRect marker = grid->visualRect(grid->model()->index(1, 3));
  QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, marker.center());
  s.SetMessages(false);
  s.Go();
  QCOMPARE(s.Errors(), QStringList());
  QCOMPARE(s.Bytes(s.original), QByteArray("0xy3456789ABCDEFGH"));
  QCOMPARE(s.Status(), QString("status: operation successful!"));
  s.Recover();
  QCOMPARE(s.Bytes(s.original), QByteArray::fromStdString(kOriginal));
}

void GoTest::failedWalkLeavesViewAtTop() {
  PatchingSession s;
  s.Prepare(kOriginal, PatchOfOneByteRecords(30));
  // Cut after the offset of record 25: 24 records of 6 bytes follow the header.
  s.dir.Write("change.ips", PatchOfOneByteRecords(30).substr(0, 5 + 24 * 6 + 3));
  auto* grid = s.form.Widget<StringGrid>(ControlId::Grid);
  grid->verticalScrollBar()->setValue(10);
  int topWhenShown = -1;
  s.services.whileBoxShown = [&] { topWhenShown = grid->TopRow(); };

  s.Go();
  QCOMPARE(s.Errors(), QStringList({"Read beyond end of file."}));
  QCOMPARE(topWhenShown, 0);
  QCOMPARE(grid->RowCount(), 25);
  QCOMPARE(grid->TopRow(), 0);
  QCOMPARE(grid->Row(), 0);
  QCOMPARE(s.Bytes(s.original), QByteArray::fromStdString(kOriginal));
}

void GoTest::viewScrollsBackToSavedTopRow_data() {
  QTest::addColumn<int>("listed");
  QTest::addColumn<int>("onDisk");  // records when Go runs
  QTest::addColumn<int>("topBefore");
  QTest::addColumn<int>("topAfter");
  QTest::addColumn<int>("currentAfter");
  QTest::newRow("scrolled to 5") << 20 << 20 << 5 << 5 << 16;
  QTest::newRow("not scrolled") << 20 << 20 << 0 << 0 << 11;
  QTest::newRow("one screen") << 12 << 12 << 0 << 0 << 0;
  // Row 16 no longer exists: the last row stands in, the view at the bottom.
  QTest::newRow("patch shrank") << 20 << 14 << 5 << 2 << 13;
}

void GoTest::viewScrollsBackToSavedTopRow() {
  QFETCH(int, listed);
  QFETCH(int, onDisk);
  QFETCH(int, topBefore);
  QFETCH(int, topAfter);
  QFETCH(int, currentAfter);
  PatchingSession s;
  s.Prepare(kOriginal, PatchOfOneByteRecords(listed));
  s.dir.Write("change.ips", PatchOfOneByteRecords(onDisk));
  auto* grid = s.form.Widget<StringGrid>(ControlId::Grid);
  grid->SetCurrentCell(std::max(grid->Col(), 0), 7);
  grid->verticalScrollBar()->setValue(topBefore);
  QCOMPARE(grid->TopRow(), topBefore);
  // The completion box, the last one shown, already finds the view back.
  QVERIFY(s.form.Widget<QCheckBox>(ControlId::MessagesCheck)->isChecked());
  int topWhenShown = -1;
  int currentWhenShown = -1;
  s.services.whileBoxShown = [&] {
    topWhenShown = grid->TopRow();
    currentWhenShown = grid->Row();
  };

  s.Go();
  QCOMPARE(grid->RowCount(), onDisk);
  QCOMPARE(grid->TopRow(), topAfter);
  QCOMPARE(grid->Row(), currentAfter);
  QCOMPARE(topWhenShown, topAfter);
  QCOMPARE(currentWhenShown, currentAfter);
}

QTEST_MAIN(GoTest)
#include "test_go.moc"
