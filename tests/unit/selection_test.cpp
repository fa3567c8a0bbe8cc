#include "picker/selection.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "fake_os.h"

namespace tarrow {
namespace {

// Keeps a description of every icon it was given, as the image list keeps a
// copy of the picture.
class RecordingSink : public PictureSink {
 public:
  explicit RecordingSink(fake::FakeShell& shell) : shell_(shell) {}
  int AddPicture(IconHandle icon) override {
    if (refuse) return -1;
    pictures.push_back(shell_.Describe(icon));
    return static_cast<int>(pictures.size()) - 1;
  }
  void RemoveAllPictures() override { pictures.clear(); }
  std::vector<std::wstring> pictures;
  bool refuse = false;

 private:
  fake::FakeShell& shell_;
};

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

  bool Assign(std::optional<std::size_t> selected, const std::wstring& filename, std::int64_t cell) {
    return AssignIcon(shell, state, types, images, selected, filename, cell, 16);
  }

  fake::FakeShell shell;
  RecordingSink sink{shell};
  ImageStore images{sink};
  TypeList types;
  PickerState state;
};

TEST_F(SelectionTest, CellKAssignsIconKMinusOneOfTheFileAsTyped) {
  struct Case {
    std::wstring filename;
    std::int64_t cell;
    std::wstring tag;
    std::wstring picture;  // which icon was drawn into the list's picture
  };
  const std::vector<Case> cases = {
      {L"C:\\Icons\\P.dll", 1, L"C:\\Icons\\P.dll,0", L"c:\\icons\\p.dll#0@16"},
      {L"C:\\Icons\\P.dll", 4, L"C:\\Icons\\P.dll,3", L"c:\\icons\\p.dll#3@16"},
      {L"C:\\ICONS\\p.DLL", 22, L"C:\\ICONS\\p.DLL,21", L"c:\\icons\\p.dll#21@16"},
      {L"c:\\icons\\p.dll", 30, L"c:\\icons\\p.dll,29", L"c:\\icons\\p.dll#29@16"},
      // References and quotes are resolved for extraction only.
      {L"%SystemRoot%\\System32\\shell32.dll", 300, L"%SystemRoot%\\System32\\shell32.dll,299",
       L"c:\\windows\\system32\\shell32.dll#299@16"},
      {L"\"C:\\Program Files\\App\\app.exe\"", 2, L"\"C:\\Program Files\\App\\app.exe\",1",
       L"c:\\program files\\app\\app.exe#1@16"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "cell " << c.cell << " of " << testing::PrintToString(c.filename));
    const auto counter = state.ChangeCounter;
    ASSERT_TRUE(Assign(1, c.filename, c.cell));
    EXPECT_EQ(types[1].pending, c.tag);
    EXPECT_EQ(types[1].picture, L"Change" + std::to_wstring(counter + 1));
    EXPECT_EQ(state.ChangeCounter, counter + 1);
    EXPECT_TRUE(IsChanged(types[1]));
    ASSERT_FALSE(sink.pictures.empty());
    EXPECT_EQ(sink.pictures.back(), c.picture);
    EXPECT_EQ(images.IndexOf(types[1].picture), static_cast<int>(sink.pictures.size()) - 1);
  }
  // The other type is untouched.
  EXPECT_EQ(types[0].picture, L"Index4");
  EXPECT_FALSE(IsChanged(types[0]));
}

TEST_F(SelectionTest, NothingChangesWithoutATypeOrAnIcon) {
  struct Case {
    const char* what;
    std::optional<std::size_t> selected;
    std::wstring filename;
    std::int64_t cell;
  };
  const std::vector<Case> cases = {
      {"no selected type", std::nullopt, L"C:\\Icons\\P.dll", 1},
      {"selection past the list", 2, L"C:\\Icons\\P.dll", 1},
      {"icon past the file's last", 0, L"C:\\Icons\\P.dll", 31},
      {"file without icons", 0, L"C:\\nothing.txt", 1},
      {"file that is no icon source", 0, L"C:\\README.txt", 1},
      {"empty file name", 0, L"", 1},
      {"the template cell", 0, L"C:\\Icons\\P.dll", 0},
      {"a negative cell", 0, L"C:\\Icons\\P.dll", -1},
      {"a cell beyond 32 bits", 0, L"C:\\Icons\\P.dll", std::int64_t{1} << 33},
  };
  state.ChangeCounter = 41;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(Assign(c.selected, c.filename, c.cell));
    EXPECT_EQ(state.ChangeCounter, 41);
    EXPECT_TRUE(sink.pictures.empty());
    EXPECT_EQ(types[0].picture, L"Index4");
    EXPECT_FALSE(IsChanged(types[0]));
  }
  // Double-clicking an empty list's type is as harmless.
  TypeList empty;
  EXPECT_FALSE(AssignIcon(shell, state, empty, images, 0, L"C:\\Icons\\P.dll", 1, 16));
  EXPECT_FALSE(IconFileOfSelectedType(shell, state, empty, 0, L""));
  EXPECT_EQ(state.ChangeCounter, 41);
}

TEST_F(SelectionTest, TheLatestAssignmentWinsAndEveryPictureStays) {
  ASSERT_TRUE(Assign(0, L"C:\\Icons\\P.dll", 5));
  NoteItemClick(state);
  ASSERT_TRUE(Assign(0, L"C:\\Icons\\P.dll", 9));
  EXPECT_EQ(types[0].pending, L"C:\\Icons\\P.dll,8");
  EXPECT_EQ(types[0].picture, L"Change3");
  EXPECT_EQ(images.keys(), (std::vector<std::wstring>{L"Change1", L"Change3"}));
  EXPECT_EQ(sink.pictures, (std::vector<std::wstring>{L"c:\\icons\\p.dll#4@16", L"c:\\icons\\p.dll#8@16"}));
}

TEST_F(SelectionTest, EveryAssignmentGetsANewPictureKey) {
  // Clicks on the list, loads and assignments all advance the counter;
  // assignments never reuse a key, also past 16 bits.
  state.ChangeCounter = 32766;
  std::vector<std::wstring> keys;
  for (int round = 0; round < 4; ++round) {
    ASSERT_TRUE(Assign(round % 2, L"C:\\Icons\\P.dll", round + 1));
    keys.push_back(types[round % 2].picture);
    NoteItemClick(state);
    IconFileOfSelectedType(shell, state, types, 1, L"somewhere else");
  }
  EXPECT_EQ(keys,
            (std::vector<std::wstring>{L"Change32767", L"Change32770", L"Change32773", L"Change32776"}));
  EXPECT_EQ(images.size(), 4u);
}

TEST_F(SelectionTest, AnAssignmentStandsWhenTheListCannotTakeThePicture) {
  sink.refuse = true;
  ASSERT_TRUE(Assign(0, L"C:\\Icons\\P.dll", 2));
  EXPECT_EQ(types[0].pending, L"C:\\Icons\\P.dll,1");
  EXPECT_TRUE(IsChanged(types[0]));
}

TEST_F(SelectionTest, DoubleClickingATypeLoadsItsIconFileInLowerCase) {
  struct Case {
    std::wstring location;  // stored
    std::optional<std::wstring> pending;
    std::wstring filename;
    std::optional<std::wstring> loaded;
  };
  const std::vector<Case> cases = {
      {L"C:\\Windows\\NOTEPAD.exe", std::nullopt, L"", L"c:\\windows\\notepad.exe"},
      {L"C:\\Windows\\NOTEPAD.exe,2", std::nullopt, L"", L"c:\\windows\\notepad.exe"},
      // Once an icon is assigned, the grid is filled again from its file.
      {L"C:\\x.dll", L"C:\\Icons\\P.dll,21", L"C:\\Icons\\P.dll", L"c:\\icons\\p.dll"},
      {L"C:\\x.dll", L"C:\\Icons\\P.dll,21", L"c:\\icons\\p.dll", L"c:\\icons\\p.dll"},
      // The shell splits at the last comma.
      {L"C:\\Acme, Inc\\a.dll,3", std::nullopt, L"", L"c:\\acme, inc\\a.dll"},
      {L",3", std::nullopt, L"x", L""},
      // Scanned in capitals, the file is loaded again on every double-click.
      {L"C:\\Icons\\P.dll", std::nullopt, L"c:\\icons\\p.dll", L"c:\\icons\\p.dll"},
      // Already in the box exactly: nothing to do.
      {L"c:\\icons\\p.dll", std::nullopt, L"c:\\icons\\p.dll", std::nullopt},
      {L"c:\\icons\\p.dll,3", std::nullopt, L"c:\\icons\\p.dll", std::nullopt},
      {L"", std::nullopt, L"", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "location " << testing::PrintToString(c.location) << ", Filename "
                                    << testing::PrintToString(c.filename));
    types[1].location = c.location;
    types[1].pending = c.pending;
    const auto counter = state.ChangeCounter;
    EXPECT_EQ(IconFileOfSelectedType(shell, state, types, 1, c.filename), c.loaded);
    EXPECT_EQ(state.ChangeCounter, counter + (c.loaded ? 1 : 0));
    EXPECT_EQ(types[1].location, c.location);
    EXPECT_EQ(types[1].pending, c.pending);
  }
  EXPECT_FALSE(IconFileOfSelectedType(shell, state, types, std::nullopt, L"x"));
}

TEST_F(SelectionTest, TheFrameMovesFromTheLastClickedCell) {
  struct Step {
    std::int64_t click;
    std::int64_t cleared;
  };
  const std::vector<Step> steps = {{3, 0}, {5, 3}, {5, 5}, {1, 5}, {400, 1}};
  for (const auto& step : steps) {
    SCOPED_TRACE(testing::Message() << "click on " << step.click);
    const FrameMove move = SelectIconbox(state, step.click);
    EXPECT_EQ(move.cleared, step.cleared);
    EXPECT_EQ(move.framed, step.click);
    EXPECT_EQ(state.SelectedIconbox, step.click);
  }
  EXPECT_EQ(state.ChangeCounter, 0);
}

TEST_F(SelectionTest, BrowseStartsInTheSystemFolderAndLowersTheChoice) {
  shell.systemDirectory = L"C:\\Windows\\System32\\";
  shell.dialogAnswers = {L"C:\\Windows\\System32\\SHELL32.dll", L"\x1"};
  EXPECT_EQ(BrowseForIconFile(shell, 0x77), L"c:\\windows\\system32\\shell32.dll");
  EXPECT_EQ(BrowseForIconFile(shell, 0x77), L"");
  ASSERT_EQ(shell.dialogRequests.size(), 2u);
  const auto& request = shell.dialogRequests[0];
  EXPECT_EQ(request.owner, 0x77u);
  EXPECT_EQ(request.title, L"Get Icons From");
  EXPECT_EQ(request.initialFolder, L"C:\\Windows\\System32");
  std::wstring filter = L"Icon Files (*.dll;*.exe;*.ico)";
  filter += L'\0';
  filter += L"*.dll;*.exe;*.ico";
  filter += L'\0';
  EXPECT_EQ(request.filter, filter);

  shell.systemDirectory.clear();
  EXPECT_EQ(StartFolder(shell), L"");
}

}  // namespace
}  // namespace tarrow
