#include <windows.h>

#include <shellapi.h>
#include <winver.h>

#include <string>
#include <vector>

#include "app/console.h"
#include "app/main_window.h"
#include "app/message_loop.h"
#include "cli/arguments.h"
#include "cli/commands.h"
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

std::vector<std::wstring> CommandLineArguments() {
  int count = 0;
  LPWSTR* args = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  std::vector<std::wstring> result;
  for (int i = 1; args && i < count; ++i) result.emplace_back(args[i]);
  ::LocalFree(args);
  return result;
}

// The file version of the program's own version resource, as "1.5.0.0".
std::wstring FileVersion() {
  const HRSRC found = ::FindResourceW(nullptr, MAKEINTRESOURCEW(VS_VERSION_INFO), MAKEINTRESOURCEW(16));
  const HGLOBAL loaded = found ? ::LoadResource(nullptr, found) : nullptr;
  const auto* bytes = loaded ? static_cast<const BYTE*>(::LockResource(loaded)) : nullptr;
  const DWORD size = found ? ::SizeofResource(nullptr, found) : 0;
  // The fixed part starts, aligned, at its signature; read without the
  // version library, which would be one more DLL to load.
  for (DWORD at = 0; bytes && at + sizeof(VS_FIXEDFILEINFO) <= size; at += 4) {
    VS_FIXEDFILEINFO info;
    ::CopyMemory(&info, bytes + at, sizeof info);
    if (info.dwSignature != 0xFEEF04BD) continue;
    return std::to_wstring(HIWORD(info.dwFileVersionMS)) + L"." +
           std::to_wstring(LOWORD(info.dwFileVersionMS)) + L"." +
           std::to_wstring(HIWORD(info.dwFileVersionLS)) + L"." +
           std::to_wstring(LOWORD(info.dwFileVersionLS));
  }
  return {};
}

// A command runs without the window and without the single-instance name,
// so it never turns a window away nor is turned away by one.
int RunCommand(const std::vector<std::wstring>& args) {
  tarrow::app::StandardStreams streams;
  const tarrow::cli::Parsed parsed = tarrow::cli::ParseArguments(args);
  if (!parsed.ok()) return tarrow::cli::ReportUsageError(parsed.error, streams.err());
  tarrow::cli::CommandContext context{
      tarrow::win32::RealOs(), streams.out(), streams.err(), FileVersion(),
      [] { return tarrow::win32::InstanceRuns(tarrow::win32::kSingleInstanceName); }};
  return tarrow::cli::Run(parsed.arguments, context);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // DLLs come from the system folder only, never from the folder the program
  // was started from, which may be a Downloads folder holding anything. The
  // system DLLs are delay-loaded, so none is loaded before this.
  ::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (const auto args = CommandLineArguments(); !args.empty()) return RunCommand(args);

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
