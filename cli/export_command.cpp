// export: the chosen records of a patch as a patch of their own.
#include <optional>
#include <ostream>

#include "cli/cli_files.hpp"
#include "cli/commands.hpp"
#include "core/patch_image.hpp"

namespace vips::cli {

int ExportRecords(const Arguments& arguments, std::ostream& err) {
  const std::string& patchPath = arguments.patchPath;
  CheckNewFile(arguments.newPath, {patchPath});
  const std::optional<PatchImage> patch =
      AtPath(patchPath, [&] { return PatchImage::Read(patchPath); });
  if (!patch) return NotAPatch(err, patchPath);
  const std::vector<bool> chosen =
      ChosenRecords(arguments.selection, arguments.records, patch->RecordCount(), patchPath);
  WriteNewFile(arguments.newPath, vips::ExportRecords(*patch, chosen));
  return kExitDone;
}

}  // namespace vips::cli
