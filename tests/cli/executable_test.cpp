// Runs the built executable, to prove that main forwards its arguments and
// that the listing and the diagnostics reach different streams.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <string>
#include <vector>

#include "ips_bytes.hpp"
#include "support/temp_dir.hpp"

extern char** environ;

namespace vips::cli {
namespace {

using testing::IpsBytes;
using testing::ReadAll;
using testing::TempDir;

struct Process {
  int status = -1;
  std::string out;
  std::string err;
};

Process RunExecutable(const TempDir& dir, std::vector<std::string> args) {
  args.insert(args.begin(), VIPS_CLI_PATH);
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  const std::string outPath = dir.File("stdout.txt");
  const std::string errPath = dir.File("stderr.txt");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  Process result;
  if (spawned != 0) return result;
  int wait = 0;
  if (waitpid(pid, &wait, 0) != pid || !WIFEXITED(wait)) return result;
  result.status = WEXITSTATUS(wait);
  const auto out = ReadAll(outPath);
  const auto err = ReadAll(errPath);
  result.out.assign(out.begin(), out.end());
  result.err.assign(err.begin(), err.end());
  return result;
}

TEST(ExecutableTest, VersionOnStdout) {
  TempDir dir;
  const Process p = RunExecutable(dir, {"--version"});
  EXPECT_EQ(p.status, 0);
  EXPECT_EQ(p.out, "Velmorant IPS 2.2.0.0\n");
  EXPECT_EQ(p.err, "");
}

TEST(ExecutableTest, CutPatchListingOnStdoutErrorOnStderr) {
  TempDir dir;
  const std::string patch =
      dir.Write("cut.ips", IpsBytes().Data(0x100, "xyz").Run(0x20, 16, 0).CutBy(1));
  const Process p = RunExecutable(dir, {"list", patch});
  EXPECT_EQ(p.status, 2);
  EXPECT_EQ(p.out, "1\t100\t102\tdata\t3\n");
  EXPECT_EQ(p.err, patch + ": Read beyond end of file\n");
}

TEST(ExecutableTest, AppliesTheChosenRecords) {
  TempDir dir;
  const std::string original = dir.Write("o.bin", std::string("......"));
  const std::string patch =
      dir.Write("p.ips", IpsBytes().Data(0, "a").Data(2, "b").Run(4, 2, 'c').Complete());
  const Process p = RunExecutable(dir, {"apply", "--skip", "2", original, patch});
  EXPECT_EQ(p.status, 0) << p.err;
  EXPECT_EQ(p.out, "");
  const auto bytes = ReadAll(original);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "a...cc");
}

TEST(ExecutableTest, WrongUsageOnStderrWithStatus64) {
  TempDir dir;
  const Process p = RunExecutable(dir, {"apply", "only-one-file"});
  EXPECT_EQ(p.status, 64);
  EXPECT_EQ(p.out, "");
  EXPECT_NE(p.err.find("usage: velmorant-ips-cli"), std::string::npos) << p.err;
}

}  // namespace
}  // namespace vips::cli
