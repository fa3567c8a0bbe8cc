#include "app/icon_feed.h"

namespace tarrow::app {

IconFeed::IconFeed(IconSource& source, UINT wakeMessage, UINT_PTR timer, int workers)
    : wakeMessage_(wakeMessage),
      timer_(timer),
      loader_(
          source,
          [this] {
            if (const HWND window = window_.load()) ::PostMessageW(window, wakeMessage_, 0, 0);
          },
          workers) {}

void IconFeed::Attach(HWND window) {
  window_ = window;
}

void IconFeed::Detach() {
  if (const HWND window = window_.exchange(nullptr)) ::KillTimer(window, timer_);
  loader_.Cancel();
}

bool IconFeed::HandleMessage(UINT msg, WPARAM wp, const std::function<void()>& takeSlice) {
  const HWND window = window_.load();
  if (!window) return false;
  if (msg == wakeMessage_) {
    ArmIconTimer(window, timer_);
  } else if (msg != WM_TIMER || wp != timer_) {
    return false;
  }
  DeliverIcons(window, timer_, loader_, takeSlice);
  return true;
}

}  // namespace tarrow::app
