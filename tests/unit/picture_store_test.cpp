#include "changes/picture_store.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "catalog/icon_loader.h"
#include "changes/apply.h"
#include "changes/change_model.h"
#include "changes/picture_icon.h"
#include "changes/restore.h"
#include "fake_os.h"

namespace tarrow {
namespace {

// The digests of the fake pictures' bytes, as MakePictureIcon names files.
constexpr wchar_t kCatDigest[] = L"853e285527739a611f8018c334878d2c86132b8975c9619db9e0e48de605d202";
constexpr wchar_t kUserIcons[] = L"C:\\Users\\me\\AppData\\Local\\Tarrow\\Icons";
constexpr wchar_t kMachineIcons[] = L"C:\\ProgramData\\Tarrow\\Icons";

std::string Narrow(const std::wstring& text) {
  return std::string(text.begin(), text.end());
}

std::wstring CatFile(const std::wstring& folder) {
  return folder + L"\\" + kCatDigest + L".ico";
}

TEST(PictureFileTest, PicturesAreKnownByTheirExtensionInAnyCase) {
  const struct {
    const wchar_t* file;
    bool picture;
  } cases[] = {
      {L"C:\\a.png", true}, {L"C:\\A.PNG", true},    {L"b.JpG", true},       {L"c.jpeg", true},
      {L"d.bmp", true},     {L"e.gif", true},        {L"f.ico", false},      {L"g.png.dll", false},
      {L"png", false},      {L"C:\\x\\.png", false}, {L"C:\\x.gifx", false}, {L"", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Narrow(c.file));
    EXPECT_EQ(IsPictureFile(c.file), c.picture);
  }
}

TEST(PictureFileTest, ALocationNamesAPictureAtIndexZeroOrWithoutOne) {
  EXPECT_EQ(PictureFileOf(L"C:\\a.png"), L"C:\\a.png");
  EXPECT_EQ(PictureFileOf(L"C:\\Acme, Inc\\a.png,0"), L"C:\\Acme, Inc\\a.png");
  EXPECT_EQ(PictureFileOf(L"C:\\a.png,1"), std::nullopt) << "a picture holds one icon";
  EXPECT_EQ(PictureFileOf(L"C:\\a.dll,0"), std::nullopt);
}

TEST(PictureFileTest, OnlyDigestNamedIconsOfTheScopesOwnFolderAreTarrows) {
  fake::FakeShell shell;
  const auto own = [&](RecordScope scope, const std::wstring& location) {
    return OwnIconFile(shell, IconsFolder(shell, scope), LocationValue(location));
  };
  const std::wstring cat = CatFile(kUserIcons);
  EXPECT_EQ(own(RecordScope::User, cat + L",0"), cat);
  EXPECT_EQ(own(RecordScope::User,
                L"C:\\USERS\\ME\\AppData\\Local\\Tarrow\\Icons\\" + std::wstring(kCatDigest) + L".ico,0"),
            cat)
      << "paths compare as the system compares them";
  EXPECT_EQ(own(RecordScope::Machine, cat + L",0"), std::nullopt) << "the user's folder is not the machine's";
  EXPECT_EQ(own(RecordScope::User, CatFile(kMachineIcons) + L",0"), std::nullopt);
  EXPECT_EQ(own(RecordScope::Machine, CatFile(kMachineIcons) + L",0"), CatFile(kMachineIcons));
  EXPECT_EQ(own(RecordScope::User, cat + L",1"), std::nullopt);
  EXPECT_EQ(own(RecordScope::User, std::wstring(kUserIcons) + L"\\notes.ico,0"), std::nullopt);
  EXPECT_EQ(own(RecordScope::User, std::wstring(kUserIcons) + L"\\..\\" + kCatDigest + L".ico,0"),
            std::nullopt);
  EXPECT_EQ(own(RecordScope::User, std::wstring(kUserIcons) + L"\\sub\\" + kCatDigest + L".ico,0"),
            std::nullopt);
  EXPECT_EQ(OwnIconFile(shell, IconsFolder(shell, RecordScope::User), std::nullopt), std::nullopt);
}

class PictureStoreTest : public ::testing::Test {
 protected:
  PictureStoreTest() {
    for (const auto* progId : {L"catfile", L"dogfile", L"owlfile"})
      fake.registry.SetText(kLocalMachine, DefaultIconPath(progId), L"", L"C:\\old.dll,0");
    fake.files.files[L"C:\\Pictures\\cat.png"] = "picture-a";
    fake.files.files[L"C:\\Pictures\\same cat.JPG"] = "picture-a";
    fake.files.files[L"C:\\Pictures\\dog.gif"] = "picture-b";
    fake.files.files[L"C:\\Pictures\\broken.png"] = "not a picture";
    fake.shell.pictures["picture-a"] = RgbaImage{1, 1, {255, 0, 0, 255}};
    fake.shell.pictures["picture-b"] = RgbaImage{1, 1, {0, 0, 255, 128}};
  }
  ApplyOutcome Set(const std::wstring& progId, const std::wstring& location) {
    return WriteIcons(fake.os, {{progId, progId, location}});
  }
  std::string CatIcon() { return MakePictureIcon(fake.shell, "picture-a", L"cat").bytes; }
  std::vector<std::wstring> IconFiles(const std::wstring& folder) {
    std::vector<std::wstring> found;
    for (const auto& [path, bytes] : fake.files.files)
      if (path.rfind(folder + L"\\", 0) == 0) found.push_back(path);
    return found;
  }

  fake::FakeOs fake;
};

TEST_F(PictureStoreTest, APictureIsStoredWhereEveryReaderOfItsValueCanReadIt) {
  const struct {
    bool elevated;
    RegKey written;
    const wchar_t* folder;
  } cases[] = {
      {false, kCurrentUser, kUserIcons},
      {true, kLocalMachine, kMachineIcons},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.elevated);
    fake::FakeOs os;
    os.files.files[L"C:\\Pictures\\cat.png"] = "picture-a";
    os.shell.pictures = fake.shell.pictures;
    os.registry.SetText(kLocalMachine, DefaultIconPath(L"catfile"), L"", L"C:\\old.dll,0");
    os.registry.SetText(kLocalMachine, ClassPath(L".cat"), L"", L"catfile");
    if (!c.elevated) os.StandardUser();
    TypeList types;
    types.Add({L".cat", L"catfile", L"Cat", L"C:\\old.dll,0", L"C:\\Pictures\\cat.png", L""});
    ChangeModel(os.os, types).Write();

    const std::wstring stored = CatFile(c.folder) + L",0";
    EXPECT_EQ(os.registry.Text(c.written, DefaultIconPath(L"catfile")), stored);
    EXPECT_EQ(os.files.files[CatFile(c.folder)], CatIcon());
    EXPECT_EQ(types[0].location, stored) << "the list shows the icon made of the picture";
    EXPECT_EQ(os.files.OnlyAdministratorsCanChange(c.folder), c.elevated);
    EXPECT_EQ(os.files.OnlyAdministratorsCanChange(L"C:\\ProgramData\\Tarrow"), c.elevated);
  }
}

TEST_F(PictureStoreTest, OnePictureIsOneFileWrittenOnce) {
  fake.StandardUser();
  Set(L"catfile", L"C:\\Pictures\\cat.png");
  const int commits = fake.files.commits;
  Set(L"dogfile", L"C:\\Pictures\\same cat.JPG,0");
  EXPECT_EQ(fake.files.commits, commits + 1) << "the record alone: the same bytes are never written again";
  EXPECT_EQ(IconFiles(kUserIcons), std::vector<std::wstring>{CatFile(kUserIcons)});
  EXPECT_EQ(fake.registry.Text(kCurrentUser, DefaultIconPath(L"dogfile")), CatFile(kUserIcons) + L",0");

  // A file of other bytes under that name is replaced whole.
  fake.files.files[CatFile(kUserIcons)] = "damaged";
  Set(L"owlfile", L"C:\\Pictures\\cat.png");
  EXPECT_EQ(fake.files.files[CatFile(kUserIcons)], CatIcon());
  EXPECT_EQ(IconFiles(kUserIcons), std::vector<std::wstring>{CatFile(kUserIcons)})
      << "no temporary file left";
}

TEST_F(PictureStoreTest, AnIconFileThatWentIsPutBackWhenItsPictureIsSetAgain) {
  fake.StandardUser();
  Set(L"catfile", L"C:\\Pictures\\cat.png");
  fake.files.files.erase(CatFile(kUserIcons));
  EXPECT_EQ(Set(L"catfile", L"C:\\Pictures\\cat.png").written, 1u);
  EXPECT_EQ(fake.files.files[CatFile(kUserIcons)], CatIcon());
}

TEST_F(PictureStoreTest, APictureThatMakesNoIconChangesNothingAtAll) {
  const std::wstring registry = fake.registry.Dump(kCurrentUser) + fake.registry.Dump(kLocalMachine);
  const auto files = fake.files.files;
  const auto folders = fake.files.folders;
  const ApplyOutcome outcome = WriteIcons(fake.os, {{L"catfile", L"Cat", L"C:\\Pictures\\cat.png"},
                                                    {L"dogfile", L"Dog", L"C:\\Pictures\\broken.png"}});
  EXPECT_EQ(outcome.written, 0u);
  EXPECT_EQ(ApplyMessage(fake.shell, outcome),
            L"No icon was changed: C:\\Pictures\\broken.png cannot be read as a picture: it is damaged, or "
            L"not a PNG, JPEG, BMP or GIF file.");
  EXPECT_EQ(fake.registry.Dump(kCurrentUser) + fake.registry.Dump(kLocalMachine), registry);
  EXPECT_EQ(fake.files.files, files) << "no record, no icon file";
  EXPECT_EQ(fake.files.folders, folders);
  EXPECT_EQ(fake.shell.notifications, 0);
}

TEST_F(PictureStoreTest, AMachineFolderOthersCouldChangeIsNeverUsed) {
  // A user made Tarrow's folder before any administrator did.
  fake.files.folders.insert(L"C:\\ProgramData\\Tarrow");
  const ApplyOutcome outcome = Set(L"catfile", L"C:\\Pictures\\cat.png");
  ASSERT_EQ(outcome.failures.size(), 1u);
  EXPECT_EQ(outcome.failures[0].status, kIconNotStored);
  EXPECT_NE(ApplyMessage(fake.shell, outcome).find(L"could not be stored in Tarrow's Icons folder"),
            std::wstring::npos);
  EXPECT_EQ(fake.registry.Text(kLocalMachine, DefaultIconPath(L"catfile")), L"C:\\old.dll,0");
  EXPECT_TRUE(IconFiles(L"C:\\ProgramData\\Tarrow").empty());
}

// Made, then found to be changeable by others (the owner Wine reports): the
// folders made go again, and one there before stays.
TEST_F(PictureStoreTest, AMachineFolderThatCannotBeMadeSafeLeavesNoEmptyFolder) {
  fake.files.ownerKept = false;
  EXPECT_FALSE(PrepareIconsFolder(fake.os, RecordScope::Machine));
  EXPECT_EQ(fake.files.folders.count(L"C:\\ProgramData\\Tarrow"), 0u);
  EXPECT_EQ(fake.files.folders.count(kMachineIcons), 0u);
  EXPECT_EQ(Set(L"catfile", L"C:\\Pictures\\cat.png").failures.at(0).status, kIconNotStored);
  EXPECT_EQ(fake.files.folders.count(L"C:\\ProgramData\\Tarrow"), 0u) << "Apply leaves none either";

  fake.files.folders.insert(L"C:\\ProgramData\\Tarrow");
  fake.files.files[L"C:\\ProgramData\\Tarrow\\Records.dat"] = "x";
  EXPECT_FALSE(PrepareIconsFolder(fake.os, RecordScope::Machine));
  EXPECT_EQ(fake.files.folders.count(L"C:\\ProgramData\\Tarrow"), 1u) << "there before: kept";
  EXPECT_EQ(fake.files.folders.count(kMachineIcons), 0u);
}

TEST_F(PictureStoreTest, TheMachineFolderIsMadeOnlyWithAdministratorRights) {
  EXPECT_TRUE(PrepareIconsFolder(fake.os, RecordScope::User));
  fake.StandardUser();
  EXPECT_FALSE(PrepareIconsFolder(fake.os, RecordScope::Machine));
  EXPECT_EQ(fake.files.folders.count(L"C:\\ProgramData\\Tarrow"), 0u);
  fake.files.elevated = true;
  EXPECT_TRUE(PrepareIconsFolder(fake.os, RecordScope::Machine));
  EXPECT_TRUE(fake.files.OnlyAdministratorsCanChange(kMachineIcons));
  fake.shell.machineAppData.clear();
  EXPECT_FALSE(PrepareIconsFolder(fake.os, RecordScope::Machine)) << "no folder known";
}

TEST_F(PictureStoreTest, AUserIconsFolderThatIsALinkIsNeverWrittenThrough) {
  fake.StandardUser();
  fake.files.linkedFolders.insert(kUserIcons);
  EXPECT_EQ(Set(L"catfile", L"C:\\Pictures\\cat.png").failures.at(0).status, kIconNotStored);
  EXPECT_EQ(fake.registry.Text(kCurrentUser, DefaultIconPath(L"catfile")), L"<missing>");
  EXPECT_TRUE(IconFiles(kUserIcons).empty());
}

TEST_F(PictureStoreTest, AFileGoesOnceNoTypeShowsIt) {
  fake.StandardUser();
  Set(L"catfile", L"C:\\Pictures\\cat.png");
  Set(L"dogfile", L"C:\\Pictures\\cat.png");
  const std::wstring notes = std::wstring(kUserIcons) + L"\\notes.txt";
  fake.files.files[notes] = "mine";

  RestoreOriginals(fake.os, TypeList{}, std::set<std::wstring>{L"catfile"});
  EXPECT_EQ(fake.files.files.count(CatFile(kUserIcons)), 1u) << "dogfile still shows it";
  RestoreOriginals(fake.os, TypeList{}, std::set<std::wstring>{L"DOGFILE"});
  EXPECT_EQ(fake.files.files.count(CatFile(kUserIcons)), 0u);
  EXPECT_EQ(fake.files.files.count(notes), 1u) << "only Tarrow's own icon files go";
  EXPECT_EQ(fake.registry.Text(kCurrentUser, DefaultIconPath(L"dogfile")), L"<missing>");
}

TEST_F(PictureStoreTest, AnotherPictureForTheSameTypeTakesTheFirstOnesFileAway) {
  fake.StandardUser();
  Set(L"catfile", L"C:\\Pictures\\cat.png");
  Set(L"catfile", L"C:\\Pictures\\dog.gif");
  const auto files = IconFiles(kUserIcons);
  ASSERT_EQ(files.size(), 1u);
  EXPECT_NE(files[0], CatFile(kUserIcons));
  RestoreOriginals(fake.os, TypeList{});
  EXPECT_TRUE(IconFiles(kUserIcons).empty());
}

TEST_F(PictureStoreTest, AValueOfAnotherProgramThatNamesTheFileKeepsIt) {
  fake.StandardUser();
  Set(L"catfile", L"C:\\Pictures\\cat.png");
  Set(L"dogfile", L"C:\\Pictures\\cat.png");
  // Another program gives dogfile its own value naming the same file.
  fake.registry.SetText(kCurrentUser, DefaultIconPath(L"dogfile"), L"", CatFile(kUserIcons) + L",0",
                        kRegExpandSz);
  RestoreOriginals(fake.os, TypeList{});
  EXPECT_EQ(fake.files.files.count(CatFile(kUserIcons)), 1u);
}

TEST_F(PictureStoreTest, TheUsersRecordNeverRemovesAFileOfTheMachineFolder) {
  // A machine icon file nothing names any more, and a per-user value the
  // user pointed at it.
  ASSERT_TRUE(PrepareIconsFolder(fake.os, RecordScope::Machine));
  fake.files.files[CatFile(kMachineIcons)] = CatIcon();
  fake.registry.SetText(kCurrentUser, DefaultIconPath(L"catfile"), L"", L"C:\\mine.dll,0");
  Set(L"catfile", CatFile(kMachineIcons) + L",0");
  ASSERT_EQ(fake.registry.Text(kCurrentUser, DefaultIconPath(L"catfile")), CatFile(kMachineIcons) + L",0");
  RestoreOriginals(fake.os, TypeList{});
  EXPECT_EQ(fake.registry.Text(kCurrentUser, DefaultIconPath(L"catfile")), L"C:\\mine.dll,0");
  EXPECT_EQ(fake.files.files.count(CatFile(kMachineIcons)), 1u);
}

TEST_F(PictureStoreTest, NothingIsRemovedWhileARecordCannotBeRead) {
  fake.StandardUser();
  Set(L"catfile", L"C:\\Pictures\\cat.png");
  Set(L"dogfile", L"C:\\Pictures\\cat.png");
  // The machine record is damaged: its entries might name the file.
  fake.registry.SetRaw(kLocalMachine, L"Software\\Tarrow", L"Changes", kRegBinary, {1, 2, 3});
  fake.registry.SetProtected(kLocalMachine, L"Software\\Tarrow");
  RestoreOriginals(fake.os, TypeList{});
  EXPECT_EQ(fake.files.files.count(CatFile(kUserIcons)), 1u);
}

TEST(PictureIconSourceTest, APictureIsAFileOfOneIconDrawnAtTheSizeAsked) {
  fake::FakeOs fake;
  fake.files.files[L"C:\\p\\cat.png"] = "cat";
  fake.files.files[L"C:\\p\\broken.png"] = "broken";
  fake.shell.pictures["cat"] = RgbaImage{3, 2, std::vector<std::uint8_t>(24, 9)};
  ShellIconSource source{fake.shell, &fake.files};
  EXPECT_EQ(source.Count(L"C:\\p\\cat.png"), 1);
  EXPECT_EQ(source.Count(L"C:\\p\\missing.png"), 0);
  EXPECT_EQ(source.Count(L"C:\\p\\broken.png"), 0) << "no picture, no icon";
  fake.files.files[L"C:\\p\\huge.gif"] = "huge";
  fake.shell.pictures["huge"] = RgbaImage{10001, 1, {}};
  EXPECT_EQ(source.Count(L"C:\\p\\huge.gif"), 0) << "too large to make an icon of";
  const std::vector<IconHandle> icons = source.Extract({L"C:\\p\\cat.png", 0, 1, 48});
  ASSERT_EQ(icons.size(), 1u);
  EXPECT_EQ(fake.shell.Describe(icons[0]), L"image 48x48");
  source.Release(icons[0]);
  EXPECT_EQ(source.Extract({L"C:\\p\\cat.png", 1, 1, 48}), std::vector<IconHandle>{0}) << "it has one icon";
  EXPECT_EQ(source.Extract({L"C:\\p\\broken.png", 0, 1, 48}), std::vector<IconHandle>{0});
  EXPECT_EQ(fake.shell.liveIcons(), 0);
  // Without the files, the shell is asked, which holds no icon in a picture.
  EXPECT_EQ(ShellIconSource(fake.shell).Count(L"C:\\p\\cat.png"), 0);
}

}  // namespace
}  // namespace tarrow
