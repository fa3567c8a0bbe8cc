// Brings a loader's icons to one window: the loader's wake-up is a message
// posted to the window, and the window takes the results on a timer, a slice
// at a time, after its input and painting (see icon_delivery.h).
//
// The owner attaches the feed once its window exists, forwards every message
// to HandleMessage, and detaches it at WM_DESTROY: from then on no wake-up is
// posted and the icons in hand are dropped.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>

#include "app/icon_delivery.h"
#include "catalog/icon_loader.h"

namespace tarrow::app {

class IconFeed {
 public:
  // `wakeMessage` and `timer` are ids of the owner's that nothing else uses.
  IconFeed(IconSource& source, UINT wakeMessage, UINT_PTR timer, int workers = 1);
  IconFeed(const IconFeed&) = delete;
  IconFeed& operator=(const IconFeed&) = delete;

  IconLoader& loader() { return loader_; }
  const IconLoader& loader() const { return loader_; }

  void Attach(HWND window);
  // No more wake-ups; the requests and results in hand are dropped.
  void Detach();
  // The feed's wake message or timer tick: runs `takeSlice` while results
  // wait, as long as the window has time, and returns true. Any other
  // message: false, and nothing runs.
  bool HandleMessage(UINT msg, WPARAM wp, const std::function<void()>& takeSlice);

 private:
  std::atomic<HWND> window_{nullptr};  // read on the loader's threads
  UINT wakeMessage_;
  UINT_PTR timer_;
  IconLoader loader_;  // last: its workers start once the rest is ready
};

}  // namespace tarrow::app
