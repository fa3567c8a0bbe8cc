// A message loop for test and benchmark programs, the program's own pump
// (app/message_loop.h) run until a condition: a window's workers deliver
// their results only while its thread pumps.
#pragma once

#include <windows.h>

#include "app/message_loop.h"

namespace tarrow::testing {

// Handles the messages waiting now, as the program's loop does. A quit
// message left by a closed window is dropped.
inline void PumpPending() {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message != WM_QUIT) app::Route(msg);
  }
}

// Runs the calling thread's messages until `done()` or `timeoutMs`; false
// when it timed out.
template <typename Done>
bool PumpUntil(Done&& done, ULONGLONG timeoutMs = 120000) {
  const ULONGLONG giveUp = ::GetTickCount64() + timeoutMs;
  while (!done()) {
    if (::GetTickCount64() > giveUp) return false;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    PumpPending();
  }
  return true;
}

}  // namespace tarrow::testing
