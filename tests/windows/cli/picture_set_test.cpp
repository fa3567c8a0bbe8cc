// A picture given to a type with tarrow.exe --set: its icon file made, read
// back as the shell reads it, and gone again after --restore.
#include <shlobj.h>

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "changes/picture_icon.h"
#include "cli_support.h"
// After windows.h, which cli_support.h brings.
#include <shellapi.h>

#include "platform/icon_directory.h"
#include "platform/win32/win32_os.h"

namespace tarrow::testing {
namespace {

std::wstring KnownFolder(const KNOWNFOLDERID& id) {
  PWSTR path = nullptr;
  std::wstring folder;
  if (SUCCEEDED(::SHGetKnownFolderPath(id, 0, nullptr, &path))) folder = path;
  ::CoTaskMemFree(path);
  return folder;
}

// A 40 x 40 red picture whose top-left 10 x 10 corner is transparent.
std::string RedPngWithClearCorner() {
  RgbaImage image{40, 40, {}};
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 40; ++x) {
      const std::uint8_t alpha = x < 10 && y < 10 ? 0 : 255;
      image.pixels.insert(image.pixels.end(), {220, 0, 0, alpha});
    }
  }
  return win32::RealOs().shell.EncodePng(image).value_or("");
}

// The 32-pixel image of the icon file drawn over white, as 0xRRGGBB.
std::vector<DWORD> Drawn32(const std::wstring& file) {
  HICON icon = nullptr;
  std::vector<DWORD> pixels;
  if (::ExtractIconExW(file.c_str(), 0, &icon, nullptr, 1) != 1 || !icon) return pixels;
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), 32, -32, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  const HDC dc = ::CreateCompatibleDC(nullptr);
  const win32::UniqueBitmap bitmap(::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  const HGDIOBJ old = ::SelectObject(dc, bitmap.get());
  std::fill_n(static_cast<DWORD*>(bits), 32 * 32, 0xFFFFFF);
  ::DrawIconEx(dc, 0, 0, icon, 32, 32, 0, nullptr, DI_NORMAL);
  ::GdiFlush();
  for (int i = 0; i < 32 * 32; ++i) pixels.push_back(static_cast<const DWORD*>(bits)[i] & 0xFFFFFF);
  ::SelectObject(dc, old);
  ::DeleteDC(dc);
  ::DestroyIcon(icon);
  return pixels;
}

class PictureSet : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteSnapshots();
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kUserType);
  }
  void TearDown() override {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kUserType);
    DeleteSnapshots();
  }
  static constexpr wchar_t kUserType[] = L"Software\\Classes\\Tarrow.TypeB";
};

// Wine's process is an administrator; a per-user value of the type wins over
// the machine's, so the change is the user's and goes to the user's folder.
TEST_F(PictureSet, APngSetOnATypeBecomesAnIconOfFiveSizesAndRestoreTakesItAway) {
  const std::wstring userValue = std::wstring(kUserType) + L"\\DefaultIcon";
  const std::wstring original = SystemFile(L"shell32.dll") + L",3";
  ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, userValue.c_str(), nullptr, REG_SZ, original.c_str(),
                              static_cast<DWORD>((original.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
  const Scratch folder(L"cli-picture");
  const std::string png = RedPngWithClearCorner();
  ASSERT_FALSE(png.empty());
  ASSERT_TRUE(WriteFileBytes(folder / L"red corner.png", png));

  const Ran set = RunCommand(ExePath(), L"--set .tarrowb \"" + (folder / L"red corner.png") + L"\"");
  ASSERT_EQ(set.exitCode, 0u) << set.err;
  const std::wstring icon =
      KnownFolder(FOLDERID_LocalAppData) + L"\\Tarrow\\Icons\\" + Sha256Hex(png) + L".ico";
  EXPECT_EQ(DefaultValue(userValue, HKEY_CURRENT_USER), Text(REG_SZ, icon + L",0"));
  EXPECT_NE(set.out.find(", stored as " + Utf8(icon) + ",0 (for this user only)"), std::string::npos)
      << set.out;

  const auto bytes = FileBytes(icon);
  ASSERT_TRUE(bytes) << "no icon file at " << Utf8(icon);
  const auto images = ParseIconFile(*bytes);
  ASSERT_TRUE(images);
  const std::vector<IconImageSize> expected = {
      {16, 16, 32}, {24, 24, 32}, {32, 32, 32}, {48, 48, 32}, {256, 256, 32}};
  EXPECT_EQ(*images, expected);
  const std::vector<DWORD> drawn = Drawn32(icon);
  ASSERT_EQ(drawn.size(), 32u * 32u) << "the shell cannot read the icon";
  EXPECT_EQ(drawn[0], 0xFFFFFFu) << "the transparent corner stays transparent";
  EXPECT_EQ(drawn[20 * 32 + 20], 0xDC0000u);

  const Ran restore = RunCommand(ExePath(), L"--restore .tarrowb");
  ASSERT_EQ(restore.exitCode, 0u) << restore.err;
  EXPECT_EQ(DefaultValue(userValue, HKEY_CURRENT_USER), Text(REG_SZ, original));
  EXPECT_FALSE(FileBytes(icon)) << "the icon file goes with the value that named it";
}

TEST_F(PictureSet, APictureThatCannotBeDecodedChangesNothing) {
  const KeptValue machine(L"Tarrow.TypeB\\DefaultIcon");
  const Scratch folder(L"cli-picture-bad");
  ASSERT_TRUE(WriteFileBytes(folder / L"bad.png", "\x89PNG\r\n\x1a\n not really"));
  const Ran ran = RunCommand(ExePath(), L"--set .tarrowb \"" + (folder / L"bad.png") + L"\"");
  EXPECT_EQ(ran.exitCode, 2u);
  EXPECT_EQ(ran.err,
            "tarrow: " + Utf8(folder / L"bad.png") +
                " cannot be read as a picture: it is damaged, or not a PNG, JPEG, BMP or GIF file.\n");
  EXPECT_EQ(DefaultValue(machine.key()), machine.original());
}

// Wine reads a folder's owner back as its own user, whatever it was made
// with, so the machine's Icons folder is never one only administrators can
// change there: a machine type's picture is refused, and nothing written.
TEST_F(PictureSet, AMachineTypesPictureNeedsAFolderOnlyAdministratorsCanChange) {
  const KeptValue machine(L"Tarrow.TypeB\\DefaultIcon");
  const Scratch folder(L"cli-picture-machine");
  const std::string png = RedPngWithClearCorner();
  ASSERT_TRUE(WriteFileBytes(folder / L"red.png", png));
  const std::wstring icons = KnownFolder(FOLDERID_ProgramData) + L"\\Tarrow\\Icons";
  const bool iconsThere = ::GetFileAttributesW(icons.c_str()) != INVALID_FILE_ATTRIBUTES;
  const Ran ran = RunCommand(ExePath(), L"--set .tarrowb \"" + (folder / L"red.png") + L"\"");
  if (win32::RealOs().files.OnlyAdministratorsCanChange(icons)) {
    EXPECT_EQ(ran.exitCode, 0u) << ran.err;
    EXPECT_EQ(DefaultValue(machine.key()), Text(REG_SZ, icons + L"\\" + Sha256Hex(png) + L".ico,0"));
    EXPECT_EQ(RunCommand(ExePath(), L"--restore .tarrowb").exitCode, 0u);
    GTEST_SKIP() << "this system keeps a folder's owner: the machine folder is trusted";
  }
  EXPECT_EQ(ran.exitCode, 1u);
  EXPECT_NE(ran.err.find("could not be stored in Tarrow's Icons folder"), std::string::npos) << ran.err;
  EXPECT_EQ(ran.err.find("Apply"), std::string::npos) << "a console has no Apply: " << ran.err;
  EXPECT_EQ(DefaultValue(machine.key()), machine.original());
  if (!iconsThere) {
    EXPECT_EQ(::GetFileAttributesW(icons.c_str()), INVALID_FILE_ATTRIBUTES) << "an empty folder was left";
  }
  EXPECT_FALSE(FileBytes(icons + L"\\" + Sha256Hex(png) + L".ico"));
}

}  // namespace
}  // namespace tarrow::testing
