// info: size and checksums of files, the record count of IPS patches, and
// what BPS and UPS patches say about themselves.
#include <optional>
#include <ostream>
#include <sstream>
#include <string>

#include "cli/cli_files.hpp"
#include "cli/commands.hpp"
#include "cli/delta_files.hpp"
#include "core/delta/delta_summary.hpp"
#include "core/files/digests.hpp"
#include "core/files/file_access.hpp"
#include "core/ips/reader.hpp"

namespace vips::cli {
namespace {

// The summary of an IPS patch that reads through to its end marker; nothing
// for any other file.
std::optional<PatchSummary> IpsSummary(const std::string& path) {
  try {
    return SummarizePatch(path);
  } catch (const Error& error) {
    // Cut before its end marker: no whole patch.
    if (std::string(error.what()) == kReadBeyondEnd) return std::nullopt;
    throw;
  }
}

void DescribeIps(const std::string& path, std::ostream& out) {
  const std::optional<PatchSummary> summary = IpsSummary(path);
  if (!summary) return;
  out << path << ": " << summary->records << " records\n";
  if (summary->truncation) {
    out << path << ": gives the file's length after its end marker: " << *summary->truncation
        << " bytes\n";
  }
}

void DescribeDelta(const std::string& path, std::ostream& out) {
  DeltaSummary summary;
  try {
    summary = SummarizeOrRefuse(path);
  } catch (const PatchRefused& refused) {
    out << path << ": not a whole patch: " << refused.what() << '\n';
    return;
  }
  out << path << ": " << (summary.format == PatchFormat::Bps ? "BPS" : "UPS") << " patch for "
      << summary.sourceSize << " bytes with CRC-32 " << Crc32Text(summary.sourceCrc) << ", making "
      << summary.targetSize << " bytes with CRC-32 " << Crc32Text(summary.targetCrc) << '\n';
  if (summary.Damaged()) {
    out << path << ": damaged: its CRC-32 is " << Crc32Text(summary.patchCrcActual)
        << ", its footer says " << Crc32Text(summary.patchCrc) << '\n';
  } else {
    out << path << ": patch CRC-32 " << Crc32Text(summary.patchCrc) << ", as its footer says\n";
  }
  std::istringstream metadata(summary.metadata);
  for (std::string line; std::getline(metadata, line);) {
    out << path << ": metadata: " << line << '\n';
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
        if (IsDelta(FormatOfPatch(path))) {
          DescribeDelta(path, out);
        } else {
          DescribeIps(path, out);
        }
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
