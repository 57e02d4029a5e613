// Range fields (key filter, clamp, normalisation) and the range commands.
#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDropEvent>
#include <QEvent>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QRegularExpression>
#include <algorithm>
#include <cstdint>

#include "app/Patch1.hpp"
#include "app/handler_scopes.hpp"
#include "core/error.hpp"
#include "core/table/int_text.hpp"
#include "core/table/markers.hpp"

namespace {

// A typed character as the one byte the key filter sees. A character that
// the single-byte set cannot hold becomes '?', as the system's conversion
// does, so that no digit of another script slips through as a digit.
char KeyByte(QChar typed) {
  const char16_t code = typed.unicode();
  return code < 0x80 ? static_cast<char>(code) : '?';
}

// Only the digits and backspace reach a range field from the keyboard.
void FilterRangeKey(char& key) {
  const bool digit = key >= '0' && key <= '9';
  if (!digit && key != '\b') key = '\0';
}

std::int32_t ValueOf(const QLineEdit& field) {
  return vips::StrToInt(field.text().toStdString());
}

}  // namespace

void TForm1::Edit3KeyPress(char& Key) {
  FilterRangeKey(Key);
}
void TForm1::Edit4KeyPress(char& Key) {
  FilterRangeKey(Key);
}
void TForm1::Edit5KeyPress(char& Key) {
  FilterRangeKey(Key);
}
void TForm1::Edit6KeyPress(char& Key) {
  FilterRangeKey(Key);
}
void TForm1::Edit7KeyPress(char& Key) {
  FilterRangeKey(Key);
}
void TForm1::Edit8KeyPress(char& Key) {
  FilterRangeKey(Key);
}

void TForm1::Edit3KeyUp() {
  ClampRangeField(Edit3);
}
void TForm1::Edit4KeyUp() {
  ClampRangeField(Edit4);
}
void TForm1::Edit5KeyUp() {
  ClampRangeField(Edit5);
}
void TForm1::Edit6KeyUp() {
  ClampRangeField(Edit6);
}
void TForm1::Edit7KeyUp() {
  ClampRangeField(Edit7);
}
void TForm1::Edit8KeyUp() {
  ClampRangeField(Edit8);
}

void TForm1::Button8Click() {
  RangeCommand(Edit3, Edit4, &vips::ExecuteRule);
}
void TForm1::Button9Click() {
  RangeCommand(Edit5, Edit6, &vips::CancelRule);
}
void TForm1::Button10Click() {
  RangeCommand(Edit7, Edit8, &vips::InvertRule);
}

void TForm1::ClampRangeField(QLineEdit* field) {
  if (field->text().isEmpty()) return;
  try {
    const std::int32_t value = ValueOf(*field);
    // The row count, not the number of records: 12 before any patch, and
    // never a bound below 1.
    const int bound = std::max(StringGrid1->RowCount(), 1);
    if (value > bound) field->setText(QString::number(bound));
  } catch (const vips::Error& error) {
    ReportError(error.what());
  }
}

void TForm1::NormalizeRangeFields() {
  QLineEdit* const fields[] = {Edit3, Edit4, Edit5, Edit6, Edit7, Edit8};
  for (QLineEdit* field : fields) {
    if (field->text().isEmpty()) field->setText(QStringLiteral("1"));
  }
  // Stops at the first field that is no number; the fields before it have
  // been rewritten already. "007" is left as typed.
  for (QLineEdit* field : fields) {
    if (ValueOf(*field) == 0) field->setText(QStringLiteral("1"));
  }
}

void TForm1::RangeCommand(QLineEdit* from, QLineEdit* to,
                          void (*rule)(vips::PatchTable&, int, vips::Language)) {
  vips::app::BusyCursor cursor(Services());
  try {
    NormalizeRangeFields();
    cursor.Show();
    const std::int64_t first = ValueOf(*from);
    const std::int64_t last = ValueOf(*to);
    // Record k is row k - 1. Only rows inside the table are visited: a part
    // of the range beyond the last row, or before the first (a pasted
    // negative "from"), changes nothing, and a huge "to" costs nothing.
    if (last >= first) {
      const std::int64_t firstRow = std::max<std::int64_t>(first - 1, 0);
      const std::int64_t lastRow = std::min<std::int64_t>(last - 1, StringGrid1->RowCount() - 1);
      const vips::Language language = CurrentLanguage();
      for (std::int64_t row = firstRow; row <= lastRow; ++row) {
        rule(Table(), static_cast<int>(row), language);
      }
      if (firstRow <= lastRow) {
        StringGrid1->MarkersChanged(static_cast<int>(firstRow), static_cast<int>(lastRow));
      }
    }
    cursor.Restore();
  } catch (const vips::Error& error) {
    // Only the normalisation can fail, before the busy cursor is shown.
    ReportError(error.what());
  }
}

bool TForm1::RangeFieldEvent(QObject* watched, QEvent* event) {
  struct RangeField {
    QLineEdit* field;
    void (TForm1::*keyPress)(char&);
    void (TForm1::*keyUp)();
  };
  const RangeField rangeFields[] = {
      {Edit3, &TForm1::Edit3KeyPress, &TForm1::Edit3KeyUp},
      {Edit4, &TForm1::Edit4KeyPress, &TForm1::Edit4KeyUp},
      {Edit5, &TForm1::Edit5KeyPress, &TForm1::Edit5KeyUp},
      {Edit6, &TForm1::Edit6KeyPress, &TForm1::Edit6KeyUp},
      {Edit7, &TForm1::Edit7KeyPress, &TForm1::Edit7KeyUp},
      {Edit8, &TForm1::Edit8KeyPress, &TForm1::Edit8KeyUp},
  };
  const auto found = std::find_if(std::begin(rangeFields), std::end(rangeFields),
                                  [watched](const RangeField& f) { return f.field == watched; });
  if (found == std::end(rangeFields)) return false;
  QLineEdit* const field = found->field;
  const auto type = event->type();
  // Every character typed reaches the field only through its key filter, one
  // at a time, however many one key or an input method delivers at once.
  const auto keptCharacters = [this, keyPress = found->keyPress](const QString& typed) {
    QString kept;
    for (const QChar character : typed) {
      char key = KeyByte(character);
      (this->*keyPress)(key);
      if (key != '\0') kept += character;
    }
    return kept;
  };
  // Pasted or dropped text passes the same filter; only its digits stay (a
  // pasted backspace character deletes nothing).
  // (Held by value: the context menu's Paste runs it later.)
  const auto insertFiltered = [field, keptCharacters](const QString& text) {
    const QString kept = keptCharacters(text).remove(QChar(u'\b'));
    if (!kept.isEmpty()) field->insert(kept);
  };

  // Text that arrives otherwise than typed goes through the key filter too:
  // dropped text, the context menu's Paste, the middle button's paste.
  if (type == QEvent::DragEnter || type == QEvent::DragMove || type == QEvent::Drop) {
    auto* drop = static_cast<QDropEvent*>(event);
    // The field's own text dragged within it is digits already.
    if (drop->source() == field) return false;
    // Files are no text for a range field, and text without a digit would
    // put nothing in: both are refused.
    const QMimeData* data = drop->mimeData();
    if (data->hasUrls() || !data->text().contains(QRegularExpression(QStringLiteral("[0-9]")))) {
      drop->ignore();
      return true;
    }
    if (type != QEvent::Drop) return false;
    // The text goes in at the caret, where the drag has put it.
    drop->setDropAction(Qt::CopyAction);
    drop->accept();
    insertFiltered(data->text());
    return true;
  }
  if (type == QEvent::ContextMenu) {
    auto* request = static_cast<QContextMenuEvent*>(event);
    QMenu* menu = field->createStandardContextMenu();
    const QString pasteCaption = QCoreApplication::translate("QLineEdit", "&Paste");
    for (QAction* action : menu->actions()) {
      if (!action->text().startsWith(pasteCaption)) continue;
      QObject::disconnect(action, &QAction::triggered, field, nullptr);
      connect(action, &QAction::triggered, field, [insertFiltered] {
        insertFiltered(QGuiApplication::clipboard()->text(QClipboard::Clipboard));
      });
    }
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(request->globalPos());
    return true;
  }
  if (type == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(event)->button() == Qt::MiddleButton &&
      QGuiApplication::clipboard()->supportsSelection()) {
    insertFiltered(QGuiApplication::clipboard()->text(QClipboard::Selection));
    return true;
  }

  if (type == QEvent::InputMethod) {
    auto* input = static_cast<QInputMethodEvent*>(event);
    const QString kept = keptCharacters(input->commitString());
    if (kept == input->commitString()) return false;
    QInputMethodEvent filtered(input->preeditString(), input->attributes());
    filtered.setCommitString(kept, input->replacementStart(), input->replacementLength());
    QCoreApplication::sendEvent(watched, &filtered);
    return true;
  }
  if (type != QEvent::KeyPress && type != QEvent::KeyRelease) return false;

  const auto* keyEvent = static_cast<QKeyEvent*>(event);
  if (type == QEvent::KeyPress) {
    if (!keyEvent->isAutoRepeat()) rangeKeysDown_.insert(keyEvent->key());
    if (keyEvent->matches(QKeySequence::Paste)) {
      insertFiltered(QGuiApplication::clipboard()->text(QClipboard::Clipboard));
      return true;
    }
    // Keys without a character (Delete, arrows, Home, End) pass the filter
    // untouched. Some platforms give Delete the text DEL, but it types
    // nothing; Tab moves the focus.
    const int code = keyEvent->key();
    const bool typesNothing =
        code == Qt::Key_Delete || code == Qt::Key_Tab || code == Qt::Key_Backtab;
    if (typesNothing || keyEvent->text().isEmpty()) return false;
    const QString kept = keptCharacters(keyEvent->text());
    if (kept == keyEvent->text()) return false;
    if (!kept.isEmpty()) field->insert(kept);
    return true;
  }
  // A held key repeats its presses but is released once, so a number can
  // grow past the row count (or past the integer range) before the clamp.
  // Only a key pressed in the field counts: the Enter or Escape that closed
  // an error box is released here, and must not open the box again.
  if (keyEvent->isAutoRepeat() || rangeKeysDown_.erase(keyEvent->key()) == 0) return false;
  (this->*found->keyUp)();
  return false;
}
