// Where the main window opens: where the user left it last time (kept per
// user under HKEY_CURRENT_USER), or on a first run centred and as large as
// the work asks within two thirds of the screen.
#pragma once

#include <windows.h>

#include "platform/os.h"

namespace tarrow::app {

// Under HKEY_CURRENT_USER.
inline constexpr wchar_t kSettingsKey[] = L"Software\\Tarrow";
inline constexpr wchar_t kPlacementValue[] = L"Window";

class WindowPlacement {
 public:
  explicit WindowPlacement(Registry& registry) : registry_(registry) {}

  // Shows the window at its remembered place, or at its first-run place.
  void Show(HWND window, UINT dpi);
  // Remembers the window's place; only of a window the user saw.
  void Save(HWND window, UINT dpi) const;

 private:
  Registry& registry_;
  bool shown_ = false;
};

}  // namespace tarrow::app
