// The window's command line: the words read, and the files taken as if
// chosen in the dialogs.
#include "form/command_line.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "support/delta.hpp"
#include "support/fake_view.hpp"
#include "support/ips.hpp"
#include "support/temp_dir.hpp"

namespace vips::form::testing {
namespace {

std::string Text(const std::optional<std::string>& text) {
  return text ? *text : "<none>";
}

TEST(CommandLineTest, WordsAreRead) {
  using A = CommandLine::Action;
  struct Case {
    std::vector<std::string> words;
    A action;
    std::string original;
    std::string patch;
  };
  const Case cases[] = {
      {{}, A::Run, "<none>", "<none>"},
      {{"a.bin"}, A::Run, "a.bin", "<none>"},
      {{"a.bin", "b.ips"}, A::Run, "a.bin", "b.ips"},
      {{"--", "-a", "--help"}, A::Run, "-a", "--help"},
      {{"a", "b", "c", "--help"}, A::Help, "<none>", "<none>"},
      {{"--version"}, A::Version, "<none>", "<none>"},
      {{"a", "b", "c"}, A::Usage, "<none>", "<none>"},
      {{"-x", "a"}, A::Usage, "<none>", "<none>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.words));
    const CommandLine line = ParseCommandLine(c.words);
    EXPECT_EQ(line.action, c.action);
    EXPECT_EQ(Text(line.original), c.original);
    EXPECT_EQ(Text(line.patch), c.patch);
    EXPECT_EQ(line.problem.empty(), c.action != A::Usage);
  }
}

// The current folder, set for one test and put back after it.
class InFolder {
 public:
  explicit InFolder(const std::string& folder) : before_(std::filesystem::current_path()) {
    std::filesystem::current_path(vips::testing::PathOf(folder));
  }
  ~InFolder() { std::filesystem::current_path(before_); }

 private:
  std::filesystem::path before_;
};

TEST(CommandLineTest, FilesTakeTheDialogsPath) {
  struct Case {
    std::string patch;  // "" none, else the name to give
    int rows;
    std::string status;
    std::vector<std::string> errors;
  };
  const Case cases[] = {
      {"", 12, "status: file selected!", {}},
      {"change.ips", 3, "status: ips file selected!", {}},
      {"missing.ips", 1, "status: file selected!", {"File not found."}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.patch);
    vips::testing::TempDir dir;
    FakeWindow w;
    dir.Write("image.bin", "0123");
    dir.Write("change.ips", PatchOfOneByteRecords(3));
    CommandLine line;
    line.original = "image.bin";
    if (!c.patch.empty()) line.patch = c.patch;
    {
      // Relative names are taken from the current folder, as full paths.
      const InFolder here(dir.Path());
      OpenCommandLineFiles(w.form, line);
    }
    // The full path in the system's own spelling (backslashes on Windows).
    EXPECT_EQ(vips::testing::PathOf(w.form.SelectedOriginalPath),
              vips::testing::PathOf(dir.File("image.bin")));
    EXPECT_EQ(w.Shown(ControlId::OriginalField), "image.bin");
    EXPECT_EQ(w.Shown(ControlId::PatchField), c.patch.empty() ? "IPS file" : c.patch);
    EXPECT_EQ(w.form.Table().RowCount(), c.rows);
    EXPECT_EQ(w.Shown(ControlId::Status), c.status);
    EXPECT_EQ(w.services.errors, c.errors);
    // Like a confirmed patch dialog, a patch on the command line fixes the language.
    EXPECT_EQ(w.form.LanguageLocked(), !c.patch.empty());
  }
}

TEST(CommandLineTest, APatchGivenAloneAsksForTheOriginalFirst) {
  const std::string dialog = "open:  Please, open source file... | Any file (*.*)|*.*";
  struct Case {
    std::string given;              // the one file on the command line
    bool chosen;                    // the original file is chosen in the dialog
    std::vector<std::string> seen;  // dialogs and messages, in order
    std::string edit1;
    std::string edit2;
    int rows;
  };
  const Case cases[] = {
      {"change.ips", true, {dialog}, "image.bin", "change.ips", 3},
      // BPS and UPS patches are told by their first bytes too, whatever their names.
      {"hack.bin", true, {dialog}, "image.bin", "hack.bin", 2},
      {"hack.ups", true, {dialog}, "image.bin", "hack.ups", 1},
      {"change.ips",
       false,
       {dialog, "message: Select Original file!"},
       "Original file",
       "IPS file",
       12},
      // Only the header tells a patch: any other file is the original.
      {"almost.ips", true, {}, "almost.ips", "IPS file", 12},
      {"missing.ips", true, {}, "missing.ips", "IPS file", 12},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.given + (c.chosen ? " chosen" : " cancelled"));
    vips::testing::TempDir dir;
    FakeWindow w;
    const std::string original = dir.Write("image.bin", "0123");
    dir.Write("change.ips", PatchOfOneByteRecords(3));
    dir.Write("almost.ips", "PATC");
    dir.Write("hack.bin", LinearBps("0123", "x12y"));
    dir.Write("hack.ups", Ups("0123", "0123!"));
    w.services.QueueFileChoice(c.chosen ? std::optional<std::string>(original) : std::nullopt);
    CommandLine line;
    line.original = dir.File(c.given);
    OpenCommandLineFiles(w.form, line);

    std::vector<std::string> shown;
    for (const std::string& event : w.services.events) {
      if (event.starts_with("open: ") || event.starts_with("message: ")) shown.push_back(event);
    }
    EXPECT_EQ(shown, c.seen);
    EXPECT_EQ(w.Shown(ControlId::OriginalField), c.edit1);
    EXPECT_EQ(w.Shown(ControlId::PatchField), c.edit2);
    EXPECT_EQ(w.form.Table().RowCount(), c.rows);
    EXPECT_TRUE(w.services.errors.empty());
  }
}

}  // namespace
}  // namespace vips::form::testing
