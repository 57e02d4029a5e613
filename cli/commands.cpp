#include "cli/commands.hpp"

#include <optional>
#include <ostream>

#include "cli/usage_error.hpp"
#include "core/apply.hpp"
#include "core/error.hpp"
#include "core/file_access.hpp"
#include "core/file_copy.hpp"
#include "core/hex_address.hpp"
#include "core/ips_reader.hpp"
#include "core/markers.hpp"
#include "core/patch_loader.hpp"
#include "core/patch_table.hpp"
#include "core/path_names.hpp"

namespace vips::cli {
namespace {

constexpr const char* kInvalidPatch = "Invalid IPS file!";

// An error as the command line shows it: the file it concerns first.
std::string Described(const Error& error) {
  return error.Path().empty() ? error.what() : error.Path() + ": " + error.what();
}

int NotAPatch(std::ostream& err) {
  err << kInvalidPatch << '\n';
  return kExitNotAPatch;
}

// The same choice the window's row rules make: every record row gets the
// execute or the skip marker, so the applier decides exactly as it would
// for a choice made by hand.
void ChooseRecords(PatchTable& table, Selection selection, const std::vector<bool>& named) {
  if (selection == Selection::All) return;
  const bool applyNamed = selection == Selection::Only;
  for (int row = 0; row < table.RowCount(); ++row) {
    if (named[static_cast<std::size_t>(row)] == applyNamed) {
      ExecuteRule(table, row, Language::English);
    } else {
      CancelRule(table, row, Language::English);
    }
  }
}

}  // namespace

int ListRecords(const std::string& patchPath, std::ostream& out, std::ostream& err) {
  IpsReader reader(ExistingFile::Open(patchPath));
  if (!reader.ReadHeader()) return NotAPatch(err);
  // A record is printed only once it has been read whole, so that a cut
  // patch lists exactly its complete records before the error.
  for (std::int64_t number = 1;; ++number) {
    const std::int32_t offset = reader.ReadOffset();
    if (offset == kEndMarkerOffset) break;
    const std::uint16_t size = reader.ReadSize();
    const char* kind = "data";
    std::uint32_t count = size;
    if (size == 0) {
      kind = "run";
      count = reader.ReadRunBody().runLength;
    } else {
      reader.SkipData(size);
    }
    out << number << '\t' << HexAddressText(offset) << '\t'
        << HexAddressText(FinalAddress(offset, count)) << '\t' << kind << '\t' << count << '\n';
  }
  reader.Close();
  return kExitDone;
}

int ApplyRecords(const Arguments& arguments, std::ostream& err) {
  // All records and no backup: nothing to check against a list before the
  // write, so the patch is read once, by the applier.
  if (arguments.selection == Selection::All && !arguments.backup) {
    return ApplyEveryRecord(arguments.originalPath, arguments.patchPath) == ApplyResult::BadHeader
               ? NotAPatch(err)
               : kExitDone;
  }
  PatchTable table;
  if (LoadPatchIntoTable(arguments.patchPath, arguments.originalPath, table, Language::English) ==
      LoadResult::BadHeader) {
    return NotAPatch(err);
  }
  // The list is checked against the patch before anything is written.
  std::vector<bool> named;
  if (arguments.selection != Selection::All) {
    named = NamedRecords(arguments.records, table.RowCount());
  }
  ChooseRecords(table, arguments.selection, named);

  // Checked before a backup is taken: the applier refuses it too, but only
  // after the copy.
  const std::optional<FileIdentity> patchIdentity = IdentityOf(arguments.patchPath);
  if (patchIdentity && patchIdentity == IdentityOf(arguments.originalPath)) {
    throw Error(kFileAccessDenied, arguments.originalPath);
  }
  if (arguments.backup) {
    const std::string backupPath = BackupPathOf(arguments.originalPath);
    if (patchIdentity && patchIdentity == IdentityOf(backupPath)) {
      err << "Reserve copy of the file " << backupPath << " is not created! It is the patch file "
          << arguments.patchPath << ". Nothing was written to " << arguments.originalPath << ".\n";
      return kExitCopyFailed;
    }
    // A backup taken by an earlier run holds the file as it was before that
    // run's records: replacing it with the patched file would lose the way back.
    if (IsRegularFile(backupPath)) {
      err << "Kept the existing backup " << backupPath << ".\n";
    } else {
      try {
        CopyWholeFileOrThrow(arguments.originalPath, backupPath);
      } catch (const Error& error) {
        err << "Reserve copy of the file " << backupPath
            << " is not created! Nothing was written to " << arguments.originalPath << ". ("
            << Described(error) << ")\n";
        return kExitCopyFailed;
      }
    }
  }
  if (ApplyMarkedRecords(arguments.originalPath, arguments.patchPath, table) ==
      ApplyResult::BadHeader) {
    return NotAPatch(err);
  }
  return kExitDone;
}

int RecoverOriginal(const std::string& originalPath, std::ostream& err) {
  const std::string backupPath = BackupPathOf(originalPath);
  try {
    CopyWholeFileOrThrow(backupPath, originalPath);
  } catch (const Error& error) {
    err << "File " << originalPath << " is not recovered! (could not copy " << backupPath
        << " over it: " << Described(error) << ")\n";
    return kExitCopyFailed;
  }
  return kExitDone;
}

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  Arguments arguments;
  try {
    arguments = ParseArguments(args);
  } catch (const UsageError& error) {
    err << "velmorant-ips-cli: " << error.what() << '\n' << kUsageLine;
    return kExitUsage;
  }

  try {
    switch (arguments.command) {
      case Command::Help:
        out << kHelpText;
        return kExitDone;
      case Command::Version:
        out << "Velmorant IPS " << VIPS_VERSION_TEXT << '\n';
        return kExitDone;
      case Command::List:
        return ListRecords(arguments.patchPath, out, err);
      case Command::Apply:
        return ApplyRecords(arguments, err);
      case Command::Recover:
        return RecoverOriginal(arguments.originalPath, err);
    }
  } catch (const UsageError& error) {
    err << "velmorant-ips-cli: " << error.what() << '\n' << kUsageLine;
    return kExitUsage;
  } catch (const Error& error) {
    err << Described(error) << '\n';
    return kExitIoError;
  } catch (const std::exception& error) {
    // Out of memory and the like: still a failure the caller must see.
    err << error.what() << '\n';
    return kExitIoError;
  }
  return kExitIoError;
}

}  // namespace vips::cli
