#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vips::form {

class WindowLogic;

// The window's command line: velmorant-ips [ORIGINAL [PATCH]].
struct CommandLine {
  enum class Action { Run, Help, Version, Usage };
  Action action = Action::Run;
  std::optional<std::string> original;  // as given; made absolute by the caller
  std::optional<std::string> patch;
  std::string problem;  // what is wrong with the words, for Action::Usage
};

// Reads the words after the program's name. --help and --version win over
// everything else; "--" ends the options, so that a file may begin with "-".
[[nodiscard]] CommandLine ParseCommandLine(const std::vector<std::string>& words);

// Takes the command line's files as if chosen and confirmed in the window's
// dialogs: ORIGINAL, then PATCH, each by its full path (the file need not
// exist; opening it is what reports its absence). A single file that begins
// as an IPS, BPS or UPS patch is the patch, loaded once the original file has been
// chosen in its dialog.
void OpenCommandLineFiles(WindowLogic& form, const CommandLine& line);

extern const char* const kWindowHelpText;
extern const char* const kWindowUsageLine;
// The one line said when there is no display to show the window on.
extern const char* const kNoDisplayText;
// The exit status of wrong usage (as the command-line tool's).
inline constexpr int kWindowExitUsage = 64;
// The exit status when the window has no display.
inline constexpr int kWindowExitNoDisplay = 1;

}  // namespace vips::form
