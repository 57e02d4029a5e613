#pragma once

#include <windows.h>

namespace vips::win32 {

// A picture-only button that never takes the keyboard focus (the language
// flags): a press and release over it sends BN_CLICKED to its parent, as a
// push button does, and it shows its second picture while disabled.
class SpeedButton {
 public:
  static constexpr wchar_t kClassName[] = L"VelmorantSpeedButton";

  // The icons stay owned by the caller.
  static HWND Create(HWND parent, const RECT& place, int id, HICON picture, HICON disabled);
};

}  // namespace vips::win32
