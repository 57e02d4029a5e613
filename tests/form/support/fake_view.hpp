#pragma once

// A view of the window's logic without a toolkit: it keeps what the logic
// shows (texts, enabled and checked states, tints, focus) and plays the grid
// with the design's 12 whole rows, so that the handlers run as in a window.

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "form/control_id.hpp"
#include "form/views.hpp"
#include "form/window_logic.hpp"
#include "support/recording_services.hpp"

namespace vips::form::testing {

inline constexpr int kEnglishLocale = 1033;
inline constexpr int kRussianLocale = 1049;

class FakeView : public ControlsView, public GridView {
 public:
  // ControlsView
  void SetText(ControlId id, std::string_view text) override;
  void SetEnabled(ControlId id, bool enabled) override;
  void SetChecked(ControlId id, bool checked) override;
  void SetTint(ControlId id, Rgb colour) override;
  void SetFocus(ControlId id) override;
  void RemoveMinimizeMaximizeBoxes() override;
  void LanguageChanged(Language language) override;

  // GridView
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

  // The table whose rows the grid shows (the logic's).
  const PatchTable* table = nullptr;

  std::array<std::string, kControlCount> texts;
  std::array<bool, kControlCount> enabled{};
  std::array<bool, kControlCount> checked{};
  std::array<std::optional<Rgb>, kControlCount> tints{};
  std::optional<ControlId> focus;
  bool titleBarFixed = false;
  std::vector<Language> languages;  // every LanguageChanged, in order
  int repaints = 0;
  int openBrackets = 0;
  std::vector<std::pair<int, int>> changedRows;

 private:
  [[nodiscard]] int RowCount() const;
  void ScrollTo(int top);

  int column_ = 0;
  int row_ = 0;
  int top_ = 0;
};

// The logic over a fake view and recording services, started as the window
// starts: Start has run.
struct FakeWindow {
  explicit FakeWindow(int localeId = kEnglishLocale);

  FakeView view;
  RecordingServices services;
  WindowLogic form;

  [[nodiscard]] const std::string& Shown(ControlId id) const { return view.texts[IndexOf(id)]; }
  // Types a whole text into a field as the user would, character by
  // character through the key filter, then releases the key.
  void Type(ControlId field, std::string_view text);
  // Text put into a field as pasting would, unfiltered: the view shows it
  // and tells the logic.
  void Edit(ControlId field, std::string_view text);
  // The user clicks a check box when it is not in the wanted state.
  void SetChecked(ControlId box, bool on);
};

}  // namespace vips::form::testing
