// The main window created in-process over the real (Wine) registry and shell,
// its handlers called directly and its controls read back through messages.
#include "app/main_window.h"

#include <tlhelp32.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>
#include <set>
#include <thread>

#include "app/layout.h"
#include "catalog/icon_location.h"
#include "catalog/snapshot.h"
#include "changes/journal.h"
#include "changes/restore.h"
#include "cli/cli_support.h"
#include "icon_program.h"
#include "picker/grid.h"
#include "platform/registry.h"
#include "platform/win32/win32_os.h"
#include "tarrow_process.h"
#include "wine_support.h"

namespace tarrow::app {
namespace {

using tarrow::testing::ProgramWithIcons;
using tarrow::testing::SystemFile;
using tarrow::testing::TestShell;
using tarrow::testing::Utf8;
using tarrow::testing::WindowsPath;

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    os_ = std::make_unique<Os>(Os{win32::RealOs().registry, win32::RealOs().files, shell_});
    // Every test starts without a snapshot, records or a window place of
    // earlier runs.
    ::DeleteFileW(SnapshotPathBesideProgram(shell_).c_str());
    tarrow::testing::DeleteRecords();
    ::RegDeleteKeyW(HKEY_CURRENT_USER, kSettingsKey);
    window_ = std::make_unique<MainWindow>(*os_);
    ASSERT_TRUE(window_->Create());
  }
  void TearDown() override {
    window_.reset();
    ::DeleteFileW(SnapshotPathBesideProgram(shell_).c_str());
    tarrow::testing::DeleteRecords();
    ::RegDeleteKeyW(HKEY_CURRENT_USER, kSettingsKey);
  }

  std::wstring Text(Part part) {
    wchar_t text[256] = {};
    ::GetWindowTextW(window_->control(part), text, 256);
    return text;
  }
  RECT RectIn(HWND control, HWND parent) {
    RECT r;
    ::GetWindowRect(control, &r);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
  }
  // The type list position of the type with this extension.
  std::size_t IndexOf(const std::wstring& extension) {
    for (std::size_t i = 0; i < window_->types().size(); ++i) {
      if (window_->types()[i].extension == extension) return i;
    }
    return std::wstring::npos;
  }
  std::wstring RowText(int row, int column) {
    wchar_t text[256] = {};
    ListView_GetItemText(window_->control(Part::TypeList), row, column, text, 256);
    return text;
  }
  // The program's own message loop, as it routes keys.
  void Pump() { tarrow::testing::PumpPending(); }
  // Runs the messages until the window asks to quit, taking the quit so that
  // it is not the next test's; false when it never does.
  bool PumpUntilQuit() {
    const ULONGLONG giveUp = ::GetTickCount64() + 120000;
    while (::GetTickCount64() < giveUp) {
      ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
      MSG msg;
      while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) return true;
        Route(msg);
      }
    }
    return false;
  }
  void Settle() { tarrow::testing::SettleIcons(*window_); }
  void Key(HWND to, WPARAM key) {
    ::PostMessageW(to, WM_KEYDOWN, key, 0);
    ::PostMessageW(to, WM_KEYUP, key, 0xC0000001);
    Pump();
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
  struct Expect {
    Part part;
    RECT at96, at144;  // left, top, width, height in the panel
    const wchar_t* text;
  };
  // Twips / 15 at 96 DPI, twips / 10 at 144, each rounded to the nearest pixel.
  const Expect table[] = {
      {Part::SearchLabel, {8, 29, 44, 17}, {12, 44, 66, 26}, L"&Search:"},
      {Part::Search, {52, 26, 253, 19}, {78, 39, 380, 29}, L""},
      {Part::TypesLabel, {8, 8, 145, 17}, {12, 12, 218, 26}, L"Registered File &Types:"},
      {Part::TypeList, {8, 48, 297, 145}, {12, 72, 446, 218}, L""},
      {Part::IconFileLabel, {8, 200, 73, 17}, {12, 300, 110, 26}, L"&Icon File:"},
      {Part::ShowTypesWithoutIcon, {88, 200, 217, 16}, {132, 300, 326, 24}, L"Show types &without an icon"},
      {Part::IconFile, {8, 217, 225, 19}, {12, 326, 338, 29}, L""},
      {Part::Browse, {240, 216, 65, 19}, {360, 324, 98, 29}, L"&Browse..."},
      // Across its scroll bar's place: {285, 241, 20, 87} and {428, 362, 30, 131}.
      {Part::IconGrid, {8, 240, 297, 87}, {12, 360, 446, 131}, nullptr},
      {Part::Restore, {8, 332, 113, 25}, {12, 499, 170, 38}, L"&Restore Defaults"},
      {Part::Refresh, {152, 332, 57, 25}, {228, 499, 86, 38}, L"Re&fresh"},
      {Part::Apply, {216, 332, 41, 25}, {324, 499, 62, 38}, L"&Apply"},
      {Part::Exit, {264, 332, 41, 25}, {396, 499, 62, 38}, L"E&xit"},
  };
  for (UINT dpi : {96u, 144u}) {
    if (dpi != 96) {
      RECT suggested{0, 0, 600, 800};
      ::SendMessageW(window_->hwnd(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                     reinterpret_cast<LPARAM>(&suggested));
      Settle();
    } else if (DpiOf(window_->hwnd()) != 96) {
      GTEST_SKIP() << "the prefix is not at 96 DPI";
    }
    for (const auto& e : table) {
      SCOPED_TRACE(::testing::Message() << "dpi " << dpi << " control " << ControlIdOf(e.part));
      const RECT& expected = dpi == 96 ? e.at96 : e.at144;
      const RECT actual = RectIn(window_->control(e.part), window_->hwnd());
      EXPECT_EQ(actual.left, expected.left);
      EXPECT_EQ(actual.top, expected.top);
      EXPECT_EQ(actual.right - actual.left, expected.right);
      EXPECT_EQ(actual.bottom - actual.top, expected.bottom);
      if (e.text) {
        EXPECT_EQ(Text(e.part), e.text);
      }
    }
    RECT client;
    ::GetClientRect(window_->hwnd(), &client);
    EXPECT_EQ(client.right, dpi == 96 ? 315 : 473);
    EXPECT_EQ(client.bottom, dpi == 96 ? 406 : 609);
  }
}

TEST_F(MainWindowTest, TabOrderFollowsTheScreen) {
  // Apply has nothing to apply yet, so Tab passes it by.
  const Part order[] = {Part::Search,   Part::TypeList, Part::ShowTypesWithoutIcon,
                        Part::IconFile, Part::Browse,   Part::IconGrid,
                        Part::Restore,  Part::Refresh,  Part::Exit,
                        Part::Search};
  EXPECT_FALSE(::IsWindowEnabled(window_->control(Part::Apply)));
  HWND current = window_->control(order[0]);
  for (std::size_t i = 1; i < std::size(order); ++i) {
    SCOPED_TRACE(i);
    current = ::GetNextDlgTabItem(window_->hwnd(), current, FALSE);
    EXPECT_EQ(current, window_->control(order[i]));
  }
}

TEST_F(MainWindowTest, LoadScansSetsTheCaptionAndRefreshRebuilds) {
  ASSERT_TRUE(window_->OnLoad(false));
  Settle();
  wchar_t caption[64];
  ::GetWindowTextW(window_->hwnd(), caption, 64);
  EXPECT_STREQ(caption, L"Tarrow - Version 1.5");
  EXPECT_FALSE(::IsWindowVisible(window_->hwnd())) << "shown only by the caller";

  const HWND list = window_->control(Part::TypeList);
  const auto count = window_->types().size();
  EXPECT_GT(count, 3u);
  EXPECT_EQ(static_cast<std::size_t>(ListView_GetItemCount(list)), count);
  const auto a = IndexOfText(L"Tarrow Type A  [.tarrowa]");
  ASSERT_NE(a, std::wstring::npos);
  EXPECT_EQ(SplitIconLocation(window_->types()[a].location).file, L"%SystemRoot%\\system32\\shell32.dll");
  EXPECT_NE(IndexOfText(L"Tarrow Type A  [.tarrowd]"), std::wstring::npos) << "shared ProgID";
  EXPECT_EQ(IndexOfText(L"Tarrow Type E  [.tarrowe]"), std::wstring::npos) << "%1 is not listed";
  const int row = window_->typeList().RowOf(a);
  EXPECT_EQ(RowText(row, 0), L"Tarrow Type A");
  EXPECT_EQ(RowText(row, 1), L".tarrowa");
  EXPECT_EQ(RowText(row, 2), L"%SystemRoot%\\system32\\shell32.dll,3");

  EXPECT_EQ(window_->StatusText(), std::to_wstring(count) + L" types, no changes waiting");

  window_->SelectItem(a);
  window_->SetIconFileText(tarrow::testing::SystemFile(L"shell32.dll"));
  Settle();
  window_->OnIconChosen(2);
  ASSERT_TRUE(IsChanged(window_->types()[a]));
  shell_.answers.push_back(kIdNo);  // drop the change
  window_->OnRefresh();
  Settle();
  EXPECT_EQ(window_->types().size(), count);
  EXPECT_FALSE(IsChanged(window_->types()[a])) << "a rescan drops unapplied assignments";
  ::GetWindowTextW(window_->hwnd(), caption, 64);
  EXPECT_STREQ(caption, L"Tarrow - Version 1.5");
}

// The check box reads the list anew with the types that have no icon of
// their own, each shown with the system's icon of a file of unknown type;
// the next window starts as the user left it.
TEST_F(MainWindowTest, TheCheckBoxListsTypesWithoutAnIconAndIsRemembered) {
  const tarrow::testing::ScratchKey type(L".tarrowbare"), typeClass(L"Tarrow.Bare");
  type.SetText(L"", L"Tarrow.Bare");
  typeClass.SetText(L"", L"Tarrow Bare Type");
  const auto click = [&] {
    const HWND box = window_->control(Part::ShowTypesWithoutIcon);
    ::SendMessageW(box, BM_SETCHECK,
                   ::SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED, 0);
    ::SendMessageW(window_->hwnd(), WM_COMMAND,
                   MAKEWPARAM(ControlIdOf(Part::ShowTypesWithoutIcon), BN_CLICKED),
                   reinterpret_cast<LPARAM>(box));
    Settle();
  };
  ASSERT_TRUE(window_->OnLoad(false));
  Settle();
  EXPECT_EQ(::SendMessageW(window_->control(Part::ShowTypesWithoutIcon), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_EQ(IndexOf(L".tarrowbare"), std::wstring::npos);
  const std::size_t withIcons = window_->types().size();

  click();
  const std::size_t bare = IndexOf(L".tarrowbare");
  ASSERT_NE(bare, std::wstring::npos);
  EXPECT_GT(window_->types().size(), withIcons);
  const TypeItem& item = window_->types()[bare];
  EXPECT_EQ(ItemText(item), L"Tarrow Bare Type  [.tarrowbare]");
  EXPECT_EQ(RowText(window_->typeList().RowOf(bare), 2), L"");
  EXPECT_GE(window_->images().IndexOf(item.picture), 0) << "the system's stand-in icon";
  EXPECT_EQ(RegReadValue(os_->registry, kCurrentUser, kSettingsKey, kShowTypesWithoutIconValue), L"1");

  window_ = std::make_unique<MainWindow>(*os_);
  ASSERT_TRUE(window_->Create());
  ASSERT_TRUE(window_->OnLoad(false));
  Settle();
  EXPECT_EQ(::SendMessageW(window_->control(Part::ShowTypesWithoutIcon), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_NE(IndexOf(L".tarrowbare"), std::wstring::npos);

  click();
  EXPECT_EQ(IndexOf(L".tarrowbare"), std::wstring::npos);
  EXPECT_EQ(window_->types().size(), withIcons);

  // With a change waiting, Cancel keeps the list, the change and the box.
  const std::size_t a = IndexOf(L".tarrowa");
  window_->SelectItem(a);
  window_->SetIconFileText(tarrow::testing::SystemFile(L"shell32.dll"));
  Settle();
  window_->OnIconChosen(2);
  ASSERT_TRUE(IsChanged(window_->types()[a]));
  shell_.answers.push_back(kIdCancel);
  click();
  EXPECT_EQ(::SendMessageW(window_->control(Part::ShowTypesWithoutIcon), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_TRUE(IsChanged(window_->types()[a]));
  EXPECT_EQ(RegReadValue(os_->registry, kCurrentUser, kSettingsKey, kShowTypesWithoutIconValue), L"0");
  // Yes applies the change on the writer, and then lists them.
  const tarrow::testing::KeptValue kept(window_->types()[a].progId + L"\\DefaultIcon");
  shell_.answers.push_back(kIdYes);
  click();
  EXPECT_EQ(::SendMessageW(window_->control(Part::ShowTypesWithoutIcon), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_NE(IndexOf(L".tarrowbare"), std::wstring::npos);
  EXPECT_FALSE(IsChanged(window_->types()[IndexOf(L".tarrowa")]));
  EXPECT_EQ(RegReadValue(os_->registry, kCurrentUser, kSettingsKey, kShowTypesWithoutIconValue), L"1");
}

// Given an icon in the window, a type without one gets a DefaultIcon key
// beside its class, and asking its original back removes the key again.
TEST_F(MainWindowTest, ATypeWithoutAnIconIsGivenOneByApplyAndTakenBackByDelete) {
  const tarrow::testing::ScratchKey type(L".tarrowbare"), typeClass(L"Tarrow.Bare");
  type.SetText(L"", L"Tarrow.Bare");
  typeClass.SetText(L"", L"Tarrow Bare Type");
  ::RegSetKeyValueW(HKEY_CURRENT_USER, kSettingsKey, kShowTypesWithoutIconValue, REG_SZ, L"1",
                    2 * sizeof(wchar_t));
  ASSERT_TRUE(window_->OnLoad(false));
  Settle();
  const std::size_t bare = IndexOf(L".tarrowbare");
  ASSERT_NE(bare, std::wstring::npos);
  // A pick framed in the system's icons for another type...
  const std::wstring shell32 = tarrow::testing::SystemFile(L"shell32.dll");
  window_->SetIconFileText(shell32);
  Settle();
  window_->iconGrid().Frame(5);
  ASSERT_EQ(window_->preview().index(), 4);
  window_->SelectItem(bare);
  window_->OnTypeActivated();
  Settle();
  EXPECT_EQ(Text(Part::IconFile), shell32) << "the system's icons";
  // ...is not this type's: it has no icon of its own to frame.
  EXPECT_EQ(window_->iconGrid().framed(), 0);
  EXPECT_EQ(window_->preview().index(), -1);
  window_->OnIconChosen(3);
  window_->OnApply();
  Settle();
  EXPECT_EQ(RegReadValue(os_->registry, kClassesRoot, L"Tarrow.Bare\\DefaultIcon", L""), shell32 + L",2");
  EXPECT_EQ(window_->types()[bare].location, shell32 + L",2");
  EXPECT_TRUE(shell_.shown.empty()) << "success needs no message box";

  ::SendMessageW(window_->control(Part::TypeList), WM_KEYDOWN, VK_DELETE, 0);
  ASSERT_TRUE(window_->types()[bare].pendingOriginal);
  window_->OnApply();
  Settle();
  EXPECT_FALSE(tarrow::testing::KeyExists(HKEY_CLASSES_ROOT, L"Tarrow.Bare\\DefaultIcon"));
  EXPECT_TRUE(tarrow::testing::KeyExists(HKEY_CLASSES_ROOT, L"Tarrow.Bare"));
  EXPECT_EQ(window_->types()[bare].location, L"");
  EXPECT_TRUE(shell_.shown.empty());
}

int ThreadsOfThisProcess() {
  const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  int threads = 0;
  for (BOOL more = ::Thread32First(snapshot, &entry); more; more = ::Thread32Next(snapshot, &entry))
    threads += entry.th32OwnerProcessID == ::GetCurrentProcessId();
  ::CloseHandle(snapshot);
  return threads;
}

TEST_F(MainWindowTest, TheListShowsBeforeItsIconsAndThenEveryRowGetsOne) {
  ASSERT_TRUE(window_->OnLoad(false));
  // The first rows, as soon as they come: the message that brought them
  // cannot have brought their pictures, which are asked for only then.
  const HWND list = window_->control(Part::TypeList);
  MSG msg;
  while (ListView_GetItemCount(list) == 0 && ::GetMessageW(&msg, nullptr, 0, 0) > 0) Route(msg);
  LVITEMW row{};
  row.mask = LVIF_IMAGE;
  ASSERT_TRUE(ListView_GetItem(list, &row));
  EXPECT_EQ(row.iImage, 0) << "the placeholder";
  Settle();
  ASSERT_GT(window_->types().size(), 3u);
  for (const auto& item : window_->types()) EXPECT_GT(window_->images().IndexOf(item.picture), 0);
  ASSERT_TRUE(ListView_GetItem(window_->control(Part::TypeList), &row));
  EXPECT_GT(row.iImage, 0);
  EXPECT_EQ(win32::Win32Shell::LiveIcons(), 0);
}

TEST_F(MainWindowTest, TenThousandIconsComeInTheBackgroundAndAnotherFileOrExitDropsThem) {
  const std::wstring many = ProgramWithIcons(10000);
  ASSERT_FALSE(many.empty()) << "the icon program could not be made";
  const int threadsBefore = ThreadsOfThisProcess();
  IconGrid& grid = window_->iconGrid();

  window_->SetIconFileText(many);
  EXPECT_EQ(grid.count(), 0) << "counted on the window's thread";
  Settle();
  ASSERT_EQ(grid.count(), 10000);
  // The cells in view and a few screens below them; the others when
  // scrolled to (see icon_grid_test.cpp).
  for (std::int64_t cell : {1, 21, 64}) EXPECT_TRUE(grid.HasPicture(cell)) << cell;
  for (std::int64_t cell : {5000, 10000}) EXPECT_FALSE(grid.HasPicture(cell)) << cell;
  EXPECT_EQ(win32::Win32Shell::LiveIcons(), 0);

  // Another file while the first one's icons are coming: none of them stays.
  window_->SetIconFileText(L"");
  window_->SetIconFileText(many);
  window_->SetIconFileText(SystemFile(L"shell32.dll"));
  Settle();
  const int cells = static_cast<int>(grid.count());
  EXPECT_GT(cells, 100);
  EXPECT_TRUE(grid.HasPicture(1));
  EXPECT_LE(grid.picturesHeld(), cells) << "pictures of the file dropped";
  EXPECT_EQ(win32::Win32Shell::LiveIcons(), 0);

  // The window closed in the middle of loading: no thread, no icon is left.
  window_->SetIconFileText(many);
  window_.reset();
  EXPECT_EQ(ThreadsOfThisProcess(), threadsBefore - 5)
      << "the walk, the list's loader, the grid's two and the preview's";
  EXPECT_EQ(win32::Win32Shell::LiveIcons(), 0);
  ::DeleteFileW(many.c_str());
}

TEST_F(MainWindowTest, ListPicturesAreDrawnAgainForAScreenOfAnotherScale) {
  ASSERT_TRUE(window_->OnLoad(false));
  Settle();
  const auto b = IndexOfText(L"Tarrow Type B  [.tarrowb]");
  ASSERT_NE(b, std::wstring::npos);
  window_->SelectItem(b);
  window_->SetIconFileText(tarrow::testing::SystemFile(L"shell32.dll"));
  Settle();
  window_->OnIconChosen(3);
  RECT suggested{0, 0, 600, 800};
  ::SendMessageW(window_->hwnd(), WM_DPICHANGED, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&suggested));
  Settle();

  const HIMAGELIST list = ListView_GetImageList(window_->control(Part::TypeList), LVSIL_SMALL);
  int cx = 0, cy = 0;
  ASSERT_TRUE(ImageList_GetIconSize(list, &cx, &cy));
  EXPECT_EQ(cx, ::GetSystemMetricsForDpi(SM_CXSMICON, 192));
  // The pictures and the placeholder of rows still waiting for theirs.
  EXPECT_EQ(ImageList_GetImageCount(list), static_cast<int>(window_->images().pictures()) + 1);
  for (const auto& item : window_->types()) {
    SCOPED_TRACE(std::string(item.description.begin(), item.description.end()));
    EXPECT_GE(window_->images().IndexOf(item.picture), 0);
  }
  EXPECT_EQ(win32::Win32Shell::LiveIcons(), 0);
}

TEST_F(MainWindowTest, EnterAndEscapePressNoButtonButAccessKeysDo) {
  ASSERT_TRUE(window_->OnLoad(false));
  Settle();
  window_->Show();
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
      Route(msg);
    }
  };
  const HWND list = window_->control(Part::TypeList);
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
  EXPECT_FALSE(window_->OnLoad(true));
  ASSERT_EQ(shell_.shown.size(), 1u);
  EXPECT_EQ(shell_.shown[0].first, L"Only one Instance allowed at a time...");
  EXPECT_EQ(shell_.shown[0].second, kMbOk | kMbIconInformation);
  EXPECT_TRUE(window_->types().empty());
  EXPECT_FALSE(window_->walking());
}

TEST_F(MainWindowTest, TheGridShowsEveryIconOfTheFileAndAssignsOne) {
  ASSERT_TRUE(window_->OnLoad(false));
  Settle();
  const std::wstring shell32 = tarrow::testing::SystemFile(L"shell32.dll");
  const int count = os_->shell.CountIcons(shell32);
  ASSERT_GT(count, 35);
  window_->SetIconFileText(shell32);
  Settle();
  IconGrid& grid = window_->iconGrid();
  EXPECT_EQ(grid.layout().cells.size(), static_cast<std::size_t>(count));
  const auto everyCellInViewDrawn = [&grid] {
    const auto [first, last] = VisibleCells(grid.metrics(), grid.count(), grid.scrollValue());
    for (std::int64_t k = first; k <= last; ++k)
      if (!grid.HasPicture(k)) return false;
    return last >= first;
  };
  EXPECT_TRUE(everyCellInViewDrawn());
  const GridLayout expected = LayOutGrid(GridMetrics{}, count);
  EXPECT_EQ(grid.layout().sheetHeight, expected.sheetHeight);
  SCROLLINFO si{sizeof si, SIF_ALL, 0, 0, 0, 0, 0};
  ::GetScrollInfo(window_->control(Part::IconGrid), SB_VERT, &si);
  EXPECT_EQ(si.nMax - static_cast<int>(si.nPage) + 1, expected.scroll.Max);

  grid.SetScrollValue(expected.scroll.Max);
  EXPECT_EQ(grid.scrollValue(), expected.scroll.Max);
  Settle();
  EXPECT_TRUE(everyCellInViewDrawn()) << "the last screen";
  grid.SetScrollValue(expected.scroll.Max / 2);
  EXPECT_EQ(grid.scrollValue(), expected.scroll.Max / 2);

  const auto b = IndexOfText(L"Tarrow Type B  [.tarrowb]");
  ASSERT_NE(b, std::wstring::npos);
  window_->SelectItem(b);
  window_->iconGrid().Frame(4);
  EXPECT_EQ(window_->picker().framedCell, 4);
  Settle();  // the preview's icons too
  const long live = win32::Win32Shell::LiveIcons();
  const std::wstring before = window_->types()[b].picture;
  window_->OnIconChosen(4);
  const TypeItem& item = window_->types()[b];
  EXPECT_EQ(item.pending, shell32 + L",3");
  EXPECT_NE(item.picture, before) << "a picture of its own for the new icon";
  EXPECT_GE(window_->images().IndexOf(item.picture), 0);
  EXPECT_EQ(win32::Win32Shell::LiveIcons(), live) << "every extracted icon is released";
  EXPECT_EQ(RegReadValue(os_->registry, kClassesRoot, L"Tarrow.TypeB\\DefaultIcon", L""),
            L"C:\\windows\\system32\\shell32.dll,-4")
      << "nothing reaches the registry before Apply";

  // Double-clicking the type loads its file, as written, with its new icon
  // framed in the first row.
  window_->SetIconFileText(L"");
  Settle();
  window_->OnTypeActivated();
  Settle();
  EXPECT_EQ(window_->IconFileText(), shell32);
  EXPECT_EQ(window_->iconGrid().framed(), 4);
  EXPECT_EQ(window_->iconGrid().scrollValue(), 0);
}

TEST_F(MainWindowTest, TheKeyboardReachesEveryCellAndAssigns) {
  ASSERT_TRUE(window_->OnLoad(false));
  Settle();
  const std::wstring shell32 = tarrow::testing::SystemFile(L"shell32.dll");
  window_->SetIconFileText(shell32);
  Settle();
  const auto cells = static_cast<std::int64_t>(window_->iconGrid().layout().cells.size());
  ASSERT_GT(cells, 21);
  const HWND grid = window_->control(Part::IconGrid);
  auto press = [grid](WPARAM key) { ::SendMessageW(grid, WM_KEYDOWN, key, 0); };
  press(VK_RIGHT);
  EXPECT_EQ(window_->picker().framedCell, 1) << "the first key frames the first cell";
  press(VK_RIGHT);
  press(VK_DOWN);
  EXPECT_EQ(window_->picker().framedCell, 9);
  press(VK_END);
  EXPECT_EQ(window_->picker().framedCell, cells);
  EXPECT_EQ(window_->iconGrid().scrollValue(), window_->iconGrid().layout().scroll.Max)
      << "the last row is scrolled into view";
  press(VK_HOME);
  EXPECT_EQ(window_->iconGrid().scrollValue(), 0);
  // A page is the two whole rows in view: 14 cells, 1,230 twips.
  press(VK_NEXT);
  EXPECT_EQ(window_->picker().framedCell, 15);
  EXPECT_EQ(window_->iconGrid().scrollValue(), 600) << "row 3 ends at 1,845 twips, 1,245 are in view";
  press(VK_NEXT);
  EXPECT_EQ(window_->picker().framedCell, 29);
  EXPECT_EQ(window_->iconGrid().scrollValue(), 1830);
  press(VK_PRIOR);
  EXPECT_EQ(window_->picker().framedCell, 15);
  EXPECT_EQ(window_->iconGrid().scrollValue(), 1230);

  const auto c = IndexOfText(L"Tarrow Type C  [.tarrowc]");
  ASSERT_NE(c, std::wstring::npos);
  window_->SelectItem(c);
  press(VK_HOME);
  press(VK_RIGHT);
  press(VK_SPACE);
  EXPECT_EQ(window_->types()[c].pending, shell32 + L",1");
}

TEST_F(MainWindowTest, ACancelledBrowseEmptiesTheFileAndTheGrid) {
  window_->SetIconFileText(tarrow::testing::SystemFile(L"shell32.dll"));
  Settle();
  ASSERT_FALSE(window_->iconGrid().layout().cells.empty());
  std::thread canceller([] {
    for (int i = 0; i < 200; ++i) {
      if (HWND dialog = ::FindWindowW(L"#32770", L"Get Icons From")) {
        ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        return;
      }
      ::Sleep(50);
    }
  });
  window_->OnBrowse();
  Settle();
  canceller.join();
  EXPECT_EQ(window_->IconFileText(), L"");
  EXPECT_TRUE(window_->iconGrid().layout().cells.empty());
}

TEST_F(MainWindowTest, FiftyScansLeakNoHandles) {
  // Wine counts no USER or GDI objects (GetGuiResources gives 0), so the
  // program's own count of live icons stands in where the system has none.
  ASSERT_TRUE(window_->OnLoad(false));
  Settle();
  const HANDLE self = ::GetCurrentProcess();
  const DWORD user = ::GetGuiResources(self, GR_USEROBJECTS), gdi = ::GetGuiResources(self, GR_GDIOBJECTS);
  for (int i = 1; i < 10; ++i) {
    window_->OnRefresh();
    Settle();
  }
  EXPECT_EQ(win32::Win32Shell::LiveIcons(), 0);
  EXPECT_EQ(::GetGuiResources(self, GR_USEROBJECTS), user);
  EXPECT_EQ(::GetGuiResources(self, GR_GDIOBJECTS), gdi);
}

// ---- finding, sorting and keeping one's place among many types

TEST_F(MainWindowTest, ASearchFiltersTheListAndEnterOpensTheTypeWithItsIconFramed) {
  ASSERT_TRUE(window_->OnLoad(false));
  Settle();
  window_->Show();
  const HWND list = window_->control(Part::TypeList);
  const HWND search = window_->control(Part::Search);
  const std::size_t total = window_->types().size();
  EXPECT_EQ(::GetFocus(), list) << "the work starts in the list";

  // By extension; the description and ProgID of .tarrowa hold no "tarrowa".
  ::SetWindowTextW(search, L"TARROWA");
  ASSERT_EQ(ListView_GetItemCount(list), 1);
  EXPECT_EQ(RowText(0, 1), L".tarrowa");
  EXPECT_EQ(Text(Part::TypeCount), L"1 of " + std::to_wstring(total) + L" types");
  // By ProgID: two extensions share Tarrow.TypeA.
  ::SetWindowTextW(search, L"tarrow.typea");
  EXPECT_EQ(ListView_GetItemCount(list), 2);
  ::SetWindowTextW(search, L"tarrowa");

  // Enter in the search box goes to the list, Enter there opens the type.
  ::SetFocus(search);
  Key(search, VK_RETURN);
  Settle();
  EXPECT_EQ(::GetFocus(), list);
  Key(list, VK_RETURN);
  Settle();
  EXPECT_EQ(window_->IconFileText(), L"%SystemRoot%\\system32\\shell32.dll");
  // Its icon is number 3: cell 4 is framed, and a screen reader hears it.
  EXPECT_EQ(window_->iconGrid().framed(), 4);
  wchar_t name[64] = {};
  ::GetWindowTextW(window_->control(Part::IconGrid), name, 64);
  EXPECT_EQ(name, L"Icon 4 of " + std::to_wstring(window_->iconGrid().count()));
  EXPECT_EQ(::GetFocus(), window_->control(Part::IconGrid)) << "the keyboard goes on in the grid";

  // Escape in the search box empties it.
  ::SetFocus(search);
  Key(search, VK_ESCAPE);
  Settle();
  EXPECT_EQ(Text(Part::Search), L"");
  EXPECT_EQ(static_cast<std::size_t>(ListView_GetItemCount(list)), total);

  // The selected type stays selected while the search narrows and widens.
  ASSERT_TRUE(window_->SelectItem(IndexOf(L".tarrowc")));
  for (const wchar_t* text : {L"tarrow", L"type c", L""}) {
    SCOPED_TRACE(tarrow::testing::Utf8(text));
    ::SetWindowTextW(search, text);
    const int row = ListView_GetNextItem(list, -1, LVNI_SELECTED);
    ASSERT_GE(row, 0);
    EXPECT_EQ(RowText(row, 1), L".tarrowc");
  }
}

TEST_F(MainWindowTest, EveryLabelsAccessKeyReachesItsControl) {
  ASSERT_TRUE(window_->OnLoad(false));
  Settle();
  window_->Show();
  struct Case {
    wchar_t key;
    Part control;
  };
  for (const Case& c : {Case{L's', Part::Search}, Case{L't', Part::TypeList}, Case{L'i', Part::IconFile}}) {
    SCOPED_TRACE(static_cast<char>(c.key));
    ::SetFocus(window_->control(c.control == Part::TypeList ? Part::Search : Part::TypeList));
    ::PostMessageW(::GetFocus(), WM_SYSCHAR, c.key, 1 << 29);
    Pump();
    EXPECT_EQ(::GetFocus(), window_->control(c.control));
  }
}

TEST_F(MainWindowTest, TypingInTheListFindsAType) {
  ASSERT_TRUE(window_->OnLoad(false));
  Settle();
  window_->Show();
  const HWND list = window_->control(Part::TypeList);
  ::SetFocus(list);
  // A dot starts a search by extension.
  for (wchar_t c : std::wstring(L".tarrowc")) ::PostMessageW(list, WM_CHAR, c, 1);
  Pump();
  const int row = ListView_GetNextItem(list, -1, LVNI_SELECTED);
  ASSERT_GE(row, 0) << "typing found nothing";
  EXPECT_EQ(RowText(row, 1), L".tarrowc");
}

TEST_F(MainWindowTest, ASortedListKeepsTheSelectedTypeAndTheTopRowAcrossRefresh) {
  ASSERT_TRUE(window_->OnLoad(false));
  Settle();
  window_->Show();
  // At the design's size, so that the list has rows to scroll.
  const int dpi = static_cast<int>(DpiOf(window_->hwnd()));
  SetClientSize(window_->hwnd(), DefaultClientWidth(dpi), DefaultClientHeight(dpi));
  const HWND list = window_->control(Part::TypeList);
  // Two clicks on the "Extension" header: the list starts sorted by
  // extension, and the second click sorts it the other way round again.
  NMLISTVIEW click{};
  click.hdr = {list, static_cast<UINT_PTR>(Part::TypeList), LVN_COLUMNCLICK};
  click.iItem = -1;
  click.iSubItem = 1;
  ::SendMessageW(window_->hwnd(), WM_NOTIFY, click.hdr.idFrom, reinterpret_cast<LPARAM>(&click));
  EXPECT_FALSE(window_->typeList().order().ascending);
  ::SendMessageW(window_->hwnd(), WM_NOTIFY, click.hdr.idFrom, reinterpret_cast<LPARAM>(&click));
  ASSERT_TRUE(window_->typeList().order().ascending);
  const int count = ListView_GetItemCount(list);
  ASSERT_GT(count, 9) << "too few types to scroll";
  for (int row = 1; row < count; ++row) {
    SCOPED_TRACE(row);
    EXPECT_LE(_wcsicmp(RowText(row - 1, 1).c_str(), RowText(row, 1).c_str()), 0);
  }
  // Scrolled down two rows, with .tarrowc selected.
  RECT item{};
  ListView_GetItemRect(list, 0, &item, LVIR_BOUNDS);
  ListView_Scroll(list, 0, 2 * (item.bottom - item.top));
  ASSERT_EQ(ListView_GetTopIndex(list), 2);
  const std::wstring top = RowText(2, 1);
  ASSERT_TRUE(window_->SelectItem(IndexOf(L".tarrowc")));

  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round == 0 ? "Refresh" : "Restore Defaults");
    if (round == 0) {
      window_->OnRefresh();
      Settle();
    } else {
      shell_.answers.push_back(kIdYes);
      window_->OnRestoreDefaults();
      Settle();
    }
    const int selected = ListView_GetNextItem(list, -1, LVNI_SELECTED);
    ASSERT_GE(selected, 0) << "the selection was dropped";
    EXPECT_EQ(RowText(selected, 1), L".tarrowc");
    EXPECT_EQ(ListView_GetTopIndex(list), 2);
    EXPECT_EQ(RowText(2, 1), top);
    EXPECT_EQ(window_->typeList().order().column, TypeColumn::Extension);
  }
}

// ---- a window that uses the screen

TEST_F(MainWindowTest, TheListAndTheGridGrowWithTheWindowAndNothingOverlaps) {
  if (DpiOf(window_->hwnd()) != 96) GTEST_SKIP() << "the prefix is not at 96 DPI";
  ASSERT_TRUE(window_->OnLoad(false));
  Settle();
  window_->Show();
  window_->SetIconFileText(tarrow::testing::SystemFile(L"shell32.dll"));
  Settle();
  window_->iconGrid().Frame(1);  // the preview has an icon to show
  SetClientSize(window_->hwnd(), 900, 900);
  RECT client;
  ::GetClientRect(window_->hwnd(), &client);
  ASSERT_EQ(client.right, 900);
  ASSERT_EQ(client.bottom, 900);
  // 585 wider and 494 taller than the design: the preview takes 272 on the
  // right, the list and the grid grow by the other 313; the grid takes the
  // 245 its eight rows need, then 124 go to the list and 125 more to it.
  const RECT preview = RectIn(window_->preview().hwnd(), window_->hwnd());
  EXPECT_TRUE(::IsWindowVisible(window_->preview().hwnd()));
  EXPECT_EQ(preview.left, 900 - 272);
  EXPECT_EQ(preview.bottom - preview.top, 900 - 20) << "above the status line";
  const RECT list = RectIn(window_->control(Part::TypeList), window_->hwnd());
  EXPECT_EQ(list.right - list.left, 297 + 313);
  // Up to 145 + 124 pixels, ending below its last whole row.
  const HWND listWindow = window_->control(Part::TypeList);
  RECT row{}, header{}, inside{};
  ASSERT_TRUE(ListView_GetItemRect(listWindow, 0, &row, LVIR_BOUNDS));
  ::GetWindowRect(ListView_GetHeader(listWindow), &header);
  ::GetClientRect(listWindow, &inside);
  EXPECT_LE(list.bottom - list.top, 145 + 124);
  EXPECT_GT(list.bottom - list.top, 145 + 124 - (row.bottom - row.top));
  EXPECT_EQ((inside.bottom - (header.bottom - header.top)) % (row.bottom - row.top), 0)
      << "a row cut in half";
  const RECT grid = RectIn(window_->control(Part::IconGrid), window_->hwnd());
  EXPECT_EQ(grid.top, 240 + 124);
  EXPECT_EQ(grid.right - grid.left, 297 + 313);
  EXPECT_EQ(grid.bottom - grid.top, 87 + 370);
  EXPECT_GE(window_->iconGrid().metrics().viewportInnerHeight, 8 * 615) << "eight rows of icons first";
  // Inside the grid's frame and beside its scroll bar, fewer than 16 cells
  // of 585 twips fit.
  RECT cells;
  ::GetClientRect(window_->control(Part::IconGrid), &cells);
  EXPECT_LT(cells.right * 15, 16 * 585);
  EXPECT_EQ(window_->iconGrid().metrics().columns, 15);
  const RECT exit = RectIn(window_->control(Part::Exit), window_->hwnd());
  EXPECT_EQ(exit.left, 264 + 313);
  EXPECT_EQ(exit.top, 332 + 494);

  std::vector<Part> ids;
  for (std::size_t part = 0; part < kPartCount; ++part) ids.push_back(static_cast<Part>(part));
  for (Part a : ids) {
    const RECT ra = RectIn(window_->control(a), window_->hwnd());
    SCOPED_TRACE(ControlIdOf(a));
    EXPECT_GE(ra.left, 0);
    EXPECT_GE(ra.top, 0);
    EXPECT_LE(ra.right, client.right);
    EXPECT_LE(ra.bottom, client.bottom);
    for (Part b : ids) {
      if (b <= a || !window_->control(b) || !::IsWindowVisible(window_->control(b))) continue;
      const RECT rb = RectIn(window_->control(b), window_->hwnd());
      RECT overlap;
      EXPECT_FALSE(::IntersectRect(&overlap, &ra, &rb)) << ControlIdOf(a) << " overlaps " << ControlIdOf(b);
    }
  }

  // Never smaller than the design.
  ::SetWindowPos(window_->hwnd(), nullptr, 0, 0, 100, 100, SWP_NOMOVE | SWP_NOZORDER);
  ::GetClientRect(window_->hwnd(), &client);
  EXPECT_EQ(client.right, 315);
  EXPECT_EQ(client.bottom, 406);
}

// A first run opens within two thirds of the work area, the grid given its
// eight rows before the list grows, each column of the list readable, and
// no preview while nothing is framed.
TEST_F(MainWindowTest, AFirstRunGivesTheGridEightRowsAndTheListReadableColumns) {
  if (DpiOf(window_->hwnd()) != 96) GTEST_SKIP() << "the prefix is not at 96 DPI";
  ASSERT_TRUE(window_->OnLoad(false));
  Settle();
  window_->Show();
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  ::GetMonitorInfoW(::MonitorFromWindow(window_->hwnd(), MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& work = monitor.rcWork;
  RECT frame;
  ::GetWindowRect(window_->hwnd(), &frame);
  EXPECT_LE(frame.right - frame.left, (work.right - work.left) * 2 / 3);
  EXPECT_LE(frame.bottom - frame.top, (work.bottom - work.top) * 2 / 3);
  const RECT list = RectIn(window_->control(Part::TypeList), window_->hwnd());
  // The screen of these tests (1280 x 1024) has room for the eight rows
  // only: the list keeps its design height.
  EXPECT_GE(window_->iconGrid().metrics().viewportInnerHeight, 8 * 615);
  EXPECT_LE(list.bottom - list.top, 145);
  EXPECT_FALSE(::IsWindowVisible(window_->preview().hwnd())) << "nothing framed: no room for the preview";
  EXPECT_GE(list.right - list.left, 550) << "the list has every column readable";
  // The header's "Extension" whole beside the sort arrow.
  const HWND listWindow = window_->control(Part::TypeList);
  const int text = ListView_GetStringWidth(listWindow, L"Extension");
  EXPECT_GE(ListView_GetColumnWidth(listWindow, 1), text + 36);
  for (const auto& [row, column] : {std::pair{0, 0}, {2, 0}, {0, 2}}) {
    SCOPED_TRACE(::testing::Message() << "row " << row << " column " << column);
    const std::wstring cell = RowText(row, column);
    EXPECT_LE(ListView_GetStringWidth(listWindow, cell.c_str()) + 24,
              ListView_GetColumnWidth(listWindow, column))
        << Utf8(cell) << " is cut";
  }
  // An icon framed: the preview takes its room at once, the list keeps its
  // readable width beside it; nothing framed, the room goes back.
  window_->SetIconFileText(tarrow::testing::SystemFile(L"shell32.dll"));
  Settle();
  ::SendMessageW(window_->iconGrid().hwnd(), WM_KEYDOWN, VK_RIGHT, 0);
  EXPECT_TRUE(::IsWindowVisible(window_->preview().hwnd()));
  const RECT beside = RectIn(window_->control(Part::TypeList), window_->hwnd());
  EXPECT_GE(beside.right - beside.left, 550);
  EXPECT_LT(beside.right - beside.left, list.right - list.left);
  window_->SetIconFileText(L"");
  Settle();
  EXPECT_FALSE(::IsWindowVisible(window_->preview().hwnd()));
}

TEST_F(MainWindowTest, TheWindowComesBackWhereTheUserLeftIt) {
  window_->Show();
  ::SetWindowPos(window_->hwnd(), nullptr, 40, 30, 500, 600, SWP_NOZORDER);
  window_.reset();
  EXPECT_EQ(RegReadValue(os_->registry, kCurrentUser, kSettingsKey, kPlacementValue),
            L"40,30,500,600,0," + std::to_wstring(DpiOf(nullptr)));
  window_ = std::make_unique<MainWindow>(*os_);
  ASSERT_TRUE(window_->Create());
  window_->Show();
  RECT r;
  ::GetWindowRect(window_->hwnd(), &r);
  EXPECT_EQ(r.left, 40);
  EXPECT_EQ(r.top, 30);
  EXPECT_EQ(r.right - r.left, 500);
  EXPECT_EQ(r.bottom - r.top, 600);

  // A place on no monitor is forgotten: the window is centred.
  RegKey key = 0;
  bool created = false;
  ASSERT_EQ(os_->registry.CreateKey(kCurrentUser, kSettingsKey, key, created), kSuccess);
  const std::wstring gone = L"-30000,-30000,500,600,0,96";
  os_->registry.SetValue(key, kPlacementValue, kRegSz, gone.c_str(),
                         static_cast<std::uint32_t>((gone.size() + 1) * sizeof(wchar_t)));
  os_->registry.CloseKey(key);
  window_ = std::make_unique<MainWindow>(*os_);
  ASSERT_TRUE(window_->Create());
  window_->Show();
  ::GetWindowRect(window_->hwnd(), &r);
  EXPECT_GT(r.left, -1000);
  EXPECT_GT(r.top, -1000);
}

// ---- saying what is going on

TEST_F(MainWindowTest, ChangesAreMarkedCountedAndSharedUntilApplied) {
  ASSERT_TRUE(window_->OnLoad(false));
  Settle();
  const auto a = IndexOf(L".tarrowa"), d = IndexOf(L".tarrowd");
  ASSERT_NE(a, std::wstring::npos);
  ASSERT_NE(d, std::wstring::npos);
  const std::wstring total = std::to_wstring(window_->types().size());
  EXPECT_EQ(window_->StatusText(), total + L" types, no changes waiting");
  EXPECT_FALSE(::IsWindowEnabled(window_->control(Part::Apply)));
  window_->OnApply();  // nothing to apply: nothing said
  EXPECT_EQ(window_->StatusText(), total + L" types, no changes waiting");
  Settle();

  window_->SelectItem(a);
  const std::wstring shell32 = tarrow::testing::SystemFile(L"shell32.dll");
  window_->SetIconFileText(shell32);
  Settle();
  window_->OnIconChosen(6);
  EXPECT_EQ(window_->types()[d].pending, shell32 + L",5") << ".tarrowd has the same ProgID";
  EXPECT_EQ(window_->types()[d].picture, window_->types()[a].picture);
  EXPECT_EQ(RowText(window_->typeList().RowOf(a), 0), L"* Tarrow Type A");
  EXPECT_EQ(RowText(window_->typeList().RowOf(d), 0), L"* Tarrow Type A");
  EXPECT_EQ(RowText(window_->typeList().RowOf(a), 2), shell32 + L",5");
  EXPECT_EQ(window_->StatusText(), total + L" types, 2 changes not applied");
  EXPECT_TRUE(::IsWindowEnabled(window_->control(Part::Apply)));

  const std::wstring key = L"Tarrow.TypeA\\DefaultIcon";
  const tarrow::testing::KeptValue kept(key);
  window_->OnApply();
  Settle();
  EXPECT_EQ(RegReadValue(os_->registry, kClassesRoot, key, L""), shell32 + L",5");
  EXPECT_TRUE(shell_.shown.empty()) << "success needs no message box";
  EXPECT_EQ(window_->StatusText(), total + L" types, no changes waiting. 2 types changed for all users.")
      << "Apply does not wait for the shell";
  // Wine's shell answers for the machine layer, where these were written.
  EXPECT_TRUE(tarrow::testing::PumpUntil([&] { return !window_->checkingShell(); }));
  EXPECT_EQ(window_->StatusText(),
            total + L" types, no changes waiting. 2 types changed for all users. Explorer shows the new icons.");
  EXPECT_EQ(RowText(window_->typeList().RowOf(a), 0), L"Tarrow Type A");
  EXPECT_FALSE(::IsWindowEnabled(window_->control(Part::Apply)));
}

TEST_F(MainWindowTest, AFileWithoutIconsSaysSoWhereTheGridIs) {
  window_->SetIconFileText(L"C:\\no such folder\\none.dll");
  Settle();
  EXPECT_EQ(window_->iconGrid().emptyText(), L"There is no file by this name.");
  window_->SetIconFileText(tarrow::testing::Fixture(L"not-an-icon.ico"));
  Settle();
  EXPECT_EQ(window_->iconGrid().emptyText(), L"This file holds no icons, or they cannot be read.");
  window_->SetIconFileText(tarrow::testing::SystemFile(L"shell32.dll"));
  Settle();
  EXPECT_EQ(window_->iconGrid().emptyText(), L"");
  window_->SetIconFileText(L"");
  Settle();
  EXPECT_EQ(window_->iconGrid().emptyText(), L"") << "no file named, nothing to say";
}

TEST_F(MainWindowTest, ExitCloseAndRefreshAskBeforeDroppingChanges) {
  ASSERT_TRUE(window_->OnLoad(false));
  Settle();
  const auto c = IndexOf(L".tarrowc");
  window_->SelectItem(c);
  window_->SetIconFileText(tarrow::testing::SystemFile(L"shell32.dll"));
  Settle();
  window_->OnIconChosen(2);
  const HWND hwnd = window_->hwnd();

  shell_.answers.push_back(kIdCancel);
  window_->OnExit();
  ASSERT_EQ(shell_.shown.size(), 1u);
  EXPECT_EQ(shell_.shown[0].first,
            L"1 icon change is not applied yet.\r\n\r\nApply it before closing Tarrow?\r\n\r\n"
            L"Yes applies it, No drops it, Cancel goes back.");
  EXPECT_EQ(shell_.shown[0].second, kMbYesNoCancel | kMbIconWarning);
  EXPECT_TRUE(::IsWindow(hwnd));

  shell_.answers.push_back(kIdCancel);
  ::SendMessageW(hwnd, WM_CLOSE, 0, 0);
  EXPECT_EQ(shell_.shown.size(), 2u);
  EXPECT_TRUE(::IsWindow(hwnd));

  shell_.answers.push_back(kIdCancel);
  window_->OnRefresh();
  Settle();
  EXPECT_EQ(shell_.shown.size(), 3u);
  EXPECT_TRUE(IsChanged(window_->types()[c])) << "Cancel keeps the change";

  // Yes applies first, then closes.
  const std::wstring key = L"Tarrow.TypeC\\DefaultIcon";
  const tarrow::testing::KeptValue kept(key);
  shell_.answers.push_back(kIdYes);
  ::SendMessageW(hwnd, WM_CLOSE, 0, 0);
  EXPECT_TRUE(PumpUntilQuit()) << "the window did not close once Apply was over";
  EXPECT_FALSE(::IsWindow(hwnd));
  EXPECT_EQ(RegReadValue(os_->registry, kClassesRoot, key, L""),
            tarrow::testing::SystemFile(L"shell32.dll") + L",1");
}

TEST_F(MainWindowTest, WhileTheRegistryIsReadTheButtonsAreDisabledAndApplyIsRefused) {
  ASSERT_TRUE(window_->OnLoad(false));
  Settle();
  const auto c = IndexOf(L".tarrowc");
  window_->SelectItem(c);
  window_->SetIconFileText(tarrow::testing::SystemFile(L"shell32.dll"));
  Settle();
  window_->OnIconChosen(2);
  ASSERT_TRUE(::IsWindowEnabled(window_->control(Part::Apply)));

  const std::wstring key = L"Tarrow.TypeC\\DefaultIcon";
  const std::wstring before = RegReadValue(os_->registry, kClassesRoot, key, L"");
  shell_.answers.push_back(kIdNo);  // drop the change
  window_->OnRefresh();
  ASSERT_TRUE(window_->walking());
  EXPECT_FALSE(::IsWindowEnabled(window_->control(Part::Refresh)));
  EXPECT_FALSE(::IsWindowEnabled(window_->control(Part::Apply)));
  EXPECT_FALSE(::IsWindowEnabled(window_->control(Part::Restore)));
  EXPECT_TRUE(window_->StatusText().starts_with(L"Reading file types\u2026 ")) << Utf8(window_->StatusText());
  ::SendMessageW(window_->hwnd(), WM_COMMAND, ControlIdOf(Part::Apply), 0);
  ::SendMessageW(window_->hwnd(), WM_COMMAND, ControlIdOf(Part::Restore), 0);
  EXPECT_TRUE(shell_.answers.empty() && shell_.shown.size() == 1) << "a question was asked while reading";
  Settle();
  EXPECT_EQ(RegReadValue(os_->registry, kClassesRoot, key, L""), before) << "Apply wrote during the walk";
  EXPECT_TRUE(::IsWindowEnabled(window_->control(Part::Refresh)));
  EXPECT_TRUE(::IsWindowEnabled(window_->control(Part::Restore)));
  EXPECT_EQ(window_->StatusText(), std::to_wstring(window_->types().size()) + L" types, no changes waiting");
}

TEST_F(MainWindowTest, DeleteInTheListRestoresTheSelectedTypesOriginalIcon) {
  ASSERT_TRUE(window_->OnLoad(false));
  Settle();
  const std::wstring key = L"Tarrow.TypeC\\DefaultIcon";
  const tarrow::testing::KeptValue kept(key);
  const std::wstring shell32 = tarrow::testing::SystemFile(L"shell32.dll");
  const auto c = IndexOf(L".tarrowc");
  window_->SelectItem(c);
  window_->SetIconFileText(shell32);
  Settle();
  window_->OnIconChosen(2);
  window_->OnApply();
  Settle();
  ASSERT_EQ(RegReadValue(os_->registry, kClassesRoot, key, L""), shell32 + L",1");

  // A change like any other: marked, and written by Apply.
  const HWND list = window_->control(Part::TypeList);
  ::SendMessageW(list, WM_KEYDOWN, VK_DELETE, 0);
  EXPECT_EQ(RegReadValue(os_->registry, kClassesRoot, key, L""), shell32 + L",1") << "nothing written yet";
  EXPECT_TRUE(window_->types()[c].pendingOriginal);
  EXPECT_EQ(window_->types()[c].pending, L"\"C:\\windows\\system32\\shell32.dll\",7");
  window_->OnApply();
  Settle();
  EXPECT_EQ(tarrow::testing::DefaultValue(key), kept.original()) << "type and bytes as they were";
  EXPECT_TRUE(
      window_->StatusText().starts_with(std::to_wstring(window_->types().size()) +
                                        L" types, no changes waiting. 1 type given the original icon back."))
      << Utf8(window_->StatusText());
  EXPECT_TRUE(shell_.shown.empty()) << "success needs no message box";
  const int selected = ListView_GetNextItem(list, -1, LVNI_SELECTED);
  ASSERT_GE(selected, 0);
  EXPECT_EQ(RowText(selected, 1), L".tarrowc") << "the selection stays";
  EXPECT_EQ(RowText(selected, 2), L"\"C:\\windows\\system32\\shell32.dll\",7");
}

// Delete on a type whose new icon waits for Apply takes the pick back.
TEST_F(MainWindowTest, DeleteOnAPickNotAppliedYetWithdrawsIt) {
  ASSERT_TRUE(window_->OnLoad(false));
  Settle();
  const auto c = IndexOf(L".tarrowc");
  const std::wstring picture = window_->types()[c].picture, location = window_->types()[c].location;
  window_->SelectItem(c);
  window_->SetIconFileText(tarrow::testing::SystemFile(L"shell32.dll"));
  Settle();
  window_->OnIconChosen(2);
  ASSERT_TRUE(IsChanged(window_->types()[c]));

  const HWND list = window_->control(Part::TypeList);
  ::SendMessageW(list, WM_KEYDOWN, VK_DELETE, 0);
  EXPECT_FALSE(IsChanged(window_->types()[c]));
  EXPECT_EQ(window_->types()[c].picture, picture) << "the stored icon shows again";
  const int row = window_->typeList().RowOf(c);
  EXPECT_EQ(RowText(row, 0), L"Tarrow Type C");
  EXPECT_EQ(RowText(row, 2), location);
  EXPECT_EQ(window_->StatusText(),
            std::to_wstring(window_->types().size()) +
                L" types, no changes waiting. 1 new icon was taken back before Apply; nothing was written.");
  EXPECT_FALSE(::IsWindowEnabled(window_->control(Part::Apply)));
  EXPECT_TRUE(shell_.shown.empty());

  // Refresh is a new step: the news of the last one goes, and nothing is
  // asked, since nothing waits.
  ::SendMessageW(list, WM_KEYDOWN, VK_DELETE, 0);
  EXPECT_NE(window_->StatusText().find(L"Tarrow never changed the icon of"), std::wstring::npos);
  window_->OnRefresh();
  Settle();
  EXPECT_EQ(window_->StatusText(), std::to_wstring(window_->types().size()) + L" types, no changes waiting");
  EXPECT_TRUE(shell_.shown.empty());
}

// The Icon column's form of a location, typed or pasted in the box: its
// file's icons, that icon framed, and a pick from there names the file alone.
TEST_F(MainWindowTest, AWholeLocationInTheIconFileBoxOpensTheFileWithThatIconFramed) {
  ASSERT_TRUE(window_->OnLoad(false));
  Settle();
  const std::wstring shell32 = tarrow::testing::SystemFile(L"shell32.dll");
  window_->SetIconFileText(shell32 + L",5");
  Settle();
  EXPECT_GT(window_->iconGrid().count(), 5);
  EXPECT_EQ(window_->iconGrid().framed(), 6);
  EXPECT_EQ(window_->preview().file(), shell32);
  EXPECT_EQ(window_->preview().index(), 5);
  EXPECT_EQ(window_->iconGrid().emptyText(), L"");
  const auto c = IndexOf(L".tarrowc");
  window_->SelectItem(c);
  window_->OnIconChosen(window_->iconGrid().framed());
  EXPECT_EQ(window_->types()[c].pending, shell32 + L",5");

  window_->SetIconFileText(shell32 + L" ,2");
  Settle();
  EXPECT_EQ(window_->iconGrid().framed(), 3) << "blanks around the index, as the registry allows";
  window_->SetIconFileText(shell32 + L",x");
  Settle();
  EXPECT_EQ(window_->iconGrid().count(), 0) << "no index: the whole text names a file, which is not there";
  EXPECT_EQ(window_->iconGrid().emptyText(), L"There is no file by this name.");
}

// Read anew, the list has no pick: none stays framed in the grid or shown in
// the preview.
TEST_F(MainWindowTest, RefreshWithoutApplyingLeavesNoPickFramedOrPreviewed) {
  ASSERT_TRUE(window_->OnLoad(false));
  Settle();
  window_->SelectItem(IndexOf(L".tarrowc"));
  window_->SetIconFileText(tarrow::testing::SystemFile(L"shell32.dll"));
  Settle();
  ::SendMessageW(window_->iconGrid().hwnd(), WM_KEYDOWN, VK_RIGHT, 0);
  ::SendMessageW(window_->iconGrid().hwnd(), WM_KEYDOWN, VK_SPACE, 0);
  ASSERT_TRUE(IsChanged(window_->types()[IndexOf(L".tarrowc")]));
  ASSERT_GT(window_->iconGrid().framed(), 0);
  shell_.answers.push_back(kIdNo);
  ::SendMessageW(window_->hwnd(), WM_COMMAND, ControlIdOf(Part::Refresh), 0);
  Settle();
  EXPECT_EQ(shell_.shown.size(), 1u);
  EXPECT_EQ(window_->iconGrid().framed(), 0);
  EXPECT_EQ(window_->preview().index(), -1);
  EXPECT_EQ(window_->picker().framedCell, 0);
}

// A type naming a resource id its file lacks: told why nothing is framed.
TEST_F(MainWindowTest, AResourceIdTheFileLacksIsNamedWhenTheTypeOpens) {
  const std::wstring key = L"Tarrow.TypeC\\DefaultIcon";
  const tarrow::testing::KeptValue kept(key);
  const std::wstring location = tarrow::testing::SystemFile(L"shell32.dll") + L",-31999";
  ::RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, REG_SZ, location.c_str(),
                    static_cast<DWORD>((location.size() + 1) * sizeof(wchar_t)));
  ASSERT_TRUE(window_->OnLoad(false));
  Settle();
  window_->SelectItem(IndexOf(L".tarrowc"));
  window_->OnTypeActivated();
  Settle();
  EXPECT_EQ(window_->iconGrid().framed(), 0);
  EXPECT_NE(window_->StatusText().find(
                L"The file holds no icon of resource id 31999, which this type names, so no icon is framed."),
            std::wstring::npos)
      << Utf8(window_->StatusText());
  // At the design width the line is cut: its tip holds it whole.
  EXPECT_EQ(window_->StatusTip(), L" " + window_->StatusText());

  window_->SelectItem(IndexOf(L".tarrowb"));  // shell32.dll,-4, which the file holds
  window_->OnTypeActivated();
  EXPECT_EQ(window_->StatusText(), std::to_wstring(window_->types().size()) + L" types, no changes waiting");
  EXPECT_EQ(window_->StatusTip(), L"") << "a line that fits has no tip";
}

// ---- the window answers while changes are written

// The lock every change takes, held by a thread of its own as another
// process would hold it, until released: a write started meanwhile waits.
class HeldChangeLock {
 public:
  explicit HeldChangeLock(Shell& shell) {
    thread_ = std::thread([this, &shell] {
      const auto lock = shell.LockChanges(0);
      std::unique_lock guard(mutex_);
      held_ = lock != nullptr;
      taken_ = true;
      changed_.notify_all();
      changed_.wait(guard, [&] { return released_; });
    });
    std::unique_lock guard(mutex_);
    changed_.wait(guard, [&] { return taken_; });
  }
  ~HeldChangeLock() { Release(); }
  bool held() const { return held_; }
  void Release() {
    {
      std::lock_guard guard(mutex_);
      released_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool taken_ = false, held_ = false, released_ = false;
  std::thread thread_;
};

// Whether the window answers a message sent from another thread within the
// bound, while this thread runs its messages as the program's loop does.
bool AnswersFromAnotherThread(HWND window) {
  std::atomic<bool> done = false;
  bool answered = false;
  std::thread probe([&] {
    DWORD_PTR result = 0;
    answered = ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result) != 0;
    done = true;
  });
  tarrow::testing::PumpUntil([&] { return done.load(); });
  probe.join();
  return answered;
}

// The window loaded, taking Defaults.dat; Tarrow.TypeC's icon then changed by
// another program; and Restore Defaults, answered Yes, waiting for the lock
// another thread holds.
class RestoreWhileLockedTest : public MainWindowTest {
 protected:
  static constexpr wchar_t kKey[] = L"Tarrow.TypeC\\DefaultIcon";
  void SetUp() override {
    MainWindowTest::SetUp();
    ASSERT_TRUE(window_->OnLoad(false));
    Settle();
    kept_.emplace(kKey);
    original_ = RegReadValue(os_->registry, kClassesRoot, kKey, L"");
    ASSERT_TRUE(
        RegWriteValue(os_->registry, kClassesRoot, kKey, L"", std::wstring(L"changed.dll,9"), kRegSz));
    lock_.emplace(shell_);
    ASSERT_TRUE(lock_->held());
    shell_.answers.push_back(kIdYes);
    window_->OnRestoreDefaults();
    ASSERT_TRUE(window_->writing());
  }
  void TearDown() override {
    lock_.reset();
    MainWindowTest::TearDown();
    kept_.reset();
  }
  std::optional<tarrow::testing::KeptValue> kept_;
  std::optional<HeldChangeLock> lock_;
  std::wstring original_;
};

TEST_F(RestoreWhileLockedTest, TheWindowAnswersAndItsCommandsAreOff) {
  EXPECT_TRUE(AnswersFromAnotherThread(window_->hwnd()));
  EXPECT_EQ(window_->StatusText(), L"Restoring original icons\u2026");
  for (Part part : {Part::Refresh, Part::Apply, Part::Restore}) {
    SCOPED_TRACE(static_cast<int>(part));
    EXPECT_FALSE(::IsWindowEnabled(window_->control(part)));
  }
  // The list is there to look at, but nothing else may start meanwhile.
  EXPECT_TRUE(window_->SelectItem(IndexOf(L".tarrowa")));
  ::SendMessageW(window_->hwnd(), WM_COMMAND, ControlIdOf(Part::Restore), 0);
  window_->OnRefresh();
  EXPECT_FALSE(window_->walking());
  EXPECT_EQ(shell_.shown.size(), 1u) << "asked again while writing";
  EXPECT_EQ(RegReadValue(os_->registry, kClassesRoot, kKey, L""), L"changed.dll,9")
      << "written under the lock";

  lock_->Release();
  Settle();
  EXPECT_EQ(RegReadValue(os_->registry, kClassesRoot, kKey, L""), original_)
      << Utf8(shell_.shown.back().first);
  EXPECT_TRUE(::IsWindowEnabled(window_->control(Part::Restore)));
  EXPECT_TRUE(window_->StatusText().starts_with(std::to_wstring(window_->types().size()) + L" types"))
      << Utf8(window_->StatusText());
  EXPECT_EQ(shell_.shown.size(), 1u) << Utf8(shell_.shown.back().first);
}

TEST_F(MainWindowTest, ClosingWhileApplyWaitsForTheLockClosesOnceItIsWritten) {
  ASSERT_TRUE(window_->OnLoad(false));
  Settle();
  const std::wstring key = L"Tarrow.TypeC\\DefaultIcon";
  const tarrow::testing::KeptValue kept(key);
  const std::wstring before = RegReadValue(os_->registry, kClassesRoot, key, L"");
  window_->SelectItem(IndexOf(L".tarrowc"));
  window_->SetIconFileText(tarrow::testing::SystemFile(L"shell32.dll"));
  Settle();
  window_->OnIconChosen(2);

  HeldChangeLock lock(shell_);
  ASSERT_TRUE(lock.held());
  window_->OnApply();
  ASSERT_TRUE(window_->writing());
  EXPECT_EQ(window_->StatusText(), L"Applying changes\u2026");
  EXPECT_TRUE(AnswersFromAnotherThread(window_->hwnd()));
  const HWND hwnd = window_->hwnd();
  ::SendMessageW(hwnd, WM_CLOSE, 0, 0);
  EXPECT_TRUE(::IsWindow(hwnd)) << "closed with the write in hand";
  EXPECT_TRUE(shell_.shown.empty()) << "the changes being written were asked about";
  EXPECT_EQ(RegReadValue(os_->registry, kClassesRoot, key, L""), before);

  lock.Release();
  EXPECT_TRUE(PumpUntilQuit()) << "the window did not close once Apply was over";
  EXPECT_FALSE(::IsWindow(hwnd));
  EXPECT_EQ(RegReadValue(os_->registry, kClassesRoot, key, L""),
            tarrow::testing::SystemFile(L"shell32.dll") + L",1");
  EXPECT_TRUE(shell_.shown.empty());
}

TEST_F(RestoreWhileLockedTest, ClosingClosesOnceTheRestoreIsWritten) {
  const HWND hwnd = window_->hwnd();
  ::SendMessageW(hwnd, WM_CLOSE, 0, 0);
  EXPECT_TRUE(::IsWindow(hwnd)) << "closed with the restore in hand";
  lock_->Release();
  EXPECT_TRUE(PumpUntilQuit()) << "the window did not close once the restore was over";
  EXPECT_FALSE(::IsWindow(hwnd));
  EXPECT_EQ(RegReadValue(os_->registry, kClassesRoot, kKey, L""), original_);
  EXPECT_EQ(shell_.shown.size(), 1u) << "only the question";
}

// ---- the faults an audit found

TEST_F(MainWindowTest, AnotherFileClearsTheFrameSoSpaceAssignsNothingUnpicked) {
  ASSERT_TRUE(window_->OnLoad(false));
  Settle();
  std::wstring other;
  for (const wchar_t* name : {L"user32.dll", L"comctl32.dll", L"explorer.exe", L"winefile.exe"}) {
    if (os_->shell.CountIcons(tarrow::testing::SystemFile(name)) >= 5) {
      other = tarrow::testing::SystemFile(name);
      break;
    }
  }
  if (other.empty()) GTEST_SKIP() << "no second system file with five icons";
  const auto c = IndexOf(L".tarrowc");
  window_->SelectItem(c);
  window_->SetIconFileText(tarrow::testing::SystemFile(L"shell32.dll"));
  Settle();
  window_->iconGrid().Frame(5);
  window_->SetIconFileText(other);
  Settle();
  EXPECT_EQ(window_->iconGrid().framed(), 0);
  EXPECT_EQ(window_->picker().framedCell, 0);
  ::SendMessageW(window_->control(Part::IconGrid), WM_KEYDOWN, VK_SPACE, 0);
  EXPECT_FALSE(IsChanged(window_->types()[c])) << "Space gave an icon nobody picked";
}

TEST_F(MainWindowTest, ADoubleClickEndingOutsideTheGridCostsNoClick) {
  window_->SetIconFileText(tarrow::testing::SystemFile(L"shell32.dll"));
  Settle();
  const HWND grid = window_->control(Part::IconGrid);
  // Cell 1 at (20, 20), cell 3 at (98, 20), at 96 DPI or more.
  const int scale = static_cast<int>(DpiOf(grid));
  const LPARAM cell1 = MAKELPARAM(20 * scale / 96, 20 * scale / 96);
  const LPARAM cell3 = MAKELPARAM(98 * scale / 96, 20 * scale / 96);
  ::SendMessageW(grid, WM_LBUTTONDOWN, MK_LBUTTON, cell1);
  ::SendMessageW(grid, WM_LBUTTONUP, 0, cell1);
  ::SendMessageW(grid, WM_LBUTTONDBLCLK, MK_LBUTTON, cell1);
  // ... released outside the grid: its release never comes here.
  ::SendMessageW(grid, WM_LBUTTONDOWN, MK_LBUTTON, cell3);
  ::SendMessageW(grid, WM_LBUTTONUP, 0, cell3);
  EXPECT_EQ(window_->iconGrid().framed(), 3);
}

TEST_F(MainWindowTest, AfterRefreshTheFocusIsWhereItWas) {
  ASSERT_TRUE(window_->OnLoad(false));
  Settle();
  window_->Show();
  const HWND refresh = window_->control(Part::Refresh);
  ::SetFocus(refresh);
  ASSERT_EQ(::GetFocus(), refresh);
  window_->OnRefresh();
  Settle();
  EXPECT_EQ(::GetFocus(), refresh);
}

// The same after a write: the pressed button is off while it runs.
TEST_F(MainWindowTest, AfterApplyAndRestoreDefaultsTheFocusIsWhereItWas) {
  ASSERT_TRUE(window_->OnLoad(false));
  Settle();
  window_->Show();
  const tarrow::testing::KeptValue kept(L"Tarrow.TypeC\\DefaultIcon");
  window_->SelectItem(IndexOf(L".tarrowc"));
  window_->SetIconFileText(tarrow::testing::SystemFile(L"shell32.dll"));
  Settle();
  window_->OnIconChosen(2);
  ::SetFocus(window_->control(Part::Apply));
  window_->OnApply();
  ASSERT_TRUE(window_->writing());
  Settle();
  EXPECT_EQ(::GetFocus(), window_->control(Part::TypeList)) << "Apply is off with nothing left to apply";

  const HWND restore = window_->control(Part::Restore);
  ::SetFocus(restore);
  shell_.answers.push_back(kIdYes);
  window_->OnRestoreDefaults();
  ASSERT_TRUE(window_->writing());
  Settle();
  EXPECT_EQ(::GetFocus(), restore);
}

// Restore Defaults counts what it puts back as Apply counts what it changes:
// the types, both before (in its question) and after.
TEST_F(MainWindowTest, RestoreDefaultsSaysHowManyTypesGetTheirOriginalBack) {
  const tarrow::testing::KeptValue kept(L"Tarrow.TypeA\\DefaultIcon");
  ASSERT_TRUE(window_->OnLoad(false));
  Settle();
  window_->SelectItem(IndexOf(L".tarrowa"));
  window_->SetIconFileText(tarrow::testing::SystemFile(L"shell32.dll"));
  Settle();
  window_->OnIconChosen(2);
  window_->OnApply();
  Settle();
  shell_.answers.push_back(kIdYes);
  ::SendMessageW(window_->hwnd(), WM_COMMAND, ControlIdOf(Part::Restore), 0);
  Settle();
  ASSERT_FALSE(shell_.shown.empty());
  EXPECT_EQ(shell_.shown[0].first,
            L"Restore all icons to their original state?\r\n\r\n2 types get back the icon they had before "
            L"Tarrow changed it.");
  EXPECT_TRUE(window_->StatusText().starts_with(std::to_wstring(window_->types().size()) +
                                                L" types, no changes waiting. 2 types given the original "
                                                L"icon back."))
      << Utf8(window_->StatusText());
  EXPECT_EQ(tarrow::testing::DefaultValue(L"Tarrow.TypeA\\DefaultIcon"), kept.original());
}

TEST_F(MainWindowTest, AWheelNotchTowardsTheUserShowsTheNextRow) {
  window_->SetIconFileText(tarrow::testing::SystemFile(L"shell32.dll"));
  Settle();
  const HWND grid = window_->control(Part::IconGrid);
  ::SendMessageW(grid, WM_MOUSEWHEEL, MAKEWPARAM(0, -WHEEL_DELTA), 0);
  EXPECT_EQ(window_->iconGrid().scrollValue(), 615);
  ::SendMessageW(grid, WM_MOUSEWHEEL, MAKEWPARAM(0, -WHEEL_DELTA), 0);
  EXPECT_EQ(window_->iconGrid().scrollValue(), 1230);
  ::SendMessageW(grid, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), 0);
  EXPECT_EQ(window_->iconGrid().scrollValue(), 615);
}

TEST_F(MainWindowTest, TheScrollBarStepsByRowsAndPagesWithAThumbForTheView) {
  window_->SetIconFileText(tarrow::testing::SystemFile(L"shell32.dll"));
  Settle();
  // The grid's own scroll bar, which tells the grid itself.
  const HWND grid = window_->control(Part::IconGrid);
  SCROLLINFO si{sizeof si, SIF_ALL, 0, 0, 0, 0, 0};
  ::GetScrollInfo(grid, SB_VERT, &si);
  EXPECT_EQ(si.nPage, 1245u) << "the view's 1,245 twips";
  auto send = [&](WORD code) { ::SendMessageW(grid, WM_VSCROLL, MAKEWPARAM(code, 0), 0); };
  send(SB_LINEDOWN);
  EXPECT_EQ(window_->iconGrid().scrollValue(), 615);
  send(SB_PAGEDOWN);
  EXPECT_EQ(window_->iconGrid().scrollValue(), 615 + 1230);
  send(SB_LINEUP);
  EXPECT_EQ(window_->iconGrid().scrollValue(), 1230);
}

// ---- the preview of the framed icon

// four-sizes.ico holds 16, 32, 48 and 256 pixels (the 256 as PNG),
// only-32.ico one image of 32: both made with ImageMagick's icon:auto-resize.
TEST_F(MainWindowTest, ThePreviewFollowsTheFramedIconAndSaysWhichSizesTheFileHolds) {
  if (DpiOf(window_->hwnd()) != 96) GTEST_SKIP() << "the prefix is not at 96 DPI";
  ASSERT_TRUE(window_->OnLoad(false));
  Settle();
  IconPreview& preview = window_->preview();
  const auto settlePreview = [&] {
    EXPECT_TRUE(tarrow::testing::PumpUntil([&] { return !preview.loading(); }));
  };
  // Hidden in a narrow window, it asks for nothing; wide enough, it shows.
  window_->SetIconFileText(tarrow::testing::SystemFile(L"shell32.dll"));
  Settle();
  window_->iconGrid().Frame(2);
  EXPECT_FALSE(preview.loading());
  EXPECT_FALSE(preview.HasPicture(0));
  SetClientSize(window_->hwnd(), DefaultClientWidth(96) + 525, DefaultClientHeight(96));
  EXPECT_TRUE(::GetWindowLongPtrW(preview.hwnd(), GWL_STYLE) & WS_VISIBLE);
  settlePreview();
  EXPECT_TRUE(preview.HasPicture(0)) << "drawn once there is room";

  const std::wstring four = tarrow::testing::Fixture(L"four-sizes.ico");
  window_->SetIconFileText(four);
  Settle();
  EXPECT_EQ(preview.index(), -1) << "nothing framed yet";
  window_->iconGrid().Frame(1);
  settlePreview();
  EXPECT_EQ(preview.file(), four);
  EXPECT_EQ(preview.index(), 0);
  const wchar_t* held[] = {L"16 px: held", L"32 px: held", L"48 px: held", L"256 px: held"};
  for (std::size_t k = 0; k < 4; ++k) {
    SCOPED_TRACE(k);
    EXPECT_TRUE(preview.HasPicture(k));
    EXPECT_EQ(preview.Caption(k), held[k]);
  }
  EXPECT_EQ(preview.heldText(), L"Holds 16, 32, 48 and 256 pixels.");

  const std::wstring one = tarrow::testing::Fixture(L"only-32.ico");
  window_->SetIconFileText(one);
  Settle();
  EXPECT_EQ(preview.index(), -1) << "another file: nothing framed";
  EXPECT_FALSE(preview.HasPicture(1));
  window_->iconGrid().Frame(1);
  settlePreview();
  EXPECT_EQ(preview.file(), one);
  const wchar_t* scaled[] = {L"16 px: scaled from 32", L"32 px: held", L"48 px: scaled from 32",
                             L"256 px: scaled from 32"};
  for (std::size_t k = 0; k < 4; ++k) {
    SCOPED_TRACE(k);
    EXPECT_TRUE(preview.HasPicture(k));
    EXPECT_EQ(preview.Caption(k), scaled[k]);
  }
  EXPECT_EQ(preview.heldText(), L"Holds 32 pixels only.");
}

TEST_F(MainWindowTest, ATypeWhoseIconsAHandlerDecidesIsMarkedAndAskedAboutFirst) {
  constexpr wchar_t kHandler[] = L"Software\\Classes\\Tarrow.TypeB\\shellex";
  win32::UniqueHkey key;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, (std::wstring(kHandler) + L"\\IconHandler").c_str(), 0,
                              nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr),
            0);
  key.reset();
  struct Cleanup {
    const wchar_t* path;
    ~Cleanup() { ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, path); }
  } cleanup{kHandler};
  ASSERT_TRUE(window_->OnLoad(false));
  Settle();
  const auto b = IndexOfText(L"Tarrow Type B  [.tarrowb]");
  const auto a = IndexOfText(L"Tarrow Type A  [.tarrowa]");
  ASSERT_NE(b, std::wstring::npos);
  EXPECT_EQ(RowText(window_->typeList().RowOf(b), 2), L"(per file) C:\\windows\\system32\\shell32.dll,-4");
  EXPECT_EQ(RowText(window_->typeList().RowOf(a), 2).rfind(L"%SystemRoot%", 0), 0u)
      << "no mark without a handler";

  window_->SetIconFileText(tarrow::testing::SystemFile(L"shell32.dll"));
  Settle();
  window_->SelectItem(b);
  shell_.answers = {kIdNo};
  window_->OnIconChosen(4);
  ASSERT_EQ(shell_.shown.size(), 1u);
  EXPECT_NE(shell_.shown[0].first.find(L"Explorer may keep drawing each file's own icon"),
            std::wstring::npos);
  EXPECT_EQ(shell_.shown[0].second, kMbYesNo | kMbIconQuestion);
  EXPECT_FALSE(window_->types()[b].pending) << "No keeps the icon it has";
  shell_.answers = {kIdYes};
  window_->OnIconChosen(4);
  EXPECT_TRUE(window_->types()[b].pending);

  shell_.shown.clear();
  window_->SelectItem(a);
  window_->OnIconChosen(5);
  EXPECT_TRUE(shell_.shown.empty()) << "no question without a handler";
  EXPECT_TRUE(window_->types()[a].pending);
}

// ---- several types at once

// Holds keys down in this thread's keyboard state, as the list reads them
// when a key or a click arrives; all up again at the end.
class HeldKeys {
 public:
  explicit HeldKeys(std::initializer_list<int> keys) {
    ::GetKeyboardState(saved_);
    BYTE state[256];
    std::copy(std::begin(saved_), std::end(saved_), state);
    for (const int key : keys) state[key] = 0x80;
    ::SetKeyboardState(state);
  }
  ~HeldKeys() { ::SetKeyboardState(saved_); }
  HeldKeys(const HeldKeys&) = delete;
  HeldKeys& operator=(const HeldKeys&) = delete;

 private:
  BYTE saved_[256];
};

std::set<std::wstring> SelectedExtensions(MainWindow& window) {
  std::set<std::wstring> extensions;
  for (const std::size_t index : window.typeList().SelectedTypes())
    extensions.insert(window.types()[index].extension);
  return extensions;
}

TEST_F(MainWindowTest, SeveralSelectedTypesTakeOneIconAndTheirOriginalsBack) {
  ASSERT_TRUE(window_->OnLoad(false));
  Settle();
  const HWND list = window_->control(Part::TypeList);
  const auto a = IndexOf(L".tarrowa"), b = IndexOf(L".tarrowb"), c = IndexOf(L".tarrowc");
  ASSERT_NE(c, std::wstring::npos);
  // Ctrl+A selects every row.
  ::SetFocus(list);
  {
    const HeldKeys ctrl{VK_CONTROL};
    Key(list, 'A');
  }
  EXPECT_EQ(static_cast<std::size_t>(ListView_GetSelectedCount(list)), window_->typeList().shown());
  // Three types, chosen as a click and two Ctrl+clicks choose them.
  window_->SelectItem(b);
  for (const std::size_t index : {a, c})
    ListView_SetItemState(list, window_->typeList().RowOf(index), LVIS_SELECTED | LVIS_FOCUSED,
                          LVIS_SELECTED | LVIS_FOCUSED);
  ASSERT_EQ(SelectedExtensions(*window_), (std::set<std::wstring>{L".tarrowa", L".tarrowb", L".tarrowc"}));
  EXPECT_EQ(window_->SelectedItem(), c) << "the focused one";

  // The selection holds while a new walk brings the rows back.
  window_->OnRefresh();
  Settle();
  EXPECT_EQ(SelectedExtensions(*window_), (std::set<std::wstring>{L".tarrowa", L".tarrowb", L".tarrowc"}));
  EXPECT_EQ(window_->types()[*window_->SelectedItem()].extension, L".tarrowc");

  const std::vector<std::wstring> keys = {L"Tarrow.TypeA\\DefaultIcon", L"Tarrow.TypeB\\DefaultIcon",
                                          L"Tarrow.TypeC\\DefaultIcon"};
  const tarrow::testing::KeptValue keptA(keys[0]), keptB(keys[1]), keptC(keys[2]);
  const std::wstring shell32 = tarrow::testing::SystemFile(L"shell32.dll");
  window_->SetIconFileText(shell32);
  Settle();
  window_->OnIconChosen(10);
  EXPECT_EQ(window_->StatusText(),
            std::to_wstring(window_->types().size()) + L" types, 4 changes not applied")
      << ".tarrowd shares .tarrowa's class";
  window_->OnApply();
  Settle();
  for (const std::wstring& key : keys)
    EXPECT_EQ(RegReadValue(os_->registry, kClassesRoot, key, L""), shell32 + L",9") << Utf8(key);

  // Delete puts back the original of every selected type.
  ASSERT_EQ(SelectedExtensions(*window_), (std::set<std::wstring>{L".tarrowa", L".tarrowb", L".tarrowc"}));
  Key(list, VK_DELETE);
  window_->OnApply();
  Settle();
  EXPECT_EQ(tarrow::testing::DefaultValue(keys[0]), keptA.original());
  EXPECT_EQ(tarrow::testing::DefaultValue(keys[1]), keptB.original());
  EXPECT_EQ(tarrow::testing::DefaultValue(keys[2]), keptC.original());
  EXPECT_TRUE(shell_.shown.empty()) << "success needs no message box";

  // A type Tarrow never changed is named; the others' originals still come.
  window_->SelectItem(a);
  window_->OnIconChosen(3);
  window_->OnApply();
  Settle();
  window_->SelectItem(a);
  ListView_SetItemState(list, window_->typeList().RowOf(b), LVIS_SELECTED, LVIS_SELECTED);
  Key(list, VK_DELETE);
  EXPECT_TRUE(window_->types()[a].pendingOriginal);
  EXPECT_NE(window_->StatusText().find(L"Tarrow never changed the icon of Tarrow Type B"), std::wstring::npos)
      << Utf8(window_->StatusText());
  window_->OnApply();
  Settle();
  EXPECT_EQ(tarrow::testing::DefaultValue(keys[0]), keptA.original());
}

// What the list's context menu held, read while it is open, and the key
// that then chose from it.
struct OpenedMenu {
  std::vector<std::wstring> items;
  std::vector<bool> enabled;  // of the items with text
  WPARAM choose = 0;          // a character for the menu, or 0 to close it
};
OpenedMenu* g_menu = nullptr;

void CALLBACK ReadOpenMenu(HWND, UINT, UINT_PTR timer, DWORD) {
  const HWND popup = ::FindWindowW(L"#32768", nullptr);
  if (!popup || !::IsWindowVisible(popup)) return;
  ::KillTimer(nullptr, timer);
  const auto menu = reinterpret_cast<HMENU>(::SendMessageW(popup, MN_GETHMENU, 0, 0));
  for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
    wchar_t text[128] = {};
    ::GetMenuStringW(menu, static_cast<UINT>(i), text, 128, MF_BYPOSITION);
    g_menu->items.push_back(text);
    if (text[0])
      g_menu->enabled.push_back(!(::GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & MF_GRAYED));
  }
  if (g_menu->choose) {
    ::PostMessageW(popup, WM_CHAR, g_menu->choose, 0);
  } else {
    ::EndMenu();
  }
}

TEST_F(MainWindowTest, ShiftF10OpensTheListsMenuWhichImportsAndExports) {
  ASSERT_TRUE(window_->OnLoad(false));
  Settle();
  const HWND list = window_->control(Part::TypeList);
  window_->Show();
  ::SetFocus(list);
  window_->SelectItem(IndexOf(L".tarrowc"));
  const auto openMenu = [&](WPARAM choose) {
    OpenedMenu opened;
    opened.choose = choose;
    g_menu = &opened;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 20, &ReadOpenMenu);
    const HeldKeys shift{VK_SHIFT};
    // As the keyboard sends it: F10 is a system key.
    ::SendMessageW(list, WM_SYSKEYDOWN, VK_F10, 0x00440001);
    ::KillTimer(nullptr, timer);
    g_menu = nullptr;
    return opened;
  };
  const OpenedMenu menu = openMenu(0);
  EXPECT_EQ(menu.items, (std::vector<std::wstring>{L"&Restore original icon\tDel", L"",
                                                   L"&Import icons\u2026", L"&Export icons\u2026"}));
  EXPECT_EQ(menu.enabled, (std::vector<bool>{true, true, true}));

  // Export, chosen from the menu by its access key: a .reg file of the
  // changed type, the same bytes --export writes.
  const std::wstring key = L"Tarrow.TypeC\\DefaultIcon";
  const tarrow::testing::KeptValue kept(key);
  window_->SetIconFileText(tarrow::testing::SystemFile(L"shell32.dll"));
  Settle();
  window_->OnIconChosen(12);
  window_->OnApply();
  Settle();
  const tarrow::testing::Scratch folder(L"window-export");
  shell_.dialogAnswer = folder / L"icons.reg";
  EXPECT_EQ(openMenu(L'e').items.size(), 4u);
  EXPECT_EQ(window_->StatusText().substr(window_->StatusText().find(L". ") + 2),
            L"1 value exported to " + (folder / L"icons.reg") + L".");
  const auto exported = tarrow::testing::FileBytes(folder / L"icons.reg");
  ASSERT_TRUE(exported);
  const tarrow::testing::Ran byCommand =
      tarrow::testing::RunCommand(WindowsPath(TARROW_COM), L"--export \"" + (folder / L"cli.reg") + L"\"");
  EXPECT_EQ(byCommand.exitCode, 0u) << byCommand.err;
  EXPECT_EQ(tarrow::testing::FileBytes(folder / L"cli.reg"), exported);

  // Import of that file, chosen by its access key: the user is told how
  // many types it changes, and Yes writes them and reads the list anew.
  RestoreOriginals(*os_, window_->types());
  window_->OnRefresh();
  Settle();
  // Changes waiting for Apply are asked about first; Cancel imports nothing.
  window_->SelectItem(IndexOf(L".tarrowb"));
  window_->OnIconChosen(2);
  shell_.shown.clear();
  shell_.answers = {kIdCancel};
  openMenu(L'i');
  ASSERT_EQ(shell_.shown.size(), 1u);
  EXPECT_NE(shell_.shown[0].first.find(L"An import reads every type again."), std::wstring::npos);
  EXPECT_EQ(tarrow::testing::DefaultValue(key), kept.original());
  EXPECT_TRUE(window_->types()[IndexOf(L".tarrowb")].pending) << "still waiting";
  // No drops them, and the import goes on.
  shell_.shown.clear();
  shell_.answers = {kIdNo, kIdYes};
  openMenu(L'i');
  ASSERT_EQ(shell_.shown.size(), 2u);
  EXPECT_NE(shell_.shown[1].first.find(L"change 1 file type."), std::wstring::npos)
      << Utf8(shell_.shown[1].first);
  Settle();
  EXPECT_EQ(RegReadValue(os_->registry, kClassesRoot, key, L""),
            tarrow::testing::SystemFile(L"shell32.dll") + L",11");
  EXPECT_NE(window_->StatusText().find(L"Imported: 1 type changed for all users."), std::wstring::npos)
      << Utf8(window_->StatusText());

  // Yes applies them first, on the writer; the import goes on once they
  // are written.
  RestoreOriginals(*os_, window_->types());
  window_->OnRefresh();
  Settle();
  window_->SelectItem(IndexOf(L".tarrowb"));
  window_->OnIconChosen(2);
  shell_.shown.clear();
  shell_.answers = {kIdYes, kIdYes};
  openMenu(L'i');
  Settle();
  ASSERT_EQ(shell_.shown.size(), 2u);
  EXPECT_NE(shell_.shown[1].first.find(L"change 1 file type."), std::wstring::npos)
      << Utf8(shell_.shown[1].first);
  EXPECT_FALSE(window_->types()[IndexOf(L".tarrowb")].pending) << "applied";
  EXPECT_EQ(RegReadValue(os_->registry, kClassesRoot, key, L""),
            tarrow::testing::SystemFile(L"shell32.dll") + L",11");
  EXPECT_NE(window_->StatusText().find(L"Imported: 1 type changed for all users."), std::wstring::npos)
      << Utf8(window_->StatusText());
}

}  // namespace
}  // namespace tarrow::app
