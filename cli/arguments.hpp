#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/record_list.hpp"

namespace vips::cli {

enum class Command { Help, Version, List, Apply, Recover, Status, Export, Create, Info };

// Which records `apply` writes and `export` copies.
enum class Selection { All, Only, Skip };

struct Arguments {
  Command command = Command::Help;
  std::string originalPath;             // apply, recover, status, create; list, export: optional
  std::string patchPath;                // list, status, export; apply: the first patch
  std::vector<std::string> patchPaths;  // apply: every patch, in order
  std::string modifiedPath;             // create
  std::string newPath;                  // export, create, apply --output
  std::vector<std::string> files;       // info
  Selection selection = Selection::All;
  std::vector<RecordRange> records;  // the --only or --skip list
  bool backup = false;
  bool noSync = false;                 // apply: no flushes to the disk
  bool truncate = false;               // apply: IPS patches' lengths after the end marker cut
  bool bps = false;                    // create: a BPS patch
  std::optional<std::uint32_t> crc32;  // apply --crc32
};

// Reads the command line without the program name. "--help" and "--version"
// win wherever they stand before "--"; after "--" every word is a file.
// Throws UsageError for an unknown command or option, a missing or surplus
// file, a malformed record list or checksum, --only with --skip, a list with
// several patches, --backup with --output, or an option that the command
// does not take.
Arguments ParseArguments(const std::vector<std::string>& args);

// The full help text.
extern const char* const kHelpText;

}  // namespace vips::cli
