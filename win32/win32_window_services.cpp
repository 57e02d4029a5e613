#include "win32/win32_window_services.hpp"

#include <commdlg.h>

#include <vector>

#include "form/texts.hpp"
#include "win32/wide_text.hpp"

namespace vips::win32 {

Win32WindowServices::~Win32WindowServices() {
  SetNormalCursor();
}

void Win32WindowServices::ShowBox(const std::string& text, UINT icon) {
  // A box waits for the user: it shows the arrow even while the handler that
  // opened it keeps its hour-glass, which comes back after it.
  const bool wasBusy = busy_;
  busy_ = false;
  if (wasBusy) SetCursor(LoadCursorW(nullptr, IDC_ARROW));
  MessageBoxW(owner_, Wide(text).c_str(), Wide(form::texts::kApplicationTitle).c_str(),
              MB_OK | icon);
  busy_ = wasBusy;
  if (busy_) SetCursor(LoadCursorW(nullptr, IDC_WAIT));
}

void Win32WindowServices::ShowMessage(const std::string& text) {
  ShowBox(text, 0);
}

void Win32WindowServices::ShowError(const std::string& text) {
  ShowBox(text, MB_ICONERROR);
}

void Win32WindowServices::Beep() {
  MessageBeep(MB_OK);
}

void Win32WindowServices::SetBusyCursor() {
  busy_ = true;
  SetCursor(LoadCursorW(nullptr, IDC_WAIT));
}

void Win32WindowServices::SetNormalCursor() {
  if (!busy_) return;
  busy_ = false;
  // The control under the mouse chooses its own cursor again.
  POINT point;
  if (GetCursorPos(&point)) {
    HWND under = WindowFromPoint(point);
    if (under != nullptr && GetWindowThreadProcessId(under, nullptr) == GetCurrentThreadId()) {
      SendMessageW(under, WM_SETCURSOR, reinterpret_cast<WPARAM>(under),
                   MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
      return;
    }
  }
  SetCursor(LoadCursorW(nullptr, IDC_ARROW));
}

std::wstring DialogFilter(const std::string& filter) {
  std::wstring pairs = Wide(filter);
  for (wchar_t& c : pairs) {
    if (c == L'|') c = L'\0';
  }
  pairs.push_back(L'\0');
  pairs.push_back(L'\0');
  return pairs;
}

std::optional<std::string> Win32WindowServices::OpenFile(const std::string& title,
                                                         const std::string& filter) {
  // Room for the longest path Windows takes.
  std::vector<wchar_t> path(32768, L'\0');
  const std::wstring filters = DialogFilter(filter);
  const std::wstring caption = Wide(title);
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner_;
  dialog.lpstrFilter = filters.c_str();
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = path.data();
  dialog.nMaxFile = static_cast<DWORD>(path.size());
  dialog.lpstrTitle = caption.empty() ? nullptr : caption.c_str();
  // The chosen file need not exist: opening it is what reports its absence.
  dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_ENABLESIZING;
  const bool wasBusy = busy_;
  busy_ = false;
  const BOOL chosen = GetOpenFileNameW(&dialog);
  busy_ = wasBusy;
  if (!chosen) return std::nullopt;
  return Utf8(path.data());
}

}  // namespace vips::win32
