// The backup copy taken by Go, and Recover.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/files/file_access.hpp"
#include "core/files/rollback_journal.hpp"
#include "support/interrupted_run.hpp"
#include "support/ips.hpp"
#include "support/session.hpp"

namespace vips::form::testing {
namespace {

namespace fs = std::filesystem;
using vips::testing::PathOf;
using Events = std::vector<std::string>;

const std::string kOriginal = "0123456789";
const std::string kPatch = Ips({DataRecord(0, "AB")});
const std::string kPatched = "AB23456789";

bool Exists(const std::string& path) {
  return fs::exists(PathOf(path));
}

const char* const kTakenBackEnglish =
    "An earlier run was stopped while it wrote this file; what it wrote was taken back first.";
const char* const kTakenBackRussian =
    "Прошлый запуск был прерван во время записи файла; записанное им сначала отменено.";

TEST(BackupRecoverTest, BackupIsTakenBeforeWritingAndRecoverPutsItBack) {
  Session s;
  // An empty file cannot be the backup of this one: it is replaced. (One
  // that can be, an earlier run's, is kept: see AnEarlierCleanBackupIsKeptAndTold.)
  s.dir.Write("image.bin_backup", "");
  s.Prepare(kOriginal, kPatch);
  EXPECT_FALSE(s.view.enabled[IndexOf(ControlId::Recover)]);  // even with a backup lying there

  s.Forget();
  // Whether another run could patch the file as each message shows: not
  // between the backup and the write, which Go does under one lock.
  std::vector<bool> othersLockedOut;
  s.services.onMessage = [&](const std::string&) {
    try {
      ExistingFile::OpenLocked(s.original).Close();
      othersLockedOut.push_back(false);
    } catch (const Error& error) {
      othersLockedOut.push_back(std::string(error.what()) == kFileBusy);
    }
  };
  s.form.Go();
  s.services.onMessage = nullptr;
  EXPECT_EQ(othersLockedOut, (std::vector<bool>{true, false}));
  EXPECT_EQ(s.Bytes(s.Backup()), kOriginal);
  EXPECT_EQ(s.Bytes(s.original), kPatched);
  EXPECT_EQ(s.services.messages, (Events{"Create reserve copy of the file: image.bin_backup",
                                         "status: operation successful!"}));
  EXPECT_EQ(s.form.BackupTaken, 1);
  EXPECT_TRUE(s.view.enabled[IndexOf(ControlId::Recover)]);

  // Twice the same result; the backup stays and nothing else moves.
  for (int press = 0; press < 2; ++press) {
    s.Forget();
    s.form.Recover();
    EXPECT_EQ(s.Bytes(s.original), kOriginal);
    EXPECT_EQ(s.Bytes(s.Backup()), kOriginal);
    EXPECT_EQ(s.services.events, (Events{"beep", "message: Recover file: image.bin"}));
    EXPECT_EQ(s.Status(), "status: file recovery...");
    EXPECT_EQ(s.form.BackupTaken, 1);
    EXPECT_TRUE(s.view.enabled[IndexOf(ControlId::Recover)]);
    EXPECT_EQ(s.form.Table().RowCount(), 1);
    EXPECT_EQ(s.Marker(0), "Execute");
  }

  s.SetChecked(ControlId::MessagesCheck, false);
  s.Forget();
  s.form.Recover();
  EXPECT_EQ(s.services.events, Events{"beep"});
  EXPECT_EQ(s.Status(), "status: file recovered!");
}

TEST(BackupRecoverTest, BackupIsTakenOncePerConfirmedChoice) {
  Session s;
  s.Prepare(kOriginal, kPatch);
  s.form.Go();
  EXPECT_EQ(s.Bytes(s.Backup()), kOriginal);

  // Later presses leave the backup alone, whatever the original now holds.
  s.dir.Write("image.bin", "xxxxxxxxxx");
  s.form.Go();
  EXPECT_EQ(s.Bytes(s.Backup()), kOriginal);
  EXPECT_EQ(s.Bytes(s.original), "ABxxxxxxxx");

  // A cancelled dialog chose nothing new, so the backup still belongs.
  s.ChooseOriginal(std::nullopt);
  EXPECT_EQ(s.form.BackupTaken, 1);
  s.form.Go();
  EXPECT_EQ(s.Bytes(s.Backup()), kOriginal);

  // The same file confirmed again keeps its clean backup, also under
  // another name for it.
  s.ChooseOriginal(s.original);
  EXPECT_EQ(s.form.BackupTaken, 1);
  s.ChooseOriginal(s.dir.Path() + "/./image.bin");
  EXPECT_EQ(s.form.BackupTaken, 1);
  s.form.Go();
  EXPECT_EQ(s.Bytes(s.Backup()), kOriginal);

  // Another file earns a backup of its own.
  const std::string other = s.dir.Write("other.bin", "0000000000");
  s.ChooseOriginal(other);
  EXPECT_EQ(s.form.BackupTaken, 0);
  s.form.Go();
  EXPECT_EQ(s.Bytes(other + "_backup"), "0000000000");
  EXPECT_EQ(s.Bytes(other), "AB00000000");
  EXPECT_EQ(s.form.BackupTaken, 1);
}

TEST(BackupRecoverTest, GoRefusesABackupOrOriginalThatIsThePatch) {
  Session s;
  s.Prepare(kOriginal, kPatch);
  // The patch itself stands under the backup's name.
  const std::string patch = s.dir.Write("image.bin_backup", kPatch);
  s.ChoosePatch(patch);
  s.Forget();
  s.form.Go();
  EXPECT_EQ(s.services.messages,
            Events{"Reserve copy of the file image.bin_backup is not created!"});
  EXPECT_EQ(s.Bytes(patch), kPatch);
  EXPECT_EQ(s.Bytes(s.original), kOriginal);

  // The patch chosen as its own original file.
  s.ChooseOriginal(patch);
  s.Forget();
  s.form.Go();
  EXPECT_EQ(s.services.errors, Events{"File access denied."});
  EXPECT_EQ(s.Bytes(patch), kPatch);
  EXPECT_FALSE(Exists(patch + "_backup"));
}

TEST(BackupRecoverTest, DevicesAreRefusedAsOriginals) {
#ifdef _WIN32
  GTEST_SKIP() << "no /dev/null on Windows";
#else
  Session s;
  s.Prepare(kOriginal, kPatch);
  s.ChooseOriginal(std::string("/dev/null"));
  s.Forget();
  s.ChoosePatch(s.patch);
  EXPECT_EQ(s.services.errors, Events{"File access denied."});
  s.SetChecked(ControlId::BackupCheck, false);
  s.Forget();
  s.form.Go();
  EXPECT_EQ(s.services.errors, Events{"File access denied."});
  EXPECT_FALSE(Exists("/dev/null_backup"));
#endif
}

TEST(BackupRecoverTest, BackupOptionOffThenOnBacksUpThePatchedFile) {
  Session s;
  s.Prepare(kOriginal, kPatch);
  s.SetChecked(ControlId::BackupCheck, false);
  s.Forget();
  s.form.Go();
  EXPECT_FALSE(Exists(s.Backup()));
  EXPECT_EQ(s.form.BackupTaken, 0);
  EXPECT_EQ(s.services.messages, Events{"status: operation successful!"});

  s.SetChecked(ControlId::BackupCheck, true);
  s.form.Go();
  EXPECT_EQ(s.Bytes(s.Backup()), kPatched);
}

TEST(BackupRecoverTest, FailedBackupWritesNothingAndTheNextGoRetries) {
  struct Case {
    bool folderInTheWay;  // else a read-only empty backup file
    bool messages;
  };
  for (const Case& c : {Case{false, true}, Case{false, false}, Case{true, true}}) {
    SCOPED_TRACE(::testing::Message() << c.folderInTheWay << c.messages);
    Session s;
    s.Prepare(kOriginal, kPatch);
    if (c.folderInTheWay) {
      fs::create_directory(PathOf(s.Backup()));
    } else {
      // Empty, so no backup of this file: it is to be replaced, and cannot be.
      s.dir.Write("image.bin_backup", "");
      ASSERT_EQ(chmod(s.Backup().c_str(), 0444), 0);
    }
    s.SetChecked(ControlId::MessagesCheck, c.messages);

    s.Forget();
    s.form.Go();
    EXPECT_EQ(s.Bytes(s.original), kOriginal);
    EXPECT_EQ(s.form.BackupTaken, 0);
    EXPECT_FALSE(s.view.enabled[IndexOf(ControlId::Recover)]);
    EXPECT_EQ(s.services.beeps, 0);
    EXPECT_FALSE(s.services.busy);
    const Events expected =
        c.messages ? Events{"Reserve copy of the file image.bin_backup is not created!"} : Events{};
    EXPECT_EQ(s.services.messages, expected);
    EXPECT_EQ(s.Status(), "status: backup error, nothing written!");

    // Once the way is clear, the next Go takes the backup and patches.
    fs::permissions(PathOf(s.Backup()), fs::perms::owner_all);
    fs::remove_all(PathOf(s.Backup()));
    s.form.Go();
    EXPECT_EQ(s.Bytes(s.Backup()), kOriginal);
    EXPECT_EQ(s.Bytes(s.original), kPatched);
    EXPECT_EQ(s.form.BackupTaken, 1);
    EXPECT_TRUE(s.view.enabled[IndexOf(ControlId::Recover)]);
  }
}

// A second run of the program on a file that the first one patched: the
// clean backup of the first run stays the way back, and the user is told.
TEST(BackupRecoverTest, AnEarlierCleanBackupIsKeptAndTold) {
  struct Case {
    int locale;
    bool messages;
    const char* told;
  };
  for (const Case& c : {
           Case{kEnglishLocale, true,
                "Kept the existing reserve copy of the file: image.bin_backup"},
           Case{kEnglishLocale, false, "status: backup kept!"},
           Case{kRussianLocale, true, "Сохранена прежняя резервная копия файла: image.bin_backup"},
           Case{kRussianLocale, false, "статус: бекап сохранён!"},
       }) {
    SCOPED_TRACE(c.told);
    Session s(c.locale);
    s.Prepare("AB23456789", Ips({DataRecord(2, "CD")}));
    s.dir.Write("image.bin_backup", kOriginal);
    s.SetChecked(ControlId::MessagesCheck, c.messages);
    // Without messages the completion text would take the status line at
    // once: a patch that lost its header stops Go right after the backup step.
    if (!c.messages) s.dir.Write("change.ips", "no patch");
    s.Forget();
    s.form.Go();
    EXPECT_EQ(s.Bytes(s.Backup()), kOriginal);
    EXPECT_EQ(s.form.BackupTaken, 1);
    if (c.messages) {
      ASSERT_FALSE(s.services.messages.empty());
      EXPECT_EQ(s.services.messages.front(), c.told);
      EXPECT_EQ(s.Bytes(s.original), "ABCD456789");
    } else {
      EXPECT_EQ(s.Status(), c.told);
    }
  }
}

// A run killed half-way through its write left the file mixed and its
// journal beside it: Go puts the file back, says so, and only then backs it
// up and patches it, so the backup holds the file as it was.
TEST(BackupRecoverTest, AnInterruptedRunIsTakenBackBeforeTheBackupAndTold) {
  for (const int locale : {kEnglishLocale, kRussianLocale}) {
    Session s(locale);
    s.Prepare(kOriginal, kPatch);
    vips::testing::LeaveInterruptedRun(s.original, 4, "###");
    s.Forget();
    s.form.Go();
    ASSERT_FALSE(s.services.messages.empty());
    EXPECT_EQ(s.services.messages.front(),
              locale == kEnglishLocale ? kTakenBackEnglish : kTakenBackRussian);
    EXPECT_EQ(s.Bytes(s.Backup()), kOriginal);
    EXPECT_EQ(s.Bytes(s.original), kPatched);
    EXPECT_FALSE(Exists(RollbackJournal::PathFor(s.original)));
  }
}

// The window takes a file (dialog, drop or command line alike) that a
// stopped run left half-written: it is put back at once and the user told,
// whatever the Messages choice. A file that no run left so is only taken, a
// read-only one included; one that cannot be put back stays chosen as it is,
// and the error box says why.
TEST(BackupRecoverTest, TakingAFileAnInterruptedRunLeftPutsItBackAtOnce) {
  struct Case {
    int locale;
    bool interrupted;
    bool readOnly;
    std::string shown;  // after the cursor comes back
    std::string bytes;  // of the file afterwards
  };
  const Case cases[] = {
      {kEnglishLocale, true, false, std::string("message: ") + kTakenBackEnglish, kOriginal},
      {kRussianLocale, true, false, std::string("message: ") + kTakenBackRussian, kOriginal},
      {kEnglishLocale, false, true, "", kOriginal},
      {kEnglishLocale, true, true, "error: File access denied.", "0123###789"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.locale) + (c.interrupted ? " journal" : "") +
                 (c.readOnly ? " read-only" : ""));
    Session s(c.locale);
    s.SetChecked(ControlId::MessagesCheck, false);
    const std::string original = s.dir.Write("image.bin", kOriginal);
    if (c.interrupted) vips::testing::LeaveInterruptedRun(original, 4, "###");
    if (c.readOnly) fs::permissions(PathOf(original), fs::perms::owner_read);
    const std::vector<std::string> names = vips::testing::NamesIn(s.dir.Path());
    s.form.OpenOriginalFile(original);

    Events expected{"busy", "normal"};
    if (!c.shown.empty()) expected.push_back(c.shown);
    EXPECT_EQ(s.services.events, expected);
    EXPECT_EQ(s.form.SelectedOriginalPath, original);
    EXPECT_EQ(s.Bytes(original), c.bytes);
    // The journal goes once played back; else nothing comes or goes.
    EXPECT_EQ(Exists(RollbackJournal::PathFor(original)), c.bytes != kOriginal);
    if (!c.interrupted) {
      EXPECT_EQ(vips::testing::NamesIn(s.dir.Path()), names);
    }
    fs::permissions(PathOf(original), fs::perms::owner_all);
  }
}

// A journal that cannot be trusted, or something else at its name, stops Go
// with the text the command line gives: no backup, nothing written, and the
// journal left for the user to decide.
TEST(BackupRecoverTest, AJournalGoCannotTrustStopsItNamingTheJournal) {
  struct Case {
    const char* what;
    void (*leave)(const std::string& original);
    const char* says;
  };
  const Case cases[] = {
      {"a stopped run's journal, the file edited since",
       [](const std::string& original) {
         vips::testing::LeaveInterruptedRun(original, 4, "###");
         std::ofstream(PathOf(original), std::ios::binary) << "0123!!!789";
       },
       "does not fit the file"},
      {"a file of another program at its name",
       [](const std::string& original) {
         std::ofstream(PathOf(RollbackJournal::PathFor(original))) << "notes\n";
       },
       "is not a journal of this program"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Session s;
    s.Prepare(kOriginal, kPatch);
    c.leave(s.original);
    const std::string before = s.Bytes(s.original);
    s.Forget();
    s.form.Go();
    ASSERT_EQ(s.services.errors.size(), 1u);
    EXPECT_EQ(
        s.services.errors[0].rfind("The journal .image.bin.vips-journal beside image.bin ", 0), 0u)
        << s.services.errors[0];
    EXPECT_NE(s.services.errors[0].find(c.says), std::string::npos) << s.services.errors[0];
    EXPECT_EQ(s.Bytes(s.original), before);
    EXPECT_FALSE(Exists(s.Backup()));
    EXPECT_TRUE(Exists(RollbackJournal::PathFor(s.original)));
  }
}

// Without a backup, or with a file there that Go would not keep as one (an
// empty file would empty the original), Recover writes nothing and says so.
TEST(BackupRecoverTest, RecoverWithoutAUsableBackupReportsFailure) {
  struct Case {
    const char* backup;  // null: none
    const char* error;
  };
  const Case cases[] = {
      {nullptr, nullptr},
      {"", "error: image.bin_backup cannot be a backup of image.bin: it is empty."},
  };
  for (const Case& c : cases) {
    for (const bool messages : {true, false}) {
      SCOPED_TRACE(std::string(c.backup == nullptr ? "none" : "empty") + (messages ? " +" : " -"));
      Session s;
      s.Prepare(kOriginal, kPatch);
      s.SetChecked(ControlId::BackupCheck, false);
      s.SetChecked(ControlId::MessagesCheck, messages);
      s.form.Go();
      if (c.backup != nullptr) s.dir.Write("image.bin_backup", c.backup);

      s.Forget();
      s.form.Recover();
      Events expected{"beep"};
      if (c.error != nullptr) expected.emplace_back(c.error);
      if (messages) expected.emplace_back("message: File image.bin is not recovered!");
      EXPECT_EQ(s.services.events, expected);
      EXPECT_EQ(s.Status(), messages ? "status: file recovery..." : "status: recovery error!");
      EXPECT_EQ(s.Bytes(s.original), kPatched);
      EXPECT_EQ(Exists(s.Backup()), c.backup != nullptr);
    }
  }
}

TEST(BackupRecoverTest, ALinkedOriginalIsBackedUpAndRecoveredThroughTheLink) {
  Session s;
  const std::string target = s.dir.Write("real.bin", kOriginal);
  const std::string link = s.dir.File("link.bin");
  std::error_code error;
  fs::create_symlink(PathOf(target), PathOf(link), error);
  if (error) GTEST_SKIP() << "no symbolic links here: " << error.message();
  s.dir.Write("change.ips", kPatch);
  // A link standing at the backup's place is replaced, never followed.
  const std::string victim = s.dir.Write("victim.bin", "victim");
  fs::create_symlink(PathOf(victim), PathOf(link + "_backup"));
  s.ChooseOriginal(link);
  s.ChoosePatch(s.dir.File("change.ips"));

  s.Forget();
  s.form.Go();
  EXPECT_EQ(s.services.messages, (Events{"Create reserve copy of the file: link.bin_backup",
                                         "status: operation successful!"}));
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(PathOf(link + "_backup"))));
  EXPECT_EQ(s.Bytes(link + "_backup"), kOriginal);
  EXPECT_EQ(s.Bytes(victim), "victim");
  EXPECT_EQ(s.Bytes(target), kPatched);

  s.form.Recover();
  EXPECT_TRUE(fs::is_symlink(PathOf(link)));
  EXPECT_EQ(s.Bytes(target), kOriginal);
  EXPECT_EQ(s.services.messages.back(), "Recover file: link.bin");
}

TEST(BackupRecoverTest, RussianTexts) {
  Session s(kRussianLocale);
  s.Prepare(kOriginal, kPatch);
  s.form.Go();
  EXPECT_EQ(s.services.messages,
            (Events{"Создана резервная копия файла: image.bin_backup", "статус: файл пропатчен!"}));

  s.Forget();
  s.form.Recover();
  EXPECT_EQ(s.services.messages, Events{"Файл восстановлен: image.bin"});
  EXPECT_EQ(s.Status(), "статус: восстановление файла...");

  fs::remove(PathOf(s.Backup()));
  s.Forget();
  s.form.Recover();
  EXPECT_EQ(s.services.messages, Events{"Файл image.bin не был восстановлен!"});
  s.SetChecked(ControlId::MessagesCheck, false);
  s.form.Recover();
  EXPECT_EQ(s.Status(), "статус: ошибка восстановления!");

  s.ChooseOriginal(s.original);
  fs::create_directory(PathOf(s.Backup()));
  s.SetChecked(ControlId::MessagesCheck, true);
  s.Forget();
  s.form.Go();
  EXPECT_EQ(s.services.messages, Events{"Резервная копия файла image.bin_backup не была создана!"});
  EXPECT_EQ(s.Status(), "статус: ошибка бекапа, файл не изменён!");
}

}  // namespace
}  // namespace vips::form::testing
