#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace vips::cli {

// An inclusive range of record numbers, counted from 1 as `list` shows them.
struct RecordRange {
  std::int64_t first = 0;
  std::int64_t last = 0;

  friend bool operator==(const RecordRange&, const RecordRange&) = default;
};

// Reads a record list such as "1-5,9,12-14": record numbers and inclusive
// ranges separated by commas. Ranges may overlap and come in any order.
// Throws UsageError for anything else: an empty list or item, blanks, signs,
// a 0, a reversed range such as "5-3". Numbers too large for any patch are
// kept as the largest value, so that they name no record later.
std::vector<RecordRange> ParseRecordList(std::string_view text);

// The records that `ranges` names, indexed by record number - 1, for a patch
// of `recordCount` records. Throws UsageError when a number names no record.
std::vector<bool> NamedRecords(const std::vector<RecordRange>& ranges, int recordCount);

}  // namespace vips::cli
