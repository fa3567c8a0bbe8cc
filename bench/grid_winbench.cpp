// Times the icon grid of the main window (shown, so that it paints) on a
// large icon file, against the floor of extracting the same icons in one call
// and drawing each once; then the process's memory and objects after one
// grid and after fifty. Prints table lines for scripts/bench.sh.
//
// usage: grid_winbench ICONFILE...   (the system file with the most icons is
//                                      timed as well)
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "bench_support.h"
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

// The grid as the user gets it: the file typed in, the cells built and the
// visible ones painted.
void ShowGrid(app::MainWindow& window, const std::wstring& file) {
  window.SetIconFileText(file);
  ::UpdateWindow(window.control(app::MainWindow::kIconGrid));
}

std::string Narrow(const std::wstring& text) {
  return std::string(text.begin(), text.end());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::wstring> files(argv + 1, argv + argc);
  files.push_back(BiggestSystemIconFile());

  Os& os = win32::RealOs();
  app::MainWindow window(os);
  if (!window.Create()) return 1;
  ::ShowWindow(window.hwnd(), SW_SHOWNOACTIVATE);
  ::UpdateWindow(window.hwnd());
  const int sizePx = ::GetSystemMetricsForDpi(SM_CXICON, ::GetDpiForWindow(window.hwnd()));

  for (const auto& file : files) {
    const int count = static_cast<int>(::ExtractIconExW(file.c_str(), -1, nullptr, nullptr, 0));
    std::vector<double> floors, grids;
    int drawn = 0;
    for (int r = 0; r < kRounds; ++r) {
      floors.push_back(TimeMs([&] { drawn = GridFloor(file, count, sizePx); }));
      window.SetIconFileText(L"");
      grids.push_back(TimeMs([&] { ShowGrid(window, file); }));
    }
    // Where the grid's time goes, step by step.
    const double counting = bench::MedianMs(kRounds, [&] { os.shell.CountIcons(file); });
    std::vector<IconHandle> icons;
    const double extracting = bench::MedianMs(kRounds, [&] {
      for (auto icon : icons) os.shell.DestroyIcon(icon);
      icons = os.shell.ExtractIcons(file, 0, count, sizePx);
    });
    app::ImageListSink sink;
    const double adding = bench::MedianMs(kRounds, [&] {
      sink.Reset(sizePx);
      sink.AddPictures(icons);
    });
    for (auto icon : icons) os.shell.DestroyIcon(icon);
    const std::string name = Narrow(file.substr(file.find_last_of(L"\\/") + 1));
    std::printf("note|grid: %s: counting %.1f ms, extracting %.1f ms, adding to the image list %.1f ms\n",
                name.c_str(), counting, extracting, adding);
    std::printf("note|grid: %s holds %d icons; the floor drew %d, the grid shows %zu cells\n", name.c_str(),
                count, drawn, window.iconGrid().layout().cells.size());
    bench::TimeRow(("grid of " + name + " (" + std::to_string(count) + " icons)").c_str(), Median(grids),
                   Median(floors), "1.5x");
    if (window.iconGrid().layout().cells.size() != static_cast<std::size_t>(count)) return 1;
  }

  window.SetIconFileText(L"");
  ShowGrid(window, files.front());
  const bench::Resources afterOne = bench::MeasureResources();
  for (int r = 1; r < kManyGrids; ++r) {
    window.SetIconFileText(L"");
    ShowGrid(window, files.front());
  }
  const bench::Resources afterMany = bench::MeasureResources();
  bench::ResourceRows("grids (1 vs 50)", afterOne, afterMany);
  return 0;
}
