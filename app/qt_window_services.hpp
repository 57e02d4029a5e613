#pragma once

#include <QString>
#include <string_view>

#include "form/window_services.hpp"

namespace vips::app {

// The real services: modal message and error boxes captioned with the
// application title, the system beep, the application-wide busy cursor and
// the file-open dialog.
class QtWindowServices : public form::WindowServices {
 public:
  ~QtWindowServices() override;

  void ShowMessage(const std::string& text) override;
  void ShowError(const std::string& text) override;
  void Beep() override;
  void SetBusyCursor() override;
  [[nodiscard]] bool BusyCursorShown() const override { return busy_; }
  void SetNormalCursor() override;
  std::optional<std::string> OpenFile(const std::string& title, const std::string& filter) override;

 private:
  bool busy_ = false;
};

// Turns a "Description|pattern[|Description|pattern...]" filter into the
// dialog's name filters ("Description (patterns)" joined by ";;"), for a
// dialog that hides the patterns and so shows each description as given.
// Patterns separated by ';' become space-separated, and "*.*" becomes "*" so
// that names without an extension are listed too, as they are on Windows.
[[nodiscard]] QString QtNameFilter(std::string_view filter);

// Message texts separate their lines with CR LF; a label wants LF alone.
[[nodiscard]] QString MessageBoxText(const std::string& text);

}  // namespace vips::app
