// The command line's promise under faults: every file is whole-old or
// whole-new afterwards, and a failure is never reported as success.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/commands.hpp"
#include "core/files/file_access.hpp"
#include "core/files/replacement_file.hpp"
#include "ips_bytes.hpp"
#include "run_cli.hpp"
#include "support/small_disk.hpp"
#include "support/temp_dir.hpp"
#include "tests/support/write_fault.hpp"

namespace vips::cli {
namespace {

namespace fs = std::filesystem;
using testing::IpsBytes;
using testing::ReadText;
using testing::SmallDisk;
using testing::TempDir;

using testing::Outcome;
using testing::RunCommand;

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << path;
}

bool HasTemporaryFile(const std::string& folder) {
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().filename().string().find(ReplacementFile::kTemporaryMark) !=
        std::string::npos) {
      return true;
    }
  }
  return false;
}

TEST(CliFaultTest, ApplyWithBackupInterruptedAtEveryWrite) {
  TempDir dir;
  const std::string old(150'000, '.');
  const std::string original = dir.File("o.bin");
  const std::string backup = original + "_backup";
  const std::string patch =
      dir.Write("p.ips", IpsBytes().Data(5, "abc").Run(100'000, 60'000, 'r').Complete());
  std::string patched = old;
  patched.replace(5, 3, "abc");
  patched.resize(160'000, 'r');
  std::fill(patched.begin() + 100'000, patched.end(), 'r');

  for (int step = 1; step < 100; ++step) {
    SCOPED_TRACE(step);
    WriteFile(original, old);
    fs::remove(backup);
    write_fault::FailNthStep(step);
    const Outcome o = RunCommand({"apply", "--backup", original, patch});
    write_fault::FailNthStep(0);
    EXPECT_FALSE(HasTemporaryFile(dir.Path()));
    if (o.status == kExitDone) {
      EXPECT_EQ(ReadText(original), patched);
      EXPECT_EQ(ReadText(backup), old);
      return;
    }
    // Either the backup failed and nothing was written, or the apply failed
    // after a whole backup and the original is as it was.
    EXPECT_EQ(ReadText(original), old);
    if (o.status == kExitCopyFailed) {
      EXPECT_FALSE(fs::exists(backup));
      EXPECT_NE(o.err.find("is not created! Nothing was written"), std::string::npos) << o.err;
    } else {
      EXPECT_EQ(o.status, kExitIoError);
      EXPECT_EQ(o.err, original + ": Disk full\n");
      EXPECT_EQ(ReadText(backup), old);
    }
  }
  FAIL() << "the apply never got through";
}

TEST(CliFaultTest, ALinkAtTheBackupIsReplacedNeverFollowed) {
  TempDir dir;
  const std::string victim = dir.Write("victim.txt", "victim");
  const std::string original = dir.Write("o.bin", "original");
  const std::string patch = dir.Write("p.ips", IpsBytes().Data(0, "P").Complete());
  std::error_code error;
  fs::create_symlink(victim, original + "_backup", error);
  if (error) GTEST_SKIP() << "no symbolic links here: " << error.message();
  Outcome o = RunCommand({"apply", "--backup", original, patch});
  EXPECT_EQ(o.status, kExitDone) << o.err;
  EXPECT_EQ(ReadText(victim), "victim");
  EXPECT_FALSE(fs::is_symlink(original + "_backup"));
  EXPECT_EQ(ReadText(original + "_backup"), "original");

  // A link standing as the backup is not recovered from.
  fs::remove(original + "_backup");
  fs::create_symlink(victim, original + "_backup");
  o = RunCommand({"recover", original});
  EXPECT_EQ(o.status, kExitCopyFailed);
  EXPECT_EQ(ReadText(original), "Priginal");
}

TEST(CliFaultTest, ALinkedOriginalIsBackedUpAndRecoveredThroughTheLink) {
  TempDir dir;
  const std::string target = dir.Write("real.bin", "original");
  const std::string link = dir.File("link.bin");
  const std::string patch = dir.Write("p.ips", IpsBytes().Data(0, "P").Complete());
  std::error_code error;
  fs::create_symlink(target, link, error);
  if (error) GTEST_SKIP() << "no symbolic links here: " << error.message();
  Outcome o = RunCommand({"apply", "--backup", link, patch});
  EXPECT_EQ(o.status, kExitDone) << o.err;
  EXPECT_EQ(ReadText(target), "Priginal");
  EXPECT_FALSE(fs::is_symlink(link + "_backup"));
  EXPECT_EQ(ReadText(link + "_backup"), "original");

  o = RunCommand({"recover", link});
  EXPECT_EQ(o.status, kExitDone) << o.err;
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadText(target), "original");
}

#ifndef _WIN32
// Runs a shell command line; its exit status.
int Shell(const std::string& line) {
  const int status = std::system(line.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Quoted(const std::string& path) {
  return "'" + path + "'";
}

TEST(CliFaultTest, FullDiskLeavesEveryFileWholeAndFails) {
  TempDir dir;
  SmallDisk disk(dir.File("disk"), 2048);
  if (!disk.Mounted()) GTEST_SKIP() << disk.Reason();
  const std::string cli = Quoted(VIPS_CLI_PATH);
  const std::string original = disk.File("o.bin");
  const std::string old(1200 * 1024, 'o');
  WriteFile(original, old);
  const std::string patch = dir.Write("one.ips", IpsBytes().Data(0, "P").Complete());
  // The backup does not fit: nothing is written, no partial backup stands.
  EXPECT_EQ(
      Shell(cli + " apply --backup " + Quoted(original) + " " + Quoted(patch) + " 2>/dev/null"),
      kExitCopyFailed);
  EXPECT_EQ(ReadText(original), old);
  EXPECT_FALSE(fs::exists(original + "_backup"));
  EXPECT_FALSE(HasTemporaryFile(dir.File("disk")));
  EXPECT_EQ(Shell(cli + " recover " + Quoted(original) + " 2>/dev/null"), kExitCopyFailed);
  EXPECT_EQ(ReadText(original), old);

  // Records inside the file and records that grow it past the disk's end.
  const std::string grow = dir.Write("grow.ips", IpsBytes()
                                                     .Data(100, "inside")
                                                     .Run(1200 * 1024, 65'535, 'x')
                                                     .Run(1200 * 1024 + 65'535, 65'535, 'y')
                                                     .Complete());
  WriteFile(disk.File("filler"), std::string(780 * 1024, 'f'));
  const std::string errPath = dir.File("err.txt");
  EXPECT_EQ(Shell(cli + " apply " + Quoted(original) + " " + Quoted(grow) + " 2>" + errPath),
            kExitIoError);
  EXPECT_EQ(ReadText(errPath), original + ": Disk full\n");
  EXPECT_EQ(ReadText(original), old);
}

TEST(CliFaultTest, TwoAppliesAtOnceNeverUndoEachOther) {
  TempDir dir;
  const std::string original = dir.Write("o.bin", std::string(16 << 20, '\0'));
  // A writes at 4096·k+16, B at 4096·k+2064: different bytes of the same blocks.
  IpsBytes a;
  IpsBytes b;
  for (std::uint32_t k = 0; k < 4096; ++k) {
    a.Data(4096 * k + 16, "A");
    b.Data(4096 * k + 2064, "B");
  }
  const std::string pa = dir.Write("a.ips", a.Complete());
  const std::string pb = dir.Write("b.ips", b.Complete());
  const std::string cli = Quoted(VIPS_CLI_PATH);
  const std::string line = "cd " + Quoted(dir.Path()) + " || exit 9; (" + cli +
                           " apply o.bin a.ips 2>a.err; echo $? >a.status) & (" + cli +
                           " apply o.bin b.ips 2>b.err; echo $? >b.status) & wait";
  ASSERT_EQ(Shell("(" + line + ")"), 0);
  const std::string file = ReadText(original);
  const std::string lockError = "o.bin: " + std::string(kFileBusy) + "\n";
  for (const char* run : {"a", "b"}) {
    SCOPED_TRACE(run);
    const int status = std::stoi(ReadText(dir.File(std::string(run) + ".status")));
    const std::size_t at = run[0] == 'a' ? 16 : 2064;
    const char byte = run[0] == 'a' ? 'A' : 'B';
    int present = 0;
    for (std::size_t k = 0; k < 4096; ++k) present += file[4096 * k + at] == byte ? 1 : 0;
    if (status == kExitDone) {
      EXPECT_EQ(present, 4096) << "a successful run lost records";
    } else {
      EXPECT_EQ(status, kExitIoError);
      EXPECT_EQ(ReadText(dir.File(std::string(run) + ".err")), lockError);
      EXPECT_EQ(present, 0) << "the run that lost the lock wrote";
    }
  }
}

TEST(CliFaultTest, AKilledRunLeavesNoBackupThatIsNotWhole) {
  TempDir dir;
  const std::string old(48 << 20, 'o');
  const std::string original = dir.Write("big.bin", old);
  dir.Write("p.ips", IpsBytes().Data(0, "P").Complete());
  const std::string cd = "cd " + Quoted(dir.Path()) + " || exit 9; ";
  // Killed at different moments of the backup copy: whatever the moment, a
  // backup that stands is whole, and the original is old or patched. A kill
  // in the middle of the copy leaves its temporary file behind.
  int killedWhileCopying = 0;
  for (const char* delay : {"0.005", "0.01", "0.02", "0.05", "0.2"}) {
    SCOPED_TRACE(delay);
    fs::remove(dir.File("big.bin_backup"));
    WriteFile(original, old);
    Shell(cd + Quoted(VIPS_CLI_PATH) + " apply --backup big.bin p.ips 2>/dev/null & sleep " +
          delay + "; kill -9 $! 2>/dev/null; wait");
    if (fs::exists(dir.File("big.bin_backup"))) {
      EXPECT_EQ(fs::file_size(dir.File("big.bin_backup")), old.size());
      EXPECT_EQ(ReadText(dir.File("big.bin_backup")), old);
    }
    const std::string now = ReadText(original);
    EXPECT_TRUE(now == old || now == "P" + old.substr(1));
    // A temporary file left by the killed run is never taken for a backup.
    fs::remove(dir.File("big.bin_backup"));
    EXPECT_EQ(Shell(cd + Quoted(VIPS_CLI_PATH) + " recover big.bin 2>/dev/null"), kExitCopyFailed);
    std::vector<fs::path> leftovers;
    for (const auto& entry : fs::directory_iterator(dir.Path())) {
      const std::string name = entry.path().filename().string();
      if (name.find(ReplacementFile::kTemporaryMark) != std::string::npos) {
        EXPECT_EQ(name.rfind(".big.bin_backup", 0), 0u) << name;
        leftovers.push_back(entry.path());
      }
    }
    killedWhileCopying += leftovers.empty() ? 0 : 1;
    for (const fs::path& leftover : leftovers) fs::remove(leftover);
  }
  EXPECT_GT(killedWhileCopying, 0) << "no kill landed while the backup was copied";
}

TEST(CliFaultTest, ASecondRunOnAHeldFileFailsAtOnce) {
  TempDir dir;
  const std::string original = dir.Write("o.bin", "0123456789");
  dir.Write("o.bin_backup", "backup");
  dir.Write("p.ips", IpsBytes().Data(0, "zz").Complete());
  ExistingFile holder = ExistingFile::Open(original);
  holder.LockForWriting();
  const std::string cd = "cd " + Quoted(dir.Path()) + " && " + Quoted(VIPS_CLI_PATH);
  EXPECT_EQ(Shell(cd + " apply o.bin p.ips 2>err.txt"), kExitIoError);
  EXPECT_EQ(ReadText(dir.File("err.txt")), "o.bin: " + std::string(kFileBusy) + "\n");
  EXPECT_EQ(Shell(cd + " recover o.bin 2>err.txt"), kExitCopyFailed);
  EXPECT_NE(ReadText(dir.File("err.txt")).find("o.bin: " + std::string(kFileBusy)),
            std::string::npos);
  EXPECT_EQ(ReadText(original), "0123456789");
}
#endif

}  // namespace
}  // namespace vips::cli
