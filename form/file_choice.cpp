// Choosing the original file, and choosing and loading the patch file, by
// dialog, command line or drop.
#include <exception>
#include <optional>
#include <string>

#include "form/handler_scopes.hpp"
#include "form/window_logic.hpp"

namespace vips::form {

void WindowLogic::ChooseOriginalFile() {
  OriginalDialogClosed(
      services_.OpenFile(Pick(texts::kOriginalDialogTitle), Pick(texts::kOriginalDialogFilter)));
}

void WindowLogic::OpenOriginalFile(const std::string& path) {
  OriginalDialogClosed(path);
}

void WindowLogic::OriginalDialogClosed(const std::optional<std::string>& chosen) {
  if (chosen) {
    services_.SetBusyCursor();
    SelectedOriginalPath = *chosen;
    SetText(ControlId::OriginalField, BareName(*chosen));
    // A newly confirmed original file has had no backup yet; the same file
    // confirmed again keeps its backup, which holds it as it was before
    // patching. A cancelled dialog keeps the file, and so the flag.
    if (!BackupIdentity || IdentityOf(*chosen) != BackupIdentity) BackupTaken = 0;
  }
  services_.SetNormalCursor();
  SetStatus(Pick(texts::kStatusFileSelected));
  // A file that a stopped run left half-written is put back as soon as the
  // window takes it. It stays chosen when it cannot be: Go then fails the
  // same way before writing anything.
  if (chosen) TakeBackInterruptedRun();
}

bool WindowLogic::TakeBackInterruptedRun(ExistingFile* locked) {
  try {
    // Opens the file only when a journal stands beside it: a read-only file
    // that no run left half-written is taken as before.
    if (locked ? RollBackInterruptedRun(*locked) : RollBackInterruptedRunAt(SelectedOriginalPath)) {
      // A box, since the status line is soon overwritten by the next step.
      services_.ShowMessage(Pick(texts::kEarlierRunTakenBack));
    }
  } catch (const std::exception& error) {
    ReportError(error.what());
    return false;
  }
  return true;
}

namespace {

// The patch dialog opens only once an original file has been chosen.
bool AskForOriginalFirst(WindowLogic& form) {
  if (form.OriginalFileChosen()) return false;
  form.Services().Beep();
  form.Services().ShowMessage(form.Pick(texts::kSelectOriginalFile));
  return true;
}

}  // namespace

void WindowLogic::ChoosePatchFile() {
  if (AskForOriginalFirst(*this)) return;
  PatchDialogClosed(
      services_.OpenFile(Pick(texts::kPatchDialogTitle), Pick(texts::kPatchDialogFilter) + '|' +
                                                             Pick(texts::kDeltaPatchFilter) + '|' +
                                                             Pick(texts::kAllFilesFilter)));
}

void WindowLogic::OpenPatchFile(const std::string& path) {
  if (AskForOriginalFirst(*this)) return;
  PatchDialogClosed(path);
}

void WindowLogic::PatchDialogClosed(const std::optional<std::string>& chosen) {
  BusyCursor cursor(services_);
  if (chosen) {
    cursor.Show();
    // The language is fixed from the first confirmed patch on, before the
    // file is even read: the markers written below are in this language.
    LockLanguage();
    SelectedPatchPath = *chosen;
    SetText(ControlId::PatchField, BareName(*chosen));
  }
  // A cancelled dialog reloads the patch chosen before, if there is one.
  if (!PatchFileChosen()) {
    cursor.Restore();
    return;
  }

  grid_.RepaintNow();
  cursor.Show();
  LoadResult result = LoadResult::Loaded;
  // A patch is told by its first bytes, whatever its name: a BPS or UPS
  // patch is listed by the stretches it changes in the original file.
  std::optional<DeltaListing> delta;
  listedBackwards_ = false;
  try {
    const TableChange change(grid_);
    if (BeginsAsDeltaPatch(SelectedPatchPath)) {
      delta = LoadDeltaPatchIntoTable(SelectedPatchPath, SelectedOriginalPath, table_,
                                      CurrentLanguage());
      listedBackwards_ = delta->backwards;
    } else {
      result =
          LoadPatchIntoTable(SelectedPatchPath, SelectedOriginalPath, table_, CurrentLanguage());
    }
  } catch (const std::exception& error) {
    // The loader has closed both files; the table keeps the rows it got to
    // (a BPS or UPS patch that is refused: one row, as an invalid patch).
    // Besides the file errors, a table too large for memory ends up here
    // rather than ending the program.
    grid_.RepaintNow();
    cursor.Restore();
    ReportError(error.what());
    return;
  }
  grid_.RepaintNow();

  services_.Beep();
  if (result == LoadResult::BadHeader) {
    services_.ShowMessage(Pick(texts::kInvalidPatch));
    cursor.Restore();
    return;
  }
  cursor.Restore();
  if (!delta) {
    SetStatus(Pick(texts::kStatusPatchSelected));
  } else if (delta->shortensTo) {
    SetStatus(Pick(texts::kStatusAllRowsShorten));
  } else {
    SetStatus(Pick(delta->format == PatchFormat::Ups ? texts::kStatusUpsSelected
                                                     : texts::kStatusBpsSelected));
  }
}

std::optional<FileKind> WindowLogic::FileDropTarget(ControlId id) {
  // A file dropped on a file group (its box, field or button) or on the
  // table is taken as the file of that kind.
  switch (id) {
    case ControlId::OriginalGroup:
    case ControlId::OriginalField:
    case ControlId::ChooseOriginal:
      return FileKind::Original;
    case ControlId::PatchGroup:
    case ControlId::PatchField:
    case ControlId::ChoosePatch:
    case ControlId::Grid:
      return FileKind::Patch;
    default:
      return std::nullopt;
  }
}

void WindowLogic::FileDropped(ControlId id, const std::string& path) {
  const std::optional<FileKind> kind = FileDropTarget(id);
  if (kind == FileKind::Original) OpenOriginalFile(path);
  if (kind == FileKind::Patch) OpenPatchFile(path);
}

}  // namespace vips::form
