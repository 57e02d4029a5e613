#include "form/command_line.hpp"

#include <filesystem>
#include <string_view>
#include <system_error>

#include "form/window_logic.hpp"

namespace vips::form {

const char* const kWindowUsageLine =
    "usage: velmorant-ips [ORIGINAL [PATCH]]\n"
    "       velmorant-ips --help | --version\n";

const char* const kNoDisplayText =
    "velmorant-ips: the window needs a display and found none it could open; "
    "velmorant-ips-cli works without one\n";

const char* const kWindowHelpText =
    "Velmorant IPS: applies the records of an IPS patch to a file, record by\n"
    "record, at your choice, in a window; a BPS or UPS patch is listed and\n"
    "applied likewise by the stretches of the file it changes.\n"
    "\n"
    "usage: velmorant-ips [ORIGINAL [PATCH]]\n"
    "       velmorant-ips PATCH\n"
    "\n"
    "  ORIGINAL   the file to patch, taken as if chosen with its Select... button\n"
    "  PATCH      the IPS, BPS or UPS patch, then taken and listed as if chosen\n"
    "             likewise; given alone, the window asks for the original file\n"
    "             first\n"
    "  --help     show this text\n"
    "  --version  show the version\n"
    "\n"
    "Files can also be dropped on the window: on the original file's group, or on\n"
    "the patch file's group or the table.\n";

namespace {

// The path from the current folder, with "." and ".." taken out as written
// (links are not followed). Paths are UTF-8 on every platform.
std::string FullPath(const std::string& given) {
  const std::u8string utf8(given.begin(), given.end());
  std::error_code error;
  std::filesystem::path full = std::filesystem::absolute(std::filesystem::path(utf8), error);
  if (error) full = std::filesystem::path(utf8);
  full = full.lexically_normal();
  // A trailing separator is kept only where one was given.
  const bool givenAsFolder = !given.empty() && (given.back() == '/' || given.back() == '\\');
  if (!givenAsFolder && !full.has_filename() && full.has_parent_path() &&
      full != full.root_path()) {
    full = full.parent_path();
  }
  const std::u8string out = full.u8string();
  return {out.begin(), out.end()};
}

}  // namespace

void OpenCommandLineFiles(WindowLogic& form, const CommandLine& line) {
  if (!line.original) return;
  const std::string first = FullPath(*line.original);
  // One file that is a patch, as a file manager's "Open with" hands it over,
  // is the patch: the original file is asked for in its own dialog first,
  // as the patch's Select... button needs it.
  if (!line.patch && (vips::BeginsAsPatch(first) || vips::BeginsAsDeltaPatch(first))) {
    form.ChooseOriginalFile();
    form.OpenPatchFile(first);
    return;
  }
  form.OpenOriginalFile(first);
  if (line.patch) form.OpenPatchFile(FullPath(*line.patch));
}

CommandLine ParseCommandLine(const std::vector<std::string>& words) {
  CommandLine line;
  std::vector<std::string> files;
  bool options = true;
  for (const std::string& word : words) {
    if (options && word == "--") {
      options = false;
    } else if (options && word == "--help") {
      return CommandLine{CommandLine::Action::Help, {}, {}, {}};
    } else if (options && word == "--version") {
      return CommandLine{CommandLine::Action::Version, {}, {}, {}};
    } else if (options && word.size() > 1 && word.front() == '-') {
      if (line.problem.empty()) line.problem = "unknown option '" + word + "'";
    } else {
      files.push_back(word);
    }
  }
  if (line.problem.empty() && files.size() > 2) line.problem = "at most two files: ORIGINAL PATCH";
  if (!line.problem.empty()) {
    line.action = CommandLine::Action::Usage;
    return line;
  }
  if (!files.empty()) line.original = files[0];
  if (files.size() > 1) line.patch = files[1];
  return line;
}

}  // namespace vips::form
