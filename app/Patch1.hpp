#pragma once

#include <QWidget>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "app/string_grid.hpp"
#include "app/texts.hpp"
#include "app/window_services.hpp"
#include "core/files/file_access.hpp"
#include "core/table/language.hpp"
#include "core/table/patch_table.hpp"

class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class QTranslator;

// The main window, Form1. Handlers are named after their control and event
// and read their inputs from the controls and write their results back.
class TForm1 : public QWidget {
  Q_OBJECT
 public:
  // `localeId` is the Windows locale identifier read at start (1049 selects
  // Russian); `services` defaults to the real Qt ones.
  explicit TForm1(int localeId, std::unique_ptr<vips::app::WindowServices> services = nullptr,
                  QWidget* parent = nullptr);
  ~TForm1() override;

  // Program-wide state.
  int LangEnglish = 1;  // 1 while English is the interface language
  int LangRussian = 0;  // 1 while Russian is; exactly one of the two is 1
  int BackupTaken = 0;  // Go made (or tried) the backup of this original file
  // The file whose backup BackupTaken stands for: confirming that same file
  // again keeps the backup that holds it as it was before patching.
  std::optional<vips::FileIdentity> BackupIdentity;
  std::string SelectedOriginalPath;  // last confirmed original file, full path
  std::string SelectedPatchPath;     // last confirmed patch file, full path
  int SavedTopRow = 0;               // top row when Go started; the view returns to it

  // Controls (owned by the window through Qt's parent chain).
  QFrame* Panel1 = nullptr;             // raised panel under everything; holds the flags
  QToolButton* SpeedButton1 = nullptr;  // UK flag: switch to English
  QToolButton* SpeedButton2 = nullptr;  // Russian flag: switch to Russian
  QGroupBox* GroupBox1 = nullptr;       // "Original file: " group
  QGroupBox* GroupBox2 = nullptr;       // "IPS file: " group
  QGroupBox* GroupBox3 = nullptr;       // the patch table; its caption is the column headings
  QGroupBox* GroupBox4 = nullptr;       // "Options: ": the three range pairs
  QLineEdit* Edit1 = nullptr;           // original file's bare name or placeholder (read-only)
  QLineEdit* Edit2 = nullptr;           // patch file's bare name or placeholder (read-only)
  QLineEdit* Edit3 = nullptr;           // execute range: from
  QLineEdit* Edit4 = nullptr;           // execute range: to
  QLineEdit* Edit5 = nullptr;           // cancel range: from
  QLineEdit* Edit6 = nullptr;           // cancel range: to
  QLineEdit* Edit7 = nullptr;           // invert range: from
  QLineEdit* Edit8 = nullptr;           // invert range: to
  QPushButton* Button1 = nullptr;       // Select... the original file
  QPushButton* Button2 = nullptr;       // Select... the patch file (and load it)
  QPushButton* Button3 = nullptr;       // Execute all
  QPushButton* Button4 = nullptr;       // Canceal all
  QPushButton* Button5 = nullptr;       // Invert
  QPushButton* Button6 = nullptr;       // Page Down
  QPushButton* Button7 = nullptr;       // Page Up
  QPushButton* Button8 = nullptr;       // Execute from...to (Edit3, Edit4)
  QPushButton* Button9 = nullptr;       // Canceal from...to (Edit5, Edit6)
  QPushButton* Button10 = nullptr;      // Invert from...to (Edit7, Edit8)
  QPushButton* BitBtn1 = nullptr;       // About
  QPushButton* BitBtn2 = nullptr;       // Go: apply the marked records
  QPushButton* BitBtn3 = nullptr;       // Recover: copy the backup back
  QCheckBox* CheckBox1 = nullptr;       // make a backup copy before Go
  QCheckBox* CheckBox2 = nullptr;       // Messages: results in boxes, else the status line
  QLabel* StaticText1 = nullptr;        // the status line
  QLabel* Label1 = nullptr;             // "from" beside Edit3
  QLabel* Label2 = nullptr;             // "from" beside Edit5
  QLabel* Label3 = nullptr;             // "from" beside Edit7
  QLabel* Label4 = nullptr;             // "to" beside Edit4
  QLabel* Label5 = nullptr;             // "to" beside Edit6
  QLabel* Label6 = nullptr;             // "to" beside Edit8
  vips::app::StringGrid* StringGrid1 = nullptr;  // the patch table's rows

  [[nodiscard]] vips::PatchTable& Table() { return table_; }
  [[nodiscard]] vips::app::WindowServices& Services() { return *services_; }

  // The text of the current language: LangRussian and LangEnglish are each
  // tested in a branch of their own.
  [[nodiscard]] QString Pick(const vips::app::texts::Bilingual& text) const;
  [[nodiscard]] std::string PickUtf8(const vips::app::texts::Bilingual& text) const;
  [[nodiscard]] vips::Language CurrentLanguage() const;

  // Whether a file of each kind has been chosen: its field shows neither
  // language's placeholder, compared whole and exactly, so a file whose bare
  // name is a placeholder counts as none.
  [[nodiscard]] bool OriginalFileChosen() const;
  [[nodiscard]] bool PatchFileChosen() const;

  // Window services used by every handler.
  void SetStatus(const QString& text);
  // Shows an error that ended a handler: full-stop rule, error box.
  void ReportError(const std::string& text);
  // Disables both language buttons for the rest of the run.
  void LockLanguage();
  // Qt's own texts (dialogs, context menus, box buttons) follow the
  // interface language: true while the toolkit's Russian translation is in.
  [[nodiscard]] bool ToolkitTranslationInstalled() const;

  // What Button1Click and Button2Click do once their dialog has been closed:
  // the confirmed path, or nothing for a cancelled dialog.
  void OriginalDialogClosed(const std::optional<std::string>& chosen);
  void PatchDialogClosed(const std::optional<std::string>& chosen);
  // A file given on the command line or dropped on the window, taken as if
  // chosen and confirmed in the dialog of its kind (a patch still needs the
  // original file first).
  void OpenOriginalFile(const std::string& path);
  void OpenPatchFile(const std::string& path);
  [[nodiscard]] bool LanguageLocked() const { return languageLocked_; }
  // Empty range fields get "1", then fields whose value is 0 get "1";
  // throws vips::Error for a text that is no whole number.
  void NormalizeRangeFields();

 public slots:
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

 public:
  // Fill and text colour of every cell.
  void StringGrid1DrawCell(QPainter& canvas, int ACol, int ARow, const QRect& Rect,
                           vips::app::GridDrawState State);
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
  // The backup step of Go.
  void MakeBackupCopy();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateControls();
  void ApplyLanguage(vips::Language language, bool atStart);
  void SetTabOrder();
  void RangeCommand(QLineEdit* from, QLineEdit* to,
                    void (*rule)(vips::PatchTable&, int, vips::Language));
  void ClampRangeField(QLineEdit* field);
  // Input routes besides the handlers' own: file drops, Enter on a push
  // button, Space in the table, pasted or dropped text in a range field.
  bool FileDropEvent(QObject* watched, QEvent* event);
  bool RangeFieldEvent(QObject* watched, QEvent* event);
  void InstallToolkitTranslation(bool russian);

  vips::PatchTable table_{12};
  std::unique_ptr<vips::app::WindowServices> services_;
  int localeId_ = 0;             // the locale identifier read at start
  bool languageLocked_ = false;  // a patch file was confirmed: no more switching
  std::unique_ptr<QTranslator> toolkitTranslation_;  // Qt's Russian texts, loaded once
  bool toolkitTranslationInstalled_ = false;
  std::set<int> rangeKeysDown_;  // keys pressed in a range field, until released
};
