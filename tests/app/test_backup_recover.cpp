// The backup copy taken by Go and Recover, driven through the window.
#include <sys/stat.h>

#include <QTest>
#include <filesystem>

#include "support/patching_session.hpp"

using vips::app::testing::DataRecord;
using vips::app::testing::Ips;
using vips::app::testing::PatchingSession;

namespace {

const std::string kOriginal = "0123456789";
const std::string kPatch = Ips({DataRecord(0, "AB")});
const QByteArray kOriginalBytes = "0123456789";
const QByteArray kPatchedBytes = "AB23456789";

}  // namespace

class BackupRecoverTest : public QObject {
  Q_OBJECT
 private slots:
  void backupIsTakenBeforeWritingAndRecoverPutsItBack();
  void backupIsTakenOncePerConfirmedChoice();
  void goRefusesABackupOrOriginalThatIsThePatch();
  void devicesAreRefusedAsOriginals();
  void backupOptionOffThenOnBacksUpThePatchedFile();
  void failedBackupWritesNothingAndNextGoRetries_data();
  void failedBackupWritesNothingAndNextGoRetries();
  void recoverWithoutBackupReportsFailure_data();
  void recoverWithoutBackupReportsFailure();
  void aLinkedOriginalIsBackedUpAndRecoveredThroughTheLink();
  void russianTexts();
};

void BackupRecoverTest::backupIsTakenBeforeWritingAndRecoverPutsItBack() {
  PatchingSession s;
  s.dir.Write("image.bin_backup", "stale");  // replaced without a question
  s.Prepare(kOriginal, kPatch);
  QVERIFY(!s.form.BitBtn3->isEnabled());  // even with a backup file lying there

  s.ForgetEvents();
  s.Go();
  QCOMPARE(s.Bytes(s.Backup()), kOriginalBytes);
  QCOMPARE(s.Bytes(s.original), kPatchedBytes);
  QCOMPARE(s.Messages(), QStringList({"Create reserve copy of the file: image.bin_backup",
                                      "status: operation successful!"}));
  QCOMPARE(s.form.Logic().BackupTaken, 1);
  QVERIFY(s.form.BitBtn3->isEnabled());

  // Twice the same result; the backup stays and nothing else moves.
  for (int press = 0; press < 2; ++press) {
    s.ForgetEvents();
    s.Recover();
    QCOMPARE(s.Bytes(s.original), kOriginalBytes);
    QCOMPARE(s.Bytes(s.Backup()), kOriginalBytes);
    QCOMPARE(s.Events(), QStringList({"beep", "message: Recover file: image.bin"}));
    QCOMPARE(s.Status(), QString("status: file recovery..."));
    QCOMPARE(s.form.Logic().BackupTaken, 1);
    QVERIFY(s.form.BitBtn3->isEnabled());
    QCOMPARE(s.form.Logic().Table().RowCount(), 1);
    QCOMPARE(s.Cell(3, 0), QString("Execute"));
  }

  s.SetMessages(false);
  s.ForgetEvents();
  s.Recover();
  QCOMPARE(s.Events(), QStringList({"beep"}));
  QCOMPARE(s.Status(), QString("status: file recovered!"));
}

void BackupRecoverTest::backupIsTakenOncePerConfirmedChoice() {
  PatchingSession s;
  s.Prepare(kOriginal, kPatch);
  s.Go();
  QCOMPARE(s.Bytes(s.Backup()), kOriginalBytes);

  // Later presses leave the backup alone, whatever the original now holds.
  s.dir.Write("image.bin", "xxxxxxxxxx");
  s.Go();
  QCOMPARE(s.Bytes(s.Backup()), kOriginalBytes);
  QCOMPARE(s.Bytes(s.original), QByteArray("ABxxxxxxxx"));

  // A cancelled dialog chose nothing new, so the backup still belongs.
  s.ChooseOriginal(std::nullopt);
  QCOMPARE(s.form.Logic().BackupTaken, 1);
  s.Go();
  QCOMPARE(s.Bytes(s.Backup()), kOriginalBytes);

  // The same file confirmed again keeps its clean backup, also under
  // another name for it.
  s.ChooseOriginal(s.original);
  QCOMPARE(s.form.Logic().BackupTaken, 1);
  s.ChooseOriginal(s.dir.Path() + "/./image.bin");
  QCOMPARE(s.form.Logic().BackupTaken, 1);
  s.Go();
  QCOMPARE(s.Bytes(s.Backup()), kOriginalBytes);

  // Another file earns a backup of its own.
  const std::string other = s.dir.Write("other.bin", "0000000000");
  s.ChooseOriginal(other);
  QCOMPARE(s.form.Logic().BackupTaken, 0);
  s.Go();
  QCOMPARE(s.Bytes(other + "_backup"), QByteArray("0000000000"));
  QCOMPARE(s.Bytes(other), QByteArray("AB00000000"));
  QCOMPARE(s.form.Logic().BackupTaken, 1);
}

void BackupRecoverTest::goRefusesABackupOrOriginalThatIsThePatch() {
  PatchingSession s;
  s.Prepare(kOriginal, kPatch);
  // The patch itself stands under the backup's name.
  const std::string patch = s.dir.Write("image.bin_backup", kPatch);
  s.ChoosePatch(patch);
  s.ForgetEvents();
  s.Go();
  QCOMPARE(s.Messages(),
           QStringList({"Reserve copy of the file image.bin_backup is not created!"}));
  QCOMPARE(s.Bytes(patch), QByteArray::fromStdString(kPatch));
  QCOMPARE(s.Bytes(s.original), kOriginalBytes);

  // The patch chosen as its own original file.
  s.ChooseOriginal(patch);
  s.ForgetEvents();
  s.Go();
  QCOMPARE(s.Errors(), QStringList({"File access denied."}));
  QCOMPARE(s.Bytes(patch), QByteArray::fromStdString(kPatch));
  QVERIFY(!std::filesystem::exists(patch + "_backup"));
}

void BackupRecoverTest::devicesAreRefusedAsOriginals() {
  PatchingSession s;
  s.Prepare(kOriginal, kPatch);
  s.ChooseOriginal(std::string("/dev/null"));
  s.ForgetEvents();
  s.ChoosePatch(s.patch);
  QCOMPARE(s.Errors(), QStringList({"File access denied."}));
  s.SetBackupOption(false);
  s.ForgetEvents();
  s.Go();
  QCOMPARE(s.Errors(), QStringList({"File access denied."}));
  QVERIFY(!std::filesystem::exists("/dev/null_backup"));
}

void BackupRecoverTest::backupOptionOffThenOnBacksUpThePatchedFile() {
  PatchingSession s;
  s.Prepare(kOriginal, kPatch);
  s.SetBackupOption(false);
  s.ForgetEvents();
  s.Go();
  QVERIFY(!std::filesystem::exists(s.Backup()));
  QCOMPARE(s.form.Logic().BackupTaken, 0);
  QCOMPARE(s.Messages(), QStringList({"status: operation successful!"}));

  s.SetBackupOption(true);
  s.Go();
  QCOMPARE(s.Bytes(s.Backup()), kPatchedBytes);
}

void BackupRecoverTest::failedBackupWritesNothingAndNextGoRetries_data() {
  QTest::addColumn<bool>("folderInTheWay");
  QTest::addColumn<bool>("messages");
  QTest::newRow("read-only backup file, messages") << false << true;
  QTest::newRow("read-only backup file, status line") << false << false;
  QTest::newRow("folder named like the backup, messages") << true << true;
}

void BackupRecoverTest::failedBackupWritesNothingAndNextGoRetries() {
  QFETCH(bool, folderInTheWay);
  QFETCH(bool, messages);
  PatchingSession s;
  s.Prepare(kOriginal, kPatch);
  if (folderInTheWay) {
    std::filesystem::create_directory(s.Backup());
  } else {
    s.dir.Write("image.bin_backup", "old");
    QCOMPARE(chmod(s.Backup().c_str(), 0444), 0);
  }
  s.SetMessages(messages);

  s.ForgetEvents();
  s.Go();
  QCOMPARE(s.Bytes(s.original), kOriginalBytes);
  QCOMPARE(s.form.Logic().BackupTaken, 0);
  QVERIFY(!s.form.BitBtn3->isEnabled());
  QCOMPARE(s.services.beeps, 0);
  QVERIFY(!s.Events().contains("busy"));
  QCOMPARE(s.Messages(),
           messages ? QStringList({"Reserve copy of the file image.bin_backup is not created!"})
                    : QStringList());
  QCOMPARE(s.Status(), QString("status: backup error, nothing written!"));

  // Once the way is clear, the next Go takes the backup and patches.
  std::filesystem::remove_all(s.Backup());
  s.Go();
  QCOMPARE(s.Bytes(s.Backup()), kOriginalBytes);
  QCOMPARE(s.Bytes(s.original), kPatchedBytes);
  QCOMPARE(s.form.Logic().BackupTaken, 1);
  QVERIFY(s.form.BitBtn3->isEnabled());
}

void BackupRecoverTest::recoverWithoutBackupReportsFailure_data() {
  QTest::addColumn<bool>("messages");
  QTest::addColumn<QStringList>("events");
  QTest::addColumn<QString>("status");
  QTest::newRow("messages") << true
                            << QStringList({"beep", "message: File image.bin is not recovered!"})
                            << QString("status: file recovery...");
  QTest::newRow("status line") << false << QStringList({"beep"})
                               << QString("status: recovery error!");
}

void BackupRecoverTest::recoverWithoutBackupReportsFailure() {
  QFETCH(bool, messages);
  QFETCH(QStringList, events);
  QFETCH(QString, status);
  PatchingSession s;
  s.Prepare(kOriginal, kPatch);
  s.SetBackupOption(false);
  s.SetMessages(messages);
  s.Go();

  s.ForgetEvents();
  s.Recover();
  QCOMPARE(s.Events(), events);
  QCOMPARE(s.Status(), status);
  QCOMPARE(s.Bytes(s.original), kPatchedBytes);
  QVERIFY(!std::filesystem::exists(s.Backup()));
}

void BackupRecoverTest::aLinkedOriginalIsBackedUpAndRecoveredThroughTheLink() {
  namespace fs = std::filesystem;
  PatchingSession s;
  const std::string target = s.dir.Write("real.bin", kOriginal);
  const std::string link = s.dir.File("link.bin");
  std::error_code error;
  fs::create_symlink(target, link, error);
  if (error) QSKIP("no symbolic links here");
  s.dir.Write("change.ips", kPatch);
  // A link standing at the backup's place is replaced, never followed.
  const std::string victim = s.dir.Write("victim.bin", "victim");
  fs::create_symlink(victim, link + "_backup");
  s.ChooseOriginal(link);
  s.ChoosePatch(s.dir.File("change.ips"));

  s.ForgetEvents();
  s.Go();
  QCOMPARE(s.Messages(), QStringList({"Create reserve copy of the file: link.bin_backup",
                                      "status: operation successful!"}));
  QVERIFY(fs::is_regular_file(fs::symlink_status(link + "_backup")));
  QCOMPARE(s.Bytes(link + "_backup"), kOriginalBytes);
  QCOMPARE(s.Bytes(victim), QByteArray("victim"));
  QCOMPARE(s.Bytes(target), kPatchedBytes);

  s.Recover();
  QVERIFY(fs::is_symlink(link));
  QCOMPARE(s.Bytes(target), kOriginalBytes);
  QCOMPARE(s.Messages().back(), QString("Recover file: link.bin"));
}

void BackupRecoverTest::russianTexts() {
  PatchingSession s(1049);
  s.Prepare(kOriginal, kPatch);
  s.Go();
  QCOMPARE(s.Messages(), QStringList({"Создана резервная копия файла: image.bin_backup",
                                      "статус: файл пропатчен!"}));

  s.ForgetEvents();
  s.Recover();
  QCOMPARE(s.Messages(), QStringList({"Файл восстановлен: image.bin"}));
  QCOMPARE(s.Status(), QString("статус: восстановление файла..."));

  std::filesystem::remove(s.Backup());
  s.ForgetEvents();
  s.Recover();
  QCOMPARE(s.Messages(), QStringList({"Файл image.bin не был восстановлен!"}));
  s.SetMessages(false);
  s.Recover();
  QCOMPARE(s.Status(), QString("статус: ошибка восстановления!"));

  s.ChooseOriginal(s.original);
  std::filesystem::create_directory(s.Backup());
  s.SetMessages(true);
  s.ForgetEvents();
  s.Go();
  QCOMPARE(s.Messages(), QStringList({"Резервная копия файла image.bin_backup не была создана!"}));
  QCOMPARE(s.Status(), QString("статус: ошибка бекапа, файл не изменён!"));
}

QTEST_MAIN(BackupRecoverTest)
#include "test_backup_recover.moc"
