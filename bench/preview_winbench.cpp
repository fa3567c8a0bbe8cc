// Times the preview of the framed icon in the shown main window, wide enough
// to show it: from framing a cell of a large icon file to the preview holding
// its four pictures and the file's image sizes, against the floor of
// extracting the icon at those four sizes on the spot. The first framing in
// a file reads the file's image sizes as well: timed apart.
// Prints table lines for scripts/bench.sh; asserts nothing.
//
// usage: preview_winbench ICONFILE
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "bench_support.h"
#include "picker/window_layout.h"
#include "platform/win32/win32_os.h"
#include "win_bench_support.h"

namespace {

using namespace tarrow;

constexpr int kFramings = 21;

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  const std::wstring file = argv[1];
  Os& os = win32::RealOs();
  app::MainWindow window(os);
  if (!window.Create()) return 1;
  const int dpi = static_cast<int>(::GetDpiForWindow(window.hwnd()));
  app::SetClientSize(window.hwnd(), DefaultClientWidth(dpi) + DefaultClientWidth(dpi),
                     DefaultClientHeight(dpi));
  ::ShowWindow(window.hwnd(), SW_SHOWNOACTIVATE);
  ::UpdateWindow(window.hwnd());
  app::IconPreview& preview = window.preview();
  if (!::IsWindowVisible(preview.hwnd())) {
    std::fprintf(stderr, "preview_winbench: the window is too narrow for the preview\n");
    return 1;
  }

  window.SetIconFileText(file);
  bench::PumpUntil([&] { return !window.iconGrid().loading(); });
  const auto count = window.iconGrid().count();
  if (count < kFramings) return 1;

  // Framed as the window frames a cell: the grid tells the window.
  auto frame = [&](std::int64_t cell) {
    return bench::TimeMs([&] {
      window.iconGrid().Frame(cell);
      bench::PumpUntil([&] { return !preview.loading(); });
    });
  };
  const double first = frame(count / 2);
  std::vector<double> times, floors;
  for (int k = 0; k < kFramings; ++k) {
    const std::int64_t cell = 1 + (count - 1) * k / (kFramings - 1);
    times.push_back(frame(cell));
    floors.push_back(bench::TimeMs([&] {
      for (const PreviewSize& size : preview.sizes()) {
        for (const IconHandle icon : os.shell.ExtractIcons(file, static_cast<int>(cell - 1), 1, size.px))
          os.shell.DestroyIcon(icon);
      }
    }));
    if (!preview.HasPicture(3)) {
      std::fprintf(stderr, "preview_winbench: cell %lld has no picture\n", static_cast<long long>(cell));
      return 1;
    }
  }
  std::printf("note|preview: %lld icons; the first framing in the file, reading its image sizes: %.1f ms\n",
              static_cast<long long>(count), first);
  bench::TimeRow(("preview of a framed icon, " + std::to_string(count) + "-icon file (median)").c_str(),
                 bench::Median(times), bench::Median(floors), "50 ms");
  return 0;
}
