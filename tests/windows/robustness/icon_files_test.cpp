// Icon files that are damaged, empty, not files at all, or at long and
// non-ASCII paths: in the grid, and named by a type's DefaultIcon.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <deque>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "robustness.h"

namespace tarrow::testing {
namespace {

// The fixture icon with a little-endian field overwritten.
template <typename T>
std::string Patched(std::string bytes, std::size_t offset, T value) {
  std::memcpy(bytes.data() + offset, &value, sizeof value);
  return bytes;
}

struct IconFile {
  const char* name;
  std::wstring path;
};

class IconFiles : public WindowTest {
 protected:
  // Three images: 32, 16 and 48 pixels; the directory entries start at 6
  // and are 16 bytes each, with the image's size at +8 and offset at +12.
  const std::string ico_ = *FileBytes(Fixture(L"three-sizes.ico"));
  const std::string exe_ = *FileBytes(ExePath());
  TestFolder folder_{L"robustness-icons"};
};

TEST_F(IconFiles, DamagedFilesShowNoIconsInTheGridAndTheScanFallsBack) {
  constexpr std::size_t kEntry = 6, kBytes = 8, kOffset = 12;
  ::CreateDirectoryW((folder_.path() + L"\\folder.dll").c_str(), nullptr);
  const std::vector<IconFile> damaged = {
      {"truncated .ico", folder_.Put(L"cut.ico", ico_.substr(0, 3000))},
      {"truncated .ico, directory only", folder_.Put(L"directory.ico", ico_.substr(0, 40))},
      {"zero-length .ico", folder_.Put(L"empty.ico", "")},
      {"zero-length .dll", folder_.Put(L"empty.dll", "")},
      {"a directory", folder_.path() + L"\\folder.dll"},
      {"a program without resources", WindowsPath(TARROW_NO_RESOURCES_EXE)},
      {"a program cut after its headers", folder_.Put(L"headers.exe", exe_.substr(0, 1024))},
      {"a program cut in half", folder_.Put(L"half.exe", exe_.substr(0, exe_.size() / 2))},
      {".ico counting more images than it has", folder_.Put(L"count.ico", Patched<WORD>(ico_, 4, 200))},
      {".ico whose directory runs past its end", folder_.Put(L"dir.ico", Patched<WORD>(ico_, 4, 0xFFFF))},
      {".ico with an image offset past its end",
       folder_.Put(L"offset.ico", Patched<DWORD>(ico_, kEntry + kOffset, 0x40000000))},
      {".ico with an image size past its end",
       folder_.Put(L"size.ico", Patched<DWORD>(ico_, kEntry + kBytes, 0x40000000))},
      {".ico whose offset and size pass 4 GB",
       folder_.Put(L"wrap.ico", Patched<DWORD>(Patched<DWORD>(ico_, kEntry + kOffset, 0x20), kEntry + kBytes,
                                               0xFFFFFFF0))},
      {"a missing file", folder_.path() + L"\\missing.ico"},
  };

  for (const auto& file : damaged) {
    SCOPED_TRACE(file.name);
    window_->SetIconFileText(file.path);
    Settle();
    EXPECT_TRUE(window_->iconGrid().layout().cells.empty());
    EXPECT_EQ(window_->iconGrid().picturesHeld(), 0);
  }
  // The whole file shows its one icon, so an empty grid above means
  // something.
  window_->SetIconFileText(folder_.Put(L"whole.ico", ico_));
  Settle();
  ASSERT_EQ(window_->iconGrid().count(), 1);
  EXPECT_TRUE(window_->iconGrid().HasPicture(1));
  EXPECT_EQ(win32::Win32Shell::LiveIcons(), 0);

  // Named by DefaultIcon, each is listed with the picture a missing file
  // gets: the system's fall-back icon.
  std::deque<ScratchType> types;
  for (std::size_t i = 0; i < damaged.size(); ++i) {
    const std::wstring n = std::to_wstring(i);
    types.emplace_back(L".tarrowdamaged" + n, L"TarrowTest.Damaged" + n, L"Damaged " + n)
        .SetIcon(damaged[i].path + L",0");
  }
  const ScratchType& whole = types.emplace_back(L".tarrowwhole", L"TarrowTest.Whole", L"Whole");
  whole.SetIcon(folder_.path() + L"\\whole.ico,0");
  const auto icons = ClassesRootIcons();
  ASSERT_TRUE(window_->OnLoad(false));
  Settle();
  const TypeItem* missing = Listed(types[damaged.size() - 1].extension());
  ASSERT_TRUE(missing);
  const auto fallBack = PictureOf(*missing);
  ASSERT_FALSE(fallBack.empty());
  for (std::size_t i = 0; i < damaged.size(); ++i) {
    SCOPED_TRACE(damaged[i].name);
    const TypeItem* item = Listed(types[i].extension());
    ASSERT_TRUE(item);
    EXPECT_EQ(item->location, damaged[i].path + L",0");
    EXPECT_TRUE(PictureOf(*item) == fallBack);
  }
  ASSERT_TRUE(Listed(whole.extension()));
  EXPECT_FALSE(PictureOf(*Listed(whole.extension())) == fallBack) << "the whole file's own icon";
  EXPECT_EQ(win32::Win32Shell::LiveIcons(), 0);
  EXPECT_EQ(FileBytes(SnapshotFile()), ExpectedSnapshot());
  EXPECT_EQ(Differences(ClassesRootIcons(), icons), std::vector<std::string>());
  EXPECT_TRUE(shell_.shown.empty()) << Utf8(shell_.shown.front().first);
}

// The system reads icon files through buffers of MAX_PATH characters, so one
// at a longer path may show no icons; what matters is that nothing fails and
// its location is recorded and restored letter for letter.
TEST_F(IconFiles, LongAndNonAsciiPathsAreShownWhereTheSystemCanAndRecordedExactly) {
  const std::wstring nearby = folder_.path() + L"\\" + kNonAscii;
  std::wstring deep = nearby;
  for (int i = 0; i < 2; ++i) deep += L"\\" + std::wstring(kNonAscii) + std::wstring(100, L'-');
  std::filesystem::create_directories(win32::LongPath(deep));
  ASSERT_GT(deep.size(), 260u);
  const std::wstring name = L"\\\u00e9t\u00e9 \u2603.ico";
  const std::wstring shortPath = folder_.Put(kNonAscii + name, ico_);
  const std::wstring longPath = deep + name;
  ASSERT_TRUE(WriteFileBytes(win32::LongPath(longPath), ico_));

  window_->SetIconFileText(shortPath);
  Settle();
  ASSERT_EQ(window_->iconGrid().count(), 1);
  EXPECT_TRUE(window_->iconGrid().HasPicture(1));
  window_->SetIconFileText(longPath);
  Settle();
  EXPECT_LE(window_->iconGrid().count(), 1);

  const ScratchType shortType(L".tarrownear", L"TarrowTest.Near", L"Near");
  shortType.SetIcon(shortPath + L",0");
  const ScratchType longType(L".tarrowfar", L"TarrowTest.Far", L"Far");
  longType.SetIcon(longPath + L",0");
  const ScratchType missing(L".tarrowmissing", L"TarrowTest.Missing", L"Missing");
  missing.SetIcon(folder_.path() + L"\\missing.ico,0");
  ASSERT_TRUE(window_->OnLoad(false));
  Settle();
  ASSERT_TRUE(Listed(shortType.extension()) && Listed(longType.extension()) && Listed(missing.extension()));
  const auto fallBack = PictureOf(*Listed(missing.extension()));
  const auto own = PictureOf(*Listed(shortType.extension()));
  EXPECT_FALSE(own == fallBack) << "its own icon";
  const auto longOne = PictureOf(*Listed(longType.extension()));
  EXPECT_TRUE(longOne == own || longOne == fallBack);
  const auto snapshot = FileBytes(SnapshotFile());
  ASSERT_TRUE(snapshot);
  EXPECT_EQ(*snapshot, ExpectedSnapshot());
  EXPECT_NE(snapshot->find(Utf8(L"\r\nTarrowTest.Far," + longPath + L",0\r\n")), std::string::npos);

  const RawValue shortOriginal = DefaultValue(shortType.iconKey()),
                 longOriginal = DefaultValue(longType.iconKey());
  shortType.SetIcon(L"changed.dll,1");
  longType.SetIcon(L"changed.dll,2");
  shell_.answers = {kIdYes};
  window_->OnRestoreDefaults();
  Settle();
  EXPECT_EQ(DefaultValue(shortType.iconKey()), shortOriginal);
  EXPECT_EQ(DefaultValue(longType.iconKey()), longOriginal);
  EXPECT_EQ(win32::Win32Shell::LiveIcons(), 0);
}

}  // namespace
}  // namespace tarrow::testing
