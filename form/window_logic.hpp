#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "form/control_id.hpp"
#include "form/core.hpp"
#include "form/texts.hpp"
#include "form/views.hpp"
#include "form/window_services.hpp"

namespace vips::form {

// The kinds of file the window takes: the original file and the patch.
enum class FileKind { Original, Patch };

// The main window's logic: its state and every handler, each named for what
// it does (the layout table pairs each control with the design's name for
// it). It knows no toolkit: it shows its state through
// the views and uses the services for everything modal or system-wide. A
// view calls the handlers when the user acts and tells it what the user
// changed in the fields and check boxes.
class WindowLogic {
 public:
  // `localeId` is the Windows locale identifier read at start (1049 selects
  // Russian). The views and services outlive the logic. Every control starts
  // as designed; call Start once the view has shown that state.
  WindowLogic(int localeId, ControlsView& controls, GridView& grid, WindowServices& services);
  WindowLogic(const WindowLogic&) = delete;
  WindowLogic& operator=(const WindowLogic&) = delete;

  // Program-wide state.
  int BackupTaken = 0;  // Go made the backup of this original file
  // The file whose backup BackupTaken stands for: confirming that same file
  // again keeps the backup that holds it as it was before patching.
  std::optional<FileIdentity> BackupIdentity;
  std::string SelectedOriginalPath;  // last confirmed original file, full path
  std::string SelectedPatchPath;     // last confirmed patch file, full path
  int SavedTopRow = 0;               // top row when Go started; the view returns to it

  // The state of the controls, as the view shows it.
  [[nodiscard]] const std::string& Text(ControlId id) const;
  [[nodiscard]] bool Enabled(ControlId id) const;
  [[nodiscard]] bool Checked(ControlId id) const;
  // Changes made by the user in the view: typed or pasted text, a click on a
  // check box. The view already shows them.
  void TextEdited(ControlId id, std::string_view text);
  void CheckBoxToggled(ControlId id, bool checked);
  // A click on the button `id`: runs its handler; false for a control that
  // has none (a check box, a field).
  bool Click(ControlId id);

  [[nodiscard]] PatchTable& Table() { return table_; }
  [[nodiscard]] const PatchTable& Table() const { return table_; }
  [[nodiscard]] WindowServices& Services() { return services_; }
  [[nodiscard]] ControlsView& Controls() { return controls_; }
  [[nodiscard]] GridView& Grid() { return grid_; }

  // The text in the interface language.
  [[nodiscard]] std::string Pick(const texts::Bilingual& text) const;
  [[nodiscard]] Language CurrentLanguage() const { return language_; }

  // Whether a file of each kind has been chosen: its field shows neither
  // language's placeholder, compared whole and exactly, so a file whose bare
  // name is a placeholder counts as none.
  [[nodiscard]] bool OriginalFileChosen() const;
  [[nodiscard]] bool PatchFileChosen() const;

  // Services used by every handler.
  void SetText(ControlId id, std::string_view text);
  void SetEnabled(ControlId id, bool enabled);
  void SetChecked(ControlId id, bool checked);
  void SetStatus(std::string_view text);
  // Shows an error that ended a handler: full-stop rule, error box.
  void ReportError(const std::string& text);
  // Disables both language buttons for the rest of the run.
  void LockLanguage();
  [[nodiscard]] bool LanguageLocked() const { return languageLocked_; }

  // Handlers.
  void Start();               // start-up settings, language from the locale
  void ChooseOriginalFile();  // by the dialog
  void ChoosePatchFile();     // by the dialog, then lists its records
  void ExecuteAll();          // every row's marker: execute
  void CancelAll();           // every row's marker: skip
  void InvertAll();           // every row's marker: the other one
  void PageDown();            // the table, a page down
  void PageUp();              // the table, a page up
  void ExecuteRange();        // "Execute from...to"
  void CancelRange();         // "Canceal from...to"
  void InvertRange();         // "Invert from...to"
  void ShowAbout();
  void Go();       // applies the marked records, after the backup
  void Recover();  // puts the backup back over the original file
  void SwitchToEnglish();
  void SwitchToRussian();
  void ToggleCurrentMarker();  // a double-click: the current cell's marker
  // Space in the table: the current row's marker cell becomes the current
  // cell and is toggled, as a double-click on it does.
  void ToggleMarkerOfCurrentRow();
  // Fill and text colour of every cell.
  void DrawCell(CellCanvas& canvas, int column, int row, GridDrawState state);

  // The range fields' keys, routed by control; a control that is no range
  // field is left alone. KeyPress filters the typed character `key`:
  // setting it to '\0' discards it. KeyUp clamps the field to the row count
  // after a key is released in it.
  [[nodiscard]] static bool IsRangeField(ControlId id);
  void KeyPress(ControlId id, char& key);
  void KeyUp(ControlId id);
  // Text typed at once by an input method, pasted or dropped into a range
  // field: each character goes through the field's key filter, and only the
  // kept ones stay; a character outside ASCII is seen as '?'. `pasted`
  // drops backspace characters too (they delete nothing).
  [[nodiscard]] std::string FilterRangeText(ControlId id, std::string_view text, bool pasted);

  // The backup step of Go.
  // `locked`: the original file, held open and locked by Go, which the copy
  // then reads; null where it could not be opened so.
  void MakeBackupCopy(ExistingFile* locked);
  // Puts back the original file when a run was stopped while it wrote it (a
  // journal stands beside it), and says so in a box whatever the Messages
  // choice. A file that cannot be put back is shown in the error box: false.
  // `locked` as for MakeBackupCopy; without it the file is opened only when
  // a journal stands beside it.
  bool TakeBackInterruptedRun(ExistingFile* locked = nullptr);

  // What ChooseOriginalFile and ChoosePatchFile do once their dialog has been closed:
  // the confirmed path, or nothing for a cancelled dialog.
  void OriginalDialogClosed(const std::optional<std::string>& chosen);
  void PatchDialogClosed(const std::optional<std::string>& chosen);
  // A file given on the command line or dropped on the window, taken as if
  // chosen and confirmed in the dialog of its kind (a patch still needs the
  // original file first).
  void OpenOriginalFile(const std::string& path);
  void OpenPatchFile(const std::string& path);
  // Drops: which kind of file a control takes (nothing: it takes no file),
  // and a file dropped on it. A drop chooses a file only when it carries
  // `files` == 1 local file that is no folder: several files, folders, text
  // and remote addresses are no choice. The view calls FileDropped once the
  // drop has finished.
  [[nodiscard]] static std::optional<FileKind> FileDropTarget(ControlId id);
  [[nodiscard]] static bool DropChoosesFile(std::size_t files, bool local, bool folder) {
    return files == 1 && local && !folder;
  }
  void FileDropped(ControlId id, const std::string& path);

  // Empty range fields get "1", then fields whose value is 0 get "1";
  // throws vips::Error for a text that is no whole number.
  void NormalizeRangeFields();

 private:
  void ApplyLanguage(Language language, bool atStart);
  void RangeCommand(ControlId from, ControlId to, void (*rule)(PatchTable&, int, int, Language));
  void ApplyToEveryRow(void (*rule)(PatchTable&, int, int, Language));
  void ClampRangeField(ControlId field);

  ControlsView& controls_;
  GridView& grid_;
  WindowServices& services_;
  PatchTable table_;
  int localeId_ = 0;                       // the locale identifier read at start
  Language language_ = Language::English;  // the interface language
  bool languageLocked_ = false;            // a patch file was confirmed: no more switching
  bool listedBackwards_ = false;           // the listed UPS patch takes its target back
  std::array<std::string, kControlCount> texts_;
  std::array<bool, kControlCount> enabled_{};
  std::array<bool, kControlCount> checked_{};
};

}  // namespace vips::form
