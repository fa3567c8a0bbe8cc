// tarrow.com, the console companion: what a command prompt finds and runs.
#include <windows.h>

#include <gtest/gtest.h>
#include <string>

#include "cli_support.h"

namespace tarrow::testing {
namespace {

std::wstring ComPath() {
  return WindowsPath(TARROW_COM);
}

// `command` as typed at a prompt of cmd.exe in `folder`; cmd's exit code,
// which is that of the command's last program.
DWORD RunInCommandPrompt(const std::wstring& folder, const std::wstring& command) {
  const std::wstring cmd = SystemFile(L"cmd.exe");
  std::wstring commandLine = L"\"" + cmd + L"\" /c " + command;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(cmd.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                        &startup, &info)) {
    ADD_FAILURE() << "cannot start cmd.exe";
    return ~0u;
  }
  ::CloseHandle(info.hThread);
  const win32::UniqueHandle process(info.hProcess);
  DWORD exitCode = ~0u;
  if (::WaitForSingleObject(process.get(), kTimeoutMs) != WAIT_OBJECT_0) {
    ::TerminateProcess(process.get(), 1);
    ADD_FAILURE() << "cmd.exe did not end";
  }
  ::GetExitCodeProcess(process.get(), &exitCode);
  return exitCode;
}

// Beside tarrow.com, a tarrow.exe that prints nothing: what the prompt
// prints, only tarrow.com can have printed. (Wine's cmd.exe waits for a
// windowed program too, so waiting alone would not tell them apart.)
TEST(ConsoleCompanion, ThePromptRunsItBeforeTarrowExeWithItsOutputAndExitCode) {
  const Scratch folder(L"companion-" + std::to_wstring(::GetCurrentProcessId()));
  ASSERT_TRUE(::CopyFileW(ComPath().c_str(), (folder / L"tarrow.com").c_str(), FALSE));
  ASSERT_TRUE(
      ::CopyFileW(WindowsPath(TARROW_NO_RESOURCES_EXE).c_str(), (folder / L"tarrow.exe").c_str(), FALSE));

  EXPECT_EQ(RunInCommandPrompt(folder.path(), L"tarrow --version > out.txt"), 0u);
  EXPECT_EQ(FileBytes(folder / L"out.txt"), "Tarrow 1.5 (file version 1.5.0.0)\n");

  EXPECT_EQ(RunInCommandPrompt(folder.path(), L"tarrow --frobnicate 2> err.txt"), 2u);
  EXPECT_EQ(
      FileBytes(folder / L"err.txt").value_or("").rfind("tarrow: unknown command \"--frobnicate\".\n", 0),
      0u);

  for (const wchar_t* help : {L"/?", L"-h"}) {
    EXPECT_EQ(RunInCommandPrompt(folder.path(), std::wstring(L"tarrow ") + help + L" > help.txt"), 0u);
    EXPECT_EQ(FileBytes(folder / L"help.txt").value_or("").rfind("Usage: tarrow [command]\n", 0), 0u);
  }
}

// Without a command, it starts tarrow.exe from its own folder and returns,
// leaving the window open.
TEST(ConsoleCompanion, WithoutACommandItStartsTheWindowBesideItAndReturns) {
  DeleteSnapshots();
  const Ran ran = RunCommand(ComPath(), L"");
  ASSERT_TRUE(ran.ended);
  EXPECT_EQ(ran.exitCode, 0u);
  EXPECT_EQ(ran.err, "");
  HWND window = nullptr;
  EXPECT_TRUE(WaitUntil(
      [&] {
        window = ::FindWindowW(app::kMainWindowClass, kCaption);
        return window != nullptr && ::IsWindowVisible(window);
      },
      kStartTimeoutMs));
  if (window) {
    DWORD id = 0;
    ::GetWindowThreadProcessId(window, &id);
    const win32::UniqueHandle process(::OpenProcess(SYNCHRONIZE, FALSE, id));
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(::WaitForSingleObject(process.get(), kTimeoutMs), static_cast<DWORD>(WAIT_OBJECT_0));
  }
  DeleteSnapshots();
}

}  // namespace
}  // namespace tarrow::testing
