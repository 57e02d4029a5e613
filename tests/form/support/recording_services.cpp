#include "support/recording_services.hpp"

namespace vips::form::testing {

void RecordingServices::ShowMessage(const std::string& text) {
  events.push_back("message: " + text);
  messages.push_back(text);
  if (onMessage) onMessage(text);
}

void RecordingServices::ShowError(const std::string& text) {
  events.push_back("error: " + text);
  errors.push_back(text);
}

void RecordingServices::Beep() {
  events.push_back("beep");
  ++beeps;
}

void RecordingServices::SetBusyCursor() {
  events.push_back("busy");
  busy = true;
}

void RecordingServices::SetNormalCursor() {
  events.push_back("normal");
  busy = false;
}

std::optional<std::string> RecordingServices::OpenFile(const std::string& title,
                                                       const std::string& filter) {
  events.push_back("open: " + title + " | " + filter);
  if (fileChoices_.empty()) return std::nullopt;
  auto choice = fileChoices_.front();
  fileChoices_.pop_front();
  return choice;
}

void RecordingServices::Forget() {
  events.clear();
  messages.clear();
  errors.clear();
  beeps = 0;
}

void RecordingServices::QueueFileChoice(std::optional<std::string> path) {
  fileChoices_.push_back(std::move(path));
}

}  // namespace vips::form::testing
