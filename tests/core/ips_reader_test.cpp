#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "core/error.hpp"
#include "core/ips/hex_address.hpp"
#include "core/ips/reader.hpp"
#include "patch_builder.hpp"
#include "support/temp_dir.hpp"

namespace vips {
namespace {

using testing::PatchBuilder;

struct Record {
  std::int32_t offset = 0;
  std::uint16_t size = 0;
  RunBody run;
  std::string data;
  bool operator==(const Record& other) const {
    return offset == other.offset && size == other.size && run.runLength == other.run.runLength &&
           run.value == other.run.value && data == other.data;
  }
};

struct Walk {
  bool header = false;
  std::vector<Record> records;
  std::optional<std::string> error;
  std::string errorPath;  // the file, or the name of the bytes, the error names
  std::string cutData;    // data bytes handed out by a failing ReadData
};

// Walks a whole patch the way the loader and the applier do.
Walk WalkReader(IpsReader reader) {
  Walk walk;
  walk.header = reader.ReadHeader();
  if (!walk.header) return walk;
  try {
    for (;;) {
      Record record;
      record.offset = reader.ReadOffset();
      if (record.offset == kEndMarkerOffset) break;
      record.size = reader.ReadSize();
      if (record.size != 0) {
        std::string data;
        try {
          reader.ReadData(record.size, [&data](const std::uint8_t* bytes, std::size_t length) {
            data.append(reinterpret_cast<const char*>(bytes), length);
          });
        } catch (const Error&) {
          walk.cutData = data;
          throw;
        }
        record.data = data;
      } else {
        record.run = reader.ReadRunBody();
      }
      walk.records.push_back(record);
    }
  } catch (const Error& error) {
    walk.error = error.what();
    walk.errorPath = error.Path();
  }
  return walk;
}

Walk WalkPatch(const testing::TempDir& dir, const std::string& bytes) {
  return WalkReader(IpsReader(ExistingFile::Open(dir.Write("walk.ips", bytes))));
}

TEST(IpsReaderTest, HeaderMustBeExactlyFiveUpperCaseBytes) {
  testing::TempDir dir;
  struct Case {
    std::string bytes;
    bool accepted;
  };
  const Case cases[] = {
      {"", false},       {"PATC", false},    {"patch", false}, {"PATCh", false},
      {"XPATCH", false}, {"PATCHEOF", true}, {"PATCH", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("header bytes: '" + c.bytes + "'");
    const Walk walk = WalkPatch(dir, c.bytes);
    EXPECT_EQ(walk.header, c.accepted);
    // The same test before a load, on a read-only file of its own (one that
    // Windows would not let the test remove before the folder goes).
    const std::string path = dir.Write("read-only-" + std::to_string(&c - cases) + ".ips", c.bytes);
    std::filesystem::permissions(path, std::filesystem::perms::owner_read);
    EXPECT_EQ(BeginsAsPatch(path), c.accepted);
  }
  EXPECT_FALSE(BeginsAsPatch(dir.File("missing.ips")));
  EXPECT_FALSE(BeginsAsPatch(dir.Path()));
}

TEST(IpsReaderTest, ReadsDataAndRunRecordsInFileOrder) {
  testing::TempDir dir;
  const std::string bytes = PatchBuilder()
                                .Data(0x10, "abc")
                                .Run(0x20, 16, 0x7F)
                                .Data(0xFFFFFF, "z")
                                .Run(0, 0, 1)
                                .End()
                                .Bytes();
  const Walk walk = WalkPatch(dir, bytes);
  ASSERT_FALSE(walk.error) << *walk.error;
  const std::vector<Record> expected = {
      {0x10, 3, {}, "abc"},
      {0x20, 0, {16, 0x7F}, ""},
      {0xFFFFFF, 1, {}, "z"},
      {0, 0, {0, 1}, ""},
  };
  EXPECT_EQ(walk.records, expected);
}

TEST(IpsReaderTest, EndMarkerStopsTheWalkAndLaterBytesAreIgnored) {
  testing::TempDir dir;
  const std::string plain = PatchBuilder().Data(1, "q").End().Bytes();
  // Trailing bytes that would read as a further (cut) record.
  const Walk trailing = WalkPatch(dir, plain + std::string("\x00\x00\x05\x00", 4));
  const Walk bare = WalkPatch(dir, plain);
  EXPECT_FALSE(trailing.error);
  EXPECT_EQ(trailing.records, bare.records);
  EXPECT_EQ(bare.records.size(), 1u);

  const Walk empty = WalkPatch(dir, PatchBuilder().End().Bytes());
  EXPECT_FALSE(empty.error);
  EXPECT_TRUE(empty.records.empty());
}

TEST(IpsReaderTest, FileEndingBeforeTheEndMarkerIsReadBeyondEnd) {
  testing::TempDir dir;
  // A data record of 3 bytes (8 bytes in all) and a run record (8 bytes).
  const std::string whole = PatchBuilder().Data(0x10, "abc").Run(0x20, 16, 0x7F).End().Bytes();
  struct Case {
    const char* where;
    std::size_t length;
    std::size_t completeRecords;
    std::string cutData;
  };
  const Case cases[] = {
      {"header only", 5, 0, ""},
      {"inside the offset", 6, 0, ""},
      {"after the offset", 8, 0, ""},
      {"inside the size", 9, 0, ""},
      {"after the size, before the data", 10, 0, ""},
      {"inside the data", 12, 0, "ab"},
      {"after a whole record", 13, 1, ""},
      {"run: after its offset", 16, 1, ""},
      {"run: after its size", 18, 1, ""},
      {"run: inside the run length", 19, 1, ""},
      {"run: before the value byte", 20, 1, ""},
      {"after the last record", 21, 2, ""},
      {"inside the end marker", 23, 2, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.where);
    const Walk walk = WalkPatch(dir, whole.substr(0, c.length));
    ASSERT_TRUE(walk.header);
    ASSERT_TRUE(walk.error.has_value());
    EXPECT_EQ(*walk.error, kReadBeyondEnd);
    EXPECT_EQ(walk.records.size(), c.completeRecords);
    EXPECT_EQ(walk.cutData, c.cutData);
  }
}

TEST(IpsReaderTest, EndMarkerOffsetCannotStartARecord) {
  testing::TempDir dir;
  // A data record meant for 0x454F46 reads as the end marker.
  const Walk walk = WalkPatch(dir, PatchBuilder().Data(0x454F46, "xy").End().Bytes());
  EXPECT_FALSE(walk.error);
  EXPECT_TRUE(walk.records.empty());
}

TEST(IpsReaderTest, LargeRecordsAcrossBufferBoundaries) {
  testing::TempDir dir;
  std::mt19937 random(7);
  PatchBuilder builder;
  std::vector<Record> expected;
  // Over a megabyte of records so that fields straddle the 64 KiB reads.
  for (int i = 0; i < 60; ++i) {
    Record record;
    record.offset = static_cast<std::int32_t>(random() % 0x1000000);
    if (record.offset == kEndMarkerOffset) record.offset = 0;
    if (i % 3 == 2) {
      record.run = {static_cast<std::uint16_t>(random()), static_cast<std::uint8_t>(random())};
      builder.Run(static_cast<std::uint32_t>(record.offset), record.run.runLength,
                  record.run.value);
    } else {
      record.size = static_cast<std::uint16_t>(1 + random() % 65535);
      for (int b = 0; b < record.size; ++b) record.data.push_back(static_cast<char>(random()));
      builder.Data(static_cast<std::uint32_t>(record.offset), record.data);
    }
    expected.push_back(record);
  }
  const Walk walk = WalkPatch(dir, builder.End().Bytes());
  ASSERT_FALSE(walk.error) << *walk.error;
  EXPECT_EQ(walk.records, expected);
}

TEST(IpsReaderTest, SkipDataMovesPastTheBytesAndFailsOnACut) {
  testing::TempDir dir;
  const std::string bytes = PatchBuilder().Data(1, std::string(60000, 'd')).Run(2, 5, 9).Bytes();
  IpsReader reader(ExistingFile::Open(dir.Write("skip.ips", bytes)));
  ASSERT_TRUE(reader.ReadHeader());
  EXPECT_EQ(reader.ReadOffset(), 1);
  reader.SkipData(reader.ReadSize());
  EXPECT_EQ(reader.ReadOffset(), 2);
  EXPECT_EQ(reader.ReadSize(), 0);
  const RunBody run = reader.ReadRunBody();
  EXPECT_EQ(run.runLength, 5);
  EXPECT_EQ(run.value, 9);
  EXPECT_THROW(reader.SkipData(1), Error);
}

TEST(IpsReaderTest, BytesInMemoryReadAsTheSameBytesInAFile) {
  testing::TempDir dir;
  // Records longer than the file's 64 KiB pieces, so that fields straddle them.
  const std::string whole = PatchBuilder()
                                .Data(0x10, "abc")
                                .Run(0x20, 16, 0x7F)
                                .Data(0x30, std::string(65535, 'x'))
                                .Data(0x40000, std::string(40000, 'y'))
                                .End()
                                .Bytes();
  struct Case {
    const char* what;
    std::string bytes;
    bool header;
    bool cut;
  };
  const Case cases[] = {
      {"whole", whole, true, false},
      {"cut inside the first data", whole.substr(0, 12), true, true},
      {"cut past the first 64 KiB", whole.substr(0, 70000), true, true},
      {"cut inside the end marker", whole.substr(0, whole.size() - 1), true, true},
      {"bad header", "PATCx" + whole.substr(5), false, false},
      {"shorter than a header", "PAT", false, false},
      {"empty", "", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = dir.Write("same.ips", c.bytes);
    const Walk file = WalkReader(IpsReader(ExistingFile::OpenForReading(path)));
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(c.bytes.data());
    const Walk memory = WalkReader(IpsReader(PatchSource({bytes, c.bytes.size()}, "in memory")));
    EXPECT_EQ(file.header, c.header);
    EXPECT_EQ(file.error.has_value(), c.cut);
    EXPECT_EQ(memory.header, file.header);
    EXPECT_EQ(memory.records, file.records);
    EXPECT_EQ(memory.error, file.error);
    EXPECT_EQ(memory.cutData, file.cutData);
    EXPECT_EQ(memory.errorPath, c.cut ? "in memory" : "");
    EXPECT_EQ(file.errorPath, c.cut ? path : "");
    EXPECT_EQ(IpsReader::Open({bytes, c.bytes.size()}).has_value(), c.header);
  }
}

TEST(IpsReaderTest, FinalAddresses) {
  EXPECT_EQ(FinalAddress(0xFFFFFF, 65535), 0x100FFFD);
  EXPECT_EQ(HexAddressText(FinalAddress(0xFFFFFF, 65535)), "100FFFD");
  EXPECT_EQ(FinalAddress(0x20, 0), 0x1F);
  EXPECT_EQ(FinalAddress(0, 0), -1);
  EXPECT_EQ(FinalAddress(0x1FF, 2), 0x200);
}

}  // namespace
}  // namespace vips
