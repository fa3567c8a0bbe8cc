// Many Refresh presses and grid builds in one run: nothing the window uses
// may pile up.
#include <windows.h>

#include <commctrl.h>
#include <psapi.h>

#include <cstdio>
#include <gtest/gtest.h>
#include <vector>

#include "catalog/type_view.h"
#include "robustness.h"

namespace tarrow::testing {
namespace {

// What a leak would make grow. Wine counts no USER or GDI objects, so what is
// counted here is what it does keep: the icons the program has not
// destroyed, the pictures in its image lists, the process's kernel handles
// and its memory.
struct Usage {
  long icons = 0;
  int listPictures = 0;
  std::size_t gridCells = 0;
  int gridPictures = 0;  // the grid holds
  ULONG handles = 0;
  SIZE_T pagefileKb = 0;
};

// Windows counts the process's handles; Wine answers 0 there, but lists
// every handle of the system to NtQuerySystemInformation.
ULONG KernelHandles() {
  DWORD count = 0;
  if (::GetProcessHandleCount(::GetCurrentProcess(), &count) && count > 0) return count;
  struct Handle {
    USHORT process, creator;
    UCHAR type, attributes;
    USHORT value;
    void* object;
    ACCESS_MASK access;
  };
  struct Handles {
    ULONG count;
    Handle handles[1];
  };
  using Query = LONG(WINAPI*)(int, void*, ULONG, ULONG*);
  const auto query = reinterpret_cast<Query>(reinterpret_cast<void (*)()>(
      ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
  constexpr int kSystemHandleInformation = 16;
  constexpr LONG kLengthMismatch = static_cast<LONG>(0xC0000004);
  std::vector<ULONGLONG> buffer(1 << 16);
  LONG status;
  while ((status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size() * 8),
                         nullptr)) == kLengthMismatch)
    buffer.resize(buffer.size() * 2);
  if (status != 0) return 0;
  const auto* all = reinterpret_cast<const Handles*>(buffer.data());
  const auto self = static_cast<USHORT>(::GetCurrentProcessId());
  ULONG mine = 0;
  for (ULONG i = 0; i < all->count; ++i) mine += all->handles[i].process == self;
  return mine;
}

class Soak : public WindowTest {
 protected:
  Usage Measure() const {
    Usage usage;
    usage.icons = win32::Win32Shell::LiveIcons();
    usage.listPictures =
        ::ImageList_GetImageCount(ListView_GetImageList(window_->control(Part::TypeList), LVSIL_SMALL));
    usage.gridCells = static_cast<std::size_t>(window_->iconGrid().count());
    usage.gridPictures = window_->iconGrid().picturesHeld();
    usage.handles = KernelHandles();
    PROCESS_MEMORY_COUNTERS memory{};
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof memory);
    usage.pagefileKb = memory.PagefileUsage >> 10;
    return usage;
  }
};

TEST_F(Soak, TwoHundredRefreshesAndGridBuildsLeaveNothingBehind) {
  constexpr int kWarmUp = 4, kRounds = 200;
  // The same file spelled two ways: every round builds the whole grid anew.
  const std::wstring files[] = {SystemFile(L"shell32.dll"), SystemFile(L"SHELL32.DLL")};
  ASSERT_TRUE(window_->OnLoad(false));
  Settle();
  // Each round also gives a type one of the file's icons, so that the next
  // scan has a changed picture to drop.
  auto round = [&](int i) {
    // Refresh asks first while the change waits: No drops it.
    if (CountPendingTypes(window_->types()) > 0) shell_.answers.push_back(kIdNo);
    window_->OnRefresh();
    // Every other round scans again and opens a file while the list's icons
    // are still coming, and each round opens another file while the first's
    // are: what is dropped half-way must leave nothing behind either.
    if (i % 2) {
      PumpUntil([&] { return !window_->walking(); });
      window_->OnRefresh();
    }
    window_->SetIconFileText(files[(i + 1) % 2]);
    window_->SetIconFileText(files[i % 2]);
    Settle();
    window_->SelectItem(0);
    window_->OnIconChosen(1 + i % 7);
  };
  for (int i = 0; i < kWarmUp; ++i) round(i);
  const Usage before = Measure();
  ASSERT_GT(before.gridCells, 100u) << "shell32.dll shows no grid";
  ASSERT_GT(before.listPictures, 1);
  ASSERT_GT(before.handles, 0u) << "no count of kernel handles";
  for (int i = kWarmUp; i < kWarmUp + kRounds; ++i) round(i);
  const Usage after = Measure();
  std::printf(
      "after warm-up / after %d rounds: pagefile %zu / %zu KB, kernel handles %lu / %lu, "
      "list pictures %d / %d, live icons %ld / %ld\n",
      kRounds, before.pagefileKb, after.pagefileKb, before.handles, after.handles, before.listPictures,
      after.listPictures, before.icons, after.icons);

  EXPECT_EQ(after.icons, 0);
  EXPECT_EQ(after.listPictures, before.listPictures);
  // The pictures, and the placeholder of rows still waiting.
  EXPECT_EQ(after.listPictures, static_cast<int>(window_->images().pictures()) + 1);
  // The grid at its top holds the pictures of the same cells every round:
  // those in view and a few screens below.
  EXPECT_EQ(after.gridCells, before.gridCells);
  EXPECT_EQ(after.gridPictures, before.gridPictures);
  EXPECT_GT(after.gridPictures, 0);
  EXPECT_LE(after.handles, before.handles + 8);
  // Noise is a few hundred KB; one grid's pictures left behind per round
  // would be over 100 MB.
  EXPECT_LE(after.pagefileKb, before.pagefileKb + 4096);
}

}  // namespace
}  // namespace tarrow::testing
