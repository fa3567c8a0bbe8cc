// The icon grid as a control of its own, in a bare parent window: its scroll
// bar, its font, its name, and the pictures it keeps of a large file.
#include "app/icon_grid.h"

#include <algorithm>
#include <gtest/gtest.h>

#include "app/layout.h"
#include "icon_program.h"
#include "picker/grid.h"
#include "platform/win32/win32_os.h"
#include "wine_support.h"

namespace tarrow::app {
namespace {

constexpr wchar_t kParentClass[] = L"TarrowGridTestParent";
constexpr int kGridId = 7;

class IconGridTest : public ::testing::Test {
 protected:
  struct Listener : IconGridListener {
    void OnIconFramed(std::int64_t) override {}
    void OnIconChosen(std::int64_t) override {}
    void OnIconsCounted(std::int64_t count) override { counted = count; }
    std::int64_t counted = -1;
  };

  void SetUp() override {
    RegisterClassOnce(kParentClass, &::DefWindowProcW, ::GetSysColorBrush(COLOR_BTNFACE));
    parent_ = ::CreateWindowExW(0, kParentClass, L"", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 400, 300,
                                nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(parent_);
    ASSERT_TRUE(grid_.Create(parent_, kGridId));
    // The design's grid at 96 DPI, across its scroll bar's place.
    grid_.Place(8, 8, 297, 87);
  }
  void TearDown() override { ::DestroyWindow(parent_); }

  void Settle() {
    if (!tarrow::testing::PumpUntil([&] { return !grid_.loading(); }))
      ADD_FAILURE() << "icons were still loading after two minutes";
  }
  bool EveryCellInViewDrawn() const {
    const auto [first, last] = VisibleCells(grid_.metrics(), grid_.count(), grid_.scrollValue());
    for (std::int64_t k = first; k <= last; ++k)
      if (!grid_.HasPicture(k)) return false;
    return first <= last;
  }
  std::wstring Name() const {
    wchar_t name[256] = {};
    ::GetWindowTextW(grid_.hwnd(), name, 256);
    return name;
  }
  // The grid painted into a bitmap, as PrintWindow asks it: each pixel's
  // colour (COLORREF order), row by row.
  std::vector<COLORREF> Painted(RECT& client) const {
    ::GetClientRect(grid_.hwnd(), &client);
    BITMAPINFO format{};
    format.bmiHeader = {sizeof(BITMAPINFOHEADER), client.right, -client.bottom, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    const HDC dc = ::CreateCompatibleDC(nullptr);
    const HBITMAP bitmap = ::CreateDIBSection(dc, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ old = ::SelectObject(dc, bitmap);
    ::FillRect(dc, &client, ::GetSysColorBrush(COLOR_WINDOW));
    ::SendMessageW(grid_.hwnd(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    ::GdiFlush();
    std::vector<COLORREF> pixels(static_cast<std::size_t>(client.right) * client.bottom);
    const auto* bgra = static_cast<const std::uint32_t*>(bits);
    for (std::size_t i = 0; i < pixels.size(); ++i)
      pixels[i] = RGB((bgra[i] >> 16) & 0xFF, (bgra[i] >> 8) & 0xFF, bgra[i] & 0xFF);
    ::SelectObject(dc, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(dc);
    return pixels;
  }

  tarrow::testing::TestShell shell_;
  Os os_{win32::RealOs().registry, win32::RealOs().files, shell_};
  Listener listener_;
  IconGrid grid_{os_, listener_};
  HWND parent_ = nullptr;
};

TEST_F(IconGridTest, ScrollingFarInTenThousandIconsDrawsTheCellsInViewAndKeepsAFewScreensOfPictures) {
  const std::wstring many = tarrow::testing::ProgramWithIcons(10000);
  ASSERT_FALSE(many.empty()) << "the icon program could not be made";
  grid_.Load(many);
  Settle();
  ASSERT_EQ(grid_.count(), 10000);
  EXPECT_EQ(listener_.counted, 10000);
  EXPECT_TRUE(EveryCellInViewDrawn());
  const int atTop = grid_.picturesHeld();
  EXPECT_GE(atTop, 21) << "the first screen, 7 cells by 3 rows";

  // A view of 7 columns shows up to 4 rows; with three screens either side
  // that is 196 cells, across no more than 14 runs of 16.
  constexpr int kMostHeld = 14 * 16;
  grid_.SetScrollValue(grid_.layout().scroll.Max / 2);
  Settle();
  EXPECT_TRUE(EveryCellInViewDrawn()) << "the middle";
  EXPECT_FALSE(grid_.HasPicture(1)) << "the top is let go";
  EXPECT_LE(grid_.picturesHeld(), kMostHeld);

  // The bar's own message, as a click on it sends.
  ::SendMessageW(grid_.hwnd(), WM_VSCROLL, MAKEWPARAM(SB_BOTTOM, 0), 0);
  EXPECT_EQ(grid_.scrollValue(), grid_.layout().scroll.Max);
  Settle();
  EXPECT_TRUE(EveryCellInViewDrawn()) << "the end";
  EXPECT_FALSE(grid_.HasPicture(5000)) << "the middle is let go";
  EXPECT_LE(grid_.picturesHeld(), kMostHeld);
  // And on screen: the last cell's icon, the program's blue square.
  RECT client;
  const std::vector<COLORREF> pixels = Painted(client);
  const RECT last = grid_.CellRect(10000);
  const int offset = DipToPx(main_design::kIconOffsetPx, 96), half = ::GetSystemMetrics(SM_CXICON) / 2;
  const auto at = [&](LONG x, LONG y) { return pixels[static_cast<std::size_t>(y) * client.right + x]; };
  EXPECT_EQ(at(last.left + offset + half, last.top + offset + half), RGB(0x20, 0x60, 0xC0));
  EXPECT_EQ(at(last.right + offset + half, last.top + offset + half), ::GetSysColor(COLOR_WINDOW))
      << "no cell after the last";

  // Back at the top, its cells are drawn again.
  ::SendMessageW(grid_.hwnd(), WM_VSCROLL, MAKEWPARAM(SB_TOP, 0), 0);
  Settle();
  EXPECT_TRUE(EveryCellInViewDrawn()) << "the top again";
  EXPECT_EQ(grid_.picturesHeld(), atTop);
  EXPECT_EQ(win32::Win32Shell::LiveIcons(), 0);
  ::DeleteFileW(many.c_str());
}

TEST_F(IconGridTest, TheFontItIsGivenWritesWhyItIsEmptyAndItsNameSaysTheSame) {
  grid_.Load(L"Z:\\no such folder\\no such file.dll");
  Settle();
  ASSERT_EQ(grid_.count(), 0);
  const std::wstring why = L"There is no file by this name.";
  grid_.SetEmptyText(why);
  EXPECT_EQ(Name(), why) << "a screen reader hears why, as the screen shows";

  // The text in the font the parent gives, as to any control.
  const auto rowsWithText = [&] {
    RECT client;
    const std::vector<COLORREF> pixels = Painted(client);
    int rows = 0;
    for (LONG y = 0; y < client.bottom; ++y) {
      for (LONG x = 0; x < client.right; ++x) {
        if (pixels[static_cast<std::size_t>(y) * client.right + x] != ::GetSysColor(COLOR_WINDOW)) {
          ++rows;
          break;
        }
      }
    }
    return rows;
  };
  LOGFONTW big{};
  big.lfHeight = -40;
  wcscpy_s(big.lfFaceName, L"Tahoma");
  const win32::UniqueFont font(::CreateFontIndirectW(&big));
  const int small = rowsWithText();
  ::SendMessageW(grid_.hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
  EXPECT_EQ(::SendMessageW(grid_.hwnd(), WM_GETFONT, 0, 0), reinterpret_cast<LRESULT>(font.get()));
  EXPECT_GT(small, 0);
  EXPECT_GT(rowsWithText(), 2 * small) << "40-pixel letters";

  // With icons, the name counts them.
  grid_.Load(tarrow::testing::SystemFile(L"shell32.dll"));
  Settle();
  ASSERT_GT(grid_.count(), 0);
  EXPECT_EQ(Name(), std::to_wstring(grid_.count()) + L" icons");
  ::SendMessageW(grid_.hwnd(), WM_SETFONT, 0, FALSE);
}

TEST_F(IconGridTest, APictureIsAFileOfOneIconDrawnFromItsPixels) {
  RgbaImage image{40, 40, {}};
  for (int i = 0; i < 40 * 40; ++i) image.pixels.insert(image.pixels.end(), {220, 0, 0, 255});
  const auto png = shell_.EncodePng(image);
  ASSERT_TRUE(png);
  wchar_t temp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, temp);
  const std::wstring picture = std::wstring(temp) + L"tarrow grid picture.PNG";
  ASSERT_TRUE(tarrow::testing::WriteFileBytes(picture, *png));

  grid_.Load(picture);
  Settle();
  ::DeleteFileW(picture.c_str());
  EXPECT_EQ(grid_.count(), 1);
  EXPECT_EQ(listener_.counted, 1);
  EXPECT_TRUE(EveryCellInViewDrawn());
  RECT client;
  const std::vector<COLORREF> pixels = Painted(client);
  EXPECT_NE(std::count(pixels.begin(), pixels.end(), RGB(220, 0, 0)), 0) << "the picture's red is drawn";
}

}  // namespace
}  // namespace tarrow::app
