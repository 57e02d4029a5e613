#include "cli/arguments.hpp"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <string_view>

#include "cli/usage_error.hpp"

namespace vips::cli {

const char* const kHelpText =
    "Velmorant IPS: applies the records of an IPS patch, or the stretches a BPS or\n"
    "UPS patch changes, to a file, all of them or a chosen few; lists, checks,\n"
    "exports and makes patches.\n"
    "\n"
    "usage: velmorant-ips-cli COMMAND ...\n"
    "\n"
    "  list PATCH [ORIGINAL]\n"
    "      One line per record, separated by tabs: record number, first address,\n"
    "      final address (hexadecimal), kind (data or run), byte count. A BPS or\n"
    "      UPS patch is decoded against ORIGINAL, which it needs, and listed by\n"
    "      stretch: each run of bytes where the patched file differs from\n"
    "      ORIGINAL, and the bytes past its end, in the same columns (kind data).\n"
    "      stderr says when applying every stretch shortens the file, when a UPS\n"
    "      patch is applied backwards, and when an IPS patch gives a length after\n"
    "      its end marker. ORIGINAL is not read for an IPS patch.\n"
    "      example: velmorant-ips-cli list fix.ips\n"
    "               velmorant-ips-cli list hack.bps game.bin\n"
    "\n"
    "  apply [--only LIST | --skip LIST] [--backup] [--output NEW] [--truncate]\n"
    "        [--crc32 HEX] [--no-sync] ORIGINAL PATCH [PATCH...]\n"
    "      Writes the records of each PATCH, in the order given, into ORIGINAL in\n"
    "      place. Nothing is written unless every PATCH reads through to its end\n"
    "      marker and every record list names records that exist. IPS, BPS and\n"
    "      UPS patches mix: each applies to the result of the ones before, and\n"
    "      a BPS or UPS patch only to the file it was made for (its CRC-32).\n"
    "      --only LIST   apply only the records (stretches) that LIST names (one\n"
    "                    PATCH only)\n"
    "      --skip LIST   apply every record except those that LIST names (one\n"
    "                    PATCH only)\n"
    "      --backup      first copy ORIGINAL to ORIGINAL_backup; nothing is written\n"
    "                    if that copy fails. An existing ORIGINAL_backup is kept\n"
    "                    as the way back, so that a second run cannot replace it\n"
    "                    with the patched file; delete it to have the next\n"
    "                    --backup take a new one.\n"
    "      --output NEW  leave ORIGINAL as it is and write the result to NEW, whole\n"
    "                    or not at all (not with --backup)\n"
    "      --truncate    an IPS patch that gives the file's length in 3 bytes\n"
    "                    after its end marker cuts the file to it (a longer length\n"
    "                    is ignored); without it those bytes have no effect\n"
    "      --crc32 HEX   write nothing unless the CRC-32 of ORIGINAL is HEX\n"
    "                    (8 hexadecimal digits, 0x before them optional)\n"
    "      --no-sync     do not wait for the disk: for scripts that patch many\n"
    "                    files and run `sync` once. A killed run is still undone\n"
    "                    by the next one, but a crash of the machine before that\n"
    "                    sync may leave ORIGINAL a mix of old and new bytes with\n"
    "                    no usable journal, which nothing can undo, or NEW\n"
    "                    partly written: keep a backup (--backup, whose copy is\n"
    "                    flushed all the same)\n"
    "      LIST is record numbers and inclusive ranges separated by commas,\n"
    "      such as 1-5,9,12-14, numbered from 1 as `list` shows them. With every\n"
    "      stretch of a BPS or UPS patch, ORIGINAL becomes exactly the file it\n"
    "      makes, its length included; with some, it keeps its length unless the\n"
    "      stretch past its end is one of them.\n"
    "      example: velmorant-ips-cli apply --skip 3 --output new.bin old.bin fix.ips\n"
    "\n"
    "  recover ORIGINAL\n"
    "      Copies ORIGINAL_backup back over ORIGINAL, only when it can be the\n"
    "      backup, as --backup keeps one: not empty (unless ORIGINAL is), not\n"
    "      ORIGINAL under a second name. Otherwise nothing is written.\n"
    "      example: velmorant-ips-cli recover game.bin\n"
    "\n"
    "  status ORIGINAL PATCH\n"
    "      One line per record, separated by tabs: record number, first address,\n"
    "      final address, and `applied` when ORIGINAL already holds every byte\n"
    "      the record writes or `pending` when it does not. Then, on stderr, how\n"
    "      many records are applied; before that, a line says when a run was\n"
    "      stopped while it wrote ORIGINAL: the next apply or recover takes back\n"
    "      what it wrote. For a BPS or UPS patch: its stretches, pending, when\n"
    "      ORIGINAL is the file it was made for; no lines and `applied` on stderr\n"
    "      when ORIGINAL is the file it makes; refused (status 5) otherwise.\n"
    "      example: velmorant-ips-cli status game.bin fix.ips\n"
    "\n"
    "  export [--only LIST | --skip LIST] PATCH [ORIGINAL] NEW\n"
    "      Writes NEW, a patch holding the chosen records of PATCH in their order,\n"
    "      each exactly as PATCH holds it. A BPS or UPS patch needs ORIGINAL: NEW\n"
    "      is then an IPS patch that writes the chosen stretches, unless they\n"
    "      reach past address 100FFFD or shorten the file (status 4).\n"
    "      example: velmorant-ips-cli export --only 1-5,9 fix.ips part.ips\n"
    "               velmorant-ips-cli export hack.bps game.bin hack.ips\n"
    "\n"
    "  create [--bps] ORIGINAL MODIFIED NEW\n"
    "      Writes NEW, a small patch that turns ORIGINAL into MODIFIED. MODIFIED\n"
    "      may be longer than ORIGINAL, but not shorter, and may not reach past\n"
    "      address 100FFFD. With --bps, NEW is a BPS patch, for files of any\n"
    "      sizes up to 4 GiB, shorter ones included.\n"
    "      example: velmorant-ips-cli create game.bin game-fixed.bin fix.ips\n"
    "               velmorant-ips-cli create --bps game.bin game-fixed.bin fix.bps\n"
    "\n"
    "  info FILE...\n"
    "      For each FILE one line, separated by tabs: path, size in bytes, CRC-32,\n"
    "      MD5, SHA-1 (lower-case hexadecimal); for a patch also `PATH: N records`\n"
    "      and the length an IPS patch gives after its end marker; for a BPS or\n"
    "      UPS patch the sizes and CRC-32s of the file it is made for and of the\n"
    "      file it makes, its own CRC-32 and whether it is damaged, and BPS\n"
    "      metadata.\n"
    "      example: velmorant-ips-cli info game.bin fix.ips\n"
    "\n"
    "  --help     show this text\n"
    "  --version  show the version\n"
    "\n"
    "Every write is all or nothing: a copy or a NEW file goes to a temporary file\n"
    "that replaces its destination only when it is whole, and an apply that fails\n"
    "(a full disk) leaves ORIGINAL as it was. Before `apply` writes ORIGINAL in\n"
    "place, the bytes it changes are kept in a hidden .ORIGINAL.vips-journal\n"
    "beside it; a run that is killed or stopped by a crash is taken back from it\n"
    "by the next command that reads or writes the file, when the journal fits\n"
    "the file as that run left it; one that does not is named, and nothing is\n"
    "written. `done` means on the disk: the\n"
    "file is flushed before the command ends (see --no-sync). A second apply or\n"
    "recover of a file that another run is patching fails at once. Errors name\n"
    "the file they concern.\n"
    "`apply` in place opens ORIGINAL for reading and writing, so a read-only\n"
    "ORIGINAL is refused there (\"File access denied\"); every other file is only\n"
    "read.\n"
    "\n"
    "Exit status: 0 done, 1 not a patch, 2 an I/O error (\"PATH: text\" on\n"
    "stderr), 3 the backup or recovery copy failed, 4 the change cannot be\n"
    "expressed as an IPS patch, 5 the CRC-32 does not match (--crc32, or ORIGINAL\n"
    "is not the file a BPS or UPS patch was made for), 6 a failed write could not\n"
    "be undone (ORIGINAL is damaged: recover it from its backup), 7 a journal\n"
    "beside ORIGINAL does not fit it (nothing written), 8 a BPS or UPS patch is\n"
    "damaged (nothing written), 64 wrong usage.\n";

namespace {

constexpr std::size_t kAny = std::numeric_limits<std::size_t>::max();

struct CommandShape {
  std::string_view name;
  Command command;
  std::size_t fewestFiles;
  std::size_t mostFiles;
  std::string_view files;  // for the usage error
};

constexpr CommandShape kCommands[] = {
    {"list", Command::List, 1, 2, "PATCH [ORIGINAL]"},
    {"apply", Command::Apply, 2, kAny, "ORIGINAL PATCH [PATCH...]"},
    {"recover", Command::Recover, 1, 1, "ORIGINAL"},
    {"status", Command::Status, 2, 2, "ORIGINAL PATCH"},
    {"export", Command::Export, 2, 3, "PATCH [ORIGINAL] NEW"},
    {"create", Command::Create, 3, 3, "ORIGINAL MODIFIED NEW"},
    {"info", Command::Info, 1, kAny, "FILE..."},
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
                                       std::string_view option, std::string_view what) {
  const std::string& word = args[index];
  if (word == option) {
    if (index + 1 >= args.size()) {
      throw UsageError(std::string(option) + " needs " + std::string(what));
    }
    return args[++index];
  }
  if (word.size() > option.size() && word.compare(0, option.size(), option) == 0 &&
      word[option.size()] == '=') {
    return word.substr(option.size() + 1);
  }
  return std::nullopt;
}

std::uint32_t ParseCrc32(const std::string& text) {
  const UsageError wrong("--crc32 takes 8 hexadecimal digits, with or without 0x, not '" + text +
                         "'");
  // Checksums are often published as C writes them, with 0x before them.
  const std::string_view digits =
      text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')
          ? std::string_view(text).substr(2)
          : std::string_view(text);
  if (digits.size() != 8) throw wrong;
  std::uint32_t value = 0;
  for (const char c : digits) {
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    if (digit < 0) throw wrong;
    value = value << 4 | static_cast<std::uint32_t>(digit);
  }
  return value;
}

// Takes the option at args[index] if `command` has it; false otherwise.
bool TakeOption(const std::vector<std::string>& args, std::size_t& index, Arguments& result) {
  const std::string& word = args[index];
  const bool isApply = result.command == Command::Apply;
  const bool choosesRecords = isApply || result.command == Command::Export;
  if (isApply && word == "--backup") {
    result.backup = true;
    return true;
  }
  if (isApply && word == "--no-sync") {
    result.noSync = true;
    return true;
  }
  if (isApply && word == "--truncate") {
    result.truncate = true;
    return true;
  }
  if (result.command == Command::Create && word == "--bps") {
    result.bps = true;
    return true;
  }
  if (isApply) {
    if (auto path = OptionValue(args, index, "--output", "a file name")) {
      if (!result.newPath.empty()) throw UsageError("give one --output file, not several");
      if (path->empty()) throw UsageError("--output needs a file name");
      result.newPath = *path;
      return true;
    }
    if (auto hex = OptionValue(args, index, "--crc32", "8 hexadecimal digits")) {
      if (result.crc32) throw UsageError("give one --crc32 checksum, not several");
      result.crc32 = ParseCrc32(*hex);
      return true;
    }
  }
  if (!choosesRecords) return false;
  std::optional<std::string> list;
  Selection selection = Selection::All;
  if ((list = OptionValue(args, index, "--only", "a record list"))) {
    selection = Selection::Only;
  } else if ((list = OptionValue(args, index, "--skip", "a record list"))) {
    selection = Selection::Skip;
  } else {
    return false;
  }
  if (result.selection != Selection::All) {
    throw UsageError("give one --only or --skip list, not several");
  }
  result.selection = selection;
  result.records = ParseRecordList(*list);
  return true;
}

void PlaceFiles(const CommandShape& shape, std::vector<std::string> files, Arguments& result) {
  if (files.size() < shape.fewestFiles || files.size() > shape.mostFiles) {
    throw UsageError("'" + std::string(shape.name) + "' takes " + std::string(shape.files) +
                     ", not " + std::to_string(files.size()) +
                     (files.size() == 1 ? " file" : " files"));
  }
  switch (result.command) {
    case Command::List:
      result.patchPath = files[0];
      if (files.size() > 1) result.originalPath = files[1];
      break;
    case Command::Apply:
      result.originalPath = files[0];
      result.patchPaths.assign(files.begin() + 1, files.end());
      result.patchPath = result.patchPaths.front();
      break;
    case Command::Recover:
      result.originalPath = files[0];
      break;
    case Command::Status:
      result.originalPath = files[0];
      result.patchPath = files[1];
      break;
    case Command::Export:
      result.patchPath = files[0];
      if (files.size() > 2) result.originalPath = files[1];
      result.newPath = files.back();
      break;
    case Command::Create:
      result.originalPath = files[0];
      result.modifiedPath = files[1];
      result.newPath = files[2];
      break;
    case Command::Info:
      result.files = std::move(files);
      break;
    case Command::Help:
    case Command::Version:
      break;
  }
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
    } else if (word == "--") {
      filesOnly = true;
    } else if (!TakeOption(args, i, result)) {
      throw UsageError("'" + args[0] + "' does not take the option '" + word + "'");
    }
  }
  PlaceFiles(*shape, std::move(files), result);

  if (result.command == Command::Apply) {
    if (result.selection != Selection::All && result.patchPaths.size() > 1) {
      throw UsageError("--only and --skip go with one patch, not " +
                       std::to_string(result.patchPaths.size()));
    }
    if (result.backup && !result.newPath.empty()) {
      throw UsageError(
          "--backup and --output do not go together: with --output, ORIGINAL "
          "stays as it is");
    }
  }
  return result;
}

}  // namespace vips::cli
