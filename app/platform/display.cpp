#include "app/platform/display.hpp"

#include <algorithm>
#include <cstdlib>
#include <string_view>

namespace vips::app {

namespace {

std::string Variable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

// The value of the toolkit's option `name` ("-platform x" or "--platform x"),
// empty when it is not given.
std::string OptionValue(const std::vector<std::string>& words, std::string_view name) {
  for (std::size_t i = 0; i + 1 < words.size(); ++i) {
    if (words[i] == "--") break;
    std::string_view word = words[i];
    if (word.substr(0, 2) == "--") word.remove_prefix(1);
    if (word == name) return words[i + 1];
  }
  return {};
}

}  // namespace

DisplayEnvironment CurrentDisplayEnvironment() {
  return {Variable("QT_QPA_PLATFORM"), Variable("DISPLAY"), Variable("WAYLAND_DISPLAY")};
}

bool DisplayAvailable(const std::vector<std::string>& words,
                      const DisplayEnvironment& environment) {
#if defined(_WIN32) || defined(__APPLE__)
  (void)words;
  (void)environment;
  return true;
#else
  std::string platforms = OptionValue(words, "-platform");
  if (platforms.empty()) platforms = environment.platform;
  const bool x = !environment.display.empty() || !OptionValue(words, "-display").empty();
  const bool wayland = !environment.waylandDisplay.empty();
  // Without a choice the toolkit takes whichever of the two the session has.
  if (platforms.empty()) return x || wayland;
  // A list such as "wayland;xcb" is tried in its order; each name may carry
  // options after a colon.
  std::size_t start = 0;
  while (start <= platforms.size()) {
    const std::size_t end = std::min(platforms.find(';', start), platforms.size());
    const std::string_view entry = std::string_view(platforms).substr(start, end - start);
    const std::string_view name = entry.substr(0, entry.find(':'));
    if (name == "xcb") {
      if (x) return true;
    } else if (name.substr(0, 7) == "wayland") {
      if (wayland) return true;
    } else if (!name.empty()) {
      return true;
    }
    start = end + 1;
  }
  return false;
#endif
}

}  // namespace vips::app
