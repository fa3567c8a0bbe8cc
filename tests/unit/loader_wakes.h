// Stands for the window's message queue in tests of the icon loader: counts
// the loader's wake-ups and lets the test's thread wait for the next one.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>

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

}  // namespace tarrow
