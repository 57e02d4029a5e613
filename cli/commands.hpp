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
  kExitNotExpressible = 4,
  kExitChecksumMismatch = 5,
  kExitDamaged = 6,
  kExitJournalRefused = 7,
  kExitDamagedPatch = 8,
  kExitUsage = 64,
};

// Runs one command line (without the program name). Listings and reports go
// to `out` (and --help, --version); every diagnostic and note goes to `err`.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The commands, for arguments already parsed, one file each. They throw
// vips::Error for I/O failures, UsageError for a record list that names no
// record or a new file that would replace an input, NotExpressible for a
// change no patch can make, and PatchRefused for a BPS or UPS patch that does
// not fit its original or is damaged; RunCli turns these into exit statuses.
int ListRecords(const Arguments& arguments, std::ostream& out, std::ostream& err);
int ApplyRecords(const Arguments& arguments, std::ostream& err);
int RecoverOriginal(const std::string& originalPath, std::ostream& err);
int ShowStatus(const Arguments& arguments, std::ostream& out, std::ostream& err);
int ExportRecords(const Arguments& arguments, std::ostream& err);
int CreatePatch(const Arguments& arguments, std::ostream& err);
int ShowInfo(const Arguments& arguments, std::ostream& out, std::ostream& err);

}  // namespace vips::cli
