#include "support/window_fixture.hpp"

namespace vips::app::testing {

TestWindow MakeWindow(int localeId) {
  auto services = std::make_unique<RecordingServices>();
  TestWindow window;
  window.services = services.get();
  window.form = std::make_unique<vips::app::QtWindow>(localeId, std::move(services));
  return window;
}

}  // namespace vips::app::testing
