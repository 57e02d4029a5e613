// The range fields (typing, clamp, normalisation) and the range commands,
// driven by keys typed into the fields and clicks on the range buttons.
#include <QApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QTest>

#include "support/patching_session.hpp"

using vips::app::testing::PatchingSession;
using vips::app::testing::PatchOfOneByteRecords;

namespace {

const std::string kExecute = "Execute";
const std::string kSkip = "No                   *";

std::array<QLineEdit*, 6> RangeFields(vips::app::QtForm1& form) {
  return {form.Edit3, form.Edit4, form.Edit5, form.Edit6, form.Edit7, form.Edit8};
}

QStringList Texts(vips::app::QtForm1& form) {
  QStringList texts;
  for (QLineEdit* field : RangeFields(form)) texts << field->text();
  return texts;
}

// Markers of the first `count` rows as letters: E execute, S skip, - empty.
QString MarkerLetters(vips::app::QtForm1& form, int count) {
  QString letters;
  for (int row = 0; row < count; ++row) {
    const std::string marker = form.Logic().Table().Cell(3, row);
    letters += marker == kExecute ? 'E' : marker == kSkip ? 'S' : marker.empty() ? '-' : '?';
  }
  return letters;
}

void SetMarkerLetters(vips::app::QtForm1& form, const QString& letters) {
  for (int row = 0; row < letters.size(); ++row) {
    form.Logic().Table().SetCell(3, row, letters[row] == 'E' ? kExecute : kSkip);
  }
}

void SendKey(QLineEdit* field, QEvent::Type type, const QString& text, bool autoRepeat) {
  QKeyEvent event(type, Qt::Key_9, Qt::NoModifier, text, autoRepeat);
  QApplication::sendEvent(field, &event);
}

}  // namespace

class RangesTest : public QObject {
  Q_OBJECT
 private slots:
  void typingPassesDigitsAndBackspaceOnly();
  void releasedKeyClampsToTheRowCount_data();
  void releasedKeyClampsToTheRowCount();
  void heldKeyIsClampedOnceOnRelease();
  void rangeCommandsChangeTheRowsOfTheRange_data();
  void rangeCommandsChangeTheRowsOfTheRange();
  void normalisationRewritesEmptyAndZeroFields();
  void normalisationStopsAtATextThatIsNoNumber();
};

void RangesTest::typingPassesDigitsAndBackspaceOnly() {
  PatchingSession s;
  QLineEdit* field = s.form.Edit5;
  QTest::keyClick(field, Qt::Key_Backspace);
  QCOMPARE(field->text(), QString());
  QTest::keyClicks(field, "a1 -+2.b");
  QCOMPARE(field->text(), QString("12"));
  for (const QString& typed : {QString("я"), QString("٣")}) {
    QTest::sendKeyEvent(QTest::Click, field, Qt::Key_unknown, typed, Qt::NoModifier);
  }
  QCOMPARE(field->text(), QString("12"));
  // Keys that type no character move and delete as usual.
  QTest::keyClick(field, Qt::Key_Home);
  QTest::sendKeyEvent(QTest::Click, field, Qt::Key_Delete, QString("\x7f"), Qt::NoModifier);
  QCOMPARE(field->text(), QString("2"));
  // An input method commits whole strings: each character is filtered alike.
  QInputMethodEvent committed;
  committed.setCommitString("x1 -٣");
  QApplication::sendEvent(field, &committed);
  QCOMPARE(field->text(), QString("12"));
  QTest::sendKeyEvent(QTest::Press, field, Qt::Key_unknown, QString("-0"), Qt::NoModifier);
  QCOMPARE(field->text(), QString("102"));
  // Tab still leaves the field.
  s.form.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&s.form));
  field->setFocus();
  QTest::keyClick(field, Qt::Key_Tab);
  QVERIFY(!field->hasFocus());
  QVERIFY(s.services.errors.empty());
}

void RangesTest::releasedKeyClampsToTheRowCount_data() {
  QTest::addColumn<int>("records");  // -1: no patch loaded (12 rows)
  QTest::addColumn<int>("field");
  QTest::addColumn<QString>("typed");
  QTest::addColumn<QString>("expected");
  QTest::newRow("12 rows, 99") << -1 << 0 << "99"
                               << "12";
  QTest::newRow("12 rows, 12") << -1 << 1 << "12"
                               << "12";
  QTest::newRow("leading zeros") << -1 << 2 << "007"
                                 << "007";
  QTest::newRow("zero") << -1 << 3 << "00"
                        << "00";
  QTest::newRow("10 rows, 50") << 10 << 4 << "50"
                               << "10";
  QTest::newRow("no rows, 5") << 0 << 5 << "5"
                              << "1";
  QTest::newRow("no rows, 0") << 0 << 0 << "0"
                              << "0";
}

void RangesTest::releasedKeyClampsToTheRowCount() {
  QFETCH(int, records);
  QFETCH(int, field);
  QFETCH(QString, typed);
  QFETCH(QString, expected);
  PatchingSession s;
  if (records >= 0) s.Prepare("0123", PatchOfOneByteRecords(records));
  QLineEdit* edit = RangeFields(s.form)[field];
  QTest::keyClick(edit, Qt::Key_Backspace);
  QTest::keyClicks(edit, typed);
  QCOMPARE(edit->text(), expected);
  QVERIFY(s.services.errors.empty());
}

void RangesTest::heldKeyIsClampedOnceOnRelease() {
  PatchingSession s;
  QLineEdit* field = s.form.Edit7;
  QTest::keyClick(field, Qt::Key_Backspace);
  // A held key repeats its press; only the last release is a real one.
  for (int press = 0; press < 11; ++press) {
    if (press > 0) SendKey(field, QEvent::KeyRelease, "9", true);
    SendKey(field, QEvent::KeyPress, "9", press > 0);
  }
  QCOMPARE(field->text(), QString("99999999999"));
  SendKey(field, QEvent::KeyRelease, "9", false);
  QCOMPARE(s.services.errors,
           std::vector<std::string>{"'99999999999' is not a valid integer value."});
  QCOMPARE(field->text(), QString("99999999999"));

  field->setText("99");
  QTest::keyClick(field, Qt::Key_Home);  // no character, but the clamp runs
  QCOMPARE(field->text(), QString("12"));
}

void RangesTest::rangeCommandsChangeTheRowsOfTheRange_data() {
  QTest::addColumn<int>("command");  // 0 execute, 1 cancel, 2 invert
  QTest::addColumn<QString>("from");
  QTest::addColumn<QString>("to");
  QTest::addColumn<QString>("before");
  QTest::addColumn<QString>("after");
  QTest::addColumn<QString>("fromAfter");
  QTest::addColumn<QString>("toAfter");
  QTest::newRow("defaults") << 0 << "1"
                            << "1"
                            << "SSSSSSSSSS"
                            << "ESSSSSSSSS"
                            << "1"
                            << "1";
  QTest::newRow("from above to") << 0 << "5"
                                 << "3"
                                 << "SSSSSSSSSS"
                                 << "SSSSSSSSSS"
                                 << "5"
                                 << "3";
  QTest::newRow("zero from") << 1 << "0"
                             << "2"
                             << "EEEEEEEEEE"
                             << "SSEEEEEEEE"
                             << "1"
                             << "2";
  QTest::newRow("empty from") << 0 << ""
                              << "3"
                              << "SSSSSSSSSS"
                              << "EEESSSSSSS"
                              << "1"
                              << "3";
  QTest::newRow("leading zeros") << 1 << "2"
                                 << "007"
                                 << "EEEEEEEEEE"
                                 << "ESSSSSSEEE"
                                 << "2"
                                 << "007";
  QTest::newRow("to beyond rows") << 1 << "1"
                                  << "50"
                                  << "EEEEEEEEEE"
                                  << "SSSSSSSSSS"
                                  << "1"
                                  << "50";
  QTest::newRow("invert 2..4") << 2 << "2"
                               << "4"
                               << "EESEEEEEEE"
                               << "ESESEEEEEE"
                               << "2"
                               << "4";
  QTest::newRow("negative from") << 1 << "-3"
                                 << "2"
                                 << "EEEEEEEEEE"
                                 << "SSEEEEEEEE"
                                 << "-3"
                                 << "2";
  QTest::newRow("largest to") << 2 << "9"
                              << "2147483647"
                              << "EEEEEEEEEE"
                              << "EEEEEEEESS"
                              << "9"
                              << "2147483647";
}

void RangesTest::rangeCommandsChangeTheRowsOfTheRange() {
  QFETCH(int, command);
  QFETCH(QString, from);
  QFETCH(QString, to);
  QFETCH(QString, before);
  QFETCH(QString, after);
  QFETCH(QString, fromAfter);
  QFETCH(QString, toAfter);
  PatchingSession s;
  s.Prepare("0123", PatchOfOneByteRecords(12));
  s.ChoosePatch(s.dir.Write("ten.ips", PatchOfOneByteRecords(10)));
  SetMarkerLetters(s.form, before);
  QLineEdit* const fields[][2] = {
      {s.form.Edit3, s.form.Edit4}, {s.form.Edit5, s.form.Edit6}, {s.form.Edit7, s.form.Edit8}};
  QPushButton* const buttons[] = {s.form.Button8, s.form.Button9, s.form.Button10};
  fields[command][0]->setText(from);  // as if pasted
  fields[command][1]->setText(to);
  s.ForgetEvents();

  QTest::mouseClick(buttons[command], Qt::LeftButton);
  QCOMPARE(MarkerLetters(s.form, 12), after + "EE");  // rows 10 and 11 are hidden
  QCOMPARE(fields[command][0]->text(), fromAfter);
  QCOMPARE(fields[command][1]->text(), toAfter);
  QCOMPARE(s.services.events, (std::vector<std::string>{"busy", "normal"}));
}

void RangesTest::normalisationRewritesEmptyAndZeroFields() {
  PatchingSession s(1049);
  const QStringList typed{"", "0", "000", "007", "", "0"};
  for (int i = 0; i < 6; ++i) RangeFields(s.form)[i]->setText(typed[i]);
  QTest::mouseClick(s.form.Button9, Qt::LeftButton);  // rows without markers stay so
  QCOMPARE(Texts(s.form), (QStringList{"1", "1", "1", "007", "1", "1"}));
  QCOMPARE(MarkerLetters(s.form, 12), QString(12, '-'));

  s.Prepare("0123", PatchOfOneByteRecords(9));
  QTest::mouseClick(s.form.Button9, Qt::LeftButton);
  QCOMPARE(s.form.Logic().Table().Cell(3, 6), std::string("Нет                  *"));
  QCOMPARE(s.form.Logic().Table().Cell(3, 7), std::string("Выполнить"));
}

void RangesTest::normalisationStopsAtATextThatIsNoNumber() {
  PatchingSession s;
  s.Prepare("0123", PatchOfOneByteRecords(3));
  const QStringList pasted{"", "0", "99999999999", "0", "", "2"};
  for (int i = 0; i < 6; ++i) RangeFields(s.form)[i]->setText(pasted[i]);
  s.ForgetEvents();

  QTest::mouseClick(s.form.Button8, Qt::LeftButton);
  // The command ends before the busy cursor is shown.
  QCOMPARE(s.services.events,
           std::vector<std::string>{"error: '99999999999' is not a valid integer value."});
  QCOMPARE(Texts(s.form), (QStringList{"1", "1", "99999999999", "0", "1", "2"}));
  QCOMPARE(MarkerLetters(s.form, 3), QString("EEE"));
}

QTEST_MAIN(RangesTest)
#include "test_ranges.moc"
