// A run of apply stopped at any moment, by a kill at each write step or at a
// random time, or by a disk that keeps failing: once the next run has touched
// the file it is old or new, never a mix, and no journal stays behind.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "cli/commands.hpp"
#include "core/files/rollback_journal.hpp"
#include "ips_bytes.hpp"
#include "run_cli.hpp"
#include "support/temp_dir.hpp"
#include "tests/support/write_fault.hpp"

namespace vips::cli {
namespace {

using testing::Exists;
using testing::IpsBytes;
using testing::Outcome;
using testing::ReadText;
using testing::RunCommand;
using testing::TempDir;

// A file and a patch that writes all over it and lengthens it, and the file
// as the patch leaves it.
struct Scene {
  TempDir dir;
  std::string original;
  std::string patch;
  std::string touch;  // writes "Z" at 1, which the patch leaves alone
  std::string old;
  std::string patched;

  explicit Scene(std::size_t size) {
    old.resize(size);
    std::mt19937 random(7);
    for (char& c : old) c = static_cast<char>('a' + random() % 26);
    patched = old;
    IpsBytes ips;
    for (std::size_t at = 4096; at + 40 < size; at += 7919) {
      const std::string bytes(17 + at % 23, static_cast<char>('A' + at % 26));
      ips.Data(static_cast<std::uint32_t>(at), bytes);
      patched.replace(at, bytes.size(), bytes);
    }
    ips.Run(static_cast<std::uint32_t>(size / 2), 60'000, '#');
    patched.replace(size / 2, 60'000, std::string(60'000, '#'));
    ips.Run(static_cast<std::uint32_t>(size + 100), 5000, '+');
    patched.resize(size + 100, '\0');
    patched += std::string(5000, '+');
    original = dir.Write("o.bin", old);
    patch = dir.Write("p.ips", ips.Complete());
    touch = dir.Write("touch.ips", IpsBytes().Data(1, "Z").Complete());
  }

  // The next run: an apply of another record. The file must then be old or
  // new with that record, and the journal gone.
  void CheckAfterNextRun(const std::string& when) {
    SCOPED_TRACE(when);
    const Outcome next = RunCommand({"apply", original, touch});
    EXPECT_EQ(next.status, kExitDone) << next.err;
    std::string oldTouched = old;
    oldTouched[1] = 'Z';
    std::string newTouched = patched;
    newTouched[1] = 'Z';
    const std::string now = ReadText(original);
    EXPECT_TRUE(now == oldTouched || now == newTouched)
        << "neither old nor new: " << now.size() << " bytes";
    EXPECT_FALSE(Exists(RollbackJournal::PathFor(original)));
    dir.Write("o.bin", old);
  }
};

TEST(CrashTest, KilledAtEachWriteStepTheNextRunFindsTheFileOldOrNew) {
  for (const bool durable : {true, false}) {
    SCOPED_TRACE(durable ? "durable" : "--no-sync");
    Scene scene(1 << 20);
    bool finished = false;
    for (int step = 1; step < 200 && !finished; ++step) {
      const pid_t child = ::fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
        write_fault::AtNthStep(step, [] { ::raise(SIGKILL); });
        std::vector<std::string> args = {"apply", scene.original, scene.patch};
        if (!durable) args.insert(args.begin() + 1, "--no-sync");
        ::_exit(RunCommand(args).status);
      }
      int status = 0;
      ASSERT_EQ(::waitpid(child, &status, 0), child);
      finished = WIFEXITED(status);
      if (finished) {
        EXPECT_EQ(WEXITSTATUS(status), kExitDone);
        EXPECT_EQ(ReadText(scene.original), scene.patched);
      }
      scene.CheckAfterNextRun("killed at step " + std::to_string(step));
    }
    EXPECT_TRUE(finished) << "the apply never got through";
  }
}

TEST(CrashTest, KilledFromOutsideAtRandomTimesTheNextRunFindsTheFileOldOrNew) {
  Scene scene(8 << 20);
  std::mt19937 random(11);
  // The program run as the kills find it: started anew each time.
  const auto start = [&scene] {
    const pid_t child = ::fork();
    if (child == 0) {
      ::execl(VIPS_CLI_PATH, VIPS_CLI_PATH, "apply", scene.original.c_str(), scene.patch.c_str(),
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    return child;
  };
  // How long one whole run takes here, its start included, to kill within it.
  const auto began = std::chrono::steady_clock::now();
  const pid_t first = start();
  ASSERT_GE(first, 0);
  int status = 0;
  ASSERT_EQ(::waitpid(first, &status, 0), first);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == kExitDone);
  const auto whole = std::chrono::duration_cast<std::chrono::microseconds>(
                         std::chrono::steady_clock::now() - began)
                         .count();
  scene.dir.Write("o.bin", scene.old);
  int killed = 0;
  int killedWhileWriting = 0;  // a journal stood: the kill came between its start and end
  for (int run = 0; run < 40; ++run) {
    const pid_t child = start();
    ASSERT_GE(child, 0);
    std::this_thread::sleep_for(std::chrono::microseconds(random() % (2 * whole + 1)));
    ::kill(child, SIGKILL);
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    killed += WIFSIGNALED(status) ? 1 : 0;
    killedWhileWriting += Exists(RollbackJournal::PathFor(scene.original)) ? 1 : 0;
    scene.CheckAfterNextRun("run " + std::to_string(run));
  }
  RecordProperty("killed", killed);
  RecordProperty("killed while writing", killedWhileWriting);
  EXPECT_GT(killedWhileWriting, 0) << "no kill landed while the file was written";
}

// A disk that fails every write from some point on: the undo cannot run
// either. The run says so plainly, with a status of its own, and the next run
// puts the file back.
TEST(CrashTest, AnUndoThatCannotRunIsReportedAndTheNextRunPutsTheFileBack) {
  Scene scene(1 << 20);
  int damaged = 0;
  for (int step = 1; step < 200; ++step) {
    SCOPED_TRACE(step);
    write_fault::FailFromNthStep(step);
    const Outcome o = RunCommand({"apply", scene.original, scene.patch});
    write_fault::FailFromNthStep(0);
    if (o.status == kExitDone) break;
    if (o.status == kExitDamaged) {
      ++damaged;
      EXPECT_EQ(o.err.rfind(scene.original +
                                " could not be restored: the file is damaged; recover it from "
                                "its backup (",
                            0),
                0u)
          << o.err;
    } else {
      EXPECT_EQ(o.status, kExitIoError) << o.err;
      EXPECT_EQ(ReadText(scene.original), scene.old);
    }
    scene.CheckAfterNextRun("failing from step " + std::to_string(step));
  }
  EXPECT_GT(damaged, 0);
}

// Memory that runs out: the file keeps its length and bytes, and the message
// names it.
TEST(CrashTest, OutOfMemoryLeavesTheFileAsItWasAndNamesIt) {
#if defined(__SANITIZE_ADDRESS__)
  // The sanitizer's own allocator ends the process when the address space
  // runs out, before the program can see the failure.
  GTEST_SKIP() << "an address-space limit is fatal under AddressSanitizer";
#endif
  Scene scene(1 << 20);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Little more address space than the process has now: the records'
    // image cannot be had.
    rlimit limit{};
    std::string status;
    {
      std::ifstream in("/proc/self/status");
      for (std::string line; std::getline(in, line);) {
        if (line.rfind("VmSize:", 0) == 0) status = line;
      }
    }
    const std::uint64_t kib = std::stoull(status.substr(7));
    limit.rlim_cur = limit.rlim_max = (kib + 4096) * 1024;
    if (::setrlimit(RLIMIT_AS, &limit) != 0) ::_exit(100);
    const Outcome o = RunCommand({"apply", scene.original, scene.patch});
    const bool named = o.err == scene.original + ": Out of memory\n";
    ::_exit(o.status == kExitIoError && named ? 0 : 101);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 100) GTEST_SKIP() << "no address-space limit here";
  EXPECT_EQ(WEXITSTATUS(status), 0) << "not failed with the file named";
  EXPECT_EQ(ReadText(scene.original), scene.old);
  EXPECT_FALSE(Exists(RollbackJournal::PathFor(scene.original)));
}

// A small btrfs of its own in a loop-mounted image: every overwrite there
// takes fresh space. Mounting needs root, the kernel's btrfs and mkfs.btrfs;
// where one is missing, Reason() says so and the test skips.
class LoopBtrfs {
 public:
  explicit LoopBtrfs(const TempDir& dir) : image_(dir.File("btrfs.img")), folder_(dir.File("m")) {
    if (std::system("command -v mkfs.btrfs >/dev/null 2>&1") != 0) {
      reason_ = "mkfs.btrfs is not installed (btrfs-progs)";
      return;
    }
    const std::string make = "truncate -s 128M '" + image_ + "' && mkfs.btrfs -q -f '" + image_ +
                             "' >/dev/null 2>&1 && mkdir -p '" + folder_ + "' && mount -o loop '" +
                             image_ + "' '" + folder_ + "' 2>/dev/null";
    mounted_ = std::system(make.c_str()) == 0;
    if (!mounted_) reason_ = "cannot loop-mount a btrfs image here (root and btrfs needed)";
  }
  ~LoopBtrfs() {
    if (mounted_) (void)std::system(("umount -l '" + folder_ + "'").c_str());
  }
  LoopBtrfs(const LoopBtrfs&) = delete;
  LoopBtrfs& operator=(const LoopBtrfs&) = delete;
  [[nodiscard]] bool Mounted() const { return mounted_; }
  [[nodiscard]] const std::string& Reason() const { return reason_; }
  [[nodiscard]] std::string File(const std::string& name) const { return folder_ + "/" + name; }
  // Fills the file system, then gives back `mib` MiB.
  void LeaveFree(int mib) const {
    const std::string filler = File("filler");
    const std::string line = "rm -f '" + filler + "'; sync; dd if=/dev/zero of='" + filler +
                             "' bs=1M >/dev/null 2>&1; sync; truncate -s -" + std::to_string(mib) +
                             "M '" + filler + "'; sync";
    (void)std::system(line.c_str());
  }

 private:
  std::string image_;
  std::string folder_;
  bool mounted_ = false;
  std::string reason_;
};

// On a full copy-on-write file system the file is old with "Disk full", or
// new; never half-patched, and no journal stays.
TEST(CrashTest, AFullBtrfsLeavesTheFileOldWithDiskFullOrNew) {
  TempDir dir;
  LoopBtrfs disk(dir);
  if (!disk.Mounted()) GTEST_SKIP() << disk.Reason();
  std::string old(8 << 20, '\0');
  std::mt19937 random(3);
  for (char& c : old) c = static_cast<char>(random());
  std::string patched = old;
  IpsBytes ips;
  for (std::uint32_t k = 0; k < 100; ++k) {
    const std::string bytes(40'000, static_cast<char>('a' + k % 26));
    ips.Data(k * 80'000, bytes);
    patched.replace(k * 80'000, bytes.size(), bytes);
  }
  const std::string patch = dir.Write("p.ips", ips.Complete());
  const std::string original = disk.File("o.bin");
  int full = 0;
  int done = 0;
  for (const int free : {1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 40}) {
    SCOPED_TRACE(std::to_string(free) + " MiB free");
    (void)std::system(("rm -f '" + original + "' '" + disk.File("filler") + "'").c_str());
    dir.Write("copy.bin", old);
    ASSERT_EQ(std::system(("cp '" + dir.File("copy.bin") + "' '" + original + "' && sync").c_str()),
              0);
    disk.LeaveFree(free);
    const Outcome o = RunCommand({"apply", original, patch});
    if (o.status == kExitDone) {
      ++done;
      EXPECT_EQ(ReadText(original), patched);
    } else {
      ++full;
      EXPECT_EQ(o.status, kExitIoError) << o.err;
      EXPECT_EQ(o.err, original + ": Disk full\n");
      EXPECT_EQ(ReadText(original), old);
    }
    EXPECT_FALSE(Exists(RollbackJournal::PathFor(original)));
  }
  RecordProperty("disk full", full);
  RecordProperty("done", done);
}

}  // namespace
}  // namespace vips::cli
#endif
