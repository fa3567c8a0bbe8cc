// Times the icon grid of the main window (shown, so that it paints) on large
// icon files, each figure beside its floor in the same run:
//  - the first screen (every cell in view drawn), against extracting just
//    those icons and adding them to an image list;
//  - a jump to screens spread over the file, from the scroll to every cell in
//    view drawn and painted, against the same floor for each screen;
//  - the process's memory and objects after one grid and after fifty.
// With --peak, in a process of its own: one grid scrolled through screen by
// screen, its peak memory, and the longest the window leaves a message
// unanswered while it loads and while it scrolls.
// Prints table lines for scripts/bench.sh; asserts nothing.
//
// usage: grid_winbench ICONFILE...     (the system file with the most icons
//                                        is timed as well)
//        grid_winbench --peak ICONFILE
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
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
constexpr int kScreensVisited = 30;
constexpr double kKeyRepeatMs = 33;

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
  if (grid.count() < last) return false;
  for (std::int64_t k = first; k <= last; ++k)
    if (!grid.HasPicture(k)) return false;
  return true;
}

struct GridTimes {
  double firstScreenMs = -1, wholeMs = -1;  // whole: the view and the screens around it
};

// Scrolls the grid so that `row` (from 0) is at the top, as the thumb does,
// and times it until every cell in view is drawn and painted; -1 if never.
double ScrollTo(app::IconGrid& grid, std::int64_t row) {
  const auto start = std::chrono::steady_clock::now();
  grid.SetScrollValue(row * grid.metrics().cellHeight);
  const auto [first, last] = VisibleCells(grid.metrics(), grid.count(), grid.scrollValue());
  if (!bench::PumpUntil([&] { return Drawn(grid, first, last); })) return -1;
  ::UpdateWindow(grid.hwnd());
  return SinceMs(start);
}

// Rows of the first cell of `screens` screens spread evenly over the grid,
// the last screen included.
std::vector<std::int64_t> SpreadRows(const app::IconGrid& grid, int screens) {
  const GridMetrics& m = grid.metrics();
  const std::int64_t rows = (grid.count() + m.columns - 1) / m.columns;
  const std::int64_t perScreen = std::max<std::int64_t>(m.viewportInnerHeight / m.cellHeight, 1);
  const std::int64_t lastTop = std::max<std::int64_t>(rows - perScreen, 0);
  std::vector<std::int64_t> tops;
  for (int i = 1; i <= screens; ++i) tops.push_back(lastTop * i / screens);
  return tops;
}

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

// A figure with a ceiling rather than a floor: memory, beside what it was
// before the work began.
void LimitRow(const char* what, long long measured, long long before, long long limit, const char* unit) {
  std::printf("limit|%s|%lld %s|%lld %s|<%lld %s\n", what, measured, unit, before, unit, limit, unit);
}

std::string Join(const std::vector<double>& times) {
  std::string text;
  for (double ms : times) text += (text.empty() ? "" : ", ") + std::to_string(static_cast<int>(ms));
  return text;
}

// One grid in a fresh process, scrolled through screen by screen: its peak
// memory, how long each screen took to draw, and how long the window's
// thread left a message unanswered while the grid loaded and scrolled.
int Peak(app::MainWindow& window, const std::wstring& file) {
  const int count = static_cast<int>(::ExtractIconExW(file.c_str(), -1, nullptr, nullptr, 0));
  app::IconGrid& grid = window.iconGrid();
  const auto [first, last] = VisibleCells(grid.metrics(), count, 0);
  const double idle = bench::IdleAnswerMs(window.hwnd());
  const bench::Resources before = bench::MeasureResources();
  bench::AnswerProbe loadProbe(window.hwnd());
  const GridTimes times = ShowGrid(window, file, first, last);
  const double longestLoading = loadProbe.Stop();

  // Every screen in turn, a page at a time: as fast as the grid draws them,
  // and then at the pace of Page Down held (the keyboard repeats about 30
  // times a second).
  const std::int64_t perScreen =
      std::max<std::int64_t>(grid.metrics().viewportInnerHeight / grid.metrics().cellHeight, 1);
  const std::int64_t rows = (grid.count() + grid.metrics().columns - 1) / grid.metrics().columns;
  std::vector<double> screens;
  auto pageThrough = [&](double paceMs) {
    bench::AnswerProbe probe(window.hwnd());
    for (std::int64_t top = perScreen; top < rows; top += perScreen) {
      const auto start = std::chrono::steady_clock::now();
      const double ms = ScrollTo(grid, top);
      if (ms < 0) break;
      screens.push_back(ms);
      bench::PumpUntil([&] { return SinceMs(start) >= paceMs; });
    }
    ScrollTo(grid, 0);
    return probe.Stop();
  };
  const double longestFlatOut = pageThrough(0);
  const double longestHeldKey = pageThrough(kKeyRepeatMs);
  if (screens.size() != 2 * static_cast<std::size_t>((rows - 1) / perScreen)) return 1;
  // The screens around the top drawn too: no icon is still in a worker's hands.
  bench::PumpUntil([&] { return !grid.loading(); });
  const bench::Resources after = bench::MeasureResources();
  const std::string name = NameOf(file);
  std::printf(
      "note|grid peak: %s (%d icons, first screen %.0f ms, settled %.0f ms, %zu screens paged through): peak "
      "working set %lld KB (%lld KB before the grid), private memory %lld KB at the end (%lld KB before), "
      "%lld icons alive, %d pictures held at the end\n",
      name.c_str(), count, times.firstScreenMs, times.wholeMs, screens.size(), after.peakWorkingSetKb,
      before.peakWorkingSetKb, after.privateKb, before.privateKb, after.liveIcons, grid.picturesHeld());
  const double worst = *std::max_element(screens.begin(), screens.end());
  std::printf("note|grid peak: %s paged through twice: median %.1f ms, worst %.1f ms a screen\n",
              name.c_str(), bench::Median(screens), worst);
  LimitRow(("peak working set: grid of " + name + " paged through").c_str(), after.peakWorkingSetKb,
           before.peakWorkingSetKb, 60 * 1024, "KB");
  bench::TimeRow(("longest unanswered: grid of " + name + " loading").c_str(), longestLoading, idle,
                 "<50 ms");
  bench::TimeRow(("longest unanswered: grid of " + name + " paged through, Page Down held").c_str(),
                 longestHeldKey, idle, "<50 ms");
  bench::TimeRow(("longest unanswered: grid of " + name + " paged through flat out").c_str(), longestFlatOut,
                 idle, "-");
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
  app::IconGrid& grid = window.iconGrid();

  for (const auto& file : files) {
    const int count = static_cast<int>(::ExtractIconExW(file.c_str(), -1, nullptr, nullptr, 0));
    const auto [first, last] = VisibleCells(grid.metrics(), count, 0);
    const int rounds = count > 5000 ? 3 : kRounds;
    std::vector<double> firstFloors, firsts;
    int firstDrawn = 0;
    for (int r = 0; r < rounds; ++r) {
      firstFloors.push_back(TimeMs([&] { firstDrawn = FirstScreenFloor(file, first, last, sizePx); }));
      const GridTimes times = ShowGrid(window, file, first, last);
      if (times.firstScreenMs < 0 || times.wholeMs < 0) {
        std::fprintf(stderr, "grid_winbench: the grid of %s did not finish\n", NameOf(file).c_str());
        return 1;
      }
      firsts.push_back(times.firstScreenMs);
    }
    // Jumps to screens spread over the file, each against extracting just
    // that screen's icons.
    std::vector<double> jumps, jumpFloors;
    for (const std::int64_t top : SpreadRows(grid, kScreensVisited)) {
      const auto [from, to] = VisibleCells(grid.metrics(), grid.count(), top * grid.metrics().cellHeight);
      jumpFloors.push_back(TimeMs([&] { FirstScreenFloor(file, from, to, sizePx); }));
      const double ms = ScrollTo(grid, top);
      if (ms < 0) {
        std::fprintf(stderr, "grid_winbench: a screen of %s was never drawn\n", NameOf(file).c_str());
        return 1;
      }
      jumps.push_back(ms);
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
        "note|grid: %s holds %d icons; the grid shows %lld cells and holds %d pictures; the first screen "
        "is cells %lld to %lld (the floor added %d)\n",
        name.c_str(), count, static_cast<long long>(grid.count()), grid.picturesHeld(),
        static_cast<long long>(first), static_cast<long long>(last), firstDrawn);
    std::printf("note|grid: %s: first screen in each round %s ms\n", name.c_str(), Join(firsts).c_str());
    std::printf("note|grid: %s: jumps to %zu screens spread over it %s ms\n", name.c_str(), jumps.size(),
                Join(jumps).c_str());
    const std::string what = "grid of " + name + " (" + std::to_string(count) + " icons)";
    bench::TimeRow((what + ": first screen").c_str(), Median(firsts), Median(firstFloors), "1.5x");
    bench::TimeRow((what + ": scroll to a screen, median").c_str(), Median(jumps), Median(jumpFloors),
                   "<100 ms");
    bench::TimeRow((what + ": scroll to a screen, worst").c_str(),
                   *std::max_element(jumps.begin(), jumps.end()),
                   *std::max_element(jumpFloors.begin(), jumpFloors.end()), "");
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
