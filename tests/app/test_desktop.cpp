// What a desktop user expects beyond the handlers' own clicks: a display
// looked for first, files by drag and drop, pasted text in range fields, Qt's
// own texts in Russian, a readable current cell, Enter and Space, greyed flags.
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPixmapCache>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QTest>
#include <QToolButton>
#include <QUrl>

#include "app/platform/display.hpp"
#include "support/patching_session.hpp"
#include "support/window_fixture.hpp"

using vips::app::StringGrid;
using vips::form::ControlId;

using vips::app::testing::kEnglishLocale;
using vips::app::testing::kRussianLocale;
using vips::app::testing::PatchingSession;
using vips::app::testing::PatchOfOneByteRecords;

namespace {

using Words = std::vector<std::string>;

// Sends a drag over `target` and, when it is taken, drops it there; returns
// whether the drag was taken. The choice runs once the drop has finished.
bool DragAndDrop(QWidget* target, QMimeData& data) {
  const QPoint centre = target->rect().center();
  QDragEnterEvent enter(centre, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                        Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  if (!enter.isAccepted()) return false;
  // A drop is only ever a copy: the file stays where it lies.
  if (enter.dropAction() != Qt::CopyAction) return false;
  QDropEvent drop(QPointF(centre), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                  Qt::NoModifier);
  QApplication::sendEvent(target, &drop);
  QCoreApplication::processEvents();
  return drop.isAccepted();
}

// How much of a flag button's picture is drawn in grey: the pixels darker
// than the button's face (the frame, the bands), or -1 when a coloured pixel
// is there.
int GreyPicturePixels(QToolButton* button) {
  const QImage image = button->grab().toImage();
  const QRect picture(QPoint(0, 0), button->iconSize());
  const QPoint origin = button->rect().center() - picture.center();
  int drawn = 0;
  for (int y = 0; y < picture.height(); ++y) {
    for (int x = 0; x < picture.width(); ++x) {
      const QColor colour = image.pixelColor(origin + QPoint(x, y));
      if (std::abs(colour.red() - colour.green()) > 6 ||
          std::abs(colour.green() - colour.blue()) > 6)
        return -1;
      if (colour.lightness() < 170) ++drawn;
    }
  }
  return drawn;
}

// A style whose generated disabled pictures are blank, as some are.
class BlankDisabledStyle : public QProxyStyle {
 public:
  BlankDisabledStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}
  QPixmap generatedIconPixmap(QIcon::Mode mode, const QPixmap& pixmap,
                              const QStyleOption* option) const override {
    if (mode != QIcon::Disabled) return QProxyStyle::generatedIconPixmap(mode, pixmap, option);
    QPixmap blank(pixmap.size());
    blank.fill(Qt::transparent);
    return blank;
  }
};

}  // namespace

class DesktopTest : public QObject {
  Q_OBJECT
 private slots:
  void displayIsLookedForBeforeTheToolkitStarts_data();
  void displayIsLookedForBeforeTheToolkitStarts();
  void oneLocalFileDropsOnItsGroup_data();
  void oneLocalFileDropsOnItsGroup();
  void pastedAndDroppedTextIsFiltered_data();
  void pastedAndDroppedTextIsFiltered();
  void errorBoxClosedByAKeyDoesNotComeBack();
  void toolkitTextsFollowTheLanguage();
  void currentCellReadsWithoutFocus();
  void enterPressesButtonsAndSpaceToggles();
  void lockedFlagsShowGreyPictures();
};

void DesktopTest::displayIsLookedForBeforeTheToolkitStarts_data() {
  QTest::addColumn<Words>("words");
  QTest::addColumn<QString>("platform");  // QT_QPA_PLATFORM
  QTest::addColumn<QString>("display");
  QTest::addColumn<QString>("wayland");
  QTest::addColumn<bool>("available");
  QTest::newRow("nothing") << Words{} << ""
                           << ""
                           << "" << false;
  QTest::newRow("X") << Words{} << ""
                     << ":0"
                     << "" << true;
  QTest::newRow("Wayland") << Words{} << ""
                           << ""
                           << "wayland-0" << true;
  QTest::newRow("xcb without X") << Words{} << "xcb"
                                 << ""
                                 << "wayland-0" << false;
  QTest::newRow("xcb, -display") << Words{"-display", ":1"} << "xcb"
                                 << ""
                                 << "" << true;
  QTest::newRow("wayland without it") << Words{} << "wayland-egl"
                                      << ":0"
                                      << "" << false;
  QTest::newRow("list, second there") << Words{} << "wayland;xcb:foo"
                                      << ":0"
                                      << "" << true;
  QTest::newRow("list, neither there") << Words{} << "wayland;xcb"
                                       << ""
                                       << "" << false;
  QTest::newRow("offscreen") << Words{} << "offscreen"
                             << ""
                             << "" << true;
  QTest::newRow("-platform wins") << Words{"--platform", "offscreen"} << "xcb"
                                  << ""
                                  << "" << true;
  QTest::newRow("after --, a file") << Words{"--", "-platform", "offscreen"} << ""
                                    << ""
                                    << "" << false;
}

void DesktopTest::displayIsLookedForBeforeTheToolkitStarts() {
  QFETCH(Words, words);
  QFETCH(QString, platform);
  QFETCH(QString, display);
  QFETCH(QString, wayland);
  QFETCH(bool, available);
  const vips::app::DisplayEnvironment environment{platform.toStdString(), display.toStdString(),
                                                  wayland.toStdString()};
#if defined(_WIN32) || defined(__APPLE__)
  available = true;
#endif
  QCOMPARE(vips::app::DisplayAvailable(words, environment), available);
}

void DesktopTest::oneLocalFileDropsOnItsGroup_data() {
  QTest::addColumn<int>("target");  // a ControlId
  QTest::addColumn<QString>("payload");
  QTest::addColumn<bool>("taken");
  const std::pair<ControlId, const char*> targets[] = {{ControlId::OriginalGroup, "original group"},
                                                       {ControlId::OriginalField, "original field"},
                                                       {ControlId::PatchGroup, "patch group"},
                                                       {ControlId::PatchField, "patch field"},
                                                       {ControlId::Grid, "table"}};
  for (const auto& [target, name] : targets) {
    QTest::addRow("%s, one file", name) << static_cast<int>(target) << "file" << true;
  }
  for (const char* payload : {"two files", "text", "remote", "folder"}) {
    QTest::addRow("patch field, %s", payload)
        << static_cast<int>(ControlId::PatchField) << payload << false;
  }
  QTest::newRow("Execute all, file") << static_cast<int>(ControlId::ExecuteAll) << "file" << false;
}

void DesktopTest::oneLocalFileDropsOnItsGroup() {
  QFETCH(int, target);
  QFETCH(QString, payload);
  QFETCH(bool, taken);
  const auto id = static_cast<ControlId>(target);
  PatchingSession s;
  const std::string original = s.dir.Write("image.bin", "0123");
  const std::string patch = s.dir.Write("change.ips", PatchOfOneByteRecords(2));
  const bool patchTarget = id != ControlId::OriginalGroup && id != ControlId::OriginalField;
  // A patch needs the original file first, as ChoosePatchFile does.
  if (patchTarget) s.ChooseOriginal(original);
  QWidget* widget =
      id == ControlId::Grid ? s.form.Widget<StringGrid>(id)->viewport() : s.form.Widget(id);
  QVERIFY(widget != nullptr);

  const QUrl file = QUrl::fromLocalFile(QString::fromStdString(patchTarget ? patch : original));
  QMimeData data;
  if (payload == "file") data.setUrls({file});
  if (payload == "two files") data.setUrls({file, file});
  if (payload == "text") data.setText(QString::fromStdString(patch));
  if (payload == "remote") data.setUrls({QUrl("https://example.org/change.ips")});
  if (payload == "folder")
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(s.dir.Path()))});
  QCOMPARE(DragAndDrop(widget, data), taken);

  if (!patchTarget) QCOMPARE(s.form.Logic().SelectedOriginalPath, taken ? original : std::string());
  if (patchTarget) {
    QCOMPARE(s.form.Logic().SelectedPatchPath, taken ? patch : std::string());
    QCOMPARE(s.form.Widget<StringGrid>(ControlId::Grid)->RowCount(), taken ? 2 : 12);
  }
  QVERIFY(s.services.errors.empty());
}

void DesktopTest::pastedAndDroppedTextIsFiltered_data() {
  QTest::addColumn<QString>("route");
  QTest::addColumn<int>("locale");
  for (const char* route : {"context menu", "Ctrl+V", "Shift+Insert", "drop"})
    QTest::newRow(route) << route << kEnglishLocale;
  // The menu's captions are Qt's own, in Russian here.
  QTest::newRow("context menu, Russian") << "context menu" << kRussianLocale;
}

void DesktopTest::pastedAndDroppedTextIsFiltered() {
  QFETCH(QString, route);
  QFETCH(int, locale);
  PatchingSession s(locale);
  QLineEdit* field = s.form.Widget<QLineEdit>(ControlId::ExecuteTo);
  field->clear();
  QGuiApplication::clipboard()->setText(QStringLiteral("1x -٣2\b"));
  if (route == "context menu") {
    QContextMenuEvent request(QContextMenuEvent::Keyboard, field->rect().center(),
                              field->mapToGlobal(field->rect().center()));
    QApplication::sendEvent(field, &request);
    auto* menu = field->findChild<QMenu*>();
    QVERIFY(menu != nullptr);
    const QString paste = locale == kRussianLocale ? "В&ставить" : "&Paste";
    int pastes = 0;
    for (QAction* action : menu->actions()) {
      if (action->text().startsWith(paste)) ++pastes, action->trigger();
    }
    QCOMPARE(pastes, 1);
    menu->close();
  }
  if (route == "Ctrl+V") QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
  if (route == "Shift+Insert") QTest::keyClick(field, Qt::Key_Insert, Qt::ShiftModifier);
  if (route == "drop") {
    QMimeData data;
    data.setText(QGuiApplication::clipboard()->text());
    QVERIFY(DragAndDrop(field, data));
  }
  QCOMPARE(field->text(), QString("12"));
  QVERIFY(s.services.errors.empty());
  if (route == "drop") {
    // Files, and text without a digit, are refused.
    QMimeData file;
    file.setUrls({QUrl::fromLocalFile(QString::fromStdString(s.dir.Write("5.ips", "")))});
    QMimeData letters;
    letters.setText("x-y");
    QVERIFY(!DragAndDrop(field, file));
    QVERIFY(!DragAndDrop(field, letters));
    QCOMPARE(field->text(), QString("12"));
  }
}

void DesktopTest::errorBoxClosedByAKeyDoesNotComeBack() {
  PatchingSession s;
  QLineEdit* field = s.form.Widget<QLineEdit>(ControlId::ExecuteFrom);
  // A number past the integer range, as a held digit key leaves it.
  field->setText(QStringLiteral("21474836470"));
  QTest::keyClick(field, Qt::Key_End);
  QCOMPARE(s.Errors(), QStringList{"'21474836470' is not a valid integer value."});
  // The box took the key press that closed it; only the release reaches the field.
  for (const auto key : {Qt::Key_Return, Qt::Key_Escape, Qt::Key_Space}) {
    QTest::keyRelease(field, key);
  }
  QCOMPARE(s.services.errors.size(), std::size_t{1});
  // A key typed in the field itself is still clamped after its release.
  QTest::keyClick(field, Qt::Key_Backspace);
  QCOMPARE(field->text(), QString("12"));
}

void DesktopTest::toolkitTextsFollowTheLanguage() {
  const auto dialogButton = [] { return QCoreApplication::translate("QFileDialog", "&Open"); };
  {
    PatchingSession s(kRussianLocale);
    QCOMPARE(dialogButton(), QString("&Открыть"));
    s.form.Widget<QToolButton>(ControlId::EnglishButton)->click();
    QCOMPARE(dialogButton(), QString("&Open"));
    s.form.Widget<QToolButton>(ControlId::RussianButton)->click();
    QCOMPARE(dialogButton(), QString("&Открыть"));
  }
  // The window takes its translation with it when it goes.
  QCOMPARE(dialogButton(), QString("&Open"));
  PatchingSession english(kEnglishLocale);
  QCOMPARE(dialogButton(), QString("&Open"));
}

void DesktopTest::currentCellReadsWithoutFocus() {
  PatchingSession s;
  s.Prepare("0123", PatchOfOneByteRecords(3));
  s.form.Widget<QPushButton>(ControlId::ExecuteAll)->setFocus();
  QVERIFY(!s.form.Widget<StringGrid>(ControlId::Grid)->hasFocus());
  QApplication::processEvents();
  // Row 1's number is the current cell: selected, not focused.
  const QRect cell =
      s.form.Widget<StringGrid>(ControlId::Grid)
          ->visualRect(s.form.Widget<StringGrid>(ControlId::Grid)->model()->index(0, 0));
  const QImage image = s.form.Widget<StringGrid>(ControlId::Grid)->viewport()->grab(cell).toImage();
  int dark = 0;
  int white = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QColor colour = image.pixelColor(x, y);
      if (colour.lightness() < 100) ++dark;
      if (colour.red() > 250 && colour.green() > 250 && colour.blue() > 250) ++white;
    }
  }
  QVERIFY2(dark > 3, qPrintable(QString("%1 dark pixels").arg(dark)));
  QCOMPARE(white, 0);
}

void DesktopTest::enterPressesButtonsAndSpaceToggles() {
  PatchingSession s;
  s.Prepare("0123", PatchOfOneByteRecords(3));
  const QString skip = "No                   *";
  s.form.Widget<QPushButton>(ControlId::CancelAll)->setFocus();
  QTest::keyClick(s.form.Widget<QPushButton>(ControlId::CancelAll),
                  Qt::Key_Return);  // Canceal all
  QCOMPARE(s.Cell(3, 2), skip);
  QTest::keyClick(s.form.Widget<QPushButton>(ControlId::About), Qt::Key_Enter);  // About
  QCOMPARE(s.services.messages.size(), std::size_t{1});

  // Space toggles the current row's marker, whichever column is current.
  s.form.Widget<StringGrid>(ControlId::Grid)->SetCurrentCell(1, 1);
  QTest::keyClick(s.form.Widget<StringGrid>(ControlId::Grid), Qt::Key_Space);
  QCOMPARE(s.Cell(3, 1), QString("Execute"));
  QCOMPARE(s.form.Widget<StringGrid>(ControlId::Grid)->Col(), 3);
  QTest::keyClick(s.form.Widget<StringGrid>(ControlId::Grid), Qt::Key_Space);
  QCOMPARE(s.Cell(3, 1), skip);
  QCOMPARE(s.Cell(3, 0), skip);
}

void DesktopTest::lockedFlagsShowGreyPictures() {
  // The flags carry their own greyed pictures, whatever the style makes of them.
  const QString style = QApplication::style()->name();
  QApplication::setStyle(new BlankDisabledStyle);
  QPixmapCache::clear();
  PatchingSession s;
  // English: the UK flag is the disabled one; the Russian flag shows its colours.
  // At least the frame of 22 x 15 pixels is drawn.
  QVERIFY(GreyPicturePixels(s.form.Widget<QToolButton>(ControlId::EnglishButton)) >= 60);
  QCOMPARE(GreyPicturePixels(s.form.Widget<QToolButton>(ControlId::RussianButton)), -1);
  s.Prepare("0123", PatchOfOneByteRecords(1));
  QVERIFY(GreyPicturePixels(s.form.Widget<QToolButton>(ControlId::EnglishButton)) >= 60);
  QVERIFY(GreyPicturePixels(s.form.Widget<QToolButton>(ControlId::RussianButton)) >= 60);
  QApplication::setStyle(style);
}

QTEST_MAIN(DesktopTest)
#include "test_desktop.moc"
