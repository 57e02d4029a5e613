#include "form/marked_rows.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <random>
#include <string>
#include <vector>

#include "core/error.hpp"
#include "core/files/file_access.hpp"
#include "core/patch_builder.hpp"
#include "core/table/markers.hpp"
#include "core/table/patch_loader.hpp"
#include "core/table/patch_table.hpp"
#include "core/table_expectations.hpp"
#include "support/temp_dir.hpp"

namespace vips {
namespace {

using form::ApplyMarkedRows;
using form::ApplyResult;
using testing::OpenDescriptorCount;
using testing::PatchBuilder;
using testing::ReadAll;
using testing::Row;
using testing::RowOf;
using testing::TempDir;
using Bytes = std::vector<std::uint8_t>;

Bytes BytesOf(const std::string& text) {
  return {text.begin(), text.end()};
}

class MarkedRowsTest : public ::testing::Test {
 protected:
  // Loads the patch into a fresh table and then gives the rows the markers
  // listed (rows beyond the list keep the execute marker).
  PatchTable Loaded(const std::string& patch, const std::vector<std::string>& markers = {}) {
    PatchTable table(12);
    EXPECT_EQ(LoadPatchIntoTable(patch, original_, table, Language::English), LoadResult::Loaded);
    for (std::size_t row = 0; row < markers.size(); ++row) {
      table.SetCell(PatchTable::kMarkerColumn, static_cast<int>(row), markers[row]);
    }
    return table;
  }

  std::string ApplyError(const std::string& original, const std::string& patch, PatchTable& table) {
    const int before = OpenDescriptorCount();
    std::string text = "(applied)";
    try {
      ApplyMarkedRows(original, patch, table);
    } catch (const Error& error) {
      text = error.what();
    }
    EXPECT_EQ(OpenDescriptorCount(), before) << "a file stayed open";
    return text;
  }

  TempDir dir_;
  std::string original_ = dir_.Write("original.bin", "0123456789");
};

const std::string kSkip(kSkipEnglish);

TEST_F(MarkedRowsTest, MarkedRecordsAreWrittenInFileOrder) {
  const std::string patch = dir_.Write(
      "p.ips",
      PatchBuilder().Data(1, "abcd").Run(3, 3, 0x20).Data(8, "XY").Data(0, "!").End().Bytes());
  struct Case {
    const char* what;
    std::vector<std::string> markers;
    std::string expected;
  };
  const Case cases[] = {
      {"all marked: later records win where they overlap", {}, "!ab   67XY"},
      {"all skipped", {kSkip, kSkip, kSkip, kSkip}, "0123456789"},
      {"only the run", {kSkip, "Execute", kSkip, kSkip}, "012   6789"},
      {"Russian and English markers both apply",
       {"Выполнить", kSkip, "Execute", std::string(kSkipRussian)},
       "0abcd567XY"},
      {"near misses are skipped", {"Execute ", "execute", " Execute", "Выполнить "}, "0123456789"},
      {"empty markers are skipped", {"", "", "", ""}, "0123456789"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    dir_.Write("original.bin", "0123456789");
    PatchTable table = Loaded(patch, c.markers);
    ASSERT_EQ(ApplyMarkedRows(original_, patch, table), ApplyResult::Applied);
    EXPECT_EQ(ReadAll(original_), BytesOf(c.expected));
    EXPECT_EQ(table.RowCount(), 4);
  }
}

TEST_F(MarkedRowsTest, RecordsPastTheEndGrowTheFileOnlyWhenMarked) {
  struct Case {
    const char* what;
    std::string patch;
    std::string marker;
    std::string expected;
  };
  const Case cases[] = {
      {"marked data past the end", PatchBuilder().Data(12, "ab").End().Bytes(), "Execute",
       std::string("0123456789\0\0ab", 14)},
      {"marked run past the end", PatchBuilder().Run(10, 3, 'r').End().Bytes(), "Execute",
       "0123456789rrr"},
      {"unmarked data past the end", PatchBuilder().Data(70000, "ab").End().Bytes(), kSkip,
       "0123456789"},
      {"empty run past the end", PatchBuilder().Run(20, 0, 'r').End().Bytes(), "Execute",
       "0123456789"},
      // The last byte written ends the file, not the end of a cache block.
      {"far past the end", PatchBuilder().Data(0x100001, "z").End().Bytes(), "Execute",
       "0123456789" + std::string(0x100001 - 10, '\0') + "z"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    dir_.Write("original.bin", "0123456789");
    const std::string patch = dir_.Write("p.ips", c.patch);
    PatchTable table = Loaded(patch, {c.marker});
    ASSERT_EQ(ApplyMarkedRows(original_, patch, table), ApplyResult::Applied);
    EXPECT_EQ(ReadAll(original_), BytesOf(c.expected));
  }
}

TEST_F(MarkedRowsTest, SizesAreUnsigned) {
  std::string big(40000, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('a' + i % 26);
  const std::string patch =
      dir_.Write("p.ips", PatchBuilder().Data(5, big).Run(70000, 65535, 0xEE).End().Bytes());
  PatchTable table = Loaded(patch);
  EXPECT_EQ(RowOf(table, 1)[2], "2116E");
  ASSERT_EQ(ApplyMarkedRows(original_, patch, table), ApplyResult::Applied);
  const Bytes bytes = ReadAll(original_);
  ASSERT_EQ(bytes.size(), 70000u + 65535u);
  EXPECT_EQ(Bytes(bytes.begin() + 5, bytes.begin() + 40005), BytesOf(big));
  EXPECT_EQ(std::count(bytes.begin() + 70000, bytes.end(), 0xEE), 65535);
}

TEST_F(MarkedRowsTest, ManyRecordsMatchAByteByByteApplication) {
  // Random records over several cache blocks, some marked, some crossing
  // block boundaries, compared with writing each marked record in turn.
  std::mt19937 random(2024);
  Bytes expected(300'000);
  for (auto& byte : expected) byte = static_cast<std::uint8_t>(random());
  const std::string originalBytes(expected.begin(), expected.end());
  dir_.Write("original.bin", originalBytes);

  PatchBuilder builder;
  std::vector<std::string> markers;
  for (int i = 0; i < 400; ++i) {
    const std::uint32_t offset = random() % 400'000;
    const bool marked = random() % 3 != 0;
    markers.push_back(marked ? "Execute" : kSkip);
    if (random() % 2 == 0) {
      const auto length = static_cast<std::uint16_t>(random() % 70'000);
      const auto value = static_cast<std::uint8_t>(random());
      builder.Run(offset, length, value);
      if (marked && length > 0) {
        if (expected.size() < offset + length) expected.resize(offset + length, 0);
        std::fill(expected.begin() + offset, expected.begin() + offset + length, value);
      }
    } else {
      std::string data(1 + random() % 3000, '\0');
      for (char& c : data) c = static_cast<char>(random());
      builder.Data(offset, data);
      if (marked) {
        if (expected.size() < offset + data.size()) expected.resize(offset + data.size(), 0);
        std::copy(data.begin(), data.end(), expected.begin() + offset);
      }
    }
  }
  const std::string patch = dir_.Write("p.ips", builder.End().Bytes());
  PatchTable table = Loaded(patch, markers);
  ASSERT_EQ(ApplyMarkedRows(original_, patch, table), ApplyResult::Applied);
  EXPECT_EQ(ReadAll(original_), expected);
}

TEST_F(MarkedRowsTest, TableIsRecountedAndMarkersAndFinalAddressesKept) {
  const std::string patch =
      dir_.Write("p.ips", PatchBuilder().Data(1, "a").Run(2, 3, 'b').End().Bytes());
  PatchTable table = Loaded(patch, {kSkip});
  const Row first = RowOf(table, 0);
  const Row second = RowOf(table, 1);
  ASSERT_EQ(ApplyMarkedRows(original_, patch, table), ApplyResult::Applied);
  EXPECT_EQ(table.RowCount(), 2);
  EXPECT_EQ(RowOf(table, 0), first);
  EXPECT_EQ(RowOf(table, 1), second);
  EXPECT_EQ(RowOf(table, 2)[0], "3");
  EXPECT_EQ(RowOf(table, 2)[1], "454F46");
}

TEST_F(MarkedRowsTest, PatchChangedAfterLoadingPairsRecordsWithRowsByPosition) {
  // A longer patch once listed 4 rows; the current one has 3.
  PatchTable table = Loaded(
      dir_.Write("p.ips",
                 PatchBuilder().Data(0, "a").Data(1, "b").Data(2, "c").Data(3, "d").End().Bytes()),
      {"Execute", kSkip, "Execute", "Execute"});
  ASSERT_EQ(LoadPatchIntoTable(
                dir_.Write("p.ips", PatchBuilder().Data(0, "a").Data(1, "b").End().Bytes()),
                original_, table, Language::English),
            LoadResult::Loaded);
  table.SetCell(PatchTable::kMarkerColumn, 1, kSkip);
  table.SetCell(PatchTable::kMarkerColumn, 2,
                kSkip);  // a hidden row; the end marker's turn wrote 0 and 1
  // Now the file holds five records.
  const std::string changed = dir_.Write("p.ips", PatchBuilder()
                                                      .Data(5, "V")
                                                      .Data(6, "W")
                                                      .Data(7, "X")
                                                      .Data(8, "Y")
                                                      .Data(9, "Z")
                                                      .End()
                                                      .Bytes());
  ASSERT_EQ(ApplyMarkedRows(original_, changed, table), ApplyResult::Applied);
  // Rows 0 and 3 hold execute markers, row 1 and 2 skip, row 4 never held one.
  EXPECT_EQ(ReadAll(original_), BytesOf("01234V67Y9"));
  EXPECT_EQ(table.RowCount(), 5);
  EXPECT_EQ(RowOf(table, 0), (Row{"1", "5", "0", "Execute"}));
  EXPECT_EQ(RowOf(table, 3), (Row{"4", "8", "3", "Execute"}));
  EXPECT_EQ(RowOf(table, 4), (Row{"5", "9", "", ""}));
}

TEST_F(MarkedRowsTest, CutPatchWritesNothing) {
  const std::string whole =
      PatchBuilder().Data(0, "AB").Run(2, 2, 'C').Data(4, "DEF").End().Bytes();
  // Records at 5, 12 and 20; the third record's data at 25..27, the end marker at 28.
  struct Case {
    const char* where;
    std::size_t length;
    int rowCount;
  };
  const Case cases[] = {
      {"header only", 5, 1},
      {"inside the third record's size", 24, 3},
      {"inside the third record's data", 26, 4},
      {"inside the end marker", 30, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.where);
    const std::string full = dir_.Write("p.ips", whole);
    PatchTable table = Loaded(full);
    const std::string cut = dir_.Write("cut.ips", whole.substr(0, c.length));
    EXPECT_EQ(ApplyError(original_, cut, table), kReadBeyondEnd);
    EXPECT_EQ(ReadAll(original_), BytesOf("0123456789"));
    EXPECT_EQ(table.RowCount(), c.rowCount);
    // The markers the walk lowered past survive for the next load.
    EXPECT_EQ(RowOf(table, 2)[3], "Execute");
  }
}

TEST_F(MarkedRowsTest, BadHeaderLeavesOneRowAndNeverOpensTheOriginal) {
  for (const std::string bytes : {"", "PATC", "patchEOF", "PATCXEOF"}) {
    SCOPED_TRACE("'" + bytes + "'");
    PatchTable table = testing::TableWithOldTexts();
    const Row before = RowOf(table, 0);
    EXPECT_EQ(ApplyMarkedRows(dir_.File("missing.bin"), dir_.Write("bad.ips", bytes), table),
              ApplyResult::BadHeader);
    EXPECT_EQ(table.RowCount(), 1);
    EXPECT_EQ(RowOf(table, 0), before);
  }
}

TEST_F(MarkedRowsTest, FailuresGiveTheirTextsAndCloseTheFiles) {
  const std::string patch = dir_.Write("p.ips", PatchBuilder().Data(0, "zz").End().Bytes());
  const std::string readOnly = dir_.Write("read-only.bin", "0123456789");
  ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
  const std::string readOnlyPatch =
      dir_.Write("read-only.ips", PatchBuilder().Data(0, "zz").End().Bytes());
  ASSERT_EQ(::chmod(readOnlyPatch.c_str(), 0444), 0);
  struct Case {
    std::string original;
    std::string patch;
    std::string text;
  };
  const Case cases[] = {
      {dir_.File("no-folder/original.bin"), patch, kInvalidFilename},
      {dir_.File("missing.bin"), patch, kFileNotFound},
      {readOnly, patch, kFileAccessDenied},
      {original_, dir_.File("missing.ips"), kFileNotFound},
#ifndef _WIN32
      // Devices are no files to patch (Windows has no /dev).
      {"/dev/full", patch, kFileAccessDenied},
      {"/dev/null", patch, kFileAccessDenied},
#endif
      // A patch given as its own original file.
      {patch, patch, kFileAccessDenied},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.original + " / " + c.patch);
    PatchTable table = Loaded(patch);
    EXPECT_EQ(ApplyError(c.original, c.patch, table), c.text);
  }
  EXPECT_EQ(ReadAll(readOnly), BytesOf("0123456789"));
  EXPECT_EQ(ReadAll(original_), BytesOf("0123456789"));
  EXPECT_EQ(ReadAll(patch), BytesOf(PatchBuilder().Data(0, "zz").End().Bytes()));

  // The patch is only read: a read-only one applies.
  PatchTable table = Loaded(readOnlyPatch);
  EXPECT_EQ(ApplyError(original_, readOnlyPatch, table), "(applied)");
  EXPECT_EQ(ReadAll(original_), BytesOf("zz23456789"));
}

}  // namespace
}  // namespace vips
