// The main window created in-process over the real (Wine) registry and shell,
// its handlers called directly and its controls read back through messages.
#include "app/main_window.h"

#include <gtest/gtest.h>
#include <thread>

#include "app/layout.h"
#include "catalog/icon_location.h"
#include "catalog/snapshot.h"
#include "platform/registry.h"
#include "platform/win32/win32_os.h"
#include "wine_support.h"

namespace tarrow::app {
namespace {

using tarrow::testing::TestShell;

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    os_ = std::make_unique<Os>(Os{win32::RealOs().registry, win32::RealOs().files, shell_});
    // Every test starts without a snapshot of earlier runs.
    ::DeleteFileW(SnapshotPathBesideProgram(shell_).c_str());
    window_ = std::make_unique<MainWindow>(*os_);
    ASSERT_TRUE(window_->Create());
  }
  void TearDown() override { ::DeleteFileW(SnapshotPathBesideProgram(shell_).c_str()); }

  std::wstring Text(int id) {
    wchar_t text[256] = {};
    ::GetWindowTextW(window_->control(id), text, 256);
    return text;
  }
  RECT RectIn(HWND control, HWND parent) {
    RECT r;
    ::GetWindowRect(control, &r);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
  }
  std::size_t IndexOfText(const std::wstring& text) {
    for (std::size_t i = 0; i < window_->types().size(); ++i) {
      if (ItemText(window_->types()[i]) == text) return i;
    }
    return std::wstring::npos;
  }

  TestShell shell_;
  std::unique_ptr<Os> os_;
  std::unique_ptr<MainWindow> window_;
};

TEST_F(MainWindowTest, ControlsFollowTheDesignAtEveryScale) {
  using W = MainWindow;
  struct Expect {
    int id;
    TwipsRect rect;
    const wchar_t* text;
  };
  namespace d = main_design;
  const Expect table[] = {
      {W::kCommand5, d::Command5, L"Refresh"},
      {W::kCommand3, d::Command3, L"&Restore Defaults"},
      {W::kCommand1, d::Command1, L"&Apply"},
      {W::kcmdCancel, d::cmdCancel, L"E&xit"},
      {W::kBrowse, d::Browse, L"&Browse..."},
      {W::kFilename, d::Filename, L""},
      {W::kVScroll1, d::VScroll1, L""},
      {W::kBorder, d::Border, L""},
      {W::kListView1, d::ListView1, L""},
      {W::kLabel1, d::Label1, L"Registered File Types:"},
      {W::kFilenamelabel, d::Filenamelabel, L"Icon File:"},
  };
  for (UINT dpi : {96u, 144u}) {
    if (dpi != 96) {
      RECT suggested{0, 0, 600, 800};
      ::SendMessageW(window_->hwnd(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                     reinterpret_cast<LPARAM>(&suggested));
    } else if (DpiOf(window_->hwnd()) != 96) {
      GTEST_SKIP() << "the prefix is not at 96 DPI";
    }
    for (const auto& e : table) {
      SCOPED_TRACE(::testing::Message() << "dpi " << dpi << " control " << e.id);
      const RECT expected = ToPixels(e.rect, dpi);
      const RECT actual = RectIn(window_->control(e.id), window_->picMain());
      EXPECT_EQ(actual.left, expected.left);
      EXPECT_EQ(actual.top, expected.top);
      EXPECT_EQ(actual.right - actual.left, expected.right - expected.left);
      EXPECT_EQ(actual.bottom - actual.top, expected.bottom - expected.top);
      EXPECT_EQ(Text(e.id), e.text);
    }
    RECT client;
    ::GetClientRect(window_->hwnd(), &client);
    EXPECT_EQ(client.right, TwipsToPx(d::kClientWidth, dpi));
    EXPECT_EQ(client.bottom, TwipsToPx(d::kClientHeight, dpi));
  }
}

TEST_F(MainWindowTest, TabOrderFollowsTheDesign) {
  using W = MainWindow;
  const int order[] = {W::kBorder,   W::kVScroll1, W::kBrowse,    W::kcmdCancel, W::kFilename,
                       W::kCommand1, W::kCommand3, W::kListView1, W::kCommand5};
  HWND current = window_->control(order[0]);
  for (std::size_t i = 1; i < std::size(order); ++i) {
    SCOPED_TRACE(i);
    current = ::GetNextDlgTabItem(window_->hwnd(), current, FALSE);
    EXPECT_EQ(current, window_->control(order[i]));
  }
}

TEST_F(MainWindowTest, LoadScansSetsTheCaptionAndRefreshRebuilds) {
  ASSERT_TRUE(window_->Form_Load(false));
  wchar_t caption[64];
  ::GetWindowTextW(window_->hwnd(), caption, 64);
  EXPECT_STREQ(caption, L"Tarrow - Version 1.5");
  EXPECT_FALSE(::IsWindowVisible(window_->hwnd())) << "shown only by the caller, after the scan";

  const HWND list = window_->control(MainWindow::kListView1);
  const auto count = window_->types().size();
  EXPECT_GT(count, 3u);
  EXPECT_EQ(static_cast<std::size_t>(ListView_GetItemCount(list)), count);
  const auto a = IndexOfText(L"Tarrow Type A  [.tarrowa]");
  ASSERT_NE(a, std::wstring::npos);
  EXPECT_EQ(SplitIconLocation(window_->types()[a].location).file, L"%SystemRoot%\\system32\\shell32.dll");
  EXPECT_NE(IndexOfText(L"Tarrow Type A  [.tarrowd]"), std::wstring::npos) << "shared ProgID";
  EXPECT_EQ(IndexOfText(L"Tarrow Type E  [.tarrowe]"), std::wstring::npos) << "%1 is not listed";
  wchar_t text[128];
  ListView_GetItemText(list, static_cast<int>(a), 0, text, 128);
  EXPECT_STREQ(text, L"Tarrow Type A  [.tarrowa]");

  // The bar stops one short of full: n - 1 of n keys.
  std::vector<std::wstring> names;
  std::int32_t keys = 0;
  RegListSubkeys(os_->registry, kClassesRoot, L"", names, keys);
  EXPECT_EQ(window_->progress().max(), keys);
  EXPECT_EQ(window_->progress().value(), keys - 1);
  EXPECT_FALSE(::IsWindowVisible(window_->progress().hwnd()));
  EXPECT_EQ(window_->mousePointer(), 0);

  window_->SelectItem(a);
  window_->SetFilenameText(tarrow::testing::SystemFile(L"shell32.dll"));
  window_->Iconbox_DblClick(2);
  ASSERT_TRUE(IsChanged(window_->types()[a]));
  window_->Command5_Click();
  EXPECT_EQ(window_->types().size(), count);
  EXPECT_FALSE(IsChanged(window_->types()[a])) << "a rescan drops unapplied assignments";
  ::GetWindowTextW(window_->hwnd(), caption, 64);
  EXPECT_STREQ(caption, L"Tarrow - Version 1.5");
}

TEST_F(MainWindowTest, ListPicturesAreDrawnAgainForAScreenOfAnotherScale) {
  ASSERT_TRUE(window_->Form_Load(false));
  const auto b = IndexOfText(L"Tarrow Type B  [.tarrowb]");
  ASSERT_NE(b, std::wstring::npos);
  window_->SelectItem(b);
  window_->SetFilenameText(tarrow::testing::SystemFile(L"shell32.dll"));
  window_->Iconbox_DblClick(3);
  RECT suggested{0, 0, 600, 800};
  ::SendMessageW(window_->hwnd(), WM_DPICHANGED, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&suggested));

  const HIMAGELIST list = ListView_GetImageList(window_->control(MainWindow::kListView1), LVSIL_SMALL);
  int cx = 0, cy = 0;
  ASSERT_TRUE(ImageList_GetIconSize(list, &cx, &cy));
  EXPECT_EQ(cx, ::GetSystemMetricsForDpi(SM_CXSMICON, 192));
  EXPECT_EQ(ImageList_GetImageCount(list), static_cast<int>(window_->images().pictures()));
  for (const auto& item : window_->types()) {
    SCOPED_TRACE(std::string(item.description.begin(), item.description.end()));
    EXPECT_GE(window_->images().IndexOf(item.picture), 0);
  }
  EXPECT_EQ(win32::Win32Shell::LiveIcons(), 0);
}

TEST_F(MainWindowTest, EnterAndEscapePressNoButtonButAccessKeysDo) {
  ASSERT_TRUE(window_->Form_Load(false));
  window_->ShowCentred();
  const HWND hwnd = window_->hwnd();
  bool quit = false;
  // The program's own message loop, as it routes keys.
  auto pump = [&] {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        quit = true;
        continue;
      }
      if (::IsWindow(hwnd) && ::IsDialogMessageW(hwnd, &msg)) continue;
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  };
  const HWND list = window_->control(MainWindow::kListView1);
  ::SetFocus(list);
  for (WPARAM key : {VK_RETURN, VK_ESCAPE}) {
    SCOPED_TRACE(key);
    ::PostMessageW(list, WM_KEYDOWN, key, 0);
    ::PostMessageW(list, WM_KEYUP, key, 0);
    pump();
    EXPECT_TRUE(::IsWindow(hwnd));
    EXPECT_FALSE(quit);
  }
  // Alt+X is "E&xit".
  ::PostMessageW(list, WM_SYSCHAR, L'x', 1 << 29);
  pump();
  EXPECT_FALSE(::IsWindow(hwnd));
  EXPECT_TRUE(quit);
}

TEST_F(MainWindowTest, ASecondCopyIsRefusedWithoutAScan) {
  EXPECT_FALSE(window_->Form_Load(true));
  ASSERT_EQ(shell_.shown.size(), 1u);
  EXPECT_EQ(shell_.shown[0].first, L"Only one Instance allowed at a time...");
  EXPECT_EQ(shell_.shown[0].second, kMbOk | kMbIconInformation);
  EXPECT_TRUE(window_->types().empty());
  EXPECT_FALSE(window_->progress().created());
}

TEST_F(MainWindowTest, TheGridShowsEveryIconOfTheFileAndAssignsOne) {
  ASSERT_TRUE(window_->Form_Load(false));
  const std::wstring shell32 = tarrow::testing::SystemFile(L"shell32.dll");
  const int count = os_->shell.CountIcons(shell32);
  ASSERT_GT(count, 35);
  window_->SetFilenameText(shell32);
  EXPECT_EQ(window_->grid().cells.size(), static_cast<std::size_t>(count));
  EXPECT_EQ(window_->gridPictures().size(), static_cast<std::size_t>(count));
  EXPECT_TRUE(std::all_of(window_->gridPictures().begin(), window_->gridPictures().end(),
                          [](int picture) { return picture >= 0; }));
  const GridLayout expected = LayOutGrid(GridMetrics{}, count);
  EXPECT_EQ(window_->grid().sheetHeight, expected.sheetHeight);
  SCROLLINFO si{sizeof si, SIF_ALL, 0, 0, 0, 0, 0};
  ::GetScrollInfo(window_->control(MainWindow::kVScroll1), SB_CTL, &si);
  EXPECT_EQ(si.nMax - static_cast<int>(si.nPage) + 1, expected.scroll.Max);

  window_->SetScrollValue(expected.scroll.Max / 2);
  EXPECT_EQ(window_->scrollValue(), expected.scroll.Max / 2);

  const auto b = IndexOfText(L"Tarrow Type B  [.tarrowb]");
  ASSERT_NE(b, std::wstring::npos);
  window_->SelectItem(b);
  window_->Iconbox_Click(4);
  EXPECT_EQ(window_->picker().SelectedIconbox, 4);
  const long live = win32::Win32Shell::LiveIcons();
  window_->Iconbox_DblClick(4);
  const TypeItem& item = window_->types()[b];
  EXPECT_EQ(item.pending, shell32 + L",3");
  EXPECT_EQ(item.picture, L"Change" + std::to_wstring(window_->picker().ChangeCounter));
  EXPECT_GE(window_->images().IndexOf(item.picture), 0);
  EXPECT_EQ(win32::Win32Shell::LiveIcons(), live) << "every extracted icon is released";
  EXPECT_EQ(RegReadValue(os_->registry, kClassesRoot, L"Tarrow.TypeB\\DefaultIcon", L""),
            L"C:\\windows\\system32\\shell32.dll,-4")
      << "nothing reaches the registry before Apply";

  // Double-clicking the type loads its file, lower-cased, at the top.
  window_->SetFilenameText(L"");
  window_->ListView1_DblClick();
  EXPECT_EQ(window_->FilenameText(), os_->shell.LowerCase(shell32));
  EXPECT_EQ(window_->scrollValue(), 0);
}

TEST_F(MainWindowTest, TheKeyboardReachesEveryCellAndAssigns) {
  ASSERT_TRUE(window_->Form_Load(false));
  const std::wstring shell32 = tarrow::testing::SystemFile(L"shell32.dll");
  window_->SetFilenameText(shell32);
  const auto cells = static_cast<std::int64_t>(window_->grid().cells.size());
  ASSERT_GT(cells, 21);
  const HWND grid = window_->control(MainWindow::kBorder);
  auto press = [grid](WPARAM key) { ::SendMessageW(grid, WM_KEYDOWN, key, 0); };
  press(VK_RIGHT);
  EXPECT_EQ(window_->picker().SelectedIconbox, 1) << "the first key frames the first cell";
  press(VK_RIGHT);
  press(VK_DOWN);
  EXPECT_EQ(window_->picker().SelectedIconbox, 9);
  press(VK_END);
  EXPECT_EQ(window_->picker().SelectedIconbox, cells);
  EXPECT_EQ(window_->scrollValue(), window_->grid().scroll.Max) << "the last row is scrolled into view";
  press(VK_HOME);
  EXPECT_EQ(window_->scrollValue(), 0);

  const auto c = IndexOfText(L"Tarrow Type C  [.tarrowc]");
  ASSERT_NE(c, std::wstring::npos);
  window_->SelectItem(c);
  press(VK_RIGHT);
  press(VK_SPACE);
  EXPECT_EQ(window_->types()[c].pending, shell32 + L",1");
}

TEST_F(MainWindowTest, ACancelledBrowseEmptiesTheFileAndTheGrid) {
  window_->SetFilenameText(tarrow::testing::SystemFile(L"shell32.dll"));
  ASSERT_FALSE(window_->grid().cells.empty());
  std::thread canceller([] {
    for (int i = 0; i < 200; ++i) {
      if (HWND dialog = ::FindWindowW(L"#32770", L"Get Icons From")) {
        ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        return;
      }
      ::Sleep(50);
    }
  });
  window_->Browse_Click();
  canceller.join();
  EXPECT_EQ(window_->FilenameText(), L"");
  EXPECT_TRUE(window_->grid().cells.empty());
}

TEST_F(MainWindowTest, FiftyScansLeakNoHandles) {
  // Wine counts no USER or GDI objects (GetGuiResources gives 0), so the
  // program's own count of live icons stands in where the system has none.
  ASSERT_TRUE(window_->Form_Load(false));
  const HANDLE self = ::GetCurrentProcess();
  const DWORD user = ::GetGuiResources(self, GR_USEROBJECTS), gdi = ::GetGuiResources(self, GR_GDIOBJECTS);
  for (int i = 1; i < 50; ++i) window_->Command5_Click();
  EXPECT_EQ(win32::Win32Shell::LiveIcons(), 0);
  EXPECT_EQ(::GetGuiResources(self, GR_USEROBJECTS), user);
  EXPECT_EQ(::GetGuiResources(self, GR_GDIOBJECTS), gdi);
}

}  // namespace
}  // namespace tarrow::app
