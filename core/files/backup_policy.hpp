#pragma once

#include <optional>
#include <string>

namespace vips {

// What a backup step does with what already stands at the backup path.
enum class BackupAction {
  // Nothing there, or a link (replaced, never followed): the copy is made.
  Make,
  // A file that can be an earlier run's backup of this original: kept, since a
  // copy of the patched file over it would lose the way back.
  Keep,
  // Anything else: refused before anything is written, for `reason`.
  Refuse,
};

struct BackupDecision {
  BackupAction action = BackupAction::Make;
  std::string reason;
};

// The one rule for the window and the command line. A file can be the
// backup of `originalPath` when it is a regular file of its own (not the
// original under a second name), readable, and not empty unless the original
// is. It may be longer: a BPS or UPS patch, or an IPS patch's length, can
// shorten the file.
[[nodiscard]] BackupDecision DecideBackup(const std::string& originalPath,
                                          const std::string& backupPath);

// Why the file at `backupPath` may not be copied back over `originalPath`, or
// nothing when it may: only what DecideBackup keeps is a backup to recover
// from. Nothing at either path, or a link at the backup's, is left to the copy,
// which takes no link for its source and reports a missing one.
[[nodiscard]] std::optional<std::string> RecoveryRefusal(const std::string& originalPath,
                                                         const std::string& backupPath);

}  // namespace vips
