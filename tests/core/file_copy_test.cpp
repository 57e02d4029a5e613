#include "core/files/file_copy.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "support/temp_dir.hpp"
#include "tests/support/write_fault.hpp"

namespace vips {
namespace {

using testing::Exists;
using testing::OpenDescriptorCount;
using testing::PathOf;
using testing::ReadAll;
using testing::TempDir;

std::vector<std::uint8_t> Bytes(const std::string& text) {
  return {text.begin(), text.end()};
}

TEST(CopyWholeFileTest, CreatesOrReplacesTheDestination) {
  TempDir dir;
  std::string large;
  for (int i = 0; i < 200'000; ++i) large.push_back(static_cast<char>(i * 7));
  struct Case {
    const char* what;
    std::string source;
    std::string existing;  // "-" for no destination yet
  };
  const Case cases[] = {
      {"new destination", "hello", "-"},
      {"longer destination is cut to the source", "ab", "a much longer old backup"},
      {"empty source", "", "old"},
      {"source of several chunks", large, "-"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string from = dir.Write("from.bin", c.source);
    const std::string to = dir.File("to.bin");
    std::filesystem::remove(PathOf(to));
    if (std::string(c.existing) != "-") dir.Write("to.bin", c.existing);
    ASSERT_TRUE(CopyWholeFile(from, to));
    EXPECT_EQ(ReadAll(to), Bytes(c.source));
    EXPECT_EQ(ReadAll(from), Bytes(c.source));
  }
}

TEST(CopyWholeFileTest, RefusesAndLeavesFilesAsTheyWere) {
  TempDir dir;
  const std::string from = dir.Write("from.bin", "new contents");
  const std::string readOnly = dir.Write("read-only.bin", "keep me");
  ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
  const std::string self = dir.Write("self.bin", "only copy");
  const std::string link = dir.File("hard-link.bin");
  std::filesystem::create_hard_link(PathOf(self), PathOf(link));
  const std::string pipe = dir.Pipe("pipe");

  const int before = OpenDescriptorCount();
  EXPECT_FALSE(CopyWholeFile(dir.File("missing.bin"), dir.File("out.bin")));
  EXPECT_FALSE(Exists(dir.File("out.bin"))) << "a failed copy left a file";
  EXPECT_FALSE(CopyWholeFile(from, readOnly));
  EXPECT_FALSE(CopyWholeFile(self, self));
  EXPECT_FALSE(CopyWholeFile(self, dir.Path() + "/./self.bin"));
  EXPECT_FALSE(CopyWholeFile(self, link));
  EXPECT_FALSE(CopyWholeFile(from, dir.File("no-folder/out.bin")));
  EXPECT_FALSE(CopyWholeFile(dir.Path(), dir.File("out.bin")));
  EXPECT_FALSE(CopyWholeFile("", dir.File("out.bin")));
  EXPECT_FALSE(CopyWholeFile(from, ""));
  EXPECT_FALSE(CopyWholeFile(from, dir.File("cut.bin") + std::string("\0", 1) + "x"));
  EXPECT_FALSE(Exists(dir.File("cut.bin"))) << "a name cut at its NUL was used";
  // Pipes with nobody at the other end: refused at once instead of waiting.
  EXPECT_FALSE(CopyWholeFile(pipe, dir.File("out.bin")));
  EXPECT_FALSE(CopyWholeFile(from, pipe));
  // A device has no whole to copy: /dev/zero would run until the disk is full.
#ifdef _WIN32
  EXPECT_FALSE(CopyWholeFile("NUL", dir.File("out.bin")));
#else
  EXPECT_FALSE(CopyWholeFile("/dev/null", dir.File("out.bin")));
#endif
  EXPECT_FALSE(Exists(dir.File("out.bin")));
  EXPECT_EQ(OpenDescriptorCount(), before);

  EXPECT_EQ(ReadAll(readOnly), Bytes("keep me"));
  EXPECT_EQ(ReadAll(self), Bytes("only copy"));
}

TEST(CopyWholeFileTest, InterruptedAtAnyWriteTheDestinationIsWholeOldOrWholeNew) {
  TempDir dir;
  // Several chunks of the copy.
  std::string source(2'500'000, '\0');
  for (std::size_t i = 0; i < source.size(); ++i) source[i] = static_cast<char>(i % 253);
  const std::string from = dir.Write("from.bin", source);
  for (int step = 1;; ++step) {
    SCOPED_TRACE(step);
    const std::string to = dir.Write("to.bin", "old backup");
    write_fault::FailNthStep(step);
    const bool copied = CopyWholeFile(from, to);
    write_fault::FailNthStep(0);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()),
                            std::filesystem::directory_iterator()),
              2)
        << "a temporary file was left";
    if (copied) {
      EXPECT_EQ(ReadAll(to), Bytes(source));
      EXPECT_GT(step, 3);
      break;
    }
    EXPECT_EQ(ReadAll(to), Bytes("old backup"));
    ASSERT_LT(step, 100) << "the copy never succeeded";
  }
}

// The copy of a read-only file is read-only too (on Windows its read-only
// attribute), whole or not there at all, whatever step fails.
TEST(CopyWholeFileTest, TheCopyOfAReadOnlyFileIsReadOnly) {
  namespace fs = std::filesystem;
  TempDir dir;
  const std::string from = dir.Write("o.bin", "original");
  const std::string to = dir.File("o.bin_backup");
  fs::permissions(PathOf(from), fs::perms::owner_read | fs::perms::group_read);
  for (int step = 1;; ++step) {
    SCOPED_TRACE(step);
    write_fault::FailNthStep(step);
    const bool copied = CopyWholeFile(from, to);
    write_fault::FailNthStep(0);
    if (!copied) {
      EXPECT_EQ(testing::NamesIn(dir.Path()), std::vector<std::string>{"o.bin"});
      ASSERT_LT(step, 20) << "the copy never succeeded";
      continue;
    }
    EXPECT_EQ(ReadAll(to), Bytes("original"));
    EXPECT_EQ(fs::status(PathOf(to)).permissions() & fs::perms::owner_write, fs::perms::none);
    break;
  }
}

TEST(CopyWholeFileTest, LinksAreReplacedAtTheDestinationAndRefusedAsTheSource) {
  namespace fs = std::filesystem;
  TempDir dir;
  const std::string victim = dir.Write("victim.txt", "keep");
  const std::string from = dir.Write("o.bin", "original");
  const std::string to = dir.File("o.bin_backup");
  std::error_code error;
  fs::create_symlink(victim, to, error);
  if (error) GTEST_SKIP() << "no symbolic links here: " << error.message();
  fs::permissions(from, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  ASSERT_TRUE(CopyWholeFile(from, to));
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(to)));
  EXPECT_EQ(ReadAll(to), Bytes("original"));
  EXPECT_EQ(ReadAll(victim), Bytes("keep"));
#ifndef _WIN32
  EXPECT_EQ(fs::status(to).permissions(), fs::status(from).permissions())
      << "the copy takes the source's permission bits";
#endif

  // A link as the backup to recover from is refused: its target is no backup.
  const std::string link = dir.File("link_backup");
  fs::create_symlink(victim, link);
  EXPECT_FALSE(CopyWholeFile(link, from));
  EXPECT_EQ(ReadAll(from), Bytes("original"));
}

TEST(CopyWholeFileTest, FullDiskIsAFailure) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows has no device that is always full (Linux: /dev/full)";
#endif
  TempDir dir;
  const std::string from = dir.Write("from.bin", "data");
  EXPECT_FALSE(CopyWholeFile(from, "/dev/full"));
}

}  // namespace
}  // namespace vips
