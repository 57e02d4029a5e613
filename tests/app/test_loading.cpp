// Choosing the original file and choosing and loading the patch, driven
// through the window's Select... buttons.
#include <QHeaderView>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>
#include <filesystem>

#include "support/patching_session.hpp"

using vips::app::StringGrid;
using vips::form::ControlId;

using vips::app::testing::BigEndian;
using vips::app::testing::DataRecord;
using vips::app::testing::Ips;
using vips::app::testing::PatchingSession;
using vips::app::testing::PatchOfOneByteRecords;
using vips::app::testing::RunRecord;

namespace {

// Row r of the table as "number|first|final|marker".
QString RowText(vips::app::QtWindow& form, int row) {
  QStringList cells;
  for (int column = 0; column < 4; ++column) {
    cells << QString::fromStdString(form.Logic().Table().Cell(column, row));
  }
  return cells.join('|');
}

// Rows the view itself knows of (it learns a new row count only when told).
int ViewRows(vips::app::QtWindow& form) {
  return form.Widget<StringGrid>(ControlId::Grid)->verticalHeader()->count();
}

QStringList Rows(vips::app::QtWindow& form, int count) {
  QStringList rows;
  for (int row = 0; row < count; ++row) rows << RowText(form, row);
  return rows;
}

// What the user sees and hears after the patch dialog, in order. Asking for
// the busy cursor while it shows changes nothing the user sees.
QStringList SeenAfterPatchDialog(const PatchingSession& s) {
  QStringList seen;
  for (const std::string& event : s.services.events) {
    const QString text = QString::fromStdString(event);
    if (text.startsWith("open: ")) {
      seen.clear();
    } else if (seen.isEmpty() || seen.back() != text) {
      seen << text;
    }
  }
  return seen;
}

void MakeReadOnly(const std::string& path) {
  std::filesystem::permissions(path, std::filesystem::perms::owner_read |
                                         std::filesystem::perms::group_read |
                                         std::filesystem::perms::others_read);
}

}  // namespace

class LoadingTest : public QObject {
  Q_OBJECT
 private slots:
  void listsEveryRecordInTheInterfaceLanguage_data();
  void listsEveryRecordInTheInterfaceLanguage();
  void reloadHidesOldRowsAndRewritesMarkers();
  void everyLoadShowsTheTableFromTheTop_data();
  void everyLoadShowsTheTableFromTheTop();
  void badHeaderKeepsOneRowWithItsTexts_data();
  void badHeaderKeepsOneRowWithItsTexts();
  void failedLoadKeepsRowsSoFarAndClosesFiles_data();
  void failedLoadKeepsRowsSoFarAndClosesFiles();
};

void LoadingTest::listsEveryRecordInTheInterfaceLanguage_data() {
  QTest::addColumn<int>("locale");
  QTest::addColumn<QString>("marker");
  QTest::addColumn<QString>("status");
  QTest::newRow("English") << 1033 << "Execute"
                           << "status: ips file selected!";
  QTest::newRow("Russian") << 1049 << "Выполнить"
                           << "статус: файл ips выбран!";
}

void LoadingTest::listsEveryRecordInTheInterfaceLanguage() {
  QFETCH(int, locale);
  QFETCH(QString, marker);
  QFETCH(QString, status);
  PatchingSession s(locale);
  s.Prepare("0123", Ips({DataRecord(0x1FF, "ab"), RunRecord(0x20, 16, 'z'), RunRecord(0, 0, 'q'),
                         DataRecord(0xFFFFFF, std::string(65535, 'x'))}) +
                        "trailing bytes are never read");
  QCOMPARE(s.form.Widget<StringGrid>(ControlId::Grid)->RowCount(), 4);
  QCOMPARE(Rows(s.form, 4), (QStringList{"1|1FF|200|" + marker, "2|20|2F|" + marker,
                                         "3|0|-1|" + marker, "4|FFFFFF|100FFFD|" + marker}));
  QCOMPARE(s.form.Widget<QLabel>(ControlId::Status)->text(), status);
  QCOMPARE(SeenAfterPatchDialog(s), (QStringList{"busy", "beep", "normal"}));
  QCOMPARE(s.form.Widget<QLineEdit>(ControlId::PatchField)->text(), QString("change.ips"));
  QCOMPARE(s.form.Logic().SelectedPatchPath, s.patch);
  QVERIFY(!s.form.Widget<QToolButton>(ControlId::EnglishButton)->isEnabled() &&
          !s.form.Widget<QToolButton>(ControlId::RussianButton)->isEnabled());

  // A patch without records leaves no row to act on; both files are closed.
  const std::string empty = s.dir.Write("empty.ips", "PATCHEOF");
  const int descriptors = vips::testing::OpenDescriptorCount();
  s.ChoosePatch(empty);
  QCOMPARE(vips::testing::OpenDescriptorCount(), descriptors);
  QCOMPARE(s.form.Widget<StringGrid>(ControlId::Grid)->RowCount(), 0);
  QCOMPARE(ViewRows(s.form), 0);
  QCOMPARE(SeenAfterPatchDialog(s), (QStringList{"busy", "beep", "normal"}));
}

void LoadingTest::reloadHidesOldRowsAndRewritesMarkers() {
  PatchingSession s;
  s.Prepare("0123", PatchOfOneByteRecords(5));
  s.ChoosePatch(s.dir.Write("short.ips", Ips({RunRecord(0x40, 2, 'r'), DataRecord(7, "b")})));
  QCOMPARE(s.form.Widget<StringGrid>(ControlId::Grid)->RowCount(), 2);
  QCOMPARE(ViewRows(s.form), 2);
  QCOMPARE(RowText(s.form, 4), QString("5|4|4|Execute"));  // hidden, not erased

  QTest::mouseClick(s.form.Widget<QPushButton>(ControlId::CancelAll), Qt::LeftButton);
  s.ChoosePatch(std::nullopt);  // the patch chosen before is loaded again
  QCOMPARE(Rows(s.form, 2), (QStringList{"1|40|41|Execute", "2|7|7|Execute"}));
  QCOMPARE(s.services.beeps, 3);
}

void LoadingTest::everyLoadShowsTheTableFromTheTop_data() {
  QTest::addColumn<bool>("cut");
  QTest::newRow("reload") << false;
  QTest::newRow("cut after 20 records") << true;
}

// Cutting the table to one row brings the view to the top with row 0 current,
// however the load then ends.
void LoadingTest::everyLoadShowsTheTableFromTheTop() {
  QFETCH(bool, cut);
  PatchingSession s;
  s.Prepare("0123", PatchOfOneByteRecords(30));
  QTest::mouseClick(s.form.Widget<QPushButton>(ControlId::PageDown), Qt::LeftButton);
  QTest::mouseClick(s.form.Widget<QPushButton>(ControlId::PageDown), Qt::LeftButton);
  QCOMPARE(s.form.Widget<StringGrid>(ControlId::Grid)->TopRow(), 18);
  s.form.Widget<StringGrid>(ControlId::Grid)
      ->SetCurrentCell(std::max(s.form.Widget<StringGrid>(ControlId::Grid)->Col(), 0), 25);

  if (cut) {
    s.dir.Write("change.ips", PatchOfOneByteRecords(20).substr(0, 5 + 20 * 6) + "\1");
  }
  s.ChoosePatch(std::nullopt);
  QCOMPARE(s.form.Widget<StringGrid>(ControlId::Grid)->RowCount(), cut ? 21 : 30);
  QCOMPARE(s.services.errors.size(), cut ? 1u : 0u);
  QCOMPARE(s.form.Widget<StringGrid>(ControlId::Grid)->TopRow(), 0);
  QCOMPARE(s.form.Widget<StringGrid>(ControlId::Grid)->Row(), 0);
}

void LoadingTest::badHeaderKeepsOneRowWithItsTexts_data() {
  QTest::addColumn<int>("locale");
  QTest::addColumn<QByteArray>("patch");
  QTest::addColumn<QString>("message");
  QTest::newRow("lower case") << 1033 << QByteArray("patch\0\0\0\0\1aEOF", 14)
                              << "Invalid IPS file!";
  QTest::newRow("four bytes") << 1049 << QByteArray("PATC") << "Неверный IPS патч!";
  QTest::newRow("empty") << 1033 << QByteArray() << "Invalid IPS file!";
}

void LoadingTest::badHeaderKeepsOneRowWithItsTexts() {
  QFETCH(int, locale);
  QFETCH(QByteArray, patch);
  QFETCH(QString, message);
  PatchingSession s(locale);
  s.Prepare("0123", Ips({DataRecord(0x10, "ab"), DataRecord(0x20, "c")}));
  QTest::mouseClick(s.form.Widget<QPushButton>(ControlId::CancelAll), Qt::LeftButton);
  const QString firstRow = RowText(s.form, 0);
  s.ChooseOriginal(s.original);
  const QString status = s.form.Widget<QLabel>(ControlId::Status)->text();
  // The original file is opened only after the header test.
  std::filesystem::remove(s.original);
  const int descriptors = vips::testing::OpenDescriptorCount();

  s.ForgetEvents();
  s.ChoosePatch(s.dir.Write("bad.ips", patch.toStdString()));
  QCOMPARE(SeenAfterPatchDialog(s), (QStringList{"busy", "beep", "message: " + message, "normal"}));
  QCOMPARE(s.form.Widget<StringGrid>(ControlId::Grid)->RowCount(), 1);
  QCOMPARE(ViewRows(s.form), 1);
  QCOMPARE(RowText(s.form, 0), firstRow);
  QCOMPARE(s.form.Widget<QLineEdit>(ControlId::PatchField)->text(), QString("bad.ips"));
  QCOMPARE(s.form.Widget<QLabel>(ControlId::Status)->text(), status);
  QCOMPARE(vips::testing::OpenDescriptorCount(), descriptors);
}

void LoadingTest::failedLoadKeepsRowsSoFarAndClosesFiles_data() {
  QTest::addColumn<QByteArray>("patch");
  QTest::addColumn<QString>("breakage");
  QTest::addColumn<QString>("error");
  QTest::addColumn<QStringList>("rows");
  const QString old = "o0|o1|o2|o3";
  const QByteArray first = QByteArray::fromStdString("PATCH" + DataRecord(0x100, "xy"));
  QTest::newRow("header only") << QByteArray("PATCH") << ""
                               << "Read beyond end of file." << QStringList{old};
  QTest::newRow("cut after offset")
      << first + QByteArray::fromStdString(BigEndian(0x200, 3)) << ""
      << "Read beyond end of file." << QStringList{"1|100|101|Execute", "2|200|o2|o3"};
  QTest::newRow("cut in data")
      << first + QByteArray::fromStdString(DataRecord(0x200, "abcde")).chopped(3) << ""
      << "Read beyond end of file." << QStringList{"1|100|101|Execute", "2|200|204|Execute", old};
  QTest::newRow("cut run") << QByteArray::fromStdString("PATCH" + RunRecord(5, 3, 'v')).chopped(1)
                           << ""
                           << "Read beyond end of file." << QStringList{"1|5|o2|o3"};
  QTest::newRow("original missing") << first << "original missing"
                                    << "File not found." << QStringList{old};
  QTest::newRow("original read-only") << first << "original read-only"
                                      << "File access denied." << QStringList{old};
  QTest::newRow("patch missing") << first << "patch missing"
                                 << "File not found." << QStringList{old};
}

void LoadingTest::failedLoadKeepsRowsSoFarAndClosesFiles() {
  QFETCH(QByteArray, patch);
  QFETCH(QString, breakage);
  QFETCH(QString, error);
  QFETCH(QStringList, rows);
  PatchingSession s;
  for (int row = 0; row < 3; ++row) {
    for (int column = 0; column < 4; ++column) {
      s.form.Logic().Table().SetCell(column, row, "o" + std::to_string(column));
    }
  }
  const std::string original = s.dir.Write("rom.bin", "0123");
  const std::string patchPath = s.dir.Write("cut.ips", patch.toStdString());
  if (breakage == "original read-only") MakeReadOnly(original);
  s.ChooseOriginal(original);
  if (breakage == "original missing") std::filesystem::remove(original);
  if (breakage == "patch missing") std::filesystem::remove(patchPath);
  const int descriptors = vips::testing::OpenDescriptorCount();

  s.ForgetEvents();
  s.ChoosePatch(patchPath);
  // The normal cursor is back before the error box shows.
  QCOMPARE(SeenAfterPatchDialog(s), (QStringList{"busy", "normal", "error: " + error}));
  QCOMPARE(vips::testing::OpenDescriptorCount(), descriptors);
  QCOMPARE(s.form.Widget<StringGrid>(ControlId::Grid)->RowCount(), rows.size());
  QCOMPARE(ViewRows(s.form), rows.size());
  QCOMPARE(Rows(s.form, static_cast<int>(rows.size())), rows);
  QCOMPARE(s.form.Widget<QLabel>(ControlId::Status)->text(), QString("status: file selected!"));
  // The first confirmed patch locks the language, even one that fails.
  QVERIFY(!s.form.Widget<QToolButton>(ControlId::EnglishButton)->isEnabled() &&
          !s.form.Widget<QToolButton>(ControlId::RussianButton)->isEnabled());
}

QTEST_MAIN(LoadingTest)
#include "test_loading.moc"
