// Choosing the original file, and choosing and loading the patch file.
#include <QLineEdit>
#include <exception>
#include <optional>
#include <string>

#include "app/Patch1.hpp"
#include "app/handler_scopes.hpp"
#include "core/files/file_access.hpp"
#include "core/files/path_names.hpp"
#include "core/table/patch_loader.hpp"

namespace texts = vips::app::texts;

void TForm1::Button1Click() {
  OriginalDialogClosed(Services().OpenFile(PickUtf8(texts::kOriginalDialogTitle),
                                           PickUtf8(texts::kOriginalDialogFilter)));
}

void TForm1::OpenOriginalFile(const std::string& path) {
  OriginalDialogClosed(path);
}

void TForm1::OriginalDialogClosed(const std::optional<std::string>& chosen) {
  if (chosen) {
    Services().SetBusyCursor();
    SelectedOriginalPath = *chosen;
    Edit1->setText(QString::fromStdString(vips::BareName(*chosen)));
    // A newly confirmed original file has had no backup yet; the same file
    // confirmed again keeps its backup, which holds it as it was before
    // patching. A cancelled dialog keeps the file, and so the flag.
    if (!BackupIdentity || vips::IdentityOf(*chosen) != BackupIdentity) BackupTaken = 0;
  }
  Services().SetNormalCursor();
  SetStatus(Pick(texts::kStatusFileSelected));
}

namespace {

// The patch dialog opens only once an original file has been chosen.
bool AskForOriginalFirst(TForm1& form) {
  if (form.OriginalFileChosen()) return false;
  form.Services().Beep();
  form.Services().ShowMessage(form.PickUtf8(texts::kSelectOriginalFile));
  return true;
}

}  // namespace

void TForm1::Button2Click() {
  if (AskForOriginalFirst(*this)) return;
  PatchDialogClosed(Services().OpenFile(
      PickUtf8(texts::kPatchDialogTitle),
      PickUtf8(texts::kPatchDialogFilter) + '|' + PickUtf8(texts::kAllFilesFilter)));
}

void TForm1::OpenPatchFile(const std::string& path) {
  if (AskForOriginalFirst(*this)) return;
  PatchDialogClosed(path);
}

void TForm1::PatchDialogClosed(const std::optional<std::string>& chosen) {
  vips::app::BusyCursor cursor(Services());
  if (chosen) {
    cursor.Show();
    // The language is fixed from the first confirmed patch on, before the
    // file is even read: the markers written below are in this language.
    LockLanguage();
    SelectedPatchPath = *chosen;
    Edit2->setText(QString::fromStdString(vips::BareName(*chosen)));
  }
  // A cancelled dialog reloads the patch chosen before, if there is one.
  if (!PatchFileChosen()) {
    cursor.Restore();
    return;
  }

  StringGrid1->RepaintNow();
  cursor.Show();
  vips::LoadResult result = vips::LoadResult::Loaded;
  try {
    const vips::app::TableChange change(*StringGrid1);
    result = vips::LoadPatchIntoTable(SelectedPatchPath, SelectedOriginalPath, Table(),
                                      CurrentLanguage());
  } catch (const std::exception& error) {
    // The loader has closed both files; the table keeps the rows it got to.
    // Besides the file errors, a table too large for memory ends up here
    // rather than ending the program.
    StringGrid1->RepaintNow();
    cursor.Restore();
    ReportError(error.what());
    return;
  }
  StringGrid1->RepaintNow();

  Services().Beep();
  if (result == vips::LoadResult::BadHeader) {
    Services().ShowMessage(PickUtf8(texts::kInvalidPatch));
    cursor.Restore();
    return;
  }
  cursor.Restore();
  SetStatus(Pick(texts::kStatusPatchSelected));
}
