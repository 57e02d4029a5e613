// Start-up of the Win32 window: the command line, the one window, its
// message loop. Files named on the command line are taken once the window is
// up, as if chosen in its dialogs; nothing is stored between runs.
#include <windows.h>
// This needs <windows.h> first.
#include <shellapi.h>

#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "form/command_line.hpp"
#include "form/texts.hpp"
#include "win32/main_window.hpp"
#include "win32/wide_text.hpp"
#include "win32/win32_window_services.hpp"

namespace {

constexpr UINT kOpenCommandLineFiles = WM_APP + 1;

std::vector<std::string> Words() {
  int count = 0;
  LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> words;
  for (int i = 1; i < count; ++i) words.push_back(vips::win32::Utf8(arguments[i]));
  LocalFree(arguments);
  return words;
}

// --help, --version and a usage error are answered where the program's
// output goes: a redirected or inherited standard handle, else the console
// it was started from, else a box.
void Tell(const std::string& text, bool error) {
  const DWORD which = error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE;
  DWORD written = 0;
  HANDLE out = GetStdHandle(which);
  if (out != nullptr && out != INVALID_HANDLE_VALUE && GetFileType(out) != FILE_TYPE_UNKNOWN) {
    WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    return;
  }
  if (AttachConsole(ATTACH_PARENT_PROCESS)) {
    const std::wstring wide = vips::win32::Wide(text);
    WriteConsoleW(GetStdHandle(which), wide.c_str(), static_cast<DWORD>(wide.size()), &written,
                  nullptr);
    FreeConsole();
    return;
  }
  MessageBoxW(nullptr, vips::win32::Wide(text).c_str(),
              vips::win32::Wide(vips::form::texts::kApplicationTitle).c_str(),
              MB_OK | (error ? MB_ICONERROR : 0));
}

// The DPI of the monitor the window opens on (it stands at 200, 124), which
// may differ from the system's; shcore.dll has the question only from
// Windows 8.1 on, so it is asked for at run time.
int Dpi() {
  using GetDpiForMonitorFunction = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
  if (HMODULE shcore = LoadLibraryW(L"shcore.dll")) {
    const auto ask = reinterpret_cast<GetDpiForMonitorFunction>(
        reinterpret_cast<void*>(GetProcAddress(shcore, "GetDpiForMonitor")));
    UINT x = 0;
    UINT y = 0;
    HMONITOR monitor = MonitorFromPoint(POINT{200, 124}, MONITOR_DEFAULTTOPRIMARY);
    const bool answered = ask != nullptr && ask(monitor, 0, &x, &y) == S_OK && y > 0;
    FreeLibrary(shcore);
    if (answered) return static_cast<int>(y);
  }
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, PWSTR /*line*/, int show) {
  using vips::form::CommandLine;
  const CommandLine line = vips::form::ParseCommandLine(Words());
  switch (line.action) {
    case CommandLine::Action::Help:
      Tell(vips::form::kWindowHelpText, false);
      return 0;
    case CommandLine::Action::Version:
      Tell(std::string("Velmorant IPS ") + VIPS_VERSION_TEXT + "\n", false);
      return 0;
    case CommandLine::Action::Usage:
      Tell("velmorant-ips: " + line.problem + "\n" + vips::form::kWindowUsageLine, true);
      return vips::form::kWindowExitUsage;
    case CommandLine::Action::Run:
      break;
  }

  vips::win32::Win32WindowServices services;
  std::unique_ptr<vips::win32::MainWindow> window;
  try {
    window =
        std::make_unique<vips::win32::MainWindow>(vips::win32::ThreadLocaleId(), services, Dpi());
  } catch (const std::exception& error) {
    Tell(std::string(error.what()) + "\n", true);
    return 1;
  }
  vips::win32::MainWindow& Window = *window;
  services.SetOwner(Window.Handle());
  Window.QuitWhenClosed();
  ShowWindow(Window.Handle(), show);
  UpdateWindow(Window.Handle());
  PostMessageW(Window.Handle(), kOpenCommandLineFiles, 0, 0);

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (message.hwnd == Window.Handle() && message.message == kOpenCommandLineFiles) {
      Window.Run([&] { vips::form::OpenCommandLineFiles(Window.Form(), line); });
      continue;
    }
    // Tab, Shift+Tab and Enter on the focused button, as in a dialog.
    if (IsDialogMessageW(Window.Handle(), &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}
