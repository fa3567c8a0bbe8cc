// The shell is asked about the icons Apply or a restore wrote on a thread of
// its own: its answers cost more than the writes (some 0.15 ms a type under
// Wine), and the window answers meanwhile. The outcome comes back to the
// window with a posted message.
#pragma once

#include <windows.h>

#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "changes/shell_check.h"
#include "platform/os.h"

namespace tarrow::app {

class ShellCheckTask {
 public:
  explicit ShellCheckTask(Os& os) : os_(os) {}
  ~ShellCheckTask() { Join(); }
  ShellCheckTask(const ShellCheckTask&) = delete;
  ShellCheckTask& operator=(const ShellCheckTask&) = delete;

  // The answers, and the outcome line of the Apply or restore they are for.
  struct Done {
    ShellCheck check;
    std::wstring outcome;
  };
  // Asks about `icons`, after the check before it has ended (whose answers
  // are dropped); `message` is posted to `window` when the answers are in.
  void Start(std::vector<WrittenIcon> icons, std::wstring outcome, HWND window, UINT message);
  // The check that ended; nullopt while it runs, or once taken.
  std::optional<Done> Take();
  bool running() const;

 private:
  void Join();

  Os& os_;
  mutable std::mutex mutex_;
  std::optional<Done> done_;
  bool running_ = false;
  std::thread thread_;
};

}  // namespace tarrow::app
