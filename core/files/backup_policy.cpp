#include "core/files/backup_policy.hpp"

#include <filesystem>
#include <optional>
#include <system_error>
#include <utility>

#include "core/error.hpp"
#include "core/files/file_access.hpp"

namespace vips {

BackupDecision DecideBackup(const std::string& originalPath, const std::string& backupPath) {
  const std::optional<FileIdentity> backup = IdentityOf(backupPath);
  // Nothing there, or a link to be replaced: the regular-file test does not
  // follow a link, the identity does.
  if (!IsRegularFile(backupPath)) {
    std::error_code error;
    // Paths are UTF-8 on every system.
    const std::u8string name(backupPath.begin(), backupPath.end());
    if (!backup || std::filesystem::is_symlink(std::filesystem::symlink_status(name, error))) {
      return {BackupAction::Make, {}};
    }
    return {BackupAction::Refuse, "it is no regular file"};
  }
  if (backup == IdentityOf(originalPath)) {
    return {BackupAction::Refuse, "it is the original file under a second name"};
  }
  try {
    const std::uint64_t originalLength = ExistingFile::OpenForReading(originalPath).Length();
    const std::uint64_t copyLength = ExistingFile::OpenForReading(backupPath).Length();
    // Longer is fine: a BPS or UPS patch, or an IPS patch's length, can
    // shorten the file.
    if (copyLength == 0 && originalLength > 0) return {BackupAction::Refuse, "it is empty"};
  } catch (const Error& error) {
    return {BackupAction::Refuse, error.Path() == backupPath
                                      ? std::string("it cannot be read (") + error.what() + ")"
                                      : std::string(error.what())};
  }
  return {BackupAction::Keep, {}};
}

std::optional<std::string> RecoveryRefusal(const std::string& originalPath,
                                           const std::string& backupPath) {
  if (!IdentityOf(originalPath)) return std::nullopt;
  BackupDecision decision = DecideBackup(originalPath, backupPath);
  if (decision.action != BackupAction::Refuse) return std::nullopt;
  return std::move(decision.reason);
}

}  // namespace vips
