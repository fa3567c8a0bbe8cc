// A DLL with a system DLL's name placed beside tarrow.exe (or tarrow.com) is
// never loaded: the program limits the search to the system folder before it
// loads any DLL that could pull one in.
#include <windows.h>

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "cli_support.h"

namespace tarrow::testing {
namespace {

// Wine loads its own DLLs unless told to prefer one beside the program, as
// Windows does for any DLL that is not a known system DLL. A program Wine
// starts reads the preference from the registry, per program name.
class PreferDllsBesideTheProgram {
 public:
  explicit PreferDllsBesideTheProgram(std::vector<std::wstring> programs) : programs_(std::move(programs)) {
    for (const auto& program : programs_) {
      const std::wstring key = kAppDefaults + program + L"\\DllOverrides";
      for (const wchar_t* dll : {L"version", L"imm32"})
        ::RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), dll, REG_SZ, L"native,builtin",
                          sizeof L"native,builtin");
    }
  }
  ~PreferDllsBesideTheProgram() {
    for (const auto& program : programs_)
      ::RegDeleteTreeW(HKEY_CURRENT_USER, (kAppDefaults + program).c_str());
  }
  PreferDllsBesideTheProgram(const PreferDllsBesideTheProgram&) = delete;
  PreferDllsBesideTheProgram& operator=(const PreferDllsBesideTheProgram&) = delete;

 private:
  static constexpr wchar_t kAppDefaults[] = L"Software\\Wine\\AppDefaults\\";
  std::vector<std::wstring> programs_;
};

std::vector<std::string> LoadedMarkers(const std::wstring& folder) {
  std::vector<std::string> markers;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() == L".loaded") markers.push_back(entry.path().filename().string());
  }
  return markers;
}

void RemoveMarkers(const std::wstring& folder) {
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() == L".loaded") std::filesystem::remove(entry.path());
  }
}

TEST(PlantedDlls, NoneBesideTarrowIsLoaded) {
  const Scratch folder(L"cli-planted");
  for (const wchar_t* dll : {L"version.dll", L"imm32.dll"})
    ASSERT_TRUE(
        ::CopyFileW((WindowsPath(TARROW_PLANTED_DLLS) + L"\\" + dll).c_str(), (folder / dll).c_str(), FALSE));
  wchar_t self[MAX_PATH];
  ASSERT_LT(::GetModuleFileNameW(nullptr, self, MAX_PATH), static_cast<DWORD>(MAX_PATH));
  ASSERT_TRUE(::CopyFileW(self, (folder / L"unguarded.exe").c_str(), FALSE));
  const std::wstring exe = folder / L"tarrow.exe";
  ASSERT_TRUE(::CopyFileW(ExePath().c_str(), exe.c_str(), FALSE));
  const std::wstring com = folder / L"tarrow.com";
  ASSERT_TRUE(::CopyFileW(WindowsPath(TARROW_COM).c_str(), com.c_str(), FALSE));
  const PreferDllsBesideTheProgram prefer({L"tarrow.exe", L"tarrow.com", L"unguarded.exe"});

  // This test program loads its DLLs as programs usually do: it shows whether
  // the stand-ins get loaded at all here.
  const Ran unguarded = RunCommand(folder / L"unguarded.exe", L"--gtest_list_tests");
  ASSERT_TRUE(unguarded.ended);
  if (LoadedMarkers(folder.path()).empty())
    GTEST_SKIP() << "a DLL beside a program is not loaded here even without protection: nothing to show";
  RemoveMarkers(folder.path());

  const Ran version = RunCommand(exe, L"--version");
  EXPECT_EQ(version.exitCode, 0u);
  EXPECT_EQ(version.out, "Tarrow 1.5 (file version 1.5.0.0)\n");
  EXPECT_EQ(LoadedMarkers(folder.path()), std::vector<std::string>{}) << "after --version";
  const Ran companion = RunCommand(com, L"--list");
  EXPECT_EQ(companion.exitCode, 0u);
  EXPECT_EQ(LoadedMarkers(folder.path()), std::vector<std::string>{}) << "after tarrow.com --list";

  // The window loads more of the system (common controls, themes, the shell).
  Tarrow window(exe);
  ASSERT_TRUE(window.StartAndWait());
  EXPECT_TRUE(window.Close());
  EXPECT_EQ(LoadedMarkers(folder.path()), std::vector<std::string>{}) << "after the window";
}

TEST(PlantedDlls, IconFilesAreReadAsDataOnly) {
  const Scratch folder(L"cli-icon-data");
  const std::wstring file = folder / L"icons.dll";
  ASSERT_TRUE(
      ::CopyFileW((WindowsPath(TARROW_PLANTED_DLLS) + L"\\version.dll").c_str(), file.c_str(), FALSE));
  win32::Win32Shell shell;
  EXPECT_EQ(shell.CountIcons(file), 0);
  for (const IconHandle icon : shell.ExtractIcons(file, 0, 1, 32)) shell.DestroyIcon(icon);
  const IconDirectory directory = shell.ReadIconDirectory(file);
  EXPECT_TRUE(directory.readable);
  EXPECT_TRUE(directory.icons.empty());
  EXPECT_EQ(LoadedMarkers(folder.path()), std::vector<std::string>{}) << "the file's code ran";

  // Loaded as a program is, its code runs and leaves its mark.
  const HMODULE loaded = ::LoadLibraryW(file.c_str());
  ASSERT_TRUE(loaded);
  ::FreeLibrary(loaded);
  EXPECT_EQ(LoadedMarkers(folder.path()), std::vector<std::string>{"icons.dll.loaded"});
}

}  // namespace
}  // namespace tarrow::testing
