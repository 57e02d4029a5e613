// The grid control on its own: paging, the current cell under the mouse and
// the keys, drawing through the owner, a million rows.
#include <gtest/gtest.h>

#include <vector>

#include "win32/string_grid.hpp"

namespace {

using vips::win32::GridCellState;
using vips::win32::StringGrid;

// Fills each cell with a colour made of its column and row, and counts.
class RecordingClient : public vips::win32::StringGridClient {
 public:
  void DrawCell(HDC dc, int column, int row, const RECT& rect, GridCellState state) override {
    ++drawn;
    if (state.focused) focusedCells.push_back({column, row});
    HBRUSH brush = CreateSolidBrush(RGB(40 * column + 10, row % 200, 7));
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
  }
  void DoubleClicked() override { ++toggles; }
  void SpacePressed() override { ++toggles; }

  int drawn = 0;
  int toggles = 0;
  std::vector<std::pair<int, int>> focusedCells;
};

// A bare top-level window holding a grid at the designed size.
class GridTest : public ::testing::Test {
 protected:
  void SetUp() override {
    parent_ = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr,
                              nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(parent_, nullptr);
    grid_ = &StringGrid::Create(parent_, {8, 16, 8 + 353, 16 + 209}, 100, 96, client_);
  }
  void TearDown() override { DestroyWindow(parent_); }

  void Scroll(int request) { SendMessageW(grid_->Handle(), WM_VSCROLL, request, 0); }
  void Mouse(UINT message, int x, int y) {
    SendMessageW(grid_->Handle(), message, MK_LBUTTON, MAKELPARAM(x, y));
  }
  void Key(WPARAM key, bool control = false) {
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_CONTROL] = control ? 0x80 : 0;
    SetKeyboardState(keys);
    SendMessageW(grid_->Handle(), WM_KEYDOWN, key, 0);
    keys[VK_CONTROL] = 0;
    SetKeyboardState(keys);
  }
  // The grid's client area drawn into a bitmap; the colour at (x, y).
  COLORREF PixelAt(int x, int y) {
    RECT client;
    GetClientRect(grid_->Handle(), &client);
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, client.right, client.bottom);
    HGDIOBJ old = SelectObject(dc, bitmap);
    SendMessageW(grid_->Handle(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    const COLORREF colour = GetPixel(dc, x, y);
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return colour;
  }

  HWND parent_ = nullptr;
  RecordingClient client_;
  StringGrid* grid_ = nullptr;
};

TEST_F(GridTest, PagesSoThatTheLastFullyVisibleRowBecomesTheTopRow) {
  grid_->SetRowCount(30);
  EXPECT_EQ(grid_->VisibleRowCount(), 12);
  struct Step {
    int request;
    int topRow;
  };
  const Step steps[] = {{SB_PAGEUP, 0},    {SB_PAGEDOWN, 11}, {SB_PAGEDOWN, 18},
                        {SB_PAGEDOWN, 18}, {SB_PAGEUP, 7},    {SB_PAGEUP, 0},
                        {SB_BOTTOM, 18},   {SB_LINEUP, 17},   {SB_TOP, 0}};
  for (const Step& step : steps) {
    Scroll(step.request);
    EXPECT_EQ(grid_->TopRow(), step.topRow) << "after request " << step.request;
  }
  // The scroll bar follows.
  Scroll(SB_PAGEDOWN);
  EXPECT_EQ(GetScrollPos(grid_->Handle(), SB_VERT), 11);
  // Paging moves the view only.
  EXPECT_EQ(grid_->Row(), 0);
}

TEST_F(GridTest, ClicksAndKeysMoveTheCurrentCellAndDoubleClickOrSpaceToggles) {
  grid_->SetRowCount(30);
  // Cells are 82 wide and 16 high, each with a line after it.
  Mouse(WM_LBUTTONDOWN, 2 * 83 + 5, 3 * 17 + 5);
  EXPECT_EQ(grid_->Col(), 2);
  EXPECT_EQ(grid_->Row(), 3);
  EXPECT_EQ(GetFocus(), grid_->Handle());
  Mouse(WM_LBUTTONDBLCLK, 2 * 83 + 5, 3 * 17 + 5);
  EXPECT_EQ(client_.toggles, 1);
  SendMessageW(grid_->Handle(), WM_CHAR, L' ', 0);
  EXPECT_EQ(client_.toggles, 2);
  SendMessageW(grid_->Handle(), WM_CHAR, L'x', 0);
  EXPECT_EQ(client_.toggles, 2);

  // Below the last row the current cell stays and a double-click still counts.
  grid_->SetRowCount(2);
  grid_->SetCurrentCell(3, 1);
  Mouse(WM_LBUTTONDOWN, 5, 10 * 17);
  Mouse(WM_LBUTTONDBLCLK, 5, 10 * 17);
  EXPECT_EQ(grid_->Col(), 3);
  EXPECT_EQ(grid_->Row(), 1);
  EXPECT_EQ(client_.toggles, 3);

  grid_->SetRowCount(30);
  struct Press {
    WPARAM key;
    bool control;
    int column, row, topRow;
  };
  const Press presses[] = {{VK_END, false, 3, 0, 0},    {VK_DOWN, false, 3, 1, 0},
                           {VK_NEXT, false, 3, 12, 1},  {VK_END, true, 3, 29, 18},
                           {VK_HOME, false, 0, 29, 18}, {VK_HOME, true, 0, 0, 0},
                           {VK_UP, false, 0, 0, 0},     {VK_RIGHT, false, 1, 0, 0}};
  for (const Press& press : presses) {
    Key(press.key, press.control);
    EXPECT_EQ(grid_->Col(), press.column) << "key " << press.key;
    EXPECT_EQ(grid_->Row(), press.row) << "key " << press.key;
    EXPECT_EQ(grid_->TopRow(), press.topRow) << "key " << press.key;
  }
}

TEST_F(GridTest, DrawsTheVisibleCellsThroughItsOwnerWithLinesBetween) {
  grid_->SetRowCount(30);
  SetFocus(grid_->Handle());
  grid_->SetCurrentCell(1, 2);
  Scroll(SB_PAGEDOWN);
  client_.drawn = 0;
  client_.focusedCells.clear();
  // Top row 11: the cell of column 2 at the screen's second row is row 12.
  EXPECT_EQ(PixelAt(2 * 83 + 40, 17 + 8), RGB(90, 12, 7));
  // Twelve whole rows and the part of a thirteenth, four cells each.
  EXPECT_LE(client_.drawn, 13 * 4);
  EXPECT_GE(client_.drawn, 12 * 4);
  EXPECT_EQ(PixelAt(0 * 83 + 40, 8), RGB(10, 11, 7));
  // The line after a cell is not the cell's colour.
  EXPECT_NE(PixelAt(82, 8), RGB(10, 11, 7));
  EXPECT_NE(PixelAt(40, 16), RGB(10, 11, 7));
  // The current cell scrolled out of view: nothing drawn focused.
  EXPECT_TRUE(client_.focusedCells.empty());
  Scroll(SB_TOP);
  PixelAt(0, 0);
  ASSERT_EQ(client_.focusedCells.size(), 1u);
  EXPECT_EQ(client_.focusedCells[0], std::make_pair(1, 2));
}

TEST_F(GridTest, AMillionRowsAreAsCheapAsTwelve) {
  constexpr int kRows = 1'000'000;
  grid_->SetRowCount(kRows);
  Key(VK_END, true);
  EXPECT_EQ(grid_->Row(), kRows - 1);
  EXPECT_EQ(grid_->TopRow(), kRows - 12);
  Scroll(SB_PAGEUP);
  EXPECT_EQ(grid_->TopRow(), kRows - 12 - 11);
  client_.drawn = 0;
  PixelAt(0, 0);
  EXPECT_LE(client_.drawn, 13 * 4);
  Mouse(WM_LBUTTONDOWN, 5, 5);
  EXPECT_EQ(grid_->Row(), kRows - 12 - 11);
}

}  // namespace
