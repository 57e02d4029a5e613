// Input that reaches the handlers by other routes than a click: files dropped
// on the window, Enter on a push button, Space in the table.
#include <QCoreApplication>
#include <QDropEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMetaObject>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>
#include <optional>
#include <string>

#include "app/Patch1.hpp"
#include "core/table/patch_table.hpp"

namespace {

// The one local file a drag carries, if that is all it carries: several
// files, folders, text and remote addresses are no file choice.
std::optional<QString> DroppedFile(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls()) return std::nullopt;
  const QList<QUrl> urls = data->urls();
  if (urls.size() != 1 || !urls.front().isLocalFile()) return std::nullopt;
  const QString path = urls.front().toLocalFile();
  if (path.isEmpty() || QFileInfo(path).isDir()) return std::nullopt;
  return path;
}

bool IsEnter(const QKeyEvent& key) {
  return key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter;
}

}  // namespace

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  const auto type = event->type();
  if (type == QEvent::DragEnter || type == QEvent::DragMove || type == QEvent::Drop) {
    if (FileDropEvent(watched, event)) return true;
  }
  if (type == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    // Enter presses the focused push button, as Space does.
    auto* button = qobject_cast<QPushButton*>(watched);
    if (button != nullptr && IsEnter(*key) && (key->modifiers() & ~Qt::KeypadModifier) == 0) {
      if (!key->isAutoRepeat() && button->isEnabled()) button->click();
      return true;
    }
    // Space toggles the current row's marker: the marker cell becomes the
    // current cell and the double-click handler runs, as a double-click on
    // that cell does.
    if (watched == StringGrid1 && key->key() == Qt::Key_Space &&
        key->modifiers() == Qt::NoModifier) {
      if (!key->isAutoRepeat() && StringGrid1->Row() >= 0) {
        StringGrid1->SetCurrentCell(vips::PatchTable::kMarkerColumn, StringGrid1->Row());
        StringGrid1DblClick();
      }
      return true;
    }
  }
  if (RangeFieldEvent(watched, event)) return true;
  return QWidget::eventFilter(watched, event);
}

bool TForm1::FileDropEvent(QObject* watched, QEvent* event) {
  const bool original = watched == GroupBox1 || watched == Edit1;
  const bool patch = watched == GroupBox2 || watched == Edit2 || watched == StringGrid1->viewport();
  if (!original && !patch) return false;

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
      this,
      [this, original, path] {
        if (original) OpenOriginalFile(path);
        if (!original) OpenPatchFile(path);
      },
      Qt::QueuedConnection);
  return true;
}
