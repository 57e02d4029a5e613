// apply: the records of one or more patches, into ORIGINAL in place or into
// a new file.
#include <functional>
#include <optional>
#include <ostream>
#include <span>
#include <vector>

#include "cli/cli_files.hpp"
#include "cli/commands.hpp"
#include "cli/delta_files.hpp"
#include "core/apply/apply.hpp"
#include "core/apply/delta_patch.hpp"
#include "core/apply/in_place_write.hpp"
#include "core/apply/record_writer.hpp"
#include "core/apply/records_in_memory.hpp"
#include "core/files/backup_policy.hpp"
#include "core/files/digests.hpp"
#include "core/files/file_access.hpp"
#include "core/files/file_copy.hpp"
#include "core/files/path_names.hpp"
#include "core/files/replacement_file.hpp"
#include "core/ips/reader.hpp"

namespace vips::cli {
namespace {

constexpr const char* kNothingChanged = "Nothing changed: the file already holds these records.";

// Lays the records into the writer once ORIGINAL (open, locked and never
// half-written) has passed its checks; nothing when that went well, else the
// status that ends the command. Empty when they were laid before.
using LateGather = std::function<std::optional<int>(ExistingFile& original)>;

// Every patch read, its records laid into `writer`: those of the first
// patch that `chosen` marks (all when it is empty), and every record of the
// others. Nothing when that went well, else the status that ends the command.
std::optional<int> GatherEveryPatch(const Arguments& arguments, const std::vector<bool>& chosen,
                                    RecordWriter& writer, std::ostream& err) {
  const std::vector<std::string>& paths = arguments.patchPaths;
  for (std::size_t p = 0; p < paths.size(); ++p) {
    const std::string& path = paths[p];
    static const std::vector<bool> kAll;
    if (!AtPath(path, [&] { return GatherRecords(path, p == 0 ? chosen : kAll, writer); })) {
      return NotAPatch(err, path, arguments.originalPath);
    }
  }
  return std::nullopt;
}

// Takes the backup of `original` (open and locked) before it is written;
// nothing when that went well, else the status that ends the command.
std::optional<int> TakeBackup(const Arguments& arguments, ExistingFile& original,
                              std::ostream& err) {
  const std::string& path = arguments.originalPath;
  const std::string backupPath = BackupPathOf(path);
  for (const std::string& patchPath : arguments.patchPaths) {
    const std::optional<FileIdentity> patch = IdentityOf(patchPath);
    if (patch && patch == IdentityOf(backupPath)) {
      err << "Reserve copy of the file " << backupPath << " is not created! It is the patch file "
          << patchPath << ". Nothing was written to " << path << ".\n";
      return kExitCopyFailed;
    }
  }
  // A backup taken by an earlier run holds the file as it was before that
  // run's records: replacing it with the patched file would lose the way back.
  // What cannot be a backup of this file is neither kept nor replaced.
  const BackupDecision decision = DecideBackup(path, backupPath);
  if (decision.action == BackupAction::Keep) {
    err << "Kept the existing backup " << backupPath << ".\n";
    return std::nullopt;
  }
  if (decision.action == BackupAction::Refuse) {
    err << "Reserve copy of the file " << backupPath << " is not created! The file there cannot be "
        << "a backup of " << path << ": " << decision.reason << ". Nothing was written to " << path
        << ".\n";
    return kExitCopyFailed;
  }
  try {
    // An ORIGINAL that is a link is patched through it, so the backup holds
    // the file it leads to; the backup itself stands beside the link.
    CopyOpenFileOrThrow(original, backupPath);
  } catch (const Error& error) {
    err << "Reserve copy of the file " << backupPath << " is not created! Nothing was written to "
        << path << ". (" << Described(error) << ")\n";
    return kExitCopyFailed;
  }
  return std::nullopt;
}

// A patch written into itself would change while it is applied.
void RefuseThePatchAsOriginal(const Arguments& arguments, ExistingFile& original) {
  const std::string& path = arguments.originalPath;
  const FileIdentity identity = AtPath(path, [&] { return original.Identity(); });
  for (const std::string& patchPath : arguments.patchPaths) {
    if (IdentityOf(patchPath) == identity) throw Error(kFileAccessDenied, path);
  }
}

// Writes nothing unless ORIGINAL (open and locked, never half-written) has
// the CRC-32 asked for; nothing when it has, else the status that ends the
// command.
std::optional<int> CheckCrc32(const Arguments& arguments, ExistingFile& original,
                              std::ostream& err) {
  if (!arguments.crc32) return std::nullopt;
  const std::string& path = arguments.originalPath;
  const std::uint32_t crc = AtPath(path, [&] { return Crc32OfFile(original); });
  if (crc == *arguments.crc32) return std::nullopt;
  err << path << ": CRC32 is " << Crc32Text(crc) << ", expected " << Crc32Text(*arguments.crc32)
      << '\n';
  return kExitChecksumMismatch;
}

int ApplyInPlace(const Arguments& arguments, RecordWriter& records, std::ostream& err,
                 const LateGather& gather) {
  const std::string& path = arguments.originalPath;
  // One lock from the first look at the file to its last write: what an
  // interrupted run left is taken back, then the checksum, the backup and the
  // write all see the file as it is, and no other run comes between them.
  ExistingFile original = AtPath(path, [&] { return ExistingFile::OpenLocked(path); });
  if (AtPath(path, [&] { return RollBackInterruptedRun(original); })) ReportTakenBack(path, err);
  RefuseThePatchAsOriginal(arguments, original);
  if (const std::optional<int> failure = CheckCrc32(arguments, original, err)) return *failure;
  if (gather) {
    if (const std::optional<int> failure = gather(original)) return *failure;
  }
  // With a backup to take, whether the records change the file is known
  // before anything is copied or written; without, the write finds it out,
  // leaving alone the spans whose bytes are already the records'.
  if (arguments.backup) {
    if (!AtPath(path, [&] { return records.Changes(original); })) {
      // Nothing to write, so no backup either.
      err << kNothingChanged << '\n';
      AtPath(path, [&] { original.Close(); });
      return kExitDone;
    }
    if (const std::optional<int> failure = TakeBackup(arguments, original, err)) return *failure;
  }
  const InPlaceOutcome outcome = AtPath(path, [&] {
    const InPlaceOutcome written = WriteRecordsInPlace(original, records, !arguments.noSync);
    original.Close();
    return written;
  });
  if (!outcome.changed) err << kNothingChanged << '\n';
  return kExitDone;
}

// ORIGINAL is only read: the new file gets its bytes with the records laid
// over them, and takes the place of NEW only when whole (on the disk unless
// told --no-sync).
int ApplyToNewFile(const Arguments& arguments, RecordWriter& records, std::ostream& err,
                   const LateGather& gather) {
  const std::string& originalPath = arguments.originalPath;
  const std::string& newPath = arguments.newPath;
  // Not while another run of this program is writing it, nor as a stopped
  // one left it: NEW would get a half-patched copy.
  ExistingFile original = OpenTakenBack(originalPath, err);
  if (const std::optional<int> failure = CheckCrc32(arguments, original, err)) return *failure;
  if (gather) {
    if (const std::optional<int> failure = gather(original)) return *failure;
  }
  ReplacementFile output = AsPath(newPath, [&] { return ReplacementFile::Create(newPath); });
  // A failing read names ORIGINAL, anything else the new file.
  bool changed = false;
  try {
    changed = records.WriteCopy(original, output);
  } catch (const Error& error) {
    if (error.Path() == originalPath) throw;
    throw Error(error.what(), newPath);
  }
  AtPath(originalPath, [&] { original.Close(); });
  AsPath(newPath, [&] {
    output.CopyPermissionsFrom(originalPath);
    output.Commit(!arguments.noSync);
  });
  if (!changed) err << kNothingChanged << '\n';
  return kExitDone;
}

// The patches applied one after another to ORIGINAL's bytes in memory, each
// to the result of the ones before, and the stretches where the last result
// differs from ORIGINAL laid into `writer` (with the cut when it is shorter).
// `original` is open, locked and never half-written. A --only or --skip list
// chooses among the records or stretches of the first patch.
std::optional<int> GatherInMemory(const Arguments& arguments, ExistingFile& file,
                                  RecordWriter& writer, std::ostream& err) {
  const std::string& originalPath = arguments.originalPath;
  const std::vector<std::uint8_t> original = ReadWholeFile(file);
  std::vector<std::uint8_t> current;
  const std::vector<std::string>& paths = arguments.patchPaths;
  for (std::size_t p = 0; p < paths.size(); ++p) {
    const std::string& path = paths[p];
    const std::span<const std::uint8_t> input = p == 0 ? std::span(original) : std::span(current);
    const std::string inputName =
        p == 0 ? originalPath : originalPath + " as " + paths[p - 1] + " left it";
    if (IsDelta(FormatOfPatch(path))) {
      DeltaResult decoded = DecodeDelta(path, input, inputName);
      if (decoded.backwards) NoteBackwards(err, path, inputName);
      if (p == 0 && arguments.selection != Selection::All) {
        const StretchList stretches = ListStretches(original, decoded.result);
        const std::vector<bool> chosen =
            ChosenRecords(arguments.selection, arguments.records, stretches.stretches.size(), path);
        current = WithChosenStretches(original, std::move(decoded.result), stretches, chosen);
      } else {
        current = std::move(decoded.result);
      }
      continue;
    }
    std::vector<bool> chosen;
    if (p == 0) {
      current = original;
      if (arguments.selection != Selection::All) {
        const std::optional<PatchSummary> summary =
            AtPath(path, [&] { return SummarizePatch(path); });
        if (!summary) return NotAPatch(err, path, originalPath);
        chosen = ChosenRecords(arguments.selection, arguments.records, summary->records, path);
      }
    }
    if (!AtPath(path,
                [&] { return ApplyRecordsInMemory(path, chosen, arguments.truncate, current); })) {
      return NotAPatch(err, path, originalPath);
    }
  }
  DecodedDeltaPatch difference;
  difference.stretches = ListStretches(original, current);
  difference.result = std::move(current);
  AtPath(originalPath, [&] { GatherStretches(difference, {}, writer); });
  return std::nullopt;
}

}  // namespace

int ApplyRecords(const Arguments& arguments, std::ostream& err) {
  const bool toNewFile = !arguments.newPath.empty();
  if (toNewFile) {
    std::vector<std::string> inputs = arguments.patchPaths;
    inputs.push_back(arguments.originalPath);
    CheckNewFile(arguments.newPath, inputs);
  }
  // A BPS or UPS patch, and an IPS patch's length honoured, are applied in
  // memory: decoded under the lock that the write takes, against ORIGINAL as
  // it is then.
  bool inMemory = false;
  for (const std::string& path : arguments.patchPaths) inMemory |= IsDelta(FormatOfPatch(path));
  if (!inMemory && arguments.truncate) {
    for (const std::string& path : arguments.patchPaths) {
      const std::optional<PatchSummary> summary =
          AtPath(path, [&] { return SummarizePatch(path); });
      if (!summary) return NotAPatch(err, path, arguments.originalPath);
      inMemory |= summary->truncation.has_value();
    }
  }
  RecordWriter records;
  if (inMemory) {
    const LateGather gather = [&](ExistingFile& original) {
      return GatherInMemory(arguments, original, records, err);
    };
    return toNewFile ? ApplyToNewFile(arguments, records, err, gather)
                     : ApplyInPlace(arguments, records, err, gather);
  }
  // Every patch and the record list are checked before anything is written.
  // A list needs the first patch's record count, so the patches are then read
  // through once before their records are gathered.
  std::vector<bool> chosen;
  if (arguments.selection != Selection::All) {
    std::size_t firstCount = 0;
    for (const std::string& path : arguments.patchPaths) {
      const std::optional<PatchSummary> summary =
          AtPath(path, [&] { return SummarizePatch(path); });
      if (!summary) return NotAPatch(err, path, arguments.originalPath);
      if (&path == &arguments.patchPaths.front()) firstCount = summary->records;
    }
    chosen = ChosenRecords(arguments.selection, arguments.records, firstCount,
                           arguments.patchPaths.front());
  }
  if (const std::optional<int> failure = GatherEveryPatch(arguments, chosen, records, err)) {
    return *failure;
  }

  return toNewFile ? ApplyToNewFile(arguments, records, err, {})
                   : ApplyInPlace(arguments, records, err, {});
}

}  // namespace vips::cli
