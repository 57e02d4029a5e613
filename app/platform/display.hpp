#pragma once

#include <string>
#include <vector>

namespace vips::app {

// What decides where the window would show, read from the environment.
struct DisplayEnvironment {
  std::string platform;        // QT_QPA_PLATFORM: the toolkit's platform, if chosen
  std::string display;         // DISPLAY: the X display
  std::string waylandDisplay;  // WAYLAND_DISPLAY
};

[[nodiscard]] DisplayEnvironment CurrentDisplayEnvironment();

// Whether the window has somewhere to show, looked at before the toolkit
// starts, because the toolkit ends the program at once without a display.
// `words` are the command line's words after the program's name (the
// toolkit's -platform and -display count). On Windows there always is one;
// elsewhere a platform that needs no display server (offscreen, a frame
// buffer) has one, X needs a DISPLAY and Wayland a WAYLAND_DISPLAY.
[[nodiscard]] bool DisplayAvailable(const std::vector<std::string>& words,
                                    const DisplayEnvironment& environment);

}  // namespace vips::app
