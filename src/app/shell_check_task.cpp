#include "app/shell_check_task.h"

#include <utility>

namespace tarrow::app {

void ShellCheckTask::Start(std::vector<WrittenIcon> icons, std::wstring outcome, HWND window, UINT message) {
  Join();
  {
    std::lock_guard lock(mutex_);
    done_.reset();
    running_ = true;
  }
  thread_ = std::thread([this, icons = std::move(icons), outcome = std::move(outcome), window, message] {
    ShellCheck check = CheckWithShell(os_, icons);
    {
      std::lock_guard lock(mutex_);
      done_ = Done{std::move(check), outcome};
      running_ = false;
    }
    ::PostMessageW(window, message, 0, 0);
  });
}

std::optional<ShellCheckTask::Done> ShellCheckTask::Take() {
  std::lock_guard lock(mutex_);
  return std::exchange(done_, std::nullopt);
}

bool ShellCheckTask::running() const {
  std::lock_guard lock(mutex_);
  return running_ || done_.has_value();
}

void ShellCheckTask::Join() {
  if (thread_.joinable()) thread_.join();
}

}  // namespace tarrow::app
