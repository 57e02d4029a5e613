#pragma once

#include <windows.h>

#include "form/window_services.hpp"

namespace vips::win32 {

// Message boxes, the error box, the beep, the hour-glass and the file-open
// dialog of Windows. The hour-glass stays while a handler runs: the window
// answers WM_SETCURSOR with it while BusyCursorShown() is true.
class Win32WindowServices : public form::WindowServices {
 public:
  explicit Win32WindowServices(HWND owner = nullptr) : owner_(owner) {}
  ~Win32WindowServices() override;

  // The window that owns the boxes and dialogs (set once it exists).
  void SetOwner(HWND owner) { owner_ = owner; }

  void ShowMessage(const std::string& text) override;
  void ShowError(const std::string& text) override;
  void Beep() override;
  void SetBusyCursor() override;
  void SetNormalCursor() override;
  [[nodiscard]] bool BusyCursorShown() const override { return busy_; }
  std::optional<std::string> OpenFile(const std::string& title, const std::string& filter) override;

 private:
  void ShowBox(const std::string& text, UINT icon);

  HWND owner_;
  bool busy_ = false;
};

// "Description|pattern|Description|pattern" as the dialog's list of pairs,
// each ending in a null character, the whole ending in another.
[[nodiscard]] std::wstring DialogFilter(const std::string& filter);

}  // namespace vips::win32
