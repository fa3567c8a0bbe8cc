// The program's one message pump: each message goes first to the dialog
// keys of its top-level window (Tab, access keys, Enter and Escape), then to
// its window. The tests and benchmarks pump through it too.
#pragma once

#include <windows.h>

namespace tarrow::app {

// Handles one message taken from the queue.
void Route(MSG& msg);

// Runs the thread's messages until a quit message; its exit code.
int RunMessageLoop();

}  // namespace tarrow::app
