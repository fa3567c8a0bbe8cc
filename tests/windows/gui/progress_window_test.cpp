#include "app/progress_window.h"

#include <gtest/gtest.h>

namespace tarrow::app {
namespace {

TEST(ProgressWindowTest, CreatedOnFirstUseThenOnlyShownAndHidden) {
  ProgressWindow box;
  box.SetMax(50);
  box.SetValue(7);
  EXPECT_FALSE(box.created()) << "nothing is created before the first Show";

  box.Show();
  ASSERT_TRUE(box.created());
  const HWND hwnd = box.hwnd();
  EXPECT_TRUE(::IsWindowVisible(hwnd));
  EXPECT_EQ(box.max(), 50);
  EXPECT_EQ(box.value(), 7);
  wchar_t caption[32];
  ::GetWindowTextW(hwnd, caption, 32);
  EXPECT_STREQ(caption, L"Please Wait");
  EXPECT_TRUE(::GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
  EXPECT_FALSE(::GetWindowLongW(hwnd, GWL_STYLE) & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));

  // Closing it hides it; the scan that drives it goes on, and the next scan
  // shows the same window again with the bar as the last scan left it.
  ::SendMessageW(hwnd, WM_CLOSE, 0, 0);
  EXPECT_TRUE(::IsWindow(hwnd));
  EXPECT_FALSE(::IsWindowVisible(hwnd));
  box.SetValue(49);
  box.Hide();
  box.Show();
  EXPECT_EQ(box.hwnd(), hwnd);
  EXPECT_TRUE(::IsWindowVisible(hwnd));
  EXPECT_EQ(box.value(), 49);

  // A bar without range keeps the one it had.
  box.SetMax(0);
  EXPECT_EQ(box.max(), 50);
}

}  // namespace
}  // namespace tarrow::app
