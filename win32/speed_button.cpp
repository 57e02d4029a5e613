#include "win32/speed_button.hpp"

#include <windowsx.h>

namespace vips::win32 {
namespace {

struct State {
  HICON picture;
  HICON disabled;
  bool pressed = false;  // the mouse went down on it and has not come up
  bool inside = false;   // ... and is over it now
};

State* StateOf(HWND window) {
  return reinterpret_cast<State*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

void Clicked(HWND window) {
  SendMessageW(GetParent(window), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(window), BN_CLICKED),
               reinterpret_cast<LPARAM>(window));
}

void Paint(HWND window, HDC dc, const State& state) {
  RECT area;
  GetClientRect(window, &area);
  const bool sunken = state.pressed && state.inside;
  DrawFrameControl(dc, &area, DFC_BUTTON, DFCS_BUTTONPUSH | (sunken ? DFCS_PUSHED : 0));
  const HICON icon = IsWindowEnabled(window) ? state.picture : state.disabled;
  ICONINFO info{};
  if (icon == nullptr || !GetIconInfo(icon, &info)) return;
  BITMAP bitmap{};
  GetObjectW(info.hbmColor != nullptr ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
  if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
  if (info.hbmMask != nullptr) DeleteObject(info.hbmMask);
  const int shift = sunken ? 1 : 0;
  DrawIconEx(dc, (area.right - bitmap.bmWidth) / 2 + shift,
             (area.bottom - bitmap.bmHeight) / 2 + shift, icon, bitmap.bmWidth, bitmap.bmHeight, 0,
             nullptr, DI_NORMAL);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  State* state = StateOf(window);
  switch (message) {
    case WM_NCCREATE: {
      const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
      SetWindowLongPtrW(window, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(static_cast<State*>(create->lpCreateParams)));
      break;
    }
    case WM_NCDESTROY:
      delete state;
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      break;
    case WM_MOUSEACTIVATE:
      return MA_NOACTIVATE;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      state->pressed = state->inside = true;
      SetCapture(window);
      InvalidateRect(window, nullptr, FALSE);
      return 0;
    case WM_MOUSEMOVE:
      if (state->pressed) {
        RECT area;
        GetClientRect(window, &area);
        const bool inside = PtInRect(&area, {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        if (inside != state->inside) {
          state->inside = inside;
          InvalidateRect(window, nullptr, FALSE);
        }
      }
      return 0;
    case WM_LBUTTONUP: {
      const bool click = state->pressed && state->inside;
      state->pressed = state->inside = false;
      ReleaseCapture();
      InvalidateRect(window, nullptr, FALSE);
      if (click) Clicked(window);
      return 0;
    }
    case WM_CAPTURECHANGED:
      state->pressed = state->inside = false;
      InvalidateRect(window, nullptr, FALSE);
      return 0;
    case BM_CLICK:
      // As a push button: a disabled one ignores it.
      if (IsWindowEnabled(window)) Clicked(window);
      return 0;
    case WM_ENABLE:
      InvalidateRect(window, nullptr, FALSE);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      Paint(window, dc, *state);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_PRINTCLIENT:
      Paint(window, reinterpret_cast<HDC>(wParam), *state);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

HWND SpeedButton::Create(HWND parent, const RECT& place, int id, HICON picture, HICON disabled) {
  static const ATOM registered = [] {
    WNDCLASSEXW type{};
    type.cbSize = sizeof type;
    type.lpfnWndProc = &WindowProc;
    type.hInstance = GetModuleHandleW(nullptr);
    type.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    type.lpszClassName = kClassName;
    return RegisterClassExW(&type);
  }();
  (void)registered;
  return CreateWindowExW(0, kClassName, L"", WS_CHILD | WS_VISIBLE, place.left, place.top,
                         place.right - place.left, place.bottom - place.top, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                         GetModuleHandleW(nullptr), new State{picture, disabled});
}

}  // namespace vips::win32
