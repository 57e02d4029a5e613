#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/table/patch_table.hpp"
#include "core/table/stretch_loader.hpp"

namespace vips {
namespace {

// A patched file over 2 GiB has stretches past what an IPS address reaches:
// their addresses are shown in the same hexadecimal, and every row of an
// earlier, longer listing is hidden.
TEST(StretchRowsTest, AddressesPastTwoGibAreShownInHexadecimal) {
  PatchTable table(5);
  table.SetMarkerCell(0, kExecuteEnglish);
  const StretchList list{{{0, 0}, {0x7FFFFFFF, 0x80000000}, {0xFFFFFFF0, 0xFFFFFFFF}}};
  ShowStretchRows(list, table);
  ASSERT_EQ(table.RowCount(), 3);
  const std::vector<std::vector<std::string>> rows = {
      {"1", "0", "0"}, {"2", "7FFFFFFF", "80000000"}, {"3", "FFFFFFF0", "FFFFFFFF"}};
  for (int row = 0; row < 3; ++row) {
    for (int column = 0; column < 3; ++column) {
      EXPECT_EQ(table.Cell(column, row), rows[row][column]) << row << ' ' << column;
    }
  }
  EXPECT_EQ(table.Cell(PatchTable::kMarkerColumn, 0), kExecuteEnglish);
}

}  // namespace
}  // namespace vips
