// The window's reporting services and platform helpers: the error box's full
// stop, the locale identifier, the file dialog's filter, the busy cursor.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <optional>
#include <string>

#include "app/platform/locale_id.hpp"
#include "app/qt_window_services.hpp"
#include "support/temp_dir.hpp"
#include "support/window_fixture.hpp"

using vips::app::LocaleIdFromName;
using vips::app::testing::MakeWindow;

class ServicesTest : public QObject {
  Q_OBJECT
 private slots:
  void localeNamesMapToIdentifiers_data();
  void localeNamesMapToIdentifiers();
  void threadLocaleFollowsTheEnvironment();
  void dialogFiltersBecomeNameFilters_data();
  void dialogFiltersBecomeNameFilters();
  void messageLinesLoseTheirCarriageReturns();
  void boxesAreCaptionedWithTheApplicationTitle_data();
  void boxesAreCaptionedWithTheApplicationTitle();
  void fileDialogShowsItsTextsAndTakesAnyFile();
  void busyCursorNeedsOneRestore();
  void boxShowsTheArrowUnderTheHourGlass();
};

void ServicesTest::localeNamesMapToIdentifiers_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<int>("id");
  QTest::newRow("ru_RU") << "ru_RU" << 1049;
  QTest::newRow("ru_RU.UTF-8@modifier") << "ru_RU.UTF-8@x" << 1049;
  QTest::newRow("ru_RU.KOI8-R") << "ru_RU.KOI8-R" << 1049;
  QTest::newRow("ru alone") << "ru" << 1049;
  QTest::newRow("ru_MD") << "ru_MD.UTF-8" << 2073;
  QTest::newRow("ru in an unlisted country") << "ru_UA.UTF-8" << 1033;
  QTest::newRow("uk_UA") << "uk_UA.UTF-8" << 1058;
  QTest::newRow("be_BY") << "be_BY.UTF-8" << 1059;
  QTest::newRow("en_US") << "en_US.UTF-8" << 1033;
  QTest::newRow("en_GB") << "en_GB.ISO-8859-1" << 2057;
  QTest::newRow("de_DE@euro") << "de_DE@euro" << 1031;
  QTest::newRow("de_AT") << "de_AT.UTF-8" << 3079;
  QTest::newRow("fr_FR") << "fr_FR.UTF-8" << 1036;
  QTest::newRow("ja_JP") << "ja_JP.eucJP" << 1041;
  QTest::newRow("zh_CN") << "zh_CN.GB18030" << 2052;
  QTest::newRow("case and hyphen") << "RU-ru" << 1049;
  QTest::newRow("C") << "C" << 1033;
  QTest::newRow("C.UTF-8") << "C.UTF-8" << 1033;
  QTest::newRow("POSIX") << "POSIX" << 1033;
  QTest::newRow("empty") << "" << 1033;
  QTest::newRow("unknown") << "xx_YY.UTF-8" << 1033;
  QTest::newRow("prefix of a name") << "r" << 1033;
}

void ServicesTest::localeNamesMapToIdentifiers() {
  QFETCH(QString, name);
  QFETCH(int, id);
  QCOMPARE(LocaleIdFromName(name.toStdString()), id);
}

void ServicesTest::threadLocaleFollowsTheEnvironment() {
#ifdef _WIN32
  QSKIP("the thread locale comes from the system on Windows");
#else
  const auto set = [](const char* all, const char* messages, const char* lang) {
    for (auto [name, value] : {std::pair{"LC_ALL", all}, {"LC_MESSAGES", messages}, {"LANG", lang}})
      value ? setenv(name, value, 1) : unsetenv(name);
  };
  set(nullptr, nullptr, "ru_RU.UTF-8");
  QCOMPARE(vips::app::ThreadLocaleId(), 1049);
  set(nullptr, "en_GB.UTF-8", "ru_RU.UTF-8");
  QCOMPARE(vips::app::ThreadLocaleId(), 2057);
  set("ru_RU.UTF-8", "en_GB.UTF-8", "de_DE.UTF-8");
  QCOMPARE(vips::app::ThreadLocaleId(), 1049);
  // An empty variable counts as not set.
  set("", "", "ru_RU.UTF-8");
  QCOMPARE(vips::app::ThreadLocaleId(), 1049);
  set(nullptr, nullptr, nullptr);
  QCOMPARE(vips::app::ThreadLocaleId(), 1033);
  set(nullptr, nullptr, "C.UTF-8");
#endif
}

void ServicesTest::dialogFiltersBecomeNameFilters_data() {
  QTest::addColumn<QString>("filter");
  QTest::addColumn<QString>("nameFilters");
  // The description stays whole; the patterns follow it in parentheses.
  QTest::newRow("patch") << "IPS file (*.ips)|*.ips"
                         << "IPS file (*.ips) (*.ips)";
  QTest::newRow("Russian") << "IPS патч (*.ips)|*.ips"
                           << "IPS патч (*.ips) (*.ips)";
  // Every file, extension or not.
  QTest::newRow("any file") << "Any file (*.*)|*.*"
                            << "Any file (*.*) (*)";
  QTest::newRow("several patterns") << "Images (*.png;*.bmp)|*.png;*.bmp"
                                    << "Images (*.png;*.bmp) (*.png *.bmp)";
  QTest::newRow("several entries") << "IPS file|*.ips|Any file|*.*"
                                   << "IPS file (*.ips);;Any file (*)";
  QTest::newRow("dangling description") << "IPS file (*.ips)|*.ips|Orphan"
                                        << "IPS file (*.ips) (*.ips)";
}

void ServicesTest::dialogFiltersBecomeNameFilters() {
  QFETCH(QString, filter);
  QFETCH(QString, nameFilters);
  QCOMPARE(vips::app::QtNameFilter(filter.toStdString()), nameFilters);
}

void ServicesTest::messageLinesLoseTheirCarriageReturns() {
  QCOMPARE(vips::app::MessageBoxText("Velmorant IPS  version 2.2\r\n\r\nline"),
           QString("Velmorant IPS  version 2.2\n\nline"));
}

void ServicesTest::boxesAreCaptionedWithTheApplicationTitle_data() {
  QTest::addColumn<bool>("error");
  QTest::addColumn<int>("icon");
  QTest::newRow("message") << false << int(QMessageBox::NoIcon);
  QTest::newRow("error") << true << int(QMessageBox::Critical);
}

void ServicesTest::boxesAreCaptionedWithTheApplicationTitle() {
  QFETCH(bool, error);
  QFETCH(int, icon);
  vips::app::QtWindowServices services;
  QMessageBox* shown = nullptr;
  QString caption, text;
  QStringList buttons;
  QMessageBox::Icon shownIcon = QMessageBox::NoIcon;
  QTimer::singleShot(0, [&] {
    shown = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (shown == nullptr) return;
    caption = shown->windowTitle();
    text = shown->text();
    shownIcon = shown->icon();
    for (QAbstractButton* button : shown->buttons()) buttons << button->text();
    shown->accept();
  });
  // Markup in a file's name is shown as it is.
  const std::string message = "Recover file: <b>game</b>.bin\r\nline two";
  error ? services.ShowError(message) : services.ShowMessage(message);

  QVERIFY(shown != nullptr);
  QCOMPARE(caption, QString("Velmorant IPS"));
  QCOMPARE(int(shownIcon), icon);
  QCOMPARE(buttons, QStringList{"OK"});
  QCOMPARE(text, QString("Recover file: <b>game</b>.bin\nline two"));
}

void ServicesTest::fileDialogShowsItsTextsAndTakesAnyFile() {
  const vips::testing::TempDir folder;
  const std::string rom = folder.Write("rom", std::string("x"));
  vips::app::QtWindowServices services;

  // The dialog shows its title and filter as given, and gives back the full
  // path of the file confirmed in it.
  QString title;
  QStringList filterTexts;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    title = dialog->windowTitle();
    if (auto* combo = dialog->findChild<QComboBox*>("fileTypeCombo")) {
      for (int i = 0; i < combo->count(); ++i) filterTexts << combo->itemText(i);
      filterTexts << "current: " + combo->currentText();
    }
    dialog->selectFile(QString::fromStdString(rom));
    static_cast<QDialog*>(dialog)->accept();  // as the Open button does
  });
  // The patch dialog's filters: the patch's first and chosen, then every file.
  const auto chosen =
      services.OpenFile(" Please, open IPS file...", "IPS file (*.ips)|*.ips|All files (*.*)|*.*");
  QCOMPARE(title, QString(" Please, open IPS file..."));
  QCOMPARE(filterTexts,
           (QStringList{"IPS file (*.ips)", "All files (*.*)", "current: IPS file (*.ips)"}));
  QCOMPARE(chosen, std::optional<std::string>(rom));
}

void ServicesTest::busyCursorNeedsOneRestore() {
  {
    vips::app::QtWindowServices services;
    services.SetBusyCursor();
    services.SetBusyCursor();
    QVERIFY(QGuiApplication::overrideCursor() != nullptr);
    QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    services.SetNormalCursor();
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
    // Nothing of ours to restore: another holder's cursor stays.
    QGuiApplication::setOverrideCursor(Qt::CrossCursor);
    services.SetNormalCursor();
    QVERIFY(QGuiApplication::overrideCursor() != nullptr);
    QGuiApplication::restoreOverrideCursor();
    services.SetBusyCursor();
  }
  // A services object that goes away takes its busy cursor with it.
  QVERIFY(QGuiApplication::overrideCursor() == nullptr);
}

void ServicesTest::boxShowsTheArrowUnderTheHourGlass() {
  vips::app::QtWindowServices services;
  services.SetBusyCursor();
  Qt::CursorShape inBox = Qt::WaitCursor;
  QTimer::singleShot(0, [&] {
    if (QGuiApplication::overrideCursor() != nullptr) {
      inBox = QGuiApplication::overrideCursor()->shape();
    }
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) box->accept();
  });
  services.ShowMessage("status: operation successful!");
  QCOMPARE(inBox, Qt::ArrowCursor);
  // The handler that showed the box still has its hour-glass afterwards.
  QVERIFY(QGuiApplication::overrideCursor() != nullptr);
  QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
  services.SetNormalCursor();
  QVERIFY(QGuiApplication::overrideCursor() == nullptr);
}

QTEST_MAIN(ServicesTest)
#include "test_services.moc"
