// Times the icon grid of the main window (shown, so that it paints) on large
// icon files, each figure beside its floor in the same run:
//  - the first screen (every cell in view drawn), against extracting just
//    those icons and adding them to an image list;
//  - the whole grid, against extracting every icon in one call and drawing
//    each once;
//  - the process's memory and objects after one grid and after fifty.
// With --peak, in a process of its own: the peak memory of one grid, and the
// longest the window leaves a message unanswered while it loads.
// Prints table lines for scripts/bench.sh; asserts nothing.
//
// usage: grid_winbench ICONFILE...     (the system file with the most icons
//                                        is timed as well)
//        grid_winbench --peak ICONFILE
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "bench_support.h"
#include "picker/grid.h"
#include "platform/win32/handles.h"
#include "platform/win32/win32_os.h"
#include "win_bench_support.h"

namespace {

using namespace tarrow;
using bench::Median;
using bench::TimeMs;

constexpr int kRounds = 5;
constexpr int kManyGrids = 50;

// The file of the system folder with the most icons.
std::wstring BiggestSystemIconFile() {
  wchar_t system[MAX_PATH];
  const std::wstring folder(system, ::GetSystemDirectoryW(system, MAX_PATH));
  std::wstring best;
  UINT most = 0;
  WIN32_FIND_DATAW found;
  HANDLE search = ::FindFirstFileW((folder + L"\\*.dll").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return best;
  do {
    const std::wstring path = folder + L"\\" + found.cFileName;
    const UINT icons = ::ExtractIconExW(path.c_str(), -1, nullptr, nullptr, 0);
    if (icons != UINT_MAX && icons > most) {
      most = icons;
      best = path;
    }
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
  return best;
}

// Every icon of the file in one call, each drawn once into a bitmap.
int GridFloor(const std::wstring& file, int count, int sizePx) {
  std::vector<HICON> icons(static_cast<std::size_t>(count));
  std::vector<UINT> ids(icons.size());
  const UINT got = ::PrivateExtractIconsW(file.c_str(), 0, sizePx, sizePx, icons.data(), ids.data(),
                                          static_cast<UINT>(count), 0);
  const HDC screen = ::GetDC(nullptr);
  const HDC dc = ::CreateCompatibleDC(screen);
  const HBITMAP bitmap = ::CreateCompatibleBitmap(screen, sizePx, sizePx);
  const HGDIOBJ old = ::SelectObject(dc, bitmap);
  int drawn = 0;
  for (UINT i = 0; i < got && i < icons.size(); ++i) {
    if (!icons[i]) continue;
    drawn += ::DrawIconEx(dc, 0, 0, icons[i], sizePx, sizePx, 0, nullptr, DI_NORMAL) ? 1 : 0;
    ::DestroyIcon(icons[i]);
  }
  ::SelectObject(dc, old);
  ::DeleteObject(bitmap);
  ::DeleteDC(dc);
  ::ReleaseDC(nullptr, screen);
  return drawn;
}

// Just the icons of cells `first` to `last` (from 1), added to an image list:
// what any grid must do before its first screen shows.
int FirstScreenFloor(const std::wstring& file, std::int64_t first, std::int64_t last, int sizePx) {
  const int n = static_cast<int>(last - first + 1);
  if (n <= 0) return 0;
  std::vector<HICON> icons(static_cast<std::size_t>(n));
  std::vector<UINT> ids(icons.size());
  const UINT got = ::PrivateExtractIconsW(file.c_str(), static_cast<int>(first - 1), sizePx, sizePx,
                                          icons.data(), ids.data(), static_cast<UINT>(n), 0);
  const HIMAGELIST list = ::ImageList_Create(sizePx, sizePx, ILC_COLOR32 | ILC_MASK, n, 0);
  int added = 0;
  for (UINT i = 0; i < got && i < icons.size(); ++i) {
    if (!icons[i]) continue;
    added += ::ImageList_AddIcon(list, icons[i]) >= 0 ? 1 : 0;
    ::DestroyIcon(icons[i]);
  }
  ::ImageList_Destroy(list);
  return added;
}

double SinceMs(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// Whether cells `first` to `last` (from 1) all have their picture.
bool Drawn(const app::IconGrid& grid, std::int64_t first, std::int64_t last) {
  const auto& pictures = grid.pictures();
  if (static_cast<std::int64_t>(pictures.size()) < last) return false;
  for (std::int64_t k = first; k <= last; ++k)
    if (pictures[static_cast<std::size_t>(k - 1)] < 0) return false;
  return true;
}

struct GridTimes {
  double firstScreenMs = -1, wholeMs = -1;
};

// The grid as the user gets it: the file typed in, then messages pumped as
// the program's loop does, until the cells in view and then all are drawn.
GridTimes ShowGrid(app::MainWindow& window, const std::wstring& file, std::int64_t first, std::int64_t last) {
  app::IconGrid& grid = window.iconGrid();
  window.SetIconFileText(L"");
  bench::PumpUntil([&] { return !grid.loading(); });
  GridTimes times;
  const auto start = std::chrono::steady_clock::now();
  window.SetIconFileText(file);
  if (bench::PumpUntil([&] { return !grid.loading() || Drawn(grid, first, last); }) &&
      Drawn(grid, first, last))
    times.firstScreenMs = SinceMs(start);
  if (bench::PumpUntil([&] { return !grid.loading(); })) times.wholeMs = SinceMs(start);
  return times;
}

std::string Narrow(const std::wstring& text) {
  return std::string(text.begin(), text.end());
}

std::string NameOf(const std::wstring& file) {
  return Narrow(file.substr(file.find_last_of(L"\\/") + 1));
}

// One grid in a fresh process: its peak memory, and how long the window's
// thread leaves a message unanswered while the grid loads.
int Peak(app::MainWindow& window, const std::wstring& file) {
  const int count = static_cast<int>(::ExtractIconExW(file.c_str(), -1, nullptr, nullptr, 0));
  const auto [first, last] = VisibleCells(window.iconGrid().metrics(), count, 0);
  const double idle = bench::IdleAnswerMs(window.hwnd());
  const bench::Resources before = bench::MeasureResources();
  bench::AnswerProbe probe(window.hwnd());
  const GridTimes times = ShowGrid(window, file, first, last);
  const double longest = probe.Stop();
  const bench::Resources after = bench::MeasureResources();
  const std::string name = NameOf(file);
  std::printf(
      "note|grid peak: %s (%d icons, first screen %.0f ms, all %.0f ms): peak working set %lld KB "
      "(%lld KB before the grid), private memory %lld KB at the end (%lld KB before), %lld icons alive\n",
      name.c_str(), count, times.firstScreenMs, times.wholeMs, after.peakWorkingSetKb,
      before.peakWorkingSetKb, after.privateKb, before.privateKb, after.liveIcons);
  bench::TimeRow(("longest unanswered: grid of " + name + " loading").c_str(), longest, idle, "<50 ms");
  return times.wholeMs < 0 ? 1 : 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const bool peak = argc == 3 && std::wstring(argv[1]) == L"--peak";
  std::vector<std::wstring> files(argv + (peak ? 2 : 1), argv + argc);

  Os& os = win32::RealOs();
  app::MainWindow window(os);
  if (!window.Create()) return 1;
  ::ShowWindow(window.hwnd(), SW_SHOWNOACTIVATE);
  ::UpdateWindow(window.hwnd());
  if (peak) return Peak(window, files.front());
  files.push_back(BiggestSystemIconFile());
  const int sizePx = ::GetSystemMetricsForDpi(SM_CXICON, ::GetDpiForWindow(window.hwnd()));
  const app::IconGrid& grid = window.iconGrid();

  for (const auto& file : files) {
    const int count = static_cast<int>(::ExtractIconExW(file.c_str(), -1, nullptr, nullptr, 0));
    const auto [first, last] = VisibleCells(grid.metrics(), count, 0);
    const int rounds = count > 5000 ? 3 : kRounds;
    std::vector<double> floors, firstFloors, wholes, firsts;
    int drawn = 0, firstDrawn = 0;
    for (int r = 0; r < rounds; ++r) {
      firstFloors.push_back(TimeMs([&] { firstDrawn = FirstScreenFloor(file, first, last, sizePx); }));
      floors.push_back(TimeMs([&] { drawn = GridFloor(file, count, sizePx); }));
      const GridTimes times = ShowGrid(window, file, first, last);
      if (times.firstScreenMs < 0 || times.wholeMs < 0) {
        std::fprintf(stderr, "grid_winbench: the grid of %s did not finish\n", NameOf(file).c_str());
        return 1;
      }
      firsts.push_back(times.firstScreenMs);
      wholes.push_back(times.wholeMs);
    }
    // Where the grid's time goes, step by step.
    const double counting = bench::MedianMs(rounds, [&] { os.shell.CountIcons(file); });
    std::vector<IconHandle> icons;
    const double extracting = bench::MedianMs(rounds, [&] {
      for (auto icon : icons) os.shell.DestroyIcon(icon);
      icons = os.shell.ExtractIcons(file, 0, count, sizePx);
    });
    app::ImageListSink sink;
    const double adding = bench::MedianMs(rounds, [&] {
      sink.Reset(sizePx);
      sink.AddPictures(icons);
    });
    for (auto icon : icons) os.shell.DestroyIcon(icon);
    const std::string name = NameOf(file);
    std::printf("note|grid: %s: counting %.1f ms, extracting %.1f ms, adding to the image list %.1f ms\n",
                name.c_str(), counting, extracting, adding);
    std::printf(
        "note|grid: %s holds %d icons; the floor drew %d, the grid shows %lld cells; the first screen "
        "is cells %lld to %lld (the floor added %d)\n",
        name.c_str(), count, drawn, static_cast<long long>(grid.count()), static_cast<long long>(first),
        static_cast<long long>(last), firstDrawn);
    std::string rounds_ms;
    for (double ms : firsts)
      rounds_ms += (rounds_ms.empty() ? "" : ", ") + std::to_string(static_cast<int>(ms));
    std::printf("note|grid: %s: first screen in each round %s ms\n", name.c_str(), rounds_ms.c_str());
    const std::string what = "grid of " + name + " (" + std::to_string(count) + " icons)";
    bench::TimeRow((what + ": first screen").c_str(), Median(firsts), Median(firstFloors), "1.5x");
    bench::TimeRow((what + ": every icon").c_str(), Median(wholes), Median(floors), "1.3x");
    if (grid.count() != count) return 1;
  }

  const auto [first, last] =
      VisibleCells(grid.metrics(), ::ExtractIconExW(files.front().c_str(), -1, nullptr, nullptr, 0), 0);
  ShowGrid(window, files.front(), first, last);
  const bench::Resources afterOne = bench::MeasureResources();
  for (int r = 1; r < kManyGrids; ++r) ShowGrid(window, files.front(), first, last);
  const bench::Resources afterMany = bench::MeasureResources();
  bench::ResourceRows("grids (1 vs 50)", afterOne, afterMany);
  return 0;
}
