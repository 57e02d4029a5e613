#pragma once

#include <memory>

#include "app/qt_window.hpp"
#include "support/recording_services.hpp"

namespace vips::app::testing {

using form::testing::RecordingServices;

// The locale identifiers that start the window in each language.
inline constexpr int kEnglishLocale = 1033;
inline constexpr int kRussianLocale = 1049;

// A window started under `localeId`, with recording services in place of the
// modal boxes, dialogs, sound and cursor. `services` stays owned by `form`.
struct TestWindow {
  std::unique_ptr<vips::app::QtWindow> form;
  RecordingServices* services = nullptr;

  vips::app::QtWindow* operator->() const { return form.get(); }
};

[[nodiscard]] TestWindow MakeWindow(int localeId);

}  // namespace vips::app::testing
