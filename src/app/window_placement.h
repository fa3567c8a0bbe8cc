// Where the main window is and how large: where the user left it last time
// (kept per user under HKEY_CURRENT_USER), or on a first run centred and as
// large as the work asks within two thirds of the screen; never smaller than
// its design, at any scale.
#pragma once

#include <windows.h>

#include "platform/os.h"

namespace tarrow::app {

// Under HKEY_CURRENT_USER.
inline constexpr wchar_t kSettingsKey[] = L"Software\\Tarrow";
inline constexpr wchar_t kPlacementValue[] = L"Window";
// "1" while the list shows the types without an icon of their own too.
inline constexpr wchar_t kShowTypesWithoutIconValue[] = L"ShowTypesWithoutIcon";

// A yes-or-no setting of the window's, kept beside its place; no when unset.
bool ReadWindowSwitch(Registry& registry, const wchar_t* name);
void SaveWindowSwitch(Registry& registry, const wchar_t* name, bool on);

class WindowPlacement {
 public:
  explicit WindowPlacement(Registry& registry) : registry_(registry) {}

  // Shows the window at its remembered place, or at its first-run place.
  void Show(HWND window, UINT dpi);
  // Remembers the window's place; only of a window the user saw.
  void Save(HWND window, UINT dpi) const;

  // Every control stays usable: the window is never smaller than its design.
  static void KeepDesignMinimum(HWND window, UINT dpi, MINMAXINFO& info);
  // On a screen of another scale: the same share of it, never below the
  // design, where the system suggests (under the pointer that moved it).
  static void Rescale(HWND window, UINT oldDpi, UINT newDpi, const RECT& suggested);

 private:
  Registry& registry_;
  bool shown_ = false;
};

}  // namespace tarrow::app
