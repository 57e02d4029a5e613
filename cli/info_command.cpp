// info: size and checksums of files, and the record count of patches.
#include <optional>
#include <ostream>
#include <string>

#include "cli/cli_files.hpp"
#include "cli/commands.hpp"
#include "core/files/digests.hpp"
#include "core/files/file_access.hpp"
#include "core/ips/reader.hpp"

namespace vips::cli {
namespace {

// The number of records of a patch that reads through to its end marker;
// -1 for any other file.
std::int64_t RecordCount(const std::string& path) {
  try {
    const std::optional<PatchSummary> summary = SummarizePatch(path);
    return summary ? static_cast<std::int64_t>(summary->records) : -1;
  } catch (const Error& error) {
    // Cut before its end marker: no whole patch.
    if (std::string(error.what()) == kReadBeyondEnd) return -1;
    throw;
  }
}

}  // namespace

int ShowInfo(const Arguments& arguments, std::ostream& out, std::ostream& err) {
  int status = kExitDone;
  for (const std::string& path : arguments.files) {
    try {
      AtPath(path, [&] {
        ExistingFile file = OpenTakenBack(path, err);
        const Digests digests = DigestFile(file);
        file.Close();
        out << path << '\t' << digests.size << '\t' << Crc32Text(digests.crc32) << '\t'
            << LowerHex(digests.md5) << '\t' << LowerHex(digests.sha1) << '\n';
        const std::int64_t records = RecordCount(path);
        if (records >= 0) out << path << ": " << records << " records\n";
      });
    } catch (const Error& error) {
      // The other files are still described.
      err << Described(error) << '\n';
      status = kExitIoError;
    }
  }
  return status;
}

}  // namespace vips::cli
