#include "changes/reg_export.h"

#include <gtest/gtest.h>
#include <string>

namespace tarrow {
namespace {

// UTF-16 LE bytes of the text, as the file should hold them.
std::string Bytes(const std::u16string& text) {
  std::string bytes;
  for (const char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

constexpr char16_t kHeader[] = u"\uFEFFWindows Registry Editor Version 5.00\r\n";

TEST(RegExportTest, QuotedTextEscapesBackslashesAndQuotesAndKeepsOtherCharacters) {
  const struct {
    const wchar_t* text;
    const char16_t* written;
  } cases[] = {
      {L"C:\\Windows\\a.dll,3", u"\"C:\\\\Windows\\\\a.dll,3\""},
      {L"\"C:\\x y\\a.dll\",1", u"\"\\\"C:\\\\x y\\\\a.dll\\\",1\""},
      {L"", u"\"\""},
      {L"caf\u00e9 \u65e5\u672c.ico", u"\"caf\u00e9 \u65e5\u672c.ico\""},
      {L"100%", u"\"100%\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "case " << (&c - cases));
    const std::string bytes =
        RegFileBytes({{L"HKEY_CURRENT_USER\\Software\\Classes\\a\\DefaultIcon", L"", kRegSz, c.text}});
    EXPECT_EQ(bytes, Bytes(std::u16string(kHeader) +
                           u"\r\n[HKEY_CURRENT_USER\\Software\\Classes\\a\\DefaultIcon]\r\n@=" + c.written +
                           u"\r\n\r\n"));
  }
}

TEST(RegExportTest, NamedValuesAreQuotedAndKeysAppearOnceInTheOrderFirstGiven) {
  const std::string bytes = RegFileBytes({
      {L"HKEY_CURRENT_USER\\A", L"x\"y\\z", kRegSz, L"1"},
      {L"HKEY_LOCAL_MACHINE\\B", L"", kRegSz, L"2"},
      {L"HKEY_CURRENT_USER\\A", L"", kRegSz, L"3"},
  });
  EXPECT_EQ(bytes, Bytes(std::u16string(kHeader) +
                         u"\r\n[HKEY_CURRENT_USER\\A]\r\n\"x\\\"y\\\\z\"=\"1\"\r\n@=\"3\"\r\n"
                         u"\r\n[HKEY_LOCAL_MACHINE\\B]\r\n@=\"2\"\r\n\r\n"));
}

TEST(RegExportTest, ExpandableTextIsHexOfItsUtf16WithTheTerminatorFoldedAt77Columns) {
  // "@=hex(2):" is 9 columns; 23 bytes of 3 columns reach 78 >= 77, so the
  // first line holds 23 bytes, each further line 25.
  const std::wstring text = L"%SystemRoot%\\System32\\imageres.dll,-102";  // 39 characters, 80 bytes
  const std::string bytes = RegFileBytes({{L"HKEY_CURRENT_USER\\K", L"", kRegExpandSz, text}});
  const std::u16string expected =
      std::u16string(kHeader) + u"\r\n[HKEY_CURRENT_USER\\K]\r\n" +
      u"@=hex(2):25,00,53,00,79,00,73,00,74,00,65,00,6d,00,52,00,6f,00,6f,00,74,00,25,\\\r\n"
      u"  00,5c,00,53,00,79,00,73,00,74,00,65,00,6d,00,33,00,32,00,5c,00,69,00,6d,00,\\\r\n"
      u"  61,00,67,00,65,00,72,00,65,00,73,00,2e,00,64,00,6c,00,6c,00,2c,00,2d,00,31,\\\r\n"
      u"  00,30,00,32,00,00,00\r\n\r\n";
  EXPECT_EQ(bytes, Bytes(expected));
}

TEST(RegExportTest, HexCarriesNonAsciiUnitsAndANamedValueStartsFurtherRight) {
  // "\"ab\"=hex(2):" is 12 columns: 22 bytes fill the first line to 78.
  const std::string bytes =
      RegFileBytes({{L"HKEY_CURRENT_USER\\K", L"ab", kRegExpandSz, L"\u00e9\u65e5%A%xxxxxx"}});
  EXPECT_EQ(bytes,
            Bytes(std::u16string(kHeader) + u"\r\n[HKEY_CURRENT_USER\\K]\r\n" +
                  u"\"ab\"=hex(2):e9,00,e5,65,25,00,41,00,25,00,78,00,78,00,78,00,78,00,78,00,78,00,\\\r\n"
                  u"  00,00\r\n\r\n"));
}

TEST(RegExportTest, TextWithALineBreakOrNulIsWrittenAsHexOfItsType) {
  const std::string bytes = RegFileBytes({
      {L"HKEY_CURRENT_USER\\K", L"a", kRegSz, L"x\ny"},
      {L"HKEY_CURRENT_USER\\K", L"b", kRegSz, std::wstring(L"x\0y", 3)},
      {L"HKEY_CURRENT_USER\\K", L"c", kRegSz, L"x\ry"},
  });
  EXPECT_EQ(bytes, Bytes(std::u16string(kHeader) + u"\r\n[HKEY_CURRENT_USER\\K]\r\n" +
                         u"\"a\"=hex(1):78,00,0a,00,79,00,00,00\r\n"
                         u"\"b\"=hex(1):78,00,00,00,79,00,00,00\r\n"
                         u"\"c\"=hex(1):78,00,0d,00,79,00,00,00\r\n\r\n"));
}

TEST(RegExportTest, TextWithATabOrAnyOtherControlCharacterIsWrittenAsHex) {
  const std::string bytes = RegFileBytes({
      {L"HKEY_CURRENT_USER\\K", L"", kRegSz, L"a\tb"},
      {L"HKEY_CURRENT_USER\\K", L"e", kRegSz, L"\x1a"},
  });
  EXPECT_EQ(bytes, Bytes(std::u16string(kHeader) + u"\r\n[HKEY_CURRENT_USER\\K]\r\n" +
                         u"@=hex(1):61,00,09,00,62,00,00,00\r\n"
                         u"\"e\"=hex(1):1a,00,00,00\r\n\r\n"));
}

// The registry editor reads a key line up to its "]" and each line on its
// own, with no escapes in key names: a class name may hold anything but a
// backslash, and whatever would read back as another key is left out.
TEST(RegExportTest, ValuesWhoseNamesAFileCannotCarryAreNamedAndLeftOut) {
  const struct {
    const wchar_t* key;
    const wchar_t* name;
    const wchar_t* problem;
  } cases[] = {
      {L"HKEY_CURRENT_USER\\Software\\Classes\\x]\r\n[HKEY_CURRENT_USER]\r\n\"P\"=\"1\"\\DefaultIcon", L"",
       L"its key name holds a line break or another control character"},
      {L"HKEY_CURRENT_USER\\Software\\Classes\\a\nb\\DefaultIcon", L"",
       L"its key name holds a line break or another control character"},
      {L"HKEY_CURRENT_USER\\Software\\Classes\\a\rb\\DefaultIcon", L"",
       L"its key name holds a line break or another control character"},
      {L"HKEY_CURRENT_USER\\Software\\Classes\\a\x01\\DefaultIcon", L"",
       L"its key name holds a line break or another control character"},
      {L"HKEY_CURRENT_USER\\Software\\Classes\\a]b\\DefaultIcon", L"", L"its key name holds a \"]\""},
      {L"HKEY_CURRENT_USER\\Software\\Classes\\\\DefaultIcon", L"", L"its key name has an empty part"},
      {L"HKEY_CURRENT_USER\\", L"", L"its key name has an empty part"},
      {L"", L"", L"its key name has an empty part"},
      {L"-HKEY_CURRENT_USER\\Software", L"", L"its key name starts with \"-\""},
      {L"HKEY_CURRENT_USER\\K", L"a\r\nb", L"its value name holds a line break or another control character"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "case " << (&c - cases));
    const RegFileValue value{c.key, c.name, kRegSz, L"x.dll,1"};
    EXPECT_EQ(RegFileProblem(value), c.problem);
    EXPECT_EQ(RegFileBytes({value, {L"HKEY_CURRENT_USER\\Ok", L"", kRegSz, L"1"}}),
              Bytes(std::u16string(kHeader) + u"\r\n[HKEY_CURRENT_USER\\Ok]\r\n@=\"1\"\r\n\r\n"));
  }
  // What a key name may hold: the file carries it as it is.
  const std::wstring odd = L"HKEY_CURRENT_USER\\Software\\Classes\\ [a \"q\";=@ \u00e9 -\\DefaultIcon";
  EXPECT_EQ(RegFileProblem({odd, L"", kRegSz, L"1"}), L"");
  EXPECT_EQ(RegFileProblem({odd, L"t\"\\", kRegSz, L"1"}), L"");
}

TEST(RegExportTest, NothingToWriteIsTheHeaderAlone) {
  EXPECT_EQ(RegFileBytes({}), Bytes(std::u16string(kHeader) + u"\r\n"));
}

}  // namespace
}  // namespace tarrow
