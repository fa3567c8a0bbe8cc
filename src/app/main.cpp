#include <windows.h>

#include "app/command_main.h"
#include "app/main_window.h"
#include "app/message_loop.h"
#include "platform/win32/instance.h"
#include "platform/win32/win32_os.h"

namespace {

// After the refusal, the copy that runs comes forward. This copy was just
// answered, so it may set the foreground window: it lets the other copy do
// so, which then brings its own window forward. This copy's own hidden
// window has the same class, so it is passed over.
void BringOtherCopyForward() {
  HWND other = nullptr;
  DWORD process = 0;
  while ((other = ::FindWindowExW(nullptr, other, tarrow::app::kMainWindowClass, nullptr))) {
    ::GetWindowThreadProcessId(other, &process);
    if (process != ::GetCurrentProcessId()) break;
  }
  if (!other) return;
  ::AllowSetForegroundWindow(process);
  ::PostMessageW(other, ::RegisterWindowMessageW(tarrow::app::kComeForwardMessage), 0, 0);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // DLLs come from the system folder only, never from the folder the program
  // was started from, which may be a Downloads folder holding anything. The
  // system DLLs are delay-loaded, so none is loaded before this.
  ::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (const auto args = tarrow::app::CommandLineArguments(); !args.empty())
    return tarrow::app::RunCommand(args);

  ::SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
  const tarrow::win32::SingleInstance instance(tarrow::win32::kSingleInstanceName);
  tarrow::app::MainWindow window(tarrow::win32::RealOs());
  if (!window.Create()) return 1;
  if (!window.OnLoad(instance.PrevInstance())) {
    BringOtherCopyForward();
    return 0;
  }
  window.Show();
  return tarrow::app::RunMessageLoop();
}
