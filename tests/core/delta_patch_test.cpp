// A BPS or UPS patch written through the one writer: every stretch makes the
// file exactly the patch's result, its length included; chosen stretches
// change only their bytes and keep the length.
#include "core/apply/delta_patch.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/apply/in_place_write.hpp"
#include "core/apply/record_writer.hpp"
#include "core/delta/bps_maker.hpp"
#include "core/error.hpp"
#include "support/temp_dir.hpp"

namespace vips {
namespace {

using testing::ReadAll;
using testing::TempDir;
using Bytes = std::vector<std::uint8_t>;

Bytes Pattern(std::size_t size) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 13 % 251);
  return bytes;
}

TEST(DeltaPatchTest, ChosenStretchesGoThroughTheWriterAndAllOfThemMakeTheResult) {
  const Bytes original = Pattern(200'000);
  struct Case {
    const char* what;
    Bytes modified;
    std::vector<bool> chosen;  // empty: every stretch
  };
  Bytes changed = original;
  changed[10] ^= 1;
  changed[70'000] ^= 2;
  changed[150'000] ^= 3;
  Bytes grown = changed;
  grown.resize(300'000, 0x55);
  Bytes shrunk(changed.begin(), changed.begin() + 160'000);
  Bytes big = original;
  for (std::size_t i = 1000; i < 140'000; ++i) big[i] ^= 0xFF;
  const std::vector<Case> cases = {
      {"three changes, all chosen", changed, {}},
      {"three changes, the middle one left out", changed, {true, false, true}},
      {"grown", grown, {}},
      {"shortened", shrunk, {}},
      {"shortened, one change left out: the length stays", shrunk, {false, true, true}},
      {"one change longer than a record", big, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string path = dir.Write("o.bin", original);
    const std::string patchPath = dir.Write("p.bps", MakeLinearBps(original, c.modified));
    ASSERT_EQ(PatchFormatOf(patchPath), PatchFormat::Bps);
    ExistingFile file = ExistingFile::OpenLocked(path);
    const DecodedDeltaPatch patch = DecodeDeltaPatch(patchPath, file);
    RecordWriter writer;
    GatherStretches(patch, c.chosen, writer);
    (void)WriteRecordsInPlace(file, writer, false);
    file.Close();
    Bytes expected = c.modified;
    if (!c.chosen.empty()) {
      // Only the chosen stretches' bytes, over the original at its length.
      expected = original;
      const auto& stretches = patch.stretches.stretches;
      for (std::size_t i = 0; i < stretches.size(); ++i) {
        if (!c.chosen[i]) continue;
        for (std::uint64_t at = stretches[i].first; at <= stretches[i].last; ++at) {
          if (at >= expected.size()) expected.resize(at + 1);
          expected[at] = c.modified[at];
        }
      }
    }
    EXPECT_EQ(ReadAll(path), expected);
  }
}

TEST(DeltaPatchTest, AWrongOriginalOrAChangePastTheReachWritesNothing) {
  TempDir dir;
  const Bytes original = Pattern(1000);
  Bytes far(0x1010000, 0);
  far[0x100FFFF] = 1;
  const std::string path = dir.Write("o.bin", Pattern(999));
  const std::string wrong = dir.Write("w.bps", MakeLinearBps(original, Pattern(1001)));
  ExistingFile file = ExistingFile::OpenForReading(path);
  try {
    (void)DecodeDeltaPatch(wrong, file);
    ADD_FAILURE() << "a patch for another original was decoded";
  } catch (const Error& error) {
    EXPECT_EQ(error.Path(), wrong);
    EXPECT_NE(std::string(error.what()).find("o.bin"), std::string::npos) << error.what();
  }
  file.Close();
  const std::string farPath = dir.Write("z.bin", Bytes(0x1010000, 0));
  const std::string farPatch = dir.Write("far.bps", MakeLinearBps(Bytes(0x1010000, 0), far));
  ExistingFile zeros = ExistingFile::OpenForReading(farPath);
  const DecodedDeltaPatch decoded = DecodeDeltaPatch(farPatch, zeros);
  zeros.Close();
  RecordWriter writer;
  EXPECT_THROW(GatherStretches(decoded, {}, writer), Error);
  EXPECT_TRUE(writer.Empty());
}

}  // namespace
}  // namespace vips
