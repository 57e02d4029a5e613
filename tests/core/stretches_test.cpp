#include "core/delta/stretches.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace vips {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Text(const std::string& text) {
  return {text.begin(), text.end()};
}

TEST(StretchesTest, MaximalRunsOfChangeThenGrowthOrShortening) {
  struct Case {
    const char* what;
    std::string original;
    std::string result;
    std::vector<Stretch> stretches;
    bool grows;
    std::optional<std::uint64_t> shortensTo;
  };
  const Case cases[] = {
      {"no change", "abcdef", "abcdef", {}, false, std::nullopt},
      {"both empty", "", "", {}, false, std::nullopt},
      {"one byte at the start", "abcdef", "Xbcdef", {{0, 0}}, false, std::nullopt},
      {"one byte at the end", "abcdef", "abcdeX", {{5, 5}}, false, std::nullopt},
      {"runs split by one equal byte", "abcdef", "XXcXXf", {{0, 1}, {3, 4}}, false, std::nullopt},
      {"everything", "abc", "xyz", {{0, 2}}, false, std::nullopt},
      {"growth: one more stretch, even next to a change",
       "abc",
       "abZdef",
       {{2, 2}, {3, 5}},
       true,
       std::nullopt},
      {"growth of an empty original", "", "xy", {{0, 1}}, true, std::nullopt},
      {"growth by zeros", "ab", std::string("ab\0\0", 4), {{2, 3}}, true, std::nullopt},
      {"shortening with a change", "abcdef", "aXc", {{1, 1}}, false, 3},
      {"shortening to nothing", "abc", "", {}, false, 0},
  };
  for (const Case& c : cases) {
    const StretchList list = ListStretches(Text(c.original), Text(c.result));
    EXPECT_EQ(list.stretches, c.stretches) << c.what;
    EXPECT_EQ(list.grows, c.grows) << c.what;
    EXPECT_EQ(list.shortensTo, c.shortensTo) << c.what;
  }
}

TEST(StretchesTest, WritingEveryStretchMakesTheResult) {
  // Long equal spans, so that the block-wise comparison is crossed at every
  // alignment, with changes clustered or spread.
  std::mt19937 random(5);
  for (const int changesPerThousand : {0, 1, 10, 300, 1000}) {
    for (const int growth : {0, 700, -700}) {
      Bytes original(5000 + random() % 1000);
      for (auto& byte : original) byte = static_cast<std::uint8_t>(random());
      Bytes result = original;
      result.resize(original.size() + growth);
      for (std::size_t i = 0; i < result.size(); ++i) {
        if (static_cast<int>(random() % 1000) < changesPerThousand) result[i] ^= 1 + random() % 255;
      }
      const StretchList list = ListStretches(original, result);
      Bytes written = original;
      written.resize(list.shortensTo.value_or(written.size()));
      written.resize(std::max(written.size(), result.size()));
      const std::size_t shorter = std::min(original.size(), result.size());
      const auto same = [&](std::uint64_t i) { return i >= shorter || original[i] == result[i]; };
      std::uint64_t after = 0;  // stretches are in order and non-empty
      for (const Stretch& stretch : list.stretches) {
        EXPECT_GE(stretch.first, after);
        EXPECT_LE(stretch.first, stretch.last);
        after = stretch.last + 1;
        const auto bytes = stretch.NewBytes(result);
        std::copy(bytes.begin(), bytes.end(), written.begin() + stretch.first);
        if (stretch.first >= shorter) continue;
        // Only changed bytes, and none left beside them.
        for (std::uint64_t i = stretch.first; i <= stretch.last; ++i) EXPECT_FALSE(same(i)) << i;
        EXPECT_TRUE(stretch.first == 0 || same(stretch.first - 1)) << stretch.first;
        EXPECT_TRUE(same(stretch.last + 1)) << stretch.last;
      }
      EXPECT_EQ(written, result) << changesPerThousand << " " << growth;
      EXPECT_EQ(list.grows, growth > 0);
    }
  }
}

}  // namespace
}  // namespace vips
