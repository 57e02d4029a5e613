#include "cli/record_list.hpp"

#include <limits>
#include <string>

#include "cli/usage_error.hpp"

namespace vips::cli {
namespace {

constexpr std::int64_t kLargest = std::numeric_limits<std::int64_t>::max();

std::string Quoted(std::string_view text) {
  return "'" + std::string(text) + "'";
}

std::int64_t ParseNumber(std::string_view digits, std::string_view item) {
  if (digits.empty()) throw UsageError("record list item " + Quoted(item) + " lacks a number");
  std::int64_t value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') {
      throw UsageError("record list item " + Quoted(item) +
                       " is not a record number or a range such as 3-7");
    }
    const int digit = c - '0';
    value = value > (kLargest - digit) / 10 ? kLargest : value * 10 + digit;
  }
  if (value == 0) throw UsageError("record numbers start at 1, not " + Quoted(item));
  return value;
}

RecordRange ParseItem(std::string_view item) {
  if (item.empty()) throw UsageError("the record list has an empty item");
  const auto dash = item.find('-');
  if (dash == std::string_view::npos) {
    const std::int64_t number = ParseNumber(item, item);
    return {number, number};
  }
  const RecordRange range{ParseNumber(item.substr(0, dash), item),
                          ParseNumber(item.substr(dash + 1), item)};
  if (range.first > range.last) throw UsageError("the range " + Quoted(item) + " is reversed");
  return range;
}

}  // namespace

std::vector<RecordRange> ParseRecordList(std::string_view text) {
  if (text.empty()) throw UsageError("the record list is empty");
  std::vector<RecordRange> ranges;
  std::size_t start = 0;
  while (true) {
    const auto comma = text.find(',', start);
    ranges.push_back(ParseItem(text.substr(start, comma - start)));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return ranges;
}

std::vector<bool> NamedRecords(const std::vector<RecordRange>& ranges, int recordCount) {
  std::vector<bool> named(static_cast<std::size_t>(recordCount < 0 ? 0 : recordCount), false);
  for (const RecordRange& range : ranges) {
    if (range.last > recordCount) {
      const std::int64_t beyond = range.first > recordCount ? range.first : recordCount + 1;
      throw UsageError("record " + std::to_string(beyond) + " does not exist: the patch has " +
                       std::to_string(recordCount) + (recordCount == 1 ? " record" : " records"));
    }
    for (std::int64_t number = range.first; number <= range.last; ++number) {
      named[static_cast<std::size_t>(number - 1)] = true;
    }
  }
  return named;
}

}  // namespace vips::cli
