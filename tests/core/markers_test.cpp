#include "core/table/markers.hpp"

#include <gtest/gtest.h>

#include <string>

#include "core/table/patch_table.hpp"

namespace vips {
namespace {

const std::string kExecEn(kExecuteEnglish);
const std::string kExecRu(kExecuteRussian);
const std::string kSkipEn(kSkipEnglish);
const std::string kSkipRu(kSkipRussian);

TEST(MarkersTest, MarkerTextsAreExact) {
  EXPECT_EQ(kSkipEnglish.size(), 22u);
  EXPECT_EQ(kSkipEn, "No" + std::string(19, ' ') + "*");
  EXPECT_EQ(kSkipRu, "Нет" + std::string(18, ' ') + "*");
  EXPECT_EQ(ExecuteMarker(Language::English), kExecuteEnglish);
  EXPECT_EQ(ExecuteMarker(Language::Russian), kExecuteRussian);
  EXPECT_EQ(SkipMarker(Language::English), kSkipEnglish);
  EXPECT_EQ(SkipMarker(Language::Russian), kSkipRussian);
}

TEST(MarkersTest, ToggleKeepsTheLanguageOfTheMarker) {
  EXPECT_EQ(ToggledMarker(kExecRu), kSkipRussian);
  EXPECT_EQ(ToggledMarker(kExecEn), kSkipEnglish);
  EXPECT_EQ(ToggledMarker(kSkipRu), kExecuteRussian);
  EXPECT_EQ(ToggledMarker(kSkipEn), kExecuteEnglish);
  for (const std::string text : {"", "1", "1F", "Execute ", "No                  *", "execute"}) {
    EXPECT_FALSE(ToggledMarker(text).has_value()) << "'" << text << "'";
  }
}

enum class Rule { Execute, Cancel, Invert };

void ApplyRule(Rule rule, PatchTable& table, int row, Language language) {
  switch (rule) {
    case Rule::Execute:
      ExecuteRows(table, row, row, language);
      break;
    case Rule::Cancel:
      CancelRows(table, row, row, language);
      break;
    case Rule::Invert:
      InvertRows(table, row, row, language);
      break;
  }
}

TEST(MarkersTest, RowRulesRewriteAnyMarkerAndLeaveEmptyCellsAlone) {
  struct Case {
    Rule rule;
    Language language;
    std::string before;
    std::string after;
  };
  const Language en = Language::English;
  const Language ru = Language::Russian;
  const Case cases[] = {
      {Rule::Execute, en, kSkipEn, kExecEn},
      {Rule::Execute, en, kExecRu, kExecEn},
      {Rule::Execute, ru, "anything", kExecRu},
      {Rule::Execute, en, "", ""},
      {Rule::Cancel, en, kExecEn, kSkipEn},
      {Rule::Cancel, ru, kExecEn, kSkipRu},
      {Rule::Cancel, ru, "x", kSkipRu},
      {Rule::Cancel, ru, "", ""},
      {Rule::Invert, en, kExecEn, kSkipEn},
      {Rule::Invert, en, kSkipEn, kExecEn},
      {Rule::Invert, ru, kExecRu, kSkipRu},
      {Rule::Invert, ru, kSkipRu, kExecRu},
      // Only the current language's execute marker counts as "on".
      {Rule::Invert, ru, kExecEn, kExecRu},
      {Rule::Invert, en, kExecRu, kExecEn},
      {Rule::Invert, en, "No *", kExecEn},
      {Rule::Invert, en, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("'" + c.before + "' -> '" + c.after + "'");
    PatchTable table(1);
    table.SetCell(PatchTable::kNumberColumn, 0, "1");
    table.SetCell(PatchTable::kMarkerColumn, 0, c.before);
    ApplyRule(c.rule, table, 0, c.language);
    EXPECT_EQ(table.Cell(PatchTable::kMarkerColumn, 0), c.after);
    EXPECT_EQ(table.Cell(PatchTable::kNumberColumn, 0), "1");
  }
}

TEST(MarkersTest, RowRulesIgnoreRowsOutsideTheTable) {
  PatchTable table(1);
  table.SetMarkerCell(1, kExecuteEnglish);  // a hidden row
  const std::size_t storage = table.StorageBytes();
  for (const Rule rule : {Rule::Execute, Rule::Cancel, Rule::Invert}) {
    ApplyRule(rule, table, 1, Language::Russian);
    ApplyRule(rule, table, -1, Language::Russian);
  }
  EXPECT_EQ(table.Cell(PatchTable::kMarkerColumn, 1), kExecEn);
  EXPECT_EQ(table.StorageBytes(), storage);
}

TEST(MarkersTest, InvertTwiceRestoresTheMarkers) {
  PatchTable table(3);
  table.SetMarkerCell(0, kExecuteEnglish);
  table.SetMarkerCell(1, kSkipEnglish);
  for (int pass = 0; pass < 2; ++pass) {
    for (int row = 0; row < 3; ++row) InvertRows(table, row, row, Language::English);
  }
  EXPECT_EQ(table.Cell(3, 0), kExecEn);
  EXPECT_EQ(table.Cell(3, 1), kSkipEn);
  EXPECT_EQ(table.Cell(3, 2), "");
}

}  // namespace
}  // namespace vips
