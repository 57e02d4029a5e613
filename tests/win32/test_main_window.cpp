// The Win32 window made for real in the test's process and driven by its
// messages: what the logic's own tests cannot see (the controls, their
// places and texts, the grid's paging and colours, the fields' key filter,
// the routes of clicks, keys, drops and the command line).
#include <gtest/gtest.h>
#include <windows.h>
// This needs <windows.h> first.
#include <shlobj.h>

#include <cstdint>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/delta/bps_maker.hpp"
#include "form/command_line.hpp"
#include "form/layout.hpp"
#include "form/texts.hpp"
#include "support/temp_dir.hpp"
#include "win32/main_window.hpp"
#include "win32/wide_text.hpp"

namespace {

using vips::form::ControlId;
using vips::win32::MainWindow;
namespace layout = vips::form::layout;

class FakeServices : public vips::form::WindowServices {
 public:
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  void ShowError(const std::string& text) override { errors.push_back(text); }
  void Beep() override { ++beeps; }
  void SetBusyCursor() override { busy = true; }
  void SetNormalCursor() override { busy = false; }
  [[nodiscard]] bool BusyCursorShown() const override { return busy; }
  bool busy = false;
  std::optional<std::string> OpenFile(const std::string& title,
                                      const std::string& filter) override {
    dialogs.push_back(title + " | " + filter);
    if (choices.empty()) return std::nullopt;
    auto choice = choices.front();
    choices.pop_front();
    return choice;
  }

  std::vector<std::string> messages;
  std::vector<std::string> errors;
  std::vector<std::string> dialogs;
  std::deque<std::optional<std::string>> choices;
  int beeps = 0;
};

// An IPS patch of data records {offset, bytes}.
std::string Patch(const std::vector<std::pair<std::uint32_t, std::string>>& records) {
  std::string bytes = "PATCH";
  for (const auto& [offset, data] : records) {
    bytes += static_cast<char>(offset >> 16);
    bytes += static_cast<char>(offset >> 8);
    bytes += static_cast<char>(offset);
    bytes += static_cast<char>(data.size() >> 8);
    bytes += static_cast<char>(data.size());
    bytes += data;
  }
  return bytes + "EOF";
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(vips::testing::PathOf(path), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

class WindowTest : public ::testing::Test {
 protected:
  void Open(int localeId) {
    window_ = std::make_unique<MainWindow>(localeId, services_);
    ShowWindow(window_->Handle(), SW_SHOWNOACTIVATE);
  }
  HWND Hwnd(ControlId id) { return window_->Control(id); }
  std::string Text(ControlId id) {
    HWND control = Hwnd(id);
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return vips::win32::Utf8(text);
  }
  // As a user's click: a disabled button cannot be pressed (Wine's BM_CLICK
  // would press it all the same).
  bool Click(ControlId id) {
    if (!IsWindowEnabled(Hwnd(id))) return false;
    SendMessageW(Hwnd(id), BM_CLICK, 0, 0);
    return true;
  }
  // Typed into a field, each key pressed and released.
  void Type(ControlId id, const std::wstring& keys) {
    for (wchar_t key : keys) {
      SendMessageW(Hwnd(id), WM_CHAR, key, 0);
      SendMessageW(Hwnd(id), WM_KEYUP, key, 0);
    }
  }
  // A key released in the field (the clamp's cue).
  void Release(ControlId id) { SendMessageW(Hwnd(id), WM_KEYUP, VK_SHIFT, 0); }
  void Replace(ControlId id, const std::wstring& text) {
    SendMessageW(Hwnd(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    SendMessageW(Hwnd(id), EM_SETSEL, text.size(), text.size());
  }
  void GridMouse(UINT message, int column, int row) {
    SendMessageW(Hwnd(ControlId::Grid), message, MK_LBUTTON,
                 MAKELPARAM(column * 83 + 5, (row - window_->TopRow()) * 17 + 5));
  }
  void Load(const std::string& original, const std::string& patch) {
    vips::form::CommandLine line;
    line.original = original;
    line.patch = patch;
    window_->Run([&] { vips::form::OpenCommandLineFiles(window_->Form(), line); });
  }

  vips::testing::TempDir dir_;
  FakeServices services_;
  std::unique_ptr<MainWindow> window_;
};

TEST_F(WindowTest, EveryControlStandsAtItsDesignedPlace) {
  Open(1033);
  RECT client;
  GetClientRect(window_->Handle(), &client);
  EXPECT_EQ(client.right, 614);
  EXPECT_EQ(client.bottom, 379);
  const LONG_PTR style = GetWindowLongPtrW(window_->Handle(), GWL_STYLE);
  EXPECT_EQ(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME | WS_CLIPCHILDREN), 0);
  EXPECT_NE(style & WS_SYSMENU, 0);

  for (const layout::Control& design : layout::kControls) {
    if (design.kind == layout::Kind::Window || design.kind == layout::Kind::Panel) continue;
    HWND control = Hwnd(design.id);
    ASSERT_NE(control, nullptr) << design.name;
    // Enter and Escape press the controls numbered IDOK and IDCANCEL.
    EXPECT_GT(GetDlgCtrlID(control), 2) << design.name;
    RECT place;
    GetWindowRect(control, &place);
    MapWindowPoints(nullptr, window_->Handle(), reinterpret_cast<POINT*>(&place), 2);
    int left = 0;
    int top = 0;
    for (ControlId at = design.id; at != ControlId::Window; at = layout::Of(at).parent) {
      left += layout::Of(at).left;
      top += layout::Of(at).top;
    }
    EXPECT_EQ(place.left, left) << design.name;
    EXPECT_EQ(place.top, top) << design.name;
    EXPECT_EQ(place.bottom - place.top, design.height) << design.name;
    // The status line's width follows its text; a label is at least its
    // designed width.
    if (design.kind == layout::Kind::Label) {
      EXPECT_GE(place.right - place.left, design.width) << design.name;
    } else if (design.kind != layout::Kind::StaticText) {
      EXPECT_EQ(place.right - place.left, design.width) << design.name;
    }
  }
  // Tab walks the designed focus order; Recover is passed over while disabled.
  HWND at = Hwnd(layout::kFocusOrder.front());
  for (ControlId expected : layout::kFocusOrder) {
    if (expected == ControlId::Recover) continue;
    EXPECT_EQ(window_->IdOf(at), expected) << layout::Of(expected).name;
    at = GetNextDlgTabItem(window_->Handle(), at, FALSE);
  }
  EXPECT_EQ(at, Hwnd(layout::kFocusOrder.front()));
  // The grid shows its 12 rows whole.
  EXPECT_EQ(window_->Grid().RowCount(), 12);
  EXPECT_EQ(window_->Grid().VisibleRowCount(), 12);
}

// At 144 DPI every edge stands half as far again from the corner, the grid still
// shows twelve whole rows, and the captions fit their controls; a move to a
// monitor of 96 DPI gives the design's sizes back.
TEST_F(WindowTest, ScalesWithTheDpi) {
  window_ = std::make_unique<MainWindow>(1049, services_, 144);
  auto size = [&](ControlId id) {
    RECT place;
    GetClientRect(Hwnd(id), &place);
    return std::make_pair(place.right, place.bottom);
  };
  EXPECT_EQ(size(ControlId::Window), std::make_pair(LONG{921}, LONG{569}));
  EXPECT_EQ(size(ControlId::ExecuteAll), std::make_pair(LONG{150}, LONG{37}));
  EXPECT_EQ(window_->Grid().VisibleRowCount(), 12);
  for (ControlId id : {ControlId::InvertAll, ControlId::ExecuteRange, ControlId::About}) {
    HWND control = Hwnd(id);
    SIZE ideal{};
    SendMessageW(control, BCM_GETIDEALSIZE, 0, reinterpret_cast<LPARAM>(&ideal));
    EXPECT_LE(ideal.cx, size(id).first) << layout::Of(id).name;
  }

  RECT outer{0, 0, 614, 379};
  AdjustWindowRectEx(&outer, static_cast<DWORD>(GetWindowLongPtrW(window_->Handle(), GWL_STYLE)),
                     FALSE, 0);
  SendMessageW(window_->Handle(), WM_DPICHANGED, MAKEWPARAM(96, 96),
               reinterpret_cast<LPARAM>(&outer));
  EXPECT_EQ(size(ControlId::Window), std::make_pair(LONG{614}, LONG{379}));
  EXPECT_EQ(size(ControlId::ExecuteAll), std::make_pair(LONG{100}, LONG{25}));
  EXPECT_EQ(window_->Grid().VisibleRowCount(), 12);
}

TEST_F(WindowTest, CaptionsFollowTheLanguageAndTheFlags) {
  struct Caption {
    ControlId id;
    vips::form::texts::Bilingual text;
  };
  const Caption captions[] = {
      {ControlId::OriginalField, vips::form::texts::kOriginalPlaceholder},
      {ControlId::ChoosePatch, vips::form::texts::kSelectButton},
      {ControlId::ExecuteAll, vips::form::texts::kExecuteAllCaption},
      {ControlId::RecordsGroup, vips::form::texts::kRecordsGroupCaption},
      {ControlId::Status, vips::form::texts::kNeutralStatus},
      {ControlId::BackupCheck, vips::form::texts::kBackupCaption},
      {ControlId::InvertToLabel, vips::form::texts::kToLabel},
  };
  Open(1049);
  EXPECT_EQ(Text(ControlId::Window), vips::form::texts::kWindowTitleAtStart.russian);
  for (const Caption& caption : captions)
    EXPECT_EQ(Text(caption.id), caption.text.russian) << layout::Of(caption.id).name;
  EXPECT_FALSE(Click(ControlId::RussianButton));
  EXPECT_TRUE(Click(ControlId::EnglishButton));
  EXPECT_EQ(Text(ControlId::Window), vips::form::texts::kWindowTitleAfterSwitch.english);
  for (const Caption& caption : captions)
    EXPECT_EQ(Text(caption.id), caption.text.english) << layout::Of(caption.id).name;
  EXPECT_FALSE(IsWindowEnabled(Hwnd(ControlId::EnglishButton)));
  EXPECT_TRUE(IsWindowEnabled(Hwnd(ControlId::RussianButton)));
  EXPECT_FALSE(IsWindowEnabled(Hwnd(ControlId::Recover)));
  // About: the text in a box; Enter on the focused button presses it.
  SetFocus(Hwnd(ControlId::About));
  ASSERT_EQ(GetFocus(), Hwnd(ControlId::About));
  auto key = [&](WPARAM which) {
    MSG press{};
    press.hwnd = GetFocus();
    press.message = WM_KEYDOWN;
    press.wParam = which;
    IsDialogMessageW(window_->Handle(), &press);
  };
  key(VK_RETURN);
  ASSERT_EQ(services_.messages.size(), 1u);
  EXPECT_EQ(services_.messages[0], vips::form::texts::kAbout.english);
  key(VK_ESCAPE);
  EXPECT_EQ(services_.messages.size(), 1u);
  EXPECT_NE(window_->Handle(), nullptr);
}

// Run by scripts/test-windows.sh once more under a generated Russian locale
// (VIPS_TEST_RUSSIAN set): the language comes from GetThreadLocale.
TEST(Startup, LanguageFollowsTheThreadLocale) {
  const bool russian = std::getenv("VIPS_TEST_RUSSIAN") != nullptr;
  EXPECT_EQ(vips::win32::ThreadLocaleId() == 1049, russian);
  FakeServices services;
  MainWindow window(vips::win32::ThreadLocaleId(), services);
  std::wstring text(64, L'\0');
  text.resize(static_cast<std::size_t>(
      GetWindowTextW(window.Control(ControlId::ExecuteAll), text.data(), 64)));
  EXPECT_EQ(vips::win32::Utf8(text), russian ? vips::form::texts::kExecuteAllCaption.russian
                                             : vips::form::texts::kExecuteAllCaption.english);
}

TEST_F(WindowTest, RangeFieldsTakeDigitsOnlyAndHoldToTheRowCount) {
  Open(1033);
  struct Typing {
    std::wstring keys;
    std::string text;
  };
  // Twelve rows before any patch.
  const Typing typings[] = {
      {L"7", "7"},
      {L"a-+ 5", "5"},
      {L"99", "12"},
      {L"007", "007"},
      {L"\x0416"
       L"3",
       "3"},
      {L"12\b", "1"},
  };
  for (const Typing& typing : typings) {
    Replace(ControlId::CancelFrom, L"");
    Type(ControlId::CancelFrom, typing.keys);
    EXPECT_EQ(Text(ControlId::CancelFrom), typing.text) << vips::win32::Utf8(typing.keys);
  }
  // Pasting (Ctrl+V, the context menu, Shift+Insert all send WM_PASTE) keeps
  // the digits only.
  const std::wstring clip = L"4x2 ";
  ASSERT_TRUE(OpenClipboard(window_->Handle()));
  EmptyClipboard();
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (clip.size() + 1) * sizeof(wchar_t));
  std::copy_n(clip.c_str(), clip.size() + 1, static_cast<wchar_t*>(GlobalLock(memory)));
  GlobalUnlock(memory);
  SetClipboardData(CF_UNICODETEXT, memory);
  CloseClipboard();
  Replace(ControlId::CancelTo, L"");
  SendMessageW(Hwnd(ControlId::CancelTo), WM_PASTE, 0, 0);
  EXPECT_EQ(Text(ControlId::CancelTo), "42");
  SendMessageW(Hwnd(ControlId::CancelTo), WM_KEYUP, 'V', 0);
  EXPECT_EQ(Text(ControlId::CancelTo), "12");
  // Ctrl+V arrives as the character 22, which is the field's paste command,
  // not a typed character for the filter to drop.
  Replace(ControlId::InvertFrom, L"");
  BYTE keys[256];
  GetKeyboardState(keys);
  keys[VK_CONTROL] = 0x80;
  SetKeyboardState(keys);
  SendMessageW(Hwnd(ControlId::InvertFrom), WM_CHAR, 0x16, 0);
  keys[VK_CONTROL] = 0;
  SetKeyboardState(keys);
  EXPECT_EQ(Text(ControlId::InvertFrom), "42");
}

// The road of one patching, through the window's own routes: files from the
// command line, a range, a double-click, Space, Go with the backup, Recover.
TEST_F(WindowTest, AWholeJobPatchesTheFileByteForByteAndRecoverGivesItBack) {
  Open(1033);
  const std::string before = "0123456789abcdef";
  // File names in three scripts.
  const std::string original = dir_.Write("ориг-原-file.bin", before);
  const std::string patch =
      dir_.Write("правка-補丁.ips", Patch({{0, "A"}, {2, "BB"}, {5, "C"}, {9, "DD"}, {15, "E"}}));
  Load(original, patch);
  ASSERT_TRUE(services_.errors.empty()) << services_.errors.front();
  EXPECT_EQ(Text(ControlId::OriginalField), "ориг-原-file.bin");
  EXPECT_EQ(Text(ControlId::PatchField), "правка-補丁.ips");
  ASSERT_EQ(window_->Grid().RowCount(), 5);
  EXPECT_FALSE(IsWindowEnabled(Hwnd(ControlId::RussianButton)));

  // Records 2 and 3 off by a range, record 5 off by a double-click on its
  // marker, record 1 off and on again by Space.
  Replace(ControlId::CancelFrom, L"2");
  Replace(ControlId::CancelTo, L"3");
  ASSERT_TRUE(Click(ControlId::CancelRange));
  GridMouse(WM_LBUTTONDOWN, 3, 4);
  GridMouse(WM_LBUTTONDBLCLK, 3, 4);
  GridMouse(WM_LBUTTONDOWN, 1, 0);
  SendMessageW(Hwnd(ControlId::Grid), WM_CHAR, L' ', 0);
  SendMessageW(Hwnd(ControlId::Grid), WM_CHAR, L' ', 0);
  const auto& table = window_->Form().Table();
  const std::string no = "No                   *";
  const std::vector<std::string> markers = {"Execute", no, no, "Execute", no};
  for (int row = 0; row < 5; ++row) EXPECT_EQ(table.Cell(3, row), markers[row]) << row;

  EXPECT_FALSE(Click(ControlId::Recover));
  ASSERT_TRUE(Click(ControlId::Go));
  ASSERT_TRUE(services_.errors.empty()) << services_.errors.front();
  EXPECT_EQ(ReadAll(original), "A12345678DDbcdef");
  EXPECT_EQ(ReadAll(original + "_backup"), before);
  ASSERT_TRUE(Click(ControlId::Recover));
  EXPECT_EQ(ReadAll(original), before);
  EXPECT_TRUE(services_.errors.empty());
}

// A BPS patch chosen in the patch dialog is listed by the stretches it
// changes; the ones marked are applied, the file keeping its length.
TEST_F(WindowTest, ABpsPatchIsListedByStretchAndApplied) {
  Open(1049);
  const std::string before = "0123456789abcdef";
  const std::string after = "0xy3456789abcdef!!";
  const std::vector<std::uint8_t> bps =
      vips::MakeLinearBps(std::vector<std::uint8_t>(before.begin(), before.end()),
                          std::vector<std::uint8_t>(after.begin(), after.end()));
  const std::string original = dir_.Write("rom.bin", before);
  services_.choices = {original, dir_.Write("hack.bps", std::string(bps.begin(), bps.end()))};
  ASSERT_TRUE(Click(ControlId::ChooseOriginal));
  ASSERT_TRUE(Click(ControlId::ChoosePatch));
  ASSERT_TRUE(services_.errors.empty()) << services_.errors.front();
  EXPECT_NE(services_.dialogs.back().find("|BPS/UPS патч (*.bps;*.ups)|*.bps;*.ups|"),
            std::string::npos);
  EXPECT_EQ(Text(ControlId::Status), "статус: файл bps выбран!");
  ASSERT_EQ(window_->Grid().RowCount(), 2);
  const auto& table = window_->Form().Table();
  const std::vector<std::vector<std::string>> rows = {{"1", "1", "2", "Выполнить"},
                                                      {"2", "10", "11", "Выполнить"}};
  for (int row = 0; row < 2; ++row) {
    for (int column = 0; column < 4; ++column) {
      EXPECT_EQ(table.Cell(column, row), rows[row][column]) << row << ' ' << column;
    }
  }

  // The stretch past the original's end off by a double-click on its marker.
  GridMouse(WM_LBUTTONDOWN, 3, 1);
  GridMouse(WM_LBUTTONDBLCLK, 3, 1);
  EXPECT_EQ(table.Cell(3, 1), "Нет                  *");
  ASSERT_TRUE(Click(ControlId::Go));
  ASSERT_TRUE(services_.errors.empty()) << services_.errors.front();
  EXPECT_EQ(ReadAll(original), "0xy3456789abcdef");
  ASSERT_TRUE(Click(ControlId::Recover));
  EXPECT_EQ(ReadAll(original), before);
}

// A file dropped on the window: the original on its group, the patch on the
// table.
TEST_F(WindowTest, DroppedFilesAreTakenByTheControlUnderThem) {
  Open(1033);
  const std::string original = dir_.Write("drop.bin", std::string(8, '\0'));
  const std::string patch = dir_.Write("drop.ips", Patch({{1, "x"}, {3, "y"}}));
  auto drop = [&](const std::string& path, POINT at) {
    const std::wstring wide = vips::win32::Wide(path);
    const std::size_t bytes = sizeof(DROPFILES) + (wide.size() + 2) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
    auto* files = static_cast<DROPFILES*>(GlobalLock(memory));
    files->pFiles = sizeof(DROPFILES);
    files->pt = at;
    files->fWide = TRUE;
    std::copy_n(wide.c_str(), wide.size(), reinterpret_cast<wchar_t*>(files + 1));
    GlobalUnlock(memory);
    SendMessageW(window_->Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
  };
  drop(original, {420, 30});  // ChooseOriginal, inside OriginalGroup
  drop(patch, {100, 200});    // the table
  EXPECT_TRUE(services_.errors.empty());
  EXPECT_EQ(Text(ControlId::OriginalField), "drop.bin");
  EXPECT_EQ(Text(ControlId::PatchField), "drop.ips");
  EXPECT_EQ(window_->Grid().RowCount(), 2);
}

// The grid's paging buttons and the colours of its cells, read back from
// the grid drawn into a bitmap.
TEST_F(WindowTest, TheTablePagesAndDrawsItsColumnColours) {
  Open(1033);
  std::vector<std::pair<std::uint32_t, std::string>> records;
  for (std::uint32_t i = 0; i < 30; ++i) records.push_back({i, "z"});
  Load(dir_.Write("thirty.bin", std::string(30, '\0')), dir_.Write("thirty.ips", Patch(records)));
  ASSERT_EQ(window_->Grid().RowCount(), 30);
  struct Page {
    ControlId button;
    int topRow;
  };
  for (const Page& page :
       {Page{ControlId::PageDown, 11}, Page{ControlId::PageDown, 18}, Page{ControlId::PageDown, 18},
        Page{ControlId::PageUp, 7}, Page{ControlId::PageUp, 0}, Page{ControlId::PageUp, 0}}) {
    ASSERT_TRUE(Click(page.button));
    EXPECT_EQ(window_->TopRow(), page.topRow);
  }
  EXPECT_EQ(GetFocus(), Hwnd(ControlId::Grid));

  GridMouse(WM_LBUTTONDOWN, 1, 2);
  HWND grid = Hwnd(ControlId::Grid);
  RECT area;
  GetClientRect(grid, &area);
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, area.right, area.bottom);
  HGDIOBJ old = SelectObject(dc, bitmap);
  SendMessageW(grid, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
  struct Pixel {
    int column;
    int row;
    COLORREF colour;
  };
  // Far right in each cell, clear of its text.
  for (const Pixel& pixel : {Pixel{0, 0, RGB(0xFF, 0xFF, 0x99)}, Pixel{1, 0, RGB(0xCC, 0xFF, 0xCC)},
                             Pixel{2, 2, RGB(0xCC, 0xFF, 0xCC)}, Pixel{3, 2, RGB(0xFF, 0xCC, 0xCC)},
                             Pixel{1, 2, RGB(0xA6, 0xCA, 0xF0)}}) {
    EXPECT_EQ(GetPixel(dc, pixel.column * 83 + 78, pixel.row * 17 + 8), pixel.colour)
        << pixel.column << ", " << pixel.row;
  }
  // Text is drawn in the cell: some pixel of "1" in row 0 is dark.
  bool inked = false;
  for (int x = 0; x < 20 && !inked; ++x) {
    for (int y = 0; y < 16 && !inked; ++y) inked = GetPixel(dc, x, y) == RGB(0, 0, 0);
  }
  EXPECT_TRUE(inked);
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
}

TEST_F(WindowTest, AMillionRecordsLoadAndEveryCommandReachesTheLast) {
  Open(1033);
  constexpr int kRecords = 1'000'000;
  std::string patch = "PATCH";
  patch.reserve(5 + kRecords * 6 + 3);
  for (int i = 0; i < kRecords; ++i) {
    const std::uint32_t offset = static_cast<std::uint32_t>(i) * 2;
    const char record[6] = {static_cast<char>(offset >> 16),
                            static_cast<char>(offset >> 8),
                            static_cast<char>(offset),
                            0,
                            1,
                            'm'};
    patch.append(record, 6);
  }
  patch += "EOF";
  Load(dir_.Write("million.bin", std::string(16, '\0')), dir_.Write("million.ips", patch));
  ASSERT_TRUE(services_.errors.empty()) << services_.errors.front();
  ASSERT_EQ(window_->Grid().RowCount(), kRecords);
  ASSERT_TRUE(Click(ControlId::CancelAll));
  EXPECT_EQ(window_->Form().Table().Cell(3, kRecords - 1), "No                   *");
  // Ctrl+End: the last row current and shown.
  BYTE keys[256];
  GetKeyboardState(keys);
  keys[VK_CONTROL] = 0x80;
  SetKeyboardState(keys);
  SendMessageW(Hwnd(ControlId::Grid), WM_KEYDOWN, VK_END, 0);
  keys[VK_CONTROL] = 0;
  SetKeyboardState(keys);
  EXPECT_EQ(window_->Row(), kRecords - 1);
  EXPECT_EQ(window_->TopRow(), kRecords - 12);
  Replace(ControlId::ExecuteFrom, L"999999");
  Replace(ControlId::ExecuteTo, L"2000000");
  Release(ControlId::ExecuteTo);
  EXPECT_EQ(Text(ControlId::ExecuteTo), "1000000");
  ASSERT_TRUE(Click(ControlId::ExecuteRange));
  EXPECT_EQ(window_->Form().Table().Cell(3, kRecords - 1), "Execute");
  EXPECT_EQ(window_->Form().Table().Cell(3, kRecords - 3), "No                   *");
}

}  // namespace
