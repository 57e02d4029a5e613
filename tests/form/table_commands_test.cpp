// The table commands, the double-click and Space toggles, paging, the cell
// colours, and the range fields: key filter, clamp, normalisation, commands.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fake_view.hpp"
#include "support/ips.hpp"
#include "support/session.hpp"

namespace vips::form::testing {
namespace {

constexpr std::string_view kExecute = "Execute";
constexpr std::string_view kSkip = "No                   *";
constexpr std::string_view kExecuteRu = "Выполнить";

// A window whose table lists `rows` records with the given markers.
struct TableWindow : FakeWindow {
  explicit TableWindow(const std::vector<std::string_view>& markers, int locale = kEnglishLocale)
      : FakeWindow(locale) {
    form.Table().SetRowCount(static_cast<int>(markers.size()));
    for (int row = 0; row < static_cast<int>(markers.size()); ++row) {
      form.Table().SetNumberCell(row, row + 1);
      form.Table().SetMarkerCell(row, markers[static_cast<std::size_t>(row)]);
    }
  }
  [[nodiscard]] std::vector<std::string> Markers() const {
    std::vector<std::string> out;
    for (int row = 0; row < form.Table().RowCount(); ++row)
      out.push_back(form.Table().Cell(PatchTable::kMarkerColumn, row));
    return out;
  }
};

using Markers = std::vector<std::string>;

Markers MarkerTexts(const WindowLogic& form, int count) {
  Markers out;
  for (int row = 0; row < count; ++row) out.push_back(form.Table().Cell(3, row));
  return out;
}

TEST(TableCommandsTest, WholeTableCommandsWriteTheInterfaceLanguage) {
  struct Case {
    int locale;
    std::string execute;
    std::string skip;
    std::string foreignExecute;
  };
  const std::string skipRu = "Нет                  *";
  const Case cases[] = {
      {kEnglishLocale, std::string(kExecute), std::string(kSkip), std::string(kExecuteRu)},
      {kRussianLocale, std::string(kExecuteRu), skipRu, std::string(kExecute)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.locale);
    const std::string& e = c.execute;
    const std::string& k = c.skip;
    Session s(c.locale);
    s.Prepare("0123", PatchOfOneByteRecords(4));
    // One space short of a skip marker is no marker: Invert makes it execute.
    s.form.Table().SetCell(3, 1, k.substr(0, k.size() - 2) + "*");
    s.form.Table().SetCell(3, 2, c.foreignExecute);
    s.form.Table().SetCell(3, 3, k);
    s.Forget();

    s.form.InvertAll();
    EXPECT_EQ(MarkerTexts(s.form, 4), (Markers{k, e, e, e}));
    s.form.CancelAll();
    EXPECT_EQ(MarkerTexts(s.form, 4), (Markers{k, k, k, k}));
    s.form.InvertAll();
    EXPECT_EQ(MarkerTexts(s.form, 4), (Markers{e, e, e, e}));
    s.form.InvertAll();
    s.form.ExecuteAll();
    EXPECT_EQ(MarkerTexts(s.form, 4), (Markers{e, e, e, e}));
    // Each command works under the busy cursor and reports nothing.
    std::vector<std::string> events;
    for (int click = 0; click < 5; ++click) events.insert(events.end(), {"busy", "normal"});
    EXPECT_EQ(s.services.events, events);
    EXPECT_EQ(s.form.Table().Cell(0, 3), "4");  // only marker cells change
    EXPECT_EQ(s.view.changedRows.back(), (std::pair<int, int>{0, 3}));
  }
}

TEST(TableCommandsTest, DoubleClickAndSpaceToggleInTheMarkersOwnLanguage) {
  TableWindow w({kExecute, kExecuteRu, "Execute "});
  w.view.SetCurrentCell(PatchTable::kMarkerColumn, 1);
  w.form.ToggleCurrentMarker();
  EXPECT_EQ(w.Markers()[1], "Нет                  *");
  // Space makes the marker cell current, whichever column was.
  w.view.SetCurrentCell(0, 0);
  w.form.ToggleMarkerOfCurrentRow();
  EXPECT_EQ(w.view.Col(), PatchTable::kMarkerColumn);
  EXPECT_EQ(w.Markers()[0], kSkip);
  // A marker that is none of the four is left alone, as are other columns.
  w.view.SetCurrentCell(PatchTable::kMarkerColumn, 2);
  w.form.ToggleCurrentMarker();
  w.view.SetCurrentCell(0, 0);
  w.form.ToggleCurrentMarker();
  EXPECT_EQ(w.Markers(), (Markers{std::string(kSkip), "Нет                  *", "Execute "}));
  EXPECT_EQ(w.form.Table().Cell(0, 0), "1");
  EXPECT_TRUE(w.services.events.empty());
}

TEST(TableCommandsTest, PagingMakesTheLastWholeRowTheTop) {
  TableWindow w(std::vector<std::string_view>(30, kExecute));
  std::vector<int> tops;
  for (auto page : {&WindowLogic::PageDown, &WindowLogic::PageDown, &WindowLogic::PageDown,
                    &WindowLogic::PageUp, &WindowLogic::PageUp, &WindowLogic::PageUp}) {
    (w.form.*page)();
    tops.push_back(w.view.TopRow());
  }
  EXPECT_EQ(tops, (std::vector<int>{11, 18, 18, 7, 0, 0}));
  // The scroll gives the table the focus; the current cell stays.
  EXPECT_EQ(w.view.focus, ControlId::Grid);
  EXPECT_EQ(w.view.Row(), 0);
}

// Records what the drawing handler does to one cell.
struct RecordingCanvas : CellCanvas {
  void SetTextColour(Rgb colour) override { text = colour; }
  void FillCell(Rgb colour) override { fill = colour; }
  void DrawText(std::string_view shown) override { drawn = shown; }
  std::optional<Rgb> text;
  std::optional<Rgb> fill;
  std::string drawn;
};

TEST(TableCommandsTest, CellsAreDrawnInTheirColumnColours) {
  TableWindow w({kExecute});
  w.form.Table().SetAddressCell(PatchTable::kFirstAddressColumn, 0, 0xAB);
  struct Case {
    int column;
    bool focused;
    Rgb fill;
    std::string text;
  };
  const Case cases[] = {
      {0, false, {0xFF, 0xFF, 0x99}, "1"},      {0, true, {0xFF, 0xFF, 0x99}, "1"},
      {1, false, {0xCC, 0xFF, 0xCC}, "AB"},     {1, true, {0xA6, 0xCA, 0xF0}, "AB"},
      {2, true, {0xA6, 0xCA, 0xF0}, ""},        {3, false, {0xFF, 0xCC, 0xCC}, "Execute"},
      {3, true, {0xFF, 0xCC, 0xCC}, "Execute"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.column * 2 + c.focused);
    RecordingCanvas canvas;
    GridDrawState state;
    state.focused = c.focused;
    w.form.DrawCell(canvas, c.column, 0, state);
    EXPECT_EQ(canvas.fill, c.fill);
    EXPECT_EQ(canvas.drawn, c.text);
    // Only the focused cell sets its own (black) text colour.
    EXPECT_EQ(canvas.text, c.focused ? std::optional<Rgb>(Rgb{0, 0, 0}) : std::nullopt);
  }
}

TEST(RangeFieldsTest, KeyFilterKeepsDigitsAndBackspace) {
  FakeWindow w;
  for (ControlId field : {ControlId::ExecuteFrom, ControlId::ExecuteTo, ControlId::CancelFrom,
                          ControlId::CancelTo, ControlId::InvertFrom, ControlId::InvertTo}) {
    std::string kept;
    for (int code = 1; code < 128; ++code) {
      char key = static_cast<char>(code);
      w.form.KeyPress(field, key);
      if (key != '\0') kept += key;
    }
    EXPECT_EQ(kept, "\b0123456789");
  }
  // Other controls take every key.
  char key = 'a';
  w.form.KeyPress(ControlId::OriginalField, key);
  EXPECT_EQ(key, 'a');
}

TEST(RangeFieldsTest, TextArrivingAtOnceIsFilteredCharacterByCharacter) {
  FakeWindow w;
  struct Case {
    std::string text;
    bool pasted;
    std::string kept;
  };
  const Case cases[] = {
      {"12ab3", false, "123"},
      {"-5", true, "5"},
      {"1\b2", false, "1\b2"},
      {"1\b2", true, "12"},
      // Digits of other scripts are no digits: "١٢" (Arabic-Indic), "１" (full width).
      {"\xD9\xA1\xD9\xA2\xEF\xBC\x91"
       "7",
       true, "7"},
      {"", true, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(w.form.FilterRangeText(ControlId::ExecuteFrom, c.text, c.pasted), c.kept);
  }
  EXPECT_EQ(w.form.FilterRangeText(ControlId::OriginalField, "ab", true), "ab");
}

TEST(RangeFieldsTest, KeyReleaseClampsToTheRowCount) {
  struct Case {
    int rows;
    std::string typed;
    std::string shown;
    std::vector<std::string> errors;
  };
  const Case cases[] = {
      {12, "99", "12", {}},
      {40, "99", "40", {}},
      {40, "7", "7", {}},
      {0, "5", "1", {}},  // never a bound below 1
      {12, "99999999999", "99999999999", {"'99999999999' is not a valid integer value."}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    FakeWindow w;
    w.form.Table().SetRowCount(c.rows);
    w.Edit(ControlId::ExecuteTo, "");
    w.Type(ControlId::ExecuteTo, c.typed);
    EXPECT_EQ(w.Shown(ControlId::ExecuteTo), c.shown);
    EXPECT_EQ(w.form.Text(ControlId::ExecuteTo), c.shown);
    EXPECT_EQ(w.services.errors, c.errors);
  }
  // An emptied field stays empty until a command fills it.
  FakeWindow w;
  w.Type(ControlId::CancelTo, "\b");
  EXPECT_EQ(w.Shown(ControlId::CancelTo), "");
}

// The markers of the first `count` rows as letters: E execute, S skip, - none.
std::string MarkerLetters(const WindowLogic& form, int count) {
  std::string letters;
  for (int row = 0; row < count; ++row) {
    const std::string marker = form.Table().Cell(PatchTable::kMarkerColumn, row);
    letters += marker == kExecute ? 'E' : marker == kSkip ? 'S' : marker.empty() ? '-' : '?';
  }
  return letters;
}

void SetMarkerLetters(WindowLogic& form, std::string_view letters) {
  for (int row = 0; row < static_cast<int>(letters.size()); ++row) {
    form.Table().SetCell(PatchTable::kMarkerColumn, row,
                         letters[static_cast<std::size_t>(row)] == 'E' ? kExecute : kSkip);
  }
}

constexpr ControlId kRangeFields[] = {ControlId::ExecuteFrom, ControlId::ExecuteTo,
                                      ControlId::CancelFrom,  ControlId::CancelTo,
                                      ControlId::InvertFrom,  ControlId::InvertTo};

// Texts put into the range fields as pasting would, unfiltered.
void SetRangeTexts(FakeWindow& w, const std::vector<std::string>& texts) {
  for (std::size_t i = 0; i < texts.size(); ++i) w.Edit(kRangeFields[i], texts[i]);
}

std::vector<std::string> RangeTexts(const FakeWindow& w) {
  std::vector<std::string> texts;
  for (const ControlId field : kRangeFields) texts.push_back(w.Shown(field));
  return texts;
}

TEST(RangeFieldsTest, RangeCommandsChangeTheRowsOfTheRange) {
  struct Case {
    int command;  // 0 execute, 1 cancel, 2 invert
    std::string from;
    std::string to;
    std::string before;
    std::string after;
    std::string fromAfter;
    std::string toAfter;
  };
  const Case cases[] = {
      {0, "1", "1", "SSSSSSSSSS", "ESSSSSSSSS", "1", "1"},
      {0, "5", "3", "SSSSSSSSSS", "SSSSSSSSSS", "5", "3"},
      {1, "0", "2", "EEEEEEEEEE", "SSEEEEEEEE", "1", "2"},
      {0, "", "3", "SSSSSSSSSS", "EEESSSSSSS", "1", "3"},
      {1, "2", "007", "EEEEEEEEEE", "ESSSSSSEEE", "2", "007"},
      {1, "1", "50", "EEEEEEEEEE", "SSSSSSSSSS", "1", "50"},
      {2, "2", "4", "EESEEEEEEE", "ESESEEEEEE", "2", "4"},
      {1, "-3", "2", "EEEEEEEEEE", "SSEEEEEEEE", "-3", "2"},
      {2, "9", "2147483647", "EEEEEEEEEE", "EEEEEEEESS", "9", "2147483647"},
  };
  void (WindowLogic::*const commands[])() = {&WindowLogic::ExecuteRange, &WindowLogic::CancelRange,
                                             &WindowLogic::InvertRange};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.from + ".." + c.to);
    Session s;
    s.Prepare("0123", PatchOfOneByteRecords(12));
    s.ChoosePatch(s.dir.Write("ten.ips", PatchOfOneByteRecords(10)));
    SetMarkerLetters(s.form, c.before);
    const ControlId from = kRangeFields[2 * c.command];
    const ControlId to = kRangeFields[2 * c.command + 1];
    s.Edit(from, c.from);
    s.Edit(to, c.to);
    s.Forget();

    (s.form.*commands[c.command])();
    EXPECT_EQ(MarkerLetters(s.form, 12), c.after + "EE");  // rows 10 and 11 are hidden
    EXPECT_EQ(s.Shown(from), c.fromAfter);
    EXPECT_EQ(s.Shown(to), c.toAfter);
    EXPECT_EQ(s.services.events, (std::vector<std::string>{"busy", "normal"}));
  }
}

TEST(RangeFieldsTest, NormalisationRewritesEmptyAndZeroFields) {
  Session s(kRussianLocale);
  SetRangeTexts(s, {"", "0", "000", "007", "", "0"});
  s.form.CancelRange();  // rows without markers stay so
  EXPECT_EQ(RangeTexts(s), (std::vector<std::string>{"1", "1", "1", "007", "1", "1"}));
  EXPECT_EQ(MarkerLetters(s.form, 12), std::string(12, '-'));

  s.Prepare("0123", PatchOfOneByteRecords(9));
  s.form.CancelRange();
  EXPECT_EQ(s.form.Table().Cell(3, 6), "Нет                  *");
  EXPECT_EQ(s.form.Table().Cell(3, 7), "Выполнить");
}

TEST(RangeFieldsTest, NormalisationStopsAtATextThatIsNoNumber) {
  Session s;
  s.Prepare("0123", PatchOfOneByteRecords(3));
  SetRangeTexts(s, {"", "0", "99999999999", "0", "", "2"});
  s.Forget();

  s.form.ExecuteRange();
  // The command ends before the busy cursor is shown.
  EXPECT_EQ(s.services.events,
            std::vector<std::string>{"error: '99999999999' is not a valid integer value."});
  EXPECT_EQ(RangeTexts(s), (std::vector<std::string>{"1", "1", "99999999999", "0", "1", "2"}));
  EXPECT_EQ(MarkerLetters(s.form, 3), "EEE");
}

}  // namespace
}  // namespace vips::form::testing
