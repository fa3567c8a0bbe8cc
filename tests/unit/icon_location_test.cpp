#include "catalog/icon_location.h"

#include <gtest/gtest.h>

#include "fake_os.h"

namespace tarrow {
namespace {

std::string Narrow(const std::wstring& text) {
  return std::string(text.begin(), text.end());
}

TEST(SplitIconLocationTest, CutsAtTheLastCommaBeforeAnIndexAndKeepsTheFileAsWritten) {
  const struct {
    const wchar_t* location;
    const wchar_t* file;
    int index;
  } cases[] = {
      {L"shell32.dll", L"shell32.dll", 0},
      {L"a.dll,5", L"a.dll", 5},
      {L"a.dll,-201", L"a.dll", -201},
      {L",3", L"", 3},
      {L"", L"", 0},
      // Without an integer after the last comma, the comma is part of the file.
      {L"a.dll,", L"a.dll,", 0},
      {L"a.dll,x7", L"a.dll,x7", 0},
      {L"a.dll,3abc", L"a.dll,3abc", 0},
      {L"a.dll,- 3", L"a.dll,- 3", 0},
      {L"C:\\Acme, Inc\\acme.dll", L"C:\\Acme, Inc\\acme.dll", 0},
      {L"C:\\Acme, Inc\\acme.dll,7", L"C:\\Acme, Inc\\acme.dll", 7},
      {L"C:\\My,Icons\\set.dll,2", L"C:\\My,Icons\\set.dll", 2},
      {L"a,1,2", L"a,1", 2},
      {L"a.dll,\t+4\t", L"a.dll", 4},
      {L"\"C:\\x y\\a.dll\",1", L"\"C:\\x y\\a.dll\"", 1},
      {L"%SystemRoot%\\a.dll,  7 ", L"%SystemRoot%\\a.dll", 7},
      {L" a.dll ,1", L" a.dll ", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Narrow(c.location));
    const IconLocation split = SplitIconLocation(c.location);
    EXPECT_EQ(split.file, c.file);
    EXPECT_EQ(split.index, c.index);
  }
}

TEST(ParseIconIndexTest, ReadsLeadingDigitsAndGivesZeroForNoneOrTooBig) {
  const struct {
    const wchar_t* text;
    int index;
  } cases[] = {
      {L"0", 0},
      {L"12", 12},
      {L"+12", 12},
      {L"-1", -1},
      {L" \t 4", 4},
      {L"4  ", 4},
      {L"3abc", 3},
      {L"2,5", 2},
      {L"1.9", 1},
      {L"0007", 7},
      {L"", 0},
      {L"   ", 0},
      {L"-", 0},
      {L"+-3", 0},
      {L"- 3", 0},
      {L"x3", 0},
      {L"2147483647", 2147483647},
      {L"-2147483648", -2147483647 - 1},
      {L"2147483648", 0},
      {L"-2147483649", 0},
      {L"99999999999999999999999", 0},
      {L"00000000000000000000000000042", 42},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Narrow(c.text));
    EXPECT_EQ(ParseIconIndex(c.text), c.index);
  }
}

TEST(BuildIconLocationTest, JoinsFileAndDecimalIndexAndSplitsBack) {
  EXPECT_EQ(BuildIconLocation(L"c:\\windows\\moricons.dll", 3), L"c:\\windows\\moricons.dll,3");
  EXPECT_EQ(BuildIconLocation(L"c:\\windows\\moricons.dll", 0), L"c:\\windows\\moricons.dll,0");
  EXPECT_EQ(BuildIconLocation(L" \"a b.dll\" ", 12), L" \"a b.dll\" ,12");
  EXPECT_EQ(BuildIconLocation(L"a.dll", -201), L"a.dll,-201");
  // A comma in the file survives the round trip.
  EXPECT_EQ(SplitIconLocation(BuildIconLocation(L"C:\\My,Icons\\set.dll", 2)).file, L"C:\\My,Icons\\set.dll");
  const IconLocation back = SplitIconLocation(BuildIconLocation(L"x.ico", 41));
  EXPECT_EQ(back.file, L"x.ico");
  EXPECT_EQ(back.index, 41);
}

TEST(IconFileForExtractionTest, ExpandsReferencesThenRemovesOnePairOfQuotes) {
  fake::FakeShell shell;
  shell.environment[L"SystemRoot"] = L"C:\\Windows";
  shell.environment[L"Q"] = L"\"";
  const struct {
    const wchar_t* file;
    const wchar_t* forExtraction;
  } cases[] = {
      {L"%SystemRoot%\\a.dll", L"C:\\Windows\\a.dll"},
      {L"\"C:\\x y\\a.dll\"", L"C:\\x y\\a.dll"},
      {L"\"%SystemRoot%\\a.dll\"", L"C:\\Windows\\a.dll"},
      {L"\"\"a.dll\"\"", L"\"a.dll\""},
      {L"\"a.dll", L"\"a.dll"},
      {L"a.dll\"", L"a.dll\""},
      {L"\"", L"\""},
      {L"\"\"", L""},
      {L" \"a.dll\"", L" \"a.dll\""},
      {L"%Q%a.dll%Q%", L"a.dll"},
      {L"%Unknown%\\a.dll", L"%Unknown%\\a.dll"},
      {L"", L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Narrow(c.file));
    EXPECT_EQ(IconFileForExtraction(shell, c.file), c.forExtraction);
  }
}

}  // namespace
}  // namespace tarrow
