// The window as it starts: every control in its place with its texts in the
// locale's language, the enabled states, the focus order, the fixed frame,
// the pictures and About.
#include <QCheckBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QTest>
#include <QToolButton>

#include "app/qt_text.hpp"
#include "form/texts.hpp"
#include "support/window_fixture.hpp"

using vips::Language;
using vips::app::StringGrid;
using vips::form::ControlId;

namespace texts = vips::form::texts;
using vips::app::ToQString;
using vips::app::testing::kEnglishLocale;
using vips::app::testing::kRussianLocale;
using vips::app::testing::MakeWindow;

namespace {

QString Pick(const texts::Bilingual& text, bool russian) {
  return ToQString(russian ? text.russian : text.english);
}

// The text a control shows, whatever its kind.
QString Shown(QWidget* control) {
  if (auto* button = qobject_cast<QAbstractButton*>(control)) return button->text();
  if (auto* box = qobject_cast<QGroupBox*>(control)) return box->title();
  if (auto* field = qobject_cast<QLineEdit*>(control)) return field->text();
  if (auto* label = qobject_cast<QLabel*>(control)) return label->text();
  return control->windowTitle();
}

struct Caption {
  const char* control;
  texts::Bilingual text;
};

// The caption table, plus the placeholders and the neutral status text.
const Caption kCaptions[] = {
    {"Edit1", texts::kOriginalPlaceholder},
    {"Edit2", texts::kPatchPlaceholder},
    {"CheckBox1", texts::kBackupCaption},
    {"BitBtn2", texts::kGoCaption},
    {"BitBtn1", texts::kAboutCaption},
    {"BitBtn3", texts::kRecoverCaption},
    {"Button1", texts::kSelectButton},
    {"Button2", texts::kSelectButton},
    {"Button3", texts::kExecuteAllCaption},
    {"Button4", texts::kCancelAllCaption},
    {"Button5", texts::kInvertAllCaption},
    {"Button6", texts::kPageDownCaption},
    {"Button7", texts::kPageUpCaption},
    {"GroupBox1", texts::kOriginalGroupCaption},
    {"GroupBox2", texts::kPatchGroupCaption},
    {"GroupBox3", texts::kRecordsGroupCaption},
    {"Label1", texts::kFromLabel},
    {"Label2", texts::kFromLabel},
    {"Label3", texts::kFromLabel},
    {"Label4", texts::kToLabel},
    {"Label5", texts::kToLabel},
    {"Label6", texts::kToLabel},
    {"GroupBox4", texts::kRangesGroupCaption},
    {"Button8", texts::kExecuteRangeCaption},
    {"Button9", texts::kCancelRangeCaption},
    {"Button10", texts::kInvertRangeCaption},
    {"StaticText1", texts::kNeutralStatus},
    {"CheckBox2", texts::kMessagesCaption},
};

}  // namespace

class StartupTest : public QObject {
  Q_OBJECT
 private slots:
  void startsInTheLocalesLanguage_data();
  void startsInTheLocalesLanguage();
  void startsWithTheDesignedState();
  void controlsStandWhereDesigned_data();
  void controlsStandWhereDesigned();
  void everyCaptionFitsItsControl();
  void windowIsFixedWithoutMinimizeOrMaximize();
  void tabWalksTheFocusOrder();
  void statusLineIsMagentaAndFollowsItsText();
  void buttonsCarryTheirPictures();
  void aboutShowsOneMessageInTheCurrentLanguage_data();
  void aboutShowsOneMessageInTheCurrentLanguage();
};

void StartupTest::startsInTheLocalesLanguage_data() {
  QTest::addColumn<int>("locale");
  QTest::addColumn<bool>("russian");
  QTest::newRow("English (US)") << kEnglishLocale << false;
  QTest::newRow("Russian (Russia)") << kRussianLocale << true;
  // Russian spoken elsewhere, and neighbouring languages, start in English.
  QTest::newRow("Russian (Moldova)") << 2073 << false;
  QTest::newRow("Ukrainian") << 1058 << false;
  QTest::newRow("Russian, other sort order") << (0x10000 | kRussianLocale) << false;
  QTest::newRow("unknown") << 0 << false;
}

void StartupTest::startsInTheLocalesLanguage() {
  QFETCH(int, locale);
  QFETCH(bool, russian);
  auto w = MakeWindow(locale);

  QCOMPARE(w->Logic().CurrentLanguage(), russian ? Language::Russian : Language::English);
  QCOMPARE(w->Logic().CurrentLanguage(),
           russian ? vips::Language::Russian : vips::Language::English);
  for (const Caption& caption : kCaptions) {
    auto* control = w->findChild<QWidget*>(caption.control);
    QVERIFY2(control != nullptr, caption.control);
    QCOMPARE(Shown(control), Pick(caption.text, russian));
  }
  // The English title at start ends with a space, like the Russian one.
  QCOMPARE(w->windowTitle(), Pick(texts::kWindowTitleAtStart, russian));
  QVERIFY(w->windowTitle().endsWith(u' '));
  // Only the other language's flag can be pressed.
  QCOMPARE(w->Widget<QToolButton>(ControlId::EnglishButton)->isEnabled(), russian);
  QCOMPARE(w->Widget<QToolButton>(ControlId::RussianButton)->isEnabled(), !russian);
  QVERIFY(w.services->events.empty());
}

void StartupTest::startsWithTheDesignedState() {
  auto w = MakeWindow(kEnglishLocale);
  QCOMPARE(w->Logic().BackupTaken, 0);
  QVERIFY(!w->Widget<QPushButton>(ControlId::Recover)->isEnabled());
  QVERIFY(w->Widget<QCheckBox>(ControlId::BackupCheck)->isChecked());
  QVERIFY(w->Widget<QCheckBox>(ControlId::MessagesCheck)->isChecked());
  for (QLineEdit* field :
       {w->Widget<QLineEdit>(ControlId::ExecuteFrom), w->Widget<QLineEdit>(ControlId::ExecuteTo),
        w->Widget<QLineEdit>(ControlId::CancelFrom), w->Widget<QLineEdit>(ControlId::CancelTo),
        w->Widget<QLineEdit>(ControlId::InvertFrom), w->Widget<QLineEdit>(ControlId::InvertTo)}) {
    QCOMPARE(field->text(), QString("1"));
    QVERIFY(!field->isReadOnly());
  }
  QVERIFY(w->Widget<QLineEdit>(ControlId::OriginalField)->isReadOnly());
  QVERIFY(w->Widget<QLineEdit>(ControlId::PatchField)->isReadOnly());
  QCOMPARE(w->Widget<QLineEdit>(ControlId::OriginalField)->cursor().shape(), Qt::ArrowCursor);
  QCOMPARE(w->Widget<QPushButton>(ControlId::ChooseOriginal)->cursor().shape(),
           Qt::PointingHandCursor);
  QCOMPARE(w->Widget<QToolButton>(ControlId::RussianButton)->cursor().shape(),
           Qt::PointingHandCursor);
  QCOMPARE(w->Widget<QPushButton>(ControlId::About)->cursor().shape(), Qt::WhatsThisCursor);
  QCOMPARE(w->Widget<QPushButton>(ControlId::ExecuteRange)->cursor().shape(), Qt::ArrowCursor);

  QCOMPARE(w->Widget<StringGrid>(ControlId::Grid)->RowCount(), 12);
  for (int row = 0; row < 12; ++row)
    for (int column = 0; column < 4; ++column)
      QVERIFY(w->Logic().Table().Cell(column, row).empty());

  // Each pair of fields has its own tint.
  const auto base = [](QLineEdit* field) { return field->palette().color(QPalette::Base); };
  QCOMPARE(base(w->Widget<QLineEdit>(ControlId::OriginalField)), QColor(204, 255, 204));
  QCOMPARE(base(w->Widget<QLineEdit>(ControlId::PatchField)), QColor(204, 255, 204));
  QCOMPARE(base(w->Widget<QLineEdit>(ControlId::ExecuteTo)), QColor(170, 191, 204));
  QCOMPARE(base(w->Widget<QLineEdit>(ControlId::CancelFrom)), QColor(204, 191, 204));
  QCOMPARE(base(w->Widget<QLineEdit>(ControlId::InvertTo)), QColor(221, 191, 204));

  // The language buttons and the status line never take the focus; no
  // button answers Enter for the whole window.
  QCOMPARE(w->Widget<QToolButton>(ControlId::EnglishButton)->focusPolicy(), Qt::NoFocus);
  QCOMPARE(w->Widget<QToolButton>(ControlId::RussianButton)->focusPolicy(), Qt::NoFocus);
  QCOMPARE(w->Widget<QLabel>(ControlId::Status)->focusPolicy(), Qt::NoFocus);
  for (auto* button : w->findChildren<QPushButton*>()) {
    QVERIFY2(!button->isDefault() && !button->autoDefault(), qPrintable(button->objectName()));
  }
}

void StartupTest::controlsStandWhereDesigned_data() {
  QTest::addColumn<QString>("control");
  QTest::addColumn<QString>("parent");
  QTest::addColumn<QRect>("geometry");
  const struct {
    const char* control;
    const char* parent;
    QRect geometry;
  } layout[] = {
      {"Panel1", "Form1", {0, 0, 614, 379}},
      {"SpeedButton1", "Panel1", {301, 352, 38, 24}},
      {"SpeedButton2", "Panel1", {338, 352, 38, 24}},
      {"GroupBox1", "Form1", {8, 4, 473, 57}},
      {"Edit1", "GroupBox1", {8, 20, 385, 21}},
      {"Button1", "GroupBox1", {400, 19, 65, 22}},
      {"GroupBox2", "Form1", {8, 60, 473, 57}},
      {"Edit2", "GroupBox2", {8, 19, 385, 21}},
      {"Button2", "GroupBox2", {400, 19, 65, 22}},
      {"BitBtn2", "Form1", {381, 125, 100, 25}},
      {"GroupBox3", "Form1", {8, 120, 369, 233}},
      {"StringGrid1", "GroupBox3", {8, 16, 353, 209}},
      {"Button3", "Form1", {381, 155, 100, 25}},
      {"Button4", "Form1", {381, 183, 100, 25}},
      {"Button5", "Form1", {381, 211, 100, 25}},
      {"Button7", "Form1", {381, 239, 100, 25}},
      {"Button6", "Form1", {381, 267, 100, 25}},
      {"BitBtn3", "Form1", {381, 297, 100, 27}},
      {"BitBtn1", "Form1", {381, 327, 100, 25}},
      {"CheckBox1", "Form1", {8, 358, 201, 17}},
      {"CheckBox2", "Form1", {212, 358, 81, 17}},
      {"GroupBox4", "Form1", {487, 4, 121, 349}},
      {"Label1", "GroupBox4", {8, 32, 20, 13}},
      {"Edit3", "GroupBox4", {32, 29, 81, 21}},
      {"Label4", "GroupBox4", {8, 63, 9, 13}},
      {"Edit4", "GroupBox4", {32, 60, 81, 21}},
      {"Button8", "GroupBox4", {8, 96, 103, 25}},
      {"Label2", "GroupBox4", {8, 141, 20, 13}},
      {"Edit5", "GroupBox4", {32, 138, 81, 21}},
      {"Label5", "GroupBox4", {8, 171, 9, 13}},
      {"Edit6", "GroupBox4", {32, 168, 81, 21}},
      {"Button9", "GroupBox4", {11, 204, 100, 25}},
      {"Label3", "GroupBox4", {8, 253, 20, 13}},
      {"Edit7", "GroupBox4", {32, 250, 81, 21}},
      {"Label6", "GroupBox4", {8, 285, 9, 13}},
      {"Edit8", "GroupBox4", {32, 282, 81, 21}},
      {"Button10", "GroupBox4", {11, 314, 100, 25}},
  };
  for (const auto& row : layout) {
    QTest::newRow(row.control) << row.control << row.parent << row.geometry;
  }
}

void StartupTest::controlsStandWhereDesigned() {
  QFETCH(QString, control);
  QFETCH(QString, parent);
  QFETCH(QRect, geometry);
  auto w = MakeWindow(kEnglishLocale);
  auto* widget = w->findChild<QWidget*>(control);
  QVERIFY(widget != nullptr);
  QCOMPARE(widget->parentWidget()->objectName(), parent);
  if (qobject_cast<QLabel*>(widget) != nullptr) {
    // A label widens only where the stand-in face needs it for its caption.
    QCOMPARE(widget->pos(), geometry.topLeft());
    QCOMPARE(widget->height(), geometry.height());
    QVERIFY(widget->width() >= geometry.width());
    QVERIFY(widget->width() >= widget->sizeHint().width());
    QVERIFY(widget->geometry().right() < w->Widget<QLineEdit>(ControlId::ExecuteFrom)->x());
  } else {
    QCOMPARE(widget->geometry(), geometry);
  }
}

void StartupTest::everyCaptionFitsItsControl() {
  const QStringList designedMetrics{"MS Sans Serif", "Microsoft Sans Serif", "Arial",
                                    "Liberation Sans", "Arimo"};
  for (int locale : {kEnglishLocale, kRussianLocale}) {
    auto w = MakeWindow(locale);
    const QString face = QFontInfo(w->font()).family();
    if (!designedMetrics.contains(face))
      QSKIP(qPrintable("no face with the designed metrics is installed, only " + face));

    for (auto* button : w->findChildren<QPushButton*>()) {
      QStyleOptionButton option;
      option.initFrom(button);
      const QRect contents =
          button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
      // A picture stands left of the caption, 4 pixels apart.
      const int picture = button->icon().isNull() ? 0 : button->iconSize().width() + 4;
      const int needed = button->fontMetrics().horizontalAdvance(button->text()) + picture;
      QVERIFY2(needed <= contents.width(), qPrintable(button->objectName() + ' ' + button->text()));
    }
    for (QCheckBox* box : {w->Widget<QCheckBox>(ControlId::BackupCheck),
                           w->Widget<QCheckBox>(ControlId::MessagesCheck)}) {
      QStyleOptionButton option;
      option.initFrom(box);
      const QRect contents =
          box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box);
      QVERIFY2(box->fontMetrics().horizontalAdvance(box->text()) <= contents.width(),
               qPrintable(box->text()));
    }
    for (auto* group : w->findChildren<QGroupBox*>()) {
      QStyleOptionGroupBox option;
      option.initFrom(group);
      option.text = group->title();
      option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
      const QRect label = group->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                         QStyle::SC_GroupBoxLabel, group);
      QVERIFY2(label.right() < group->width(), qPrintable(group->title()));
    }
  }
}

void StartupTest::windowIsFixedWithoutMinimizeOrMaximize() {
  auto w = MakeWindow(kEnglishLocale);
  QCOMPARE(w->size(), QSize(614, 379));
  QCOMPARE(w->minimumSize(), QSize(614, 379));
  QCOMPARE(w->maximumSize(), QSize(614, 379));
  QCOMPARE(w->pos(), QPoint(200, 124));
  const Qt::WindowFlags flags = w->windowFlags();
  QVERIFY(flags.testFlag(Qt::WindowSystemMenuHint));
  QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
  QVERIFY(flags.testFlag(Qt::CustomizeWindowHint));
  QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
  QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));

  w->show();
  QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
  w->resize(800, 600);
  QCOMPARE(w->size(), QSize(614, 379));
  QVERIFY(!w->windowIcon().isNull());
  QCOMPARE(w->windowIcon().availableSizes().size(), 5);
}

void StartupTest::tabWalksTheFocusOrder() {
  auto w = MakeWindow(kEnglishLocale);
  w->show();
  QVERIFY(QTest::qWaitForWindowActive(w.form.get()));

  const auto walk = [&w](QWidget* start, int steps) {
    start->setFocus(Qt::OtherFocusReason);
    QStringList names{QApplication::focusWidget()->objectName()};
    for (int i = 0; i < steps; ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      names << QApplication::focusWidget()->objectName();
    }
    return names;
  };

  // Recover is disabled at start and is passed over.
  QCOMPARE(walk(w->Widget<QLineEdit>(ControlId::OriginalField), 23).join(' '),
           QString("Edit1 Button1 Edit2 Button2 BitBtn2 BitBtn1 CheckBox1 StringGrid1 Button3 "
                   "Button4 Button5 Button6 Button7 Edit3 Edit4 Button8 Edit5 Edit6 Button9 "
                   "Edit7 Edit8 Button10 CheckBox2 Edit1"));
  w->Widget<QPushButton>(ControlId::Recover)->setEnabled(true);
  QCOMPARE(walk(w->Widget<QPushButton>(ControlId::InvertRange), 3).join(' '),
           QString("Button10 BitBtn3 CheckBox2 Edit1"));

  // The file name fields do not select their text when tabbed into.
  w->Widget<QLineEdit>(ControlId::PatchField)->setText("game.bin");
  w->Widget<QPushButton>(ControlId::ChooseOriginal)->setFocus(Qt::OtherFocusReason);
  QTest::keyClick(w->Widget<QPushButton>(ControlId::ChooseOriginal), Qt::Key_Tab);
  QCOMPARE(QApplication::focusWidget(), w->Widget<QLineEdit>(ControlId::PatchField));
  QVERIFY(!w->Widget<QLineEdit>(ControlId::PatchField)->hasSelectedText());
}

void StartupTest::statusLineIsMagentaAndFollowsItsText() {
  auto w = MakeWindow(kEnglishLocale);
  QCOMPARE(w->Widget<QLabel>(ControlId::Status)->palette().color(QPalette::WindowText),
           QColor(255, 0, 255));
  QCOMPARE(w->Widget<QLabel>(ControlId::Status)->font().pixelSize(), 11);
  QCOMPARE(w->font().pixelSize(), 11);
  QCOMPARE(w->font().family(), QString("MS Sans Serif"));

  const int neutralWidth = w->Widget<QLabel>(ControlId::Status)->width();
  w->Logic().SetStatus(texts::kStatusProgramOperation.english);
  QCOMPARE(w->Widget<QLabel>(ControlId::Status)->text(),
           ToQString(texts::kStatusProgramOperation.english));
  QVERIFY(w->Widget<QLabel>(ControlId::Status)->width() > neutralWidth);
  QCOMPARE(w->Widget<QLabel>(ControlId::Status)->pos(), QPoint(381, 358));
  QCOMPARE(w->Widget<QLabel>(ControlId::Status)->height(), 17);
  w->Logic().SetStatus(texts::kNeutralStatus.english);
  QCOMPARE(w->Widget<QLabel>(ControlId::Status)->width(), neutralWidth);
}

void StartupTest::buttonsCarryTheirPictures() {
  auto w = MakeWindow(kEnglishLocale);
  const auto image = [](const QIcon& icon, QIcon::Mode mode, QSize size) {
    return icon.pixmap(size, 1.0, mode).toImage();
  };
  struct {
    QAbstractButton* button;
    QSize size;
  } const pictured[] = {{w->Widget<QPushButton>(ControlId::About), {18, 18}},
                        {w->Widget<QPushButton>(ControlId::Go), {18, 18}},
                        {w->Widget<QPushButton>(ControlId::Recover), {18, 18}},
                        {w->Widget<QToolButton>(ControlId::EnglishButton), {22, 15}},
                        {w->Widget<QToolButton>(ControlId::RussianButton), {22, 15}}};
  for (const auto& entry : pictured) {
    const QIcon icon = entry.button->icon();
    QVERIFY2(!icon.isNull(), qPrintable(entry.button->objectName()));
    QCOMPARE(entry.button->iconSize(), entry.size);
    const QImage normal = image(icon, QIcon::Normal, entry.size);
    QCOMPARE(normal.size(), entry.size);
    // The disabled image differs from the normal one (grey outline or faded).
    QVERIFY(image(icon, QIcon::Disabled, entry.size) != normal);
  }
  // Flags sit in a black frame.
  const QImage flag =
      image(w->Widget<QToolButton>(ControlId::RussianButton)->icon(), QIcon::Normal, {22, 15});
  QCOMPARE(flag.pixelColor(0, 0), QColor(Qt::black));
  QCOMPARE(flag.pixelColor(21, 14), QColor(Qt::black));
}

void StartupTest::aboutShowsOneMessageInTheCurrentLanguage_data() {
  QTest::addColumn<int>("locale");
  QTest::addColumn<QString>("firstLine");
  QTest::newRow("English") << kEnglishLocale << "Velmorant IPS  version 2.2";
  QTest::newRow("Russian") << kRussianLocale << "Velmorant IPS патчер  версия 2.2";
}

void StartupTest::aboutShowsOneMessageInTheCurrentLanguage() {
  QFETCH(int, locale);
  QFETCH(QString, firstLine);
  auto w = MakeWindow(locale);
  QTest::mouseClick(w->Widget<QPushButton>(ControlId::About), Qt::LeftButton);
  QCOMPARE(w.services->events.size(), std::size_t{1});
  QCOMPARE(w.services->messages.size(), std::size_t{1});
  const QString text = QString::fromStdString(w.services->messages.front());
  QCOMPARE(text.split("\r\n").value(0), firstLine);
  QCOMPARE(text.split("\r\n").value(1), QString());
  QVERIFY(text.split("\r\n").size() > 2);
}

QTEST_MAIN(StartupTest)
#include "test_startup.moc"
