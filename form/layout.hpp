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
  ControlId parent;  // Window for the window's own controls (and for Window)
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
// A page of the grid, as the scroll bar's page areas and the page keys move
// it: the last fully visible row becomes the first, and at least one row.
[[nodiscard]] constexpr int GridPageStep(int wholeRowsShown) {
  return wholeRowsShown > 2 ? wholeRowsShown - 1 : 1;
}

// The status line's text colour (magenta, on the button face).
inline constexpr Rgb kStatusTextColour{255, 0, 255};

// The edit fields' tints, set by start-up.
struct Tint {
  ControlId id;
  Rgb colour;
};
inline constexpr std::array kTints = std::to_array<Tint>({
    {ControlId::OriginalField, {204, 255, 204}},
    {ControlId::PatchField, {204, 255, 204}},
    {ControlId::ExecuteFrom, {170, 191, 204}},
    {ControlId::ExecuteTo, {170, 191, 204}},
    {ControlId::CancelFrom, {204, 191, 204}},
    {ControlId::CancelTo, {204, 191, 204}},
    {ControlId::InvertFrom, {221, 191, 204}},
    {ControlId::InvertTo, {221, 191, 204}},
});

inline constexpr texts::Bilingual kOne{"1", "1"};

using enum ControlId;

// In creation order: a parent comes before its children; the panel lies
// beneath every other control.
inline constexpr std::array kControls = std::to_array<Control>({
    {Window, "Form1", Kind::Window, Window, kStartLeft, kStartTop, kClientWidth, kClientHeight,
     Cursor::Default, Picture::None, texts::kWindowTitleAtStart},
    {Panel, "Panel1", Kind::Panel, Window, 0, 0, kClientWidth, kClientHeight},
    {EnglishButton, "SpeedButton1", Kind::SpeedButton, Panel, 301, 352, 38, 24, Cursor::Hand,
     Picture::FlagUk},
    {RussianButton, "SpeedButton2", Kind::SpeedButton, Panel, 338, 352, 38, 24, Cursor::Hand,
     Picture::FlagRu},
    {OriginalGroup, "GroupBox1", Kind::GroupBox, Window, 8, 4, 473, 57, Cursor::Default,
     Picture::None, texts::kOriginalGroupCaption},
    {OriginalField, "Edit1", Kind::ReadOnlyEdit, OriginalGroup, 8, 20, 385, 21, Cursor::Arrow,
     Picture::None, texts::kOriginalPlaceholder},
    {ChooseOriginal, "Button1", Kind::Button, OriginalGroup, 400, 19, 65, 22, Cursor::Hand,
     Picture::None, texts::kSelectButton},
    {PatchGroup, "GroupBox2", Kind::GroupBox, Window, 8, 60, 473, 57, Cursor::Default,
     Picture::None, texts::kPatchGroupCaption},
    {PatchField, "Edit2", Kind::ReadOnlyEdit, PatchGroup, 8, 19, 385, 21, Cursor::Arrow,
     Picture::None, texts::kPatchPlaceholder},
    {ChoosePatch, "Button2", Kind::Button, PatchGroup, 400, 19, 65, 22, Cursor::Hand, Picture::None,
     texts::kSelectButton},
    {Go, "BitBtn2", Kind::BitBtn, Window, 381, 125, 100, 25, Cursor::Hand, Picture::CheckMark,
     texts::kGoCaption},
    {RecordsGroup, "GroupBox3", Kind::GroupBox, Window, 8, 120, 369, 233, Cursor::Default,
     Picture::None, texts::kRecordsGroupCaption},
    {Grid, "StringGrid1", Kind::StringGrid, RecordsGroup, 8, 16, 353, 209},
    {ExecuteAll, "Button3", Kind::Button, Window, 381, 155, 100, 25, Cursor::Hand, Picture::None,
     texts::kExecuteAllCaption},
    {CancelAll, "Button4", Kind::Button, Window, 381, 183, 100, 25, Cursor::Hand, Picture::None,
     texts::kCancelAllCaption},
    {InvertAll, "Button5", Kind::Button, Window, 381, 211, 100, 25, Cursor::Hand, Picture::None,
     texts::kInvertAllCaption},
    {PageUp, "Button7", Kind::Button, Window, 381, 239, 100, 25, Cursor::Hand, Picture::None,
     texts::kPageUpCaption},
    {PageDown, "Button6", Kind::Button, Window, 381, 267, 100, 25, Cursor::Hand, Picture::None,
     texts::kPageDownCaption},
    {Recover, "BitBtn3", Kind::BitBtn, Window, 381, 297, 100, 27, Cursor::Hand, Picture::Retry,
     texts::kRecoverCaption},
    {About, "BitBtn1", Kind::BitBtn, Window, 381, 327, 100, 25, Cursor::Help, Picture::Help,
     texts::kAboutCaption},
    {BackupCheck, "CheckBox1", Kind::CheckBox, Window, 8, 358, 201, 17, Cursor::Default,
     Picture::None, texts::kBackupCaption, true},
    {MessagesCheck, "CheckBox2", Kind::CheckBox, Window, 212, 358, 81, 17, Cursor::Default,
     Picture::None, texts::kMessagesCaption, true},
    {Status, "StaticText1", Kind::StaticText, Window, 381, 358, 228, 17, Cursor::Default,
     Picture::None, texts::kNeutralStatus},
    {RangesGroup, "GroupBox4", Kind::GroupBox, Window, 487, 4, 121, 349, Cursor::Default,
     Picture::None, texts::kRangesGroupCaption},
    {ExecuteFromLabel, "Label1", Kind::Label, RangesGroup, 8, 32, 20, 13, Cursor::Default,
     Picture::None, texts::kFromLabel},
    {ExecuteFrom, "Edit3", Kind::Edit, RangesGroup, 32, 29, 81, 21, Cursor::Default, Picture::None,
     kOne},
    {ExecuteToLabel, "Label4", Kind::Label, RangesGroup, 8, 63, 9, 13, Cursor::Default,
     Picture::None, texts::kToLabel},
    {ExecuteTo, "Edit4", Kind::Edit, RangesGroup, 32, 60, 81, 21, Cursor::Default, Picture::None,
     kOne},
    {ExecuteRange, "Button8", Kind::Button, RangesGroup, 8, 96, 103, 25, Cursor::Default,
     Picture::None, texts::kExecuteRangeCaption},
    {CancelFromLabel, "Label2", Kind::Label, RangesGroup, 8, 141, 20, 13, Cursor::Default,
     Picture::None, texts::kFromLabel},
    {CancelFrom, "Edit5", Kind::Edit, RangesGroup, 32, 138, 81, 21, Cursor::Default, Picture::None,
     kOne},
    {CancelToLabel, "Label5", Kind::Label, RangesGroup, 8, 171, 9, 13, Cursor::Default,
     Picture::None, texts::kToLabel},
    {CancelTo, "Edit6", Kind::Edit, RangesGroup, 32, 168, 81, 21, Cursor::Default, Picture::None,
     kOne},
    {CancelRange, "Button9", Kind::Button, RangesGroup, 11, 204, 100, 25, Cursor::Default,
     Picture::None, texts::kCancelRangeCaption},
    {InvertFromLabel, "Label3", Kind::Label, RangesGroup, 8, 253, 20, 13, Cursor::Default,
     Picture::None, texts::kFromLabel},
    {InvertFrom, "Edit7", Kind::Edit, RangesGroup, 32, 250, 81, 21, Cursor::Default, Picture::None,
     kOne},
    {InvertToLabel, "Label6", Kind::Label, RangesGroup, 8, 285, 9, 13, Cursor::Default,
     Picture::None, texts::kToLabel},
    {InvertTo, "Edit8", Kind::Edit, RangesGroup, 32, 282, 81, 21, Cursor::Default, Picture::None,
     kOne},
    {InvertRange, "Button10", Kind::Button, RangesGroup, 11, 314, 100, 25, Cursor::Default,
     Picture::None, texts::kInvertRangeCaption},
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

// The width that a control showing `textWidth` pixels of text takes: the
// status line follows its text, a label never shrinks below its designed
// width (`designedWidth`, in the view's scale); other controls keep theirs.
[[nodiscard]] constexpr int FittedWidth(Kind kind, int designedWidth, int textWidth) {
  if (kind == Kind::StaticText) return textWidth;
  if (kind == Kind::Label) return textWidth > designedWidth ? textWidth : designedWidth;
  return designedWidth;
}

// Keyboard focus order; "Page Down" comes before "Page Up" although it
// stands below it. Recover takes its place only while enabled.
inline constexpr std::array kFocusOrder = std::to_array<ControlId>({
    OriginalField, ChooseOriginal, PatchField, ChoosePatch,  Go,         About,
    BackupCheck,   Grid,           ExecuteAll, CancelAll,    InvertAll,  PageDown,
    PageUp,        ExecuteFrom,    ExecuteTo,  ExecuteRange, CancelFrom, CancelTo,
    CancelRange,   InvertFrom,     InvertTo,   InvertRange,  Recover,    MessagesCheck,
});

}  // namespace vips::form::layout
