// Go, its backup step, and Recover.
#include <algorithm>
#include <exception>
#include <optional>
#include <string>

#include "form/handler_scopes.hpp"
#include "form/layout.hpp"
#include "form/marked_rows.hpp"
#include "form/window_logic.hpp"

namespace vips::form {

void WindowLogic::MakeBackupCopy(ExistingFile* locked) {
  const std::string backupPath = BackupPathOf(SelectedOriginalPath);
  // The backup must be a file of its own: a patch that stands under the
  // backup's name is neither kept as the backup nor overwritten by it.
  const std::optional<FileIdentity> patch = IdentityOf(SelectedPatchPath);
  const bool patchAtBackup = patch && patch == IdentityOf(backupPath);
  // A backup that an earlier run took holds the file as it was before that
  // run's records: kept, and the user is told so.
  if (!patchAtBackup &&
      DecideBackup(SelectedOriginalPath, backupPath).action == BackupAction::Keep) {
    if (Checked(ControlId::MessagesCheck)) {
      services_.ShowMessage(Pick(texts::kBackupKeptPrefix) + BareName(backupPath));
    } else {
      SetStatus(Pick(texts::kStatusBackupKept));
    }
    BackupTaken = 1;
    BackupIdentity = IdentityOf(SelectedOriginalPath);
    return;
  }
  // An original file that is a link is patched through it, so the backup
  // holds the file it leads to; the backup itself stands beside the link.
  bool made = !patchAtBackup;
  if (made && locked) {
    try {
      CopyOpenFileOrThrow(*locked, backupPath);
    } catch (const std::exception&) {
      made = false;
    }
  } else if (made) {
    made = CopyWholeFile(FileBehindLinks(SelectedOriginalPath), backupPath);
  }

  if (Checked(ControlId::MessagesCheck)) {
    if (made) {
      services_.ShowMessage(Pick(texts::kBackupMadePrefix) + BareName(backupPath));
    } else {
      services_.ShowMessage(Pick(texts::kBackupFailedPrefix) + BareName(SelectedOriginalPath) +
                            Pick(texts::kBackupFailedSuffix));
    }
  } else {
    SetStatus(Pick(made ? texts::kStatusBackupMade : texts::kStatusBackupFailed));
  }

  // Only a copy that exists counts as the backup of this file: after a failed
  // one Go stops before writing, and the next Go tries the copy again.
  if (made) {
    BackupTaken = 1;
    BackupIdentity = IdentityOf(SelectedOriginalPath);
  }
}

void WindowLogic::Go() {
  SetStatus(Pick(texts::kStatusProgramOperation));

  try {
    NormalizeRangeFields();
  } catch (const Error& error) {
    ReportError(error.what());
    return;
  }

  SavedTopRow = grid_.TopRow();

  if (!OriginalFileChosen()) {
    services_.Beep();
    services_.ShowMessage(Pick(texts::kSelectOriginalFile));
    return;
  }
  if (!PatchFileChosen()) {
    services_.Beep();
    services_.ShowMessage(Pick(texts::kSelectPatchFile));
    return;
  }

  // A patch given as its own original file would be changed while it is
  // read; refused before a backup is taken or anything is written.
  const std::optional<FileIdentity> patchIdentity = IdentityOf(SelectedPatchPath);
  if (patchIdentity && patchIdentity == IdentityOf(SelectedOriginalPath)) {
    ReportError(kFileAccessDenied);
    return;
  }

  // One lock from the playback of a stopped run through the backup and the
  // write: no other run comes between them, so the backup never takes a file
  // that another run left half-written. A file that cannot be opened so is
  // taken the way the steps below report it; one that another run holds is
  // reported at once.
  std::optional<ExistingFile> original;
  try {
    original.emplace(ExistingFile::OpenLocked(SelectedOriginalPath));
  } catch (const Error& error) {
    if (std::string(error.what()) == kFileBusy) {
      ReportError(error.what());
      return;
    }
  }
  ExistingFile* const locked = original ? &*original : nullptr;

  // Taking the file put it back already, but a run may have been stopped
  // while it wrote the file since: the backup must never take it so.
  if (!TakeBackInterruptedRun(locked)) return;

  if (Checked(ControlId::BackupCheck) && BackupTaken == 0) {
    MakeBackupCopy(locked);
    // The user asked for a way back; without it nothing is written, and the
    // status line says so whichever way the failure was shown.
    if (BackupTaken == 0) {
      SetStatus(Pick(texts::kStatusNotPatchedWithoutBackup));
      return;
    }
  }

  grid_.RepaintNow();
  BusyCursor cursor(services_);
  cursor.Show();

  ApplyResult result = ApplyResult::BadHeader;
  try {
    const TableChange change(grid_);
    result =
        ApplyMarkedRows(SelectedOriginalPath, SelectedPatchPath, table_, locked, listedBackwards_);
    original.reset();
  } catch (const std::exception& error) {
    // The error box must not show under the hour-glass.
    cursor.Restore();
    ReportError(error.what());
    return;
  }

  if (result != ApplyResult::Applied) {
    services_.Beep();
    services_.ShowMessage(Pick(result == ApplyResult::BadHeader ? texts::kInvalidPatch
                                                                : texts::kPatchAlreadyApplied));
    cursor.Restore();
    return;
  }

  services_.Beep();
  const int rows = table_.RowCount();
  if (rows > layout::kGridWholeRowsShown) {
    // Making row (top + 11) current scrolls it to the bottom of the view,
    // which brings the saved top row back to the top. A patch that shrank
    // since it was listed may have no such row: its last row stands in.
    const int target = SavedTopRow + layout::kGridWholeRowsShown - 1;
    grid_.SetCurrentCell(std::max(grid_.Col(), 0), target < rows ? target : rows - 1);
  }

  if (Checked(ControlId::MessagesCheck)) {
    services_.ShowMessage(Pick(texts::kOperationSuccessful));
  } else {
    SetStatus(Pick(texts::kOperationSuccessful));
  }
  cursor.Restore();
  SetEnabled(ControlId::Recover, true);
}

void WindowLogic::Recover() {
  services_.Beep();
  SetStatus(Pick(texts::kStatusRecovering));

  const std::string name = BareName(SelectedOriginalPath);
  const std::string backup = BackupPathOf(SelectedOriginalPath);
  const std::optional<std::string> refused = RecoveryRefusal(SelectedOriginalPath, backup);
  if (refused) ReportError(BareName(backup) + " cannot be a backup of " + name + ": " + *refused);
  // Back into the file that Go patched, through a link chosen as the original.
  const bool made = !refused && CopyWholeFile(backup, FileBehindLinks(SelectedOriginalPath));

  if (Checked(ControlId::MessagesCheck)) {
    if (made) {
      services_.ShowMessage(Pick(texts::kRecoveredPrefix) + name);
    } else {
      services_.ShowMessage(Pick(texts::kNotRecoveredPrefix) + name +
                            Pick(texts::kNotRecoveredSuffix));
    }
  } else {
    SetStatus(Pick(made ? texts::kStatusRecovered : texts::kStatusRecoveryFailed));
  }
}

}  // namespace vips::form
