#include "win32/string_grid.hpp"

#include <windowsx.h>

#include <algorithm>
#include <stdexcept>
#include <string>

#include "form/layout.hpp"

namespace vips::win32 {
namespace {

namespace layout = form::layout;
constexpr int kCellWidth = layout::kGridColumnWidth;
constexpr int kCellHeight = layout::kGridRowHeight;
constexpr int kLineWidth = layout::kGridLineWidth;
constexpr int kWheelRows = 3;

struct CreateParams {
  int dpi;
  StringGridClient* client;
};

int Scaled(int pixels, int dpi) {
  return MulDiv(pixels, dpi, 96);
}

}  // namespace

StringGrid& StringGrid::Create(HWND parent, const RECT& place, int id, int dpi,
                               StringGridClient& client) {
  static const ATOM registered = [] {
    WNDCLASSEXW type{};
    type.cbSize = sizeof type;
    type.style = CS_DBLCLKS;
    type.lpfnWndProc = &StringGrid::WindowProc;
    type.hInstance = GetModuleHandleW(nullptr);
    type.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    type.lpszClassName = kClassName;
    return RegisterClassExW(&type);
  }();
  (void)registered;
  CreateParams params{dpi, &client};
  HWND window = CreateWindowExW(
      WS_EX_CLIENTEDGE, kClassName, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL,
      place.left, place.top, place.right - place.left, place.bottom - place.top, parent,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), &params);
  if (window == nullptr) {
    throw std::runtime_error("The grid could not be made (system error " +
                             std::to_string(GetLastError()) + ")");
  }
  return *From(window);
}

StringGrid* StringGrid::From(HWND window) {
  if (window == nullptr) return nullptr;
  return reinterpret_cast<StringGrid*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

StringGrid::StringGrid(HWND window, int dpi, StringGridClient& client)
    : window_(window),
      client_(client),
      columnPitch_(Scaled(kCellWidth, dpi) + kLineWidth),
      rowPitch_(Scaled(kCellHeight, dpi) + kLineWidth) {}

LRESULT CALLBACK StringGrid::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    const auto* params = static_cast<const CreateParams*>(create->lpCreateParams);
    auto* grid = new StringGrid(window, params->dpi, *params->client);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(grid));
  }
  StringGrid* grid = From(window);
  if (grid == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    delete grid;
    return DefWindowProcW(window, message, wParam, lParam);
  }
  return grid->Handle(message, wParam, lParam);
}

LRESULT StringGrid::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SETFONT:
      font_ = reinterpret_cast<HFONT>(wParam);
      if (LOWORD(lParam)) InvalidateRect(window_, nullptr, FALSE);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(font_);
    case WM_SIZE:
      UpdateScrollBar();
      SetTopRow(topRow_);
      return 0;
    case WM_ERASEBKGND:
      return 1;  // WM_PAINT covers every pixel
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window_, &paint);
      // Drawn off screen first, so that scrolling does not flicker.
      RECT client;
      GetClientRect(window_, &client);
      HDC buffer = CreateCompatibleDC(dc);
      HBITMAP bitmap = CreateCompatibleBitmap(dc, client.right, client.bottom);
      HGDIOBJ old = SelectObject(buffer, bitmap);
      Paint(buffer, paint.rcPaint);
      BitBlt(dc, paint.rcPaint.left, paint.rcPaint.top, paint.rcPaint.right - paint.rcPaint.left,
             paint.rcPaint.bottom - paint.rcPaint.top, buffer, paint.rcPaint.left,
             paint.rcPaint.top, SRCCOPY);
      SelectObject(buffer, old);
      DeleteObject(bitmap);
      DeleteDC(buffer);
      EndPaint(window_, &paint);
      return 0;
    }
    case WM_PRINTCLIENT: {
      RECT client;
      GetClientRect(window_, &client);
      Paint(reinterpret_cast<HDC>(wParam), client);
      return 0;
    }
    case WM_VSCROLL:
      Scroll(LOWORD(wParam));
      return 0;
    case WM_MOUSEWHEEL: {
      wheelRemainder_ += GET_WHEEL_DELTA_WPARAM(wParam);
      const int notches = wheelRemainder_ / WHEEL_DELTA;
      wheelRemainder_ -= notches * WHEEL_DELTA;
      SetTopRow(topRow_ - notches * kWheelRows);
      return 0;
    }
    case WM_LBUTTONDOWN: {
      SetFocus(window_);
      int column = 0;
      int row = 0;
      if (CellAt({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}, column, row)) MoveTo(column, row);
      return 0;
    }
    case WM_LBUTTONDBLCLK: {
      // The first click made the cell current; below the last row there is
      // no cell, and the double-click acts on the current one.
      SetFocus(window_);
      client_.DoubleClicked();
      return 0;
    }
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      InvalidateCell(column_, row_);
      return 0;
    case WM_GETDLGCODE:
      return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_KEYDOWN:
      if (Key(wParam)) return 0;
      break;
    case WM_CHAR:
      if (wParam == L' ') {
        client_.SpacePressed();
        return 0;
      }
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window_, message, wParam, lParam);
}

void StringGrid::SetDpi(int dpi) {
  columnPitch_ = Scaled(kCellWidth, dpi) + kLineWidth;
  rowPitch_ = Scaled(kCellHeight, dpi) + kLineWidth;
  UpdateScrollBar();
  SetTopRow(topRow_);
  InvalidateRect(window_, nullptr, FALSE);
}

void StringGrid::SetRowCount(int rowCount) {
  rowCount_ = std::max(rowCount, 0);
  row_ = 0;
  topRow_ = 0;
  UpdateScrollBar();
  InvalidateRect(window_, nullptr, FALSE);
}

void StringGrid::SetCurrentCell(int column, int row) {
  if (column < 0 || column >= kColumns || row < 0 || row >= rowCount_) return;
  MoveTo(column, row);
}

void StringGrid::SetTopRow(int row) {
  const int top = std::clamp(row, 0, MaxTopRow());
  if (top == topRow_) return;
  topRow_ = top;
  SCROLLINFO info{};
  info.cbSize = sizeof info;
  info.fMask = SIF_POS;
  info.nPos = topRow_;
  SetScrollInfo(window_, SB_VERT, &info, TRUE);
  InvalidateRect(window_, nullptr, FALSE);
}

int StringGrid::VisibleRowCount() const {
  RECT client;
  GetClientRect(window_, &client);
  return std::max(1, static_cast<int>(client.bottom) / rowPitch_);
}

int StringGrid::MaxTopRow() const {
  return std::max(0, rowCount_ - VisibleRowCount());
}

void StringGrid::RowsChanged(int firstRow, int lastRow) {
  const int first = std::max(firstRow, topRow_);
  const int last = std::min(lastRow, topRow_ + VisibleRowCount());
  if (first > last) return;
  RECT client;
  GetClientRect(window_, &client);
  RECT rows{0, (first - topRow_) * rowPitch_, client.right, (last - topRow_ + 1) * rowPitch_};
  InvalidateRect(window_, &rows, FALSE);
}

void StringGrid::Scroll(int request) {
  const int page = layout::GridPageStep(VisibleRowCount());
  int top = topRow_;
  switch (request) {
    case SB_LINEUP:
      top -= 1;
      break;
    case SB_LINEDOWN:
      top += 1;
      break;
    case SB_PAGEUP:
      top -= page;
      break;
    case SB_PAGEDOWN:
      top += page;
      break;
    case SB_TOP:
      top = 0;
      break;
    case SB_BOTTOM:
      top = MaxTopRow();
      break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: {
      // The 32-bit position: the message carries 16 bits only.
      SCROLLINFO info{};
      info.cbSize = sizeof info;
      info.fMask = SIF_TRACKPOS;
      GetScrollInfo(window_, SB_VERT, &info);
      top = info.nTrackPos;
      break;
    }
    default:
      return;
  }
  SetTopRow(top);
}

void StringGrid::UpdateScrollBar() {
  SCROLLINFO info{};
  info.cbSize = sizeof info;
  info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  info.nMin = 0;
  info.nMax = std::max(rowCount_ - 1, 0);
  info.nPage = static_cast<UINT>(VisibleRowCount());
  info.nPos = topRow_;
  SetScrollInfo(window_, SB_VERT, &info, TRUE);
}

RECT StringGrid::CellRect(int column, int row) const {
  const int left = column * columnPitch_;
  const int top = (row - topRow_) * rowPitch_;
  return {left, top, left + columnPitch_ - kLineWidth, top + rowPitch_ - kLineWidth};
}

bool StringGrid::CellAt(POINT point, int& column, int& row) const {
  if (point.x < 0 || point.y < 0) return false;
  column = point.x / columnPitch_;
  row = topRow_ + point.y / rowPitch_;
  return column < kColumns && row < rowCount_;
}

void StringGrid::MoveTo(int column, int row) {
  InvalidateCell(column_, row_);
  column_ = column;
  row_ = row;
  InvalidateCell(column_, row_);
  const int visible = VisibleRowCount();
  if (row_ < topRow_) SetTopRow(row_);
  if (row_ >= topRow_ + visible) SetTopRow(row_ - visible + 1);
}

void StringGrid::InvalidateCell(int column, int row) {
  RECT cell = CellRect(column, row);
  InvalidateRect(window_, &cell, FALSE);
}

bool StringGrid::Key(WPARAM key) {
  if (rowCount_ == 0) return false;
  const bool control = GetKeyState(VK_CONTROL) < 0;
  const int page = layout::GridPageStep(VisibleRowCount());
  int column = column_;
  int row = row_;
  switch (key) {
    case VK_UP:
      row -= 1;
      break;
    case VK_DOWN:
      row += 1;
      break;
    case VK_LEFT:
      column -= 1;
      break;
    case VK_RIGHT:
      column += 1;
      break;
    case VK_PRIOR:
      row -= page;
      break;
    case VK_NEXT:
      row += page;
      break;
    case VK_HOME:
      (control ? row : column) = 0;
      break;
    case VK_END:
      (control ? row : column) = control ? rowCount_ - 1 : kColumns - 1;
      break;
    default:
      return false;
  }
  MoveTo(std::clamp(column, 0, kColumns - 1), std::clamp(row, 0, rowCount_ - 1));
  return true;
}

void StringGrid::Paint(HDC dc, const RECT& area) {
  // Below and beside the cells: the grid's background, the menu colour.
  HBRUSH background = GetSysColorBrush(COLOR_MENU);
  FillRect(dc, &area, background);
  HGDIOBJ oldFont = font_ != nullptr ? SelectObject(dc, font_) : nullptr;
  SetBkMode(dc, TRANSPARENT);
  HPEN line = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNFACE));
  HGDIOBJ oldPen = SelectObject(dc, line);
  const bool hasFocus = GetFocus() == window_;

  const int firstRow = topRow_ + std::max(0, static_cast<int>(area.top)) / rowPitch_;
  const int lastRow = std::min(rowCount_ - 1, topRow_ + static_cast<int>(area.bottom) / rowPitch_);
  for (int row = firstRow; row <= lastRow; ++row) {
    for (int column = 0; column < kColumns; ++column) {
      const RECT cell = CellRect(column, row);
      if (cell.right <= area.left || cell.left >= area.right) continue;
      GridCellState state;
      state.selected = column == column_ && row == row_;
      state.focused = state.selected && hasFocus;
      SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
      client_.DrawCell(dc, column, row, cell, state);
      if (state.focused) DrawFocusRect(dc, &cell);
      // The lines after the cell.
      MoveToEx(dc, cell.right, cell.top, nullptr);
      LineTo(dc, cell.right, cell.bottom + 1);
      MoveToEx(dc, cell.left, cell.bottom, nullptr);
      LineTo(dc, cell.right, cell.bottom);
    }
  }
  SelectObject(dc, oldPen);
  DeleteObject(line);
  if (oldFont != nullptr) SelectObject(dc, oldFont);
}

}  // namespace vips::win32
