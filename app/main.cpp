// Start-up: the application with its title, the one window, its event loop.
// Files named on the command line are taken once the window is up, as if
// chosen in its dialogs; nothing is stored between runs.
#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <string>
#include <vector>

#include "app/platform/locale_id.hpp"
#include "app/qt_form1.hpp"
#include "app/qt_text.hpp"
#include "form/command_line.hpp"
#include "form/texts.hpp"

namespace {

std::vector<std::string> Words(const QStringList& arguments) {
  std::vector<std::string> words;
  for (qsizetype i = 1; i < arguments.size(); ++i) words.push_back(arguments[i].toStdString());
  return words;
}

}  // namespace

int main(int argc, char* argv[]) {
  // --help and --version print and end before the toolkit starts, so that
  // they work without a display.
  {
    std::vector<std::string> words(argv + (argc > 0 ? 1 : 0), argv + argc);
    const auto action = vips::form::ParseCommandLine(words).action;
    if (action == vips::form::CommandLine::Action::Help) {
      std::fputs(vips::form::kWindowHelpText, stdout);
      return 0;
    }
    if (action == vips::form::CommandLine::Action::Version) {
      std::printf("Velmorant IPS %s\n", VIPS_VERSION_TEXT);
      return 0;
    }
  }

  QApplication application(argc, argv);
  // The toolkit has taken its own options (-platform, -style ...) out.
  const vips::form::CommandLine line =
      vips::form::ParseCommandLine(Words(QCoreApplication::arguments()));
  if (line.action == vips::form::CommandLine::Action::Usage) {
    std::fprintf(stderr, "velmorant-ips: %s\n%s", line.problem.c_str(),
                 vips::form::kWindowUsageLine);
    return vips::form::kWindowExitUsage;
  }

  // The application title. No display name is set apart from it: the title
  // bar would append one to the window's own title.
  QApplication::setApplicationName(vips::app::ToQString(vips::form::texts::kApplicationTitle));
  QApplication::setApplicationVersion(QStringLiteral(VIPS_VERSION_TEXT));
  QApplication::setDesktopFileName(QStringLiteral("velmorant-ips"));

  vips::app::QtForm1 Form1(vips::app::ThreadLocaleId());
  // Message boxes and dialogs carry the program icon too.
  QApplication::setWindowIcon(Form1.windowIcon());
  Form1.show();
  QTimer::singleShot(0, &Form1,
                     [&Form1, line] { vips::form::OpenCommandLineFiles(Form1.Logic(), line); });
  return QApplication::exec();
}
