#include <QWidget>

#include "app/platform/window_style.hpp"

namespace vips::app {

void RemoveMinimizeMaximizeBoxes(QWidget& window) {
  ApplyTitleBarFlags(window);
}

}  // namespace vips::app
