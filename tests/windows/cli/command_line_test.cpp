// tarrow.exe run as a command: what it writes where, and its exit codes.
#include <windows.h>

#include <gtest/gtest.h>
#include <string>

#include "cli_support.h"
#include "platform/win32/instance.h"

namespace tarrow::testing {
namespace {

TEST(CommandLine, VersionGoesToTheRedirectedOutputAsOneLine) {
  const Ran ran = RunCommand(ExePath(), L"--version");
  ASSERT_TRUE(ran.ended) << "tarrow.exe did not end: a window or message box is up";
  EXPECT_EQ(ran.exitCode, 0u);
  EXPECT_EQ(ran.out, "Tarrow 1.5 (file version 1.5.0.0)\n");
  EXPECT_EQ(ran.err, "");
}

TEST(CommandLine, VersionReachesAPipe) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE read = nullptr, write = nullptr;
  ASSERT_TRUE(::CreatePipe(&read, &write, &inherit, 0));
  const win32::UniqueHandle reader(read);
  ::SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = startup.hStdError = write;
  PROCESS_INFORMATION info{};
  std::wstring commandLine = L"\"" + ExePath() + L"\" --version";
  const bool started = ::CreateProcessW(ExePath().c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &info);
  ::CloseHandle(write);
  ASSERT_TRUE(started);
  ::CloseHandle(info.hThread);
  const win32::UniqueHandle process(info.hProcess);
  std::string got;
  char buffer[256];
  DWORD n = 0;
  while (::ReadFile(read, buffer, sizeof buffer, &n, nullptr) && n > 0) got.append(buffer, n);
  ASSERT_EQ(::WaitForSingleObject(process.get(), kTimeoutMs), WAIT_OBJECT_0);
  EXPECT_EQ(got, "Tarrow 1.5 (file version 1.5.0.0)\n");
}

TEST(CommandLine, IconsOfRealFiles) {
  const Ran ico = RunCommand(ExePath(), L"--icons \"" + Fixture(L"three-sizes.ico") + L"\"");
  EXPECT_EQ(ico.exitCode, 0u);
  EXPECT_EQ(ico.out, "0\t48x48x32 32x32x32 16x16x32\n");
  EXPECT_EQ(ico.err, "");

  const Ran program = RunCommand(ExePath(), L"--icons \"" + ExePath() + L"\"");
  EXPECT_EQ(program.exitCode, 0u);
  EXPECT_EQ(program.out, "0\t256x256x32 64x64x32 48x48x32 32x32x32 32x32x4 24x24x32 16x16x32\n");

  const Ran none = RunCommand(ExePath(), L"--icons \"" + WindowsPath(TARROW_NO_RESOURCES_EXE) + L"\"");
  EXPECT_EQ(none.exitCode, 1u);
  EXPECT_EQ(none.out, "");
  EXPECT_EQ(none.err, "tarrow: \"" + Utf8(WindowsPath(TARROW_NO_RESOURCES_EXE)) + "\" holds no icons.\n");
}

TEST(CommandLine, ErrorsAreUtf8WhenRedirected) {
  const Scratch folder(L"cli-utf8");
  // A-umlaut, a CJK letter and a character beyond the first plane.
  const std::wstring missing = folder / L"\u00c4\u4e2d\U0001F600.ico";
  const Ran ran = RunCommand(ExePath(), L"--icons \"" + missing + L"\"");
  EXPECT_EQ(ran.exitCode, 1u);
  EXPECT_EQ(ran.out, "");
  EXPECT_EQ(ran.err, "tarrow: cannot read icons from \"" + Utf8(folder.path()) +
                         "\\\xC3\x84\xE4\xB8\xAD\xF0\x9F\x98\x80.ico\": there is no file by this name.\n");
}

TEST(CommandLine, BadArgumentsExitTwoWithTheUsageOnTheErrorStream) {
  for (const wchar_t* args :
       {L"--frobnicate", L"--set txt a.dll", L"--set .txt \"\"", L"--icons", L"--help x"}) {
    SCOPED_TRACE(Utf8(args));
    const Ran ran = RunCommand(ExePath(), args);
    ASSERT_TRUE(ran.ended);
    EXPECT_EQ(ran.exitCode, 2u);
    EXPECT_EQ(ran.out, "");
    EXPECT_EQ(ran.err.rfind("tarrow: ", 0), 0u) << ran.err;
    EXPECT_NE(ran.err.find("\nUsage: tarrow [command]\n"), std::string::npos) << ran.err;
  }
}

TEST(CommandLine, WritesAreRefusedWhileTheWindowHoldsItsName) {
  {
    const win32::SingleInstance window(win32::kSingleInstanceName);
    ASSERT_FALSE(window.PrevInstance()) << "another Tarrow runs";
    EXPECT_TRUE(win32::InstanceRuns(win32::kSingleInstanceName));
    for (const wchar_t* args : {L"--set .txt a.dll,1", L"--restore", L"--restore .txt"}) {
      SCOPED_TRACE(Utf8(args));
      const Ran ran = RunCommand(ExePath(), args);
      EXPECT_EQ(ran.exitCode, 3u);
      EXPECT_EQ(ran.err, "tarrow: Tarrow's window is open. Close it, then run the command again.\n");
    }
    EXPECT_EQ(RunCommand(ExePath(), L"--version").exitCode, 0u);
  }
  EXPECT_FALSE(win32::InstanceRuns(win32::kSingleInstanceName));
  EXPECT_EQ(RunCommand(ExePath(), L"--set .tarrownone a.dll,1").exitCode, 2u)
      << "runs once the window is gone";
}

}  // namespace
}  // namespace tarrow::testing
