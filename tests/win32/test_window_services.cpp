// The Windows services beside the window: the dialog's filter list and the
// hour-glass that the window keeps while a handler works.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "form/control_id.hpp"
#include "win32/main_window.hpp"
#include "win32/win32_window_services.hpp"

namespace {

using vips::win32::DialogFilter;

TEST(Win32WindowServices, DialogFilterIsPairsEndedByNullCharacters) {
  struct Case {
    std::string filter;
    std::wstring pairs;
  };
  const Case cases[] = {
      {"Any file (*.*)|*.*", std::wstring(L"Any file (*.*)\0*.*\0\0", 20)},
      {"IPS патч (*.ips)|*.ips|Все файлы (*.*)|*.*",
       std::wstring(L"IPS патч (*.ips)\0*.ips\0Все файлы (*.*)\0*.*\0\0", 44)},
  };
  for (const Case& c : cases) EXPECT_EQ(DialogFilter(c.filter), c.pairs) << c.filter;
}

TEST(Win32WindowServices, TheWindowShowsTheHourGlassWhileBusyAndTheDesignedCursorsAfter) {
  vips::win32::Win32WindowServices services;
  vips::win32::MainWindow window(1033, services);
  services.SetOwner(window.Handle());
  auto cursorOver = [&](vips::form::ControlId id) {
    HWND control = window.Control(id);
    SendMessageW(control, WM_SETCURSOR, reinterpret_cast<WPARAM>(control),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    return GetCursor();
  };
  const HCURSOR wait = LoadCursorW(nullptr, IDC_WAIT);
  services.SetBusyCursor();
  EXPECT_EQ(cursorOver(vips::form::ControlId::ExecuteAll), wait);
  EXPECT_EQ(cursorOver(vips::form::ControlId::ExecuteFrom), wait);
  services.SetNormalCursor();
  EXPECT_EQ(cursorOver(vips::form::ControlId::ExecuteAll), LoadCursorW(nullptr, IDC_HAND));
  EXPECT_EQ(cursorOver(vips::form::ControlId::About), LoadCursorW(nullptr, IDC_HELP));
  EXPECT_EQ(cursorOver(vips::form::ControlId::OriginalField), LoadCursorW(nullptr, IDC_ARROW));
  EXPECT_EQ(cursorOver(vips::form::ControlId::ExecuteFrom), LoadCursorW(nullptr, IDC_IBEAM));
}

}  // namespace
