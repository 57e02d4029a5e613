// Writes that are all or nothing: an apply interrupted at any write, on a
// full disk or by a second writer leaves the original file as it was; only
// the records' bytes change.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/apply/apply.hpp"
#include "core/apply/in_place_write.hpp"
#include "core/apply/record_writer.hpp"
#include "core/error.hpp"
#include "core/files/file_access.hpp"
#include "core/files/file_copy.hpp"
#include "core/table/markers.hpp"
#include "core/table/patch_loader.hpp"
#include "core/table/patch_table.hpp"
#include "patch_builder.hpp"
#include "support/small_disk.hpp"
#include "support/temp_dir.hpp"
#include "tests/support/write_fault.hpp"

namespace vips {
namespace {

namespace fs = std::filesystem;
using testing::NamesIn;
using testing::PatchBuilder;
using testing::ReadAll;
using testing::SmallDisk;
using testing::TempDir;
using Bytes = std::vector<std::uint8_t>;

const std::string kLockError = kFileBusy;

std::string Pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 31 % 251);
  return bytes;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << path;
}

Bytes BytesOf(const std::string& text) {
  return {text.begin(), text.end()};
}

// Loads the patch and applies all its records as the window's Go and the
// command line's apply do; the error text, or "" when it was applied.
std::string ApplyAll(const std::string& original, const std::string& patch) {
  PatchTable table;
  try {
    EXPECT_EQ(LoadPatchIntoTable(patch, original, table, Language::English), LoadResult::Loaded);
    ExistingFile file = ExistingFile::OpenLocked(original);
    RecordWriter records;
    EXPECT_TRUE(GatherRecords(patch, {}, records));
    (void)WriteRecordsInPlace(file, records, true);
    file.Close();
  } catch (const Error& error) {
    return error.what();
  }
  return "";
}

TEST(AllOrNothingTest, ApplyFailingAtEveryWriteLeavesTheFileAsItWas) {
  TempDir dir;
  const std::string old = Pattern(300'000);
  const std::string original = dir.Write("o.bin", old);
  // Records in several blocks, one across a block boundary, and a run that
  // makes the file longer.
  const PatchBuilder patch = PatchBuilder()
                                 .Data(10, "abc")
                                 .Run(70'000, 200, 'R')
                                 .Data(131'070, "XYZW")
                                 .Run(299'990, 60'000, 'G');
  const std::string patchPath = dir.Write("p.ips", PatchBuilder(patch).End().Bytes());
  std::string expected = old;
  expected.replace(10, 3, "abc");
  expected.replace(70'000, 200, std::string(200, 'R'));
  expected.replace(131'070, 4, "XYZW");
  expected.resize(359'990);
  std::fill(expected.begin() + 299'990, expected.end(), 'G');

  for (int step = 1; step < 100; ++step) {
    SCOPED_TRACE(step);
    WriteFile(original, old);
    write_fault::FailNthStep(step);
    const std::string text = ApplyAll(original, patchPath);
    write_fault::FailNthStep(0);
    if (text.empty()) {
      // A journal whose removal failed was marked finished first: the next
      // run removes it and leaves the file as it is.
      EXPECT_FALSE(RollBackInterruptedRunAt(original));
      EXPECT_EQ(NamesIn(dir.Path()), (std::vector<std::string>{"o.bin", "p.ips"}));
      EXPECT_EQ(ReadAll(original), BytesOf(expected));
      EXPECT_GT(step, 3) << "the reservation and the blocks should each be a write";
      return;
    }
    EXPECT_EQ(NamesIn(dir.Path()), (std::vector<std::string>{"o.bin", "p.ips"}));
    EXPECT_EQ(text, kDiskFull);
    EXPECT_EQ(ReadAll(original), BytesOf(old));
  }
  FAIL() << "the apply never got through";
}

// A write that also cuts the file's end, stopped at any step: by a failure
// it undoes, or by a disk that keeps failing so that the next run has to put
// the file back from the journal. The file is old or written, never a mix.
TEST(AllOrNothingTest, AWriteThatCutsTheEndIsOldOrNewAtEveryFailingStep) {
  TempDir dir;
  const std::string old = Pattern(300'000);
  const std::string path = dir.Write("o.bin", old);
  std::string expected = old.substr(0, 150'000);
  expected.replace(10, 3, "abc");
  expected.replace(140'000, 3, "xyz");
  for (const bool keepsFailing : {false, true}) {
    for (int step = 1;; ++step) {
      SCOPED_TRACE(std::string(keepsFailing ? "failing from step " : "failing at step ") +
                   std::to_string(step));
      ASSERT_LT(step, 100);
      WriteFile(path, old);
      RecordWriter records;
      records.Write(10, reinterpret_cast<const std::uint8_t*>("abc"), 3);
      records.Write(140'000, reinterpret_cast<const std::uint8_t*>("xyz"), 3);
      records.CutAt(150'000);
      bool done = false;
      keepsFailing ? write_fault::FailFromNthStep(step) : write_fault::FailNthStep(step);
      try {
        ExistingFile file = ExistingFile::OpenLocked(path);
        done = WriteRecordsInPlace(file, records, true).changed;
        file.Close();
      } catch (const Error&) {
        // The file is checked below, whatever the failure.
      }
      write_fault::FailFromNthStep(0);
      write_fault::FailNthStep(0);
      (void)RollBackInterruptedRunAt(path);
      const Bytes now = ReadAll(path);
      // Failed once the write was flushed and marked done, it stays written.
      EXPECT_TRUE(now == BytesOf(expected) || (!done && now == BytesOf(old)));
      EXPECT_EQ(NamesIn(dir.Path()), std::vector<std::string>{"o.bin"});
      if (done) break;
    }
  }
}

TEST(AllOrNothingTest, OnlyTheRecordsBytesChange) {
  TempDir dir;
  const std::string path = dir.Write("f.bin", std::string(100'000, '.'));
  ExistingFile file = ExistingFile::Open(path);
  RecordWriter writer;
  writer.Write(10, reinterpret_cast<const std::uint8_t*>("AB"), 2);
  writer.Fill(20, 'z', 3);
  writer.Fill(99'998, 'e', 4);
  // Another program changes bytes between the records and outside them
  // after the records were read but before they are written.
  ExistingFile other = ExistingFile::Open(path);
  other.WriteAt(15, "!", 1);
  other.WriteAt(50'000, "?", 1);
  other.Close();
  EXPECT_TRUE(WriteRecordsInPlace(file, writer, false).changed);
  file.Close();
  std::string expected(100'002, '.');
  expected.replace(10, 2, "AB");
  expected[15] = '!';
  expected.replace(20, 3, "zzz");
  expected[50'000] = '?';
  expected.replace(99'998, 4, "eeee");
  EXPECT_EQ(ReadAll(path), BytesOf(expected));
}

TEST(AllOrNothingTest, ASecondWriterFailsAtOnceAndWritesNothing) {
  TempDir dir;
  const std::string original = dir.Write("o.bin", "0123456789");
  const std::string backup = dir.Write("o.bin_backup", "backup");
  const std::string patch = dir.Write("p.ips", PatchBuilder().Data(0, "zz").End().Bytes());
  ExistingFile holder = ExistingFile::Open(original);
  holder.LockForWriting();

  EXPECT_EQ(ApplyAll(original, patch), kLockError);
  try {
    CopyWholeFileOrThrow(backup, original);
    FAIL() << "recovered over a file that another writer holds";
  } catch (const Error& error) {
    EXPECT_EQ(std::string(error.what()), kLockError);
    EXPECT_EQ(error.Path(), original);
  }
  // Nor is a file being patched copied half-written.
  EXPECT_FALSE(CopyWholeFile(original, dir.File("copy.bin")));
  EXPECT_FALSE(fs::exists(dir.File("copy.bin")));
  EXPECT_EQ(ReadAll(original), BytesOf("0123456789"));

  holder.Close();
  EXPECT_EQ(ApplyAll(original, patch), "");
  EXPECT_EQ(ReadAll(original), BytesOf("zz23456789"));
}

TEST(AllOrNothingTest, FullDiskDuringApplyOrCopyChangesNothing) {
  TempDir dir;
  SmallDisk disk(dir.File("disk"), 2048);
  if (!disk.Mounted()) GTEST_SKIP() << disk.Reason();
  // Records inside the file and records that make it 128 KiB longer than
  // the disk holds.
  const std::string old = Pattern(1984 * 1024);
  const std::string original = disk.File("o.bin");
  WriteFile(original, old);
  const std::string patch = dir.Write("p.ips", PatchBuilder()
                                                   .Data(100, "inside")
                                                   .Run(1984 * 1024, 65'535, 'x')
                                                   .Run(1984 * 1024 + 65'535, 65'535, 'y')
                                                   .End()
                                                   .Bytes());
  EXPECT_EQ(ApplyAll(original, patch), kDiskFull);
  EXPECT_EQ(ReadAll(original), BytesOf(old));

  // A copy that does not fit leaves the older backup, and a recovery that
  // does not fit leaves the original.
  fs::remove(original);
  WriteFile(original, Pattern(1200 * 1024));
  const std::string backup = disk.File("o.bin_backup");
  WriteFile(backup, std::string(200 * 1024, 'b'));
  EXPECT_FALSE(CopyWholeFile(original, backup));
  EXPECT_EQ(ReadAll(backup), BytesOf(std::string(200 * 1024, 'b')));
  WriteFile(backup, std::string(400 * 1024, 'b'));
  WriteFile(disk.File("filler.bin"), std::string(300 * 1024, 'f'));
  EXPECT_FALSE(CopyWholeFile(backup, original));
  EXPECT_EQ(ReadAll(original), BytesOf(Pattern(1200 * 1024)));
  EXPECT_EQ(NamesIn(dir.File("disk")),
            (std::vector<std::string>{"filler.bin", "o.bin", "o.bin_backup"}));
}

}  // namespace
}  // namespace vips
