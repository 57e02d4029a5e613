#include "core/files/replacement_file.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "core/error.hpp"
#include "core/files/file_access.hpp"
#include "support/temp_dir.hpp"
#include "tests/support/write_fault.hpp"

namespace vips {
namespace {

namespace fs = std::filesystem;
using testing::NamesIn;
using testing::ReadAll;
using testing::TempDir;

std::vector<std::uint8_t> Bytes(const std::string& text) {
  return {text.begin(), text.end()};
}

void WriteNew(const std::string& destination, const std::string& text, bool commit) {
  ReplacementFile file = ReplacementFile::Create(destination);
  EXPECT_NE(file.TemporaryPath().find(ReplacementFile::kTemporaryMark), std::string::npos);
  file.Append(text.data(), text.size() / 2);
  file.Append(text.data() + text.size() / 2, text.size() - text.size() / 2);
  if (commit) file.Commit();
}

TEST(ReplacementFileTest, TakesThePlaceOfTheDestinationOnlyAtCommit) {
  TempDir dir;
  const std::string destination = dir.File("out.bin");
  WriteNew(destination, "first", false);
  EXPECT_FALSE(fs::exists(destination));
  WriteNew(destination, "first", true);
  EXPECT_EQ(ReadAll(destination), Bytes("first"));
  WriteNew(destination, "abandoned", false);
  EXPECT_EQ(ReadAll(destination), Bytes("first"));
  WriteNew(destination, "second, longer", true);
  EXPECT_EQ(ReadAll(destination), Bytes("second, longer"));
  EXPECT_EQ(NamesIn(dir.Path()), std::vector<std::string>{"out.bin"});
}

TEST(ReplacementFileTest, ReplacesALinkAtTheDestinationWithoutFollowingIt) {
  TempDir dir;
  const std::string victim = dir.Write("victim.txt", "keep");
  const std::string destination = dir.File("out.bin");
  std::error_code error;
  fs::create_symlink(victim, destination, error);
  if (error) GTEST_SKIP() << "this system makes no symbolic links here: " << error.message();
  WriteNew(destination, "new", true);
  EXPECT_FALSE(fs::is_symlink(destination));
  EXPECT_EQ(ReadAll(destination), Bytes("new"));
  EXPECT_EQ(ReadAll(victim), Bytes("keep"));
}

TEST(ReplacementFileTest, MissingFolderAndPermissions) {
  TempDir dir;
  try {
    (void)ReplacementFile::Create(dir.File("no-folder/out.bin"));
    FAIL() << "created a file in a missing folder";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()), kInvalidFilename);
  }
#ifndef _WIN32
  const std::string source = dir.Write("source.bin", "x");
  fs::permissions(source, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  ReplacementFile file = ReplacementFile::Create(dir.File("out.bin"));
  file.CopyPermissionsFrom(source);
  file.Commit();
  EXPECT_EQ(fs::status(dir.File("out.bin")).permissions(), fs::status(source).permissions());
#endif
}

// Done means the new name is on the disk: a folder that cannot be flushed
// after the rename fails the commit, naming what stands and what is at risk.
TEST(ReplacementFileTest, AFolderThatCannotBeFlushedAfterTheRenameFailsTheCommit) {
#ifdef _WIN32
  GTEST_SKIP() << "the move is written through: it returns once the new name is on the disk";
#endif
  TempDir dir;
  const std::string destination = dir.Write("out.bin", "old");
  write_fault::FailNthStep(0);
  WriteNew(destination, "new", true);
  // The folder's flush is the commit's last step.
  write_fault::FailNthStep(write_fault::StepsTaken());
  try {
    WriteNew(destination, "newer", true);
    ADD_FAILURE() << "a commit whose folder was not flushed was done";
  } catch (const Error& e) {
    EXPECT_EQ(e.Path(), destination);
    EXPECT_STREQ(e.what(),
                 "the file is in place, but its folder could not be flushed (Disk full); a crash "
                 "of the system may still undo it");
  }
  write_fault::FailNthStep(0);
  EXPECT_EQ(ReadAll(destination), Bytes("newer"));
  EXPECT_EQ(NamesIn(dir.Path()), std::vector<std::string>{"out.bin"});
}

}  // namespace
}  // namespace vips
