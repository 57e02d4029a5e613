#pragma once

#include <optional>
#include <string>

namespace vips::form {

// Everything modal or system-wide that the window uses goes through here, so
// that tests put a recorder in place of the real boxes, dialogs, sound and
// cursor. Texts are UTF-8.
class WindowServices {
 public:
  virtual ~WindowServices() = default;

  // Modal box: the text, one "OK" button, no icon, caption "Velmorant IPS".
  virtual void ShowMessage(const std::string& text) = 0;
  // Modal box with an error icon, one OK button, caption "Velmorant IPS".
  // The text is shown as given (the window applies the full-stop rule).
  virtual void ShowError(const std::string& text) = 0;
  // The system's default alert sound.
  virtual void Beep() = 0;
  // The hour-glass for the whole application, and back. Setting the busy
  // cursor twice needs one SetNormalCursor only.
  virtual void SetBusyCursor() = 0;
  virtual void SetNormalCursor() = 0;
  // Whether the hour-glass is showing: a view that sets the cursor over each
  // control keeps it while a handler runs.
  [[nodiscard]] virtual bool BusyCursorShown() const = 0;
  // Modal file-open dialog. `filter` is one or more entries
  // "Description|pattern", joined by '|'; the first is chosen at opening.
  // Returns the chosen full path, or nothing when the user cancelled.
  virtual std::optional<std::string> OpenFile(const std::string& title,
                                              const std::string& filter) = 0;
};

}  // namespace vips::form
