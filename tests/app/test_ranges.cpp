// The range fields as the Qt window delivers keys to them: typing, the clamp
// on release, a held key. The commands and the normalisation are tested on
// the window's logic.
#include <QApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QTest>

#include "support/patching_session.hpp"

using vips::form::ControlId;

using vips::app::testing::PatchingSession;
using vips::app::testing::PatchOfOneByteRecords;

namespace {

std::array<QLineEdit*, 6> RangeFields(vips::app::QtWindow& form) {
  return {
      form.Widget<QLineEdit>(ControlId::ExecuteFrom), form.Widget<QLineEdit>(ControlId::ExecuteTo),
      form.Widget<QLineEdit>(ControlId::CancelFrom),  form.Widget<QLineEdit>(ControlId::CancelTo),
      form.Widget<QLineEdit>(ControlId::InvertFrom),  form.Widget<QLineEdit>(ControlId::InvertTo)};
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
};

void RangesTest::typingPassesDigitsAndBackspaceOnly() {
  PatchingSession s;
  QLineEdit* field = s.form.Widget<QLineEdit>(ControlId::CancelFrom);
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
  QLineEdit* field = s.form.Widget<QLineEdit>(ControlId::InvertFrom);
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

QTEST_MAIN(RangesTest)
#include "test_ranges.moc"
