// status: which records of a patch a file already holds.
#include <optional>
#include <ostream>
#include <string>

#include "cli/cli_files.hpp"
#include "cli/commands.hpp"
#include "core/file_access.hpp"
#include "core/hex_address.hpp"
#include "core/ips_reader.hpp"
#include "core/patch_image.hpp"
#include "core/record_status.hpp"

namespace vips::cli {

int ShowStatus(const Arguments& arguments, std::ostream& out, std::ostream& err) {
  const std::string& patchPath = arguments.patchPath;
  const std::string& originalPath = arguments.originalPath;
  const std::optional<PatchImage> patch =
      AtPath(patchPath, [&] { return PatchImage::Read(patchPath); });
  if (!patch) return NotAPatch(err, patchPath, originalPath);
  const std::vector<bool> held = AtPath(originalPath, [&] {
    ExistingFile original = ExistingFile::OpenForReading(originalPath);
    std::vector<bool> result = HeldRecords(*patch, original);
    original.Close();
    return result;
  });

  // A million lines go out in large pieces.
  std::string lines;
  std::size_t applied = 0;
  std::size_t i = 0;
  patch->ForEachRecord([&](const PatchRecord& record) {
    lines += std::to_string(i + 1);
    lines += '\t';
    lines += HexAddressText(record.offset);
    lines += '\t';
    lines += HexAddressText(FinalAddress(record.offset, record.Count()));
    lines += held[i] ? "\tapplied\n" : "\tpending\n";
    if (held[i]) ++applied;
    if (lines.size() >= 64 * 1024) {
      out << lines;
      lines.clear();
    }
    ++i;
  });
  out << lines;
  err << applied << " of " << patch->RecordCount() << " records applied.\n";
  return kExitDone;
}

}  // namespace vips::cli
