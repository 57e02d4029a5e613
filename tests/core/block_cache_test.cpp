#include "core/block_cache.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "core/file_access.hpp"
#include "support/temp_dir.hpp"

namespace vips {
namespace {

using testing::ReadAll;
using testing::TempDir;

const std::uint8_t* BytesOf(const char* text) {
  return reinterpret_cast<const std::uint8_t*>(text);
}

TEST(BlockCacheTest, ChangesAndWritesOnlyWhereAWrittenByteDiffersOrTheFileGrows) {
  TempDir dir;
  // Two blocks' worth, so that records fall in both and across the boundary.
  std::string text(140'000, '.');
  text.replace(65'530, 12, "0123456789AB");
  struct Case {
    const char* what;
    void (*records)(BlockCache&);
    bool changes;
  };
  const Case cases[] = {
      {"nothing written", [](BlockCache&) {}, false},
      {"the file's own bytes, across the block boundary",
       [](BlockCache& c) { c.Write(65'530, BytesOf("0123456789AB"), 12); }, false},
      {"a run of the byte already there", [](BlockCache& c) { c.Fill(100, '.', 5000); }, false},
      {"one byte differs", [](BlockCache& c) { c.Write(65'541, BytesOf("b"), 1); }, true},
      {"a later record puts the file's bytes back",
       [](BlockCache& c) {
         c.Fill(10, 'x', 64);
         c.Fill(10, '.', 64);
       },
       false},
      {"the last byte of a whole written word differs",
       [](BlockCache& c) {
         c.Fill(128, '.', 64);
         c.Write(191, BytesOf("!"), 1);
       },
       true},
      {"past the end, even with the file's byte value",
       [](BlockCache& c) { c.Fill(139'999, '.', 2); }, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = dir.Write("f.bin", text);
    BlockCache cache;
    c.records(cache);
    ExistingFile file = ExistingFile::Open(path);
    const std::uint64_t length = file.Length();
    EXPECT_EQ(cache.Changes(file, length), c.changes);
    EXPECT_EQ(ReadAll(path), std::vector<std::uint8_t>(text.begin(), text.end()));
    // The write leaves alone the spans that it would not change.
    file.Reserve(std::max(length, cache.End()));
    EXPECT_EQ(cache.Flush(file, length), c.changes);
    file.Close();
  }
}

}  // namespace
}  // namespace vips
