// apply: the records of one or more patches, into ORIGINAL in place or into
// a new file.
#include <optional>
#include <ostream>
#include <vector>

#include "cli/cli_files.hpp"
#include "cli/commands.hpp"
#include "core/block_records.hpp"
#include "core/digests.hpp"
#include "core/file_access.hpp"
#include "core/file_copy.hpp"
#include "core/image_apply.hpp"
#include "core/linked_file.hpp"
#include "core/patch_image.hpp"
#include "core/path_names.hpp"
#include "core/replacement_file.hpp"

namespace vips::cli {
namespace {

constexpr const char* kNothingChanged = "Nothing changed: the file already holds these records.";

// Every patch read through to its end marker, or the status that ends the
// command when one is no patch.
struct ReadPatches {
  std::vector<PatchImage> patches;
  std::optional<int> failure;
};

ReadPatches ReadEveryPatch(const Arguments& arguments, std::ostream& err) {
  ReadPatches result;
  for (const std::string& path : arguments.patchPaths) {
    std::optional<PatchImage> patch = AtPath(path, [&] { return PatchImage::Read(path); });
    if (!patch) {
      result.failure = NotAPatch(err, path, arguments.originalPath);
      return result;
    }
    result.patches.push_back(std::move(*patch));
  }
  return result;
}

// Every patch read again, each record into the block of ORIGINAL it writes:
// those of the first patch that `chosen` marks (all when it is empty), and
// every record of the others. Nothing when that went well, else the status
// that ends the command.
std::optional<int> ListEveryPatch(const Arguments& arguments, const std::vector<bool>& chosen,
                                  BlockRecords& records, std::ostream& err) {
  const std::vector<std::string>& paths = arguments.patchPaths;
  for (std::size_t p = 0; p < paths.size(); ++p) {
    const std::string& path = paths[p];
    static const std::vector<bool> kAll;
    if (!AtPath(path, [&] { return records.Add(path, p == 0 ? chosen : kAll); })) {
      return NotAPatch(err, path, arguments.originalPath);
    }
  }
  return std::nullopt;
}

// Takes the backup before ORIGINAL is written; nothing when that went well,
// else the status that ends the command.
std::optional<int> TakeBackup(const Arguments& arguments, std::ostream& err) {
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
  if (IsRegularFile(backupPath)) {
    err << "Kept the existing backup " << backupPath << ".\n";
    return std::nullopt;
  }
  try {
    // An ORIGINAL that is a link is patched through it, so the backup holds
    // the file it leads to; the backup itself stands beside the link.
    CopyWholeFileOrThrow(FileBehindLinks(path), backupPath);
  } catch (const Error& error) {
    err << "Reserve copy of the file " << backupPath << " is not created! Nothing was written to "
        << path << ". (" << Described(error) << ")\n";
    return kExitCopyFailed;
  }
  return std::nullopt;
}

int ApplyInPlace(const Arguments& arguments, BlockRecords& blockRecords, std::ostream& err) {
  const std::string& path = arguments.originalPath;
  ExistingFile original = AtPath(path, [&] { return ExistingFile::Open(path); });
  // A patch written into itself would change while it is applied.
  const FileIdentity identity = AtPath(path, [&] { return original.Identity(); });
  for (const std::string& patchPath : arguments.patchPaths) {
    if (IdentityOf(patchPath) == identity) throw Error(kFileAccessDenied, path);
  }
  RecordWriter records(blockRecords);
  // With a backup to take, whether the records change the file is known
  // before anything is copied or written; without, the write finds it out,
  // leaving alone the spans whose bytes are already the records'.
  if (arguments.backup) {
    if (!AtPath(path, [&] { return records.Changes(original, original.Length()); })) {
      // Nothing to write, so no backup either.
      err << kNothingChanged << '\n';
      AtPath(path, [&] { original.Close(); });
      return kExitDone;
    }
    // The backup reads ORIGINAL under a shared lock, so it comes before the
    // lock that keeps other runs of this program out while the records are
    // written.
    if (const std::optional<int> failure = TakeBackup(arguments, err)) return *failure;
  }
  const bool changed = AtPath(path, [&] {
    original.LockForWriting();
    const bool wrote = records.WriteAllOrNothing(original);
    original.Close();
    return wrote;
  });
  if (!changed) err << kNothingChanged << '\n';
  return kExitDone;
}

// ORIGINAL is only read: the new file gets its start as the records make
// it, then the rest of its bytes, and takes the place of NEW only when whole.
int ApplyToNewFile(const Arguments& arguments, const std::vector<PatchImage>& patches,
                   const std::vector<bool>& chosen, std::ostream& err) {
  const std::string& originalPath = arguments.originalPath;
  const std::string& newPath = arguments.newPath;
  ExistingFile original =
      AtPath(originalPath, [&] { return ExistingFile::OpenForReading(originalPath); });
  // Not while another run of this program is writing it: NEW would get a
  // half-patched copy.
  AtPath(originalPath, [&] { original.LockForReading(); });
  const PatchedStart start =
      AtPath(originalPath, [&] { return PatchFileStart(patches, chosen, original); });
  ReplacementFile output = AsPath(newPath, [&] { return ReplacementFile::Create(newPath); });
  AsPath(newPath, [&] { output.Append(start.bytes.data(), start.bytes.size()); });
  std::vector<std::uint8_t> buffer(1024 * 1024);
  for (std::uint64_t position = start.bytes.size();;) {
    const std::size_t read = AtPath(
        originalPath, [&] { return original.ReadAt(position, buffer.data(), buffer.size()); });
    if (read == 0) break;
    AsPath(newPath, [&] { output.Append(buffer.data(), read); });
    position += read;
  }
  AtPath(originalPath, [&] { original.Close(); });
  AsPath(newPath, [&] {
    output.CopyPermissionsFrom(originalPath);
    output.Commit();
  });
  if (!start.changed) err << kNothingChanged << '\n';
  return kExitDone;
}

}  // namespace

int ApplyRecords(const Arguments& arguments, std::ostream& err) {
  const bool toNewFile = !arguments.newPath.empty();
  if (toNewFile) {
    std::vector<std::string> inputs = arguments.patchPaths;
    inputs.push_back(arguments.originalPath);
    CheckNewFile(arguments.newPath, inputs);
  }
  // Every patch and the record list are checked before anything is written.
  // No list when every record is chosen; a list needs the first patch's
  // record count, so the patches are then read whole first.
  std::vector<bool> chosen;
  std::vector<PatchImage> patches;
  if (toNewFile || arguments.selection != Selection::All) {
    ReadPatches read = ReadEveryPatch(arguments, err);
    if (read.failure) return *read.failure;
    if (arguments.selection != Selection::All) {
      chosen = ChosenRecords(arguments.selection, arguments.records,
                             read.patches.front().RecordCount(), arguments.patchPath);
    }
    if (toNewFile) patches = std::move(read.patches);
  }
  // In place, the records are kept by the block of ORIGINAL they write.
  BlockRecords records;
  if (!toNewFile) {
    if (const std::optional<int> failure = ListEveryPatch(arguments, chosen, records, err)) {
      return *failure;
    }
  }

  if (arguments.crc32) {
    const std::string& path = arguments.originalPath;
    const std::uint32_t crc = AtPath(path, [&] {
      ExistingFile original = ExistingFile::OpenForReading(path);
      const std::uint32_t value = Crc32OfFile(original);
      original.Close();
      return value;
    });
    if (crc != *arguments.crc32) {
      err << path << ": CRC32 is " << Crc32Text(crc) << ", expected " << Crc32Text(*arguments.crc32)
          << '\n';
      return kExitChecksumMismatch;
    }
  }
  return toNewFile ? ApplyToNewFile(arguments, patches, chosen, err)
                   : ApplyInPlace(arguments, records, err);
}

}  // namespace vips::cli
