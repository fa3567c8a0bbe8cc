// Stands for the window's message queue in tests of the icon loader: counts
// the loader's wake-ups and lets the test's thread wait for the next one.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>

#include "catalog/icon_loader.h"

namespace tarrow {

class LoaderWakes {
 public:
  std::function<void()> Callback() {
    return [this] {
      std::lock_guard lock(mutex_);
      ++wakes_;
      woken_.notify_all();
    };
  }
  int count() {
    std::lock_guard lock(mutex_);
    return wakes_;
  }
  // Waits for a wake-up after the first `seen` ones.
  void WaitBeyond(int seen) {
    std::unique_lock lock(mutex_);
    woken_.wait(lock, [&] { return wakes_ > seen; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable woken_;
  int wakes_ = 0;
};

// Makes `take` look at the loader's results, as the window does on each
// wake-up, until the loader is idle; when a look found nothing, waits for
// the next wake-up. `take` says whether it found anything.
template <typename Take>
void TakeUntilIdle(const IconLoader& loader, LoaderWakes& wakes, Take take) {
  while (!loader.idle()) {
    const int seen = wakes.count();
    if (!take() && !loader.idle()) wakes.WaitBeyond(seen);
  }
}

}  // namespace tarrow
