#include "changes/reg_import.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "changes/reg_export.h"
#include "fake_os.h"

namespace tarrow {
namespace {

// A Unicode .reg file's bytes: a byte order mark, then the text in UTF-16 LE.
std::string Unicode(const std::u16string& text) {
  std::string bytes = "\xFF\xFE";
  for (const char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

std::string Narrow(const std::wstring& text) {
  std::string narrow;
  for (const wchar_t c : text) narrow += c < 0x80 ? static_cast<char>(c) : '?';
  return narrow;
}

constexpr char16_t kHead[] = u"Windows Registry Editor Version 5.00\r\n\r\n";
constexpr std::optional<ClassLayer> kUser = ClassLayer::User;
constexpr std::optional<ClassLayer> kMachine = ClassLayer::Machine;
constexpr std::optional<ClassLayer> kClassesRoot = std::nullopt;

TEST(RegImportTest, ReadsTheDefaultIconValuesOfEachFormAndRoot) {
  const struct {
    std::string bytes;
    std::vector<RegIconValue> values;
  } cases[] = {
      // As --export writes it.
      {Unicode(std::u16string(kHead) + u"[HKEY_CURRENT_USER\\Software\\Classes\\txtfile\\DefaultIcon]\r\n@="
                                       u"\"C:\\\\Icons\\\\a.dll,3\"\r\n"),
       {{kUser, L"txtfile", L"C:\\Icons\\a.dll,3", kRegSz}}},
      // Every root, names in any case, quotes, blanks and comments.
      {Unicode(std::u16string(kHead) +
               u"; a comment\r\n  \r\n"
               u"[hkey_local_machine\\SOFTWARE\\classes\\A.B\\defaulticon]\r\n"
               u"@ = \"\\\"C:\\\\x y\\\\a.dll\\\",-2\"\r\n"
               u"[HKEY_CLASSES_ROOT\\caf\u00e9\\DefaultIcon]\r\n@=\"\u65e5.ico\"\r\n"),
       {{kMachine, L"A.B", L"\"C:\\x y\\a.dll\",-2", kRegSz},
        {kClassesRoot, L"caf\u00e9", L"\u65e5.ico", kRegSz}}},
      // REG_EXPAND_SZ as bytes, folded over lines, its terminator dropped.
      {Unicode(std::u16string(kHead) + u"[HKEY_CURRENT_USER\\Software\\Classes\\k\\DefaultIcon]\r\n"
                                       u"@=hex(2):25,00,41,00,25,00,2c,00,\\\r\n  31,00,00,00\r\n"),
       {{kUser, L"k", L"%A%,1", kRegExpandSz}}},
      // Text with a line break, which quotes cannot carry: hex(1).
      {Unicode(std::u16string(kHead) +
               u"[HKEY_CURRENT_USER\\Software\\Classes\\k\\DefaultIcon]\n@=hex(1):78,00,0a,00,79,00\n"),
       {{kUser, L"k", L"x\ny", kRegSz}}},
      // A key without a value sets nothing; LF line ends.
      {Unicode(std::u16string(kHead) + u"[HKEY_CLASSES_ROOT\\k\\DefaultIcon]\n"), {}},
      // REGEDIT4 in the ANSI code page (Windows-1252 here), hex(2) as bytes.
      {"REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Classes\\k\\DefaultIcon]\r\n@=\"caf\xe9.ico\"\r\n"
       "[HKEY_CLASSES_ROOT\\j\\DefaultIcon]\r\n@=hex(2):25,41,25,00\r\n",
       {{kUser, L"k", L"caf\u00e9.ico", kRegSz}, {kClassesRoot, L"j", L"%A%", kRegExpandSz}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "case " << (&c - cases));
    fake::FakeShell shell;
    const RegIconFile file = ReadRegIconFile(c.bytes, shell);
    EXPECT_TRUE(file.ok()) << file.faultLine << ": " << Narrow(file.fault);
    EXPECT_EQ(file.values, c.values);
  }
}

// A set written by hand and saved by a text editor: each encoding the
// registry editor reads, and the others named.
TEST(RegImportTest, ReadsEachEncodingTheRegistryEditorReadsAndNamesTheOthers) {
  const std::string key = "[HKEY_CLASSES_ROOT\\k\\DefaultIcon]\r\n";
  const std::vector<RegIconValue> cafe = {{kClassesRoot, L"k", L"caf\u00e9.ico", kRegSz}};
  const struct {
    const char* what;
    std::string bytes;
    std::vector<RegIconValue> values;  // when read
    const wchar_t* refusal;            // when not
  } cases[] = {
      {"UTF-16 LE with its mark", Unicode(u"Windows Registry Editor Version 5.00\r\n" + std::u16string(
                                              u"[HKEY_CLASSES_ROOT\\k\\DefaultIcon]\r\n@=\"caf\u00e9.ico\"\r\n")),
       cafe, nullptr},
      {"UTF-8 with its mark", "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n" + key + "@=\"caf\xC3\xA9.ico\"\r\n",
       cafe, nullptr},
      {"UTF-8 without a mark", "Windows Registry Editor Version 5.00\r\n" + key + "@=\"caf\xC3\xA9.ico\"\r\n", cafe,
       nullptr},
      {"ANSI (Windows-1252 here)", "Windows Registry Editor Version 5.00\r\n" + key + "@=\"caf\xE9.ico\"\r\n", cafe,
       nullptr},
      // After version 5.00, text in hex is UTF-16 whatever the file's encoding.
      {"UTF-8, hex(2) in UTF-16", "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n" + key +
                                      "@=hex(2):25,00,41,00,25,00,00,00\r\n",
       {{kClassesRoot, L"k", L"%A%", kRegExpandSz}}, nullptr},
      {"REGEDIT4 in UTF-8 with its mark", "\xEF\xBB\xBFREGEDIT4\r\n" + key + "@=\"caf\xC3\xA9.ico\"\r\n", cafe,
       nullptr},
      {"UTF-16 BE", std::string("\xFE\xFF\0W\0i", 6), {}, L"the file is saved as UTF-16 big-endian, which"},
      {"UTF-16 LE without its mark", std::string("W\0i\0n\0", 6), {},
       L"the file is saved as UTF-16 without a byte order mark, which"},
      {"UTF-32", std::string("\xFF\xFE\0\0W\0\0\0", 8), {}, L"the file is saved as UTF-32, which"},
      {"REGEDIT4 in UTF-16", Unicode(u"REGEDIT4\r\n"), {},
       L"a registry file in Unicode starts with \"Windows Registry Editor Version 5.00\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fake::FakeShell shell;
    const RegIconFile file = ReadRegIconFile(c.bytes, shell);
    if (c.refusal == nullptr) {
      EXPECT_TRUE(file.ok()) << file.faultLine << ": " << Narrow(file.fault);
      EXPECT_EQ(file.values, c.values);
      continue;
    }
    EXPECT_EQ(file.faultLine, 1u);
    EXPECT_EQ(file.fault.rfind(c.refusal, 0), 0u) << Narrow(file.fault);
    if (file.fault.find(L"saved as") != std::wstring::npos) {
      EXPECT_TRUE(file.fault.ends_with(L": save it as Unicode (UTF-16 LE), UTF-8 or ANSI")) << Narrow(file.fault);
    }
  }
}

TEST(RegImportTest, RefusesAnythingElseNamingTheFirstLineAtFault) {
  const std::u16string key = u"[HKEY_CURRENT_USER\\Software\\Classes\\k\\DefaultIcon]\r\n";
  const struct {
    std::string bytes;
    std::size_t line;
    const wchar_t* reason;
  } cases[] = {
      {"", 1, L"it is not a registry file"},
      {"REGEDIT5\r\n", 1, L"it is not a registry file"},
      {Unicode(u"REGEDIT4\r\n"), 1, L"starts with \"Windows Registry Editor Version 5.00\""},
      {Unicode(std::u16string(kHead) + u"@=\"a\"\r\n"), 3, L"a value comes before any key"},
      {Unicode(std::u16string(kHead) + u"[HKEY_CURRENT_USER\\Software\\Classes\\k\\Shell]\r\n"), 3,
       L"is not a file type's icon key"},
      {Unicode(std::u16string(kHead) + u"[HKEY_USERS\\S\\Software\\Classes\\k\\DefaultIcon]\r\n"), 3,
       L"is not a file type's icon key"},
      {Unicode(std::u16string(kHead) + u"[HKEY_CLASSES_ROOT\\DefaultIcon]\r\n"), 3,
       L"is not a file type's icon key"},
      {Unicode(std::u16string(kHead) + u"[HKEY_CLASSES_ROOT\\\\DefaultIcon]\r\n"), 3,
       L"is not a file type's icon key"},
      {Unicode(std::u16string(kHead) + u"[HKEY_CLASSES_ROOT\\k\\DefaultIcon\r\n"), 3,
       L"closing bracket is missing"},
      {Unicode(std::u16string(kHead) + u"[-HKEY_CLASSES_ROOT\\k\\DefaultIcon]\r\n"), 3, L"deletes a key"},
      {Unicode(std::u16string(kHead) + u"[HKEY_CLASSES_ROOT\\a\\b\\DefaultIcon]\r\n"), 3,
       L"type's name \"a\\b\" holds a backslash"},
      {Unicode(std::u16string(kHead) + u"[HKEY_CLASSES_ROOT\\a\tb\\DefaultIcon]\r\n"), 3,
       L"type's name \"a?b\" holds a control character"},
      {Unicode(std::u16string(kHead) + key + u"@=-\r\n"), 4, L"deletes a value"},
      {Unicode(std::u16string(kHead) + key + u"\"name\"=\"a\"\r\n"), 4, L"not a named value"},
      {Unicode(std::u16string(kHead) + key + u"@=dword:00000001\r\n"), 4, L"is not text"},
      {Unicode(std::u16string(kHead) + key + u"@=hex:01,02\r\n"), 4, L"is not text"},
      {Unicode(std::u16string(kHead) + key + u"@\"a\"\r\n"), 4, L"an \"=\" must follow the @"},
      {Unicode(std::u16string(kHead) + key + u"@=\"a\r\n"), 4, L"no closing quote"},
      {Unicode(std::u16string(kHead) + key + u"@=\"a\"b\r\n"), 4, L"something follows the closing quote"},
      {Unicode(std::u16string(kHead) + key + u"@=\"a\\nb\"\r\n"), 4, L"backslash in quoted text"},
      {Unicode(std::u16string(kHead) + key + u"@=hex(2):41,00,\\\r\n  4g,00\r\n"), 5, L"bytes in hex"},
      {Unicode(std::u16string(kHead) + key + u"@=hex(2):41,100\r\n"), 4, L"bytes in hex"},
      {Unicode(std::u16string(kHead) + key + u"@=hex(2):41,00,\r\n"), 4, L"ends with a comma"},
      {Unicode(std::u16string(kHead) + key + u"@=hex(2):41,00\\\r\n00\r\n"), 4, L"must end with \",\\\""},
      {Unicode(std::u16string(kHead) + key + u"@=hex(2):41,00,\\\r\n"), 4, L"past the end of the file"},
      {Unicode(std::u16string(kHead) + key + u"@=hex(2):41,00,42\r\n"), 4, L"not whole UTF-16 characters"},
      {Unicode(std::u16string(kHead) + key + u"x\r\n"), 4, L"neither a key in brackets"},
      // The good values before the fault are not kept either.
      {Unicode(std::u16string(kHead) + key + u"@=\"a\"\r\n[HKEY_CLASSES_ROOT\\k\\Shell]\r\n"), 5,
       L"is not a file type's icon key"},
      {Unicode(std::u16string(kHead)) + "x", 3, L"ends in the middle of a character"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "case " << (&c - cases));
    fake::FakeShell shell;
    const RegIconFile file = ReadRegIconFile(c.bytes, shell);
    EXPECT_FALSE(file.ok());
    EXPECT_TRUE(file.values.empty());
    EXPECT_EQ(file.faultLine, c.line);
    EXPECT_NE(file.fault.find(c.reason), std::wstring::npos) << Narrow(file.fault);
  }
}

TEST(RegImportTest, WhatTheExportWritesReadsBackToTheSameValues) {
  const std::vector<RegIconValue> values = {
      {kUser, L"txtfile", L"C:\\Icons\\\"a\".dll,3", kRegSz},
      {kMachine, L"caf\u00e9 [x", L"%SystemRoot%\\System32\\imageres.dll,-102 and more text to fold",
       kRegExpandSz},
      {kUser, L"lines", L"a\r\nb", kRegSz},
      {kUser, L"nul", std::wstring(L"a\0b", 3), kRegSz},
      {kMachine, L"empty", L"", kRegSz},
  };
  std::vector<RegFileValue> written;
  for (const RegIconValue& value : values) {
    const wchar_t* root = value.layer == ClassLayer::User ? L"HKEY_CURRENT_USER\\" : L"HKEY_LOCAL_MACHINE\\";
    written.push_back({root + DefaultIconPath(value.className), L"", value.type, value.location});
  }
  fake::FakeShell shell;
  const RegIconFile file = ReadRegIconFile(RegFileBytes(written), shell);
  EXPECT_TRUE(file.ok()) << file.faultLine << ": " << Narrow(file.fault);
  EXPECT_EQ(file.values, values);
}

}  // namespace
}  // namespace tarrow
