// A .reg file written for some values, imported by the registry editor, gives
// back every value with its text and type.
#include <windows.h>

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "changes/reg_export.h"
#include "cli_support.h"

namespace tarrow::testing {
namespace {

constexpr wchar_t kScratch[] = L"Software\\TarrowRegFileTest";

RawValue Read(const std::wstring& key, const std::wstring& name) {
  constexpr DWORD kFlags = RRF_RT_ANY | RRF_NOEXPAND;
  RawValue value;
  DWORD size = 0;
  if (::RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name.c_str(), kFlags, &value.type, nullptr, &size))
    return {};
  value.bytes.resize(size);
  if (::RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name.c_str(), kFlags, &value.type, value.bytes.data(),
                     &size))
    return {};
  value.bytes.resize(size);
  value.present = true;
  return value;
}

// The text with exactly one terminator, as the registry editor stores it.
RawValue Stored(DWORD type, const std::wstring& text) {
  const auto* bytes = reinterpret_cast<const BYTE*>(text.data());
  std::vector<BYTE> data(bytes, bytes + text.size() * sizeof(wchar_t));
  data.insert(data.end(), {0, 0});
  return {true, type, data};
}

class ScratchUserKey {
 public:
  ScratchUserKey() { ::RegDeleteTreeW(HKEY_CURRENT_USER, kScratch); }
  ~ScratchUserKey() { ::RegDeleteTreeW(HKEY_CURRENT_USER, kScratch); }
};

TEST(RegFile, TheRegistryEditorImportsEachValueWithItsTextAndType) {
  const ScratchUserKey scratch;
  const std::wstring key = kScratch;
  const std::wstring icon = key + L"\\caf\u00e9file\\DefaultIcon";
  const std::wstring longText =
      L"%SystemRoot%\\System32\\" + std::wstring(150, L'x') + L"\\imageres.dll,-102";
  const struct {
    std::wstring key, name;
    DWORD type;
    std::wstring text;
  } values[] = {
      {key, L"", REG_SZ, L"\"C:\\Program Files\\x y\\a.dll\",3"},
      {key, L"named \"one\"\\", REG_SZ, L"caf\u00e9 \u65e5\u672c \u0416\u0443\u043a"},
      {key, L"expand", REG_EXPAND_SZ, longText},
      {key, L"short expand", REG_EXPAND_SZ, L"%A%"},
      {key, L"two lines", REG_SZ, L"first\r\nsecond"},
      {key, L"empty", REG_SZ, L""},
      {key, L"tab and bell", REG_SZ, L"a\tb\x07c"},
      {key, L"a lone CR", REG_SZ, L"a\rb"},
      {key, L"a NUL inside", REG_SZ, std::wstring(L"a\0b", 3)},
      {key, L"quote at the end\"", REG_SZ, L"ends in a backslash\\"},
      {key + L"\\ [odd \"q\";=@ -", L"", REG_SZ, L"x"},
      {icon, L"", REG_EXPAND_SZ, L"%ProgramFiles%\\\u00c4rger\\i.ico,0"},
  };
  std::vector<RegFileValue> export_;
  for (const auto& v : values) export_.push_back({L"HKEY_CURRENT_USER\\" + v.key, v.name, v.type, v.text});

  const Scratch folder(L"cli-reg-file");
  const std::wstring file = folder / L"values.reg";
  ASSERT_TRUE(WriteFileBytes(file, RegFileBytes(export_)));
  wchar_t windows[MAX_PATH];
  ::GetWindowsDirectoryW(windows, MAX_PATH);
  const Ran ran = RunCommand(std::wstring(windows) + L"\\regedit.exe", L"/s \"" + file + L"\"");
  ASSERT_TRUE(ran.ended);
  EXPECT_EQ(ran.exitCode, 0u);

  for (const auto& v : values) {
    SCOPED_TRACE(Utf8(v.key + L" " + v.name));
    EXPECT_EQ(Read(v.key, v.name), Stored(v.type, v.text));
  }
}

}  // namespace
}  // namespace tarrow::testing
