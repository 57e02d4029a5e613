#include <windows.h>

#include <QWidget>

#include "app/platform/window_style.hpp"

namespace vips::app {

void RemoveMinimizeMaximizeBoxes(QWidget& window) {
  ApplyTitleBarFlags(window);
  // The toolkit may still add the boxes when it creates the native window, so
  // they are also taken off the native style, as the title bar shows it.
  const auto handle = reinterpret_cast<HWND>(window.winId());
  const LONG style = GetWindowLongA(handle, GWL_STYLE);
  SetWindowLongA(handle, GWL_STYLE, style & ~(WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
}

}  // namespace vips::app
