// Choosing and loading the files, Go with its backup step, and Recover, over
// real files: what is written, what is shown, in which order.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/ips.hpp"
#include "support/session.hpp"

namespace vips::form::testing {
namespace {

using Events = std::vector<std::string>;

const std::string kOriginal = "0123456789";
// Record 1 writes "AB" at 0, record 2 a run of x over 2..9.
const std::string kPatch = Ips({DataRecord(0, "AB"), RunRecord(2, 8, 'x')});

// The patch dialog: IPS patches first, then BPS/UPS patches, then any file.
const std::string kPatchDialogEnglish =
    "open:  Please, open IPS file... | IPS file (*.ips)|*.ips|"
    "BPS/UPS patch (*.bps;*.ups)|*.bps;*.ups|All files (*.*)|*.*";
const std::string kPatchDialogRussian =
    "open:  Пожалуйста, выберите IPS патч... | IPS патч (*.ips)|*.ips|"
    "BPS/UPS патч (*.bps;*.ups)|*.bps;*.ups|Все файлы (*.*)|*.*";

// What the user sees and hears after the patch dialog, in order. Asking for
// the busy cursor while it shows changes nothing the user sees.
Events SeenAfterPatchDialog(const Session& s) {
  Events seen;
  for (const std::string& event : s.services.events) {
    if (event.starts_with("open: ")) {
      seen.clear();
    } else if (seen.empty() || seen.back() != event) {
      seen.push_back(event);
    }
  }
  return seen;
}

TEST(FilesTest, DialogsUseTheLanguageAndMayBeCancelled) {
  struct Case {
    int locale;
    std::string originalDialog;
    std::string patchDialog;
    std::string fileSelected;
  };
  const Case cases[] = {
      {kEnglishLocale, "open:  Please, open source file... | Any file (*.*)|*.*",
       kPatchDialogEnglish, "status: file selected!"},
      {kRussianLocale,
       "open:  Пожалуйста, откройте файл, который вы хотите пропатчить... | Все файлы (*.*)|*.*",
       kPatchDialogRussian, "статус: файл выбран!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.locale);
    Session s(c.locale);
    const std::string placeholder = s.Shown(ControlId::OriginalField);

    s.ChooseOriginal(std::nullopt);
    EXPECT_EQ(s.services.events, (Events{c.originalDialog, "normal"}));
    EXPECT_EQ(s.Shown(ControlId::OriginalField), placeholder);
    EXPECT_EQ(s.Status(), c.fileSelected);

    const std::string original = s.dir.Write("rom.bin", "0123");
    s.Forget();
    s.ChooseOriginal(original);
    EXPECT_EQ(s.services.events, (Events{c.originalDialog, "busy", "normal"}));
    EXPECT_EQ(s.Shown(ControlId::OriginalField), "rom.bin");
    EXPECT_EQ(s.form.SelectedOriginalPath, original);

    // Cancelled while no patch was chosen before: nothing happens, no lock.
    s.Forget();
    s.ChoosePatch(std::nullopt);
    EXPECT_EQ(s.services.events, (Events{c.patchDialog, "normal"}));
    EXPECT_EQ(s.form.Table().RowCount(), 12);
    EXPECT_NE(s.view.enabled[IndexOf(ControlId::EnglishButton)],
              s.view.enabled[IndexOf(ControlId::RussianButton)]);
  }
}

TEST(FilesTest, PlaceholderNamesCountAsNoFile) {
  struct Case {
    std::string originalName;
    std::string patchName;
    std::string message;
  };
  const Case cases[] = {
      {"Original file", "p.ips", "Select Original file!"},
      {"Оригинальный файл", "p.ips", "Select Original file!"},
      {"rom.bin", "IPS file", ""},
      {"rom.bin", "IPS патч", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.originalName + " " + c.patchName);
    Session s;
    s.ChooseOriginal(s.dir.Write(c.originalName, "0123"));
    s.Forget();
    s.ChoosePatch(s.dir.Write(c.patchName, Ips({DataRecord(0, "a")})));

    if (c.message.empty()) {
      // The dialog was confirmed (so the language is locked), then nothing is loaded.
      EXPECT_EQ(SeenAfterPatchDialog(s), (Events{"busy", "normal"}));
      EXPECT_FALSE(s.view.enabled[IndexOf(ControlId::RussianButton)]);
    } else {
      EXPECT_EQ(s.services.events, (Events{"beep", "message: " + c.message}));
      EXPECT_TRUE(s.view.enabled[IndexOf(ControlId::RussianButton)]);
    }
    EXPECT_EQ(s.form.Table().RowCount(), 12);
    EXPECT_EQ(s.Marker(0), "");
  }
}

TEST(FilesTest, CancelledOriginalDialogKeepsTheBackupFlag) {
  Session s;
  s.Prepare("0123", Ips({DataRecord(0, "a")}));
  s.form.BackupTaken = 1;
  s.ChooseOriginal(std::nullopt);
  EXPECT_EQ(s.form.BackupTaken, 1);
  EXPECT_EQ(s.form.SelectedOriginalPath, s.original);
  EXPECT_EQ(s.Status(), "status: file selected!");
  EXPECT_EQ(s.form.Table().RowCount(), 1);

  // The same file confirmed again is a new choice: a backup is due again.
  s.ChooseOriginal(s.original);
  EXPECT_EQ(s.form.BackupTaken, 0);
  EXPECT_EQ(s.Marker(0), "Execute");
}

TEST(FilesTest, AReadOnlyPatchIsLoadedAndApplied) {
  Session s;
  s.original = s.dir.Write("image.bin", "0123");
  s.patch = s.dir.Write("change.ips", PatchOfOneByteRecords(2));
  std::filesystem::permissions(vips::testing::PathOf(s.patch),
                               std::filesystem::perms::owner_read |
                                   std::filesystem::perms::group_read |
                                   std::filesystem::perms::others_read);
  s.ChooseOriginal(s.original);
  s.ChoosePatch(s.patch);
  EXPECT_EQ(s.form.Table().RowCount(), 2);
  EXPECT_EQ(s.Status(), "status: ips file selected!");
  s.SetChecked(ControlId::MessagesCheck, false);
  s.form.Go();
  EXPECT_EQ(s.Status(), "status: operation successful!");
  EXPECT_EQ(s.Bytes(s.original), "ab23");
  EXPECT_TRUE(s.services.errors.empty());
  std::filesystem::permissions(vips::testing::PathOf(s.patch), std::filesystem::perms::owner_all);
}

TEST(FilesTest, PatchDialogNeedsTheOriginalFirst) {
  Session s;
  s.ChoosePatch(s.dir.Write("change.ips", kPatch));
  EXPECT_EQ(s.services.events, (Events{"beep", "message: Select Original file!"}));
  EXPECT_EQ(s.Shown(ControlId::PatchField), "IPS file");
  EXPECT_FALSE(s.form.LanguageLocked());
}

TEST(FilesTest, PatchIsListedInTheLanguageAndLocksIt) {
  for (const int locale : {kEnglishLocale, kRussianLocale}) {
    Session s(locale);
    s.original = s.dir.Write("image.bin", kOriginal);
    s.ChooseOriginal(s.original);
    s.Forget();
    s.ChoosePatch(s.dir.Write("change.ips", kPatch));
    const bool russian = locale == kRussianLocale;
    EXPECT_EQ(s.services.events, (Events{russian ? kPatchDialogRussian : kPatchDialogEnglish,
                                         // Once for the choice, once for the reading.
                                         "busy", "busy", "beep", "normal"}));
    EXPECT_EQ(s.form.Table().RowCount(), 2);
    EXPECT_EQ(s.form.Table().Cell(1, 1), "2");
    EXPECT_EQ(s.form.Table().Cell(2, 1), "9");
    EXPECT_EQ(s.Marker(0), russian ? "Выполнить" : "Execute");
    EXPECT_EQ(s.Status(), russian ? "статус: файл ips выбран!" : "status: ips file selected!");
    EXPECT_TRUE(s.form.LanguageLocked());
    EXPECT_FALSE(s.view.enabled[IndexOf(ControlId::EnglishButton)]);
    EXPECT_FALSE(s.view.enabled[IndexOf(ControlId::RussianButton)]);
    // The view was rebuilt once, from the top.
    EXPECT_EQ(s.view.openBrackets, 0);
    EXPECT_EQ(s.view.TopRow(), 0);
    EXPECT_EQ(s.view.Row(), 0);
  }
}

TEST(FilesTest, LoadingEndsEachWayWithTheNormalCursor) {
  struct Case {
    std::string patch;  // bytes; "<missing>" for no file
    Events events;      // after the dialog
    std::string status;
  };
  const Case cases[] = {
      {"PATCX" + DataRecord(0, "A") + "EOF",
       {"busy", "busy", "beep", "message: Invalid IPS file!", "normal"},
       "status: file selected!"},
      {"<missing>", {"busy", "busy", "normal", "error: File not found."}, "status: file selected!"},
      {"PATCH" + DataRecord(0, "AB") + "\x00",
       {"busy", "busy", "normal", "error: Read beyond end of file."},
       "status: file selected!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.events.back());
    Session s;
    s.ChooseOriginal(s.dir.Write("image.bin", kOriginal));
    const std::string patch =
        c.patch == "<missing>" ? s.dir.File("change.ips") : s.dir.Write("change.ips", c.patch);
    s.Forget();
    s.ChoosePatch(patch);
    Events events(s.services.events.begin() + 1, s.services.events.end());
    EXPECT_EQ(events, c.events);
    EXPECT_EQ(s.Status(), c.status);
    EXPECT_FALSE(s.services.busy);
    EXPECT_EQ(s.view.openBrackets, 0);
  }
}

TEST(FilesTest, DropsGoToTheFileOfTheirGroup) {
  struct Case {
    ControlId target;
    std::optional<FileKind> kind;
  };
  const Case cases[] = {{ControlId::OriginalGroup, FileKind::Original},
                        {ControlId::OriginalField, FileKind::Original},
                        {ControlId::ChooseOriginal, FileKind::Original},
                        {ControlId::PatchGroup, FileKind::Patch},
                        {ControlId::PatchField, FileKind::Patch},
                        {ControlId::Grid, FileKind::Patch},
                        {ControlId::ExecuteFrom, std::nullopt},
                        {ControlId::Go, std::nullopt}};
  for (const Case& c : cases) {
    SCOPED_TRACE(IndexOf(c.target));
    EXPECT_EQ(WindowLogic::FileDropTarget(c.target), c.kind);
  }
  Session s;
  const std::string original = s.dir.Write("image.bin", kOriginal);
  // A patch dropped first still needs the original file.
  s.form.FileDropped(ControlId::Grid, s.dir.Write("change.ips", kPatch));
  EXPECT_EQ(s.services.messages, Events{"Select Original file!"});
  s.form.FileDropped(ControlId::OriginalField, original);
  s.form.FileDropped(ControlId::PatchGroup, s.dir.File("change.ips"));
  EXPECT_EQ(s.Shown(ControlId::OriginalField), "image.bin");
  EXPECT_EQ(s.Shown(ControlId::PatchField), "change.ips");
  EXPECT_EQ(s.form.Table().RowCount(), 2);
  // A drop on anything else is no choice.
  s.form.FileDropped(ControlId::ExecuteFrom, original);
  EXPECT_EQ(s.Shown(ControlId::ExecuteFrom), "1");
}

TEST(GoTest, WholeRoadWithBackupAndRecover) {
  Session s;
  s.Prepare(kOriginal, kPatch);
  // Only record 2 is applied.
  s.form.ToggleMarkerOfCurrentRow();
  EXPECT_EQ(s.Marker(0), "No                   *");
  s.Forget();
  s.form.Go();
  EXPECT_EQ(s.Bytes(s.Backup()), kOriginal);
  EXPECT_EQ(s.Bytes(s.original), "01xxxxxxxx");
  EXPECT_EQ(s.services.events,
            (Events{"message: Create reserve copy of the file: image.bin_backup", "busy", "beep",
                    "message: status: operation successful!", "normal"}));
  EXPECT_EQ(s.Status(), "status: program operation...");
  EXPECT_EQ(s.form.BackupTaken, 1);
  EXPECT_TRUE(s.view.enabled[IndexOf(ControlId::Recover)]);

  // A second Go keeps the backup of the file as it was before patching.
  s.form.ExecuteAll();
  s.form.Go();
  EXPECT_EQ(s.Bytes(s.Backup()), kOriginal);
  EXPECT_EQ(s.Bytes(s.original), "ABxxxxxxxx");

  s.Forget();
  s.form.Recover();
  EXPECT_EQ(s.Bytes(s.original), kOriginal);
  EXPECT_EQ(s.services.events, (Events{"beep", "message: Recover file: image.bin"}));
  EXPECT_EQ(s.Status(), "status: file recovery...");

  // Messages off: the results go to the status line.
  s.SetChecked(ControlId::MessagesCheck, false);
  s.Forget();
  s.form.Recover();
  EXPECT_EQ(s.services.events, Events{"beep"});
  EXPECT_EQ(s.Status(), "status: file recovered!");
}

constexpr ControlId kRangeFields[] = {ControlId::ExecuteFrom, ControlId::ExecuteTo,
                                      ControlId::CancelFrom,  ControlId::CancelTo,
                                      ControlId::InvertFrom,  ControlId::InvertTo};

// Texts put into the range fields as pasting would, unfiltered.
void SetRangeTexts(FakeWindow& w, const Events& texts) {
  for (std::size_t i = 0; i < texts.size(); ++i) w.Edit(kRangeFields[i], texts[i]);
}

Events RangeTexts(const FakeWindow& w) {
  Events texts;
  for (const ControlId field : kRangeFields) texts.push_back(w.Shown(field));
  return texts;
}

const std::string kOriginal16 = "0123456789ABCDEF";
const std::string kThreeRecords =
    Ips({DataRecord(0, "AB"), RunRecord(4, 2, '*'), DataRecord(8, "CD")});

// The same patch with its header spoilt after it was listed.
std::string WithoutHeader(std::string patch) {
  patch[4] = 'X';
  return patch;
}

TEST(GoTest, WithoutAFileChoiceGoAsksForIt) {
  struct Case {
    int locale;
    std::string originalName;  // empty: no original chosen
    std::string message;
    std::string status;
  };
  const std::string english = "status: program operation...";
  const std::string russian = "статус: работа программы...";
  const Case cases[] = {
      {kEnglishLocale, "", "Select Original file!", english},
      {kRussianLocale, "", "Выберите оригинальный файл!", russian},
      {kEnglishLocale, "image.bin", "Select IPS file!", english},
      {kRussianLocale, "image.bin", "Выберите IPS патч!", russian},
      // A file named like either placeholder counts as none.
      {kEnglishLocale, "Original file", "Select Original file!", english},
      {kEnglishLocale, "Оригинальный файл", "Select Original file!", english},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message + " " + c.originalName);
    Session s(c.locale);
    if (!c.originalName.empty()) {
      s.original = s.dir.Write(c.originalName, kOriginal);
      s.ChooseOriginal(s.original);
    }
    SetRangeTexts(s, {"", "0", "00", "007", "", "5"});

    s.Forget();
    s.form.Go();
    EXPECT_EQ(s.services.events, (Events{"beep", "message: " + c.message}));
    EXPECT_EQ(s.Status(), c.status);
    EXPECT_EQ(RangeTexts(s), (Events{"1", "1", "1", "007", "1", "5"}));
    EXPECT_FALSE(s.view.enabled[IndexOf(ControlId::Recover)]);
    EXPECT_EQ(s.form.BackupTaken, 0);
    if (!c.originalName.empty()) {
      EXPECT_FALSE(std::filesystem::exists(vips::testing::PathOf(s.Backup())));
    }
  }
}

TEST(GoTest, ANonNumberInARangeFieldEndsGoBeforeAnything) {
  Session s;
  s.Prepare(kOriginal, kThreeRecords);
  SetRangeTexts(s, {"", "0", "12x", "0", "", "1"});

  s.Forget();
  s.form.Go();
  EXPECT_EQ(s.services.errors, Events{"'12x' is not a valid integer value."});
  EXPECT_EQ(s.services.beeps, 0);
  // Empty fields all got "1"; zeros only before the failing field.
  EXPECT_EQ(RangeTexts(s), (Events{"1", "1", "12x", "0", "1", "1"}));
  EXPECT_EQ(s.Bytes(s.original), kOriginal);
  EXPECT_FALSE(std::filesystem::exists(vips::testing::PathOf(s.Backup())));
  EXPECT_EQ(s.form.BackupTaken, 0);
  EXPECT_FALSE(s.view.enabled[IndexOf(ControlId::Recover)]);
}

TEST(GoTest, StatusLineAndEventsAfterEachEnding) {
  struct Case {
    int locale;
    bool messages;
    bool backup;
    bool badHeader;
    std::string status;
    // Everything the user sees and hears, in order: the beep always comes
    // before its box, and the hour-glass spans the walk and its report.
    Events events;
  };
  const Case cases[] = {
      {kEnglishLocale,
       true,
       true,
       false,
       "status: program operation...",
       {"message: Create reserve copy of the file: image.bin_backup", "busy", "beep",
        "message: status: operation successful!", "normal"}},
      // The status line replaces the backup's status.
      {kEnglishLocale,
       false,
       true,
       false,
       "status: operation successful!",
       {"busy", "beep", "normal"}},
      {kEnglishLocale,
       false,
       true,
       true,
       "status: file backuped!",
       {"busy", "beep", "message: Invalid IPS file!", "normal"}},
      {kEnglishLocale,
       false,
       false,
       true,
       "status: program operation...",
       {"busy", "beep", "message: Invalid IPS file!", "normal"}},
      {kRussianLocale,
       true,
       false,
       false,
       "статус: работа программы...",
       {"busy", "beep", "message: статус: файл пропатчен!", "normal"}},
      {kRussianLocale, false, true, false, "статус: файл пропатчен!", {"busy", "beep", "normal"}},
      {kRussianLocale,
       false,
       true,
       true,
       "статус: бекап файла!",
       {"busy", "beep", "message: Неверный IPS патч!", "normal"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.status);
    Session s(c.locale);
    s.Prepare(kOriginal, kThreeRecords);
    if (c.badHeader) s.dir.Write("change.ips", WithoutHeader(kThreeRecords));
    s.SetChecked(ControlId::MessagesCheck, c.messages);
    s.SetChecked(ControlId::BackupCheck, c.backup);

    s.Forget();
    s.form.Go();
    EXPECT_EQ(s.Status(), c.status);
    EXPECT_EQ(s.services.events, c.events);
    EXPECT_EQ(s.view.enabled[IndexOf(ControlId::Recover)], !c.badHeader);
  }
}

TEST(GoTest, APatchThatLostItsHeaderKeepsRecoverAsItWas) {
  for (const bool completedGoBefore : {false, true}) {
    SCOPED_TRACE(completedGoBefore);
    Session s;
    s.Prepare(kOriginal16, kThreeRecords);
    s.SetChecked(ControlId::BackupCheck, false);
    if (completedGoBefore) {
      s.form.Go();
      s.dir.Write("image.bin", kOriginal16);
    }
    s.dir.Write("change.ips", WithoutHeader(kThreeRecords));

    s.Forget();
    s.form.Go();
    EXPECT_EQ(s.services.events, (Events{"busy", "beep", "message: Invalid IPS file!", "normal"}));
    EXPECT_EQ(s.form.Table().RowCount(), 1);
    EXPECT_EQ(s.Bytes(s.original), kOriginal16);
    EXPECT_EQ(s.view.enabled[IndexOf(ControlId::Recover)], completedGoBefore);
  }
}

TEST(GoTest, AnIoFailureRestoresTheCursorBeforeTheErrorAndWritesNothing) {
  struct Case {
    int failure;
    std::string error;
  };
  const Case cases[] = {
      {0, "File not found."},
      // Ends inside its third record: the first two must not be written either.
      {1, "Read beyond end of file."},
      {2, "File access denied."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    Session s;
    s.Prepare(kOriginal16, kThreeRecords);
    s.SetChecked(ControlId::MessagesCheck, false);
    switch (c.failure) {
      case 0:
        std::filesystem::remove(vips::testing::PathOf(s.patch));
        break;
      case 1:
        s.dir.Write("change.ips", kThreeRecords.substr(0, kThreeRecords.size() - 5));
        break;
      default:
        ASSERT_EQ(chmod(s.original.c_str(), 0444), 0);
    }

    s.Forget();
    s.form.Go();
    EXPECT_EQ(s.services.events, (Events{"busy", "normal", "error: " + c.error}));
    EXPECT_EQ(s.Bytes(s.original), kOriginal16);
    EXPECT_FALSE(s.view.enabled[IndexOf(ControlId::Recover)]);
    EXPECT_EQ(s.Status(), "status: file backuped!");
    // The view was told of the rows the walk reached, and rebuilt once.
    EXPECT_EQ(s.view.openBrackets, 0);
    std::filesystem::permissions(vips::testing::PathOf(s.original),
                                 std::filesystem::perms::owner_all);
  }
}

TEST(GoTest, ARecordAddedAfterLoadingFallsOnARowWithoutMarker) {
  Session s;
  s.Prepare(kOriginal16, Ips({DataRecord(0, "A"), DataRecord(1, "B")}));
  s.dir.Write("change.ips", Ips({DataRecord(0, "A"), DataRecord(1, "B"), DataRecord(2, "C")}));

  s.form.Go();
  EXPECT_EQ(s.Bytes(s.original), "AB23456789ABCDEF");
  EXPECT_EQ(s.form.Table().RowCount(), 3);
  EXPECT_EQ(s.form.Table().Cell(0, 2), "3");
  EXPECT_EQ(s.form.Table().Cell(1, 2), "2");
  EXPECT_EQ(s.Marker(2), "");
  EXPECT_TRUE(s.view.enabled[IndexOf(ControlId::Recover)]);
}

TEST(FilesTest, AfterEachWalkTheTableShowsFromTheTopWithRowZeroCurrentInTheSameColumn) {
  // Loading, a load cut short and a Go cut short each end the same way (a Go
  // that gets through then returns to its saved top row).
  const std::string whole = PatchOfOneByteRecords(30);
  const std::string cut = whole.substr(0, 5 + 20 * 6 + 2);
  struct Case {
    const char* walk;
    std::string patch;
    bool go;
  };
  const Case cases[] = {{"load", whole, false}, {"cut load", cut, false}, {"cut Go", cut, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.walk);
    Session s;
    s.Prepare(std::string(64, '.'), whole);
    s.SetChecked(ControlId::BackupCheck, false);
    s.view.SetCurrentCell(2, 25);
    ASSERT_GT(s.view.TopRow(), 0);
    s.dir.Write("change.ips", c.patch);
    if (c.go) {
      s.form.Go();
    } else {
      s.ChoosePatch(s.patch);
    }
    EXPECT_EQ(s.view.TopRow(), 0);
    EXPECT_EQ(s.view.Row(), 0);
    EXPECT_EQ(s.view.Col(), 2);
  }
}

TEST(GoTest, TheViewReturnsToTheSavedTopRow) {
  struct Case {
    int records;
    int top;
    int expectedTop;
  };
  // Row top + 11 made current brings the saved top row back; a table of 12
  // rows or fewer is left at the top.
  const Case cases[] = {{30, 11, 11}, {30, 18, 18}, {40, 5, 5}, {12, 0, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.top);
    Session s;
    s.Prepare(std::string(64, '.'), PatchOfOneByteRecords(c.records));
    s.SetChecked(ControlId::BackupCheck, false);
    s.view.SetCurrentCell(1, c.top);
    s.view.SetCurrentCell(1, c.top + 11);
    ASSERT_EQ(s.view.TopRow(), c.top);
    s.form.Go();
    EXPECT_EQ(s.form.SavedTopRow, c.top);
    EXPECT_EQ(s.view.TopRow(), c.expectedTop);
  }
}

}  // namespace
}  // namespace vips::form::testing
