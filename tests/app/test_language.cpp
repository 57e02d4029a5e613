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

namespace texts = vips::form::texts;
using vips::app::ToQString;
using vips::app::testing::kEnglishLocale;
using vips::app::testing::kRussianLocale;
using vips::app::testing::MakeWindow;

namespace {

// Every text the window shows, by control, for before/after comparisons.
QStringList Snapshot(vips::app::QtForm1& form) {
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

  Click(w->SpeedButton2);
  QCOMPARE(w->Logic().LangRussian, 1);
  QCOMPARE(w->Logic().LangEnglish, 0);
  Click(w->SpeedButton1);
  QCOMPARE(w->Logic().LangRussian, 0);
  QCOMPARE(w->Logic().LangEnglish, 1);

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
  Click(switched->SpeedButton2);
  // The Russian title is the same at start and after a switch.
  QCOMPARE(Snapshot(*switched.form), Snapshot(*started.form));
  QCOMPARE(switched->windowTitle(), ToQString(texts::kWindowTitleAtStart.russian));
  QCOMPARE(switched->GroupBox3->title(), ToQString(texts::kGroupBox3.russian));
  QCOMPARE(switched->CheckBox2->text(), ToQString(texts::kCheckBox2.russian));
}

void LanguageTest::switchResetsTheStatusAndKeepsChosenFiles() {
  auto w = MakeWindow(kEnglishLocale);
  w->Edit1->setText("game.sfc");
  w->Logic().SetStatus(texts::kStatusFileSelected.english);

  Click(w->SpeedButton2);
  QCOMPARE(w->Edit1->text(), QString("game.sfc"));
  QCOMPARE(w->Edit2->text(), ToQString(texts::kPatchPlaceholder.russian));
  QCOMPARE(w->StaticText1->text(), ToQString(texts::kNeutralStatus.russian));

  // A field showing a name equal to the current language's own placeholder
  // is left as it is; the other language's placeholder is translated.
  w->Edit2->setText(ToQString(texts::kPatchPlaceholder.russian));
  w->Edit1->setText(ToQString(texts::kOriginalPlaceholder.english));
  Click(w->SpeedButton1);
  QCOMPARE(w->Edit1->text(), ToQString(texts::kOriginalPlaceholder.english));
  QCOMPARE(w->Edit2->text(), ToQString(texts::kPatchPlaceholder.english));

  // Placeholders are compared exactly: another case is a file's name.
  w->Edit1->setText("original file");
  Click(w->SpeedButton2);
  QCOMPARE(w->Edit1->text(), QString("original file"));
}

void LanguageTest::switchTouchesNothingElse() {
  auto w = MakeWindow(kEnglishLocale);
  w->Logic().Table().SetRowCount(2);
  w->Logic().Table().SetMarkerCell(0, "Execute");
  w->Logic().Table().SetMarkerCell(1, "No                   *");
  w->Edit3->setText("7");
  w->CheckBox1->setChecked(false);
  w->BitBtn3->setEnabled(true);
  w->Logic().BackupTaken = 1;

  Click(w->SpeedButton2);
  QCOMPARE(w->Logic().Table().Cell(3, 0), std::string("Execute"));
  QCOMPARE(w->Logic().Table().Cell(3, 1), std::string("No                   *"));
  QCOMPARE(w->Edit3->text(), QString("7"));
  QVERIFY(!w->CheckBox1->isChecked());
  QVERIFY(w->CheckBox2->isChecked());
  QVERIFY(w->BitBtn3->isEnabled());
  QCOMPARE(w->Logic().BackupTaken, 1);
}

void LanguageTest::flagButtonsAreNeverBothEnabled() {
  auto w = MakeWindow(kEnglishLocale);
  for (int i = 0; i < 3; ++i) {
    Click(w->SpeedButton2);
    QVERIFY(w->SpeedButton1->isEnabled());
    QVERIFY(!w->SpeedButton2->isEnabled());
    // The disabled flag does nothing when clicked.
    Click(w->SpeedButton2);
    QCOMPARE(w->Logic().LangRussian, 1);
    Click(w->SpeedButton1);
    QVERIFY(!w->SpeedButton1->isEnabled());
    QVERIFY(w->SpeedButton2->isEnabled());
    QCOMPARE(w->Logic().LangEnglish, 1);
  }
}

void LanguageTest::lockDisablesBothButtonsForGood() {
  for (int locale : {kEnglishLocale, kRussianLocale}) {
    auto w = MakeWindow(locale);
    const int russian = w->Logic().LangRussian;
    w->Logic().LockLanguage();
    QVERIFY(w->Logic().LanguageLocked());
    QVERIFY(!w->SpeedButton1->isEnabled());
    QVERIFY(!w->SpeedButton2->isEnabled());
    Click(w->SpeedButton1);
    Click(w->SpeedButton2);
    QCOMPARE(w->Logic().LangRussian, russian);

    // Even a switch run by other means enables neither button again.
    w->Logic().SpeedButton1Click();
    w->Logic().SpeedButton2Click();
    QVERIFY(!w->SpeedButton1->isEnabled());
    QVERIFY(!w->SpeedButton2->isEnabled());
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
  w->Edit1->setText(original);
  w->Edit2->setText(patch);
  QCOMPARE(w->Logic().OriginalFileChosen(), chosen);
  QCOMPARE(w->Logic().PatchFileChosen(), chosen);
}

QTEST_MAIN(LanguageTest)
#include "test_language.moc"
