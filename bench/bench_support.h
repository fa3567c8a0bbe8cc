// What the benchmarks share: a scan without windows, and timing.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "catalog/scan.h"
#include "catalog/type_list.h"

namespace tarrow::bench {

// A scan with nothing to show: what remains is the scan's own work.
class NoHost : public ScanHost {
 public:
  void ShowProgress() override {}
  void SetProgressMax(int) override {}
  void SetProgressValue(int) override {}
  void HideProgress() override {}
  void DoEvents() override {}
  void ListChanged() override {}
  void SetMousePointer(int) override {}
};

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
