// What the benchmarks share: a walk without windows, and timing.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <utility>
#include <vector>

#include "catalog/scan.h"
#include "catalog/type_list.h"

namespace tarrow::bench {

// The registry walk with nothing to show it: each batch taken as it comes,
// then the snapshot when there is none, as the window does.
inline void WalkAll(Os& os, TypeList& types, ImageStore& images) {
  std::mutex mutex;
  std::condition_variable changed;
  bool woken = false;
  TypeWalk walk(os.registry, os.shell, [&] {
    std::lock_guard lock(mutex);
    woken = true;
    changed.notify_all();
  });
  types.Clear();
  images.Clear();
  walk.Start();
  for (;;) {
    WalkBatch batch = walk.Take();
    const bool empty = batch.types.empty();
    AddWalked(std::move(batch.types), types, images);
    if (batch.done) break;
    if (!empty) continue;
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return woken; });
    woken = false;
  }
  TakeSnapshotIfNone(os, types);
}

class NoSink : public PictureSink {
 public:
  int AddPicture(IconHandle) override { return count_++; }
  void RemoveAllPictures() override { count_ = 0; }

 private:
  int count_ = 0;
};

template <typename F>
double TimeMs(F&& run) {
  const auto start = std::chrono::steady_clock::now();
  run();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

inline double Median(std::vector<double> times) {
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

template <typename F>
double MedianMs(int runs, F&& run) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) times.push_back(TimeMs(run));
  return Median(std::move(times));
}

// The lines the bench command gathers into its tables ("|" separates
// columns): a time against its floor, measured in the same run, and a count
// after one round and after many.
inline void TimeRow(const char* what, double ms, double floorMs, const char* target) {
  std::printf("time|%s|%.2f ms|%.2f ms|%.2fx|%s\n", what, ms, floorMs, floorMs > 0 ? ms / floorMs : 0.0,
              target);
}

inline void CountRow(const char* what, long long afterOne, long long afterMany, const char* unit) {
  std::printf("count|%s|%lld %s|%lld %s|%+lld\n", what, afterOne, unit, afterMany, unit,
              afterMany - afterOne);
}

}  // namespace tarrow::bench
