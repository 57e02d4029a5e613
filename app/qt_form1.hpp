#pragma once

#include <QWidget>
#include <array>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "app/string_grid.hpp"
#include "form/Patch1.hpp"
#include "form/views.hpp"
#include "form/window_services.hpp"

class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class QTranslator;

namespace vips::app {

// The main window in Qt: a thin view over the window's logic
// (vips::form::TForm1). It builds its controls from the layout table, shows
// what the logic tells it, and passes the user's clicks, keys, edits and
// drops on to the logic's handlers.
class QtForm1 : public QWidget, public form::ControlsView, public form::GridView {
  Q_OBJECT
 public:
  // `localeId` is the Windows locale identifier read at start (1049 selects
  // Russian); `services` defaults to the real Qt ones.
  explicit QtForm1(int localeId, std::unique_ptr<form::WindowServices> services = nullptr,
                   QWidget* parent = nullptr);
  ~QtForm1() override;

  [[nodiscard]] form::TForm1& Logic() { return logic_; }
  [[nodiscard]] form::WindowServices& Services() { return *services_; }
  // Qt's own texts (dialogs, context menus, box buttons) follow the
  // interface language: true while the toolkit's Russian translation is in.
  [[nodiscard]] bool ToolkitTranslationInstalled() const;

  // The controls (owned by the window through Qt's parent chain).
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
  StringGrid* StringGrid1 = nullptr;

  // form::ControlsView
  void SetText(form::ControlId id, std::string_view text) override;
  void SetEnabled(form::ControlId id, bool enabled) override;
  void SetChecked(form::ControlId id, bool checked) override;
  void SetTint(form::ControlId id, form::Rgb colour) override;
  void SetFocus(form::ControlId id) override;
  void RemoveMinimizeMaximizeBoxes() override;
  void LanguageChanged(Language language) override;

  // form::GridView, by StringGrid1
  [[nodiscard]] int Col() const override;
  [[nodiscard]] int Row() const override;
  void SetCurrentCell(int column, int row) override;
  [[nodiscard]] int TopRow() const override;
  void PageDown() override;
  void PageUp() override;
  void BeginTableChange() override;
  void EndTableChange() override;
  void RowsChanged(int firstRow, int lastRow) override;
  void RepaintNow() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateControls();
  void ConnectHandlers();
  [[nodiscard]] QWidget* Widget(form::ControlId id) const { return widgets_[form::IndexOf(id)]; }
  // The control a watched object stands for (the grid's viewport is the grid).
  [[nodiscard]] std::optional<form::ControlId> ControlOf(const QObject* watched) const;
  // Input routes besides the handlers' own: file drops, Enter on a push
  // button, Space in the table, typed, pasted or dropped text in a range field.
  bool FileDropEvent(form::ControlId id, QEvent* event);
  bool RangeFieldEvent(form::ControlId id, QLineEdit* field, QEvent* event);
  void InstallToolkitTranslation(bool russian);

  std::unique_ptr<form::WindowServices> services_;
  form::TForm1 logic_;
  std::array<QWidget*, form::kControlCount> widgets_{};
  std::unique_ptr<QTranslator> toolkitTranslation_;  // Qt's Russian texts, loaded once
  bool toolkitTranslationInstalled_ = false;
  std::set<int> rangeKeysDown_;  // keys pressed in a range field, until released
};

}  // namespace vips::app
