// Start-up: the application with its title, the one window, its event loop.
// Command-line arguments are ignored and nothing is stored between runs.
#include <QApplication>

#include "app/Patch1.hpp"
#include "app/platform/locale_id.hpp"
#include "app/qt_text.hpp"
#include "app/texts.hpp"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  // The application title. No display name is set apart from it: the title
  // bar would append one to the window's own title.
  QApplication::setApplicationName(vips::app::ToQString(vips::app::texts::kApplicationTitle));
  QApplication::setApplicationVersion(QStringLiteral(VIPS_VERSION_TEXT));
  QApplication::setDesktopFileName(QStringLiteral("velmorant-ips"));

  TForm1 Form1(vips::app::ThreadLocaleId());
  // Message boxes and dialogs carry the program icon too.
  QApplication::setWindowIcon(Form1.windowIcon());
  Form1.show();
  return QApplication::exec();
}
