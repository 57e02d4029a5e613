// A run of apply stopped at any moment, by a kill at each write step or at a
// random time, or by a disk that keeps failing: once the next run has touched
// the file it is old or new, never a mix, and no journal stays behind.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "cli/commands.hpp"
#include "core/rollback_journal.hpp"
#include "core/write_fault.hpp"
#include "ips_bytes.hpp"
#include "run_cli.hpp"
#include "support/temp_dir.hpp"

namespace vips::cli {
namespace {

using testing::Exists;
using testing::IpsBytes;
using testing::Outcome;
using testing::ReadAll;
using testing::RunCommand;
using testing::TempDir;

std::string Text(const std::string& path) {
  const auto bytes = ReadAll(path);
  return {bytes.begin(), bytes.end()};
}

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
    const std::string now = Text(original);
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
        EXPECT_EQ(Text(scene.original), scene.patched);
      }
      scene.CheckAfterNextRun("killed at step " + std::to_string(step));
    }
    EXPECT_TRUE(finished) << "the apply never got through";
  }
}

TEST(CrashTest, KilledFromOutsideAtRandomTimesTheNextRunFindsTheFileOldOrNew) {
  Scene scene(8 << 20);
  std::mt19937 random(11);
  // How long one whole run takes here, to kill within it.
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(RunCommand({"apply", scene.original, scene.patch}).status, kExitDone);
  const auto whole = std::chrono::duration_cast<std::chrono::microseconds>(
                         std::chrono::steady_clock::now() - start)
                         .count();
  scene.dir.Write("o.bin", scene.old);
  int killed = 0;
  for (int run = 0; run < 40; ++run) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::execl(VIPS_CLI_PATH, VIPS_CLI_PATH, "apply", scene.original.c_str(), scene.patch.c_str(),
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    std::this_thread::sleep_for(std::chrono::microseconds(random() % (2 * whole + 1)));
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    killed += WIFSIGNALED(status) ? 1 : 0;
    scene.CheckAfterNextRun("run " + std::to_string(run));
  }
  RecordProperty("killed", killed);
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
      EXPECT_EQ(Text(scene.original), scene.old);
    }
    scene.CheckAfterNextRun("failing from step " + std::to_string(step));
  }
  EXPECT_GT(damaged, 0);
}

}  // namespace
}  // namespace vips::cli
#endif
