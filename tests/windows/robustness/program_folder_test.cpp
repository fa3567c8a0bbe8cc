// tarrow.exe run from a folder with non-ASCII letters, at a path as long as
// Windows starts a program from, so that Defaults.dat and its temporary file
// lie past MAX_PATH.
#include <windows.h>

#include <gtest/gtest.h>
#include <string>

#include "robustness.h"

namespace tarrow::testing {
namespace {

using app::MainWindow;

TEST(ProgramFolder, DefaultsAreWrittenAndReadBackBesideAProgramAtALongNonAsciiPath) {
  DeleteSnapshots();
  const TestFolder folder(L"robustness-run");
  const std::wstring name = L"\\tarrow.exe";
  std::wstring place = folder.path() + L"\\" + kNonAscii;
  place += std::wstring(MAX_PATH - 1 - place.size() - name.size(), L'x');
  const std::wstring exe = place + name;
  std::filesystem::create_directories(place);
  ASSERT_TRUE(::CopyFileW(ExePath().c_str(), exe.c_str(), FALSE));
  const std::wstring snapshot = SnapshotPath(exe);
  ASSERT_GT(snapshot.size(), std::size_t{MAX_PATH});
  const KeptValue typeB(L"Tarrow.TypeB\\DefaultIcon");

  Tarrow tarrow(exe);
  ASSERT_TRUE(tarrow.StartAndWait());
  EXPECT_EQ(FileBytes(win32::LongPath(snapshot)), ExpectedSnapshot());
  EXPECT_FALSE(PathExists(snapshot + L".tmp"));
  EXPECT_FALSE(PathExists(SnapshotPath())) << "beside the other copy";
  EXPECT_FALSE(PathExists(SnapshotPathPerUser(win32::RealShell())));
  const FileStamp written = StampOf(snapshot);

  // A change applied, then every original restored from that file.
  const std::wstring shell32 = SystemFile(L"shell32.dll");
  ASSERT_NO_FATAL_FAILURE(tarrow.AssignIcon(L".tarrowb", shell32, 4));
  tarrow.ClickApplyAndWait();
  ASSERT_EQ(DefaultText(typeB.key()), shell32 + L",3");
  tarrow.PostClick(Part::Restore);
  ASSERT_NO_FATAL_FAILURE(Answer(tarrow.WaitForDialog(), IDYES));
  EXPECT_TRUE(WaitUntil(
      [&] { return DefaultValue(typeB.key()) == typeB.original() && ::IsWindowVisible(tarrow.window()); },
      kStartTimeoutMs));
  tarrow.Send(tarrow.window(), WM_NULL, 0, 0);
  EXPECT_FALSE(tarrow.Dialog()) << Utf8(MessageOf(tarrow.Dialog()));
  EXPECT_TRUE(StampOf(snapshot) == written);
  EXPECT_TRUE(tarrow.Close());
}

}  // namespace
}  // namespace tarrow::testing
