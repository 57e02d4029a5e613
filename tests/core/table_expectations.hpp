#pragma once

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "core/table/patch_table.hpp"

namespace vips::testing {

using Row = std::array<std::string, PatchTable::kColumns>;

inline Row RowOf(const PatchTable& table, int row) {
  Row texts;
  for (int column = 0; column < PatchTable::kColumns; ++column) {
    texts[static_cast<std::size_t>(column)] = table.Cell(column, row);
  }
  return texts;
}

inline void SetRow(PatchTable& table, int row, const Row& texts) {
  for (int column = 0; column < PatchTable::kColumns; ++column) {
    table.SetCell(column, row, texts[static_cast<std::size_t>(column)]);
  }
}

// A table as the window starts it, its rows filled with recognisable texts.
inline PatchTable TableWithOldTexts(int rows = 12) {
  PatchTable table(rows);
  for (int row = 0; row < rows; ++row) {
    const std::string tag = std::to_string(row);
    SetRow(table, row, {"old" + tag, "a" + tag, "b" + tag, "m" + tag});
  }
  return table;
}

}  // namespace vips::testing
