#include "cli/arguments.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/usage_error.hpp"

namespace vips::cli {
namespace {

using Args = std::vector<std::string>;

TEST(ArgumentsTest, ListTakesThePatch) {
  const Arguments a = ParseArguments({"list", "p.ips"});
  EXPECT_EQ(a.command, Command::List);
  EXPECT_EQ(a.patchPath, "p.ips");
  EXPECT_TRUE(a.originalPath.empty());
}

TEST(ArgumentsTest, DeltaPatchesTakeTheirOriginalAndNewOptions) {
  struct Case {
    Args args;
    std::string patch, original, newFile;
    bool truncate, bps;
  };
  const Case cases[] = {
      {{"list", "p.bps", "o"}, "p.bps", "o", "", false, false},
      {{"export", "p.bps", "o", "n"}, "p.bps", "o", "n", false, false},
      {{"export", "p.ips", "n"}, "p.ips", "", "n", false, false},
      {{"apply", "--truncate", "o", "p"}, "p", "o", "", true, false},
      {{"create", "--bps", "o", "m", "n"}, "", "o", "n", false, true},
  };
  for (const Case& c : cases) {
    const Arguments a = ParseArguments(c.args);
    EXPECT_EQ(a.patchPath, c.patch) << c.args[0];
    EXPECT_EQ(a.originalPath, c.original) << c.args[0];
    EXPECT_EQ(a.newPath, c.newFile) << c.args[0];
    EXPECT_EQ(a.truncate, c.truncate) << c.args[0];
    EXPECT_EQ(a.bps, c.bps) << c.args[0];
  }
}

TEST(ArgumentsTest, ApplyTakesOriginalThenPatch) {
  const Arguments a = ParseArguments({"apply", "game.bin", "fix.ips"});
  EXPECT_EQ(a.command, Command::Apply);
  EXPECT_EQ(a.originalPath, "game.bin");
  EXPECT_EQ(a.patchPath, "fix.ips");
  EXPECT_EQ(a.selection, Selection::All);
  EXPECT_FALSE(a.backup);
}

TEST(ArgumentsTest, ApplyOptionsMayStandAnywhere) {
  for (const Args& args : {Args{"apply", "--backup", "--only", "1-3,7", "o", "p"},
                           Args{"apply", "o", "--only=1-3,7", "p", "--backup"},
                           Args{"apply", "o", "p", "--backup", "--only", "1-3,7"}}) {
    const Arguments a = ParseArguments(args);
    EXPECT_EQ(a.selection, Selection::Only);
    EXPECT_EQ(a.records, (std::vector<RecordRange>{{1, 3}, {7, 7}}));
    EXPECT_TRUE(a.backup);
    EXPECT_EQ(a.originalPath, "o");
    EXPECT_EQ(a.patchPath, "p");
  }
}

TEST(ArgumentsTest, SkipList) {
  const Arguments a = ParseArguments({"apply", "--skip", "2", "o", "p"});
  EXPECT_EQ(a.selection, Selection::Skip);
  EXPECT_EQ(a.records, (std::vector<RecordRange>{{2, 2}}));
}

TEST(ArgumentsTest, DoubleDashEndsOptions) {
  const Arguments a = ParseArguments({"apply", "--", "--backup", "-x.ips"});
  EXPECT_FALSE(a.backup);
  EXPECT_EQ(a.originalPath, "--backup");
  EXPECT_EQ(a.patchPath, "-x.ips");
  // After "--", even --help is a file name.
  EXPECT_EQ(ParseArguments({"recover", "--", "--help"}).originalPath, "--help");
}

TEST(ArgumentsTest, HelpAndVersionWinWherever) {
  EXPECT_EQ(ParseArguments({"--help"}).command, Command::Help);
  EXPECT_EQ(ParseArguments({"-h"}).command, Command::Help);
  EXPECT_EQ(ParseArguments({"apply", "--only", "0", "--help"}).command, Command::Help);
  EXPECT_EQ(ParseArguments({"--version"}).command, Command::Version);
  EXPECT_EQ(ParseArguments({"list", "--version"}).command, Command::Version);
}

TEST(ArgumentsTest, Crc32TakesEightHexDigitsWithOrWithout0x) {
  for (const char* hex : {"1234abCD", "0x1234abCD", "0X1234ABcd"}) {
    EXPECT_EQ(ParseArguments({"apply", "--crc32", hex, "o", "p"}).crc32, 0x1234ABCDu) << hex;
  }
  EXPECT_EQ(ParseArguments({"apply", "--crc32=0x1234abcd", "o", "p"}).crc32, 0x1234ABCDu);
  for (const char* hex : {"0x1234567", "0x", "x12345678", "0x0x123456"}) {
    EXPECT_THROW(ParseArguments({"apply", "--crc32", hex, "o", "p"}), UsageError) << hex;
  }
}

class WrongUsageTest : public ::testing::TestWithParam<Args> {};

TEST_P(WrongUsageTest, IsAUsageError) {
  std::string joined;
  for (const auto& word : GetParam()) joined += "[" + word + "]";
  EXPECT_THROW(ParseArguments(GetParam()), UsageError) << joined;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WrongUsageTest,
    ::testing::Values(Args{}, Args{"patch"}, Args{"LIST", "p"},   // no or unknown command
                      Args{"list"}, Args{"list", "a", "b", "c"},  // file count
                      Args{"apply", "o"}, Args{"recover"}, Args{"recover", "a", "b"},
                      Args{"apply", "--only", "1", "--skip", "2", "o", "p"},  // both lists
                      Args{"apply", "--only", "1", "--only", "2", "o", "p"},  // two lists
                      Args{"apply", "o", "p", "--only"},                      // no list
                      Args{"apply", "--only", "3-1", "o", "p"},               // bad list
                      Args{"apply", "--only=", "o", "p"},
                      Args{"apply", "--backups", "o", "p"},  // unknown options
                      Args{"apply", "-b", "o", "p"},
                      Args{"list", "--backup", "p"},  // options of another command
                      Args{"list", "--only", "1", "p"}, Args{"recover", "--skip", "1", "o"},
                      // several patches with a list; --backup with --output
                      Args{"apply", "--only", "1", "o", "p", "q"},
                      Args{"apply", "--backup", "--output", "n", "o", "p"},
                      Args{"apply", "--output", "n", "--output", "m", "o", "p"},
                      Args{"apply", "--output=", "o", "p"}, Args{"apply", "o", "p", "--output"},
                      // checksums of 7 or 9 digits, not hexadecimal, twice
                      Args{"apply", "--crc32", "1234567", "o", "p"},
                      Args{"apply", "--crc32", "123456789", "o", "p"},
                      Args{"apply", "--crc32", "1234567g", "o", "p"},
                      Args{"apply", "--crc32", "12345678", "--crc32=12345678", "o", "p"},
                      // file counts and options of the new commands
                      Args{"status", "o"}, Args{"status", "o", "p", "q"}, Args{"export", "p"},
                      Args{"export", "p", "o", "n", "x"}, Args{"apply", "--bps", "o", "p"},
                      Args{"create", "--truncate", "o", "m", "n"}, Args{"create", "o", "m"},
                      Args{"create", "o", "m", "n", "x"}, Args{"info"},
                      Args{"status", "--only", "1", "o", "p"}, Args{"export", "--backup", "p", "n"},
                      Args{"create", "--output", "x", "o", "m", "n"},
                      Args{"info", "--crc32", "12345678", "f"}));

}  // namespace
}  // namespace vips::cli
