// The commands over the file types, run as tarrow.exe against the fixture
// registry, checked against an independent reading of it.
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <vector>

#include "cli_support.h"
// After windows.h, which cli_support.h brings.
#include <shellapi.h>

namespace tarrow::testing {
namespace {

// A field of --list's lines: tab, CR and LF escaped, nothing else.
std::wstring Field(const std::wstring& text) {
  std::wstring out;
  for (const wchar_t c : text) {
    if (c == L'\t')
      out += L"\\t";
    else if (c == L'\r')
      out += L"\\r";
    else if (c == L'\n')
      out += L"\\n";
    else
      out += c;
  }
  return out;
}

// Every key and value below `path`, with types and bytes, in a stable order.
void Dump(HKEY root, const std::wstring& path, std::wstring& out, bool deep = true) {
  win32::UniqueHkey key;
  if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return;
  out += L"[" + path + L"]\n";
  for (DWORD i = 0;; ++i) {
    wchar_t name[16384];
    DWORD chars = std::size(name), type = 0, bytes = 0;
    if (::RegEnumValueW(key.get(), i, name, &chars, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS) break;
    std::vector<BYTE> data(bytes);
    chars = std::size(name);
    ::RegEnumValueW(key.get(), i, name, &chars, nullptr, &type, data.data(), &bytes);
    out += std::wstring(name, chars) + L"=" + std::to_wstring(type) + L":";
    for (const BYTE b : data) out += std::to_wstring(b) + L",";
    out += L"\n";
  }
  std::vector<std::wstring> subkeys;
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD chars = std::size(name);
    if (::RegEnumKeyExW(key.get(), i, name, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    subkeys.emplace_back(name, chars);
  }
  for (const auto& sub : subkeys) {
    if (deep) {
      Dump(root, path.empty() ? sub : path + L"\\" + sub, out);
    } else {
      out += L"  " + sub + L"\n";
    }
  }
}

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
    expected += Utf8(Field(extension) + L"\t" + Field(type.progId) + L"\t" + Field(description) + L"\t" +
                     Field(type.location)) +
                "\n";
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

// The drift check a fleet tool runs before and after the remedy: an exported
// set, checked where its icon is gone, imported, and checked again.
TEST_F(TypeCommands, CheckSaysASetIsNotInPlaceUntilItIsImported) {
  const KeptValue icon(L"Tarrow.TypeB\\DefaultIcon");
  const RawValue before = DefaultValue(icon.key());
  const std::wstring location = SystemFile(L"shell32.dll") + L",14";
  ASSERT_EQ(RunCommand(ExePath(), L"--set .tarrowb " + location).exitCode, 0u);
  const Scratch folder(L"cli-check");
  const std::wstring set = folder / L"set.reg";
  ASSERT_EQ(RunCommand(ExePath(), L"--export \"" + set + L"\"").exitCode, 0u);
  Ran ran = RunCommand(ExePath(), L"--check \"" + set + L"\"");
  EXPECT_EQ(ran.exitCode, 0u) << ran.out << ran.err;
  EXPECT_EQ(ran.out, "The 1 icon of " + Utf8(set) + " is in place.\n");

  ASSERT_EQ(RunCommand(ExePath(), L"--restore .tarrowb").exitCode, 0u);
  ran = RunCommand(ExePath(), L"--check \"" + set + L"\"");
  EXPECT_EQ(ran.exitCode, 1u) << ran.err;
  EXPECT_EQ(ran.out, Utf8(L"Tarrow.TypeB: " + TextOf(before) + L" (for all users), not " + location) +
                         "\n1 of 1 icon of " + Utf8(set) + " differs; --import puts them in place.\n");
  EXPECT_EQ(DefaultValue(icon.key()), before) << "--check changes nothing";

  ASSERT_EQ(RunCommand(ExePath(), L"--import \"" + set + L"\"").exitCode, 0u);
  EXPECT_EQ(RunCommand(ExePath(), L"--check \"" + set + L"\"").exitCode, 0u);
  ASSERT_EQ(RunCommand(ExePath(), L"--restore .tarrowb").exitCode, 0u);

  const std::wstring other = folder / L"other.reg";
  WriteFileBytes(other, "REGEDIT4\r\n\r\n[HKEY_CLASSES_ROOT\\Tarrow.TypeB\\shell]\r\n@=\"x\"\r\n");
  ran = RunCommand(ExePath(), L"--check \"" + other + L"\"");
  EXPECT_EQ(ran.exitCode, 2u);
  EXPECT_NE(ran.err.find("Nothing was checked."), std::string::npos) << ran.err;
}

// A class with a description and no DefaultIcon: listed only with --all,
// given its first icon by --set (an administrator's: a key beside the
// machine's class), and left by --restore exactly as it was.
TEST_F(TypeCommands, ATypeWithoutAnIconIsListedOnRequestGivenOneAndLeftAsItWas) {
  const ScratchKey type(L".tarrowbare"), typeClass(L"Tarrow.Bare");
  type.SetText(L"", L"Tarrow.Bare");
  typeClass.SetText(L"", L"Tarrow Bare Type");
  const std::wstring classPath = L"Software\\Classes\\Tarrow.Bare";
  std::wstring before;
  Dump(HKEY_LOCAL_MACHINE, classPath, before);

  Ran ran = RunCommand(ExePath(), L"--list");
  ASSERT_EQ(ran.exitCode, 0u) << ran.err;
  EXPECT_EQ(("\n" + ran.out).find("\n.tarrowbare\t"), std::string::npos);
  ran = RunCommand(ExePath(), L"--list --all");
  ASSERT_EQ(ran.exitCode, 0u) << ran.err;
  EXPECT_NE(("\n" + ran.out).find("\n.tarrowbare\tTarrow.Bare\tTarrow Bare Type\t\n"), std::string::npos)
      << ran.out;
  ran = RunCommand(ExePath(), L"--json --list --all");
  ASSERT_EQ(ran.exitCode, 0u) << ran.err;
  const auto entry = ran.out.find(
      "{\"extension\": \".tarrowbare\", \"progId\": \"Tarrow.Bare\", \"description\": "
      "\"Tarrow Bare Type\", \"location\": \"\", \"layer\": \"machine\"");
  ASSERT_NE(entry, std::string::npos) << ran.out;
  EXPECT_EQ(ran.out.find("\"hasIcon\": false", entry), ran.out.find("\"hasIcon\"", entry));

  const std::wstring location = SystemFile(L"shell32.dll") + L",12";
  ran = RunCommand(ExePath(), L"--set .tarrowbare " + location);
  ASSERT_EQ(ran.exitCode, 0u) << ran.err;
  EXPECT_EQ(ran.out, "Tarrow Bare Type (.tarrowbare): " + Utf8(location) + " (for all users)\n");
  EXPECT_EQ(DefaultValue(L"Tarrow.Bare\\DefaultIcon"), Text(REG_SZ, location));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, classPath));

  ran = RunCommand(ExePath(), L"--restore .tarrowbare");
  ASSERT_EQ(ran.exitCode, 0u) << ran.err;
  EXPECT_EQ(ran.out, "1 icon restored.\n");
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, classPath + L"\\DefaultIcon"));
  std::wstring after;
  Dump(HKEY_LOCAL_MACHINE, classPath, after);
  EXPECT_EQ(after, before) << "the class as it was";
  ran = RunCommand(ExePath(), L"--restore .tarrowbare");
  EXPECT_EQ(ran.exitCode, 0u) << ran.err;
  EXPECT_EQ(ran.out, "0 icons restored.\n");
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, classPath));
}

TEST_F(TypeCommands, AnUnknownExtensionIsAUsageErrorAndChangesNothing) {
  const auto before = DefaultValue(L"Tarrow.TypeA\\DefaultIcon");
  const std::wstring set = L"--set .tarrownone " + SystemFile(L"shell32.dll") + L",1";
  for (const std::wstring& args : {set, std::wstring(L"--restore .tarrowa .tarrownone")}) {
    SCOPED_TRACE(Utf8(args));
    const Ran ran = RunCommand(ExePath(), args);
    EXPECT_EQ(ran.exitCode, 2u);
    EXPECT_EQ(ran.err, "tarrow: .tarrownone is not a file type Tarrow lists.\n");
  }
  EXPECT_EQ(DefaultValue(L"Tarrow.TypeA\\DefaultIcon"), before);
}

TEST_F(TypeCommands, SetRefusesALocationWithoutAnIconThereAndChangesNothing) {
  const KeptValue icon(L"Tarrow.TypeB\\DefaultIcon");
  const struct {
    std::wstring location;
    std::string error;
  } cases[] = {
      {L"%1", "tarrow: \"%1\" makes each file its own icon"},
      {Fixture(L"not-an-icon.ico"), "\" holds no icons, or cannot be read"},
      {Fixture(L"three-sizes.ico") + L",1", "\" holds 1 icon, numbered 0: there is no icon 1.\n"},
      {SystemFile(L"shell32.dll") + L",-32000",
       "\" holds no icon with the resource id 32000 (the index -32000).\n"},
      {SystemFile(L"shell32.dll") + L",99999", ": there is no icon 99999.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf8(c.location));
    const Ran ran = RunCommand(ExePath(), L"--set .tarrowb \"" + c.location + L"\"");
    EXPECT_EQ(ran.exitCode, 2u);
    EXPECT_NE(ran.err.find(c.error), std::string::npos) << ran.err;
    EXPECT_EQ(DefaultValue(icon.key()), icon.original());
  }
  // An icon the file holds is taken.
  const std::wstring byId = Fixture(L"three-sizes.ico") + L",0";
  ASSERT_EQ(RunCommand(ExePath(), L"--set .tarrowb \"" + byId + L"\"").exitCode, 0u);
  EXPECT_EQ(DefaultValue(icon.key()), Text(REG_SZ, byId));
  EXPECT_EQ(RunCommand(ExePath(), L"--restore .tarrowb").exitCode, 0u);
}

// A class name may hold line breaks and "[...]": exported as it is, it would
// add lines that set values of their own on import.
TEST_F(TypeCommands, AnExportLeavesOutANameThatWouldAddLinesAndImportsNothingElse) {
  const std::wstring hostile = L"Tarrow.Hostile]\r\n[HKEY_CURRENT_USER]\r\n\"TarrowPlanted\"=\"1\"\r\n[x";
  // What a key line carries as it is: blanks, quotes, "[", "=", "@", "-".
  const std::wstring odd = L" Tarrow [odd \"q\";=@ \u00e9 - ";
  const ScratchKey hostileType(L".tarrowhostile"), hostileClass(hostile), oddType(L".tarrowodd"),
      oddClass(odd);
  hostileType.SetText(L"", hostile);
  hostileClass.SetText(L"", L"Hostile");
  hostileClass.SetText(L"DefaultIcon", SystemFile(L"shell32.dll") + L",1");
  oddType.SetText(L"", odd);
  oddClass.SetText(L"", L"Odd");
  oddClass.SetText(L"DefaultIcon", SystemFile(L"shell32.dll") + L",2");
  const auto listing = [&] {
    std::wstring out;
    for (const HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_CLASSES_ROOT})
      Dump(root, L"", out, false);
    Dump(HKEY_CURRENT_USER, L"Software\\Classes", out);
    for (const auto* key : {&hostileType, &hostileClass, &oddType, &oddClass})
      Dump(HKEY_CLASSES_ROOT, key->name(), out);
    return out;
  };

  const std::wstring hostileIcon = SystemFile(L"shell32.dll") + L",3";
  const std::wstring oddIcon = SystemFile(L"shell32.dll") + L",4";
  ASSERT_EQ(RunCommand(ExePath(), L"--set .tarrowhostile " + hostileIcon).exitCode, 0u);
  ASSERT_EQ(RunCommand(ExePath(), L"--set .tarrowodd " + oddIcon).exitCode, 0u);
  const Scratch folder(L"cli-hostile");
  Ran ran = RunCommand(ExePath(), L"--export \"" + (folder / L"icons.reg") + L"\"");
  EXPECT_EQ(ran.exitCode, 1u);
  EXPECT_EQ(
      ran.err,
      "tarrow: the icon of \"Tarrow.Hostile]\\r\\n[HKEY_CURRENT_USER]\\r\\n\"TarrowPlanted\"=\"1\"\\r\\n[x\" "
      "was left out: its key name holds a line break or another control character, which a .reg file cannot "
      "carry.\n");
  EXPECT_EQ(ran.out, "1 value exported to " + Utf8(folder / L"icons.reg") + ".\n");

  ran = RunCommand(ExePath(), L"--restore .tarrowhostile .tarrowodd");
  ASSERT_EQ(ran.exitCode, 0u) << ran.err;
  const std::wstring before = listing();
  wchar_t windows[MAX_PATH];
  ::GetWindowsDirectoryW(windows, MAX_PATH);
  ASSERT_EQ(RunCommand(std::wstring(windows) + L"\\regedit.exe", L"/s \"" + (folder / L"icons.reg") + L"\"")
                .exitCode,
            0u);
  // The one value the file lists is back; with it put as it was, nothing
  // else differs.
  const std::wstring oddKey = odd + L"\\DefaultIcon";
  EXPECT_EQ(DefaultValue(oddKey), Text(REG_SZ, oddIcon));
  EXPECT_EQ(DefaultValue(hostile + L"\\DefaultIcon"), Text(REG_SZ, SystemFile(L"shell32.dll") + L",1"));
  oddClass.SetText(L"DefaultIcon", SystemFile(L"shell32.dll") + L",2");
  const std::wstring after = listing();
  EXPECT_TRUE(before == after) << Utf8(after.substr(0, 4000));
  EXPECT_FALSE(DefaultValue(L"", HKEY_CURRENT_USER).present);
  EXPECT_EQ(
      ::RegGetValueW(HKEY_CURRENT_USER, nullptr, L"TarrowPlanted", RRF_RT_ANY, nullptr, nullptr, nullptr),
      ERROR_FILE_NOT_FOUND);
  ::RegDeleteKeyValueW(HKEY_CURRENT_USER, nullptr, L"TarrowPlanted");
}

// "Open with", then a program browsed to: the user's choice names the
// program's class, which has a command and no name or icon of its own.
// Wine's shell ignores the choice; the list follows it as Explorer does.
TEST_F(TypeCommands, AProgramChosenByItsFileIsListedWithItsTypesName) {
  const ScratchKey type(L".tarrowapp"), typeClass(L"Tarrow.AppDoc");
  type.SetText(L"", L"Tarrow.AppDoc");
  typeClass.SetText(L"", L"Tarrow App Document");
  typeClass.SetText(L"DefaultIcon", SystemFile(L"shell32.dll") + L",1");
  const std::wstring program = SystemFile(L"notepad.exe");
  const std::wstring choice = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.tarrowapp";
  const std::wstring programClass = L"Software\\Classes\\Applications\\tarrowpad.exe";
  const auto clean = [&] {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, choice.c_str());
    ::RegDeleteTreeW(HKEY_CURRENT_USER, programClass.c_str());
  };
  clean();
  const std::wstring command = L"\"" + program + L"\" \"%1\"";
  ASSERT_EQ(
      ::RegSetKeyValueW(HKEY_CURRENT_USER, (programClass + L"\\shell\\open\\command").c_str(), nullptr,
                        REG_SZ, command.c_str(), static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t))),
      ERROR_SUCCESS);
  const std::wstring progId = L"Applications\\tarrowpad.exe";
  ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, (choice + L"\\UserChoice").c_str(), L"ProgId", REG_SZ,
                              progId.c_str(), static_cast<DWORD>((progId.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);

  const Ran ran = RunCommand(ExePath(), L"--list");
  clean();
  EXPECT_EQ(ran.exitCode, 0u) << ran.err;
  const std::string line =
      "\n.tarrowapp\tApplications\\tarrowpad.exe\tTarrow App Document\t" + Utf8(Field(program)) + ",0\n";
  EXPECT_NE(("\n" + ran.out).find(line), std::string::npos) << ran.out;
  EXPECT_GT(::ExtractIconExW(program.c_str(), -1, nullptr, nullptr, 0), 0u)
      << "the program holds the icon shown";
}

}  // namespace
}  // namespace tarrow::testing
