#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "form/window_services.hpp"

namespace vips::form::testing {

// Stands in for the modal and system-wide services: records every call in
// one event list ("message: ...", "error: ...", "beep", "busy", "normal",
// "open: <title> | <filter>") and answers file dialogs from a queue.
class RecordingServices : public WindowServices {
 public:
  void ShowMessage(const std::string& text) override;
  void ShowError(const std::string& text) override;
  void Beep() override;
  void SetBusyCursor() override;
  [[nodiscard]] bool BusyCursorShown() const override { return busy; }
  void SetNormalCursor() override;
  std::optional<std::string> OpenFile(const std::string& title, const std::string& filter) override;

  // The next file dialog returns `path` (or is cancelled with nothing).
  void QueueFileChoice(std::optional<std::string> path);
  // Events recorded from now on.
  void Forget();

  // Called as each message is shown, for a test to look at the files then.
  std::function<void(const std::string&)> onMessage;

  std::vector<std::string> events;
  std::vector<std::string> messages;
  std::vector<std::string> errors;
  int beeps = 0;
  bool busy = false;  // the busy cursor is showing now

 private:
  std::deque<std::optional<std::string>> fileChoices_;
};

}  // namespace vips::form::testing
