// Start-up: the application with its title, the one window, its event loop.
// Command-line arguments are ignored and nothing is stored between runs.
#include <QApplication>

#include "app/Patch1.hpp"
#include "app/platform/locale_id.hpp"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  // The application title. No display name is set apart from it: the title
  // bar would append one to the window's own title.
  QApplication::setApplicationName(QStringLiteral("Velmorant IPS"));
  QApplication::setApplicationVersion(QStringLiteral("2.2.0.0"));
  QApplication::setDesktopFileName(QStringLiteral("velmorant-ips"));

  TForm1 Form1(vips::app::ThreadLocaleId());
  Form1.show();
  return QApplication::exec();
}
