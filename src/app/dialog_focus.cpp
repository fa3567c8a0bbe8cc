#include "app/dialog_focus.h"

#include <utility>

namespace tarrow::app {

void DialogFocus::OnActivate(bool active) {
  if (!active) {
    if (HWND focus = ::GetFocus(); focus && ::IsChild(window_, focus)) left_ = focus;
  } else {
    ::SetFocus(left_ && ::IsWindow(left_) && ::IsWindowEnabled(left_) ? left_ : home_);
  }
}

void DialogFocus::OnNextControl(WPARAM wp, LPARAM lp) {
  // As a label's access key moves it, too.
  const HWND target =
      LOWORD(lp) ? reinterpret_cast<HWND>(wp) : ::GetNextDlgTabItem(window_, ::GetFocus(), wp != 0);
  if (target) ::SetFocus(target);
}

void DialogFocus::GiveBack() {
  const HWND focus = std::exchange(held_, nullptr);
  if (focus && ::IsWindow(focus) && ::IsChild(window_, focus) && !::GetFocus())
    ::SetFocus(::IsWindowEnabled(focus) ? focus : home_);
}

}  // namespace tarrow::app
