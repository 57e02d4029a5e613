// apply: the records of one or more patches, into ORIGINAL in place or into
// a new file.
#include <optional>
#include <ostream>
#include <vector>

#include "cli/cli_files.hpp"
#include "cli/commands.hpp"
#include "core/block_cache.hpp"
#include "core/digests.hpp"
#include "core/file_access.hpp"
#include "core/file_copy.hpp"
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

ReadPatches ReadEveryPatch(const std::vector<std::string>& paths, std::ostream& err) {
  ReadPatches result;
  for (const std::string& path : paths) {
    std::optional<PatchImage> patch = AtPath(path, [&] { return PatchImage::Read(path); });
    if (!patch) {
      if (paths.size() > 1) err << path << ": ";
      result.failure = NotAPatch(err);
      return result;
    }
    result.patches.push_back(std::move(*patch));
  }
  return result;
}

// Writes the chosen records of the first patch, then every record of each
// later one, into `cache`; tells whether any byte changes.
bool WriteAllRecords(const std::vector<PatchImage>& patches, const std::vector<bool>& chosen,
                     BlockCache& cache) {
  for (std::size_t i = 0; i < patches.size(); ++i) {
    WriteRecords(patches[i], i == 0 ? chosen : std::vector<bool>(), cache);
  }
  return cache.Changed();
}

int ApplyInPlace(const Arguments& arguments, const std::vector<PatchImage>& patches,
                 const std::vector<bool>& chosen, std::ostream& err) {
  const std::string& path = arguments.originalPath;
  ExistingFile original = AtPath(path, [&] { return ExistingFile::Open(path); });
  BlockCache cache(original);
  if (!AtPath(path, [&] { return WriteAllRecords(patches, chosen, cache); })) {
    // Nothing to write, so no backup either: an existing one may be the
    // only copy of the file from before these records.
    err << kNothingChanged << '\n';
    AtPath(path, [&] { original.Close(); });
    return kExitDone;
  }
  if (arguments.backup) {
    const std::string backupPath = BackupPathOf(path);
    if (!CopyWholeFile(path, backupPath)) {
      err << "Reserve copy of the file " << backupPath << " is not created! Nothing was written to "
          << path << ".\n";
      return kExitCopyFailed;
    }
  }
  AtPath(path, [&] {
    cache.Flush();
    original.Close();
  });
  return kExitDone;
}

// ORIGINAL is only read: its bytes go into the new file, the records are
// written there, and the new file takes the place of NEW only when whole.
int ApplyToNewFile(const Arguments& arguments, const std::vector<PatchImage>& patches,
                   const std::vector<bool>& chosen, std::ostream& err) {
  const std::string& originalPath = arguments.originalPath;
  const std::string& newPath = arguments.newPath;
  ExistingFile original =
      AtPath(originalPath, [&] { return ExistingFile::OpenForReading(originalPath); });
  ReplacementFile output = AtPath(newPath, [&] { return ReplacementFile::Create(newPath); });
  std::vector<std::uint8_t> buffer(1024 * 1024);
  for (;;) {
    const std::size_t read =
        AtPath(originalPath, [&] { return original.ReadSome(buffer.data(), buffer.size()); });
    if (read == 0) break;
    AtPath(newPath, [&] { output.Append(buffer.data(), read); });
  }
  AtPath(originalPath, [&] { original.Close(); });

  const bool changed = AtPath(newPath, [&] {
    ExistingFile result = ExistingFile::Open(output.TemporaryPath());
    BlockCache cache(result);
    const bool any = WriteAllRecords(patches, chosen, cache);
    cache.Flush();
    result.Close();
    // Last: read-only permission bits would refuse the writes above.
    output.CopyPermissionsFrom(originalPath);
    output.Commit();
    return any;
  });
  if (!changed) err << kNothingChanged << '\n';
  return kExitDone;
}

}  // namespace

int ApplyRecords(const Arguments& arguments, std::ostream& err) {
  const bool toNewFile = !arguments.newPath.empty();
  if (toNewFile) {
    std::vector<std::string> inputs = arguments.patchPaths;
    inputs.push_back(arguments.originalPath);
    RefuseSameFile(arguments.newPath, inputs);
  }
  // Every patch and the record list are checked before anything is written.
  ReadPatches read = ReadEveryPatch(arguments.patchPaths, err);
  if (read.failure) return *read.failure;
  const std::vector<bool> chosen =
      ChosenRecords(arguments.selection, arguments.records, read.patches.front().Records().size());

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
  return toNewFile ? ApplyToNewFile(arguments, read.patches, chosen, err)
                   : ApplyInPlace(arguments, read.patches, chosen, err);
}

}  // namespace vips::cli
