#include "cli/commands.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "core/table/patch_loader.hpp"
#include "core/table/patch_table.hpp"
#include "ips_bytes.hpp"
#include "run_cli.hpp"
#include "support/temp_dir.hpp"

namespace vips::cli {
namespace {

using namespace std::string_literals;
using testing::IpsBytes;
using testing::IsUsageReport;
using testing::ReadAll;
using testing::TempDir;

using testing::Outcome;
using testing::RunCommand;

std::string Text(const std::vector<std::uint8_t>& bytes) {
  return {bytes.begin(), bytes.end()};
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Three records over a 16-byte original: data "AB" at 2, a run of four 'z'
// at 8, data "QRS" at 13 (its last byte lengthens the file).
const std::string kOriginal = "0123456789abcdef";
const IpsBytes kThree = IpsBytes().Data(2, "AB").Run(8, 4, 'z').Data(14, "QRS");

// The fixture writes the original and the three-record patch into a fresh
// folder for every test.
class FilesTest : public ::testing::Test {
 protected:
  FilesTest()
      : original_(dir_.Write("image.bin", kOriginal)),
        patch_(dir_.Write("fix.ips", kThree.Complete())) {}

  void ExpectOriginalUnchanged() const { EXPECT_EQ(Text(ReadAll(original_)), kOriginal); }
  [[nodiscard]] std::string OriginalNow() const { return Text(ReadAll(original_)); }

  TempDir dir_;
  std::string original_;
  std::string patch_;
};

// --- list -------------------------------------------------------------------

using ListTest = FilesTest;

TEST_F(ListTest, OneTabSeparatedLinePerRecord) {
  const Outcome o = RunCommand({"list", patch_});
  EXPECT_EQ(o.status, kExitDone);
  EXPECT_EQ(o.out,
            "1\t2\t3\tdata\t2\n"
            "2\t8\tB\trun\t4\n"
            "3\tE\t10\tdata\t3\n");
  EXPECT_EQ(o.err, "");
}

TEST_F(ListTest, AgreesWithTheTableTheWindowLoads) {
  // Edge values: an empty run at 0 (final address -1), the largest record at
  // the top of the address space, an address with leading zero digits.
  const std::string patch = dir_.Write("edge.ips", IpsBytes()
                                                       .Run(0, 0, 'x')
                                                       .Data(0xFFFFFF, std::string(65535, 'd'))
                                                       .Run(0x10, 16, '\0')
                                                       .Data(0x1FF, "12")
                                                       .Run(0x454F45, 65535, '!')
                                                       .Complete());
  PatchTable table;
  ASSERT_EQ(LoadPatchIntoTable(patch, original_, table, Language::English), LoadResult::Loaded);
  ASSERT_EQ(table.RowCount(), 5);

  const Outcome o = RunCommand({"list", patch});
  ASSERT_EQ(o.status, kExitDone) << o.err;
  std::istringstream lines(o.out);
  std::string line;
  int row = 0;
  while (std::getline(lines, line)) {
    ASSERT_LT(row, table.RowCount());
    std::istringstream fields(line);
    std::string number, first, final, kind, count;
    std::getline(fields, number, '\t');
    std::getline(fields, first, '\t');
    std::getline(fields, final, '\t');
    EXPECT_EQ(number, table.Cell(PatchTable::kNumberColumn, row));
    EXPECT_EQ(first, table.Cell(PatchTable::kFirstAddressColumn, row));
    EXPECT_EQ(final, table.Cell(PatchTable::kFinalAddressColumn, row));
    ++row;
  }
  EXPECT_EQ(row, table.RowCount());
  EXPECT_TRUE(Contains(o.out, "1\t0\t-1\trun\t0\n")) << o.out;
  EXPECT_TRUE(Contains(o.out, "2\tFFFFFF\t100FFFD\tdata\t65535\n")) << o.out;
  EXPECT_TRUE(Contains(o.out, "5\t454F45\t464F43\trun\t65535\n")) << o.out;
}

TEST_F(ListTest, EmptyPatchListsNothing) {
  const Outcome o = RunCommand({"list", dir_.Write("empty.ips", "PATCHEOF")});
  EXPECT_EQ(o.status, kExitDone);
  EXPECT_EQ(o.out, "");
}

TEST_F(ListTest, CutPatchListsTheCompleteRecordsThenFails) {
  // Cut inside the third record's data, inside the second's run body, and
  // where an offset is expected.
  struct Cut {
    std::string bytes;
    std::string listed;
  };
  for (const Cut& cut :
       {Cut{kThree.CutBy(1), "1\t2\t3\tdata\t2\n2\t8\tB\trun\t4\n"},
        Cut{IpsBytes().Data(2, "AB").Run(8, 4, 'z').CutBy(1), "1\t2\t3\tdata\t2\n"},
        Cut{"PATCH", ""}, Cut{"PATCH\x01", ""}}) {
    const Outcome o = RunCommand({"list", dir_.Write("cut.ips", cut.bytes)});
    EXPECT_EQ(o.status, kExitIoError);
    EXPECT_EQ(o.out, cut.listed);
    EXPECT_EQ(o.err, dir_.File("cut.ips") + ": Read beyond end of file\n");
  }
}

TEST_F(ListTest, NotAPatch) {
  for (const std::string& bytes : {""s, "PATC"s, "patchEOF"s, "PATCXEOF"s, "PAT\0CHEOF"s}) {
    const Outcome o = RunCommand({"list", dir_.Write("bad.ips", bytes)});
    EXPECT_EQ(o.status, kExitNotAPatch) << bytes;
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, dir_.File("bad.ips") + ": Invalid IPS file!\n");
  }
}

TEST_F(ListTest, MissingPatchIsAnIoErrorAndReadOnlyIsFine) {
  Outcome o = RunCommand({"list", dir_.File("missing.ips")});
  EXPECT_EQ(o.status, kExitIoError);
  EXPECT_EQ(o.err, dir_.File("missing.ips") + ": File not found\n");

  ASSERT_EQ(chmod(patch_.c_str(), 0444), 0);
  o = RunCommand({"list", patch_});
  EXPECT_EQ(o.status, kExitDone) << o.err;
  EXPECT_EQ(o.out.substr(0, 10), "1\t2\t3\tdata");
}

// --- apply ------------------------------------------------------------------

using ApplyTest = FilesTest;

struct SelectionCase {
  std::vector<std::string> options;
  std::string expected;

  friend void PrintTo(const SelectionCase& c, std::ostream* os) {
    for (const auto& option : c.options) *os << option << ' ';
    *os << "-> " << c.expected;
  }
};

class ApplySelectionTest : public FilesTest, public ::testing::WithParamInterface<SelectionCase> {};

TEST_P(ApplySelectionTest, WritesExactlyTheChosenRecords) {
  std::vector<std::string> args{"apply"};
  args.insert(args.end(), GetParam().options.begin(), GetParam().options.end());
  args.push_back(original_);
  args.push_back(patch_);
  const Outcome o = RunCommand(args);
  EXPECT_EQ(o.status, kExitDone) << o.err;
  EXPECT_EQ(o.out, "");
  // Skipping every record changes nothing, and says so.
  EXPECT_EQ(o.err, GetParam().expected == kOriginal
                       ? "Nothing changed: the file already holds these records.\n"
                       : "");
  EXPECT_EQ(OriginalNow(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Selections, ApplySelectionTest,
                         ::testing::Values(SelectionCase{{}, "01AB4567zzzzcdQRS"},
                                           SelectionCase{{"--only", "1"}, "01AB456789abcdef"},
                                           SelectionCase{{"--only", "2-3"}, "01234567zzzzcdQRS"},
                                           SelectionCase{{"--only", "3,1"}, "01AB456789abcdQRS"},
                                           SelectionCase{{"--only", "1-3"}, "01AB4567zzzzcdQRS"},
                                           SelectionCase{{"--skip", "2"}, "01AB456789abcdQRS"},
                                           SelectionCase{{"--skip", "1-3"}, "0123456789abcdef"},
                                           SelectionCase{{"--skip", "1,1-2"},
                                                         "0123456789abcdQRS"}));

TEST_F(ApplyTest, LaterRecordWinsWhereRecordsOverlap) {
  const std::string patch =
      dir_.Write("overlap.ips", IpsBytes().Run(0, 6, '-').Data(2, "xy").Complete());
  EXPECT_EQ(RunCommand({"apply", original_, patch}).status, kExitDone);
  EXPECT_EQ(OriginalNow(), "--xy--6789abcdef");
  // With the later one skipped, the earlier one shows through.
  dir_.Write("image.bin", kOriginal);
  EXPECT_EQ(RunCommand({"apply", "--skip", "2", original_, patch}).status, kExitDone);
  EXPECT_EQ(OriginalNow(), "------6789abcdef");
}

TEST_F(ApplyTest, ListNamingNoRecordWritesNothing) {
  for (const std::string list : {"4", "1-4", "0", "3-1", "1,,2"}) {
    const Outcome o = RunCommand({"apply", "--backup", "--only", list, original_, patch_});
    EXPECT_EQ(o.status, kExitUsage) << list;
    EXPECT_TRUE(IsUsageReport(o.err)) << o.err;
    EXPECT_EQ(o.out, "");
    ExpectOriginalUnchanged();
    EXPECT_FALSE(std::filesystem::exists(original_ + "_backup")) << list;
  }
}

TEST_F(ApplyTest, CutPatchFailsAndLeavesTheOriginalAlone) {
  const std::string cut = dir_.Write("cut.ips", kThree.CutBy(2));
  const Outcome o = RunCommand({"apply", original_, cut});
  EXPECT_EQ(o.status, kExitIoError);
  EXPECT_EQ(o.err, cut + ": Read beyond end of file\n");
  EXPECT_EQ(o.out, "");
  ExpectOriginalUnchanged();
}

TEST_F(ApplyTest, BadHeaderIsNotAPatchAndSwappedFilesAreSaidToBe) {
  const std::string bad = dir_.Write("bad.ips", "PATCh\0\0\0\0\x01xEOF"s);
  const std::string swapped =
      ": Invalid IPS file! " + patch_ + " is an IPS patch: the two may be swapped.\n";
  struct Case {
    std::vector<std::string> args;
    std::string err;
  };
  const Case cases[] = {
      {{"apply", original_, bad}, bad + ": Invalid IPS file!\n"},
      {{"apply", patch_, original_}, original_ + swapped},
      {{"apply", "--only", "1", patch_, original_}, original_ + swapped},
      {{"apply", "--output", dir_.File("new.bin"), patch_, original_}, original_ + swapped},
      {{"status", patch_, original_}, original_ + swapped},
  };
  for (const Case& c : cases) {
    const Outcome o = RunCommand(c.args);
    EXPECT_EQ(o.status, kExitNotAPatch);
    EXPECT_EQ(o.err, c.err);
    ExpectOriginalUnchanged();
  }
}

TEST_F(ApplyTest, FilesThatCannotBeOpenedAreIoErrors) {
  Outcome o = RunCommand({"apply", dir_.File("none.bin"), patch_});
  EXPECT_EQ(o.status, kExitIoError);
  EXPECT_EQ(o.err, dir_.File("none.bin") + ": File not found\n");

  // A device, and the patch given as its own original, are no files to patch.
#ifdef _WIN32
  const std::string device = "NUL";
#else
  const std::string device = "/dev/null";
#endif
  for (const std::string& original : {device, patch_}) {
    o = RunCommand({"apply", "--backup", original, patch_});
    EXPECT_EQ(o.status, kExitIoError);
    EXPECT_EQ(o.err, original + ": File access denied\n");
    EXPECT_FALSE(std::filesystem::exists(original + "_backup"));
  }
  EXPECT_EQ(Text(ReadAll(patch_)), kThree.Complete());

  ASSERT_EQ(chmod(original_.c_str(), 0444), 0);
  o = RunCommand({"apply", original_, patch_});
  EXPECT_EQ(o.status, kExitIoError);
  EXPECT_EQ(o.err, original_ + ": File access denied\n");
  ExpectOriginalUnchanged();
}

TEST_F(ApplyTest, BackupHoldsTheFileAsItWasBeforeTheRecords) {
  const std::string backup = original_ + "_backup";
  Outcome o = RunCommand({"apply", "--backup", "--only", "2", original_, patch_});
  EXPECT_EQ(o.status, kExitDone) << o.err;
  EXPECT_EQ(o.err, "");
  EXPECT_EQ(Text(ReadAll(backup)), kOriginal);
  EXPECT_EQ(OriginalNow(), "01234567zzzzcdef");
  // A second run keeps the clean backup, read-only or not.
  ASSERT_EQ(chmod(backup.c_str(), 0444), 0);
  o = RunCommand({"apply", "--backup", original_, patch_});
  EXPECT_EQ(o.status, kExitDone) << o.err;
  EXPECT_EQ(o.err, "Kept the existing backup " + backup + ".\n");
  EXPECT_EQ(Text(ReadAll(backup)), kOriginal);
  EXPECT_EQ(OriginalNow(), "01AB4567zzzzcdQRS");
}

TEST_F(ApplyTest, FailedBackupWritesNothing) {
  const std::string backup = original_ + "_backup";
  // A folder in the way.
  std::filesystem::create_directory(backup);
  Outcome o = RunCommand({"apply", "--backup", original_, patch_});
  EXPECT_EQ(o.status, kExitCopyFailed);
  EXPECT_TRUE(Contains(o.err, backup)) << o.err;
  ExpectOriginalUnchanged();
  std::filesystem::remove(backup);

  // The patch itself in the way: it would be overwritten by the backup.
  const std::string patch = dir_.Write("image.bin_backup", kThree.Complete());
  o = RunCommand({"apply", "--backup", original_, patch});
  EXPECT_EQ(o.status, kExitCopyFailed);
  EXPECT_TRUE(Contains(o.err, "It is the patch file")) << o.err;
  EXPECT_EQ(o.out, "");
  ExpectOriginalUnchanged();
  EXPECT_EQ(Text(ReadAll(patch)), kThree.Complete());
}

// --- recover ----------------------------------------------------------------

using RecoverTest = FilesTest;

TEST_F(RecoverTest, CopiesTheBackupBackAgainAndAgain) {
  ASSERT_EQ(RunCommand({"apply", "--backup", original_, patch_}).status, kExitDone);
  ASSERT_NE(OriginalNow(), kOriginal);
  for (int round = 0; round < 2; ++round) {
    const Outcome o = RunCommand({"recover", original_});
    EXPECT_EQ(o.status, kExitDone) << o.err;
    EXPECT_EQ(o.out, "");
    ExpectOriginalUnchanged();
    EXPECT_EQ(Text(ReadAll(original_ + "_backup")), kOriginal);
  }
}

TEST_F(RecoverTest, MissingBackupFailsAndLeavesTheOriginal) {
  const Outcome o = RunCommand({"recover", original_});
  EXPECT_EQ(o.status, kExitCopyFailed);
  EXPECT_TRUE(Contains(o.err, "is not recovered")) << o.err;
  ExpectOriginalUnchanged();
}

// What apply --backup would not keep as the backup is not recovered from.
TEST_F(RecoverTest, TakesOnlyAFileThatCanBeTheBackup) {
  const std::string backup = original_ + "_backup";
  struct Case {
    const char* reason;
    std::string backup;  // "-": a hard link to the original, "/": a folder
  };
  const std::vector<Case> cases = {
      {"it is empty", ""},
      {"it is the original file under a second name", "-"},
      {"it is no regular file", "/"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reason);
    std::filesystem::remove_all(backup);
    if (c.backup == "-") {
      std::filesystem::create_hard_link(original_, backup);
    } else if (c.backup == "/") {
      std::filesystem::create_directory(backup);
    } else {
      dir_.Write("image.bin_backup", c.backup);
    }
    const Outcome o = RunCommand({"recover", original_});
    EXPECT_EQ(o.status, kExitCopyFailed);
    EXPECT_EQ(o.err, "File " + original_ + " is not recovered! " + backup +
                         " cannot be a backup of it: " + c.reason + ". Nothing was written.\n");
    ExpectOriginalUnchanged();
  }
}

// --- help, version, usage ---------------------------------------------------

TEST(CliMetaTest, HelpAndVersionGoToStdout) {
  Outcome o = RunCommand({"--help"});
  EXPECT_EQ(o.status, kExitDone);
  for (const char* command : {"list", "apply", "recover", "status", "export", "create", "info"}) {
    EXPECT_TRUE(Contains(o.out, "example: velmorant-ips-cli "s + command + " ")) << command;
  }
  EXPECT_EQ(o.err, "");

  o = RunCommand({"--version"});
  EXPECT_EQ(o.status, kExitDone);
  EXPECT_EQ(o.out, "Velmorant IPS " VIPS_VERSION_TEXT "\n");
}

TEST(CliMetaTest, WrongUsageGoesToStderrOnly) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{},
                                               {"frobnicate"},
                                               {"apply", "--only", "1", "--skip", "2", "o", "p"}}) {
    const Outcome o = RunCommand(args);
    EXPECT_EQ(o.status, kExitUsage);
    EXPECT_EQ(o.out, "");
    EXPECT_TRUE(IsUsageReport(o.err)) << o.err;
  }
}

}  // namespace
}  // namespace vips::cli
