#include "cli/cli_files.hpp"

#include <filesystem>
#include <system_error>

#include "cli/commands.hpp"
#include "cli/usage_error.hpp"
#include "core/apply/delta_patch.hpp"
#include "core/apply/in_place_write.hpp"
#include "core/files/file_access.hpp"
#include "core/files/replacement_file.hpp"
#include "core/files/rollback_journal.hpp"
#include "core/ips/reader.hpp"

namespace vips::cli {
namespace {

// Paths are UTF-8 on every system.
std::filesystem::path FsPath(const std::string& path) {
  return {std::u8string(path.begin(), path.end())};
}

bool SameFile(const std::string& first, const std::string& second) {
  if (first == second) return true;
  std::error_code error;
  if (std::filesystem::equivalent(FsPath(first), FsPath(second), error)) return true;
  // Neither may exist yet, or only one: compare where the names lead.
  const auto a = std::filesystem::weakly_canonical(FsPath(first), error);
  if (error) return false;
  const auto b = std::filesystem::weakly_canonical(FsPath(second), error);
  return !error && a == b;
}

// "an IPS", "a BPS" or "a UPS" for the patch at `path`; null for any other
// file, one that cannot be read included.
const char* PatchFormatName(const std::string& path) {
  try {
    switch (PatchFormatOf(path)) {
      case PatchFormat::Ips:
        return "an IPS";
      case PatchFormat::Bps:
        return "a BPS";
      case PatchFormat::Ups:
        return "a UPS";
      case PatchFormat::Unknown:
        break;
    }
  } catch (const Error&) {
  }
  return nullptr;
}

}  // namespace

void ReportTakenBack(const std::string& path, std::ostream& err) {
  err << path << ": an earlier run was stopped while it wrote this file; what it wrote was taken "
      << "back first.\n";
}

ExistingFile OpenTakenBack(const std::string& path, std::ostream& err) {
  return AtPath(path, [&] {
    ExistingFile file = ExistingFile::OpenForReading(path);
    file.LockForReading();
    // Looked for under the lock: no run of this program can begin one now.
    if (!RollbackJournal::JournalStandsBeside(path)) return file;
    file.Close();
    ExistingFile locked = ExistingFile::OpenLocked(path);
    if (RollBackInterruptedRun(locked)) ReportTakenBack(path, err);
    return locked;
  });
}

std::string Described(const Error& error) {
  return error.Path().empty() ? error.what() : error.Path() + ": " + error.what();
}

void CheckNewFile(const std::string& output, const std::vector<std::string>& inputs) {
  for (const std::string& input : inputs) {
    if (SameFile(output, input)) {
      throw UsageError("the new file " + output + " may not be " + input +
                       ", which the command reads");
    }
  }
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::file_status status = fs::status(FsPath(output), error);
  const fs::perms writable =
      fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  if (!error && fs::is_regular_file(status) &&
      (status.permissions() & writable) == fs::perms::none) {
    throw Error(kFileAccessDenied, output);
  }
}

std::vector<bool> ChosenRecords(Selection selection, const std::vector<RecordRange>& ranges,
                                std::size_t recordCount, const std::string& patchPath) {
  if (selection == Selection::All) return std::vector<bool>(recordCount, true);
  std::vector<bool> chosen;
  try {
    chosen = NamedRecords(ranges, static_cast<int>(recordCount));
  } catch (const UsageError& error) {
    throw UsageError(patchPath + ": " + error.what());
  }
  if (selection == Selection::Skip) chosen.flip();
  return chosen;
}

void WriteNewFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  AsPath(path, [&] {
    ReplacementFile file = ReplacementFile::Create(path);
    file.Append(bytes.data(), bytes.size());
    file.Commit();
  });
}

void NoteTruncation(std::ostream& err, const std::string& path, std::uint32_t length) {
  err << path << ": after its end marker the patch gives the file's length, " << length
      << " bytes; apply --truncate cuts a longer file to it.\n";
}

int NotAPatch(std::ostream& err, const std::string& path, const std::string& other) {
  err << path << ": Invalid IPS file!";
  if (const char* format = other.empty() ? nullptr : PatchFormatName(other)) {
    err << " " << other << " is " << format << " patch: the two may be swapped.";
  }
  err << '\n';
  return kExitNotAPatch;
}

}  // namespace vips::cli
