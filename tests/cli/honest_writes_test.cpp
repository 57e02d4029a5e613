// Writes that tell the truth: a backup that cannot be one is refused, only a
// file is replaced, a read that ends early is an error, a file-size limit
// fails the write instead of killing the run, temporary names fit and do not
// pile up, and another run holding the file is named as such.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli/commands.hpp"
#include "core/delta/bps_maker.hpp"
#include "core/files/file_access.hpp"
#include "core/files/replacement_file.hpp"
#include "ips_bytes.hpp"
#include "run_cli.hpp"
#include "support/temp_dir.hpp"
#include "tests/support/write_fault.hpp"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace vips::cli {
namespace {

namespace fs = std::filesystem;
using testing::Exists;
using testing::IpsBytes;
using testing::Outcome;
using testing::ReadText;
using testing::RunCommand;
using testing::TempDir;

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(HonestWritesTest, AnExistingBackupIsKeptOnlyWhenItCanBeOne) {
  const std::string old(4096, 'o');
  struct Case {
    const char* name;
    std::string backup;  // "" with `link` set: a hard link to the original
    bool link;
    bool kept;
  };
  const std::vector<Case> cases = {
      {"an earlier clean backup", std::string(4096, 'c'), false, true},
      {"a shorter earlier backup", std::string(100, 'c'), false, true},
      {"a hard link to the original", "", true, false},
      {"an empty file", "", false, false},
      {"a file longer than the original, as one a shortening patch left", std::string(5000, 'c'),
       false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string original = dir.Write("o.bin", old);
    const std::string backup = original + "_backup";
    const std::string patch = dir.Write("p.ips", IpsBytes().Data(0, "P").Complete());
    if (c.link) {
      fs::create_hard_link(original, backup);
    } else {
      dir.Write("o.bin_backup", c.backup);
    }
    const Outcome o = RunCommand({"apply", "--backup", original, patch});
    if (c.kept) {
      EXPECT_EQ(o.status, kExitDone) << o.err;
      EXPECT_TRUE(Has(o.err, "Kept the existing backup")) << o.err;
      EXPECT_EQ(ReadText(original), "P" + old.substr(1));
      EXPECT_EQ(ReadText(backup), c.backup);
    } else {
      EXPECT_EQ(o.status, kExitCopyFailed) << o.err;
      EXPECT_TRUE(Has(o.err, "cannot be a backup of " + original)) << o.err;
      EXPECT_TRUE(Has(o.err, "Nothing was written")) << o.err;
      EXPECT_EQ(ReadText(original), old);
      if (!c.link) {
        EXPECT_EQ(ReadText(backup), c.backup);
      }
    }
  }
}

#ifndef _WIN32
TEST(HonestWritesTest, OnlyARegularFileIsReplacedAtNew) {
  TempDir dir;
  const std::string original = dir.Write("o.bin", "original");
  const std::string modified = dir.Write("m.bin", "modified");
  const std::string patch = dir.Write("p.ips", IpsBytes().Data(0, "P").Complete());
  // Things that are no file: a pipe, a socket, a device node (a null device
  // of the test's own, so that nothing of the system is at stake), a folder.
  const std::string fifo = dir.Pipe("fifo");
  const std::string socketPath = dir.File("sock");
  const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  socketPath.copy(address.sun_path, sizeof(address.sun_path) - 1);
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  const std::string folder = dir.File("folder");
  fs::create_directory(folder);
  std::vector<std::string> targets = {fifo, socketPath, folder};
  const std::string device = dir.File("null");
  if (::mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) targets.push_back(device);
  for (const std::string& target : targets) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"apply", "--output", target, original, patch},
                                               {"export", "--output", target, patch},
                                               {"create", original, modified, target}}) {
      SCOPED_TRACE(target + " " + args[0]);
      const Outcome o = RunCommand(args);
      EXPECT_NE(o.status, kExitDone) << o.err;
      EXPECT_FALSE(fs::is_regular_file(target));
    }
  }
  ::close(listener);
}

TEST(HonestWritesTest, AFileSizeLimitFailsTheWriteAndLeavesTheFileOld) {
  TempDir dir;
  const std::string old(64 * 1024, 'o');
  const std::string original = dir.Write("o.bin", old);
  const std::string patch =
      dir.Write("p.ips", IpsBytes().Data(10, "in").Run(200 * 1024, 65'535, 'x').Complete());
  const std::string line = "ulimit -f 128; exec '" + std::string(VIPS_CLI_PATH) + "' apply '" +
                           original + "' '" + patch + "' 2>'" + dir.File("err.txt") + "'";
  const int status = std::system(("sh -c \"" + line + "\"").c_str());
  ASSERT_TRUE(WIFEXITED(status)) << "killed by a signal";
  EXPECT_EQ(WEXITSTATUS(status), kExitIoError) << ReadText(dir.File("err.txt"));
  EXPECT_EQ(ReadText(original), old);
}
#endif

// Every read of the file layer from the nth on finds nothing, as when the
// file is cut meanwhile: each command fails naming the cause, or succeeds with
// the right bytes; never a short or zeroed file reported as done.
TEST(HonestWritesTest, AReadThatEndsEarlyIsAnErrorNeverTheEndOfTheFile) {
  std::string old(300'000, '\0');
  for (std::size_t i = 0; i < old.size(); ++i) old[i] = static_cast<char>('a' + i % 23);
  std::string patched = old;
  patched.replace(70'000, 3, "PPP");
  patched.replace(200'000, 2, "QQ");
  struct Case {
    const char* name;
    std::vector<std::string> args;  // O, B, N, P stand for the files
    const char* checked;            // the file that must be whole
    const std::string* expected;
  };
  const std::vector<Case> cases = {
      {"apply in place", {"apply", "O", "P"}, "O", &patched},
      {"apply with a backup", {"apply", "--backup", "O", "P"}, "B", &old},
      {"recover", {"recover", "O"}, "O", &old},
      {"apply to a new file", {"apply", "--output", "N", "O", "P"}, "N", &patched},
      {"create", {"create", "B", "O", "N"}, "", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    bool done = false;
    for (int read = 1; read < 60 && !done; ++read) {
      SCOPED_TRACE(read);
      TempDir dir;
      const bool patchedFirst = c.args[0] == "recover" || c.args[0] == "create";
      const std::string o = dir.Write("o.bin", patchedFirst ? patched : old);
      const std::string b = c.args[0] == "apply" ? o + "_backup" : dir.Write("o.bin_backup", old);
      const std::string n = dir.File("n.bin");
      const std::string p =
          dir.Write("p.ips", IpsBytes().Data(70'000, "PPP").Data(200'000, "QQ").Complete());
      std::vector<std::string> args;
      for (const std::string& arg : c.args) {
        args.push_back(arg == "O" ? o : arg == "B" ? b : arg == "N" ? n : arg == "P" ? p : arg);
      }
      write_fault::EndReadsFromNth(read);
      const Outcome outcome = RunCommand(args);
      write_fault::EndReadsFromNth(0);
      const std::string checked = std::string(c.checked) == "O"   ? o
                                  : std::string(c.checked) == "B" ? b
                                  : std::string(c.checked) == "N" ? n
                                                                  : "";
      if (outcome.status == kExitDone) {
        done = true;
        if (c.expected != nullptr) {
          EXPECT_EQ(ReadText(checked), *c.expected);
        }
        if (c.args[0] == "create") {
          // The patch made turns the backup into O again.
          const Outcome check = RunCommand({"apply", "--output", dir.File("again.bin"), b, n});
          EXPECT_EQ(check.status, kExitDone) << check.err;
          EXPECT_EQ(ReadText(dir.File("again.bin")), ReadText(o));
        }
        continue;
      }
      // A failure: what was being written is as it was.
      if (c.args[0] == "recover") {
        EXPECT_EQ(ReadText(o), patched);
      }
      if (c.args[0] == "apply" && c.args[1] != "--output") {
        EXPECT_EQ(ReadText(o), old);
      }
      if (c.args[1] == "--backup" && Exists(b)) {
        EXPECT_EQ(ReadText(b), old);
      }
      if (c.args[1] == "--output" || c.args[0] == "create") {
        EXPECT_FALSE(Exists(n));
      }
    }
    EXPECT_TRUE(done) << "never got through";
  }
}

#ifndef _WIN32
// A new name that may not be on the disk is no success: a failing flush of the
// folder after the rename ends the command with an error that says the file
// stands but may not survive a crash. (Windows moves the file written through.)
TEST(HonestWritesTest, AFolderNotFlushedAfterTheRenameIsReported) {
  const std::string old = "original";
  const std::string patched = "Priginal";
  // Runs `args` (O, N, P stand for the files) in a fresh folder with the nth
  // write step failing (0: none); recover finds O patched and its backup.
  struct Run {
    TempDir dir;
    Outcome outcome;
    int steps = 0;
  };
  const auto run = [&](const std::vector<std::string>& args, int failing, Run& r) {
    const bool recover = args[0] == "recover";
    std::vector<std::string> line;
    for (const std::string& arg : args) {
      line.push_back(arg == "O"   ? r.dir.Write("o.bin", recover ? patched : old)
                     : arg == "N" ? r.dir.File("n.bin")
                     : arg == "P" ? r.dir.Write("p.ips", IpsBytes().Data(0, "P").Complete())
                                  : arg);
    }
    if (recover) r.dir.Write("o.bin_backup", old);
    write_fault::FailNthStep(failing);
    r.outcome = RunCommand(line);
    r.steps = write_fault::StepsTaken();
    write_fault::FailNthStep(0);
  };
  const auto stepsOf = [&](const std::vector<std::string>& args) {
    Run r;
    run(args, 0, r);
    EXPECT_EQ(r.outcome.status, kExitDone) << r.outcome.err;
    return r.steps;
  };
  const std::string inPlace =
      ": the file is in place, but its folder could not be flushed (Disk full); a crash of the "
      "system may still undo it";
  struct Case {
    std::vector<std::string> args;
    int flushStep;  // the folder's flush after the rename
    int status;
    const char* renamed;  // the file that stands whole
    std::string said;     // in the error, with {} for the folder
  };
  const std::vector<Case> cases = {
      {{"apply", "--output", "N", "O", "P"},
       stepsOf({"apply", "--output", "N", "O", "P"}),
       kExitIoError,
       "n.bin",
       "{}/n.bin" + inPlace + "\n"},
      // The backup is taken first: its flush comes before the apply's steps.
      {{"apply", "--backup", "O", "P"},
       stepsOf({"apply", "--backup", "O", "P"}) - stepsOf({"apply", "O", "P"}),
       kExitCopyFailed,
       "o.bin_backup",
       "{}/o.bin_backup" + inPlace},
      {{"recover", "O"},
       stepsOf({"recover", "O"}),
       kExitCopyFailed,
       "o.bin",
       "File {}/o.bin is recovered from {}/o.bin_backup but may not stay so ({}/o.bin" + inPlace +
           ")\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args[1]);
    Run r;
    run(c.args, c.flushStep, r);
    std::string said = c.said;
    for (std::size_t at; (at = said.find("{}")) != std::string::npos;) {
      said.replace(at, 2, r.dir.Path());
    }
    EXPECT_EQ(r.outcome.status, c.status) << r.outcome.err;
    EXPECT_TRUE(Has(r.outcome.err, said)) << r.outcome.err;
    const std::string renamed = r.dir.File(c.renamed);
    // What was renamed stands whole; the original is old whatever the command.
    EXPECT_EQ(ReadText(renamed), c.args[1] == "--output" ? patched : old);
    EXPECT_EQ(ReadText(r.dir.File("o.bin")), old);
  }
}
#endif

#ifndef _WIN32
// Windows limits whole paths, not only names, outside its long-path form.
TEST(HonestWritesTest, LongNamesAreBackedUpRecoveredAndWritten) {
  // The longest names whose backup name still fits the usual limit of 255.
  for (const std::size_t length : {std::size_t{230}, std::size_t{248}}) {
    SCOPED_TRACE(length);
    TempDir dir;
    const std::string name(length, 'n');
    const std::string original = dir.Write(name, "original");
    const std::string patch = dir.Write("p.ips", IpsBytes().Data(0, "P").Complete());
    Outcome o = RunCommand({"apply", "--backup", original, patch});
    EXPECT_EQ(o.status, kExitDone) << o.err;
    EXPECT_EQ(ReadText(original + "_backup"), "original");
    o = RunCommand({"recover", original});
    EXPECT_EQ(o.status, kExitDone) << o.err;
    EXPECT_EQ(ReadText(original), "original");
    const std::string output = dir.File(std::string(length, 'w'));
    o = RunCommand({"apply", "--output", output, original, patch});
    EXPECT_EQ(o.status, kExitDone) << o.err;
    EXPECT_EQ(ReadText(output), "Priginal");
  }
}
#endif

#ifndef _WIN32
TEST(HonestWritesTest, StaleTemporaryFilesOfTheDestinationGoWhenNoRunHoldsThem) {
  TempDir dir;
  const std::string original = dir.Write("o.bin", "original");
  const std::string mark = ReplacementFile::kTemporaryMark;
  const std::string stale = dir.Write(".o.bin_backup" + mark + "abcdefgh", "stale");
  const std::string held = dir.Write(".o.bin_backup" + mark + "heldheld", "held");
  const std::string other = dir.Write(".x.bin" + mark + "abcdefgh", "other destination");
  const std::string lookalike = dir.Write(".o.bin_backup" + mark + "long-suffix", "not ours");
  const int holder = ::open(held.c_str(), O_RDONLY);
  ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
  const std::string patch = dir.Write("p.ips", IpsBytes().Data(0, "P").Complete());
  const Outcome o = RunCommand({"apply", "--backup", original, patch});
  EXPECT_EQ(o.status, kExitDone) << o.err;
  EXPECT_FALSE(Exists(stale));
  EXPECT_TRUE(Exists(held));
  EXPECT_TRUE(Exists(other));
  EXPECT_TRUE(Exists(lookalike));
  ::close(holder);
}

// A file renamed over the path between the open and the lock: the run
// patches what the path names, not the file that was there before.
std::string renamedFrom;
std::string renamedTo;
void RenameOnce() {
  if (!renamedFrom.empty()) ::rename(renamedFrom.c_str(), renamedTo.c_str());
  renamedFrom.clear();
}

TEST(HonestWritesTest, AFileRenamedOverThePathBeforeTheLockIsTheOnePatched) {
  TempDir dir;
  const std::string original = dir.Write("o.bin", "first file");
  renamedFrom = dir.Write("new.bin", "second file");
  renamedTo = original;
  const std::string patch = dir.Write("p.ips", IpsBytes().Data(0, "P").Complete());
  write_fault::BeforeLock(&RenameOnce);
  const Outcome o = RunCommand({"apply", original, patch});
  write_fault::BeforeLock(nullptr);
  EXPECT_EQ(o.status, kExitDone) << o.err;
  EXPECT_EQ(ReadText(original), "Pecond file");
}
#endif

// The close of a written file after its flush: the file is whole and new, so
// a failure there is no failure of the command.
TEST(HonestWritesTest, EachWriteStepFailsWithTheFileOldOrSucceedsWithItNew) {
  for (const char* how : {"in place", "--output", "--output --no-sync"}) {
    SCOPED_TRACE(how);
    const bool toNewFile = how != std::string("in place");
    bool done = false;
    for (int step = 1; step < 40 && !done; ++step) {
      SCOPED_TRACE(step);
      TempDir dir;
      const std::string original = dir.Write("o.bin", std::string(100'000, 'o'));
      const std::string output = dir.File("n.bin");
      const std::string patch = dir.Write("p.ips", IpsBytes().Data(5, "abc").Complete());
      std::vector<std::string> args = {"apply", original, patch};
      if (toNewFile) args = {"apply", "--output", output, original, patch};
      if (Has(how, "--no-sync")) args.insert(args.begin() + 1, "--no-sync");
      write_fault::FailNthStep(step);
      const Outcome o = RunCommand(args);
      const int steps = write_fault::StepsTaken();
      write_fault::FailNthStep(0);
      const std::string written = toNewFile ? output : original;
      if (o.status == kExitDone) {
        done = steps < step;
        EXPECT_EQ(ReadText(written).substr(0, 10), "oooooabcoo");
      } else if (toNewFile && Exists(output)) {
        // Only the flush of its folder failed: NEW stands whole, and says so.
        EXPECT_EQ(ReadText(output).substr(0, 10), "oooooabcoo");
        EXPECT_TRUE(Has(o.err, "its folder could not be flushed")) << o.err;
      } else if (toNewFile) {
        // Neither NEW nor a temporary file stays.
        EXPECT_EQ(testing::NamesIn(dir.Path()), (std::vector<std::string>{"o.bin", "p.ips"}))
            << o.err;
      } else {
        EXPECT_EQ(ReadText(original), std::string(100'000, 'o')) << o.err;
      }
    }
    EXPECT_TRUE(done);
  }
}

// Done means on the disk, unless told --no-sync: then nothing at all is
// flushed, neither ORIGINAL and its journal nor NEW and its folder, and the
// files come out the same.
TEST(HonestWritesTest, NoSyncFlushesNothing) {
  const std::string old(100'000, 'o');
  std::string patched = old;
  patched.replace(5, 3, "abc");
  const auto bytes = [](const std::string& text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
  };
  struct Case {
    std::vector<std::string> args;  // O, N and the patch stand for the files
    bool flushes;
  };
  const std::vector<Case> cases = {
      {{"apply", "O", "p.ips"}, true},
      {{"apply", "--no-sync", "O", "p.ips"}, false},
      {{"apply", "--output", "N", "O", "p.ips"}, true},
      {{"apply", "--no-sync", "--output", "N", "O", "p.ips"}, false},
      {{"apply", "--no-sync", "--output", "N", "O", "p.bps"}, false},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const std::string patchName = c.args.back();
    SCOPED_TRACE(c.args[1] + " " + c.args[2] + " " + patchName);
    dir.Write("p.ips", IpsBytes().Data(5, "abc").Complete());
    dir.Write("p.bps", MakeLinearBps(bytes(old), bytes(patched)));
    const bool toNewFile = c.args.size() > 4;
    std::vector<std::string> args;
    for (const std::string& arg : c.args) {
      args.push_back(arg == "O"         ? dir.Write("o.bin", old)
                     : arg == "N"       ? dir.File("n.bin")
                     : arg == patchName ? dir.File(arg)
                                        : arg);
    }
    write_fault::FailNthStep(0);
    const Outcome o = RunCommand(args);
    EXPECT_EQ(o.status, kExitDone) << o.err;
    EXPECT_EQ(write_fault::FlushesTaken() > 0, c.flushes) << write_fault::FlushesTaken();
    EXPECT_EQ(ReadText(dir.File("o.bin")), toNewFile ? old : patched);
    // No journal and no temporary file stays behind.
    std::vector<std::string> names = {"o.bin", "p.bps", "p.ips"};
    if (toNewFile) {
      EXPECT_EQ(ReadText(dir.File("n.bin")), patched);
      names.insert(names.begin(), "n.bin");
    }
    EXPECT_EQ(testing::NamesIn(dir.Path()), names);
  }
}

}  // namespace
}  // namespace vips::cli
