// export: the chosen records of a patch as a patch of their own.
#include <optional>
#include <ostream>

#include "cli/cli_files.hpp"
#include "cli/commands.hpp"
#include "core/apply/record_views.hpp"
#include "core/files/replacement_file.hpp"
#include "core/ips/reader.hpp"

namespace vips::cli {

int ExportRecords(const Arguments& arguments, std::ostream& err) {
  const std::string& patchPath = arguments.patchPath;
  const std::string& newPath = arguments.newPath;
  CheckNewFile(newPath, {patchPath});
  // The record list is checked against the whole patch before the new file
  // is begun; the records are then read again on their way out.
  const std::optional<PatchSummary> summary =
      AtPath(patchPath, [&] { return SummarizePatch(patchPath); });
  if (!summary) return NotAPatch(err, patchPath);
  const std::vector<bool> chosen =
      ChosenRecords(arguments.selection, arguments.records, summary->records, patchPath);
  ReplacementFile output = AsPath(newPath, [&] { return ReplacementFile::Create(newPath); });
  try {
    // False when the patch lost its header in between.
    if (!AppendChosenRecords(patchPath, chosen, output)) return NotAPatch(err, patchPath);
  } catch (const Error& error) {
    if (error.Path() == patchPath) throw;
    throw Error(error.what(), newPath);
  }
  AsPath(newPath, [&] { output.Commit(); });
  return kExitDone;
}

}  // namespace vips::cli
