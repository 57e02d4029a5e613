#include "app/platform/window_style.hpp"

#include <QWidget>

namespace vips::app {

void ApplyTitleBarFlags(QWidget& window) {
  window.setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                        Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
}

}  // namespace vips::app
