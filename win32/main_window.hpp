#pragma once

#include <windows.h>
// These need <windows.h> first.
#include <commctrl.h>
#include <shellapi.h>

#include <array>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "form/control_id.hpp"
#include "form/views.hpp"
#include "form/window_logic.hpp"
#include "form/window_services.hpp"
#include "win32/string_grid.hpp"

namespace vips::win32 {

// The Win32 view of the window: it makes one control per row of the design's
// layout table, shows what the window's logic (form::WindowLogic) tells it, and
// hands the user's clicks, keys and drops to the logic's handlers. It holds
// no rule of its own.
class MainWindow final : public form::ControlsView, public form::GridView, StringGridClient {
 public:
  static constexpr wchar_t kClassName[] = L"VelmorantIPS";

  // Makes the window and its controls (hidden) and runs Start. `dpi`
  // scales every place and size (96 is the design's).
  MainWindow(int localeId, form::WindowServices& services, int dpi = 96);
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  [[nodiscard]] HWND Handle() const { return window_; }
  // Closing the window ends the message loop (the program's window).
  void QuitWhenClosed() { quitWhenClosed_ = true; }
  [[nodiscard]] HWND Control(form::ControlId id) const;
  // The control of a window handle; Window for the window and for strangers.
  [[nodiscard]] form::ControlId IdOf(HWND control) const;
  [[nodiscard]] form::WindowLogic& Form() { return *form_; }
  [[nodiscard]] StringGrid& Grid() { return *grid_; }
  // Runs a handler; an exception that escaped it would end the program in
  // the middle of a message, so it is shown as the handler's error instead.
  template <typename Handler>
  void Run(Handler&& handler);

  // form::ControlsView
  void SetText(form::ControlId id, std::string_view text) override;
  void SetEnabled(form::ControlId id, bool enabled) override;
  void SetChecked(form::ControlId id, bool checked) override;
  void SetTint(form::ControlId id, form::Rgb colour) override;
  void SetFocus(form::ControlId id) override;
  void RemoveMinimizeMaximizeBoxes() override;
  void LanguageChanged(Language language) override;

  // form::GridView
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

 private:
  // StringGridClient
  void DrawCell(HDC dc, int column, int row, const RECT& rect, GridCellState state) override;
  void DoubleClicked() override;
  void SpacePressed() override;

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK RangeFieldProc(HWND field, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR subclass, DWORD_PTR self);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT RangeField(HWND field, UINT message, WPARAM wParam, LPARAM lParam);
  void CreateControls();
  void Command(form::ControlId id, int notification);
  void FilesDropped(HDROP drop);
  void Rescale(int dpi, const RECT& suggested);
  void Paste(HWND field);
  [[nodiscard]] RECT Place(form::ControlId id) const;  // in the window's client area
  [[nodiscard]] int Scaled(int pixels) const;
  void FitToText(form::ControlId id);
  HBRUSH ColourFor(HWND control, HDC dc);
  bool SetCursorFor(HWND control);

  form::WindowServices& services_;
  int dpi_;
  HWND window_ = nullptr;
  HFONT font_ = nullptr;
  std::array<HWND, form::kControlCount> controls_{};
  std::array<HBRUSH, form::kControlCount> tints_{};
  std::array<COLORREF, form::kControlCount> tintColours_{};
  std::array<HICON, 10> pictures_{};  // normal and disabled image of each picture
  std::vector<HIMAGELIST> imageLists_;
  HBRUSH statusBrush_ = nullptr;
  StringGrid* grid_ = nullptr;
  std::unique_ptr<form::WindowLogic> form_;
  int tableChangeDepth_ = 0;
  bool quitWhenClosed_ = false;
  bool showingText_ = false;  // SetText is writing a control: no TextEdited back
};

// The locale identifier that chooses the interface language.
[[nodiscard]] int ThreadLocaleId();

template <typename Handler>
void MainWindow::Run(Handler&& handler) {
  try {
    handler();
  } catch (const std::exception& error) {
    services_.SetNormalCursor();
    form_->ReportError(error.what());
  }
}

}  // namespace vips::win32
