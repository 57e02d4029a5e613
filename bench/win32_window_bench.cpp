// Timings of the Win32 window over a million records: loading the patch
// through the patch Select... handler until the grid has painted it (the
// counterpart of the Qt window's BM_LoadThroughWindow, same generated files),
// and a click, End, Page Down, a whole-table command and a range command
// over every row at that size.
// Usage: vips_win32_window_bench.exe [LOADS]; prints milliseconds.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "form/window_services.hpp"
#include "patch_generator.hpp"
#include "win32/main_window.hpp"

namespace {

constexpr int kRecords = 1'000'000;
constexpr std::uint64_t kSeed = 20240612;  // the Qt window benchmark's

// Every dialog answers with the path it was given; nothing is shown.
class SilentServices : public vips::form::WindowServices {
 public:
  void ShowMessage(const std::string& text) override { failure = text; }
  void ShowError(const std::string& text) override { failure = text; }
  void Beep() override {}
  void SetBusyCursor() override {}
  void SetNormalCursor() override {}
  [[nodiscard]] bool BusyCursorShown() const override { return false; }
  std::optional<std::string> OpenFile(const std::string&, const std::string&) override {
    return nextChoice;
  }
  std::string nextChoice;
  std::string failure;
};

// Lets the window paint what the handler changed, as the message loop would.
void Show(vips::win32::MainWindow& window) {
  UpdateWindow(window.Handle());
  UpdateWindow(window.Control(vips::form::ControlId::Grid));
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

template <typename Step>
double Milliseconds(Step&& step) {
  const auto start = std::chrono::steady_clock::now();
  step();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

void Report(const char* name, std::vector<double> times) {
  std::sort(times.begin(), times.end());
  double sum = 0;
  for (double time : times) sum += time;
  std::printf("%-22s median %9.2f ms  mean %9.2f ms  min %9.2f ms  (%zu runs)\n", name,
              times[times.size() / 2], sum / static_cast<double>(times.size()), times.front(),
              times.size());
}

}  // namespace

int main(int argc, char* argv[]) {
  const int loads = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
  const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                       ("vips-w32-bench-" + std::to_string(GetCurrentProcessId()));
  const auto files = vips::bench::WriteCase(folder.string(), 0, kRecords, kSeed);

  SilentServices services;
  vips::win32::MainWindow window(1033, services);
  ShowWindow(window.Handle(), SW_SHOWNOACTIVATE);
  Show(window);
  services.nextChoice = files.originalPath;
  window.Form().ChooseOriginalFile();

  std::vector<double> times;
  services.nextChoice = files.patchPath;
  for (int i = 0; i < loads; ++i) {
    times.push_back(Milliseconds([&] {
      window.Form().ChoosePatchFile();
      Show(window);
    }));
    if (!services.failure.empty() || window.Grid().RowCount() != kRecords) {
      std::fprintf(stderr, "the generated patch did not load: %s\n", services.failure.c_str());
      return 1;
    }
  }
  Report("load 1,000,000", times);

  HWND grid = window.Control(vips::form::ControlId::Grid);
  // "Invert from...to" over every record.
  SendMessageW(window.Control(vips::form::ControlId::InvertFrom), WM_SETTEXT, 0,
               reinterpret_cast<LPARAM>(L"1"));
  SendMessageW(window.Control(vips::form::ControlId::InvertTo), WM_SETTEXT, 0,
               reinterpret_cast<LPARAM>(std::to_wstring(kRecords).c_str()));
  std::vector<double> clicks, ends, pages, executes, ranges;
  for (int i = 0; i < 10; ++i) {
    clicks.push_back(Milliseconds([&] {
      SendMessageW(grid, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(90, 40));
      SendMessageW(grid, WM_LBUTTONUP, 0, MAKELPARAM(90, 40));
      Show(window);
    }));
    ends.push_back(Milliseconds([&] {
      BYTE keys[256];
      GetKeyboardState(keys);
      keys[VK_CONTROL] = 0x80;
      SetKeyboardState(keys);
      SendMessageW(grid, WM_KEYDOWN, i % 2 == 0 ? VK_END : VK_HOME, 0);
      keys[VK_CONTROL] = 0;
      SetKeyboardState(keys);
      Show(window);
    }));
    pages.push_back(Milliseconds([&] {
      SendMessageW(window.Control(vips::form::ControlId::PageDown), BM_CLICK, 0, 0);
      Show(window);
    }));
    executes.push_back(Milliseconds([&] {
      SendMessageW(window.Control(vips::form::ControlId::InvertAll), BM_CLICK, 0, 0);
      Show(window);
    }));
    ranges.push_back(Milliseconds([&] {
      SendMessageW(window.Control(vips::form::ControlId::InvertRange), BM_CLICK, 0, 0);
      Show(window);
    }));
  }
  const bool lastRowExecute = window.Form().Table().MarkerIsExecute(kRecords - 1);
  SendMessageW(window.Control(vips::form::ControlId::InvertRange), BM_CLICK, 0, 0);
  if (window.Form().Table().MarkerIsExecute(kRecords - 1) == lastRowExecute) {
    std::fprintf(stderr, "the range command did not reach the last row\n");
    return 1;
  }
  Report("click", clicks);
  Report("Ctrl+End / Ctrl+Home", ends);
  Report("Page Down", pages);
  Report("Invert (whole table)", executes);
  Report("Invert from 1 to all", ranges);

  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  return 0;
}
