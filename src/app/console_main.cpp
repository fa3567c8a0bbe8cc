// tarrow.com, the console companion of tarrow.exe. A command prompt finds it
// first (PATHEXT lists .COM before .EXE) and, as it is a console program,
// waits for it, pipes its output and keeps its exit code; Explorer still
// starts tarrow.exe.
#include <windows.h>

#include <string>

#include "app/command_main.h"
#include "app/console.h"
#include "cli/commands.h"

namespace {

// Without a command, tarrow.exe beside this program opens the window and the
// prompt comes back at once, as for any windowed program: the console is not
// held while the window is open, and the window stays the one program
// Explorer starts, with one copy running at most.
int StartWindowProgram() {
  std::wstring path(MAX_PATH, L'\0');
  DWORD length = 0;
  while ((length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()))) ==
         path.size())
    path.resize(path.size() * 2);
  path.resize(length);
  const auto dot = path.find_last_of(L".\\");
  if (length == 0 || dot == std::wstring::npos || path[dot] != L'.') return tarrow::cli::kExitFailed;
  path.replace(dot, std::wstring::npos, L".exe");
  std::wstring commandLine = L"\"" + path + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
    tarrow::app::StandardStreams streams;
    tarrow::cli::WriteLine(streams.err(), L"tarrow: " + path + L" could not be started; it belongs beside " +
                                              L"tarrow.com, which runs only commands itself.");
    return tarrow::cli::kExitFailed;
  }
  ::CloseHandle(info.hThread);
  ::CloseHandle(info.hProcess);
  return tarrow::cli::kExitOk;
}

}  // namespace

int wmain() {
  // As tarrow.exe: DLLs from the system folder only, before any is loaded.
  ::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  const auto args = tarrow::app::CommandLineArguments();
  return args.empty() ? StartWindowProgram() : tarrow::app::RunCommand(args);
}
