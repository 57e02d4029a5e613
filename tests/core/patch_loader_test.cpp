#include "core/table/patch_loader.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "core/error.hpp"
#include "core/files/file_access.hpp"
#include "core/table/markers.hpp"
#include "core/table/patch_table.hpp"
#include "patch_builder.hpp"
#include "support/temp_dir.hpp"
#include "table_expectations.hpp"

namespace vips {
namespace {

using testing::OpenDescriptorCount;
using testing::PatchBuilder;
using testing::Row;
using testing::RowOf;
using testing::TableWithOldTexts;
using testing::TempDir;

class PatchLoaderTest : public ::testing::Test {
 protected:
  std::string Patch(const std::string& bytes) { return dir_.Write("patch.ips", bytes); }

  // Loads expecting an error; returns its text.
  std::string LoadError(const std::string& patch, const std::string& original, PatchTable& table) {
    const int before = OpenDescriptorCount();
    std::string text = "(loaded)";
    try {
      LoadPatchIntoTable(patch, original, table, Language::English);
    } catch (const Error& error) {
      text = error.what();
    }
    EXPECT_EQ(OpenDescriptorCount(), before) << "a file stayed open";
    return text;
  }

  TempDir dir_;
  const std::string original_ = dir_.Write("original.bin", "original");
};

TEST_F(PatchLoaderTest, ListsEveryRecordWithTheExecuteMarkerOfTheLanguage) {
  const std::string patch = Patch(
      PatchBuilder().Data(0, "x").Run(0x20, 16, 0xAA).Data(0x1FF, "ab").Run(0, 0, 1).End().Bytes());
  for (const Language language : {Language::English, Language::Russian}) {
    PatchTable table = TableWithOldTexts();
    ASSERT_EQ(LoadPatchIntoTable(patch, original_, table, language), LoadResult::Loaded);
    const std::string marker(ExecuteMarker(language));
    EXPECT_EQ(table.RowCount(), 4);
    EXPECT_EQ(RowOf(table, 0), (Row{"1", "0", "0", marker}));
    EXPECT_EQ(RowOf(table, 1), (Row{"2", "20", "2F", marker}));
    EXPECT_EQ(RowOf(table, 2), (Row{"3", "1FF", "200", marker}));
    EXPECT_EQ(RowOf(table, 3), (Row{"4", "0", "-1", marker}));
    // The end marker's turn began the row after the last record.
    EXPECT_EQ(RowOf(table, 4), (Row{"5", "454F46", "b4", "m4"}));
  }
}

TEST_F(PatchLoaderTest, FewerRecordsHideTheRowsOfALongerPatch) {
  PatchTable table = TableWithOldTexts();
  ASSERT_EQ(LoadPatchIntoTable(Patch(PatchBuilder()
                                         .Data(1, "a")
                                         .Data(2, "b")
                                         .Data(3, "c")
                                         .Data(4, "d")
                                         .Data(5, "e")
                                         .End()
                                         .Bytes()),
                               original_, table, Language::English),
            LoadResult::Loaded);
  ASSERT_EQ(table.RowCount(), 5);
  ASSERT_EQ(LoadPatchIntoTable(Patch(PatchBuilder().Data(9, "a").Data(8, "b").End().Bytes()),
                               original_, table, Language::English),
            LoadResult::Loaded);
  EXPECT_EQ(table.RowCount(), 2);
  EXPECT_EQ(RowOf(table, 1), (Row{"2", "8", "8", "Execute"}));
  EXPECT_EQ(RowOf(table, 2), (Row{"3", "454F46", "3", "Execute"}));
  EXPECT_EQ(RowOf(table, 4), (Row{"5", "5", "5", "Execute"}));
}

TEST_F(PatchLoaderTest, PatchWithoutRecordsGivesNoRows) {
  PatchTable table = TableWithOldTexts();
  ASSERT_EQ(
      LoadPatchIntoTable(Patch(PatchBuilder().End().Bytes()), original_, table, Language::English),
      LoadResult::Loaded);
  EXPECT_EQ(table.RowCount(), 0);
  EXPECT_EQ(RowOf(table, 0), (Row{"1", "454F46", "b0", "m0"}));
}

TEST_F(PatchLoaderTest, BadHeaderKeepsOneRowAndNeverOpensTheOriginal) {
  for (const std::string header : {"", "PATC", "patch", "PATCX"}) {
    SCOPED_TRACE("header '" + header + "'");
    PatchTable table = TableWithOldTexts();
    const Row before = RowOf(table, 0);
    // A missing original would fail if it were opened.
    const int descriptors = OpenDescriptorCount();
    EXPECT_EQ(LoadPatchIntoTable(Patch(header + "EOF"), dir_.File("missing.bin"), table,
                                 Language::English),
              LoadResult::BadHeader);
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
    EXPECT_EQ(table.RowCount(), 1);
    EXPECT_EQ(RowOf(table, 0), before);
  }
}

TEST_F(PatchLoaderTest, CutPatchLeavesTheRowsReadSoFar) {
  const std::string whole =
      PatchBuilder().Data(0x10, "abc").Run(0x20, 4, 7).Data(0x30, "xyz").End().Bytes();
  // Offsets: records at 5, 13 and 21; the third's size at 24, its data at 26.
  struct Case {
    const char* where;
    std::size_t length;
    int rowCount;
    Row lastRow;  // the row at rowCount - 1
  };
  const Case cases[] = {
      {"header only", 5, 1, {"old0", "a0", "b0", "m0"}},
      {"inside the first offset", 7, 1, {"old0", "a0", "b0", "m0"}},
      {"after the third offset", 24, 3, {"3", "30", "b2", "m2"}},
      {"inside the third record's data", 27, 4, {"old3", "a3", "b3", "m3"}},
      {"before the end marker", 29, 4, {"old3", "a3", "b3", "m3"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.where);
    PatchTable table = TableWithOldTexts();
    EXPECT_EQ(LoadError(Patch(whole.substr(0, c.length)), original_, table), kReadBeyondEnd);
    EXPECT_EQ(table.RowCount(), c.rowCount);
    EXPECT_EQ(RowOf(table, c.rowCount - 1), c.lastRow);
    if (c.rowCount > 1) {
      EXPECT_EQ(RowOf(table, 0), (Row{"1", "10", "12", "Execute"}));
    }
  }
}

TEST_F(PatchLoaderTest, FilesThatCannotBeOpenedGiveTheirErrors) {
  const std::string good = Patch(PatchBuilder().Data(1, "a").End().Bytes());
  const std::string readOnly = dir_.Write("read-only.bin", "x");
  ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
  struct Case {
    std::string patch;
    std::string original;
    std::string text;
  };
  const Case cases[] = {
      {dir_.File("missing.ips"), original_, kFileNotFound},
      {good, dir_.File("missing.bin"), kFileNotFound},
      {good, dir_.File("no-folder/original.bin"), kInvalidFilename},
      {good, readOnly, kFileAccessDenied},
      {good, dir_.Path(), kFileAccessDenied},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.patch + " / " + c.original);
    PatchTable table = TableWithOldTexts();
    EXPECT_EQ(LoadError(c.patch, c.original, table), c.text);
    EXPECT_EQ(table.RowCount(), 1);
    EXPECT_EQ(RowOf(table, 0), (Row{"old0", "a0", "b0", "m0"}));
  }
}

TEST_F(PatchLoaderTest, AReadOnlyPatchLoads) {
  const std::string patch = Patch(PatchBuilder().Data(1, "a").End().Bytes());
  ASSERT_EQ(::chmod(patch.c_str(), 0444), 0);
  PatchTable table;
  ASSERT_EQ(LoadPatchIntoTable(patch, original_, table, Language::English), LoadResult::Loaded);
  EXPECT_EQ(RowOf(table, 0), (Row{"1", "1", "1", "Execute"}));
}

TEST_F(PatchLoaderTest, LoadingLeavesTheOriginalUntouched) {
  const std::string patch = Patch(PatchBuilder().Data(0, "XXXXXXXXXXXX").End().Bytes());
  PatchTable table;
  ASSERT_EQ(LoadPatchIntoTable(patch, original_, table, Language::English), LoadResult::Loaded);
  EXPECT_EQ(testing::ReadAll(original_),
            std::vector<std::uint8_t>({'o', 'r', 'i', 'g', 'i', 'n', 'a', 'l'}));
}

}  // namespace
}  // namespace vips
