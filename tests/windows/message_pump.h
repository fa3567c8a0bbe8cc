// A message loop for test and benchmark programs, as the program's own runs
// it: a window's loaders deliver their icons only while its thread pumps.
#pragma once

#include <windows.h>

namespace tarrow::testing {

// Runs the calling thread's messages until `done()` or `timeoutMs`; false
// when it timed out. A quit message left by a closed window is dropped.
template <typename Done>
bool PumpUntil(Done&& done, ULONGLONG timeoutMs = 120000) {
  const ULONGLONG giveUp = ::GetTickCount64() + timeoutMs;
  while (!done()) {
    if (::GetTickCount64() > giveUp) return false;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) continue;
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }
  return true;
}

}  // namespace tarrow::testing
