// Go, its backup step, and Recover.
#include <QCheckBox>
#include <QPushButton>
#include <exception>
#include <optional>
#include <string>

#include "app/Patch1.hpp"
#include "app/handler_scopes.hpp"
#include "core/apply/apply.hpp"
#include "core/error.hpp"
#include "core/files/backup_policy.hpp"
#include "core/files/file_access.hpp"
#include "core/files/file_copy.hpp"
#include "core/files/linked_file.hpp"
#include "core/files/path_names.hpp"

namespace {

namespace texts = vips::app::texts;

// The table shows this many whole rows; Go scrolls back so that the row
// noted as top at the press is the top row again.
constexpr int kWholeRowsShown = 12;

}  // namespace

void TForm1::MakeBackupCopy() {
  const std::string backupPath = vips::BackupPathOf(SelectedOriginalPath);
  // A backup that an earlier run took holds the file as it was before that
  // run's records: kept, and the user is told so.
  if (vips::DecideBackup(SelectedOriginalPath, backupPath).action == vips::BackupAction::Keep) {
    if (CheckBox2->isChecked()) {
      Services().ShowMessage(PickUtf8(texts::kBackupKeptPrefix) + vips::BareName(backupPath));
    } else {
      SetStatus(Pick(texts::kStatusBackupKept));
    }
    BackupTaken = 1;
    BackupIdentity = vips::IdentityOf(SelectedOriginalPath);
    return;
  }
  // The backup must be a file of its own: a patch that stands under the
  // backup's name would be overwritten by it.
  const std::optional<vips::FileIdentity> patch = vips::IdentityOf(SelectedPatchPath);
  // An original file that is a link is patched through it, so the backup
  // holds the file it leads to; the backup itself stands beside the link.
  const bool made = !(patch && patch == vips::IdentityOf(backupPath)) &&
                    vips::CopyWholeFile(vips::FileBehindLinks(SelectedOriginalPath), backupPath);

  if (CheckBox2->isChecked()) {
    if (made) {
      Services().ShowMessage(PickUtf8(texts::kBackupMadePrefix) + vips::BareName(backupPath));
    } else {
      Services().ShowMessage(PickUtf8(texts::kBackupFailedPrefix) +
                             vips::BareName(SelectedOriginalPath) +
                             PickUtf8(texts::kBackupFailedSuffix));
    }
  } else {
    SetStatus(Pick(made ? texts::kStatusBackupMade : texts::kStatusBackupFailed));
  }

  // Only a copy that exists counts as the backup of this file: after a failed
  // one Go stops before writing, and the next Go tries the copy again.
  if (made) {
    BackupTaken = 1;
    BackupIdentity = vips::IdentityOf(SelectedOriginalPath);
  }
}

void TForm1::BitBtn2Click() {
  SetStatus(Pick(texts::kStatusProgramOperation));

  try {
    NormalizeRangeFields();
  } catch (const vips::Error& error) {
    ReportError(error.what());
    return;
  }

  SavedTopRow = StringGrid1->TopRow();

  if (!OriginalFileChosen()) {
    Services().Beep();
    Services().ShowMessage(PickUtf8(texts::kSelectOriginalFile));
    return;
  }
  if (!PatchFileChosen()) {
    Services().Beep();
    Services().ShowMessage(PickUtf8(texts::kSelectPatchFile));
    return;
  }

  // A patch given as its own original file would be changed while it is
  // read; refused before a backup is taken or anything is written.
  const std::optional<vips::FileIdentity> patchIdentity = vips::IdentityOf(SelectedPatchPath);
  if (patchIdentity && patchIdentity == vips::IdentityOf(SelectedOriginalPath)) {
    ReportError(vips::kFileAccessDenied);
    return;
  }

  if (CheckBox1->isChecked() && BackupTaken == 0) {
    MakeBackupCopy();
    // The user asked for a way back; without it nothing is written, and the
    // status line says so whichever way the failure was shown.
    if (BackupTaken == 0) {
      SetStatus(Pick(texts::kStatusNotPatchedWithoutBackup));
      return;
    }
  }

  StringGrid1->RepaintNow();
  vips::app::BusyCursor cursor(Services());
  cursor.Show();

  vips::ApplyResult result = vips::ApplyResult::BadHeader;
  try {
    const vips::app::TableChange change(*StringGrid1);
    result = vips::ApplyMarkedRecords(SelectedOriginalPath, SelectedPatchPath, Table());
  } catch (const std::exception& error) {
    // The error box must not show under the hour-glass.
    cursor.Restore();
    ReportError(error.what());
    return;
  }

  if (result == vips::ApplyResult::BadHeader) {
    Services().Beep();
    Services().ShowMessage(PickUtf8(texts::kInvalidPatch));
    cursor.Restore();
    return;
  }

  Services().Beep();
  const int rows = StringGrid1->RowCount();
  if (rows > kWholeRowsShown) {
    // Making row (top + 11) current scrolls it to the bottom of the view,
    // which brings the saved top row back to the top. A patch that shrank
    // since it was listed may have no such row: its last row stands in.
    const int target = SavedTopRow + kWholeRowsShown - 1;
    StringGrid1->SetCurrentRow(target < rows ? target : rows - 1);
  }

  if (CheckBox2->isChecked()) {
    Services().ShowMessage(PickUtf8(texts::kOperationSuccessful));
  } else {
    SetStatus(Pick(texts::kOperationSuccessful));
  }
  cursor.Restore();
  BitBtn3->setEnabled(true);
}

void TForm1::BitBtn3Click() {
  Services().Beep();
  SetStatus(Pick(texts::kStatusRecovering));

  const std::string name = vips::BareName(SelectedOriginalPath);
  // Back into the file that Go patched, through a link chosen as the original.
  const bool made = vips::CopyWholeFile(vips::BackupPathOf(SelectedOriginalPath),
                                        vips::FileBehindLinks(SelectedOriginalPath));

  if (CheckBox2->isChecked()) {
    if (made) {
      Services().ShowMessage(PickUtf8(texts::kRecoveredPrefix) + name);
    } else {
      Services().ShowMessage(PickUtf8(texts::kNotRecoveredPrefix) + name +
                             PickUtf8(texts::kNotRecoveredSuffix));
    }
  } else {
    SetStatus(Pick(made ? texts::kStatusRecovered : texts::kStatusRecoveryFailed));
  }
}
