// A run of apply killed half-way, then whatever a user does next: the file is
// taken back wherever its journal fits it (another device or folder, another
// name of the file), is refused with a message naming the journal where it
// does not, and no command reads the half-written file.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "cli/commands.hpp"
#include "core/files/digests.hpp"
#include "core/files/file_access.hpp"
#include "core/files/rollback_journal.hpp"
#include "ips_bytes.hpp"
#include "run_cli.hpp"
#include "support/temp_dir.hpp"
#include "tests/support/write_fault.hpp"

namespace vips::cli {
namespace {

namespace fs = std::filesystem;
using testing::Exists;
using testing::IpsBytes;
using testing::Outcome;
using testing::ReadText;
using testing::RunCommand;
using testing::TempDir;

constexpr const char* kTakenBack =
    ": an earlier run was stopped while it wrote this file; what it wrote was taken back first.\n";

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A folder "a" with a file, a patch that writes all over it and lengthens
// it, and a one-byte patch that touches it where the other does not.
struct Scene {
  TempDir dir;
  std::string folder = dir.Path() + "/a";
  std::string original = folder + "/o.bin";
  std::string patch = dir.Path() + "/p.ips";
  std::string touch = dir.Path() + "/touch.ips";
  std::string old;
  std::string patched;

  // `where`: the folder for the file, when not the scene's own "a".
  explicit Scene(const std::string& where = {}) {
    if (!where.empty()) {
      folder = where;
      original = folder + "/o.bin";
    }
    fs::create_directories(folder);
    old.resize(1 << 20);
    for (std::size_t i = 0; i < old.size(); ++i) old[i] = static_cast<char>('a' + i * 7 % 26);
    patched = old;
    IpsBytes ips;
    for (std::size_t at = 4096; at + 40 < old.size(); at += 7919) {
      const std::string bytes(17 + at % 23, static_cast<char>('A' + at % 26));
      ips.Data(static_cast<std::uint32_t>(at), bytes);
      patched.replace(at, bytes.size(), bytes);
    }
    ips.Run(static_cast<std::uint32_t>(old.size() + 100), 5000, '+');
    patched.resize(old.size() + 100, '\0');
    patched += std::string(5000, '+');
    WriteFile(original, old);
    WriteFile(patch, ips.Complete());
    WriteFile(touch, IpsBytes().Data(1, "Z").Complete());
  }

  static std::string Touched(std::string bytes) {
    bytes[1] = 'Z';
    return bytes;
  }

  // An apply of the patch to `path`, killed at its `step`th write step.
  void KilledRun(const std::string& path, int step) const {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      write_fault::AtNthStep(step, [] { ::raise(SIGKILL); });
      ::_exit(RunCommand({"apply", path, patch}).status);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the run was not killed";
  }
};

// The write step at which a killed run has changed part of the file, its
// journal beside it.
int HalfWayStep() {
  static const int step = [] {
    Scene scene;
    for (int s = 1; s < 100; ++s) {
      scene.KilledRun(scene.original, s);
      const std::string now = ReadText(scene.original);
      if (Exists(RollbackJournal::PathFor(scene.original)) && now != scene.old &&
          now.substr(0, scene.old.size()) != scene.patched.substr(0, scene.old.size())) {
        return s;
      }
      fs::remove(RollbackJournal::PathFor(scene.original));
      WriteFile(scene.original, scene.old);
    }
    return 0;
  }();
  return step;
}

TEST(JournalTrustTest, AfterAKilledRunEveryCommandTakesTheFileBackWhereverItsJournalFits) {
  ASSERT_GT(HalfWayStep(), 0) << "no write step leaves the file half-written";
  struct Case {
    const char* what;
    // What the user does between the killed run and the next command; the
    // path to run on.
    std::string (*move)(Scene& scene);
    // The command run next, for the path; its expected result for the file.
    std::vector<std::string> (*command)(Scene& scene, const std::string& path);
    bool touched;
  };
  const auto stay = [](Scene& s) { return s.original; };
  const auto touch = [](Scene& s, const std::string& path) {
    return std::vector<std::string>{"apply", path, s.touch};
  };
  const std::vector<Case> cases = {
      {"apply", stay, touch, true},
      {"the folder copied, as onto another disk",
       [](Scene& s) {
         fs::copy(s.folder, s.dir.Path() + "/b", fs::copy_options::recursive);
         fs::remove_all(s.folder);
         return s.dir.Path() + "/b/o.bin";
       },
       touch, true},
      {"reached through a link made since",
       [](Scene& s) {
         fs::create_symlink(s.original, s.dir.Path() + "/link");
         return s.dir.Path() + "/link";
       },
       touch, true},
      {"reached through another name in its folder",
       [](Scene& s) {
         fs::create_hard_link(s.original, s.folder + "/other.bin");
         return s.folder + "/other.bin";
       },
       touch, true},
      {"apply --crc32 with the file's checksum before the run", stay,
       [](Scene& s, const std::string& path) {
         const std::string copy = s.dir.Path() + "/old.bin";
         WriteFile(copy, s.old);
         ExistingFile file = ExistingFile::OpenForReading(copy);
         const std::string crc = Crc32Text(Crc32OfFile(file));
         file.Close();
         fs::remove(copy);
         return std::vector<std::string>{"apply", "--crc32", crc, path, s.touch};
       },
       true},
      {"apply --output", stay,
       [](Scene& s, const std::string& path) {
         return std::vector<std::string>{"apply", "--output", s.dir.Path() + "/new.bin", path,
                                         s.touch};
       },
       false},
      {"info", stay,
       [](Scene&, const std::string& path) {
         return std::vector<std::string>{"info", path};
       },
       false},
      {"create", stay,
       [](Scene& s, const std::string& path) {
         WriteFile(s.dir.Path() + "/modified.bin", Scene::Touched(s.old));
         return std::vector<std::string>{"create", path, s.dir.Path() + "/modified.bin",
                                         s.dir.Path() + "/made.ips"};
       },
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Scene scene;
    scene.KilledRun(scene.original, HalfWayStep());
    const std::string path = c.move(scene);
    const Outcome o = RunCommand(c.command(scene, path));
    EXPECT_EQ(o.status, kExitDone) << o.err;
    EXPECT_NE(o.err.find(path + kTakenBack), std::string::npos) << o.err;
    EXPECT_EQ(ReadText(path), c.touched ? Scene::Touched(scene.old) : scene.old);
    EXPECT_FALSE(RollbackJournal::JournalStandsBeside(path));
    if (Exists(scene.dir.Path() + "/new.bin")) {
      EXPECT_EQ(ReadText(scene.dir.Path() + "/new.bin"), Scene::Touched(scene.old));
    }
  }
}

TEST(JournalTrustTest, AJournalThatDoesNotFitStopsEveryWriterAndIsNamed) {
  ASSERT_GT(HalfWayStep(), 0) << "no write step leaves the file half-written";
  struct Case {
    const char* what;
    void (*change)(Scene& scene);
  };
  const std::vector<Case> cases = {
      {"another file put under the name",
       [](Scene& s) {
         fs::remove(s.original);
         WriteFile(s.original, std::string(6'000'000, 'x'));
       }},
      {"the half-written file edited",
       [](Scene& s) {
         std::string bytes = ReadText(s.original);
         for (std::size_t at = 4096; at < bytes.size(); at += 4096) bytes[at] = '!';
         WriteFile(s.original, bytes);
       }},
      {"a pipe at the journal's name instead",
       [](Scene& s) {
         const std::string journal = RollbackJournal::PathFor(s.original);
         fs::remove(journal);
         ASSERT_EQ(::mkfifo(journal.c_str(), 0600), 0);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Scene scene;
    scene.KilledRun(scene.original, HalfWayStep());
    c.change(scene);
    const std::string before = ReadText(scene.original);
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"apply", "--backup", scene.original, scene.touch},
          std::vector<std::string>{"apply", "--output", scene.dir.Path() + "/new.bin",
                                   scene.original, scene.touch},
          std::vector<std::string>{"status", scene.original, scene.touch}}) {
      SCOPED_TRACE(command[1]);
      const Outcome o = RunCommand(command);
      EXPECT_EQ(o.status, kExitJournalRefused) << o.err;
      EXPECT_NE(o.err.find(scene.original + ": The journal .o.bin.vips-journal beside o.bin "),
                std::string::npos)
          << o.err;
      EXPECT_EQ(ReadText(scene.original), before);
      EXPECT_TRUE(RollbackJournal::JournalStandsBeside(scene.original));
      EXPECT_FALSE(Exists(scene.original + "_backup"));
      EXPECT_FALSE(Exists(scene.dir.Path() + "/new.bin"));
    }
  }
}

// A file system in an image file, loop-mounted; mounting needs root, the
// kernel's support and the maker of the file system, else Reason() says why.
class LoopMount {
 public:
  LoopMount(const std::string& image, const std::string& folder, const std::string& type)
      : folder_(folder) {
    const std::string make = "command -v mkfs." + type + " >/dev/null 2>&1 && truncate -s 128M '" +
                             image + "' && mkfs." + type + " -q " +
                             (type == "btrfs" ? "-f '" : "-F '") + image +
                             "' >/dev/null 2>&1 && mkdir -p '" + folder + "' && mount -o loop '" +
                             image + "' '" + folder + "' 2>/dev/null";
    mounted_ = std::system(make.c_str()) == 0;
    if (!mounted_)
      reason_ = "cannot loop-mount a " + type + " image here (root, mkfs." + type + ")";
  }
  ~LoopMount() { Unmount(); }
  void Unmount() {
    if (mounted_) (void)std::system(("umount '" + folder_ + "'").c_str());
    mounted_ = false;
  }
  // Mounts `image` at the folder again.
  bool Mount(const std::string& image) {
    mounted_ = std::system(("mount -o loop '" + image + "' '" + folder_ + "'").c_str()) == 0;
    return mounted_;
  }
  [[nodiscard]] bool Mounted() const { return mounted_; }
  [[nodiscard]] const std::string& Reason() const { return reason_; }

 private:
  std::string folder_;
  bool mounted_ = false;
  std::string reason_;
};

std::uint64_t DeviceOf(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? info.st_dev : 0;
}

// A removable disk back on another device, as after a reboot: the journal
// still fits, and is played back.
TEST(JournalTrustTest, AfterARemountOnAnotherDeviceTheKilledRunIsTakenBack) {
  ASSERT_GT(HalfWayStep(), 0) << "no write step leaves the file half-written";
  for (const std::string type : {"ext4", "btrfs"}) {
    SCOPED_TRACE(type);
    TempDir dir;
    LoopMount disk(dir.File("disk.img"), dir.File("disk"), type);
    if (!disk.Mounted()) {
      std::cout << "[  SKIPPED ] " << disk.Reason() << '\n';
      continue;
    }
    Scene scene(dir.File("disk"));
    scene.KilledRun(scene.original, HalfWayStep());
    ASSERT_TRUE(RollbackJournal::JournalStandsBeside(scene.original));
    const std::uint64_t before = DeviceOf(scene.original);
    disk.Unmount();
    // Another disk mounted first takes the device the first one had.
    LoopMount other(dir.File("other.img"), dir.File("other"), type);
    ASSERT_TRUE(other.Mounted()) << other.Reason();
    ASSERT_TRUE(disk.Mount(dir.File("disk.img")));
    EXPECT_NE(DeviceOf(scene.original), before);
    const Outcome o = RunCommand({"apply", scene.original, scene.touch});
    EXPECT_EQ(o.status, kExitDone) << o.err;
    EXPECT_EQ(o.err, scene.original + kTakenBack);
    EXPECT_EQ(ReadText(scene.original), Scene::Touched(scene.old));
  }
}

// Any one write step that fails, the journal's own steps included, leaves the
// file old (the failure reported) or patched (done): never reported damaged.
TEST(JournalTrustTest, OneFailingStepNeverLeavesTheFileReportedDamaged) {
  Scene scene;
  for (int step = 1;; ++step) {
    SCOPED_TRACE(step);
    ASSERT_LT(step, 200);
    write_fault::FailNthStep(step);
    const Outcome o = RunCommand({"apply", "--backup", scene.original, scene.patch});
    write_fault::FailNthStep(0);
    if (o.status == kExitDone) {
      EXPECT_EQ(ReadText(scene.original), scene.patched);
      break;
    }
    EXPECT_TRUE(o.status == kExitIoError || o.status == kExitCopyFailed) << o.err;
    EXPECT_EQ(ReadText(scene.original), scene.old);
    fs::remove(scene.original + "_backup");
    EXPECT_EQ(RunCommand({"apply", scene.original, scene.touch}).status, kExitDone);
    EXPECT_EQ(ReadText(scene.original), Scene::Touched(scene.old));
    WriteFile(scene.original, scene.old);
  }
}

// While apply --backup copies the file, no other run can write it: the
// backup never holds a file that another run left half-written.
std::vector<std::string> g_otherRun;
int g_otherStatus = -1;

TEST(JournalTrustTest, TheBackupIsTakenUnderTheSameLockAsTheWrite) {
  Scene scene;
  g_otherRun = {"apply", scene.original, scene.touch};
  // The first write step of the run is the backup's copy.
  write_fault::AtNthStep(1, [] { g_otherStatus = RunCommand(g_otherRun).status; });
  const Outcome o = RunCommand({"apply", "--backup", scene.original, scene.patch});
  write_fault::AtNthStep(0, nullptr);
  EXPECT_EQ(o.status, kExitDone) << o.err;
  EXPECT_EQ(g_otherStatus, kExitIoError);
  EXPECT_EQ(ReadText(scene.original + "_backup"), scene.old);
  EXPECT_EQ(ReadText(scene.original), scene.patched);
}

}  // namespace
}  // namespace vips::cli

#endif
