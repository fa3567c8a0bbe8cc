#include "picker/grid_text.h"

#include <gtest/gtest.h>

#include "fake_os.h"

namespace tarrow {
namespace {

TEST(GridTextTest, AnEmptyGridSaysWhy) {
  fake::FakeShell shell;
  fake::FakeFileSystem files;
  shell.environment[L"SystemRoot"] = L"C:\\Windows";
  files.files[L"C:\\Windows\\notes.txt"] = "text";
  files.files[L"C:\\locked.dll"] = "MZ";
  files.unreadable.insert(L"C:\\locked.dll");
  files.files[L"C:\\icons.dll"] = "MZ";
  files.files[L"C:\\cat.Jpeg"] = "not decoded";
  struct Case {
    std::wstring file;
    int icons;
    std::wstring text;
  };
  const std::vector<Case> cases = {
      {L"", 0, L""},
      {L"C:\\icons.dll", 3, L""},
      {L"C:\\gone.dll", 0, L"There is no file by this name."},
      {L"C:\\locked.dll", 0, L"This file cannot be read."},
      // Resolved as extraction resolves it: the reference is expanded.
      {L"%SystemRoot%\\notes.txt", 0, L"This file holds no icons, or they cannot be read."},
      {L"\"C:\\icons.dll\"", 0, L"This file holds no icons, or they cannot be read."},
      {L"C:\\cat.Jpeg", 0,
       L"This picture is damaged, or larger than Tarrow makes icons of (50 MB, 10,000 pixels a side)."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::string(c.file.begin(), c.file.end()));
    EXPECT_EQ(EmptyGridText(shell, files, c.file, c.icons), c.text);
  }
}

TEST(GridTextTest, AScreenReaderHearsWhichIconIsFramed) {
  EXPECT_EQ(GridAccessibleName(5, 184), L"Icon 5 of 184");
  EXPECT_EQ(GridAccessibleName(184, 184), L"Icon 184 of 184");
  EXPECT_EQ(GridAccessibleName(0, 184), L"184 icons");
  EXPECT_EQ(GridAccessibleName(185, 184), L"184 icons");
  EXPECT_EQ(GridAccessibleName(0, 1), L"1 icon");
  EXPECT_EQ(GridAccessibleName(3, 0), L"No icons");
}

}  // namespace
}  // namespace tarrow
