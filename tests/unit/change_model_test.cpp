#include "changes/change_model.h"

#include <gtest/gtest.h>
#include <set>
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

class ChangeModelTest : public ::testing::Test {
 protected:
  ChangeModelTest() {
    fake.shell.iconFiles[L"c:\\icons\\p.dll"] = 30;
    fake.shell.iconFiles[L"c:\\windows\\system32\\shell32.dll"] = 300;
    fake.shell.iconFiles[L"c:\\program files\\app\\app.exe"] = 3;
    fake.shell.environment[L"SystemRoot"] = L"C:\\Windows";
    fake.shell.nonIconFiles.insert(L"c:\\readme.txt");
    fake.files.files[L"C:\\Pictures\\Cat.PNG"] = "cat";
    fake.files.files[L"C:\\Pictures\\broken.gif"] = "not a picture";
    fake.shell.pictures["cat"] = RgbaImage{2, 1, {1, 2, 3, 4, 5, 6, 7, 8}};
    for (const auto* progId : {L"txtfile", L"htmlfile", L"batfile"})
      fake.registry.SetText(kLocalMachine, DefaultIconPath(progId), L"", L"C:\\old.dll,0");
    // Rows 1 and 2 share htmlfile.
    types.Add({L".txt", L"txtfile", L"Text", L"C:\\Windows\\notepad.exe", std::nullopt, L"Index4"});
    types.Add({L".htm", L"htmlfile", L"HTML", L"C:\\Icons\\P.dll", std::nullopt, L"Index9"});
    types.Add({L".html", L"htmlfile", L"HTML", L"C:\\Icons\\P.dll", std::nullopt, L"Index10"});
    types.Add(
        {L".bat", L"batfile", L"Batch", L"C:\\Windows\\SYSTEM32\\shell32.dll,3", std::nullopt, L"Index1"});
  }
  ~ChangeModelTest() override {
    EXPECT_EQ(fake.shell.liveIcons(), 0) << "an icon handle was not released";
    EXPECT_EQ(fake.shell.invalidDestroys, 0) << "something that is no handle was released";
  }

  fake::FakeOs fake;
  RecordingSink sink{fake.shell};
  ImageStore images{sink};
  TypeList types;
  ChangeModel changes{fake.os, types, &images};
};

TEST_F(ChangeModelTest, AnIconIsDrawnFromItsLocationAsTypedAndWaitsWithAPictureOfItsOwn) {
  struct Case {
    std::wstring location;
    std::wstring picture;  // which icon was drawn into the list's picture
  };
  const std::vector<Case> cases = {
      {L"C:\\Icons\\P.dll,0", L"c:\\icons\\p.dll#0@16"},
      {L"C:\\ICONS\\p.DLL,21", L"c:\\icons\\p.dll#21@16"},
      // References and quotes are resolved for drawing only.
      {L"%SystemRoot%\\System32\\shell32.dll,299", L"c:\\windows\\system32\\shell32.dll#299@16"},
      {L"\"C:\\Program Files\\App\\app.exe\",1", L"c:\\program files\\app\\app.exe#1@16"},
      // A picture is drawn itself, scaled onto the square.
      {L"C:\\Pictures\\Cat.PNG", L"image 16x16"},
  };
  std::vector<std::wstring> keys;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.location));
    ASSERT_TRUE(changes.Assign(0, c.location, 16));
    EXPECT_EQ(types[0].pending, c.location);
    ASSERT_FALSE(sink.pictures.empty());
    EXPECT_EQ(sink.pictures.back(), c.picture);
    EXPECT_EQ(images.IndexOf(types[0].picture), static_cast<int>(sink.pictures.size()) - 1);
    keys.push_back(types[0].picture);
  }
  EXPECT_EQ(std::set<std::wstring>(keys.begin(), keys.end()).size(), keys.size()) << "every picture is new";
  EXPECT_FALSE(IsChanged(types[1]));
  EXPECT_EQ(changes.pendingTypes(), 1u);
}

TEST_F(ChangeModelTest, NothingChangesWithoutAnIconOrWhenTheTypeShowsItAlready) {
  const std::vector<std::pair<std::size_t, std::wstring>> refused = {
      {4, L"C:\\Icons\\P.dll,1"},                     // past the list
      {0, L"C:\\Icons\\P.dll,30"},                    // past the file's last icon
      {0, L"C:\\nothing.txt,0"},                      // a file without icons
      {0, L"C:\\README.txt,0"},                       // no icon source at all
      {0, L",1"},                                     // no file
      {0, L"C:\\Pictures\\broken.gif"},               // a picture that cannot be decoded
      {3, L"%SystemRoot%\\system32\\Shell32.DLL,3"},  // the same file as Windows compares paths
  };
  for (const auto& [index, location] : refused) {
    SCOPED_TRACE(testing::PrintToString(location));
    EXPECT_FALSE(changes.Assign(index, location, 16));
  }
  EXPECT_TRUE(sink.pictures.empty());
  EXPECT_EQ(changes.pendingTypes(), 0u);
  EXPECT_TRUE(changes.Assign(3, L"%SystemRoot%\\system32\\Shell32.DLL,4", 16)) << "another index";
}

TEST_F(ChangeModelTest, AChangeStandsWhenTheListCannotTakeThePicture) {
  sink.refuse = true;
  ASSERT_TRUE(changes.Assign(0, L"C:\\Icons\\P.dll,1", 16));
  EXPECT_EQ(types[0].pending, L"C:\\Icons\\P.dll,1");
}

TEST_F(ChangeModelTest, TypesSharingAProgIdShareItsChangeAndAFailedApplyShowsTheOldIcon) {
  ASSERT_TRUE(changes.Assign(1, L"C:\\Icons\\P.dll,4", 16));
  EXPECT_EQ(types[2].pending, L"C:\\Icons\\P.dll,4");
  EXPECT_EQ(types[2].picture, types[1].picture);
  EXPECT_FALSE(types[0].pending) << "another ProgID";
  // A second change keeps the stored pictures of before the first.
  ASSERT_TRUE(changes.Assign(2, L"C:\\Icons\\P.dll,5", 16));
  const std::wstring second = types[1].picture;
  ASSERT_TRUE(changes.Assign(3, L"C:\\Icons\\P.dll,6", 16));
  const std::wstring bat = types[3].picture;
  EXPECT_EQ(changes.pendingTypes(), 3u);

  // htmlfile fails (neither layer may be written), batfile is written.
  fake.registry.SetReadOnly(kLocalMachine, DefaultIconPath(L"htmlfile"));
  fake.registry.SetReadOnly(kCurrentUser, kClassesKey);
  const ApplyOutcome outcome = changes.Write();
  EXPECT_EQ(outcome.forAll, 1u);
  EXPECT_EQ(types[1].pending, L"C:\\Icons\\P.dll,5") << "still waiting";
  EXPECT_EQ(types[1].picture, L"Index9") << "the icon the system still shows";
  EXPECT_EQ(types[2].picture, L"Index10");
  EXPECT_FALSE(types[3].pending);
  EXPECT_EQ(types[3].location, L"C:\\Icons\\P.dll,6");
  EXPECT_EQ(types[3].picture, bat);
  EXPECT_EQ(changes.pendingTypes(), 2u);

  // Written the second time: counted as the list shows them, two types.
  fake.registry.SetReadOnly(kLocalMachine, DefaultIconPath(L"htmlfile"), false);
  EXPECT_EQ(changes.Write().forAll, 2u);
  EXPECT_EQ(types[1].location, L"C:\\Icons\\P.dll,5");
  EXPECT_EQ(types[1].picture, second);
  EXPECT_EQ(types[2].picture, second);
}

// "Restore original icon" waits like any change, and is only offered where
// Tarrow changed the type.
TEST_F(ChangeModelTest, TheOriginalIsAPendingChangeWrittenByApply) {
  EXPECT_FALSE(changes.AskOriginal(0, 16)) << "never changed: nothing to put back";
  ASSERT_TRUE(changes.Assign(0, L"C:\\Icons\\P.dll,2", 16));
  changes.Write();
  ASSERT_EQ(fake.registry.Text(kLocalMachine, DefaultIconPath(L"txtfile")), L"C:\\Icons\\P.dll,2");
  ASSERT_TRUE(changes.AskOriginal(0, 16));
  EXPECT_TRUE(types[0].pendingOriginal);
  EXPECT_EQ(types[0].pending, L"C:\\old.dll,0");
  EXPECT_EQ(fake.registry.Text(kLocalMachine, DefaultIconPath(L"txtfile")), L"C:\\Icons\\P.dll,2")
      << "nothing written before Apply";
  const ApplyOutcome outcome = changes.Write();
  EXPECT_EQ(outcome.restored, 1u);
  EXPECT_EQ(fake.registry.Text(kLocalMachine, DefaultIconPath(L"txtfile")), L"C:\\old.dll,0");
  EXPECT_FALSE(IsChanged(types[0]));
  EXPECT_EQ(types[0].location, L"C:\\old.dll,0");
  EXPECT_FALSE(changes.AskOriginal(0, 16)) << "back: nothing more to put back";
}

// Restoring the original of a type whose new icon waits for Apply takes the
// pick back: nothing waits, the list shows the stored icon, the records are
// not asked. A second restore then finds nothing to put back.
TEST_F(ChangeModelTest, RestoringAPendingPickWithdrawsIt) {
  ASSERT_TRUE(changes.Assign(1, L"C:\\Icons\\P.dll,4", 16));
  ASSERT_TRUE(changes.Assign(0, L"C:\\Icons\\P.dll,5", 16));
  const ChangeModel::SetChange asked = changes.AskOriginal(std::vector<std::size_t>{2}, 16);
  EXPECT_EQ(asked.changed, 1u);
  EXPECT_EQ(asked.withdrawn, 1u);
  for (std::size_t i : {1u, 2u}) {
    SCOPED_TRACE(i);
    EXPECT_FALSE(types[i].pending) << "every type of the ProgID drops the pick";
    EXPECT_FALSE(types[i].pendingOriginal);
  }
  EXPECT_EQ(types[1].picture, L"Index9") << "the stored icon's picture again";
  EXPECT_EQ(types[2].picture, L"Index10");
  EXPECT_EQ(types[0].pending, L"C:\\Icons\\P.dll,5") << "another ProgID keeps its pick";
  EXPECT_EQ(changes.pendingTypes(), 1u);
  EXPECT_EQ(changes.AskOriginal(std::vector<std::size_t>{1}, 16).unchanged, (std::vector<std::size_t>{1})) << "never changed";
  changes.Write();
  EXPECT_EQ(fake.registry.Text(kLocalMachine, DefaultIconPath(L"htmlfile")), L"C:\\old.dll,0")
      << "the withdrawn pick is not written";
}

// A pick the user keeps for himself goes to his own layer, however the
// machine's value would win; a later pick of the same types is as usual.
TEST_F(ChangeModelTest, APickForTheUserAloneIsWrittenToTheUsersLayer) {
  ASSERT_EQ(changes.AssignForUser(std::vector<std::size_t>{1}, L"C:\\Icons\\P.dll,4", 16).changed, 1u);
  const PendingChanges pending = changes.Pending();
  ASSERT_EQ(pending.writes.size(), 1u);
  EXPECT_TRUE(pending.writes[0].userOnly);
  const ApplyOutcome outcome = changes.Write();
  EXPECT_EQ(outcome.forUser, 2u) << "both types of htmlfile";
  EXPECT_EQ(fake.registry.Text(kCurrentUser, DefaultIconPath(L"htmlfile")), L"C:\\Icons\\P.dll,4");
  EXPECT_EQ(fake.registry.Text(kLocalMachine, DefaultIconPath(L"htmlfile")), L"C:\\old.dll,0");

  ASSERT_EQ(changes.AssignForUser(std::vector<std::size_t>{0}, L"C:\\Icons\\P.dll,5", 16).changed, 1u);
  ASSERT_TRUE(changes.Assign(0, L"C:\\Icons\\P.dll,6", 16));
  EXPECT_FALSE(changes.Pending().writes.at(0).userOnly) << "the later pick is not the user's alone";
}

// Written in two halves, as the window's writer does: the list stays as it
// is until the outcome is settled, and an original another program changed
// since is named as the list names it.
TEST_F(ChangeModelTest, PendingChangesAreWrittenApartFromTheListAndSettledAfter) {
  ASSERT_TRUE(changes.Assign(0, L"C:\\Icons\\P.dll,2", 16));
  ASSERT_TRUE(changes.Assign(1, L"C:\\Icons\\P.dll,7", 16));
  changes.Write();
  ASSERT_TRUE(changes.AskOriginal(0, 16));
  ASSERT_TRUE(changes.Assign(3, L"C:\\Icons\\P.dll,3", 16));
  fake.registry.SetText(kLocalMachine, DefaultIconPath(L"txtfile"), L"", L"D:\\other.dll,1");

  const PendingChanges pending = changes.Pending();
  ApplyOutcome outcome = WritePending(fake.os, pending);
  EXPECT_EQ(fake.registry.Text(kLocalMachine, DefaultIconPath(L"batfile")), L"C:\\Icons\\P.dll,3");
  EXPECT_EQ(outcome.changedSince, std::vector<std::wstring>{L"Text (.txt)"});
  EXPECT_TRUE(IsChanged(types[3])) << "the list is only settled after";
  changes.Settle(outcome);
  EXPECT_FALSE(IsChanged(types[3]));
  EXPECT_EQ(types[3].location, L"C:\\Icons\\P.dll,3");
  EXPECT_EQ(outcome.written, 1u);
}

// The window's selection: several types take one icon, drawn once.
TEST_F(ChangeModelTest, SeveralTypesTakeOneIconAndThoseShowingItAlreadyAreLeft) {
  struct Case {
    std::vector<std::size_t> indices;
    std::wstring location;
    std::size_t changed;
    std::vector<std::size_t> unchanged;
    std::vector<bool> pending;  // of each row afterwards
    std::size_t pictures;       // drawn for the whole set
  };
  const std::vector<Case> cases = {
      // Row 2 shares htmlfile with row 1: it follows.
      {{0, 3, 1}, L"C:\\Icons\\P.dll,7", 3, {}, {true, true, true, true}, 1},
      // Row 3 shows this icon already (the same file, the same index).
      {{0, 3}, L"%SystemRoot%\\system32\\shell32.dll,3", 1, {3}, {true, false, false, false}, 1},
      {{3}, L"C:\\Windows\\system32\\SHELL32.dll,3", 0, {3}, {false, false, false, false}, 0},
      // An icon that cannot be drawn is given to none.
      {{0, 1}, L"C:\\readme.txt,0", 0, {0, 1}, {false, false, false, false}, 0},
      {{7, 0}, L"C:\\Icons\\P.dll,1", 1, {7}, {true, false, false, false}, 1},
      {{}, L"C:\\Icons\\P.dll,1", 0, {}, {false, false, false, false}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.indices) + " " + testing::PrintToString(c.location));
    TypeList list = types;
    ImageStore store{sink};
    sink.pictures.clear();
    ChangeModel model{fake.os, list, &store};
    const ChangeModel::SetChange result = model.Assign(c.indices, c.location, 16);
    EXPECT_EQ(result.changed, c.changed);
    EXPECT_EQ(result.unchanged, c.unchanged);
    for (std::size_t row = 0; row < list.size(); ++row) {
      EXPECT_EQ(list[row].pending.has_value(), c.pending[row]) << "row " << row;
      if (c.pending[row]) {
        EXPECT_EQ(*list[row].pending, c.location) << "row " << row;
      }
    }
    EXPECT_EQ(sink.pictures.size(), c.pictures);
  }
}

TEST_F(ChangeModelTest, SeveralOriginalsAreAskedForAndThoseWithNoneAreNamed) {
  ASSERT_EQ(changes.Assign({0, 3}, L"C:\\Icons\\P.dll,2", 16).changed, 2u);
  changes.Write();
  const std::wstring taken = types[0].picture;
  const ChangeModel::SetChange asked = changes.AskOriginal({3, 1, 0}, 16);
  EXPECT_EQ(asked.changed, 2u);
  // C:\old.dll cannot be drawn here: the list's feed draws it, and the rows
  // no longer show the icon being taken back.
  EXPECT_NE(types[0].picture, taken);
  EXPECT_EQ(types[3].picture, types[0].picture) << "one original, one picture";
  EXPECT_EQ(images.IndexOf(types[0].picture), -1);
  EXPECT_EQ(images.sources().back().file, L"C:\\old.dll");
  EXPECT_EQ(asked.unchanged, std::vector<std::size_t>{1}) << "htmlfile was never changed";
  EXPECT_TRUE(types[0].pendingOriginal);
  EXPECT_TRUE(types[3].pendingOriginal);
  EXPECT_FALSE(types[1].pending);
  EXPECT_EQ(changes.Write().restored, 2u);
  EXPECT_EQ(fake.registry.Text(kLocalMachine, DefaultIconPath(L"txtfile")), L"C:\\old.dll,0");
  EXPECT_EQ(fake.registry.Text(kLocalMachine, DefaultIconPath(L"batfile")), L"C:\\old.dll,0");
  EXPECT_EQ(changes.AskOriginal({0, 3}, 16).unchanged, (std::vector<std::size_t>{0, 3})) << "back already";
}

// "changed" in --list --json: Tarrow's write is there, and still the value.
TEST_F(ChangeModelTest, ChangedMeansTarrowsWriteIsStillInPlace) {
  ASSERT_TRUE(changes.Assign(0, L"C:\\Icons\\P.dll,2", 16));
  ASSERT_TRUE(changes.Assign(3, L"C:\\Icons\\P.dll,3", 16));
  changes.Write();
  fake.registry.SetText(kLocalMachine, DefaultIconPath(L"batfile"), L"", L"D:\\other.dll,1");
  ChangeStatus status(fake.os);
  EXPECT_TRUE(status.Changed(types[0]));
  EXPECT_FALSE(status.Changed(types[1])) << "never touched";
  EXPECT_FALSE(status.Changed(types[3])) << "another program's value now";
  RestoreOriginals(fake.os, types);
  EXPECT_FALSE(ChangeStatus(fake.os).Changed(types[0])) << "put back exactly";
}

}  // namespace
}  // namespace tarrow
