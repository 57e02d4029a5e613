// The table commands, the double-click and Space toggles, paging, the cell
// colours, and the range fields: key filter, clamp, normalisation, commands.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fake_view.hpp"

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

TEST(TableCommandsTest, WholeTableCommandsUnderTheBusyCursor) {
  struct Case {
    void (TForm1::*command)();
    int locale;
    Markers after;
  };
  const std::string execute(kExecute), skip(kSkip), executeRu(kExecuteRu),
      skipRu = "Нет                  *";
  const Case cases[] = {
      {&TForm1::Button3Click, kEnglishLocale, {execute, execute, execute}},
      {&TForm1::Button4Click, kEnglishLocale, {skip, skip, skip}},
      // Invert tests for the execute marker of the interface language.
      {&TForm1::Button5Click, kEnglishLocale, {skip, execute, execute}},
      {&TForm1::Button3Click, kRussianLocale, {executeRu, executeRu, executeRu}},
      {&TForm1::Button5Click, kRussianLocale, {executeRu, executeRu, skipRu}},
  };
  for (const Case& c : cases) {
    TableWindow w({kExecute, kSkip, kExecuteRu}, c.locale);
    (w.form.*c.command)();
    EXPECT_EQ(w.Markers(), c.after);
    EXPECT_EQ(w.services.events, (std::vector<std::string>{"busy", "normal"}));
    EXPECT_EQ(w.view.changedRows, (std::vector<std::pair<int, int>>{{0, 2}}));
  }
}

TEST(TableCommandsTest, DoubleClickAndSpaceToggleInTheMarkersOwnLanguage) {
  TableWindow w({kExecute, kExecuteRu, "Execute "});
  w.view.SetCurrentCell(PatchTable::kMarkerColumn, 1);
  w.form.StringGrid1DblClick();
  EXPECT_EQ(w.Markers()[1], "Нет                  *");
  // Space makes the marker cell current, whichever column was.
  w.view.SetCurrentCell(0, 0);
  w.form.StringGrid1SpacePressed();
  EXPECT_EQ(w.view.Col(), PatchTable::kMarkerColumn);
  EXPECT_EQ(w.Markers()[0], kSkip);
  // A marker that is none of the four is left alone, as are other columns.
  w.view.SetCurrentCell(PatchTable::kMarkerColumn, 2);
  w.form.StringGrid1DblClick();
  w.view.SetCurrentCell(0, 0);
  w.form.StringGrid1DblClick();
  EXPECT_EQ(w.Markers(), (Markers{std::string(kSkip), "Нет                  *", "Execute "}));
  EXPECT_EQ(w.form.Table().Cell(0, 0), "1");
  EXPECT_TRUE(w.services.events.empty());
}

TEST(TableCommandsTest, PagingMakesTheLastWholeRowTheTop) {
  TableWindow w(std::vector<std::string_view>(30, kExecute));
  std::vector<int> tops;
  for (auto page : {&TForm1::Button6Click, &TForm1::Button6Click, &TForm1::Button6Click,
                    &TForm1::Button7Click, &TForm1::Button7Click, &TForm1::Button7Click}) {
    (w.form.*page)();
    tops.push_back(w.view.TopRow());
  }
  EXPECT_EQ(tops, (std::vector<int>{11, 18, 18, 7, 0, 0}));
  // The scroll gives the table the focus; the current cell stays.
  EXPECT_EQ(w.view.focus, ControlId::StringGrid1);
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
    w.form.StringGrid1DrawCell(canvas, c.column, 0, state);
    EXPECT_EQ(canvas.fill, c.fill);
    EXPECT_EQ(canvas.drawn, c.text);
    // Only the focused cell sets its own (black) text colour.
    EXPECT_EQ(canvas.text.has_value(), c.focused);
    if (c.focused) EXPECT_EQ(*canvas.text, (Rgb{0, 0, 0}));
  }
}

TEST(RangeFieldsTest, KeyFilterKeepsDigitsAndBackspace) {
  FakeWindow w;
  for (ControlId field : {ControlId::Edit3, ControlId::Edit4, ControlId::Edit5, ControlId::Edit6,
                          ControlId::Edit7, ControlId::Edit8}) {
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
  w.form.KeyPress(ControlId::Edit1, key);
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
    EXPECT_EQ(w.form.FilterRangeText(ControlId::Edit3, c.text, c.pasted), c.kept);
  }
  EXPECT_EQ(w.form.FilterRangeText(ControlId::Edit1, "ab", true), "ab");
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
    w.form.TextEdited(ControlId::Edit4, "");
    w.Type(ControlId::Edit4, c.typed);
    EXPECT_EQ(w.Shown(ControlId::Edit4), c.shown);
    EXPECT_EQ(w.form.Text(ControlId::Edit4), c.shown);
    EXPECT_EQ(w.services.errors, c.errors);
  }
  // An emptied field stays empty until a command fills it.
  FakeWindow w;
  w.Type(ControlId::Edit6, "\b");
  EXPECT_EQ(w.Shown(ControlId::Edit6), "");
}

TEST(RangeFieldsTest, RangeCommandsVisitOnlyRowsInTheTable) {
  struct Case {
    void (TForm1::*command)();
    ControlId from;
    ControlId to;
    std::string first;
    std::string last;
    Markers after;
  };
  const std::string x(kExecute), n(kSkip);
  const Case cases[] = {
      {&TForm1::Button8Click, ControlId::Edit3, ControlId::Edit4, "2", "3", {n, x, x, n}},
      {&TForm1::Button8Click, ControlId::Edit3, ControlId::Edit4, "3", "2", {n, n, n, n}},
      {&TForm1::Button8Click, ControlId::Edit3, ControlId::Edit4, "-5", "1", {x, n, n, n}},
      {&TForm1::Button8Click, ControlId::Edit3, ControlId::Edit4, "4", "2000000000", {n, n, n, x}},
      {&TForm1::Button9Click, ControlId::Edit5, ControlId::Edit6, "0", "", {n, n, n, n}},
      {&TForm1::Button10Click, ControlId::Edit7, ControlId::Edit8, "", "2", {x, x, n, n}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.first + ".." + c.last);
    TableWindow w({kSkip, kSkip, kSkip, kSkip});
    w.form.TextEdited(c.from, c.first);
    w.form.TextEdited(c.to, c.last);
    (w.form.*c.command)();
    EXPECT_EQ(w.Markers(), c.after);
    EXPECT_EQ(w.services.events, (std::vector<std::string>{"busy", "normal"}));
    // Empty fields and zeros become "1", everywhere.
    if (c.first.empty() || c.first == "0") EXPECT_EQ(w.Shown(c.from), "1");
    if (c.last.empty()) EXPECT_EQ(w.Shown(c.to), "1");
  }
}

TEST(RangeFieldsTest, ANonNumberStopsTheCommandWithAnErrorBox) {
  TableWindow w({kSkip, kSkip});
  w.form.TextEdited(ControlId::Edit3, "");
  w.form.TextEdited(ControlId::Edit6, "1x");
  w.form.Button8Click();
  EXPECT_EQ(w.services.events,
            (std::vector<std::string>{"error: '1x' is not a valid integer value."}));
  EXPECT_EQ(w.Markers(), (Markers{std::string(kSkip), std::string(kSkip)}));
  // The fields before the bad one were normalised already.
  EXPECT_EQ(w.Shown(ControlId::Edit3), "1");
}

}  // namespace
}  // namespace vips::form::testing
