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

// The main window's logic, Form1: its state and every handler, named after
// the control and the event. It knows no toolkit: it shows its state through
// the views and uses the services for everything modal or system-wide. A
// view calls the handlers when the user acts and tells it what the user
// changed in the fields and check boxes.
class TForm1 {
 public:
  // `localeId` is the Windows locale identifier read at start (1049 selects
  // Russian). The views and services outlive the logic. Every control starts
  // as designed; call FormCreate once the view has shown that state.
  TForm1(int localeId, ControlsView& controls, GridView& grid, WindowServices& services);
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

  // Program-wide state.
  int LangEnglish = 1;  // 1 while English is the interface language
  int LangRussian = 0;  // 1 while Russian is; exactly one of the two is 1
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

  // The text of the current language: LangRussian and LangEnglish are each
  // tested in a branch of their own.
  [[nodiscard]] std::string Pick(const texts::Bilingual& text) const;
  [[nodiscard]] Language CurrentLanguage() const;

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
  void FormCreate();           // start-up settings, language from the locale
  void Button1Click();         // choose the original file
  void Button2Click();         // choose the patch file and list its records
  void Button3Click();         // Execute all
  void Button4Click();         // Canceal all
  void Button5Click();         // Invert
  void Button6Click();         // Page Down
  void Button7Click();         // Page Up
  void Button8Click();         // Execute from...to
  void Button9Click();         // Canceal from...to
  void Button10Click();        // Invert from...to
  void BitBtn1Click();         // About
  void BitBtn2Click();         // Go
  void BitBtn3Click();         // Recover
  void SpeedButton1Click();    // to English
  void SpeedButton2Click();    // to Russian
  void StringGrid1DblClick();  // toggle the current cell's marker
  // Space in the table: the current row's marker cell becomes the current
  // cell and is toggled, as a double-click on it does.
  void StringGrid1SpacePressed();
  // Fill and text colour of every cell.
  void StringGrid1DrawCell(CellCanvas& canvas, int ACol, int ARow, GridDrawState State);

  // Key filters: Key is the typed character; setting it to '\0' discards it.
  void Edit3KeyPress(char& Key);
  void Edit4KeyPress(char& Key);
  void Edit5KeyPress(char& Key);
  void Edit6KeyPress(char& Key);
  void Edit7KeyPress(char& Key);
  void Edit8KeyPress(char& Key);
  // Clamps to the row count after a key is released in the field.
  void Edit3KeyUp();
  void Edit4KeyUp();
  void Edit5KeyUp();
  void Edit6KeyUp();
  void Edit7KeyUp();
  void Edit8KeyUp();
  // The same, by control, for the view's routing. A control that is no range
  // field is left alone (KeyPress keeps the key).
  [[nodiscard]] static bool IsRangeField(ControlId id);
  void KeyPress(ControlId id, char& Key);
  void KeyUp(ControlId id);
  // Text typed at once by an input method, pasted or dropped into a range
  // field: each character goes through the field's key filter, and only the
  // kept ones stay; a character outside ASCII is seen as '?'. `pasted`
  // drops backspace characters too (they delete nothing).
  [[nodiscard]] std::string FilterRangeText(ControlId id, std::string_view text, bool pasted);

  // The backup step of Go.
  void MakeBackupCopy();
  // Puts back the original file when a run was stopped while it wrote it (a
  // journal stands beside it), and says so in a box whatever the Messages
  // choice. A file that cannot be put back is shown in the error box: false.
  bool TakeBackInterruptedRun();

  // What Button1Click and Button2Click do once their dialog has been closed:
  // the confirmed path, or nothing for a cancelled dialog.
  void OriginalDialogClosed(const std::optional<std::string>& chosen);
  void PatchDialogClosed(const std::optional<std::string>& chosen);
  // A file given on the command line or dropped on the window, taken as if
  // chosen and confirmed in the dialog of its kind (a patch still needs the
  // original file first).
  void OpenOriginalFile(const std::string& path);
  void OpenPatchFile(const std::string& path);
  // Drops: which kind of file a control takes (nothing: it takes no file),
  // and a file dropped on it. The view checks that the drop is one local
  // file, and calls FileDropped once the drop has finished.
  [[nodiscard]] static std::optional<FileKind> FileDropTarget(ControlId id);
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
  int localeId_ = 0;             // the locale identifier read at start
  bool languageLocked_ = false;  // a patch file was confirmed: no more switching
  std::array<std::string, kControlCount> texts_;
  std::array<bool, kControlCount> enabled_{};
  std::array<bool, kControlCount> checked_{};
};

}  // namespace vips::form
