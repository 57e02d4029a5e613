#pragma once

#include <cstddef>

namespace vips::form {

// Every control of the window, the window itself first. The values are
// indexes (0, 1, ...): a view that needs other numbers (a window system whose
// ids 1 and 2 mean OK and Cancel) adds its own offset.
enum class ControlId : int {
  Window,
  Panel,
  EnglishButton,
  RussianButton,
  OriginalGroup,
  OriginalField,
  ChooseOriginal,
  PatchGroup,
  PatchField,
  ChoosePatch,
  Go,
  RecordsGroup,
  Grid,
  ExecuteAll,
  CancelAll,
  InvertAll,
  PageUp,
  PageDown,
  Recover,
  About,
  BackupCheck,
  MessagesCheck,
  Status,
  RangesGroup,
  ExecuteFromLabel,
  ExecuteFrom,
  ExecuteToLabel,
  ExecuteTo,
  ExecuteRange,
  CancelFromLabel,
  CancelFrom,
  CancelToLabel,
  CancelTo,
  CancelRange,
  InvertFromLabel,
  InvertFrom,
  InvertToLabel,
  InvertTo,
  InvertRange,
};

inline constexpr std::size_t kControlCount = static_cast<std::size_t>(ControlId::InvertRange) + 1;

[[nodiscard]] constexpr std::size_t IndexOf(ControlId id) {
  return static_cast<std::size_t>(id);
}

}  // namespace vips::form
