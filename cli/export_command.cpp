// export: the chosen records of a patch as a patch of their own; the chosen
// stretches of a BPS or UPS patch as an IPS patch.
#include <algorithm>
#include <optional>
#include <ostream>

#include "cli/cli_files.hpp"
#include "cli/commands.hpp"
#include "cli/delta_files.hpp"
#include "core/apply/record_views.hpp"
#include "core/files/replacement_file.hpp"
#include "core/ips/maker.hpp"
#include "core/ips/reader.hpp"

namespace vips::cli {
namespace {

// The smallest IPS patch that writes the chosen stretches over ORIGINAL.
int ExportStretches(const Arguments& arguments, PatchFormat format, std::ostream& err) {
  const std::string& patchPath = arguments.patchPath;
  const std::string& originalPath = arguments.originalPath;
  RequireOriginal(patchPath, format, originalPath,
                  "'export' needs the ORIGINAL it applies to, before NEW");
  const std::vector<std::uint8_t> original = ReadWholeTakenBack(originalPath, err);
  DeltaResult decoded = DecodeDelta(patchPath, original, originalPath);
  const StretchList stretches = ListStretches(original, decoded.result);
  const std::size_t count = stretches.stretches.size();
  const std::vector<bool> chosen =
      ChosenRecords(arguments.selection, arguments.records, count, patchPath);
  const bool every = std::find(chosen.begin(), chosen.end(), false) == chosen.end();
  if (every && stretches.shortensTo) {
    throw NotExpressible(patchPath + " makes " + originalPath + " shorter, " +
                         std::to_string(*stretches.shortensTo) +
                         " bytes: an IPS patch can lengthen a file but never shorten it.");
  }
  std::uint64_t reach = 0;
  for (std::size_t index = 0; index < count; ++index) {
    if (!chosen[index]) continue;
    const Stretch& stretch = stretches.stretches[index];
    if (stretch.last >= kPatchableSize) {
      throw NotExpressible(patchPath + ": stretch " + std::to_string(index + 1) +
                           " changes bytes past address 100FFFD, the last an IPS record can "
                           "write.");
    }
    reach = std::max(reach, stretch.last + 1);
  }
  const std::vector<std::uint8_t> chosenFile =
      WithChosenStretches(original, std::move(decoded.result), stretches, chosen);
  // Past the last chosen stretch both files are alike: the patch need not
  // look there, whatever their sizes.
  const auto before = std::span(original).first(
      static_cast<std::size_t>(std::min<std::uint64_t>(reach, original.size())));
  const auto after = std::span(chosenFile).first(static_cast<std::size_t>(reach));
  WriteNewFile(arguments.newPath, MakePatch(before, after).bytes);
  return kExitDone;
}

}  // namespace

int ExportRecords(const Arguments& arguments, std::ostream& err) {
  const std::string& patchPath = arguments.patchPath;
  const std::string& newPath = arguments.newPath;
  std::vector<std::string> inputs{patchPath};
  if (!arguments.originalPath.empty()) inputs.push_back(arguments.originalPath);
  CheckNewFile(newPath, inputs);
  const PatchFormat format = FormatOfPatch(patchPath);
  if (IsDelta(format)) return ExportStretches(arguments, format, err);
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
