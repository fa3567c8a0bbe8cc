// --list --json under Wine: whether a handler decides a type's icons, and
// the icon the shell itself reports, for a plain type, a type with an icon
// handler and a type whose icon the user's own classes hold.
#include <windows.h>

#include <gtest/gtest.h>
#include <string>

#include "cli_support.h"

namespace tarrow::testing {
namespace {

constexpr wchar_t kHandlerKey[] = L"Software\\Classes\\Tarrow.TypeB\\shellex\\IconHandler";
constexpr wchar_t kUserIconKey[] = L"Software\\Classes\\Tarrow.TypeC";

void SetText(HKEY root, const std::wstring& path, const std::wstring& text) {
  win32::UniqueHkey key;
  ASSERT_EQ(::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr),
            0);
  ASSERT_EQ(::RegSetValueExW(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
            0);
}

// The line of the JSON list that describes the extension.
std::string LineOf(const std::string& json, const std::string& extension) {
  const auto at = json.find("{\"extension\": \"" + extension + "\"");
  if (at == std::string::npos) return {};
  return json.substr(at, json.find('\n', at) - at);
}

class ShellIconJson : public ::testing::Test {
 protected:
  ShellIconJson() { Clean(); }
  ~ShellIconJson() override { Clean(); }
  static void Clean() {
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\Tarrow.TypeB\\shellex");
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kUserIconKey);
  }
};

TEST_F(ShellIconJson, SaysWhetherAHandlerDecidesAndWhatTheShellReports) {
  SetText(HKEY_LOCAL_MACHINE, kHandlerKey, L"{00000000-0000-0000-0000-0000000000AB}");
  SetText(HKEY_CURRENT_USER, std::wstring(kUserIconKey) + L"\\DefaultIcon",
          L"C:\\windows\\system32\\user32.dll,2");
  const Ran ran = RunCommand(ExePath(), L"--list --json");
  ASSERT_EQ(ran.exitCode, 0u) << ran.err;

  // A plain type: Wine's shell reports the value with its reference expanded.
  EXPECT_EQ(
      LineOf(ran.out, ".tarrowa"),
      "{\"extension\": \".tarrowa\", \"progId\": \"Tarrow.TypeA\", \"description\": \"Tarrow Type A\", "
      "\"location\": \"%SystemRoot%\\\\system32\\\\shell32.dll,3\", \"layer\": \"machine\", \"source\": "
      "\"default\", \"changed\": false, \"iconHandler\": false, \"hasIcon\": true, \"packaged\": false, "
      "\"shellIcon\": "
      "\"C:\\\\windows\\\\system32\\\\shell32.dll,3\"},");
  // An icon handler decides: DefaultIcon is what the shell still reports.
  EXPECT_NE(LineOf(ran.out, ".tarrowb")
                .find("\"iconHandler\": true, \"hasIcon\": true, \"packaged\": false, \"shellIcon\": "
                      "\"C:\\\\windows\\\\system32\\\\shell32.dll,-4\""),
            std::string::npos)
      << LineOf(ran.out, ".tarrowb");
  // The user's own icon wins on Windows; Wine's shell reads the machine's.
  EXPECT_NE(
      LineOf(ran.out, ".tarrowc")
          .find(
              "\"location\": \"C:\\\\windows\\\\system32\\\\user32.dll,2\", \"layer\": \"user\", \"source\": "
              "\"default\", \"changed\": false, \"iconHandler\": false, \"hasIcon\": true, \"packaged\": "
              "false, \"shellIcon\": "
              "\"\\\"C:\\\\windows\\\\system32\\\\shell32.dll\\\",7\"}"),
      std::string::npos)
      << LineOf(ran.out, ".tarrowc");
}

}  // namespace
}  // namespace tarrow::testing
