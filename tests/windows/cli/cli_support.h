// tarrow.exe run as a command, its output and errors caught in files.
#pragma once

#include <windows.h>

#include <filesystem>
#include <gtest/gtest.h>
#include <string>

#include "platform/win32/handles.h"
#include "tarrow_process.h"
#include "wine_support.h"

namespace tarrow::testing {

// A folder beside the test program, emptied before and after.
class Scratch {
 public:
  explicit Scratch(const std::wstring& name) : path_(FolderOf(ExePath()) + L"\\" + name) {
    Remove();
    std::filesystem::create_directories(path_);
  }
  ~Scratch() { Remove(); }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  const std::wstring& path() const { return path_; }
  std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

 private:
  void Remove() const {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::wstring path_;
};

struct Ran {
  bool ended = false;
  DWORD exitCode = 0;
  std::string out, err;
};

inline win32::UniqueHandle InheritableFile(const std::wstring& path) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                    CREATE_ALWAYS, 0, nullptr);
  return win32::UniqueHandle(file == INVALID_HANDLE_VALUE ? nullptr : file);
}

// Runs `exe args` with standard output and error going to files, as a
// redirect in a command prompt does; `environment` (a Unicode block) or this
// process's.
inline Ran RunCommand(const std::wstring& exe, const std::wstring& args,
                      const wchar_t* environment = nullptr) {
  const Scratch folder(L"cli-streams-" + std::to_wstring(::GetCurrentProcessId()));
  Ran ran;
  {
    const auto out = InheritableFile(folder / L"out"), err = InheritableFile(folder / L"err");
    EXPECT_TRUE(out && err);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out.get();
    startup.hStdError = err.get();
    PROCESS_INFORMATION info{};
    std::wstring commandLine = L"\"" + exe + L"\" " + args;
    if (!::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                          const_cast<wchar_t*>(environment), nullptr, &startup, &info)) {
      ADD_FAILURE() << "cannot start " << Utf8(exe);
      return ran;
    }
    ::CloseHandle(info.hThread);
    const win32::UniqueHandle process(info.hProcess);
    // A message box would keep it waiting for an answer no one gives.
    ran.ended = ::WaitForSingleObject(process.get(), kTimeoutMs) == WAIT_OBJECT_0;
    if (!ran.ended) ::TerminateProcess(process.get(), 1);
    ::GetExitCodeProcess(process.get(), &ran.exitCode);
  }
  ran.out = FileBytes(folder / L"out").value_or("<none>");
  ran.err = FileBytes(folder / L"err").value_or("<none>");
  return ran;
}

}  // namespace tarrow::testing
