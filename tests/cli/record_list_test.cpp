#include "cli/record_list.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "cli/usage_error.hpp"

namespace vips::cli {
namespace {

struct NamedCase {
  std::string list;
  int recordCount;
  std::vector<int> named;  // record numbers

  friend void PrintTo(const NamedCase& c, std::ostream* os) {
    *os << "'" << c.list << "' of " << c.recordCount;
  }
};

class NamedRecordsTest : public ::testing::TestWithParam<NamedCase> {};

TEST_P(NamedRecordsTest, NamesExactlyTheListedRecords) {
  const NamedCase& c = GetParam();
  const std::vector<bool> named = NamedRecords(ParseRecordList(c.list), c.recordCount);
  std::vector<int> numbers;
  for (std::size_t i = 0; i < named.size(); ++i) {
    if (named[i]) numbers.push_back(static_cast<int>(i) + 1);
  }
  EXPECT_EQ(named.size(), static_cast<std::size_t>(c.recordCount));
  EXPECT_EQ(numbers, c.named);
}

INSTANTIATE_TEST_SUITE_P(
    ValidLists, NamedRecordsTest,
    ::testing::Values(NamedCase{"1", 1, {1}}, NamedCase{"3", 5, {3}},
                      NamedCase{"1-5,9,12-14", 14, {1, 2, 3, 4, 5, 9, 12, 13, 14}},
                      NamedCase{"2-2", 3, {2}},                 // one-record range
                      NamedCase{"4,1", 4, {1, 4}},              // any order
                      NamedCase{"1-3,2-4,3", 6, {1, 2, 3, 4}},  // overlaps merge
                      NamedCase{"5,5,5", 5, {5}},               // repeats
                      NamedCase{"007", 8, {7}},                 // leading zeros
                      NamedCase{"1-1000", 1000, [] {
                                  std::vector<int> all(1000);
                                  for (int i = 0; i < 1000; ++i) all[i] = i + 1;
                                  return all;
                                }()}));

TEST(ParseRecordListTest, KeepsRangesAsWritten) {
  const std::vector<RecordRange> expected{{12, 14}, {9, 9}, {1, 5}};
  EXPECT_EQ(ParseRecordList("12-14,9,1-5"), expected);
}

TEST(ParseRecordListTest, HugeNumbersSaturateInsteadOfWrapping) {
  // 2^64 + 1 would wrap to 1 and silently name the first record.
  const auto ranges = ParseRecordList("18446744073709551617");
  ASSERT_EQ(ranges.size(), 1u);
  EXPECT_EQ(ranges[0].first, std::numeric_limits<std::int64_t>::max());
  EXPECT_THROW(NamedRecords(ranges, 3), UsageError);
}

class MalformedListTest : public ::testing::TestWithParam<std::string> {};

TEST_P(MalformedListTest, IsAUsageError) {
  EXPECT_THROW(ParseRecordList(GetParam()), UsageError) << "list: '" << GetParam() << "'";
}

INSTANTIATE_TEST_SUITE_P(EveryMalformedForm, MalformedListTest,
                         ::testing::Values("", ",", "1,", ",1", "1,,2",  // empty items
                                           "0", "0-3", "2-0",            // no record 0
                                           "5-3", "2-1",                 // reversed
                                           "-", "-5", "5-", "1-2-3", "1--2", "+3", " 3", "3 ",
                                           "1, 2", "1 -2",  // signs, blanks
                                           "a", "3a", "0x10", "1.5", "1;2", "١"));

struct BeyondCase {
  std::string list;
  int recordCount;

  friend void PrintTo(const BeyondCase& c, std::ostream* os) {
    *os << "'" << c.list << "' of " << c.recordCount;
  }
};

class BeyondCountTest : public ::testing::TestWithParam<BeyondCase> {};

TEST_P(BeyondCountTest, NamesNoRecordIsAUsageError) {
  const BeyondCase& c = GetParam();
  EXPECT_THROW(NamedRecords(ParseRecordList(c.list), c.recordCount), UsageError)
      << c.list << " of " << c.recordCount;
}

INSTANTIATE_TEST_SUITE_P(NumbersBeyondThePatch, BeyondCountTest,
                         ::testing::Values(BeyondCase{"1", 0}, BeyondCase{"4", 3},
                                           BeyondCase{"1-4", 3}, BeyondCase{"1,2,9", 3},
                                           BeyondCase{"3-2147483648", 3}));

TEST(NamedRecordsTest, ErrorNamesTheFirstMissingRecord) {
  try {
    (void)NamedRecords(ParseRecordList("2-9"), 5);
    FAIL() << "no error";
  } catch (const UsageError& error) {
    EXPECT_NE(std::string(error.what()).find("record 6 "), std::string::npos) << error.what();
  }
}

}  // namespace
}  // namespace vips::cli
