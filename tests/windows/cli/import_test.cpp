// --import of .reg files as the registry editor itself exports them.
#include <windows.h>

#include <gtest/gtest.h>
#include <string>

#include "cli_support.h"

namespace tarrow::testing {
namespace {

constexpr wchar_t kClasses[] = L"Software\\Classes\\";
constexpr wchar_t kPlain[] = L"TarrowImportTest.Plain";
constexpr wchar_t kExpand[] = L"TarrowImportTest.Expand";

class ScratchClasses {
 public:
  ScratchClasses() { Remove(); }
  ~ScratchClasses() { Remove(); }
  ScratchClasses(const ScratchClasses&) = delete;
  ScratchClasses& operator=(const ScratchClasses&) = delete;

 private:
  static void Remove() {
    for (const wchar_t* name : {kPlain, kExpand})
      ::RegDeleteTreeW(HKEY_CURRENT_USER, (std::wstring(kClasses) + name).c_str());
  }
};

void SetDefault(const std::wstring& key, DWORD type, const std::wstring& text) {
  ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), nullptr, type, text.c_str(),
                              static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
}

// regedit /e of one key, with its subkeys.
void Export(const std::wstring& file, const std::wstring& key) {
  wchar_t windows[MAX_PATH];
  ::GetWindowsDirectoryW(windows, MAX_PATH);
  const Ran ran = RunCommand(std::wstring(windows) + L"\\regedit.exe",
                             L"/e \"" + file + L"\" \"HKEY_CURRENT_USER\\" + key + L"\"");
  ASSERT_TRUE(ran.ended);
  ASSERT_TRUE(FileBytes(file)) << "regedit exported nothing";
}

TEST(Import, TakesTheIconsOfTheRegistryEditorsOwnExport) {
  const ScratchClasses scratch;
  const std::wstring plain = std::wstring(kClasses) + kPlain + L"\\DefaultIcon";
  const std::wstring expand = std::wstring(kClasses) + kExpand + L"\\DefaultIcon";
  SetDefault(plain, REG_SZ, L"\"C:\\x y\\caf\u00e9.dll\",-3");
  // Long enough that the editor folds its bytes over several lines.
  SetDefault(expand, REG_EXPAND_SZ, L"%SystemRoot%\\System32\\" + std::wstring(60, L'z') + L".dll,2");
  const Scratch folder(L"cli-import");

  Export(folder / L"plain.reg", plain);
  const Ran first = RunCommand(WindowsPath(TARROW_COM), L"--import \"" + (folder / L"plain.reg") + L"\"");
  // The same value read back and given again: nothing to write, the type
  // holds it already, in the user's own classes.
  EXPECT_EQ(first.exitCode, 0u) << first.err;
  EXPECT_EQ(first.out, "TarrowImportTest.Plain: \"C:\\x y\\caf\xc3\xa9.dll\",-3 (for this user only)\n");

  Export(folder / L"expand.reg", expand);
  const Ran second = RunCommand(WindowsPath(TARROW_COM), L"--import \"" + (folder / L"expand.reg") + L"\"");
  EXPECT_EQ(second.out, "TarrowImportTest.Expand: %SystemRoot%\\System32\\" + std::string(60, 'z') +
                            ".dll,2 (for this user only)\n");
  EXPECT_EQ(second.err, "");

  // The class key itself is more than an icon: refused at its first key.
  Export(folder / L"class.reg", std::wstring(kClasses) + kPlain);
  const Ran refused = RunCommand(WindowsPath(TARROW_COM), L"--import \"" + (folder / L"class.reg") + L"\"");
  EXPECT_EQ(refused.exitCode, 2u);
  EXPECT_EQ(refused.out, "");
  EXPECT_NE(refused.err.find("class.reg, line 3: the key \"HKEY_CURRENT_USER\\Software\\Classes\\"
                             "TarrowImportTest.Plain\" is not a file type's icon key"),
            std::string::npos)
      << refused.err;
}

}  // namespace
}  // namespace tarrow::testing
