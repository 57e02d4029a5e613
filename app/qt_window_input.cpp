// Input that reaches the logic by other routes than a click: files dropped on
// the window, Enter on a push button, Space in the table, and the characters
// that reach a range field typed, pasted, dropped or from an input method.
#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDropEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMetaObject>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QUrl>
#include <optional>
#include <string>

#include "app/qt_text.hpp"
#include "app/qt_window.hpp"

namespace vips::app {
namespace {

using form::ControlId;

// The file a drag carries, when the window logic takes the drag as a file
// choice.
std::optional<QString> DroppedFile(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls()) return std::nullopt;
  const QList<QUrl> urls = data->urls();
  const QString path = urls.empty() ? QString() : urls.front().toLocalFile();
  const bool local = !urls.empty() && urls.front().isLocalFile() && !path.isEmpty();
  if (!form::WindowLogic::DropChoosesFile(static_cast<std::size_t>(urls.size()), local,
                                          local && QFileInfo(path).isDir())) {
    return std::nullopt;
  }
  return path;
}

bool IsEnter(const QKeyEvent& key) {
  return key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter;
}

}  // namespace

bool QtWindow::eventFilter(QObject* watched, QEvent* event) {
  const std::optional<ControlId> id = ControlOf(watched);
  if (!id) return QWidget::eventFilter(watched, event);
  const auto type = event->type();
  if ((type == QEvent::DragEnter || type == QEvent::DragMove || type == QEvent::Drop) &&
      form::WindowLogic::FileDropTarget(*id)) {
    if (FileDropEvent(*id, event)) return true;
  }
  if (type == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    // Enter presses the focused push button, as Space does.
    auto* button = qobject_cast<QPushButton*>(watched);
    if (button != nullptr && IsEnter(*key) && (key->modifiers() & ~Qt::KeypadModifier) == 0) {
      if (!key->isAutoRepeat() && button->isEnabled()) button->click();
      return true;
    }
    if (watched == TableGrid() && key->key() == Qt::Key_Space &&
        key->modifiers() == Qt::NoModifier) {
      if (!key->isAutoRepeat()) logic_.ToggleMarkerOfCurrentRow();
      return true;
    }
  }
  if (form::WindowLogic::IsRangeField(*id)) {
    if (RangeFieldEvent(*id, static_cast<QLineEdit*>(Widget(*id)), event)) return true;
  }
  return QWidget::eventFilter(watched, event);
}

bool QtWindow::FileDropEvent(ControlId id, QEvent* event) {
  auto* drop = static_cast<QDropEvent*>(event);
  const std::optional<QString> file = DroppedFile(drop->mimeData());
  // The file is only read: a drop never moves it away from where it lies.
  const Qt::DropActions actions = drop->possibleActions();
  // Anything but one local file is refused: no drop cursor, no drop.
  if (!file || (actions & (Qt::CopyAction | Qt::LinkAction)) == 0) {
    drop->ignore();
    return true;
  }
  drop->setDropAction(actions.testFlag(Qt::CopyAction) ? Qt::CopyAction : Qt::LinkAction);
  drop->accept();
  if (event->type() != QEvent::Drop) return true;
  // The choice runs once the drop has finished, so that the program the
  // file came from isn't kept waiting by a message box.
  const std::string path = file->toStdString();
  QMetaObject::invokeMethod(
      this, [this, id, path] { logic_.FileDropped(id, path); }, Qt::QueuedConnection);
  return true;
}

bool QtWindow::RangeFieldEvent(ControlId id, QLineEdit* field, QEvent* event) {
  const auto type = event->type();
  // Every character reaches the field only through its key filter, one at a
  // time, however many one key or an input method delivers at once.
  const auto kept = [this, id](const QString& text, bool pasted) {
    return ToQString(logic_.FilterRangeText(id, text.toStdString(), pasted));
  };
  // Pasted or dropped text passes the same filter; only its digits stay.
  // (Held by value: the context menu's Paste runs it later.)
  const auto insertFiltered = [field, kept](const QString& text) {
    const QString digits = kept(text, true);
    if (!digits.isEmpty()) field->insert(digits);
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
    if (data->hasUrls() || kept(data->text(), true).isEmpty()) {
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
    const QString typed = kept(input->commitString(), false);
    if (typed == input->commitString()) return false;
    QInputMethodEvent filtered(input->preeditString(), input->attributes());
    filtered.setCommitString(typed, input->replacementStart(), input->replacementLength());
    QCoreApplication::sendEvent(field, &filtered);
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
    const QString typed = kept(keyEvent->text(), false);
    if (typed == keyEvent->text()) return false;
    if (!typed.isEmpty()) field->insert(typed);
    return true;
  }
  // A held key repeats its presses but is released once, so a number can
  // grow past the row count (or past the integer range) before the clamp.
  // Only a key pressed in the field counts: the Enter or Escape that closed
  // an error box is released here, and must not open the box again.
  if (keyEvent->isAutoRepeat() || rangeKeysDown_.erase(keyEvent->key()) == 0) return false;
  logic_.KeyUp(id);
  return false;
}

}  // namespace vips::app
