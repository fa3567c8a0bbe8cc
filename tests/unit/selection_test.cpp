#include "picker/selection.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "fake_os.h"

namespace tarrow {
namespace {

class SelectionTest : public ::testing::Test {
 protected:
  SelectionTest() {
    shell.iconFiles[L"c:\\icons\\p.dll"] = 30;
    shell.iconFiles[L"c:\\windows\\system32\\shell32.dll"] = 300;
    shell.iconFiles[L"c:\\program files\\app\\app.exe"] = 3;
    shell.environment[L"SystemRoot"] = L"C:\\Windows";
    shell.nonIconFiles.insert(L"c:\\readme.txt");
    types.Add({L".txt", L"txtfile", L"Text Document", L"C:\\Windows\\notepad.exe", std::nullopt, L"Index4"});
    types.Add({L".htm", L"htmlfile", L"HTML Document", L"C:\\Icons\\P.dll", std::nullopt, L"Index9"});
  }
  ~SelectionTest() override {
    EXPECT_EQ(shell.liveIcons(), 0) << "an icon handle was not released";
    EXPECT_EQ(shell.invalidDestroys, 0) << "something that is no handle was released";
  }

  fake::FakeShell shell;
  TypeList types;
  PickerState state;
};

TEST_F(SelectionTest, DoubleClickingATypeLoadsItsIconFileAsWritten) {
  struct Case {
    std::wstring location;  // stored
    std::optional<std::wstring> pending;
    std::wstring filename;
    std::optional<std::wstring> loaded;
  };
  const std::vector<Case> cases = {
      {L"C:\\Windows\\NOTEPAD.exe", std::nullopt, L"", L"C:\\Windows\\NOTEPAD.exe"},
      {L"C:\\Windows\\NOTEPAD.exe,2", std::nullopt, L"", L"C:\\Windows\\NOTEPAD.exe"},
      // Once an icon is assigned, the grid is filled again from its file.
      {L"C:\\x.dll", L"C:\\Icons\\P.dll,21", L"C:\\Icons\\P.dll", L"C:\\Icons\\P.dll"},
      {L"C:\\x.dll", L"C:\\Icons\\P.dll,21", L"c:\\icons\\p.dll", L"C:\\Icons\\P.dll"},
      // The shell splits at the last comma.
      {L"C:\\Acme, Inc\\a.dll,3", std::nullopt, L"", L"C:\\Acme, Inc\\a.dll"},
      {L",3", std::nullopt, L"x", L""},
      // The box in other case: loaded again, as the registry has it.
      {L"C:\\Icons\\P.dll", std::nullopt, L"c:\\icons\\p.dll", L"C:\\Icons\\P.dll"},
      // Already in the box exactly: nothing to do.
      {L"C:\\Icons\\P.dll", std::nullopt, L"C:\\Icons\\P.dll", std::nullopt},
      {L"c:\\icons\\p.dll,3", std::nullopt, L"c:\\icons\\p.dll", std::nullopt},
      // Without an icon of its own: the system's, where its picture comes from.
      {L"", std::nullopt, L"", L"C:\\Windows\\system32\\shell32.dll"},
      {L"", std::nullopt, L"C:\\Windows\\system32\\shell32.dll", std::nullopt},
      {L"", L"C:\\Icons\\P.dll,2", L"C:\\Windows\\system32\\shell32.dll", L"C:\\Icons\\P.dll"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "location " << testing::PrintToString(c.location) << ", Filename "
                                    << testing::PrintToString(c.filename));
    types[1].location = c.location;
    types[1].pending = c.pending;
    EXPECT_EQ(IconFileOfSelectedType(shell, types, 1, c.filename), c.loaded);
    EXPECT_EQ(types[1].location, c.location);
    EXPECT_EQ(types[1].pending, c.pending);
  }
  EXPECT_FALSE(IconFileOfSelectedType(shell, types, std::nullopt, L"x"));
  EXPECT_FALSE(IconFileOfSelectedType(shell, TypeList{}, 0, L""));
}

TEST_F(SelectionTest, TheFrameMovesFromTheLastClickedCell) {
  struct Step {
    std::int64_t click;
    std::int64_t cleared;
  };
  const std::vector<Step> steps = {{3, 0}, {5, 3}, {5, 5}, {1, 5}, {400, 1}};
  for (const auto& step : steps) {
    SCOPED_TRACE(testing::Message() << "click on " << step.click);
    const FrameMove move = FrameCell(state, step.click);
    EXPECT_EQ(move.cleared, step.cleared);
    EXPECT_EQ(move.framed, step.click);
    EXPECT_EQ(state.framedCell, step.click);
  }
}

TEST_F(SelectionTest, BrowseStartsInTheSystemFolderAndKeepsTheChoiceAsChosen) {
  shell.systemDirectory = L"C:\\Windows\\System32\\";
  shell.dialogAnswers = {L"C:\\Windows\\System32\\SHELL32.dll", L"\x1"};
  EXPECT_EQ(BrowseForIconFile(shell, 0x77), L"C:\\Windows\\System32\\SHELL32.dll");
  EXPECT_EQ(BrowseForIconFile(shell, 0x77), L"");
  ASSERT_EQ(shell.dialogRequests.size(), 2u);
  const auto& request = shell.dialogRequests[0];
  EXPECT_EQ(request.owner, 0x77u);
  EXPECT_EQ(request.title, L"Get Icons From");
  EXPECT_EQ(request.initialFolder, L"C:\\Windows\\System32");
  std::wstring filter;
  for (const wchar_t* part :
       {L"Icons and pictures (*.dll;*.exe;*.ico;*.png;*.jpg;*.jpeg;*.bmp;*.gif)",
        L"*.dll;*.exe;*.ico;*.png;*.jpg;*.jpeg;*.bmp;*.gif", L"Icon files (*.dll;*.exe;*.ico)",
        L"*.dll;*.exe;*.ico", L"Pictures (*.png;*.jpg;*.jpeg;*.bmp;*.gif)",
        L"*.png;*.jpg;*.jpeg;*.bmp;*.gif"}) {
    filter += part;
    filter += L'\0';
  }
  EXPECT_EQ(request.filter, filter);

  shell.systemDirectory.clear();
  EXPECT_EQ(StartFolder(shell), L"");
}

}  // namespace
}  // namespace tarrow
