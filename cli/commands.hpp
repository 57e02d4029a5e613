#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "cli/arguments.hpp"

namespace vips::cli {

enum ExitStatus : int {
  kExitDone = 0,
  kExitNotAPatch = 1,
  kExitIoError = 2,
  kExitCopyFailed = 3,
  kExitUsage = 64,
};

// Runs one command line (without the program name). Only `list` writes to
// `out` (and --help, --version); every diagnostic goes to `err`.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The commands, for arguments already parsed. They throw vips::Error for I/O
// failures and UsageError for a record list that names no record; RunCli
// turns both into exit statuses.
int ListRecords(const std::string& patchPath, std::ostream& out, std::ostream& err);
int ApplyRecords(const Arguments& arguments, std::ostream& err);
int RecoverOriginal(const std::string& originalPath, std::ostream& err);

}  // namespace vips::cli
