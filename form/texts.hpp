#pragma once

#include <string_view>

// Every text the window shows, in English and in Russian, in one place.
// Texts are UTF-8 and are used exactly as they stand, spaces included.
namespace vips::form::texts {

struct Bilingual {
  std::string_view english;
  std::string_view russian;
};

inline constexpr std::string_view kApplicationTitle = "Velmorant IPS";

// Window titles: the English one assigned at start ends with a space, the one
// assigned by the switch to English does not.
inline constexpr Bilingual kWindowTitleAtStart{"Velmorant IPS  version 2.2 ",
                                               "Velmorant IPS  версия 2.2 "};
inline constexpr Bilingual kWindowTitleAfterSwitch{"Velmorant IPS  version 2.2",
                                                   "Velmorant IPS  версия 2.2 "};

// File placeholders: a field showing either text of its pair means "no file".
inline constexpr Bilingual kOriginalPlaceholder{"Original file", "Оригинальный файл"};
inline constexpr Bilingual kPatchPlaceholder{"IPS file", "IPS патч"};

// Caption table.
inline constexpr Bilingual kBackupCaption{"Create reserve copy of the original file",
                                          "Создать резервную копию файла"};
inline constexpr Bilingual kGoCaption{"Go", "ЗАПУСТИТЬ"};
inline constexpr Bilingual kAboutCaption{"About", "О программе"};
inline constexpr Bilingual kRecoverCaption{"Recover", "Восстановить"};
inline constexpr Bilingual kSelectButton{"Select...", "Выбрать..."};
inline constexpr Bilingual kExecuteAllCaption{"Execute all", "Выполнить всё"};
inline constexpr Bilingual kCancelAllCaption{"Canceal all", "Отменить всё"};
inline constexpr Bilingual kInvertAllCaption{"Invert", "Инвертировать"};
inline constexpr Bilingual kPageDownCaption{"Page Down", "ВНИЗ"};
inline constexpr Bilingual kPageUpCaption{"Page Up", "ВВЕРХ"};
inline constexpr Bilingual kOriginalGroupCaption{"Original file: ",
                                                 "Файл, который будем патчить: "};
inline constexpr Bilingual kPatchGroupCaption{"IPS file: ", "IPS патч: "};
inline constexpr Bilingual kRecordsGroupCaption{
    "       Number              First adress         Final adress     Execute (db click)  ",
    "  № изменения        Нач. адрес         Кон. адрес        Выполнение  "};
inline constexpr Bilingual kFromLabel{"from", "от"};
inline constexpr Bilingual kToLabel{"to", "до"};
inline constexpr Bilingual kRangesGroupCaption{"Options: ", "Опции: "};
inline constexpr Bilingual kExecuteRangeCaption{"Execute from...to", "Выполнить от...до"};
inline constexpr Bilingual kCancelRangeCaption{"Canceal from...to", "Отменить от...до"};
inline constexpr Bilingual kInvertRangeCaption{"Invert from...to", "Инверсия от...до"};
inline constexpr Bilingual kNeutralStatus{"status: ...", "статус: ..."};
inline constexpr Bilingual kMessagesCaption{"Messages", "Сообщения"};

// About: title and version line, an empty line, credit and contact lines.
inline constexpr Bilingual kAbout{
    "Velmorant IPS  version 2.2\r\n"
    "\r\n"
    "Applies an IPS patch record by record, at your choice.\r\n"
    "Velmorant IPS developers",
    "Velmorant IPS патчер  версия 2.2\r\n"
    "\r\n"
    "Применяет IPS патч по записям, на ваш выбор.\r\n"
    "Разработчики Velmorant IPS"};

// Choosing the files and loading the patch.
inline constexpr Bilingual kOriginalDialogTitle{
    " Please, open source file...", " Пожалуйста, откройте файл, который вы хотите пропатчить..."};
inline constexpr Bilingual kOriginalDialogFilter{"Any file (*.*)|*.*", "Все файлы (*.*)|*.*"};
inline constexpr Bilingual kPatchDialogTitle{" Please, open IPS file...",
                                             " Пожалуйста, выберите IPS патч..."};
inline constexpr Bilingual kPatchDialogFilter{"IPS file (*.ips)|*.ips", "IPS патч (*.ips)|*.ips"};
// Offered after the IPS filter: the other patch formats the window lists.
inline constexpr Bilingual kDeltaPatchFilter{"BPS/UPS patch (*.bps;*.ups)|*.bps;*.ups",
                                             "BPS/UPS патч (*.bps;*.ups)|*.bps;*.ups"};
// Offered last, for a patch whose name ends otherwise: patches are told
// apart by their first bytes, not by their names.
inline constexpr Bilingual kAllFilesFilter{"All files (*.*)|*.*", "Все файлы (*.*)|*.*"};
inline constexpr Bilingual kStatusFileSelected{"status: file selected!", "статус: файл выбран!"};
inline constexpr Bilingual kSelectOriginalFile{"Select Original file!",
                                               "Выберите оригинальный файл!"};
inline constexpr Bilingual kSelectPatchFile{"Select IPS file!", "Выберите IPS патч!"};
inline constexpr Bilingual kInvalidPatch{"Invalid IPS file!", "Неверный IPS патч!"};
inline constexpr Bilingual kStatusPatchSelected{"status: ips file selected!",
                                                "статус: файл ips выбран!"};
// A BPS or UPS patch listed by the stretches it changes.
inline constexpr Bilingual kStatusBpsSelected{"status: bps file selected!",
                                              "статус: файл bps выбран!"};
inline constexpr Bilingual kStatusUpsSelected{"status: ups file selected!",
                                              "статус: файл ups выбран!"};
// Said instead when the patched file is shorter than the original: Go with
// every row marked cuts the file to that length.
inline constexpr Bilingual kStatusAllRowsShorten{"status: all rows shorten the file!",
                                                 "статус: все записи укоротят файл!"};

// Go.
// A UPS patch, which applies both ways, found the file already patched: Go
// does not take it back.
inline constexpr Bilingual kPatchAlreadyApplied{"The file already holds every row of this patch!",
                                                "Файл уже содержит все записи этого патча!"};
inline constexpr Bilingual kStatusProgramOperation{"status: program operation...",
                                                   "статус: работа программы..."};
inline constexpr Bilingual kOperationSuccessful{"status: operation successful!",
                                                "статус: файл пропатчен!"};

// Backup step: message texts are prefix + name + suffix.
inline constexpr Bilingual kBackupMadePrefix{"Create reserve copy of the file: ",
                                             "Создана резервная копия файла: "};
inline constexpr Bilingual kBackupFailedPrefix{"Reserve copy of the file ",
                                               "Резервная копия файла "};
inline constexpr Bilingual kBackupFailedSuffix{"_backup is not created!",
                                               "_backup не была создана!"};
inline constexpr Bilingual kStatusBackupMade{"status: file backuped!", "статус: бекап файла!"};
inline constexpr Bilingual kStatusBackupFailed{"status: backup error!", "статус: ошибка бекапа!"};
// An existing backup of the file is kept instead of being replaced.
inline constexpr Bilingual kBackupKeptPrefix{"Kept the existing reserve copy of the file: ",
                                             "Сохранена прежняя резервная копия файла: "};
inline constexpr Bilingual kStatusBackupKept{"status: backup kept!", "статус: бекап сохранён!"};
// A run stopped half-way through writing the file (a kill, a crash) left it
// neither old nor patched: put back when the window takes the file, and
// again before Go backs it up or writes.
inline constexpr Bilingual kEarlierRunTakenBack{
    "An earlier run was stopped while it wrote this file; what it wrote was taken back first.",
    "Прошлый запуск был прерван во время записи файла; записанное им сначала отменено."};
// After a failed backup, which stops Go before it writes anything.
inline constexpr Bilingual kStatusNotPatchedWithoutBackup{
    "status: backup error, nothing written!", "статус: ошибка бекапа, файл не изменён!"};

// Recover.
inline constexpr Bilingual kStatusRecovering{"status: file recovery...",
                                             "статус: восстановление файла..."};
inline constexpr Bilingual kRecoveredPrefix{"Recover file: ", "Файл восстановлен: "};
inline constexpr Bilingual kNotRecoveredPrefix{"File ", "Файл "};
inline constexpr Bilingual kNotRecoveredSuffix{" is not recovered!", " не был восстановлен!"};
inline constexpr Bilingual kStatusRecovered{"status: file recovered!",
                                            "статус: файл восстановлен!"};
inline constexpr Bilingual kStatusRecoveryFailed{"status: recovery error!",
                                                 "статус: ошибка восстановления!"};

}  // namespace vips::form::texts
