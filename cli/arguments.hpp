#pragma once

#include <string>
#include <vector>

#include "cli/record_list.hpp"

namespace vips::cli {

enum class Command { Help, Version, List, Apply, Recover };

// Which records `apply` writes.
enum class Selection { All, Only, Skip };

struct Arguments {
  Command command = Command::Help;
  std::string originalPath;  // apply, recover
  std::string patchPath;     // list, apply
  Selection selection = Selection::All;
  std::vector<RecordRange> records;  // the --only or --skip list
  bool backup = false;
};

// Reads the command line without the program name. "--help" and "--version"
// win wherever they stand before "--"; after "--" every word is a file.
// Throws UsageError for an unknown command or option, a missing or surplus
// file, a malformed record list, --only with --skip, or an option that the
// command does not take.
Arguments ParseArguments(const std::vector<std::string>& args);

// The one-line synopsis and the full help text.
extern const char* const kUsageLine;
extern const char* const kHelpText;

}  // namespace vips::cli
