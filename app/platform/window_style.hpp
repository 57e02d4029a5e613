#pragma once

class QWidget;

namespace vips::app {

// Leaves the window's title bar with the system menu and the close button
// only: no minimize box, no maximize box.
void RemoveMinimizeMaximizeBoxes(QWidget& window);

// The toolkit's part of the above, the same on every platform.
void ApplyTitleBarFlags(QWidget& window);

}  // namespace vips::app
