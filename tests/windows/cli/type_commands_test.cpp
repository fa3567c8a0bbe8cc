// The commands over the file types, run as tarrow.exe against the fixture
// registry, checked against an independent reading of it.
#include <gtest/gtest.h>
#include <string>

#include "cli_support.h"

namespace tarrow::testing {
namespace {

class TypeCommands : public ::testing::Test {
 protected:
  void SetUp() override { DeleteSnapshots(); }
  void TearDown() override { DeleteSnapshots(); }
};

TEST_F(TypeCommands, ListGivesEveryTypeTheWindowListsInItsOrder) {
  std::string expected;
  for (const ExpectedType& type : ExpectedTypes()) {
    const auto bracket = type.text.rfind(L"  [");
    const std::wstring description = type.text.substr(0, bracket);
    const std::wstring extension = type.text.substr(bracket + 3, type.text.size() - bracket - 4);
    expected += Utf8(extension + L"\t" + type.progId + L"\t" + description + L"\t" + type.location) + "\n";
  }
  const Ran ran = RunCommand(ExePath(), L"--list");
  EXPECT_EQ(ran.exitCode, 0u) << ran.err;
  EXPECT_EQ(ran.out, expected);
  EXPECT_EQ(ran.err, "");
}

// Set, export, restore, then the exported file imported: the registry's
// editor gives back exactly the value Tarrow had written.
TEST_F(TypeCommands, SetThenRestoreLeavesTheValueAsItWasAndTheExportCarriesTheChange) {
  const KeptValue icon(L"Tarrow.TypeB\\DefaultIcon");
  const RawValue before = DefaultValue(icon.key());
  const std::wstring location = SystemFile(L"shell32.dll") + L",12";

  Ran ran = RunCommand(ExePath(), L"--set .tarrowb " + location);
  ASSERT_EQ(ran.exitCode, 0u) << ran.err;
  EXPECT_EQ(DefaultValue(icon.key()), Text(REG_SZ, location));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, L"Software\\Classes\\Tarrow.TypeB"))
      << "an administrator's change";

  const Scratch folder(L"cli-export");
  ran = RunCommand(ExePath(), L"--export \"" + (folder / L"icons.reg") + L"\"");
  ASSERT_EQ(ran.exitCode, 0u) << ran.err;
  EXPECT_EQ(ran.out, "1 value exported to " + Utf8(folder / L"icons.reg") + ".\n");

  ran = RunCommand(ExePath(), L"--restore .tarrowb");
  ASSERT_EQ(ran.exitCode, 0u) << ran.err;
  EXPECT_EQ(DefaultValue(icon.key()), before);

  wchar_t windows[MAX_PATH];
  ::GetWindowsDirectoryW(windows, MAX_PATH);
  ASSERT_EQ(RunCommand(std::wstring(windows) + L"\\regedit.exe", L"/s \"" + (folder / L"icons.reg") + L"\"")
                .exitCode,
            0u);
  EXPECT_EQ(DefaultValue(icon.key()), Text(REG_SZ, location));
}

TEST_F(TypeCommands, AnUnknownExtensionIsAUsageErrorAndChangesNothing) {
  const auto before = DefaultValue(L"Tarrow.TypeA\\DefaultIcon");
  for (const wchar_t* args : {L"--set .tarrownone C:\\a.dll,1", L"--restore .tarrowa .tarrownone"}) {
    SCOPED_TRACE(Utf8(args));
    const Ran ran = RunCommand(ExePath(), args);
    EXPECT_EQ(ran.exitCode, 2u);
    EXPECT_EQ(ran.err, "tarrow: .tarrownone is not a file type Tarrow lists.\n");
  }
  EXPECT_EQ(DefaultValue(L"Tarrow.TypeA\\DefaultIcon"), before);
}

}  // namespace
}  // namespace tarrow::testing
