// Pictures through the Windows Imaging Component, and the icons made of them
// read back by the project's reader and by the shell.
#include <windows.h>

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "changes/picture_icon.h"
#include "platform/files.h"
#include "platform/icon_directory.h"
#include "platform/win32/handles.h"
#include "platform/win32/win32_os.h"
#include "wine_support.h"

namespace tarrow {
namespace {

Shell& shell() {
  return win32::RealOs().shell;
}

// A red picture `width` wide with a half-transparent green column at x = 1.
RgbaImage RedPicture(int width, int height) {
  RgbaImage image{width, height, {}};
  const std::uint8_t red[] = {255, 0, 0, 255}, green[] = {0, 200, 0, 128};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const std::uint8_t* pixel = x == 1 ? green : red;
      image.pixels.insert(image.pixels.end(), pixel, pixel + 4);
    }
  }
  return image;
}

// The icon drawn by the system over white, top row first, as 0xRRGGBB.
std::vector<DWORD> DrawnOverWhite(HICON icon, int side) {
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), side, -side, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  const HDC dc = ::CreateCompatibleDC(nullptr);
  const win32::UniqueBitmap bitmap(::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  std::vector<DWORD> pixels;
  if (bitmap) {
    const HGDIOBJ old = ::SelectObject(dc, bitmap.get());
    std::fill_n(static_cast<DWORD*>(bits), side * side, 0xFFFFFF);
    ::DrawIconEx(dc, 0, 0, icon, side, side, 0, nullptr, DI_NORMAL);
    ::GdiFlush();
    const auto* first = static_cast<const DWORD*>(bits);
    for (int i = 0; i < side * side; ++i) pixels.push_back(first[i] & 0xFFFFFF);
    ::SelectObject(dc, old);
  }
  ::DeleteDC(dc);
  return pixels;
}

TEST(Pictures, APngEncodedDecodesToTheSamePixelsAlphaKept) {
  const RgbaImage picture = RedPicture(5, 3);
  const auto png = shell().EncodePng(picture);
  ASSERT_TRUE(png);
  EXPECT_EQ(png->substr(0, 8), "\x89PNG\r\n\x1a\n");
  const DecodedPicture decoded = shell().DecodePicture(*png, kMaxPictureSide);
  EXPECT_EQ(decoded.width, 5);
  EXPECT_EQ(decoded.height, 3);
  ASSERT_TRUE(decoded.image);
  EXPECT_EQ(decoded.image->pixels, picture.pixels);
}

TEST(Pictures, ABmpDecodesOpaqueTopRowFirst) {
  // 2 x 2, 24 bits, rows bottom-up and padded to 4 bytes: blue, white below;
  // red, green above.
  const std::string bmp = std::string("BM\x46\0\0\0\0\0\0\0\x36\0\0\0", 14) +
                          std::string("\x28\0\0\0\x02\0\0\0\x02\0\0\0\x01\0\x18\0\0\0\0\0\x10\0\0\0", 24) +
                          std::string(16, '\0') +
                          std::string("\xff\0\0\xff\xff\xff\0\0\0\0\xff\0\xff\0\0\0", 16);
  const DecodedPicture decoded = shell().DecodePicture(bmp, kMaxPictureSide);
  ASSERT_TRUE(decoded.image);
  EXPECT_EQ(decoded.image->pixels,
            (std::vector<std::uint8_t>{255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255}));
}

TEST(Pictures, WhatIsNoPictureOrTooLargeIsNotDecoded) {
  const auto png = shell().EncodePng(RedPicture(30, 10));
  ASSERT_TRUE(png);
  const DecodedPicture large = shell().DecodePicture(*png, 20);
  EXPECT_EQ(large.width, 30) << "the size comes from the header";
  EXPECT_EQ(large.height, 10);
  EXPECT_FALSE(large.image);

  const auto icon = tarrow::testing::FileBytes(tarrow::testing::Fixture(L"three-sizes.ico"));
  ASSERT_TRUE(icon);
  const struct {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"text", "hello, world"},
      {"nothing", ""},
      {"a PNG cut short", png->substr(0, png->size() / 2)},
      {"an icon, which the component reads but is no picture", *icon},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(shell().DecodePicture(c.bytes, kMaxPictureSide).image);
  }
  EXPECT_FALSE(shell().EncodePng(RgbaImage{}));
  EXPECT_FALSE(shell().EncodePng(RgbaImage{2, 2, {1, 2, 3}})) << "fewer pixels than its size";
}

TEST(Pictures, APngBecomesAnIconTheShellDrawsWithItsPaddingTransparent) {
  const auto png = shell().EncodePng(RedPicture(40, 20));
  ASSERT_TRUE(png);
  const PictureIcon icon = MakePictureIcon(shell(), *png, L"red.png");
  ASSERT_TRUE(icon.ok()) << tarrow::testing::Utf8(icon.problem);
  EXPECT_EQ(icon.fileName, Sha256Hex(*png) + L".ico");
  EXPECT_EQ(
      ParseIconFile(icon.bytes),
      (std::vector<IconImageSize>{{16, 16, 32}, {24, 24, 32}, {32, 32, 32}, {48, 48, 32}, {256, 256, 32}}));

  wchar_t folder[MAX_PATH];
  const std::wstring path = std::wstring(folder, ::GetTempPathW(MAX_PATH, folder)) + icon.fileName;
  ASSERT_TRUE(tarrow::testing::WriteFileBytes(path, icon.bytes));
  EXPECT_EQ(shell().CountIcons(path), 1);
  for (const int side : {16, 32, 48, 256}) {
    SCOPED_TRACE(side);
    const auto icons = shell().ExtractIcons(path, 0, 1, side);
    ASSERT_EQ(icons.size(), 1u);
    ASSERT_TRUE(IsIcon(icons[0]));
    const std::vector<DWORD> drawn = DrawnOverWhite(reinterpret_cast<HICON>(icons[0]), side);
    shell().DestroyIcon(icons[0]);
    ASSERT_EQ(drawn.size(), static_cast<std::size_t>(side) * side);
    const auto at = [&](int x, int y) { return drawn[static_cast<std::size_t>(y) * side + x]; };
    // The picture fills the middle half of the rows; above and below, white
    // shows through.
    EXPECT_EQ(at(0, 0), 0xFFFFFFu);
    EXPECT_EQ(at(side - 1, side - 1), 0xFFFFFFu);
    EXPECT_EQ(at(side / 2, 0), 0xFFFFFFu);
    EXPECT_EQ(at(side - 1, side / 2), 0xFF0000u);
    EXPECT_EQ(at(side / 2, side / 2), 0xFF0000u);
  }
  ::DeleteFileW(path.c_str());
}

TEST(Pictures, AnImageMadeAnIconIsDrawnWithItsColoursAndItsTransparency) {
  // Left column clear, the rest red: straight alpha, as the decoder gives it.
  RgbaImage image{4, 4, {}};
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x)
      image.pixels.insert(image.pixels.end(), {255, 0, 0, static_cast<std::uint8_t>(x == 0 ? 0 : 255)});
  }
  const long before = win32::Win32Shell::LiveIcons();
  const IconHandle icon = shell().IconFromImage(image);
  ASSERT_NE(icon, 0u);
  const std::vector<DWORD> drawn = DrawnOverWhite(reinterpret_cast<HICON>(icon), 4);
  shell().DestroyIcon(icon);
  EXPECT_EQ(win32::Win32Shell::LiveIcons(), before);
  ASSERT_EQ(drawn.size(), 16u);
  EXPECT_EQ(drawn[0], 0xFFFFFFu);
  EXPECT_EQ(drawn[1], 0xFF0000u);
  EXPECT_EQ(drawn[15], 0xFF0000u);
  EXPECT_EQ(shell().IconFromImage(RgbaImage{2, 2, {1, 2, 3}}), 0u) << "pixels that do not fill the image";
}

TEST(Pictures, AProtectedFolderIsMadeOnceAndOnlyAFolderCounts) {
  FileSystem& files = win32::RealOs().files;
  wchar_t temp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, temp);
  const std::wstring folder = std::wstring(temp) + L"tarrow-protected-test";
  const std::wstring inside = folder + L"\\Icons";
  ::RemoveDirectoryW(inside.c_str());
  ::RemoveDirectoryW(folder.c_str());
  EXPECT_FALSE(files.EnsureProtectedFolder(inside)) << "its parent is missing";
  EXPECT_FALSE(files.OnlyAdministratorsCanChange(folder)) << "nothing there";
  EXPECT_TRUE(files.EnsureProtectedFolder(folder));
  EXPECT_TRUE(files.EnsureProtectedFolder(folder)) << "already there";
  EXPECT_TRUE(files.EnsureProtectedFolder(inside));
  EXPECT_TRUE(files.Exists(inside));
  // A folder made with the default access list belongs to its maker, who
  // may change it.
  const std::wstring plain = folder + L"\\plain";
  ASSERT_TRUE(::CreateDirectoryW(plain.c_str(), nullptr));
  EXPECT_FALSE(files.OnlyAdministratorsCanChange(plain));
  const std::wstring file = folder + L"\\file";
  ASSERT_TRUE(WriteWholeFile(files, file, "x"));
  EXPECT_FALSE(files.EnsureProtectedFolder(file)) << "a file is no folder";
  EXPECT_FALSE(files.OnlyAdministratorsCanChange(file));
  ::DeleteFileW(file.c_str());
  ::RemoveDirectoryW(plain.c_str());
  ::RemoveDirectoryW(inside.c_str());
  ::RemoveDirectoryW(folder.c_str());
}

}  // namespace
}  // namespace tarrow
