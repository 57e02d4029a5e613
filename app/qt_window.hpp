#pragma once

#include <QWidget>
#include <array>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "app/string_grid.hpp"
#include "form/views.hpp"
#include "form/window_logic.hpp"
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
// (vips::form::WindowLogic). It builds its controls from the layout table, shows
// what the logic tells it, and passes the user's clicks, keys, edits and
// drops on to the logic's handlers.
class QtWindow : public QWidget, public form::ControlsView, public form::GridView {
  Q_OBJECT
 public:
  // `localeId` is the Windows locale identifier read at start (1049 selects
  // Russian); `services` defaults to the real Qt ones.
  explicit QtWindow(int localeId, std::unique_ptr<form::WindowServices> services = nullptr,
                    QWidget* parent = nullptr);
  ~QtWindow() override;

  [[nodiscard]] form::WindowLogic& Logic() { return logic_; }
  [[nodiscard]] form::WindowServices& Services() { return *services_; }

  // The control `id` (owned by the window through Qt's parent chain), as
  // the class the layout table's kind makes of it: QFrame, QToolButton,
  // QGroupBox, QLineEdit, QPushButton, QCheckBox, QLabel or StringGrid.
  template <typename Control = QWidget>
  [[nodiscard]] Control* Widget(form::ControlId id) const {
    return static_cast<Control*>(widgets_[form::IndexOf(id)]);
  }

  // form::ControlsView
  void SetText(form::ControlId id, std::string_view text) override;
  void SetEnabled(form::ControlId id, bool enabled) override;
  void SetChecked(form::ControlId id, bool checked) override;
  void SetTint(form::ControlId id, form::Rgb colour) override;
  void SetFocus(form::ControlId id) override;
  void RemoveMinimizeMaximizeBoxes() override;
  void LanguageChanged(Language language) override;

  // form::GridView, by the table grid
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
  [[nodiscard]] StringGrid* TableGrid() const { return Widget<StringGrid>(form::ControlId::Grid); }
  void CreateControls();
  void ConnectHandlers();
  // The control a watched object stands for (the grid's viewport is the grid).
  [[nodiscard]] std::optional<form::ControlId> ControlOf(const QObject* watched) const;
  // Input routes besides the handlers' own: file drops, Enter on a push
  // button, Space in the table, typed, pasted or dropped text in a range field.
  bool FileDropEvent(form::ControlId id, QEvent* event);
  bool RangeFieldEvent(form::ControlId id, QLineEdit* field, QEvent* event);
  void InstallToolkitTranslation(bool russian);

  std::unique_ptr<form::WindowServices> services_;
  form::WindowLogic logic_;
  std::array<QWidget*, form::kControlCount> widgets_{};
  std::unique_ptr<QTranslator> toolkitTranslation_;  // Qt's Russian texts, loaded once
  bool toolkitTranslationInstalled_ = false;
  std::set<int> rangeKeysDown_;  // keys pressed in a range field, until released
};

}  // namespace vips::app
