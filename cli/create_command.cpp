// create: a patch that turns one file into another.
#include <ostream>
#include <string>

#include "cli/cli_files.hpp"
#include "cli/commands.hpp"
#include "cli/delta_files.hpp"
#include "core/delta/bps_maker.hpp"
#include "core/files/file_access.hpp"
#include "core/ips/maker.hpp"

namespace vips::cli {
namespace {

std::vector<std::uint8_t> ReadStart(const std::string& path, std::uint64_t limit,
                                    std::ostream& err) {
  return AtPath(path, [&] {
    ExistingFile file = OpenTakenBack(path, err);
    std::vector<std::uint8_t> bytes = ReadFileStart(file, limit);
    file.Close();
    return bytes;
  });
}

}  // namespace

int CreatePatch(const Arguments& arguments, std::ostream& err) {
  const std::string& originalPath = arguments.originalPath;
  const std::string& modifiedPath = arguments.modifiedPath;
  CheckNewFile(arguments.newPath, {originalPath, modifiedPath});
  if (arguments.bps) {
    // Read whole: a BPS patch holds both files' sizes and CRC-32s.
    const std::vector<std::uint8_t> original = ReadWholeTakenBack(originalPath, err);
    WriteNewFile(arguments.newPath, MakeLinearBps(original, ReadWholeTakenBack(modifiedPath, err)));
    return kExitDone;
  }
  // Neither file is read further than a patch could reach.
  const std::vector<std::uint8_t> modified = ReadStart(modifiedPath, kPatchableSize + 1, err);
  if (modified.size() > kPatchableSize) {
    throw NotExpressible(modifiedPath + " is longer than " + std::to_string(kPatchableSize) +
                         " bytes: no IPS record can write past address 100FFFD.");
  }
  const std::vector<std::uint8_t> original = ReadStart(originalPath, modified.size() + 1, err);
  if (original.size() > modified.size()) {
    throw NotExpressible(modifiedPath + " is shorter than " + originalPath +
                         ": an IPS patch can lengthen a file but never shorten it.");
  }
  const MadePatch made = MakePatch(original, modified);
  WriteNewFile(arguments.newPath, made.bytes);
  if (made.records == 0) {
    err << "The files are identical: " << arguments.newPath << " holds no records.\n";
  }
  return kExitDone;
}

}  // namespace vips::cli
