// BPS and UPS patches in the window: listed by the stretches they change,
// chosen and applied as IPS records are, refused with nothing written.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/files/digests.hpp"
#include "support/delta.hpp"
#include "support/session.hpp"

namespace vips::form::testing {
namespace {

using Texts = std::vector<std::string>;

enum class Format { Bps, Ups };

std::string MakePatch(Format format, const std::string& original, const std::string& modified) {
  return format == Format::Bps ? LinearBps(original, modified) : Ups(original, modified);
}

// Every row as the table shows it: number, first address, final address, marker.
std::vector<Texts> Rows(const Session& s) {
  std::vector<Texts> rows;
  for (int row = 0; row < s.form.Table().RowCount(); ++row) {
    Texts cells;
    for (int column = 0; column < PatchTable::kColumns; ++column) {
      cells.push_back(s.form.Table().Cell(column, row));
    }
    rows.push_back(cells);
  }
  return rows;
}

// The original chosen, then the patch in its dialog.
void Open(Session& s, const std::string& original, const std::string& patch) {
  s.original = s.dir.Write("image.bin", original);
  s.patch = s.dir.Write("hack.bps", patch);
  s.ChooseOriginal(s.original);
  s.ChoosePatch(s.patch);
}

const std::string kOriginal = "0123456789";

TEST(DeltaPatchTest, EachStretchIsListedAsARecord) {
  struct Case {
    int locale;
    Format format;
    std::string modified;
    std::vector<Texts> rows;
    std::string status;
  };
  const Case cases[] = {
      {kEnglishLocale,
       Format::Bps,
       "0AB3456x89",
       {{"1", "1", "2", "Execute"}, {"2", "7", "7", "Execute"}},
       "status: bps file selected!"},
      {kRussianLocale,
       Format::Ups,
       "0AB3456x89",
       {{"1", "1", "2", "Выполнить"}, {"2", "7", "7", "Выполнить"}},
       "статус: файл ups выбран!"},
      // The bytes past the original's end are one more row.
      {kEnglishLocale,
       Format::Ups,
       "X123456789YZ",
       {{"1", "0", "0", "Execute"}, {"2", "A", "B", "Execute"}},
       "status: ups file selected!"},
      // A shorter result is said in the status line.
      {kEnglishLocale,
       Format::Bps,
       "01x3",
       {{"1", "2", "2", "Execute"}},
       "status: all rows shorten the file!"},
      {kRussianLocale, Format::Ups, "012345", {}, "статус: все записи укоротят файл!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.modified);
    Session s(c.locale);
    Open(s, kOriginal, MakePatch(c.format, kOriginal, c.modified));
    EXPECT_EQ(Rows(s), c.rows);
    EXPECT_EQ(s.Status(), c.status);
    EXPECT_TRUE(s.services.errors.empty());
    EXPECT_EQ(s.Bytes(s.original), kOriginal);
    EXPECT_TRUE(s.form.LanguageLocked());
  }
}

TEST(DeltaPatchTest, GoWritesTheChosenStretchesAndRecoverTakesThemBack) {
  struct Case {
    Format format;
    std::string modified;
    int cancelFrom;  // the rows cancelled by "Canceal from...to"; 0: none
    int cancelTo;
    std::string written;
  };
  const Case cases[] = {
      // Every row: the file becomes the patched file, its length included.
      {Format::Bps, "0AB3456x89", 0, 0, "0AB3456x89"},
      {Format::Ups, "0AB3456x89YZ", 0, 0, "0AB3456x89YZ"},
      {Format::Bps, "0A23", 0, 0, "0A23"},
      {Format::Ups, "", 0, 0, ""},
      // Some rows: only their bytes change, and the file keeps its length.
      {Format::Ups, "0AB3456x89", 1, 1, "0123456x89"},
      {Format::Bps, "0AB3456x89YZ", 3, 3, "0AB3456x89"},
      {Format::Bps, "0A23x", 2, 2, "0A23456789"},
      {Format::Ups, "0A23x", 1, 2, kOriginal},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.modified + " " + std::to_string(c.cancelFrom));
    Session s;
    Open(s, kOriginal, MakePatch(c.format, kOriginal, c.modified));
    if (c.cancelFrom != 0) {
      s.Edit(ControlId::CancelFrom, std::to_string(c.cancelFrom));
      s.Edit(ControlId::CancelTo, std::to_string(c.cancelTo));
      s.form.CancelRange();
    }
    s.SetChecked(ControlId::MessagesCheck, false);
    const std::vector<Texts> listed = Rows(s);

    s.form.Go();
    EXPECT_TRUE(s.services.errors.empty());
    EXPECT_EQ(s.Bytes(s.original), c.written);
    EXPECT_EQ(s.Bytes(s.Backup()), kOriginal);
    EXPECT_EQ(s.Status(), "status: operation successful!");
    EXPECT_EQ(Rows(s), listed);
    EXPECT_TRUE(s.view.enabled[IndexOf(ControlId::Recover)]);

    // Recover puts the file back whole, a shortened one included.
    s.form.Recover();
    EXPECT_EQ(s.Bytes(s.original), kOriginal);
  }
}

TEST(DeltaPatchTest, ARefusalIsShownAndWritesNothing) {
  const std::string modified = "0AB3456x89";
  const std::string forOther = LinearBps("abcdefghij", modified);
  std::string damaged = LinearBps(kOriginal, modified);
  damaged[damaged.size() / 2] ^= 0x20;
  const std::string wrongOriginal =
      "CRC-32 of image.bin is " + Crc32Text(vips::testing::TestCrc32(AsBytes(kOriginal))) +
      ", the patch is for " + Crc32Text(vips::testing::TestCrc32(AsBytes("abcdefghij"))) + ".";
  struct Case {
    std::string patch;
    bool atGo;  // listed for the original, then the original changes before Go
    std::string error;
  };
  const Case cases[] = {
      {forOther, false, wrongOriginal},
      {Ups("abcdefghij", modified), false, wrongOriginal},
      {damaged, false, "The patch is damaged"},
      {LinearBps("abcdefghij", modified), true, wrongOriginal},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    Session s;
    if (c.atGo) {
      Open(s, "abcdefghij", c.patch);
      s.dir.Write("image.bin", kOriginal);
    } else {
      Open(s, kOriginal, c.patch);
    }
    const std::vector<Texts> listed = Rows(s);
    s.SetChecked(ControlId::BackupCheck, false);
    s.form.Go();

    ASSERT_FALSE(s.services.errors.empty());
    EXPECT_TRUE(s.services.errors.front().starts_with(c.error)) << s.services.errors.front();
    EXPECT_EQ(s.Bytes(s.original), kOriginal);
    EXPECT_FALSE(s.view.enabled[IndexOf(ControlId::Recover)]);
    if (c.atGo) {
      // Go's refusal leaves the rows as they were listed.
      EXPECT_EQ(Rows(s), listed);
      EXPECT_EQ(s.services.errors.size(), 1u);
    } else {
      // A refused listing leaves one row, as an invalid patch does.
      EXPECT_EQ(s.form.Table().RowCount(), 1);
      EXPECT_EQ(s.services.errors.size(), 2u);
    }
  }
}

TEST(DeltaPatchTest, AUpsPatchGoesOnlyTheWayItWasListed) {
  const std::string modified = "0AB3456x89YZ";
  // Listed for the file it makes, a UPS patch takes it back to its original.
  for (const bool backwards : {false, true}) {
    SCOPED_TRACE(backwards);
    Session s;
    const std::string& given = backwards ? modified : kOriginal;
    const std::string& made = backwards ? kOriginal : modified;
    Open(s, given, Ups(kOriginal, modified));
    s.SetChecked(ControlId::BackupCheck, false);
    s.form.Go();
    EXPECT_EQ(s.Bytes(s.original), made);

    // A second Go would take the file back the other way: nothing is written.
    s.Forget();
    s.form.Go();
    EXPECT_EQ(s.services.events,
              (Texts{"busy", "beep", "message: The file already holds every row of this patch!",
                     "normal"}));
    EXPECT_EQ(s.Bytes(s.original), made);
  }
}

TEST(DeltaPatchTest, APatchDroppedBeforeTheOriginalAsksForIt) {
  Session s;
  s.form.FileDropped(ControlId::Grid, s.dir.Write("hack.bps", LinearBps(kOriginal, "x")));
  EXPECT_EQ(s.services.messages, Texts{"Select Original file!"});
  EXPECT_EQ(s.Shown(ControlId::PatchField), "IPS file");

  s.form.FileDropped(ControlId::OriginalField, s.dir.Write("image.bin", kOriginal));
  s.form.FileDropped(ControlId::PatchField, s.dir.File("hack.bps"));
  EXPECT_EQ(s.Status(), "status: all rows shorten the file!");
  EXPECT_EQ(Rows(s), (std::vector<Texts>{{"1", "0", "0", "Execute"}}));
}

}  // namespace
}  // namespace vips::form::testing
