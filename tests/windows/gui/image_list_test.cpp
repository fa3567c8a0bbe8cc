// The grid's image list: icons added all at once must look exactly as icons
// added one by one, in the same order.
#include "app/image_list.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <vector>

#include "platform/win32/win32_os.h"
#include "wine_support.h"

namespace tarrow::app {
namespace {

// An icon with a 1-bit colour bitmap and a mask, as old files hold them.
HICON MonochromeIcon(int size) {
  std::vector<std::uint8_t> andBits(static_cast<std::size_t>(size) * size / 8, 0x0F);
  std::vector<std::uint8_t> xorBits(andBits.size(), 0x3C);
  return ::CreateIcon(::GetModuleHandleW(nullptr), size, size, 1, 1, andBits.data(), xorBits.data());
}

// The file's icons `times` over, so that a long run fills more than one strip.
void ExpectSamePictures(const std::wstring& file, int sizePx, int times = 1) {
  SCOPED_TRACE(std::string(file.begin(), file.end()) + " at " + std::to_string(sizePx));
  win32::Win32Shell shell;
  const int count = shell.CountIcons(file);
  ASSERT_GT(count, 0);
  std::vector<IconHandle> icons;
  for (int k = 0; k < times; ++k) {
    const auto more = shell.ExtractIcons(file, 0, count, sizePx);
    icons.insert(icons.end(), more.begin(), more.end());
  }
  // Not icons, which the list must pass over, and an icon of another kind.
  icons.insert(icons.begin() + 1, IconHandle{0});
  icons.push_back(IconHandle{1});
  icons.push_back(reinterpret_cast<IconHandle>(MonochromeIcon(sizePx)));
  icons.push_back(reinterpret_cast<IconHandle>(MonochromeIcon(sizePx * 2)));  // not the list's size

  ImageListSink oneByOne, allAtOnce;
  oneByOne.Reset(sizePx);
  allAtOnce.Reset(sizePx);
  std::vector<int> expected;
  for (const IconHandle icon : icons) expected.push_back(IsIcon(icon) ? oneByOne.AddPicture(icon) : -1);
  const std::vector<int> where = allAtOnce.AddPictures(icons);
  EXPECT_EQ(where, expected);
  EXPECT_EQ(ImageList_GetImageCount(allAtOnce.get()), ImageList_GetImageCount(oneByOne.get()));

  for (std::size_t i = 0; i < icons.size(); ++i) {
    if (expected[i] < 0) continue;
    SCOPED_TRACE("icon " + std::to_string(i));
    for (const COLORREF background : {RGB(255, 0, 255), RGB(0, 128, 0)})
      EXPECT_EQ(tarrow::testing::PictureBits(allAtOnce.get(), where[i], background),
                tarrow::testing::PictureBits(oneByOne.get(), expected[i], background));
  }
  for (std::size_t i = 0; i < icons.size(); ++i) {
    if (!IsIcon(icons[i])) continue;
    if (i + 2 < icons.size())
      shell.DestroyIcon(icons[i]);  // the shell counts the icons it hands out
    else
      ::DestroyIcon(reinterpret_cast<HICON>(icons[i]));
  }
  EXPECT_EQ(win32::Win32Shell::LiveIcons(), 0);
}

TEST(ImageListSinkTest, PicturesAddedTogetherLookAsPicturesAddedOneByOne) {
  ExpectSamePictures(tarrow::testing::Fixture(L"three-sizes.ico"), 32);
  ExpectSamePictures(tarrow::testing::Fixture(L"three-sizes.ico"), 20);
  ExpectSamePictures(tarrow::testing::SystemFile(L"shell32.dll"), 48, 2);
}

}  // namespace
}  // namespace tarrow::app
