// The main window keeps the focus as a dialog does: it comes back where it
// was when the window is active again, and where it was before a walk that
// disabled the focused button; the dialog keys move it through the tab order.
// Where no control can take it back, it goes to the window's first place of
// work.
#pragma once

#include <windows.h>

namespace tarrow::app {

class DialogFocus {
 public:
  // `home` takes the focus whenever the control that had it cannot.
  void Attach(HWND window, HWND home) {
    window_ = window;
    home_ = left_ = home;
  }
  void OnActivate(bool active);
  // WM_NEXTDLGCTL: to the given control, or the next (previous) one in tab order.
  void OnNextControl(WPARAM wp, LPARAM lp);
  // Remembers the focus before the commands are disabled, and gives it back
  // once they are enabled again.
  // Holding again while the focus is lost keeps the control held first.
  void Hold() {
    if (const HWND focus = ::GetFocus()) held_ = focus;
  }
  void GiveBack();

 private:
  HWND window_ = nullptr;
  HWND home_ = nullptr;
  HWND left_ = nullptr;  // the control that had the focus when the window was left
  HWND held_ = nullptr;  // the control that had it when Hold was called
};

}  // namespace tarrow::app
