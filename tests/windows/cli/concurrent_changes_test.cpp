// Several tarrow.exe at once, as a script starting commands in parallel
// runs them: the lock lets one change icons at a time, no original is lost,
// and one restore gives every type back.
#include <windows.h>

#include <sddl.h>

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "cli_support.h"

namespace tarrow::testing {
namespace {

constexpr int kTypes = 8;

std::wstring ClassName(int i) {
  return L"Tarrow.Parallel" + std::to_wstring(i);
}

void SetDefault(HKEY root, const std::wstring& path, const std::wstring& text) {
  win32::UniqueHkey key;
  ASSERT_EQ(::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr),
            ERROR_SUCCESS);
  ::RegSetValueExW(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

// Eight types of the machine's, made for the test and removed after it.
class ConcurrentChanges : public ::testing::Test {
 protected:
  void SetUp() override {
    Remove();
    DeleteSnapshots();
    for (int i = 0; i < kTypes; ++i) {
      SetDefault(HKEY_CLASSES_ROOT, L".tarrowpar" + std::to_wstring(i), ClassName(i));
      SetDefault(HKEY_CLASSES_ROOT, ClassName(i), L"Parallel Type " + std::to_wstring(i));
      SetDefault(HKEY_CLASSES_ROOT, ClassName(i) + L"\\DefaultIcon", Original(i));
    }
  }
  void TearDown() override {
    Remove();
    DeleteSnapshots();
  }
  static std::wstring Original(int i) { return SystemFile(L"shell32.dll") + L"," + std::to_wstring(i); }
  static std::wstring Mine(int i) { return SystemFile(L"shell32.dll") + L"," + std::to_wstring(20 + i); }
  static void Remove() {
    for (int i = 0; i < kTypes; ++i) {
      ::RegDeleteTreeW(HKEY_CLASSES_ROOT, (L".tarrowpar" + std::to_wstring(i)).c_str());
      ::RegDeleteTreeW(HKEY_CLASSES_ROOT, ClassName(i).c_str());
      ::RegDeleteTreeW(HKEY_CURRENT_USER, (L"Software\\Classes\\" + ClassName(i)).c_str());
    }
  }
};

TEST_F(ConcurrentChanges, EightSetsAtOnceLoseNoOriginalAndOneRestoreGivesAllBack) {
  std::vector<PROCESS_INFORMATION> started;
  for (int i = 0; i < kTypes; ++i) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::wstring commandLine =
        L"\"" + ExePath() + L"\" --set .tarrowpar" + std::to_wstring(i) + L" " + Mine(i);
    ASSERT_TRUE(::CreateProcessW(ExePath().c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                 nullptr, &startup, &info));
    ::CloseHandle(info.hThread);
    started.push_back(info);
  }
  for (int i = 0; i < kTypes; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(::WaitForSingleObject(started[i].hProcess, kTimeoutMs), WAIT_OBJECT_0);
    DWORD code = 99;
    ::GetExitCodeProcess(started[i].hProcess, &code);
    EXPECT_EQ(code, 0u) << "no command is refused while another one changes icons";
    ::CloseHandle(started[i].hProcess);
    EXPECT_EQ(DefaultText(ClassName(i) + L"\\DefaultIcon"), Mine(i));
  }

  const Ran ran = RunCommand(ExePath(), L"--restore");
  EXPECT_EQ(ran.exitCode, 0u) << ran.err;
  for (int i = 0; i < kTypes; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(DefaultValue(ClassName(i) + L"\\DefaultIcon"), Text(REG_SZ, Original(i)));
  }
  // Again: nothing more to do, nothing said.
  const Ran again = RunCommand(ExePath(), L"--restore");
  EXPECT_EQ(again.exitCode, 0u) << again.err;
  EXPECT_EQ(again.out, "0 icons restored.\n");
}

// The machine record's key, its access list loosened by someone: a restore
// uses none of it, and says so.
TEST_F(ConcurrentChanges, AMachineRecordOthersCanChangeIsNotTrusted) {
  ASSERT_EQ(RunCommand(ExePath(), L"--set .tarrowpar0 " + Mine(0)).exitCode, 0u);
  {
    win32::UniqueHkey key;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Tarrow", 0, WRITE_DAC, key.put()),
              ERROR_SUCCESS);
    PSECURITY_DESCRIPTOR loose = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;KA;;;BA)(A;;KA;;;BU)",
                                                                       SDDL_REVISION_1, &loose, nullptr));
    EXPECT_EQ(::RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, loose), ERROR_SUCCESS);
    ::LocalFree(loose);
  }
  const Ran ran = RunCommand(ExePath(), L"--restore");
  EXPECT_EQ(ran.exitCode, 1u);
  EXPECT_NE(ran.err.find("can be changed by others than administrators"), std::string::npos) << ran.err;
  EXPECT_EQ(DefaultText(ClassName(0) + L"\\DefaultIcon"), Mine(0));
  ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Tarrow");
}

}  // namespace
}  // namespace tarrow::testing
