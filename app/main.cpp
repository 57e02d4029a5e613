// Start-up: the application with its title, the one window, its event loop.
// Files named on the command line are taken once the window is up, as if
// chosen in its dialogs; nothing is stored between runs.
#include <QApplication>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/platform/display.hpp"
#include "app/platform/locale_id.hpp"
#include "app/qt_text.hpp"
#include "app/qt_window.hpp"
#include "form/command_line.hpp"
#include "form/texts.hpp"

namespace {

std::vector<std::string> Words(const QStringList& arguments) {
  std::vector<std::string> words;
  for (qsizetype i = 1; i < arguments.size(); ++i) words.push_back(arguments[i].toStdString());
  return words;
}

int WrongUsage(const vips::form::CommandLine& line) {
  std::fprintf(stderr, "velmorant-ips: %s\n%s", line.problem.c_str(), vips::form::kWindowUsageLine);
  return vips::form::kWindowExitUsage;
}

int NoDisplay() {
  std::fputs(vips::form::kNoDisplayText, stderr);
  return vips::form::kWindowExitNoDisplay;
}

// While the toolkit starts, its messages wait here: a display that cannot be
// opened ends the start with a fatal message, which becomes the one line of
// NoDisplay(); a start that succeeds passes them on as they came.
struct HeldMessage {
  QtMsgType type;
  const char* category;  // the toolkit's categories are static texts
  QString text;
};
QtMessageHandler startupPrevious = nullptr;
std::vector<HeldMessage> startupMessages;

void PassHeldMessages() {
  for (const HeldMessage& held : startupMessages) {
    const QMessageLogContext context(nullptr, 0, nullptr, held.category);
    startupPrevious(held.type, context, held.text);
  }
  startupMessages.clear();
}

void HoldStartupMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type == QtFatalMsg) {
    if (text.contains(QStringLiteral("platform plugin"))) std::_Exit(NoDisplay());
    PassHeldMessages();
    startupPrevious(type, context, text);
    return;
  }
  startupMessages.push_back({type, context.category, text});
}

}  // namespace

int main(int argc, char* argv[]) {
#ifdef SIGXFSZ
  // Past a file-size limit a write must fail and be undone like any other,
  // not end the program half-way through the file.
  std::signal(SIGXFSZ, SIG_IGN);
#endif
  // --help, --version and wrong usage are told before the toolkit starts, so
  // that they work without a display.
  {
    const std::vector<std::string> words(argv + (argc > 0 ? 1 : 0), argv + argc);
    const vips::form::CommandLine line = vips::form::ParseCommandLine(words);
    if (line.action == vips::form::CommandLine::Action::Help) {
      std::fputs(vips::form::kWindowHelpText, stdout);
      return 0;
    }
    if (line.action == vips::form::CommandLine::Action::Version) {
      std::printf("Velmorant IPS %s\n", VIPS_VERSION_TEXT);
      return 0;
    }
    if (!vips::app::DisplayAvailable(words, vips::app::CurrentDisplayEnvironment())) {
      // Without a display no toolkit option can matter, so the words are
      // judged as they are.
      return line.action == vips::form::CommandLine::Action::Usage ? WrongUsage(line) : NoDisplay();
    }
  }

  startupPrevious = qInstallMessageHandler(HoldStartupMessage);
  QApplication application(argc, argv);
  qInstallMessageHandler(startupPrevious);
  PassHeldMessages();

  // The toolkit has taken its own options (-platform, -style ...) out.
  const vips::form::CommandLine line =
      vips::form::ParseCommandLine(Words(QCoreApplication::arguments()));
  if (line.action == vips::form::CommandLine::Action::Usage) return WrongUsage(line);

  // The application title. No display name is set apart from it: the title
  // bar would append one to the window's own title.
  QApplication::setApplicationName(vips::app::ToQString(vips::form::texts::kApplicationTitle));
  QApplication::setApplicationVersion(QStringLiteral(VIPS_VERSION_TEXT));
  QApplication::setDesktopFileName(QStringLiteral("velmorant-ips"));

  vips::app::QtWindow Window(vips::app::ThreadLocaleId());
  // Message boxes and dialogs carry the program icon too.
  QApplication::setWindowIcon(Window.windowIcon());
  Window.show();
  QTimer::singleShot(0, &Window,
                     [&Window, line] { vips::form::OpenCommandLineFiles(Window.Logic(), line); });
  return QApplication::exec();
}
