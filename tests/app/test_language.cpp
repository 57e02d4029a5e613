// Switching the interface language with the flag buttons, the language lock,
// and picking texts by the language flags.
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include "app/qt_text.hpp"
#include "form/texts.hpp"
#include "support/window_fixture.hpp"

using vips::Language;
using vips::form::ControlId;

namespace texts = vips::form::texts;
using vips::app::ToQString;
using vips::app::testing::kEnglishLocale;
using vips::app::testing::kRussianLocale;
using vips::app::testing::MakeWindow;

namespace {

// Every text the window shows, by control, for before/after comparisons.
QStringList Snapshot(vips::app::QtWindow& form) {
  QStringList shown{form.windowTitle()};
  for (auto* button : form.findChildren<QAbstractButton*>())
    shown << button->objectName() + '=' + button->text();
  for (auto* box : form.findChildren<QGroupBox*>()) shown << box->objectName() + '=' + box->title();
  for (auto* field : form.findChildren<QLineEdit*>())
    shown << field->objectName() + '=' + field->text();
  for (auto* label : form.findChildren<QLabel*>())
    shown << label->objectName() + '=' + label->text();
  return shown;
}

void Click(QAbstractButton* button) {
  QTest::mouseClick(button, Qt::LeftButton);
}

}  // namespace

class LanguageTest : public QObject {
  Q_OBJECT
 private slots:
  void switchingThereAndBackRestoresEveryTextButTheTitle();
  void switchingToRussianGivesTheRussianColumn();
  void switchResetsTheStatusAndKeepsChosenFiles();
  void switchTouchesNothingElse();
  void flagButtonsAreNeverBothEnabled();
  void lockDisablesBothButtonsForGood();
  void eitherPlaceholderMeansNoFileChosen_data();
  void eitherPlaceholderMeansNoFileChosen();
};

void LanguageTest::switchingThereAndBackRestoresEveryTextButTheTitle() {
  auto w = MakeWindow(kEnglishLocale);
  QStringList atStart = Snapshot(*w.form);

  Click(w->Widget<QToolButton>(ControlId::RussianButton));
  QCOMPARE(w->Logic().CurrentLanguage(), Language::Russian);
  Click(w->Widget<QToolButton>(ControlId::EnglishButton));
  QCOMPARE(w->Logic().CurrentLanguage(), Language::English);
  QCOMPARE(w->Logic().CurrentLanguage(), Language::English);

  // The English title set by the switch has no trailing space.
  QCOMPARE(w->windowTitle(), ToQString(texts::kWindowTitleAfterSwitch.english));
  QVERIFY(!w->windowTitle().endsWith(u' '));
  QStringList afterwards = Snapshot(*w.form);
  QCOMPARE(atStart.takeFirst(), ToQString(texts::kWindowTitleAtStart.english));
  afterwards.removeFirst();
  QCOMPARE(afterwards, atStart);
  QVERIFY(w.services->events.empty());
}

void LanguageTest::switchingToRussianGivesTheRussianColumn() {
  auto started = MakeWindow(kRussianLocale);
  auto switched = MakeWindow(kEnglishLocale);
  Click(switched->Widget<QToolButton>(ControlId::RussianButton));
  // The Russian title is the same at start and after a switch.
  QCOMPARE(Snapshot(*switched.form), Snapshot(*started.form));
  QCOMPARE(switched->windowTitle(), ToQString(texts::kWindowTitleAtStart.russian));
  QCOMPARE(switched->Widget<QGroupBox>(ControlId::RecordsGroup)->title(),
           ToQString(texts::kRecordsGroupCaption.russian));
  QCOMPARE(switched->Widget<QCheckBox>(ControlId::MessagesCheck)->text(),
           ToQString(texts::kMessagesCaption.russian));
}

void LanguageTest::switchResetsTheStatusAndKeepsChosenFiles() {
  auto w = MakeWindow(kEnglishLocale);
  w->Widget<QLineEdit>(ControlId::OriginalField)->setText("game.sfc");
  w->Logic().SetStatus(texts::kStatusFileSelected.english);

  Click(w->Widget<QToolButton>(ControlId::RussianButton));
  QCOMPARE(w->Widget<QLineEdit>(ControlId::OriginalField)->text(), QString("game.sfc"));
  QCOMPARE(w->Widget<QLineEdit>(ControlId::PatchField)->text(),
           ToQString(texts::kPatchPlaceholder.russian));
  QCOMPARE(w->Widget<QLabel>(ControlId::Status)->text(), ToQString(texts::kNeutralStatus.russian));

  // A field showing a name equal to the current language's own placeholder
  // is left as it is; the other language's placeholder is translated.
  w->Widget<QLineEdit>(ControlId::PatchField)->setText(ToQString(texts::kPatchPlaceholder.russian));
  w->Widget<QLineEdit>(ControlId::OriginalField)
      ->setText(ToQString(texts::kOriginalPlaceholder.english));
  Click(w->Widget<QToolButton>(ControlId::EnglishButton));
  QCOMPARE(w->Widget<QLineEdit>(ControlId::OriginalField)->text(),
           ToQString(texts::kOriginalPlaceholder.english));
  QCOMPARE(w->Widget<QLineEdit>(ControlId::PatchField)->text(),
           ToQString(texts::kPatchPlaceholder.english));

  // Placeholders are compared exactly: another case is a file's name.
  w->Widget<QLineEdit>(ControlId::OriginalField)->setText("original file");
  Click(w->Widget<QToolButton>(ControlId::RussianButton));
  QCOMPARE(w->Widget<QLineEdit>(ControlId::OriginalField)->text(), QString("original file"));
}

void LanguageTest::switchTouchesNothingElse() {
  auto w = MakeWindow(kEnglishLocale);
  w->Logic().Table().SetRowCount(2);
  w->Logic().Table().SetMarkerCell(0, "Execute");
  w->Logic().Table().SetMarkerCell(1, "No                   *");
  w->Widget<QLineEdit>(ControlId::ExecuteFrom)->setText("7");
  w->Widget<QCheckBox>(ControlId::BackupCheck)->setChecked(false);
  w->Widget<QPushButton>(ControlId::Recover)->setEnabled(true);
  w->Logic().BackupTaken = 1;

  Click(w->Widget<QToolButton>(ControlId::RussianButton));
  QCOMPARE(w->Logic().Table().Cell(3, 0), std::string("Execute"));
  QCOMPARE(w->Logic().Table().Cell(3, 1), std::string("No                   *"));
  QCOMPARE(w->Widget<QLineEdit>(ControlId::ExecuteFrom)->text(), QString("7"));
  QVERIFY(!w->Widget<QCheckBox>(ControlId::BackupCheck)->isChecked());
  QVERIFY(w->Widget<QCheckBox>(ControlId::MessagesCheck)->isChecked());
  QVERIFY(w->Widget<QPushButton>(ControlId::Recover)->isEnabled());
  QCOMPARE(w->Logic().BackupTaken, 1);
}

void LanguageTest::flagButtonsAreNeverBothEnabled() {
  auto w = MakeWindow(kEnglishLocale);
  for (int i = 0; i < 3; ++i) {
    Click(w->Widget<QToolButton>(ControlId::RussianButton));
    QVERIFY(w->Widget<QToolButton>(ControlId::EnglishButton)->isEnabled());
    QVERIFY(!w->Widget<QToolButton>(ControlId::RussianButton)->isEnabled());
    // The disabled flag does nothing when clicked.
    Click(w->Widget<QToolButton>(ControlId::RussianButton));
    QCOMPARE(w->Logic().CurrentLanguage(), Language::Russian);
    Click(w->Widget<QToolButton>(ControlId::EnglishButton));
    QVERIFY(!w->Widget<QToolButton>(ControlId::EnglishButton)->isEnabled());
    QVERIFY(w->Widget<QToolButton>(ControlId::RussianButton)->isEnabled());
    QCOMPARE(w->Logic().CurrentLanguage(), Language::English);
  }
}

void LanguageTest::lockDisablesBothButtonsForGood() {
  for (int locale : {kEnglishLocale, kRussianLocale}) {
    auto w = MakeWindow(locale);
    const Language language = w->Logic().CurrentLanguage();
    w->Logic().LockLanguage();
    QVERIFY(w->Logic().LanguageLocked());
    QVERIFY(!w->Widget<QToolButton>(ControlId::EnglishButton)->isEnabled());
    QVERIFY(!w->Widget<QToolButton>(ControlId::RussianButton)->isEnabled());
    Click(w->Widget<QToolButton>(ControlId::EnglishButton));
    Click(w->Widget<QToolButton>(ControlId::RussianButton));
    QCOMPARE(w->Logic().CurrentLanguage(), language);

    // Even a switch run by other means enables neither button again.
    w->Logic().SwitchToEnglish();
    w->Logic().SwitchToRussian();
    QVERIFY(!w->Widget<QToolButton>(ControlId::EnglishButton)->isEnabled());
    QVERIFY(!w->Widget<QToolButton>(ControlId::RussianButton)->isEnabled());
  }
}

void LanguageTest::eitherPlaceholderMeansNoFileChosen_data() {
  QTest::addColumn<int>("locale");
  QTest::addColumn<QString>("original");
  QTest::addColumn<QString>("patch");
  QTest::addColumn<bool>("chosen");
  for (int locale : {kEnglishLocale, kRussianLocale}) {
    const QString language = locale == kRussianLocale ? "Russian: " : "English: ";
    QTest::newRow(qPrintable(language + "English placeholders")) << locale << "Original file"
                                                                 << "IPS file" << false;
    QTest::newRow(qPrintable(language + "Russian placeholders")) << locale << "Оригинальный файл"
                                                                 << "IPS патч" << false;
    // Compared whole and exactly: any other text is a file's name.
    QTest::newRow(qPrintable(language + "other case")) << locale << "original file"
                                                       << "IPS File" << true;
    QTest::newRow(qPrintable(language + "trailing space")) << locale << "Original file "
                                                           << "IPS патч " << true;
    QTest::newRow(qPrintable(language + "names")) << locale << "game.sfc"
                                                  << "fix.ips" << true;
  }
}

void LanguageTest::eitherPlaceholderMeansNoFileChosen() {
  QFETCH(int, locale);
  QFETCH(QString, original);
  QFETCH(QString, patch);
  QFETCH(bool, chosen);
  auto w = MakeWindow(locale);
  w->Widget<QLineEdit>(ControlId::OriginalField)->setText(original);
  w->Widget<QLineEdit>(ControlId::PatchField)->setText(patch);
  QCOMPARE(w->Logic().OriginalFileChosen(), chosen);
  QCOMPARE(w->Logic().PatchFileChosen(), chosen);
}

QTEST_MAIN(LanguageTest)
#include "test_language.moc"
