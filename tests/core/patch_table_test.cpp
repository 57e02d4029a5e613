#include "core/table/patch_table.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "core/ips/hex_address.hpp"
#include "core/table/markers.hpp"
#include "table_expectations.hpp"

namespace vips {
namespace {

using testing::Row;
using testing::RowOf;

TEST(HexAddressTextTest, UpperCaseDigitsWithoutLeadingZeros) {
  struct Case {
    std::int32_t address;
    const char* text;
  };
  const Case cases[] = {
      {0, "0"},
      {9, "9"},
      {31, "1F"},
      {0x100, "100"},
      {0x454F46, "454F46"},
      {0x100FFFD, "100FFFD"},
      {0x0FFFFFFF, "FFFFFFF"},
      {-1, "-1"},
  };
  for (const Case& c : cases) EXPECT_EQ(HexAddressText(c.address), c.text) << c.address;
}

TEST(PatchTableTest, EveryTextWrittenComesBackUnchanged) {
  // Canonical texts are encoded, everything else is kept aside; either way
  // the cell must give back exactly what was written.
  const std::string texts[] = {
      "",
      "0",
      "1",
      "007",
      "-1",
      "-0",
      "+1",
      " 1",
      "1 ",
      "1F",
      "1f",
      "01F",
      "100FFFD",
      "7FFFFFFF",
      "80000000",
      "FFFFFFFF",
      "4294967292",
      "4294967293",
      "4294967294",
      "99999999999",
      "-2",
      "Execute",
      "Execute ",
      "execute",
      "Выполнить",
      "No                   *",
      "Нет                  *",
      "No *",
      "Ж✓ü",
      std::string("a\0b", 3),
  };
  for (int column = 0; column < PatchTable::kColumns; ++column) {
    PatchTable table(1);
    int row = 0;
    for (const std::string& text : texts) {
      table.SetCell(column, row, text);
      EXPECT_EQ(table.Cell(column, row), text) << "column " << column << " text '" << text << "'";
      ++row;
    }
    // And they stay so once other rows are written.
    row = 0;
    for (const std::string& text : texts) {
      EXPECT_EQ(table.Cell(column, row), text) << "column " << column << " row " << row;
      ++row;
    }
  }
}

TEST(PatchTableTest, OverwritingSwitchesBetweenEncodedAndKeptAsideTexts) {
  PatchTable table(1);
  for (int column = 0; column < PatchTable::kColumns; ++column) {
    table.SetCell(column, 0, "other text");
    table.SetCell(column, 0, column == PatchTable::kMarkerColumn ? "Execute" : "5");
    EXPECT_EQ(table.Cell(column, 0), column == PatchTable::kMarkerColumn ? "Execute" : "5");
    table.SetCell(column, 0, "second text");
    EXPECT_EQ(table.Cell(column, 0), "second text");
    table.SetCell(column, 0, "");
    EXPECT_EQ(table.Cell(column, 0), "");
  }
}

TEST(PatchTableTest, FastPathsWriteTheSameTextsAsSetCell) {
  PatchTable table;
  const std::int64_t numbers[] = {
      0, 1, 1000000, 4294967292LL, 4294967293LL, -1, -5, std::numeric_limits<std::int64_t>::max()};
  for (const std::int64_t number : numbers) {
    table.SetNumberCell(3, number);
    EXPECT_EQ(table.Cell(PatchTable::kNumberColumn, 3), std::to_string(number));
  }
  const std::int32_t addresses[] = {-1,
                                    0,
                                    0x1F,
                                    0x100FFFD,
                                    std::numeric_limits<std::int32_t>::max(),
                                    -2,
                                    std::numeric_limits<std::int32_t>::min()};
  for (int column = 0; column < PatchTable::kColumns; ++column) {
    for (const std::int32_t address : addresses) {
      table.SetAddressCell(column, 2, address);
      EXPECT_EQ(table.Cell(column, 2), HexAddressText(address)) << column << " " << address;
    }
  }
  table.SetMarkerCell(1, kExecuteRussian);
  EXPECT_EQ(table.Cell(PatchTable::kMarkerColumn, 1), kExecuteRussian);
  table.SetMarkerCell(1, "free text");
  EXPECT_EQ(table.Cell(PatchTable::kMarkerColumn, 1), "free text");
}

TEST(PatchTableTest, RowCountHidesRowsWithoutErasingThem) {
  PatchTable table(12);
  EXPECT_EQ(table.RowCount(), 12);
  EXPECT_EQ(table.Cell(0, 11), "");  // never written
  for (int row = 0; row < 5; ++row) {
    table.SetNumberCell(row, row + 1);
    table.SetMarkerCell(row, kSkipEnglish);
  }
  table.SetRowCount(2);
  EXPECT_EQ(table.RowCount(), 2);
  // Hidden rows keep and report their texts.
  EXPECT_EQ(table.Cell(0, 4), "5");
  table.SetRowCount(5);
  for (int row = 0; row < 5; ++row) {
    EXPECT_EQ(table.Cell(0, row), std::to_string(row + 1));
    EXPECT_EQ(table.Cell(3, row), kSkipEnglish);
  }
  table.SetRowCount(-3);
  EXPECT_EQ(table.RowCount(), 0);
  EXPECT_EQ(table.Cell(0, 4), "5");
}

TEST(PatchTableTest, CellsOutsideTheGridAreEmptyAndIgnoreWrites) {
  PatchTable table(2);
  table.SetCell(-1, 0, "x");
  table.SetCell(4, 0, "x");
  table.SetCell(0, -1, "x");
  EXPECT_EQ(table.StorageBytes(), PatchTable().StorageBytes());
  EXPECT_EQ(table.Cell(4, 0), "");
  EXPECT_EQ(table.Cell(0, -1), "");
  EXPECT_EQ(table.Cell(0, 100), "");
  EXPECT_TRUE(table.MarkerIsEmpty(100));
  EXPECT_FALSE(table.MarkerIsExecute(-1));
}

TEST(PatchTableTest, ExecuteTestIsExactInEitherLanguage) {
  struct Case {
    std::string marker;
    bool execute;
  };
  const Case cases[] = {
      {"Execute", true},
      {"Выполнить", true},
      {"Execute ", false},
      {"execute", false},
      {" Execute", false},
      {"EXECUTE", false},
      {std::string(kSkipEnglish), false},
      {std::string(kSkipRussian), false},
      {"", false},
      {"Выполнить ", false},
  };
  PatchTable table(1);
  for (const Case& c : cases) {
    table.SetCell(PatchTable::kMarkerColumn, 0, c.marker);
    EXPECT_EQ(table.MarkerIsExecute(0), c.execute) << "'" << c.marker << "'";
    EXPECT_EQ(table.MarkerIsEmpty(0), c.marker.empty());
  }
}

TEST(PatchTableTest, RewriteMarkersActsOnNonEmptyMarkersOfTheRangeInTheTable) {
  const std::string execEn(kExecuteEnglish);
  const std::string execRu(kExecuteRussian);
  const std::string skipEn(kSkipEnglish);
  const std::string skipRu(kSkipRussian);
  // Rows 0..4 are the table; row 5 is hidden and keeps its marker.
  const std::vector<std::string> before = {execEn, skipRu, "", "free text", execRu, skipEn};
  struct Case {
    int first;
    int last;
    std::string match;
    std::string onMatch;
    std::string otherwise;
    std::vector<std::string> after;
  };
  const Case cases[] = {
      {-5, 100, execEn, skipEn, execEn, {skipEn, execEn, "", execEn, execEn, skipEn}},
      {1, 2, execRu, execRu, execRu, {execEn, execRu, "", "free text", execRu, skipEn}},
      {3, 2, execEn, skipEn, execEn, before},
      {5, 5, execEn, skipEn, execEn, before},
      // Texts that are no markers take the way through the texts.
      {0, 4, "free text", "matched", "", {"", "", "", "matched", "", skipEn}},
      {0, 4, execRu, "other", skipRu, {skipRu, skipRu, "", skipRu, "other", skipEn}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.first) + ".." + std::to_string(c.last) + " '" + c.match + "'");
    PatchTable table(5);
    for (int row = 0; row < 6; ++row) table.SetCell(PatchTable::kMarkerColumn, row, before[row]);
    table.SetNumberCell(0, 1);
    table.RewriteMarkers(c.first, c.last, c.match, c.onMatch, c.otherwise);
    for (int row = 0; row < 6; ++row)
      EXPECT_EQ(table.Cell(PatchTable::kMarkerColumn, row), c.after[row]) << row;
    EXPECT_EQ(table.Cell(PatchTable::kNumberColumn, 0), "1");
  }
}

TEST(PatchTableTest, ACopyKeepsEveryTextAndGoesItsOwnWay) {
  PatchTable table(3);
  table.SetNumberCell(0, 1);
  table.SetMarkerCell(0, kExecuteRussian);
  table.SetCell(PatchTable::kFirstAddressColumn, 5000, "own text");
  const PatchTable copy = table;
  table.SetNumberCell(0, 7);
  table.SetCell(PatchTable::kFirstAddressColumn, 5000, "1F");
  EXPECT_EQ(copy.RowCount(), 3);
  EXPECT_EQ(RowOf(copy, 0), (Row{"1", "", "", std::string(kExecuteRussian)}));
  EXPECT_EQ(copy.Cell(PatchTable::kFirstAddressColumn, 5000), "own text");
  EXPECT_EQ(table.Cell(0, 0), "7");
}

TEST(PatchTableTest, MillionRowsStayCompact) {
  constexpr int kRows = 1'000'000;
  PatchTable table;
  table.SetRowCount(kRows);
  for (int row = 0; row < kRows; ++row) {
    table.SetNumberCell(row, row + 1);
    table.SetAddressCell(PatchTable::kFirstAddressColumn, row, row * 16);
    table.SetAddressCell(PatchTable::kFinalAddressColumn, row, row * 16 + 15);
    table.SetMarkerCell(row, kExecuteEnglish);
  }
  EXPECT_LT(table.StorageBytes(), static_cast<std::size_t>(kRows) * 64);
  EXPECT_EQ(table.Cell(PatchTable::kFinalAddressColumn, kRows - 1),
            HexAddressText((kRows - 1) * 16 + 15));
}

}  // namespace
}  // namespace vips
