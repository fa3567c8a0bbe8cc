// How an icon loader's results reach the window's thread. Its wake-up takes
// what is there at once and starts a timer for the rest: timer messages come
// after the user's input and painting, so thousands of icons arriving never
// hold them up, and each tick takes results a slice at a time for a few
// milliseconds only.
#pragma once

#include <windows.h>

#include "catalog/icon_loader.h"

namespace tarrow::app {

// Icons taken in one slice: about what the window draws in a few ms.
inline constexpr std::size_t kIconsPerSlice = 64;

// The loader woke the window: what it does not take at once, it takes on
// its next idle ticks.
inline void ArmIconTimer(HWND window, UINT_PTR timer) {
  ::SetTimer(window, timer, USER_TIMER_MINIMUM, nullptr);
}

// A tick: `takeSlice` runs while results wait, for about one tick, or on
// while nothing else waits for the window. The timer stops once the loader
// has nothing in hand (the next wake-up starts it again).
// Any worker's results are taken so: `loader` is anything that says whether
// results wait and whether it is idle (an IconLoader, a TypeWalk).
template <typename Loader, typename TakeSlice>
void DeliverIcons(HWND window, UINT_PTR timer, const Loader& loader, TakeSlice takeSlice) {
  constexpr ULONGLONG kBudgetMs = 15;
  const ULONGLONG start = ::GetTickCount64();
  do {
    takeSlice();
  } while (loader.hasResults() &&
           (::GetTickCount64() - start < kBudgetMs ||
            HIWORD(::GetQueueStatus(QS_INPUT | QS_PAINT | QS_SENDMESSAGE | QS_POSTMESSAGE)) == 0));
  if (loader.idle()) ::KillTimer(window, timer);
}

}  // namespace tarrow::app
