#include "cli/commands.hpp"

#include <new>
#include <optional>
#include <ostream>

#include "cli/cli_files.hpp"
#include "cli/delta_files.hpp"
#include "cli/usage_error.hpp"
#include "core/apply/in_place_write.hpp"
#include "core/error.hpp"
#include "core/files/backup_policy.hpp"
#include "core/files/file_access.hpp"
#include "core/files/file_copy.hpp"
#include "core/files/journal_file.hpp"
#include "core/files/path_names.hpp"
#include "core/files/replacement_file.hpp"
#include "core/files/rollback_journal.hpp"
#include "core/ips/hex_address.hpp"
#include "core/ips/reader.hpp"

namespace vips::cli {

namespace {

// What was wrong, in one line, and where to read how it goes right.
int WrongUsage(std::ostream& err, const UsageError& error) {
  err << "velmorant-ips-cli: " << error.what() << "\nTry 'velmorant-ips-cli --help'.\n";
  return kExitUsage;
}

}  // namespace

namespace {

// The stretches of a BPS or UPS patch, decoded against ORIGINAL.
int ListStretchesOf(const Arguments& arguments, PatchFormat format, std::ostream& out,
                    std::ostream& err) {
  const std::string& patchPath = arguments.patchPath;
  const std::string& originalPath = arguments.originalPath;
  RequireOriginal(patchPath, format, originalPath,
                  "'list' needs the ORIGINAL it applies to, to list its stretches");
  const std::vector<std::uint8_t> original = ReadWholeTakenBack(originalPath, err);
  const DeltaResult decoded = DecodeDelta(patchPath, original, originalPath);
  const StretchList stretches = ListStretches(original, decoded.result);
  std::string lines;
  for (std::size_t index = 0; index < stretches.stretches.size(); ++index) {
    lines += StretchLine(index + 1, stretches.stretches[index]);
  }
  out << lines;
  if (decoded.backwards) NoteBackwards(err, patchPath, originalPath);
  if (stretches.shortensTo) {
    err << patchPath << ": applying every stretch also shortens " << originalPath << " to "
        << *stretches.shortensTo << " bytes.\n";
  }
  return kExitDone;
}

}  // namespace

int ListRecords(const Arguments& arguments, std::ostream& out, std::ostream& err) {
  const std::string& patchPath = arguments.patchPath;
  const PatchFormat format = FormatOfPatch(patchPath);
  if (IsDelta(format)) return ListStretchesOf(arguments, format, out, err);
  std::optional<IpsReader> reader = IpsReader::Open(patchPath);
  if (!reader) return NotAPatch(err, patchPath);
  // A record is printed only once it has been read whole, so that a cut
  // patch lists exactly its complete records before the error.
  IpsRecord record;
  for (std::int64_t number = 1; reader->ReadRecordHead(record); ++number) {
    if (!record.IsRun()) reader->SkipData(record.size);
    out << number << '\t' << HexAddressText(record.offset) << '\t'
        << HexAddressText(FinalAddress(record.offset, record.Count())) << '\t'
        << (record.IsRun() ? "run" : "data") << '\t' << record.Count() << '\n';
  }
  const std::optional<std::uint32_t> length = reader->ReadTruncation();
  reader->Close();
  if (length) NoteTruncation(err, patchPath, *length);
  return kExitDone;
}

int RecoverOriginal(const std::string& originalPath, std::ostream& err) {
  const std::string backupPath = BackupPathOf(originalPath);
  if (const std::optional<std::string> refused = RecoveryRefusal(originalPath, backupPath)) {
    err << "File " << originalPath << " is not recovered! " << backupPath
        << " cannot be a backup of it: " << *refused << ". Nothing was written.\n";
    return kExitCopyFailed;
  }
  // What an interrupted apply left is taken back first, so that its journal
  // is never played into the recovered file later. One that cannot be played
  // (damaged, or not fitting the file) goes once the backup has replaced the
  // file it was kept for.
  std::optional<std::string> stale;
  try {
    ExistingFile original = ExistingFile::OpenLocked(originalPath);
    if (RollBackInterruptedRun(original)) ReportTakenBack(originalPath, err);
    original.Close();
  } catch (const DamagedFile&) {
    stale = RollbackJournal::PathFor(originalPath);
  } catch (const JournalRefused& refused) {
    // Something else at the journal's name is not this program's to remove.
    if (refused.Ours()) stale = refused.JournalPath();
  } catch (const Error&) {
    // A missing or read-only file is the copy's to report.
  }
  std::optional<FolderNotFlushed> unflushed;
  try {
    try {
      // Back into the file that was patched, through a link standing as ORIGINAL.
      CopyWholeFileOrThrow(backupPath, FileBehindLinks(originalPath));
    } catch (const FolderNotFlushed& error) {
      // The copy stands: a journal of the file it replaced goes all the same.
      unflushed = error;
    }
  } catch (const Error& error) {
    err << "File " << originalPath << " is not recovered! (could not copy " << backupPath
        << " over it: " << Described(error) << ")\n";
    return kExitCopyFailed;
  }
  if (stale) {
    err << originalPath << ": the journal " << *stale << " that a stopped run left could not be "
        << "played back; the backup replaced the file, and the journal ";
    try {
      JournalFile::Remove(*stale, true);
      err << "was removed.\n";
    } catch (const Error& error) {
      err << "could not be removed (" << error.what() << "): remove it by hand.\n";
    }
  }
  if (unflushed) {
    err << "File " << originalPath << " is recovered from " << backupPath
        << " but may not stay so (" << Described(*unflushed) << ")\n";
    return kExitCopyFailed;
  }
  return kExitDone;
}

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  Arguments arguments;
  try {
    arguments = ParseArguments(args);
  } catch (const UsageError& error) {
    return WrongUsage(err, error);
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
        return ListRecords(arguments, out, err);
      case Command::Apply:
        return ApplyRecords(arguments, err);
      case Command::Recover:
        return RecoverOriginal(arguments.originalPath, err);
      case Command::Status:
        return ShowStatus(arguments, out, err);
      case Command::Export:
        return ExportRecords(arguments, err);
      case Command::Create:
        return CreatePatch(arguments, err);
      case Command::Info:
        return ShowInfo(arguments, out, err);
    }
  } catch (const UsageError& error) {
    return WrongUsage(err, error);
  } catch (const NotExpressible& error) {
    err << error.what() << '\n';
    return kExitNotExpressible;
  } catch (const JournalRefused& error) {
    err << Described(error) << '\n';
    return kExitJournalRefused;
  } catch (const PatchRefused& error) {
    err << Described(error) << '\n';
    return error.Status();
  } catch (const DamagedFile& error) {
    err << error.Path() << " could not be restored: the file is damaged; recover it from its "
        << "backup (" << error.Cause() << ")\n";
    return kExitDamaged;
  } catch (const Error& error) {
    err << Described(error) << '\n';
    return kExitIoError;
  } catch (const std::bad_alloc&) {
    // Named by the file the command was about, which is as it was: every
    // write takes its memory before it changes a byte.
    const std::string& path =
        arguments.originalPath.empty() ? arguments.patchPath : arguments.originalPath;
    err << (path.empty() ? "" : path + ": ") << "Out of memory\n";
    return kExitIoError;
  } catch (const std::exception& error) {
    // Still a failure the caller must see.
    err << error.what() << '\n';
    return kExitIoError;
  }
  return kExitIoError;
}

}  // namespace vips::cli
