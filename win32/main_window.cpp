#include "win32/main_window.hpp"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <exception>
#include <stdexcept>
#include <string>
#include <utility>

#include "form/layout.hpp"
#include "form/texts.hpp"
#include "win32/resource_ids.hpp"
#include "win32/speed_button.hpp"
#include "win32/wide_text.hpp"

namespace vips::win32 {
namespace {

using form::ControlId;
namespace layout = form::layout;

// Control ids start above the dialog manager's IDOK (1) and IDCANCEL (2),
// which Enter and Escape would otherwise press.
constexpr int kFirstControlId = 100;

int IdNumber(ControlId id) {
  return kFirstControlId + static_cast<int>(form::IndexOf(id));
}

COLORREF ColourRef(form::Rgb colour) {
  return RGB(colour.red, colour.green, colour.blue);
}

// Where DrawCell draws: one cell of the grid's device context.
class GdiCellCanvas : public form::CellCanvas {
 public:
  GdiCellCanvas(HDC dc, const RECT& cell) : dc_(dc), cell_(cell) {}
  void SetTextColour(form::Rgb colour) override { SetTextColor(dc_, ColourRef(colour)); }
  void FillCell(form::Rgb colour) override {
    const COLORREF old = SetBkColor(dc_, ColourRef(colour));
    ExtTextOutW(dc_, 0, 0, ETO_OPAQUE, &cell_, nullptr, 0, nullptr);
    SetBkColor(dc_, old);
  }
  void DrawText(std::string_view text) override {
    const std::wstring wide = Wide(text);
    ExtTextOutW(dc_, cell_.left, cell_.top, ETO_CLIPPED, &cell_, wide.c_str(),
                static_cast<UINT>(wide.size()), nullptr);
  }

 private:
  HDC dc_;
  RECT cell_;
};

// The pictures in the resources: the normal image and the disabled one.
struct PictureResources {
  layout::Picture picture;
  int normal;
  int disabled;
  int width;
  int height;
};

constexpr PictureResources kPictures[] = {
    {layout::Picture::FlagUk, IDI_FLAG_UK, IDI_FLAG_UK_DISABLED, 22, 15},
    {layout::Picture::FlagRu, IDI_FLAG_RU, IDI_FLAG_RU_DISABLED, 22, 15},
    {layout::Picture::CheckMark, IDI_GO, IDI_GO_DISABLED, 18, 18},
    {layout::Picture::Retry, IDI_RETRY, IDI_RETRY_DISABLED, 18, 18},
    {layout::Picture::Help, IDI_HELP, IDI_HELP_DISABLED, 18, 18},
};

}  // namespace

int ThreadLocaleId() {
  return static_cast<int>(GetThreadLocale());
}

MainWindow::MainWindow(int localeId, form::WindowServices& services, int dpi)
    : services_(services), dpi_(dpi) {
  static const ATOM registered = [] {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    WNDCLASSEXW type{};
    type.cbSize = sizeof type;
    type.lpfnWndProc = &MainWindow::WindowProc;
    type.hInstance = GetModuleHandleW(nullptr);
    type.hIcon = static_cast<HICON>(
        LoadImageW(type.hInstance, MAKEINTRESOURCEW(IDI_ICON1), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
    type.hIconSm = static_cast<HICON>(LoadImageW(type.hInstance, MAKEINTRESOURCEW(IDI_ICON1),
                                                 IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                 GetSystemMetrics(SM_CYSMICON), 0));
    type.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    type.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    type.lpszClassName = kClassName;
    return RegisterClassExW(&type);
  }();
  (void)registered;

  // A fixed size: a caption and a system menu, no sizing border. The
  // minimize and maximize boxes are there until Start removes them.
  // No WS_CLIPCHILDREN: the group boxes draw on the window's own background.
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
  const layout::Control& design = layout::Of(ControlId::Window);
  RECT outer{0, 0, Scaled(design.width), Scaled(design.height)};
  AdjustWindowRectEx(&outer, style, FALSE, 0);
  window_ = CreateWindowExW(0, kClassName, Wide(design.caption.english).c_str(), style, design.left,
                            design.top, outer.right - outer.left, outer.bottom - outer.top, nullptr,
                            nullptr, GetModuleHandleW(nullptr), this);
  if (window_ == nullptr) {
    throw std::runtime_error("The window could not be made (system error " +
                             std::to_string(GetLastError()) + ")");
  }
  font_ = CreateFontW(-Scaled(layout::kFontPixelSize), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                      DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                      DEFAULT_PITCH | FF_SWISS, Wide(layout::kFontFace).c_str());
  statusBrush_ = GetSysColorBrush(COLOR_BTNFACE);
  CreateControls();
  DragAcceptFiles(window_, TRUE);

  form_ = std::make_unique<form::WindowLogic>(localeId, *this, *this, services_);
  grid_->SetRowCount(form_->Table().RowCount());
  Run([this] { form_->Start(); });
}

MainWindow::~MainWindow() {
  if (window_ != nullptr) {
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
  }
  for (HBRUSH tint : tints_) {
    if (tint != nullptr) DeleteObject(tint);
  }
  for (HICON picture : pictures_) {
    if (picture != nullptr) DestroyIcon(picture);
  }
  for (HIMAGELIST list : imageLists_) ImageList_Destroy(list);
  if (font_ != nullptr) DeleteObject(font_);
}

int MainWindow::Scaled(int pixels) const {
  return MulDiv(pixels, dpi_, 96);
}

RECT MainWindow::Place(ControlId id) const {
  // The design places a control within its parent; every control here is a
  // child of the window itself, so the parents' places are added up.
  int left = 0;
  int top = 0;
  for (ControlId at = id; at != ControlId::Window; at = layout::Of(at).parent) {
    left += layout::Of(at).left;
    top += layout::Of(at).top;
  }
  const layout::Control& design = layout::Of(id);
  return {Scaled(left), Scaled(top), Scaled(left + design.width), Scaled(top + design.height)};
}

void MainWindow::CreateControls() {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  for (const PictureResources& picture : kPictures) {
    const auto index = static_cast<std::size_t>(picture.picture) * 2;
    for (int which = 0; which < 2; ++which) {
      pictures_[index - 2 + static_cast<std::size_t>(which)] = static_cast<HICON>(
          LoadImageW(instance, MAKEINTRESOURCEW(which == 0 ? picture.normal : picture.disabled),
                     IMAGE_ICON, Scaled(picture.width), Scaled(picture.height), 0));
    }
  }

  // The focus order is the order in which the dialog manager walks the
  // controls, which is the order they were made in; those that never take
  // the focus come after them.
  std::array<bool, form::kControlCount> made{};
  made[form::IndexOf(ControlId::Window)] = made[form::IndexOf(ControlId::Panel)] = true;
  auto make = [&](const layout::Control& design) {
    if (made[form::IndexOf(design.id)]) return;
    made[form::IndexOf(design.id)] = true;
    const RECT place = Place(design.id);
    const int width = place.right - place.left;
    const int height = place.bottom - place.top;
    const std::wstring text = Wide(design.caption.english);
    auto* menu = reinterpret_cast<HMENU>(static_cast<INT_PTR>(IdNumber(design.id)));
    auto child = [&](DWORD extended, const wchar_t* type, DWORD style) {
      return CreateWindowExW(extended, type, text.c_str(), WS_CHILD | WS_VISIBLE | style,
                             place.left, place.top, width, height, window_, menu, instance,
                             nullptr);
    };
    HWND control = nullptr;
    switch (design.kind) {
      case layout::Kind::Window:
      case layout::Kind::Panel:
        return;
      case layout::Kind::SpeedButton: {
        const auto index = static_cast<std::size_t>(design.picture) * 2 - 2;
        control = SpeedButton::Create(window_, place, IdNumber(design.id), pictures_[index],
                                      pictures_[index + 1]);
        break;
      }
      case layout::Kind::GroupBox:
        control = child(0, L"BUTTON", BS_GROUPBOX);
        break;
      case layout::Kind::Edit:
        control = child(WS_EX_CLIENTEDGE, L"EDIT", WS_TABSTOP | ES_AUTOHSCROLL);
        SetWindowSubclass(control, &MainWindow::RangeFieldProc, 1,
                          reinterpret_cast<DWORD_PTR>(this));
        break;
      case layout::Kind::ReadOnlyEdit:
        control = child(WS_EX_CLIENTEDGE, L"EDIT", WS_TABSTOP | ES_AUTOHSCROLL | ES_READONLY);
        SetWindowSubclass(control, &MainWindow::RangeFieldProc, 1,
                          reinterpret_cast<DWORD_PTR>(this));
        break;
      case layout::Kind::Button:
        control = child(0, L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON);
        break;
      case layout::Kind::BitBtn: {
        control = child(0, L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON);
        // Normal, hot, pressed, disabled, default, stylus-hot: the disabled
        // state has a picture of its own.
        const auto index = static_cast<std::size_t>(design.picture) * 2 - 2;
        HIMAGELIST list = ImageList_Create(Scaled(18), Scaled(18), ILC_COLOR32, 6, 0);
        for (std::size_t state = 0; state < 6; ++state)
          ImageList_AddIcon(list, pictures_[index + (state == 3 ? 1 : 0)]);
        BUTTON_IMAGELIST images{list, {Scaled(2), 0, 0, 0}, BUTTON_IMAGELIST_ALIGN_LEFT};
        SendMessageW(control, BCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(&images));
        imageLists_.push_back(list);
        break;
      }
      case layout::Kind::CheckBox:
        control = child(0, L"BUTTON", WS_TABSTOP | BS_AUTOCHECKBOX);
        SendMessageW(control, BM_SETCHECK, design.checked ? BST_CHECKED : BST_UNCHECKED, 0);
        break;
      case layout::Kind::StaticText:
      case layout::Kind::Label:
        control = child(0, L"STATIC", SS_LEFT | SS_NOPREFIX);
        break;
      case layout::Kind::StringGrid:
        grid_ = &StringGrid::Create(window_, place, IdNumber(design.id), dpi_, *this);
        control = grid_->Handle();
        break;
    }
    controls_[form::IndexOf(design.id)] = control;
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  };
  for (ControlId id : layout::kFocusOrder) make(layout::Of(id));
  for (const layout::Control& design : layout::kControls) make(design);
}

void MainWindow::Rescale(int dpi, const RECT& suggested) {
  // Moved to a monitor of another DPI: every place, the font and the grid's
  // cells follow; the pictures keep their size.
  dpi_ = dpi;
  HFONT old = font_;
  font_ = CreateFontW(-Scaled(layout::kFontPixelSize), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                      DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                      DEFAULT_PITCH | FF_SWISS, Wide(layout::kFontFace).c_str());
  SetWindowPos(window_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
               suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  for (const layout::Control& design : layout::kControls) {
    HWND control = design.id == ControlId::Window ? nullptr : Control(design.id);
    if (control == nullptr) continue;
    const RECT place = Place(design.id);
    SetWindowPos(control, nullptr, place.left, place.top, place.right - place.left,
                 place.bottom - place.top, SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
    FitToText(design.id);
  }
  grid_->SetDpi(dpi);
  if (old != nullptr) DeleteObject(old);
  InvalidateRect(window_, nullptr, TRUE);
}

HWND MainWindow::Control(ControlId id) const {
  if (id == ControlId::Window) return window_;
  return controls_[form::IndexOf(id)];
}

ControlId MainWindow::IdOf(HWND control) const {
  for (std::size_t i = 0; i < controls_.size(); ++i) {
    if (control != nullptr && controls_[i] == control) return layout::kControls[i].id;
  }
  return ControlId::Window;
}

// ---- ControlsView ----

void MainWindow::SetText(ControlId id, std::string_view text) {
  HWND control = Control(id);
  if (control == nullptr) return;
  showingText_ = true;
  SetWindowTextW(control, Wide(text).c_str());
  showingText_ = false;
  FitToText(id);
}

void MainWindow::FitToText(ControlId id) {
  const layout::Kind kind = layout::Of(id).kind;
  if (kind != layout::Kind::StaticText && kind != layout::Kind::Label) return;
  HWND control = Control(id);
  const int length = GetWindowTextLengthW(control);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  GetWindowTextW(control, text.data(), length + 1);
  HDC dc = GetDC(control);
  HGDIOBJ old = SelectObject(dc, font_);
  SIZE extent{};
  GetTextExtentPoint32W(dc, text.c_str(), length, &extent);
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  const RECT place = Place(id);
  const int width = layout::FittedWidth(kind, place.right - place.left, extent.cx);
  SetWindowPos(control, nullptr, 0, 0, width, place.bottom - place.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  InvalidateRect(window_, &place, TRUE);
}

void MainWindow::SetEnabled(ControlId id, bool enabled) {
  if (HWND control = Control(id); control != nullptr && id != ControlId::Window)
    EnableWindow(control, enabled ? TRUE : FALSE);
}

void MainWindow::SetChecked(ControlId id, bool checked) {
  SendMessageW(Control(id), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void MainWindow::SetTint(ControlId id, form::Rgb colour) {
  const std::size_t index = form::IndexOf(id);
  if (tints_[index] != nullptr) DeleteObject(tints_[index]);
  tintColours_[index] = ColourRef(colour);
  tints_[index] = CreateSolidBrush(tintColours_[index]);
  InvalidateRect(Control(id), nullptr, TRUE);
}

void MainWindow::SetFocus(ControlId id) {
  ::SetFocus(Control(id));
}

void MainWindow::RemoveMinimizeMaximizeBoxes() {
  const LONG_PTR style = GetWindowLongPtrW(window_, GWL_STYLE);
  SetWindowLongPtrW(window_, GWL_STYLE, style & ~(WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
  SetWindowPos(window_, nullptr, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void MainWindow::LanguageChanged(Language /*language*/) {
  // The system's own texts (dialog buttons, context menus) follow the
  // system's language, not the window's.
}

// ---- GridView ----

int MainWindow::Col() const {
  return grid_->Col();
}
int MainWindow::Row() const {
  return grid_->Row();
}
void MainWindow::SetCurrentCell(int column, int row) {
  grid_->SetCurrentCell(column, row);
}
int MainWindow::TopRow() const {
  return grid_->TopRow();
}
void MainWindow::PageDown() {
  SendMessageW(grid_->Handle(), WM_VSCROLL, SB_PAGEDOWN, 0);
}
void MainWindow::PageUp() {
  SendMessageW(grid_->Handle(), WM_VSCROLL, SB_PAGEUP, 0);
}
void MainWindow::BeginTableChange() {
  ++tableChangeDepth_;
}
void MainWindow::EndTableChange() {
  if (tableChangeDepth_ == 0 || --tableChangeDepth_ > 0) return;
  grid_->SetRowCount(form_->Table().RowCount());
}
void MainWindow::RowsChanged(int firstRow, int lastRow) {
  grid_->RowsChanged(firstRow, lastRow);
}
void MainWindow::RepaintNow() {
  UpdateWindow(grid_->Handle());
}

// ---- The grid's owner ----

void MainWindow::DrawCell(HDC dc, int column, int row, const RECT& rect, GridCellState state) {
  if (form_ == nullptr) return;  // still being made
  GdiCellCanvas canvas(dc, rect);
  form::GridDrawState drawState;
  drawState.selected = state.selected;
  drawState.focused = state.focused;
  form_->DrawCell(canvas, column, row, drawState);
}

void MainWindow::DoubleClicked() {
  Run([this] { form_->ToggleCurrentMarker(); });
}

void MainWindow::SpacePressed() {
  Run([this] { form_->ToggleMarkerOfCurrentRow(); });
}

// ---- Messages ----

LRESULT CALLBACK MainWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    auto* self = static_cast<MainWindow*>(create->lpCreateParams);
    self->window_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  return self->Handle(message, wParam, lParam);
}

LRESULT MainWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND: {
      const int number = LOWORD(wParam) - kFirstControlId;
      if (number >= 0 && number < static_cast<int>(form::kControlCount) && form_ != nullptr)
        Command(layout::kControls[static_cast<std::size_t>(number)].id, HIWORD(wParam));
      return 0;
    }
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
      if (HBRUSH brush = ColourFor(reinterpret_cast<HWND>(lParam), reinterpret_cast<HDC>(wParam)))
        return reinterpret_cast<LRESULT>(brush);
      break;
    case WM_SETCURSOR:
      if (SetCursorFor(reinterpret_cast<HWND>(wParam))) return TRUE;
      break;
    case DM_GETDEFID: {
      // No default button: Enter presses the focused push button, if any,
      // and nothing else (the dialog manager asks this before sending IDOK).
      const ControlId focused = IdOf(GetFocus());
      const layout::Kind kind = layout::Of(focused).kind;
      if (focused != ControlId::Window &&
          (kind == layout::Kind::Button || kind == layout::Kind::BitBtn)) {
        return MAKELRESULT(IdNumber(focused), DC_HASDEFID);
      }
      return 0;
    }
    case WM_DROPFILES:
      FilesDropped(reinterpret_cast<HDROP>(wParam));
      return 0;
    case WM_PAINT: {
      // Panel: the raised panel under every control.
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window_, &paint);
      RECT panel = Place(ControlId::Panel);
      DrawEdge(dc, &panel, BDR_RAISEDINNER, BF_RECT);
      EndPaint(window_, &paint);
      return 0;
    }
    case WM_DPICHANGED:
      Rescale(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
      return 0;
    case WM_CLOSE:
      DestroyWindow(window_);
      return 0;
    case WM_DESTROY:
      if (quitWhenClosed_) PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY:
      window_ = nullptr;
      break;
    default:
      break;
  }
  return DefWindowProcW(window_, message, wParam, lParam);
}

void MainWindow::Command(ControlId id, int notification) {
  if (notification == EN_CHANGE) {
    if (showingText_) return;
    HWND control = Control(id);
    const int length = GetWindowTextLengthW(control);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    GetWindowTextW(control, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(length));
    form_->TextEdited(id, Utf8(text));
    return;
  }
  if (notification != BN_CLICKED) return;
  if (layout::Of(id).kind == layout::Kind::CheckBox) {
    form_->CheckBoxToggled(id, SendMessageW(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED);
    return;
  }
  Run([this, id] { form_->Click(id); });
}

HBRUSH MainWindow::ColourFor(HWND control, HDC dc) {
  const ControlId id = IdOf(control);
  if (id == ControlId::Status) {
    SetTextColor(dc, ColourRef(layout::kStatusTextColour));
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    return statusBrush_;
  }
  const std::size_t index = form::IndexOf(id);
  if (id == ControlId::Window || tints_[index] == nullptr) return nullptr;
  SetBkColor(dc, tintColours_[index]);
  return tints_[index];
}

bool MainWindow::SetCursorFor(HWND control) {
  if (services_.BusyCursorShown()) {
    SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    return true;
  }
  const wchar_t* cursor = nullptr;
  switch (layout::Of(IdOf(control)).cursor) {
    case layout::Cursor::Hand:
      cursor = IDC_HAND;
      break;
    case layout::Cursor::Help:
      cursor = IDC_HELP;
      break;
    case layout::Cursor::Arrow:
      cursor = IDC_ARROW;
      break;
    case layout::Cursor::Default:
      return false;
  }
  SetCursor(LoadCursorW(nullptr, cursor));
  return true;
}

void MainWindow::FilesDropped(HDROP drop) {
  POINT point{};
  DragQueryPoint(drop, &point);
  std::wstring path;
  const UINT files = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  if (files == 1) {
    path.resize(DragQueryFileW(drop, 0, nullptr, 0) + 1);
    path.resize(DragQueryFileW(drop, 0, path.data(), static_cast<UINT>(path.size())));
  }
  DragFinish(drop);
  const DWORD attributes =
      path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(path.c_str());
  const bool folder =
      attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if (!form::WindowLogic::DropChoosesFile(files, !path.empty(), folder)) return;
  // The smallest control under the point that takes a file: a file dropped
  // on a button in a group is the group's.
  const layout::Control* target = nullptr;
  long targetArea = 0;
  for (const layout::Control& design : layout::kControls) {
    if (!form::WindowLogic::FileDropTarget(design.id)) continue;
    const RECT place = Place(design.id);
    if (!PtInRect(&place, point)) continue;
    const long area = (place.right - place.left) * (place.bottom - place.top);
    if (target == nullptr || area < targetArea) {
      target = &design;
      targetArea = area;
    }
  }
  if (target == nullptr) return;
  const std::string chosen = Utf8(path);
  Run([this, target, &chosen] { form_->FileDropped(target->id, chosen); });
}

// ---- Range and file fields ----

LRESULT CALLBACK MainWindow::RangeFieldProc(HWND field, UINT message, WPARAM wParam, LPARAM lParam,
                                            UINT_PTR /*subclass*/, DWORD_PTR self) {
  return reinterpret_cast<MainWindow*>(self)->RangeField(field, message, wParam, lParam);
}

LRESULT MainWindow::RangeField(HWND field, UINT message, WPARAM wParam, LPARAM lParam) {
  const ControlId id = IdOf(field);
  const bool range = form::WindowLogic::IsRangeField(id);
  switch (message) {
    case WM_GETDLGCODE:
      // A file name field keeps its caret where it is when tabbed into,
      // instead of having its text selected.
      if (!range) return DefSubclassProc(field, message, wParam, lParam) & ~DLGC_HASSETSEL;
      break;
    case WM_CHAR: {
      if (!range || form_ == nullptr) break;
      // Ctrl+A, C, V, X and Z are the field's editing commands, not typed
      // characters; a paste goes through WM_PASTE below.
      const bool control = GetKeyState(VK_CONTROL) < 0;
      if (control && (wParam == 0x01 || wParam == 0x03 || wParam == 0x16 || wParam == 0x18 ||
                      wParam == 0x1A)) {
        break;
      }
      char key = wParam < 0x80 ? static_cast<char>(wParam) : '?';
      form_->KeyPress(id, key);
      if (key == '\0') return 0;
      break;
    }
    case WM_PASTE:
      if (!range || form_ == nullptr) break;
      Paste(field);
      return 0;
    case WM_KEYUP: {
      const LRESULT result = DefSubclassProc(field, message, wParam, lParam);
      if (range && form_ != nullptr) Run([this, id] { form_->KeyUp(id); });
      return result;
    }
    case WM_NCDESTROY:
      RemoveWindowSubclass(field, &MainWindow::RangeFieldProc, 1);
      break;
    default:
      break;
  }
  return DefSubclassProc(field, message, wParam, lParam);
}

void MainWindow::Paste(HWND field) {
  std::wstring text;
  if (OpenClipboard(field)) {
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
      if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
        text = chars;
        GlobalUnlock(data);
      }
    }
    CloseClipboard();
  }
  const std::string kept = form_->FilterRangeText(IdOf(field), Utf8(text), true);
  SendMessageW(field, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(Wide(kept).c_str()));
}

}  // namespace vips::win32
