#include "platform/files.h"

#include <gtest/gtest.h>

#include "fake_os.h"
#include "platform/system.h"

namespace tarrow {
namespace {

TEST(FileExistsTest, OnlyReadableFilesExistAndOneTrailingBackslashIsIgnored) {
  fake::FakeFileSystem fs;
  fs.files[L"C:\\Tarrow\\Defaults.dat"] = "x";
  fs.files[L"C:\\locked.dat"] = "x";
  fs.unreadable.insert(L"C:\\locked.dat");
  fs.folders.insert(L"C:\\Tarrow");
  const struct {
    const wchar_t* path;
    bool exists;
  } cases[] = {
      {L"C:\\Tarrow\\Defaults.dat", true},
      {L"C:\\Tarrow\\Defaults.dat\\", true},
      {L"C:\\Tarrow\\Defaults.dat\\\\", false},
      {L"", false},
      {L"\\", false},
      {L"C:\\Tarrow", false},
      {L"C:\\Tarrow\\", false},
      {L"C:\\locked.dat", false},
      {L"C:\\missing.dat", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "path " << std::string(c.path, c.path + wcslen(c.path)));
    EXPECT_EQ(FileExists(fs, c.path), c.exists);
  }
}

TEST(DialogFilterTest, BarsBecomeNulsAndTheListIsTerminated) {
  EXPECT_EQ(DialogFilter(L"a|b"), std::wstring(L"a\0b\0", 4));
  EXPECT_EQ(DialogFilter(L"a|b|"), std::wstring(L"a\0b\0", 4));
  EXPECT_EQ(DialogFilter(L""), std::wstring(L"\0", 1));
  EXPECT_EQ(DialogFilter(L"Icon Files (*.dll;*.exe;*.ico)|*.dll;*.exe;*.ico"),
            std::wstring(L"Icon Files (*.dll;*.exe;*.ico)\0*.dll;*.exe;*.ico\0", 49));
}

TEST(ShowOpenDialogTest, GivesTheChosenPathTrimmedOrEmptyWhenCancelled) {
  fake::FakeShell shell;
  shell.dialogAnswers = {std::wstring(L"  C:\\Windows\\a b.dll \0junk", 26), L"\x1"};
  EXPECT_EQ(ShowOpenDialog(shell, 42, L"a|b", L"Get Icons From", L"C:\\Windows"), L"C:\\Windows\\a b.dll");
  ASSERT_EQ(shell.dialogRequests.size(), 1u);
  EXPECT_EQ(shell.dialogRequests[0].owner, 42u);
  EXPECT_EQ(shell.dialogRequests[0].filter, std::wstring(L"a\0b\0", 4));
  EXPECT_EQ(shell.dialogRequests[0].title, L"Get Icons From");
  EXPECT_EQ(shell.dialogRequests[0].initialFolder, L"C:\\Windows");
  EXPECT_EQ(ShowOpenDialog(shell, 0, L"a|b", L"t", L""), L"");
}

TEST(GetSystemFolderTest, GivesTheFolderWithoutTrailingSeparators) {
  fake::FakeShell shell;
  shell.systemDirectory = L"C:\\WINDOWS\\system32";
  EXPECT_EQ(GetSystemFolder(shell), L"C:\\WINDOWS\\system32");
  shell.systemDirectory = L"";
  EXPECT_EQ(GetSystemFolder(shell), L"");
}

}  // namespace
}  // namespace tarrow
