#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "core/error.hpp"
#include "core/ips/maker.hpp"

namespace vips {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Record {
  std::uint32_t offset;
  std::uint32_t length;
  bool run;
};

// Reads the records of a made patch and writes them over `file` the way an
// applier does: in order, the file growing with zeros up to each write.
std::vector<Record> ApplyMade(const Bytes& patch, Bytes& file) {
  std::vector<Record> records;
  EXPECT_TRUE(std::equal(patch.begin(), patch.begin() + 5, "PATCH"));
  std::size_t at = 5;
  for (;;) {
    const std::uint32_t offset = patch.at(at) << 16 | patch.at(at + 1) << 8 | patch.at(at + 2);
    if (offset == 0x454F46) break;
    const std::uint32_t size = patch.at(at + 3) << 8 | patch.at(at + 4);
    at += 5;
    const bool run = size == 0;
    const std::uint32_t length = run ? patch.at(at) << 8 | patch.at(at + 1) : size;
    if (file.size() < offset + length) file.resize(offset + length, 0);
    for (std::uint32_t i = 0; i < length; ++i) {
      file[offset + i] = run ? patch.at(at + 2) : patch.at(at + i);
    }
    at += run ? 3 : size;
    records.push_back({offset, length, run});
  }
  EXPECT_EQ(at + 3, patch.size()) << "bytes after the end marker";
  return records;
}

// The fewest record bytes, found the slow way: any record may start at any
// position, data records cost 5 + length, runs 8 over equal bytes.
std::size_t SmallestRecordBytes(const Bytes& original, const Bytes& modified) {
  const std::size_t m = modified.size();
  const auto needed = [&](std::size_t i) {
    return i < original.size() ? original[i] != modified[i] : modified[i] != 0 || i + 1 == m;
  };
  std::vector<std::size_t> best(m + 1, SIZE_MAX);  // best[p]: positions below p done
  best[0] = 0;
  for (std::size_t p = 0; p < m; ++p) {
    if (best[p] == SIZE_MAX) continue;
    if (!needed(p)) best[p + 1] = std::min(best[p + 1], best[p]);
    bool equal = true;
    for (std::size_t e = p; e < m && e - p < 0xFFFF; ++e) {
      equal = equal && modified[e] == modified[p];
      const std::size_t cost = std::min<std::size_t>(5 + e - p + 1, equal ? 8 : SIZE_MAX);
      best[e + 1] = std::min(best[e + 1], best[p] + cost);
    }
  }
  return best[m];
}

struct Shape {
  std::size_t size;
  std::size_t growth;
  int changesPerHundred;
  int values;  // modified bytes are drawn from this many values: few give runs
};

TEST(PatchMakerTest, SmallestPatchThatMakesTheModifiedFile) {
  std::mt19937 random(7);
  const Shape shapes[] = {{0, 0, 0, 256}, {0, 9, 0, 256},   {1, 0, 100, 256},  {40, 0, 10, 256},
                          {90, 0, 60, 2}, {120, 0, 30, 3},  {70, 30, 20, 256}, {50, 40, 50, 1},
                          {64, 64, 5, 4}, {100, 0, 100, 1}, {30, 80, 0, 2}};
  for (const Shape& shape : shapes) {
    for (int round = 0; round < 20; ++round) {
      Bytes original(shape.size);
      for (auto& byte : original) byte = static_cast<std::uint8_t>(random() % 3);
      Bytes modified = original;
      modified.resize(shape.size + shape.growth, 0);
      for (std::size_t i = 0; i < modified.size(); ++i) {
        if (static_cast<int>(random() % 100) < shape.changesPerHundred || i >= shape.size) {
          modified[i] = static_cast<std::uint8_t>(random() % shape.values);
        }
      }
      const MadePatch made = MakePatch(original, modified);
      Bytes result = original;
      const std::vector<Record> records = ApplyMade(made.bytes, result);
      ASSERT_EQ(result, modified) << "shape " << shape.size << "+" << shape.growth;
      EXPECT_EQ(made.records, records.size());
      EXPECT_EQ(made.bytes.size(), 8 + SmallestRecordBytes(original, modified))
          << "shape " << shape.size << "+" << shape.growth << " round " << round;
    }
  }
}

TEST(PatchMakerTest, RecordsStayInsideWhatIpsCanSay) {
  // A change at the end marker's address, alone and inside a run; changes
  // near and past 0xFFFFFF up to the last byte a record can write; a long
  // stretch of changes that needs several records.
  struct Case {
    std::size_t size;
    std::size_t modifiedSize;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> changed;  // first, count
    std::uint8_t value;                                            // 0: varied bytes
  };
  const Case cases[] = {
      {0x454F50, 0x454F50, {{0x454F46, 1}}, 0},
      {0x454F50, 0x454F50, {{0x454F46, 3}}, 0x77},
      {0x454F50, 0x454F50, {{0x454F40, 16}}, 0x77},
      {0x1000000, 0x1000000, {{0xFFFFFE, 2}}, 0},
      {0xFFFF00, kPatchableSize, {{0xFFFF00, 0x10000}}, 0},
      {0xFFFF00, kPatchableSize, {{0xFFFFF0, 4}, {0x100FFFD, 1}}, 0x55},
      {0x30000, 0x30000, {{0x100, 0x25000}}, 0},
      {0x30000, 0x30000, {{0x100, 0x25000}}, 0x11},
  };
  for (const Case& c : cases) {
    Bytes original(c.size, 0xA0);
    Bytes modified = original;
    modified.resize(c.modifiedSize, 0);
    for (const auto& [first, count] : c.changed) {
      for (std::uint32_t i = first; i < first + count; ++i) {
        modified[i] = c.value != 0 ? c.value : static_cast<std::uint8_t>(i * 7 + 1);
      }
    }
    const MadePatch made = MakePatch(original, modified);
    Bytes result = original;
    for (const Record& record : ApplyMade(made.bytes, result)) {
      EXPECT_NE(record.offset, 0x454F46u);
      EXPECT_LE(record.offset, 0xFFFFFFu);
      EXPECT_GE(record.length, 1u);
      EXPECT_LE(record.length, 0xFFFFu);
    }
    EXPECT_TRUE(result == modified) << std::hex << c.changed.front().first;
  }
}

TEST(PatchMakerTest, RefusesWhatNoPatchCanDo) {
  EXPECT_EQ(MakePatch(Bytes{1, 2}, Bytes{1, 2}).bytes,
            (Bytes{'P', 'A', 'T', 'C', 'H', 'E', 'O', 'F'}));
  EXPECT_THROW(MakePatch(Bytes{1, 2}, Bytes{1}), Error);
  EXPECT_THROW(MakePatch(Bytes{}, Bytes(kPatchableSize + 1)), Error);
}

}  // namespace
}  // namespace vips
