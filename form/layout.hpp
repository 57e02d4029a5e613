#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "form/control_id.hpp"
#include "form/texts.hpp"
#include "form/views.hpp"

// The window's design as data: every control with its kind, parent, place,
// size, cursor, picture, colours and texts in both languages, and the focus
// order. Both views build their controls from these tables.
namespace vips::form::layout {

enum class Kind {
  Window,
  Panel,        // raised panel under everything
  SpeedButton,  // picture only, never takes the focus
  GroupBox,
  Edit,          // single-line edit field
  ReadOnlyEdit,  // file name field: keeps the caret at the end on entry
  Button,
  BitBtn,  // push button with a picture left of its caption
  CheckBox,
  StaticText,  // the status line: sizes itself to its text, never takes the focus
  Label,       // sizes itself to its caption, never below its designed width
  StringGrid,
};

enum class Cursor { Default, Hand, Help, Arrow };

enum class Picture {
  None,
  FlagUk,     // 22 × 15; greyed while disabled
  FlagRu,     // 22 × 15; greyed while disabled
  CheckMark,  // a strip of two 18 × 18 images: normal, disabled
  Retry,      // 18 × 18, with its own disabled image
  Help,       // 18 × 18, with its own disabled image
};

struct Control {
  ControlId id;
  std::string_view name;  // the design's name, also the toolkit object's
  Kind kind;
  ControlId parent;  // Form1 for the window's own controls (and for Form1)
  int left;          // within the parent's client area
  int top;
  int width;
  int height;
  Cursor cursor = Cursor::Default;
  Picture picture = Picture::None;
  // The text as designed, before start-up picks a language. The design is
  // English; the Russian column is what the language switch assigns.
  texts::Bilingual caption{};
  bool checked = false;  // check boxes: checked at start
};

// The window: client area, place on the screen at start, and the face every
// control uses (with stand-ins of similar width where it is missing).
inline constexpr int kClientWidth = 614;
inline constexpr int kClientHeight = 379;
inline constexpr int kStartLeft = 200;
inline constexpr int kStartTop = 124;
inline constexpr std::string_view kFontFace = "MS Sans Serif";
inline constexpr int kFontPixelSize = 11;

// The grid: 4 columns of 82 pixels and rows of 16, each followed by a
// 1-pixel line; 12 rows before any patch; 12 whole rows visible; no heading
// row or column; vertical scroll bar only.
inline constexpr int kGridColumnWidth = 82;
inline constexpr int kGridRowHeight = 16;
inline constexpr int kGridLineWidth = 1;
inline constexpr int kGridRowsAtStart = 12;
inline constexpr int kGridWholeRowsShown = 12;

// The status line's text colour (magenta, on the button face).
inline constexpr Rgb kStatusTextColour{255, 0, 255};

// The edit fields' tints, set by start-up.
struct Tint {
  ControlId id;
  Rgb colour;
};
inline constexpr std::array kTints = std::to_array<Tint>({
    {ControlId::Edit1, {204, 255, 204}},
    {ControlId::Edit2, {204, 255, 204}},
    {ControlId::Edit3, {170, 191, 204}},
    {ControlId::Edit4, {170, 191, 204}},
    {ControlId::Edit5, {204, 191, 204}},
    {ControlId::Edit6, {204, 191, 204}},
    {ControlId::Edit7, {221, 191, 204}},
    {ControlId::Edit8, {221, 191, 204}},
});

inline constexpr texts::Bilingual kOne{"1", "1"};

using enum ControlId;

// In creation order: a parent comes before its children; the panel lies
// beneath every other control.
inline constexpr std::array kControls = std::to_array<Control>({
    {Form1, "Form1", Kind::Window, Form1, kStartLeft, kStartTop, kClientWidth, kClientHeight,
     Cursor::Default, Picture::None, texts::kWindowTitleAtStart},
    {Panel1, "Panel1", Kind::Panel, Form1, 0, 0, kClientWidth, kClientHeight},
    {SpeedButton1, "SpeedButton1", Kind::SpeedButton, Panel1, 301, 352, 38, 24, Cursor::Hand,
     Picture::FlagUk},
    {SpeedButton2, "SpeedButton2", Kind::SpeedButton, Panel1, 338, 352, 38, 24, Cursor::Hand,
     Picture::FlagRu},
    {GroupBox1, "GroupBox1", Kind::GroupBox, Form1, 8, 4, 473, 57, Cursor::Default, Picture::None,
     texts::kGroupBox1},
    {Edit1, "Edit1", Kind::ReadOnlyEdit, GroupBox1, 8, 20, 385, 21, Cursor::Arrow, Picture::None,
     texts::kOriginalPlaceholder},
    {Button1, "Button1", Kind::Button, GroupBox1, 400, 19, 65, 22, Cursor::Hand, Picture::None,
     texts::kSelectButton},
    {GroupBox2, "GroupBox2", Kind::GroupBox, Form1, 8, 60, 473, 57, Cursor::Default, Picture::None,
     texts::kGroupBox2},
    {Edit2, "Edit2", Kind::ReadOnlyEdit, GroupBox2, 8, 19, 385, 21, Cursor::Arrow, Picture::None,
     texts::kPatchPlaceholder},
    {Button2, "Button2", Kind::Button, GroupBox2, 400, 19, 65, 22, Cursor::Hand, Picture::None,
     texts::kSelectButton},
    {BitBtn2, "BitBtn2", Kind::BitBtn, Form1, 381, 125, 100, 25, Cursor::Hand, Picture::CheckMark,
     texts::kBitBtn2},
    {GroupBox3, "GroupBox3", Kind::GroupBox, Form1, 8, 120, 369, 233, Cursor::Default,
     Picture::None, texts::kGroupBox3},
    {StringGrid1, "StringGrid1", Kind::StringGrid, GroupBox3, 8, 16, 353, 209},
    {Button3, "Button3", Kind::Button, Form1, 381, 155, 100, 25, Cursor::Hand, Picture::None,
     texts::kButton3},
    {Button4, "Button4", Kind::Button, Form1, 381, 183, 100, 25, Cursor::Hand, Picture::None,
     texts::kButton4},
    {Button5, "Button5", Kind::Button, Form1, 381, 211, 100, 25, Cursor::Hand, Picture::None,
     texts::kButton5},
    {Button7, "Button7", Kind::Button, Form1, 381, 239, 100, 25, Cursor::Hand, Picture::None,
     texts::kButton7},
    {Button6, "Button6", Kind::Button, Form1, 381, 267, 100, 25, Cursor::Hand, Picture::None,
     texts::kButton6},
    {BitBtn3, "BitBtn3", Kind::BitBtn, Form1, 381, 297, 100, 27, Cursor::Hand, Picture::Retry,
     texts::kBitBtn3},
    {BitBtn1, "BitBtn1", Kind::BitBtn, Form1, 381, 327, 100, 25, Cursor::Help, Picture::Help,
     texts::kBitBtn1},
    {CheckBox1, "CheckBox1", Kind::CheckBox, Form1, 8, 358, 201, 17, Cursor::Default, Picture::None,
     texts::kCheckBox1, true},
    {CheckBox2, "CheckBox2", Kind::CheckBox, Form1, 212, 358, 81, 17, Cursor::Default,
     Picture::None, texts::kCheckBox2, true},
    {StaticText1, "StaticText1", Kind::StaticText, Form1, 381, 358, 228, 17, Cursor::Default,
     Picture::None, texts::kNeutralStatus},
    {GroupBox4, "GroupBox4", Kind::GroupBox, Form1, 487, 4, 121, 349, Cursor::Default,
     Picture::None, texts::kGroupBox4},
    {Label1, "Label1", Kind::Label, GroupBox4, 8, 32, 20, 13, Cursor::Default, Picture::None,
     texts::kFromLabel},
    {Edit3, "Edit3", Kind::Edit, GroupBox4, 32, 29, 81, 21, Cursor::Default, Picture::None, kOne},
    {Label4, "Label4", Kind::Label, GroupBox4, 8, 63, 9, 13, Cursor::Default, Picture::None,
     texts::kToLabel},
    {Edit4, "Edit4", Kind::Edit, GroupBox4, 32, 60, 81, 21, Cursor::Default, Picture::None, kOne},
    {Button8, "Button8", Kind::Button, GroupBox4, 8, 96, 103, 25, Cursor::Default, Picture::None,
     texts::kButton8},
    {Label2, "Label2", Kind::Label, GroupBox4, 8, 141, 20, 13, Cursor::Default, Picture::None,
     texts::kFromLabel},
    {Edit5, "Edit5", Kind::Edit, GroupBox4, 32, 138, 81, 21, Cursor::Default, Picture::None, kOne},
    {Label5, "Label5", Kind::Label, GroupBox4, 8, 171, 9, 13, Cursor::Default, Picture::None,
     texts::kToLabel},
    {Edit6, "Edit6", Kind::Edit, GroupBox4, 32, 168, 81, 21, Cursor::Default, Picture::None, kOne},
    {Button9, "Button9", Kind::Button, GroupBox4, 11, 204, 100, 25, Cursor::Default, Picture::None,
     texts::kButton9},
    {Label3, "Label3", Kind::Label, GroupBox4, 8, 253, 20, 13, Cursor::Default, Picture::None,
     texts::kFromLabel},
    {Edit7, "Edit7", Kind::Edit, GroupBox4, 32, 250, 81, 21, Cursor::Default, Picture::None, kOne},
    {Label6, "Label6", Kind::Label, GroupBox4, 8, 285, 9, 13, Cursor::Default, Picture::None,
     texts::kToLabel},
    {Edit8, "Edit8", Kind::Edit, GroupBox4, 32, 282, 81, 21, Cursor::Default, Picture::None, kOne},
    {Button10, "Button10", Kind::Button, GroupBox4, 11, 314, 100, 25, Cursor::Default,
     Picture::None, texts::kButton10},
});
static_assert(kControls.size() == kControlCount);
// Each control's row stands at its id's index.
static_assert([] {
  for (std::size_t i = 0; i < kControls.size(); ++i) {
    if (IndexOf(kControls[i].id) != i) return false;
  }
  return true;
}());

// The row of a control in kControls.
[[nodiscard]] constexpr const Control& Of(ControlId id) {
  return kControls[IndexOf(id)];
}

// Keyboard focus order; "Page Down" comes before "Page Up" although it
// stands below it. Recover takes its place only while enabled.
inline constexpr std::array kFocusOrder = std::to_array<ControlId>({
    Edit1,   Button1, Edit2,   Button2, BitBtn2, BitBtn1,  CheckBox1, StringGrid1,
    Button3, Button4, Button5, Button6, Button7, Edit3,    Edit4,     Button8,
    Edit5,   Edit6,   Button9, Edit7,   Edit8,   Button10, BitBtn3,   CheckBox2,
});

}  // namespace vips::form::layout
