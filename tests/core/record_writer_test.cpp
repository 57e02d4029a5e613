// The one writer: records gathered by block, the file read and written
// block by block, all or nothing, in place or into a new file.
#include "core/apply/record_writer.hpp"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "core/apply/apply.hpp"
#include "core/apply/in_place_write.hpp"
#include "core/error.hpp"
#include "core/files/file_access.hpp"
#include "core/files/replacement_file.hpp"
#include "patch_builder.hpp"
#include "support/temp_dir.hpp"
#include "tests/support/write_fault.hpp"

namespace vips {
namespace {

using testing::PatchBuilder;
using testing::ReadAll;
using testing::TempDir;

constexpr std::uint32_t kBlock = RecordWriter::kBlockSize;
constexpr std::size_t kMaxRecordBytes = RecordWriter::kMaxRecordBytes;

std::string Pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 31 % 251);
  return bytes;
}

// The file as a plain model writes the records of the patches (bytes from
// their header on): each over the ones before.
std::string Model(std::string file, const std::vector<std::string>& patches,
                  const std::vector<bool>& firstChosen) {
  for (std::size_t p = 0; p < patches.size(); ++p) {
    const auto byte = [&patch = patches[p]](std::size_t i) {
      return static_cast<std::uint8_t>(patch[i]);
    };
    std::size_t at = 5;
    for (std::size_t i = 0;; ++i) {
      const std::size_t offset = std::size_t{byte(at)} << 16 | byte(at + 1) << 8 | byte(at + 2);
      if (offset == 0x454F46) break;
      const std::size_t size = byte(at + 3) << 8 | byte(at + 4);
      const std::size_t count = size != 0 ? size : (byte(at + 5) << 8 | byte(at + 6));
      std::string bytes =
          size != 0 ? patches[p].substr(at + 5, size) : std::string(count, patches[p][at + 7]);
      at += size != 0 ? 5 + size : 8;
      if (p == 0 && !firstChosen.empty() && !firstChosen[i]) continue;
      if (file.size() < offset + count) file.resize(offset + count, '\0');
      file.replace(offset, count, bytes);
    }
  }
  return file;
}

TEST(RecordWriterTest, WritesWhatTheModelWritesOrNothingAtAnyFailingStep) {
  const std::string original = Pattern(3 * kBlock + 100);
  // Records cross blocks and pages, overlap, lengthen the file, or write the
  // bytes already there; the pages they touch are written, joined across a
  // page between within a block.
  PatchBuilder scattered;
  for (std::uint32_t k = 0; k < 40; ++k) scattered.Data(kBlock + k * 97, "xy").Run(k * 300, 5, 'r');
  // More run bytes than the reach holds: the undo cannot keep them all.
  PatchBuilder piled;
  piled.Data(10, "a");
  for (std::uint32_t k = 0; k < 290; ++k) {
    piled.Run(100 + k % 7, static_cast<std::uint16_t>(60000 - k),
              static_cast<std::uint8_t>('a' + k % 26));
  }
  struct Case {
    const char* what;
    std::vector<std::string> patches;
    std::vector<bool> firstChosen;
    std::uint32_t untouched;  // a byte inside the spans that no record writes
    std::uint64_t cut = 0;    // where the file's end is cut off, if anywhere
  };
  const Case cases[] = {
      {"one stretch across a block boundary",
       {PatchBuilder().Data(kBlock - 3, "ABCDEF").End().Bytes()},
       {},
       0},
      {"many stretches, overlapping, later records win",
       {scattered.Data(kBlock + 10, std::string(500, 'o'))
            .Run(kBlock + 200, 30, 'q')
            .Data(3 * kBlock + 50, "late")
            .End()
            .Bytes()},
       {},
       kBlock + 2},
      {"long data records overlapping and a run in one block, after an earlier one",
       {PatchBuilder()
            .Data(10, "a")
            .Data(kBlock + 100, std::string(20000, 'D'))
            .Run(kBlock + 20200, 50, 'R')
            .Data(kBlock + 5000, std::string(10000, 'E'))
            .Data(2 * kBlock + 5, "late")
            .End()
            .Bytes()},
       {},
       kBlock + 20150},
      {"two patches and a selection; a record left out",
       {PatchBuilder().Data(5, "aa").Data(70, "skipped").Run(2 * kBlock, 9, 'z').End().Bytes(),
        PatchBuilder().Data(6, "B").Run(3 * kBlock + 90, 40, 'g').End().Bytes()},
       {true, false, true},
       7},
      {"one data record alone in each later block, lengthening the file",
       {PatchBuilder()
            .Data(10, "a")
            .Data(kBlock - 7, std::string(65535, 'L'))
            .Data(3 * kBlock + 50, std::string(2000, 'M'))
            .End()
            .Bytes()},
       {},
       50},
      {"runs piled over one another, more bytes than the reach holds",
       {piled.Data(2 * kBlock + 9, "late").End().Bytes()},
       {},
       50},
      {"pages one page apart, in one block and in two",
       {PatchBuilder()
            .Data(kBlock - 10, "end")
            .Data(kBlock + 4096 + 10, "next")
            .Data(2 * kBlock + 5, "p0")
            .Data(2 * kBlock + 2 * 4096 + 5, "p2")
            .End()
            .Bytes()},
       {},
       kBlock + 100},
      {"the file's own bytes only",
       {PatchBuilder().Data(100, original.substr(100, 300)).Run(9, 0, 'e').End().Bytes()},
       {},
       50},
      {"records, then the file's end cut off inside a block",
       {PatchBuilder().Data(10, "a").Run(kBlock + 5, 300, 'c').End().Bytes()},
       {},
       kBlock + 2,
       2 * kBlock + 30},
  };
  TempDir dir;
  // Records wait in lists, or with little room for those, are laid by the
  // block as they come.
  for (const std::size_t listBytes : {RecordWriter::kArenaBytes, std::size_t{8192}})
    for (const Case& c : cases) {
      SCOPED_TRACE(c.what);
      SCOPED_TRACE(listBytes);
      std::vector<std::string> patchPaths;
      for (std::size_t p = 0; p < c.patches.size(); ++p) {
        patchPaths.push_back(dir.Write("p" + std::to_string(p) + ".ips", c.patches[p]));
      }
      const auto gather = [&](RecordWriter& writer) {
        for (std::size_t p = 0; p < patchPaths.size(); ++p) {
          EXPECT_TRUE(
              GatherRecords(patchPaths[p], p == 0 ? c.firstChosen : std::vector<bool>{}, writer));
        }
        if (c.cut != 0) writer.CutAt(c.cut);
      };
      std::string expected = Model(original, c.patches, c.firstChosen);
      if (c.cut != 0) expected.resize(c.cut);
      const bool changes = expected != original;
      const std::string path = dir.Write("f.bin", original);
      {
        RecordWriter writer(listBytes);
        gather(writer);
        ExistingFile file = ExistingFile::Open(path);
        EXPECT_EQ(writer.Changes(file), changes);
        // Another program's change between the records survives.
        file.WriteAt(c.untouched, "#", 1);
        EXPECT_EQ(WriteRecordsInPlace(file, writer, false).changed, changes);
        file.Close();
        std::string withChange = expected;
        withChange[c.untouched] = '#';
        EXPECT_EQ(ReadAll(path), std::vector<std::uint8_t>(withChange.begin(), withChange.end()));
      }
      {
        // Into a new file, the original only read.
        dir.Write("f.bin", original);
        RecordWriter writer(listBytes);
        gather(writer);
        ExistingFile file = ExistingFile::OpenForReading(path);
        ReplacementFile output = ReplacementFile::Create(dir.File("new.bin"));
        EXPECT_EQ(writer.WriteCopy(file, output), changes);
        output.Commit();
        file.Close();
        EXPECT_EQ(ReadAll(dir.File("new.bin")),
                  std::vector<std::uint8_t>(expected.begin(), expected.end()));
        EXPECT_EQ(ReadAll(path), std::vector<std::uint8_t>(original.begin(), original.end()));
      }
      for (int step = 1;; ++step) {
        dir.Write("f.bin", original);
        RecordWriter writer(listBytes);
        gather(writer);
        ExistingFile file = ExistingFile::Open(path);
        write_fault::FailNthStep(step);
        bool failed = false;
        try {
          (void)WriteRecordsInPlace(file, writer, false);
        } catch (const Error& error) {
          failed = true;
          EXPECT_STREQ(error.what(), kDiskFull);
        }
        const int steps = write_fault::StepsTaken();
        write_fault::FailNthStep(0);
        file.Close();
        const std::string& want = failed ? original : expected;
        ASSERT_EQ(ReadAll(path), std::vector<std::uint8_t>(want.begin(), want.end()))
            << "step " << step;
        if (!failed || step > steps) break;
      }
    }
}

// A record is at most an IPS record's 65,535 bytes and ends within the reach:
// anything else is refused before a byte is laid (a whole block's part would
// not fit its entry's count).
TEST(RecordWriterTest, RefusesARecordLongerThanIpsAllowsOrPastTheReach) {
  const std::vector<std::uint8_t> bytes(kMaxRecordBytes + 1, 'x');
  struct Case {
    std::uint64_t position;
    std::size_t count;
  };
  const Case cases[] = {{0, kMaxRecordBytes + 1},
                        {kBlock, kMaxRecordBytes + 1},
                        {kPatchableSize - 1, 2},
                        {kPatchableSize, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.position);
    for (const bool run : {false, true}) {
      RecordWriter writer(1 << 20);
      EXPECT_THROW(run ? writer.Fill(c.position, 'r', c.count)
                       : writer.Write(c.position, bytes.data(), c.count),
                   std::invalid_argument);
      EXPECT_TRUE(writer.Empty());
    }
  }
  RecordWriter writer(1 << 20);
  writer.Write(kPatchableSize - kMaxRecordBytes, bytes.data(), kMaxRecordBytes);
  EXPECT_EQ(writer.End(), kPatchableSize);
}

// Patches are read through a buffer of 64 KiB: records cut by its end
// anywhere, long and short, chosen or not, land where the model puts them.
TEST(RecordWriterTest, GathersLongPatchesWhereverTheBufferCutsARecord) {
  PatchBuilder builder;
  std::vector<bool> chosen;
  std::uint32_t seed = 7;
  const auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
  for (int i = 0; i < 12000; ++i) {
    const std::uint32_t offset = next() % (4 * kBlock);
    const std::uint32_t kind = next() % 50;
    if (kind == 0) {
      builder.Data(offset, std::string(65535, static_cast<char>('A' + i % 26)));
    } else if (kind < 12) {
      builder.Run(offset, static_cast<std::uint16_t>(next() % 300), static_cast<std::uint8_t>(i));
    } else {
      builder.Data(offset, Pattern(1 + next() % 90).substr(0, 1 + i % 90));
    }
    chosen.push_back(i % 3 != 0);
  }
  TempDir dir;
  const std::string patch = builder.End().Bytes();
  const std::string patchPath = dir.Write("long.ips", patch);
  const std::string original = Pattern(2 * kBlock);
  for (const std::vector<bool>& firstChosen : {std::vector<bool>{}, chosen}) {
    const std::string expected = Model(original, {patch}, firstChosen);
    RecordWriter writer(1 << 20);
    ASSERT_TRUE(GatherRecords(patchPath, firstChosen, writer));
    const std::string path = dir.Write("f.bin", original);
    ExistingFile file = ExistingFile::Open(path);
    EXPECT_TRUE(WriteRecordsInPlace(file, writer, false).changed);
    file.Close();
    EXPECT_EQ(ReadAll(path), std::vector<std::uint8_t>(expected.begin(), expected.end()));
  }
}

// The journal gets the stretches the records cover, joined only across a few
// bytes (and split where blocks meet), and the write only the pages whose
// bytes change: a page where the records write what is there already is left
// alone, whatever another program wrote in it since.
TEST(RecordWriterTest, JournalsTheCoveredStretchesAndWritesOnlyPagesThatChange) {
  TempDir dir;
  const std::string original = Pattern(3 * kBlock);
  const std::string path = dir.Write("f.bin", original);
  const auto bytes = [](const std::string& text) {
    return reinterpret_cast<const std::uint8_t*>(text.data());
  };
  const std::uint64_t same = 2 * kBlock + 8192 + 5;
  RecordWriter writer;
  writer.Write(100, bytes("AAAA"), 4);
  writer.Write(108, bytes("BB"), 2);
  writer.Write(200, bytes("CC"), 2);
  writer.Write(kBlock - 2, bytes("DDDD"), 4);
  writer.Write(same, bytes(original.substr(same, 10)), 10);
  writer.Fill(3 * kBlock - 1, 'z', 1);
  ExistingFile file = ExistingFile::Open(path);
  std::vector<std::pair<std::uint64_t, std::size_t>> stretches;
  EXPECT_TRUE(
      writer.Compose(file, [&](std::uint64_t position, const std::uint8_t*, const std::uint8_t*,
                               std::size_t count) { stretches.emplace_back(position, count); }));
  EXPECT_EQ(
      stretches,
      (std::vector<std::pair<std::uint64_t, std::size_t>>{
          {100, 10}, {200, 2}, {kBlock - 2, 2}, {kBlock, 2}, {same, 10}, {3 * kBlock - 1, 1}}));
  file.WriteAt(same - 5, "#", 1);
  EXPECT_TRUE(writer.WriteComposed(file));
  file.Close();
  std::string expected = original;
  expected.replace(100, 4, "AAAA");
  expected.replace(108, 2, "BB");
  expected.replace(200, 2, "CC");
  expected.replace(kBlock - 2, 4, "DDDD");
  expected[same - 5] = '#';
  expected[3 * kBlock - 1] = 'z';
  EXPECT_EQ(ReadAll(path), std::vector<std::uint8_t>(expected.begin(), expected.end()));
}

// What the journal takes before an in-place write: the file's present bytes
// of every byte a record writes below the file's end, and no more than the
// blocks' spans however the records pile on one another; with them, and past
// the end, exactly the bytes the write then leaves.
TEST(RecordWriterTest, StretchesCoverEveryWrittenByteWithinTheSpansBeforeAndAfter) {
  struct Case {
    const char* what;
    std::size_t listBytes;
    void (*put)(RecordWriter&);
  };
  const Case cases[] = {
      {"scattered records and a run", RecordWriter::kArenaBytes,
       [](RecordWriter& w) {
         for (std::uint32_t i = 0; i < 500; ++i) {
           w.Write(i * 523 % (3 * kBlock), reinterpret_cast<const std::uint8_t*>("abcdefg"),
                   1 + i % 7);
         }
         w.Fill(kBlock - 100, 'r', 300);
       }},
      {"runs piled at three places, each before the last, listed", RecordWriter::kArenaBytes,
       [](RecordWriter& w) {
         for (int i = 0; i < 20'000; ++i) w.Fill(20'000 - i % 3 * 10'000, 'p', 15'000);
       }},
      {"the same, laid", 8192,
       [](RecordWriter& w) {
         for (int i = 0; i < 20'000; ++i) w.Fill(20'000 - i % 3 * 10'000, 'p', 15'000);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    // The records reach past the file's end.
    const std::string original = Pattern(2 * kBlock + 5);
    const std::string path = dir.Write("f.bin", original);
    RecordWriter writer(c.listBytes);
    c.put(writer);
    // The writer's result, to hold its view of the bytes after the write against.
    RecordWriter again(c.listBytes);
    c.put(again);
    const std::string patched = dir.Write("g.bin", original);
    ExistingFile other = ExistingFile::Open(patched);
    again.WriteComposed(other);
    other.Close();
    const std::vector<std::uint8_t> result = ReadAll(patched);
    const auto text = [](const std::uint8_t* bytes, std::size_t count) {
      return std::string(reinterpret_cast<const char*>(bytes), count);
    };

    std::vector<bool> covered(original.size(), false);
    std::uint64_t visited = 0;
    ExistingFile file = ExistingFile::Open(path);
    writer.Compose(file, [&](std::uint64_t position, const std::uint8_t* before,
                             const std::uint8_t* after, std::size_t count) {
      ASSERT_LE(position + count, original.size());
      EXPECT_EQ(text(before, count), original.substr(position, count));
      EXPECT_EQ(text(after, count), text(result.data() + position, count));
      for (std::size_t i = 0; i < count; ++i) covered[position + i] = true;
      visited += count;
    });
    std::uint64_t grown = original.size();
    writer.ForEachGrowth(original.size(),
                         [&](std::uint64_t position, const std::uint8_t* after, std::size_t count) {
                           ASSERT_EQ(position, grown);
                           ASSERT_LE(position + count, result.size());
                           EXPECT_EQ(text(after, count), text(result.data() + position, count));
                           grown += count;
                         });
    file.Close();
    EXPECT_EQ(grown, std::max<std::uint64_t>(original.size(), writer.End()));
    EXPECT_LE(visited, writer.SpanBytes());
    for (std::size_t i = 0; i < original.size(); ++i) {
      if (result[i] != static_cast<std::uint8_t>(original[i])) {
        ASSERT_TRUE(covered[i]) << i;
      }
    }
  }
}

}  // namespace
}  // namespace vips
