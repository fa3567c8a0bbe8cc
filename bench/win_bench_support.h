// What the benchmarks under Windows (or Wine) share: the process's resources
// and the registry reads without the program's own layer.
#pragma once

#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "bench_support.h"
#include "message_pump.h"
#include "platform/win32/win32_os.h"

namespace tarrow::bench {

struct Resources {
  long long privateKb = 0, peakWorkingSetKb = 0;
  long long userObjects = 0, gdiObjects = 0, handles = 0, liveIcons = 0;
};

inline Resources MeasureResources() {
  Resources r;
  PROCESS_MEMORY_COUNTERS_EX memory{};
  memory.cb = sizeof memory;
  const HANDLE self = ::GetCurrentProcess();
  if (::GetProcessMemoryInfo(self, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory)) {
    // The committed private bytes; Wine fills in this field but not PrivateUsage.
    r.privateKb = static_cast<long long>(memory.PagefileUsage / 1024);
    r.peakWorkingSetKb = static_cast<long long>(memory.PeakWorkingSetSize / 1024);
  }
  r.userObjects = ::GetGuiResources(self, GR_USEROBJECTS);
  r.gdiObjects = ::GetGuiResources(self, GR_GDIOBJECTS);
  DWORD handles = 0;
  ::GetProcessHandleCount(self, &handles);
  r.handles = handles;
  r.liveIcons = win32::Win32Shell::LiveIcons();
  return r;
}

// The resource rows of the table for one kind of round.
inline void ResourceRows(const std::string& rounds, const Resources& one, const Resources& many) {
  auto row = [&](const char* what, long long a, long long b, const char* unit) {
    CountRow((rounds + ": " + what).c_str(), a, b, unit);
  };
  row("private memory", one.privateKb, many.privateKb, "KB");
  row("peak working set", one.peakWorkingSetKb, many.peakWorkingSetKb, "KB");
  // Wine counts no USER or GDI objects and no handles (it gives 0): a row of
  // zeros would pass for a measurement.
  auto counted = [&](const char* what, long long a, long long b) {
    if (a || b) {
      row(what, a, b, "");
    } else {
      std::printf("note|%s: %s not counted by this system\n", rounds.c_str(), what);
    }
  };
  counted("USER objects", one.userObjects, many.userObjects);
  counted("GDI objects", one.gdiObjects, many.gdiObjects);
  counted("kernel handles", one.handles, many.handles);
  row("icons alive", one.liveIcons, many.liveIcons, "");
}

using tarrow::testing::PumpUntil;

// Asks a window every 10 ms, from a thread of its own, for a WM_NULL round
// trip; the longest is how long the window's thread left the user waiting.
class AnswerProbe {
 public:
  explicit AnswerProbe(HWND window) : window_(window), thread_([this] { Run(); }) {}
  AnswerProbe(const AnswerProbe&) = delete;
  AnswerProbe& operator=(const AnswerProbe&) = delete;
  ~AnswerProbe() { Stop(); }

  // The longest round trip, in milliseconds.
  // Called on the window's thread, which answers the last probe meanwhile:
  // joining without pumping would hold that one until it timed out.
  double Stop() {
    stop_ = true;
    PumpUntil([this] { return finished_.load(); });
    if (thread_.joinable()) thread_.join();
    return longestMs_;
  }

 private:
  void Run() {
    while (!stop_) {
      const auto start = std::chrono::steady_clock::now();
      DWORD_PTR result = 0;
      ::SendMessageTimeoutW(window_, WM_NULL, 0, 0, SMTO_NORMAL, 120000, &result);
      const double ms =
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
      longestMs_ = std::max(longestMs_.load(), ms);
      ::Sleep(10);
    }
    finished_ = true;
  }

  HWND window_;
  std::atomic<bool> stop_{false}, finished_{false};
  std::atomic<double> longestMs_{0};
  std::thread thread_;
};

// The longest round trip of a window whose thread only pumps: what the probe
// itself costs, the floor of the figures above.
inline double IdleAnswerMs(HWND window, ULONGLONG forMs = 1000) {
  AnswerProbe probe(window);
  const ULONGLONG until = ::GetTickCount64() + forMs;
  PumpUntil([&] { return ::GetTickCount64() >= until; });
  return probe.Stop();
}

// A value's text straight from the API, as the floor reads it: probe, read.
inline std::wstring RawText(HKEY root, const std::wstring& key) {
  constexpr DWORD kFlags = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND;
  DWORD bytes = 0;
  if (::RegGetValueW(root, key.c_str(), nullptr, kFlags, nullptr, nullptr, &bytes) || bytes < 2) return {};
  std::wstring text(bytes / sizeof(wchar_t), L'\0');
  if (::RegGetValueW(root, key.c_str(), nullptr, kFlags, nullptr, text.data(), &bytes)) return {};
  text.resize(bytes / sizeof(wchar_t));
  while (!text.empty() && text.back() == L'\0') text.pop_back();
  return text;
}

}  // namespace tarrow::bench
