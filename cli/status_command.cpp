// status: which records of a patch a file already holds.
#include <optional>
#include <ostream>
#include <string>

#include "cli/cli_files.hpp"
#include "cli/commands.hpp"
#include "cli/delta_files.hpp"
#include "core/apply/record_views.hpp"
#include "core/delta/delta_frame.hpp"
#include "core/delta/delta_summary.hpp"
#include "core/files/file_access.hpp"
#include "core/files/rollback_journal.hpp"
#include "core/ips/hex_address.hpp"
#include "core/ips/reader.hpp"

namespace vips::cli {
namespace {

// What a stopped run left beside ORIGINAL, said before the count.
void ReportJournal(const std::string& originalPath, const RollbackJournal::Finding& journal,
                   std::ostream& err) {
  if (journal.kind == RollbackJournal::Finding::Kind::Fits) {
    err << originalPath << ": an earlier run was stopped while it wrote this file; the next "
        << "apply or recover takes back what it wrote.\n";
  } else if (journal.kind == RollbackJournal::Finding::Kind::Refused) {
    err << originalPath << ": " << journal.refusal << ".\n";
  }
}

// A BPS or UPS patch's stretches are where the file it makes differs from
// the one it is made for: ORIGINAL as that file holds none of them, ORIGINAL
// as the file made holds them all, and a file that is neither cannot be
// compared with it.
int ShowDeltaStatus(const Arguments& arguments, std::ostream& out, std::ostream& err) {
  const std::string& patchPath = arguments.patchPath;
  const std::string& originalPath = arguments.originalPath;
  RollbackJournal::Finding journal;
  const std::vector<std::uint8_t> original = AtPath(originalPath, [&] {
    ExistingFile file = ExistingFile::OpenForReading(originalPath);
    std::vector<std::uint8_t> bytes = ReadWholeFile(file);
    journal = RollbackJournal::Examine(file);
    file.Close();
    return bytes;
  });
  const int done =
      journal.kind == RollbackJournal::Finding::Kind::Refused ? kExitJournalRefused : kExitDone;
  const DeltaSummary summary = SummarizeOrRefuse(patchPath);
  if (!summary.Damaged() && original.size() == summary.targetSize &&
      Crc32Of(original) == summary.targetCrc) {
    ReportJournal(originalPath, journal, err);
    err << originalPath << " is the file " << patchPath << " makes: every stretch is applied.\n";
    return done;
  }
  const DeltaResult decoded = DecodeDelta(patchPath, original, originalPath);
  const StretchList stretches = ListStretches(original, decoded.result);
  std::string lines;
  for (std::size_t index = 0; index < stretches.stretches.size(); ++index) {
    const Stretch& stretch = stretches.stretches[index];
    lines += std::to_string(index + 1) + '\t' + HexPositionText(stretch.first) + '\t' +
             HexPositionText(stretch.last) + "\tpending\n";
  }
  out << lines;
  ReportJournal(originalPath, journal, err);
  err << "0 of " << stretches.stretches.size() << " stretches applied.\n";
  return done;
}

}  // namespace

int ShowStatus(const Arguments& arguments, std::ostream& out, std::ostream& err) {
  const std::string& patchPath = arguments.patchPath;
  const std::string& originalPath = arguments.originalPath;
  if (IsDelta(FormatOfPatch(patchPath))) return ShowDeltaStatus(arguments, out, err);
  // The patch is read through once before anything is shown, so that a cut
  // patch shows nothing, and once more as the lines are made.
  const std::optional<PatchSummary> summary =
      AtPath(patchPath, [&] { return SummarizePatch(patchPath); });
  if (!summary) return NotAPatch(err, patchPath, originalPath);
  // Only the bytes the records can reach are read, and whatever a stopped
  // run left beside the file is looked at: status only reads, so it says what
  // the next apply or recover will do and leaves the file as it is.
  RollbackJournal::Finding journal;
  const std::vector<std::uint8_t> fileStart = AtPath(originalPath, [&] {
    ExistingFile original = ExistingFile::OpenForReading(originalPath);
    std::vector<std::uint8_t> bytes = ReadFileStart(original, summary->reach);
    journal = RollbackJournal::Examine(original);
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
    ReportJournal(originalPath, journal, err);
    err << applied << " of " << number - 1 << " records applied.\n";
    return true;
  });
  if (!shown) return NotAPatch(err, patchPath, originalPath);
  return journal.kind == RollbackJournal::Finding::Kind::Refused ? kExitJournalRefused : kExitDone;
}

}  // namespace vips::cli
