#pragma once

#include <cstddef>

namespace vips::form {

// Every control of the window, the window itself first. The values are
// indexes (0, 1, ...): a view that needs other numbers (a window system whose
// ids 1 and 2 mean OK and Cancel) adds its own offset.
enum class ControlId : int {
  Form1,
  Panel1,
  SpeedButton1,
  SpeedButton2,
  GroupBox1,
  Edit1,
  Button1,
  GroupBox2,
  Edit2,
  Button2,
  BitBtn2,
  GroupBox3,
  StringGrid1,
  Button3,
  Button4,
  Button5,
  Button7,
  Button6,
  BitBtn3,
  BitBtn1,
  CheckBox1,
  CheckBox2,
  StaticText1,
  GroupBox4,
  Label1,
  Edit3,
  Label4,
  Edit4,
  Button8,
  Label2,
  Edit5,
  Label5,
  Edit6,
  Button9,
  Label3,
  Edit7,
  Label6,
  Edit8,
  Button10,
};

inline constexpr std::size_t kControlCount = static_cast<std::size_t>(ControlId::Button10) + 1;

[[nodiscard]] constexpr std::size_t IndexOf(ControlId id) {
  return static_cast<std::size_t>(id);
}

}  // namespace vips::form
