// status: which records of a patch a file already holds.
#include <optional>
#include <ostream>
#include <string>

#include "cli/cli_files.hpp"
#include "cli/commands.hpp"
#include "core/apply/record_views.hpp"
#include "core/files/file_access.hpp"
#include "core/files/rollback_journal.hpp"
#include "core/ips/hex_address.hpp"
#include "core/ips/reader.hpp"

namespace vips::cli {

int ShowStatus(const Arguments& arguments, std::ostream& out, std::ostream& err) {
  const std::string& patchPath = arguments.patchPath;
  const std::string& originalPath = arguments.originalPath;
  // The patch is read through once before anything is shown, so that a cut
  // patch shows nothing, and once more as the lines are made.
  const std::optional<PatchSummary> summary =
      AtPath(patchPath, [&] { return SummarizePatch(patchPath); });
  if (!summary) return NotAPatch(err, patchPath, originalPath);
  // Only the bytes the records can reach are read.
  const std::vector<std::uint8_t> fileStart = AtPath(originalPath, [&] {
    ExistingFile original = ExistingFile::OpenForReading(originalPath);
    std::vector<std::uint8_t> bytes = ReadFileStart(original, summary->reach);
    original.Close();
    return bytes;
  });

  // False when the patch lost its header in between.
  const bool shown = AtPath(patchPath, [&] {
    std::optional<IpsReader> reader = IpsReader::Open(patchPath);
    if (!reader) return false;
    // A million lines go out in large pieces.
    std::string lines;
    std::size_t applied = 0;
    IpsRecord record;
    std::size_t number = 1;
    for (; reader->ReadRecordHead(record); ++number) {
      const bool held = ReadWhetherHeld(*reader, record, fileStart);
      lines += std::to_string(number);
      lines += '\t';
      lines += HexAddressText(record.offset);
      lines += '\t';
      lines += HexAddressText(FinalAddress(record.offset, record.Count()));
      lines += held ? "\tapplied\n" : "\tpending\n";
      if (held) ++applied;
      if (lines.size() >= 64 * 1024) {
        out << lines;
        lines.clear();
      }
    }
    reader->Close();
    out << lines;
    // A journal beside the file means that a run was stopped while it wrote
    // it: records may show as applied that the next apply or recover takes
    // back. status only reads, so it says so and leaves the file as it is.
    if (IsRegularFile(RollbackJournal::PathFor(originalPath))) {
      err << originalPath << ": an earlier run was stopped while it wrote this file; the next "
          << "apply or recover takes back what it wrote.\n";
    }
    err << applied << " of " << number - 1 << " records applied.\n";
    return true;
  });
  return shown ? kExitDone : NotAPatch(err, patchPath, originalPath);
}

}  // namespace vips::cli
