#include "app/qt_window_services.hpp"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

#include "app/qt_text.hpp"
#include "form/texts.hpp"

namespace vips::app {
namespace {

void ShowBox(QMessageBox::Icon icon, const std::string& text, bool busy) {
  // No parent: the box is centred on the screen and modal for the application.
  QMessageBox box(icon, ToQString(form::texts::kApplicationTitle), MessageBoxText(text),
                  QMessageBox::Ok);
  box.setTextFormat(Qt::PlainText);
  // A box waits for the user, so it shows the arrow even while the handler
  // that opened it keeps its hour-glass; the hour-glass returns after it.
  if (busy) QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
  box.exec();
  if (busy) QGuiApplication::restoreOverrideCursor();
}

}  // namespace

QtWindowServices::~QtWindowServices() {
  if (busy_) QGuiApplication::restoreOverrideCursor();
}

void QtWindowServices::ShowMessage(const std::string& text) {
  ShowBox(QMessageBox::NoIcon, text, busy_);
}

void QtWindowServices::ShowError(const std::string& text) {
  ShowBox(QMessageBox::Critical, text, busy_);
}

void QtWindowServices::Beep() {
  QApplication::beep();
}

void QtWindowServices::SetBusyCursor() {
  // Override cursors stack; one flag keeps a single level however often a
  // handler asks, so one SetNormalCursor always brings the arrow back.
  if (busy_) return;
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  busy_ = true;
}

void QtWindowServices::SetNormalCursor() {
  if (!busy_) return;
  QGuiApplication::restoreOverrideCursor();
  busy_ = false;
}

std::optional<std::string> QtWindowServices::OpenFile(const std::string& title,
                                                      const std::string& filter) {
  QFileDialog dialog(nullptr, ToQString(title));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  // The chosen file need not exist yet: opening it is what reports its absence.
  dialog.setFileMode(QFileDialog::AnyFile);
  // The filter shows its description as given; the patterns the dialog
  // matches by are hidden.
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  dialog.setNameFilter(QtNameFilter(filter));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return std::nullopt;
  return chosen.front().toStdString();
}

QString QtNameFilter(std::string_view filter) {
  const QStringList parts = ToQString(filter).split(u'|');
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QStringList patterns;
    for (const QString& pattern : parts[i + 1].split(u';', Qt::SkipEmptyParts)) {
      const QString trimmed = pattern.trimmed();
      patterns << (trimmed == u"*.*" ? QStringLiteral("*") : trimmed);
    }
    // The dialog reads the patterns from the last parentheses of the text and,
    // with their details hidden, shows what stands before them.
    filters << parts[i].trimmed() + QStringLiteral(" (") + patterns.join(u' ') + u')';
  }
  return filters.join(QStringLiteral(";;"));
}

QString MessageBoxText(const std::string& text) {
  QString shown = ToQString(text);
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return shown;
}

}  // namespace vips::app
