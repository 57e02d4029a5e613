#pragma once

#include <QWidget>
#include <memory>
#include <optional>
#include <string>

#include "app/string_grid.hpp"
#include "app/texts.hpp"
#include "app/window_services.hpp"
#include "core/file_access.hpp"
#include "core/language.hpp"
#include "core/patch_table.hpp"

class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

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
  int LangEnglish = 1;
  int LangRussian = 0;
  int BackupTaken = 0;
  // The file whose backup BackupTaken stands for: confirming that same file
  // again keeps the backup that holds it as it was before patching.
  std::optional<vips::FileIdentity> BackupIdentity;
  std::string SelectedOriginalPath;
  std::string SelectedPatchPath;
  int SavedTopRow = 0;

  // Controls (owned by the window through Qt's parent chain).
  QFrame* Panel1 = nullptr;
  QToolButton* SpeedButton1 = nullptr;
  QToolButton* SpeedButton2 = nullptr;
  QGroupBox* GroupBox1 = nullptr;
  QGroupBox* GroupBox2 = nullptr;
  QGroupBox* GroupBox3 = nullptr;
  QGroupBox* GroupBox4 = nullptr;
  QLineEdit* Edit1 = nullptr;
  QLineEdit* Edit2 = nullptr;
  QLineEdit* Edit3 = nullptr;
  QLineEdit* Edit4 = nullptr;
  QLineEdit* Edit5 = nullptr;
  QLineEdit* Edit6 = nullptr;
  QLineEdit* Edit7 = nullptr;
  QLineEdit* Edit8 = nullptr;
  QPushButton* Button1 = nullptr;
  QPushButton* Button2 = nullptr;
  QPushButton* Button3 = nullptr;
  QPushButton* Button4 = nullptr;
  QPushButton* Button5 = nullptr;
  QPushButton* Button6 = nullptr;
  QPushButton* Button7 = nullptr;
  QPushButton* Button8 = nullptr;
  QPushButton* Button9 = nullptr;
  QPushButton* Button10 = nullptr;
  QPushButton* BitBtn1 = nullptr;
  QPushButton* BitBtn2 = nullptr;
  QPushButton* BitBtn3 = nullptr;
  QCheckBox* CheckBox1 = nullptr;
  QCheckBox* CheckBox2 = nullptr;
  QLabel* StaticText1 = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;
  QLabel* Label4 = nullptr;
  QLabel* Label5 = nullptr;
  QLabel* Label6 = nullptr;
  vips::app::StringGrid* StringGrid1 = nullptr;

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
  [[nodiscard]] bool LanguageLocked() const { return languageLocked_; }
  // Empty range fields get "1", then fields whose value is 0 get "1";
  // throws vips::Error for a text that is no whole number.
  void NormalizeRangeFields();

 public slots:
  void FormCreate();
  void Button1Click();
  void Button2Click();
  void Button3Click();
  void Button4Click();
  void Button5Click();
  void Button6Click();
  void Button7Click();
  void Button8Click();
  void Button9Click();
  void Button10Click();
  void BitBtn1Click();
  void BitBtn2Click();
  void BitBtn3Click();
  void SpeedButton1Click();
  void SpeedButton2Click();
  void StringGrid1DblClick();

 public:
  void StringGrid1DrawCell(QPainter& canvas, int ACol, int ARow, const QRect& Rect,
                           vips::app::GridDrawState State);
  // Key filters: Key is the typed character; setting it to '\0' discards it.
  void Edit3KeyPress(char& Key);
  void Edit4KeyPress(char& Key);
  void Edit5KeyPress(char& Key);
  void Edit6KeyPress(char& Key);
  void Edit7KeyPress(char& Key);
  void Edit8KeyPress(char& Key);
  // Clamps after a key is released in the field.
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

  vips::PatchTable table_{12};
  std::unique_ptr<vips::app::WindowServices> services_;
  int localeId_ = 0;             // the locale identifier read at start
  bool languageLocked_ = false;  // a patch file was confirmed: no more switching
};
