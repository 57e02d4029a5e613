// apply's new options, status, export, create and info: their outputs, exit
// statuses, and what they leave on disk when they fail.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/commands.hpp"
#include "core/files/file_access.hpp"
#include "core/files/rollback_journal.hpp"
#include "ips_bytes.hpp"
#include "run_cli.hpp"
#include "support/interrupted_run.hpp"
#include "support/temp_dir.hpp"
#include "tests/support/write_fault.hpp"

namespace vips::cli {
namespace {

using namespace std::string_literals;
using testing::IpsBytes;
using testing::ReadAll;
using testing::TempDir;

using testing::Outcome;
using testing::RunCommand;

const std::string kOriginal = "0123456789abcdef";
const char* const kNothingChanged = "Nothing changed: the file already holds these records.\n";

namespace fs = std::filesystem;

// Read-only for everyone, as a file on a read-only medium is.
void MakeReadOnly(const std::string& path) {
  fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
}

class CommandsTest : public ::testing::Test {
 protected:
  std::string Read(const std::string& path) const {
    const auto bytes = ReadAll(path);
    return {bytes.begin(), bytes.end()};
  }
  // The names in the folder, to see that no temporary file stays behind.
  std::vector<std::string> Names() const { return testing::NamesIn(dir_.Path()); }

  TempDir dir_;
  std::string original_ = dir_.Write("image.bin", kOriginal);
  // "AB" at 2, a run of four 'z' at 8, "QRS" at 14 (one byte past the end).
  std::string patch_ =
      dir_.Write("fix.ips", IpsBytes().Data(2, "AB").Run(8, 4, 'z').Data(14, "QRS").Complete());
  std::string second_ = dir_.Write("more.ips", IpsBytes().Data(3, "x").Run(0, 2, '-').Complete());
};

TEST_F(CommandsTest, OneBadPatchOfSeveralWritesNothing) {
  const std::string cut = dir_.Write("cut.ips", IpsBytes().Data(0, "zz").CutBy(1));
  const std::string bad = dir_.Write("bad.ips", "PATCX");
  for (const auto& [patch, status] : {std::pair{cut, kExitIoError}, {bad, kExitNotAPatch}}) {
    for (const bool toNewFile : {false, true}) {
      std::vector<std::string> args{"apply", original_, patch_, patch};
      if (toNewFile) args.insert(args.begin() + 1, {"--output", dir_.File("new.bin")});
      const Outcome o = RunCommand(args);
      EXPECT_EQ(o.status, status) << o.err;
      EXPECT_EQ(o.err.rfind(patch + ": ", 0), 0u) << o.err;
      EXPECT_EQ(Read(original_), kOriginal);
      EXPECT_FALSE(fs::exists(dir_.File("new.bin")));
    }
  }
}

TEST_F(CommandsTest, OutputLeavesReadOnlyInputsAsTheyAre) {
  MakeReadOnly(original_);
  MakeReadOnly(patch_);
  const std::string output = dir_.Write("new.bin", "an older file, replaced whole");
  const Outcome o = RunCommand({"apply", "--skip", "2", "--output", output, original_, patch_});
  EXPECT_EQ(o.status, kExitDone) << o.err;
  EXPECT_EQ(o.err, "");
  EXPECT_EQ(Read(output), "01AB456789abcdQRS");
  EXPECT_EQ(Read(original_), kOriginal);
}

TEST_F(CommandsTest, OutputRefusesAFileAnotherRunIsPatching) {
  ExistingFile writer = ExistingFile::Open(original_);
  writer.LockForWriting();
  const Outcome o = RunCommand({"apply", "--output", dir_.File("new.bin"), original_, patch_});
  EXPECT_EQ(o.status, kExitIoError);
  EXPECT_EQ(o.err.rfind(original_ + ": ", 0), 0u) << o.err;
  EXPECT_FALSE(fs::exists(dir_.File("new.bin")));
}

TEST_F(CommandsTest, OutputTakesThePermissionBitsOfTheOriginal) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows files have no permission bits to copy";
#endif
  const auto bits = fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read;
  fs::permissions(original_, bits);
  const Outcome o = RunCommand({"apply", "--output", dir_.File("new.bin"), original_, patch_});
  EXPECT_EQ(o.status, kExitDone) << o.err;
  EXPECT_EQ(fs::status(dir_.File("new.bin")).permissions(), bits);
}

TEST_F(CommandsTest, NewFileMayNotBeAnInput) {
  const std::string sameOriginal = dir_.Path() + "/./image.bin";
  const std::vector<std::vector<std::string>> cases = {
      {"apply", "--output", original_, original_, patch_},
      {"apply", "--output", sameOriginal, original_, patch_},
      {"apply", "--output", second_, original_, patch_, second_},
      {"export", patch_, patch_},
      {"create", original_, second_, second_},
      {"create", original_, second_, sameOriginal}};
  for (const auto& args : cases) {
    const Outcome o = RunCommand(args);
    EXPECT_EQ(o.status, kExitUsage) << args[0] << " " << args[2];
    EXPECT_EQ(Read(original_), kOriginal);
  }
  EXPECT_EQ(Names(), (std::vector<std::string>{"fix.ips", "image.bin", "more.ips"}));
}

TEST_F(CommandsTest, ChecksumMustMatchBeforeAnythingIsWritten) {
  // CRC-32 of "0123456789abcdef".
  const std::string crc = "68c4f033";
  Outcome o = RunCommand({"apply", "--crc32", "12345678", original_, patch_});
  EXPECT_EQ(o.status, kExitChecksumMismatch);
  EXPECT_EQ(o.err, original_ + ": CRC32 is " + crc + ", expected 12345678\n");
  o = RunCommand({"apply", "--crc32", "12345678", "--output", dir_.File("n"), original_, patch_});
  EXPECT_EQ(o.status, kExitChecksumMismatch);
  EXPECT_EQ(Read(original_), kOriginal);
  EXPECT_FALSE(fs::exists(dir_.File("n")));

  o = RunCommand({"apply", "--crc32=68C4F033", original_, patch_});
  EXPECT_EQ(o.status, kExitDone) << o.err;
  EXPECT_EQ(Read(original_), "01AB4567zzzzcdQRS");
}

TEST_F(CommandsTest, NothingChangedIsSaidAndWritesNoBackup) {
  ASSERT_EQ(RunCommand({"apply", original_, patch_}).status, kExitDone);
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"apply", "--backup", original_, patch_},
        {"apply", "--output", dir_.File("n.bin"), original_, patch_}}) {
    const Outcome o = RunCommand(args);
    EXPECT_EQ(o.status, kExitDone);
    EXPECT_EQ(o.err, kNothingChanged);
  }
  EXPECT_FALSE(fs::exists(original_ + "_backup"));
  EXPECT_EQ(Read(dir_.File("n.bin")), Read(original_));
  // Zeros past the end still lengthen the file: that is a change.
  const std::string zeros = dir_.Write("zeros.ips", IpsBytes().Run(17, 2, '\0').Complete());
  const Outcome o = RunCommand({"apply", original_, zeros});
  EXPECT_EQ(o.err, "");
  EXPECT_EQ(Read(original_), "01AB4567zzzzcdQRS\0\0"s);
}

TEST_F(CommandsTest, StatusJudgesEachRecordAgainstTheFile) {
  // "cd" at 12 is held, "cdX" at 12 is not, "QRS" at 14 reaches past the end,
  // an empty run writes nothing; read-only files are fine.
  const std::string patch = dir_.Write("s.ips", IpsBytes()
                                                    .Data(12, "cd")
                                                    .Data(12, "cdX")
                                                    .Data(14, "QRS")
                                                    .Run(5, 0, 'q')
                                                    .Run(0, 1, '0')
                                                    .Complete());
  MakeReadOnly(original_);
  MakeReadOnly(patch);
  const Outcome o = RunCommand({"status", original_, patch});
  EXPECT_EQ(o.status, kExitDone) << o.err;
  EXPECT_EQ(o.out,
            "1\tC\tD\tapplied\n"
            "2\tC\tE\tpending\n"
            "3\tE\t10\tpending\n"
            "4\t5\t4\tapplied\n"
            "5\t0\t0\tapplied\n");
  EXPECT_EQ(o.err, "3 of 5 records applied.\n");
}

// A run stopped after its first record: status, which only reads, counts what
// the file holds and says that the next apply or recover takes it back.
TEST_F(CommandsTest, StatusOfAFileAStoppedRunLeftSaysItIsTakenBack) {
  testing::LeaveInterruptedRun(original_, 2, "AB");
  const std::vector<std::string> names = Names();
  const Outcome o = RunCommand({"status", original_, patch_});
  EXPECT_EQ(o.status, kExitDone) << o.err;
  EXPECT_EQ(o.out, "1\t2\t3\tapplied\n2\t8\tB\tpending\n3\tE\t10\tpending\n");
  EXPECT_EQ(o.err, original_ +
                       ": an earlier run was stopped while it wrote this file; the next apply or "
                       "recover takes back what it wrote.\n1 of 3 records applied.\n");
  EXPECT_EQ(Read(original_), "01AB456789abcdef");
  EXPECT_EQ(Names(), names);
}

TEST_F(CommandsTest, ExportWritesTheChosenRecordsOnly) {
  const Outcome o = RunCommand({"export", "--skip", "1,3", patch_, dir_.File("part.ips")});
  EXPECT_EQ(o.status, kExitDone) << o.err;
  EXPECT_EQ(Read(dir_.File("part.ips")), IpsBytes().Run(8, 4, 'z').Complete());
  // A read-only file is not replaced.
  const std::string readOnly = dir_.Write("read-only.ips", "kept");
  MakeReadOnly(readOnly);
  const Outcome denied = RunCommand({"export", patch_, readOnly});
  EXPECT_EQ(denied.status, kExitIoError);
  EXPECT_EQ(denied.err, readOnly + ": File access denied\n");
  EXPECT_EQ(Read(readOnly), "kept");
  EXPECT_EQ(RunCommand({"export", "--only", "4", patch_, dir_.File("x.ips")}).status, kExitUsage);
  EXPECT_EQ(RunCommand({"export", original_, dir_.File("x.ips")}).status, kExitNotAPatch);
  EXPECT_FALSE(fs::exists(dir_.File("x.ips")));
}

TEST_F(CommandsTest, CreateSaysWhenNoPatchCanDoIt) {
  const std::string shorter = dir_.Write("short.bin", "0123");
  Outcome o = RunCommand({"create", original_, shorter, dir_.File("p.ips")});
  EXPECT_EQ(o.status, kExitNotExpressible);
  EXPECT_EQ(o.err, shorter + " is shorter than " + original_ +
                       ": an IPS patch can lengthen a file but never shorten it.\n");
  const std::string longer = dir_.Write("long.bin", std::string(0x100FFFF, 'x'));
  o = RunCommand({"create", original_, longer, dir_.File("p.ips")});
  EXPECT_EQ(o.status, kExitNotExpressible);
  EXPECT_NE(o.err.find("past address 100FFFD"), std::string::npos) << o.err;
  EXPECT_FALSE(fs::exists(dir_.File("p.ips")));

  o = RunCommand({"create", original_, original_, dir_.File("p.ips")});
  EXPECT_EQ(o.status, kExitDone);
  EXPECT_EQ(Read(dir_.File("p.ips")), "PATCHEOF");
  EXPECT_EQ(o.err, "The files are identical: " + dir_.File("p.ips") + " holds no records.\n");
}

TEST_F(CommandsTest, InfoGivesKnownDigestsAndGoesOnAfterAFailure) {
  // Published digests of fixed texts; the large file (more than one read
  // piece) was checked with another program.
  std::string large(3 * 1024 * 1024 + 5, '\0');
  for (std::size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>(i * 7 % 251);
  const std::string abc = dir_.Write("abc.txt", "abc");
  const std::string empty = dir_.Write("empty", "");
  const std::string fox = dir_.Write("fox", "The quick brown fox jumps over the lazy dog");
  const std::string big = dir_.Write("large", large);
  MakeReadOnly(abc);
  const Outcome o = RunCommand({"info", abc, dir_.File("missing"), empty, fox, big, patch_});
  EXPECT_EQ(o.status, kExitIoError);
  EXPECT_EQ(o.err, dir_.File("missing") + ": File not found\n");
  const std::string expected = abc + "\t3\t352441c2\t900150983cd24fb0d6963f7d28e17f72\t" +
                               "a9993e364706816aba3e25717850c26c9cd0d89d\n" + empty +
                               "\t0\t00000000\td41d8cd98f00b204e9800998ecf8427e\t" +
                               "da39a3ee5e6b4b0d3255bfef95601890afd80709\n" + fox +
                               "\t43\t414fa339\t9e107d9d372bb6826bd81d3542a419d6\t" +
                               "2fd4e1c67a2d28fced849ee1bb76e7391b93eb12\n" + big +
                               "\t3145733\t98ee56d2\t1b0de8d13c56ff757e754b579131c143\t" +
                               "3b184d71515a1c570b1b83cd7e2b0b2c1dba3524\n" + patch_ + "\t31\t";
  EXPECT_EQ(o.out.substr(0, expected.size()), expected);
  EXPECT_EQ(o.out.substr(o.out.size() - patch_.size() - 13), "\n" + patch_ + ": 3 records\n");
}

// Every write step of the new file fails in turn: the command then fails
// with an I/O error and leaves the older NEW and the folder as they were.
TEST_F(CommandsTest, NewFilesAreWholeOrNotThereUnderWriteFailures) {
  const std::string output = dir_.Write("new.bin", "older");
  const std::vector<std::vector<std::string>> commands = {
      {"apply", "--output", output, original_, patch_, second_},
      {"export", "--skip", "2", patch_, output},
      {"create", original_, dir_.Write("m.bin", "0123x56789abcdefgh"), output}};
  for (const auto& args : commands) {
    const std::vector<std::string> names = Names();
    int failures = 0;
    for (int step = 1;; ++step) {
      dir_.Write("new.bin", "older");
      write_fault::FailNthStep(step);
      const Outcome o = RunCommand(args);
      write_fault::FailNthStep(0);
      if (o.status == kExitDone) break;
      ++failures;
      EXPECT_EQ(o.status, kExitIoError) << args[0] << " step " << step;
      EXPECT_EQ(o.err, output + ": Disk full\n") << args[0] << " step " << step;
      EXPECT_EQ(Read(output), "older");
      EXPECT_EQ(Names(), names);
      ASSERT_LT(step, 100);
    }
    EXPECT_GE(failures, 2) << args[0];
    EXPECT_NE(Read(output), "older");
  }
}

TEST(ManualPageTest, ShowsEveryExampleAndExitStatusOfTheHelp) {
  std::ostringstream help;
  std::ostringstream ignored;
  ASSERT_EQ(RunCli({"--help"}, help, ignored), kExitDone);
  const auto bytes = ReadAll(VIPS_CLI_MAN_PAGE);
  std::string page(bytes.begin(), bytes.end());
  // Roff's escaped minus signs read as plain ones.
  for (std::size_t at; (at = page.find("\\-")) != std::string::npos;) page.erase(at, 1);
  std::istringstream lines(help.str());
  int examples = 0;
  for (std::string line; std::getline(lines, line);) {
    const std::size_t example = line.find("example: ");
    if (example == std::string::npos) continue;
    ++examples;
    EXPECT_NE(page.find(".B " + line.substr(example + 9) + "\n"), std::string::npos) << line;
  }
  EXPECT_EQ(examples, 7);
  for (const char* status : {"0", "1", "2", "3", "4", "5", "6", "7", "8", "64"}) {
    EXPECT_NE(page.find(".B "s + status + "\n"), std::string::npos) << status;
  }
}

// Each patch goes over the result of the one before, all or nothing.
TEST_F(CommandsTest, SeveralPatchesInPlaceAreAllOrNothingUnderWriteFailures) {
  int failures = 0;
  for (int step = 1;; ++step) {
    dir_.Write("image.bin", kOriginal);
    write_fault::FailNthStep(step);
    const Outcome o = RunCommand({"apply", original_, patch_, second_});
    write_fault::FailNthStep(0);
    if (o.status == kExitDone) break;
    ++failures;
    EXPECT_EQ(o.err, original_ + ": Disk full\n") << "step " << step;
    EXPECT_EQ(Read(original_), kOriginal) << "step " << step;
    ASSERT_LT(step, 100);
  }
  EXPECT_GE(failures, 1);
  EXPECT_EQ(Read(original_), "--Ax4567zzzzcdQRS");
}

}  // namespace
}  // namespace vips::cli
