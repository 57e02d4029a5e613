#include "cli/arguments.hpp"

#include <algorithm>
#include <optional>
#include <string_view>

#include "cli/usage_error.hpp"

namespace vips::cli {

const char* const kUsageLine =
    "usage: velmorant-ips-cli list PATCH\n"
    "       velmorant-ips-cli apply [--only LIST | --skip LIST] [--backup] ORIGINAL PATCH\n"
    "       velmorant-ips-cli recover ORIGINAL\n"
    "       velmorant-ips-cli --help | --version\n";

const char* const kHelpText =
    "Velmorant IPS: applies the records of an IPS patch to a file, all of them or\n"
    "a chosen few.\n"
    "\n"
    "usage: velmorant-ips-cli COMMAND ...\n"
    "\n"
    "  list PATCH\n"
    "      One line per record, separated by tabs: record number, first address,\n"
    "      final address (hexadecimal), kind (data or run), byte count.\n"
    "\n"
    "  apply [--only LIST | --skip LIST] [--backup] ORIGINAL PATCH\n"
    "      Writes the records of PATCH into ORIGINAL in place; nothing is written\n"
    "      unless PATCH reads through to its end marker.\n"
    "      --only LIST  apply only the records that LIST names\n"
    "      --skip LIST  apply every record except those that LIST names\n"
    "      --backup     first copy ORIGINAL to ORIGINAL_backup; nothing is written\n"
    "                   if that copy fails. An existing ORIGINAL_backup is kept\n"
    "                   as the way back, so that a second run cannot replace it\n"
    "                   with the patched file; delete it to have the next\n"
    "                   --backup take a new one.\n"
    "      LIST is record numbers and inclusive ranges separated by commas,\n"
    "      such as 1-5,9,12-14, numbered from 1 as `list` shows them.\n"
    "\n"
    "  recover ORIGINAL\n"
    "      Copies ORIGINAL_backup back over ORIGINAL.\n"
    "\n"
    "Every write is all or nothing: a copy goes to a temporary file that replaces\n"
    "its destination only when it is whole, and an apply that fails (a full\n"
    "disk) leaves ORIGINAL as it was. A second apply or recover of a file that\n"
    "another run is patching fails at once. Errors name the file they concern.\n"
    "\n"
    "  --help     show this text\n"
    "  --version  show the version\n"
    "\n"
    "Both files are opened for reading and writing, so a read-only ORIGINAL or\n"
    "PATCH is refused (\"File access denied\").\n"
    "\n"
    "Exit status: 0 done, 1 not an IPS patch, 2 an I/O error, 3 the backup or\n"
    "recovery copy failed, 64 wrong usage.\n";

namespace {

struct CommandShape {
  std::string_view name;
  Command command;
  std::size_t files;
};

constexpr CommandShape kCommands[] = {
    {"list", Command::List, 1},
    {"apply", Command::Apply, 2},
    {"recover", Command::Recover, 1},
};

Arguments ForCommand(Command command) {
  Arguments arguments;
  arguments.command = command;
  return arguments;
}

bool IsOption(std::string_view word) {
  return word.size() > 1 && word.front() == '-';
}

// "--only LIST" or "--only=LIST"; `index` is moved past the value.
std::optional<std::string> OptionValue(const std::vector<std::string>& args, std::size_t& index,
                                       std::string_view option) {
  const std::string& word = args[index];
  if (word == option) {
    if (index + 1 >= args.size()) throw UsageError(std::string(option) + " needs a record list");
    return args[++index];
  }
  if (word.size() > option.size() && word.compare(0, option.size(), option) == 0 &&
      word[option.size()] == '=') {
    return word.substr(option.size() + 1);
  }
  return std::nullopt;
}

}  // namespace

Arguments ParseArguments(const std::vector<std::string>& args) {
  const auto optionsEnd = std::find(args.begin(), args.end(), "--");
  for (auto it = args.begin(); it != optionsEnd; ++it) {
    if (*it == "--help" || *it == "-h") return ForCommand(Command::Help);
  }
  for (auto it = args.begin(); it != optionsEnd; ++it) {
    if (*it == "--version") return ForCommand(Command::Version);
  }
  if (args.empty()) throw UsageError("no command given");

  const auto shape = std::find_if(std::begin(kCommands), std::end(kCommands),
                                  [&](const CommandShape& s) { return s.name == args[0]; });
  if (shape == std::end(kCommands)) throw UsageError("unknown command '" + args[0] + "'");

  Arguments result = ForCommand(shape->command);
  std::vector<std::string> files;
  bool filesOnly = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& word = args[i];
    if (filesOnly || !IsOption(word)) {
      files.push_back(word);
      continue;
    }
    if (word == "--") {
      filesOnly = true;
      continue;
    }
    const bool isApply = result.command == Command::Apply;
    if (isApply && word == "--backup") {
      result.backup = true;
      continue;
    }
    std::optional<std::string> list;
    Selection selection = Selection::All;
    if (isApply) {
      if ((list = OptionValue(args, i, "--only"))) {
        selection = Selection::Only;
      } else if ((list = OptionValue(args, i, "--skip"))) {
        selection = Selection::Skip;
      }
    }
    if (!list) {
      throw UsageError("'" + args[0] + "' does not take the option '" + word + "'");
    }
    if (result.selection != Selection::All) {
      throw UsageError("give one --only or --skip list, not several");
    }
    result.selection = selection;
    result.records = ParseRecordList(*list);
  }

  if (files.size() != shape->files) {
    throw UsageError("'" + args[0] + "' takes " +
                     (shape->files == 1 ? std::string("one file") : std::string("two files")) +
                     ", not " + std::to_string(files.size()));
  }
  if (result.command == Command::List) {
    result.patchPath = files[0];
  } else {
    result.originalPath = files[0];
    if (result.command == Command::Apply) result.patchPath = files[1];
  }
  return result;
}

}  // namespace vips::cli
