// Times the scan over the real registry under Windows (or Wine): the bare
// registry reads it must do, the scan with no window, and the scan driving
// the real main window with its progress box. Prints figures; asserts nothing.
#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "app/main_window.h"
#include "bench_support.h"
#include "catalog/scan.h"
#include "platform/registry.h"
#include "platform/win32/win32_os.h"

namespace {

using tarrow::bench::MedianMs;

}  // namespace

int main() {
  using namespace tarrow;
  Os& os = win32::RealOs();
  std::vector<std::wstring> names;
  std::int32_t keys = 0;
  RegListSubkeys(os.registry, kClassesRoot, L"", names, keys);

  const double floor = MedianMs(5, [&] {
    std::vector<std::wstring> list;
    std::int32_t count = 0;
    RegListSubkeys(os.registry, kClassesRoot, L"", list, count);
    for (const auto& name : list) {
      if (name.empty() || name[0] != L'.') continue;
      const auto progId = RegReadValue(os.registry, kClassesRoot, name, L"");
      if (progId.empty()) continue;
      RegReadValue(os.registry, kClassesRoot, progId, L"");
      RegReadValue(os.registry, kClassesRoot, progId + L"\\DefaultIcon", L"");
    }
  });

  tarrow::bench::NoHost host;
  tarrow::bench::NoSink sink;
  ImageStore images(sink);
  TypeList types;
  const double bare = MedianMs(5, [&] { ScanFileTypes(os, host, types, images, 16); });

  app::MainWindow window(os);
  window.Create();
  const double windowed = MedianMs(5, [&] { window.Command5_Click(); });

  const double yields = MedianMs(5, [&] {
    for (int i = 0; i < keys; ++i) app::DoEvents();
  });
  std::printf("registry keys: %d, listed types: %zu\n", keys, types.size());
  std::printf("floor (list + reads):      %8.1f ms\n", floor);
  std::printf("scan, no window:           %8.1f ms  (%.2f ms per listed type over the floor)\n", bare,
              types.empty() ? 0.0 : (bare - floor) / static_cast<double>(types.size()));
  std::printf("scan, main window + box:   %8.1f ms  (%.3f ms per key over the windowless scan)\n", windowed,
              keys ? (windowed - bare) / keys : 0.0);
  std::printf("one yield per key alone:   %8.1f ms\n", yields);

  // The grid: one pass over the file against one extraction per icon.
  wchar_t system[MAX_PATH];
  const std::wstring shell32 =
      std::wstring(system, ::GetSystemDirectoryW(system, MAX_PATH)) + L"\\shell32.dll";
  const int icons = os.shell.CountIcons(shell32);
  const double perIcon = MedianMs(3, [&] {
    for (int i = 0; i < icons; ++i)
      ::DestroyIcon(::ExtractIconW(nullptr, shell32.c_str(), static_cast<UINT>(i)));
  });
  const double batch = MedianMs(3, [&] {
    for (auto icon : os.shell.ExtractIcons(shell32, 0, icons, 32)) os.shell.DestroyIcon(icon);
  });
  std::printf("one pass over shell32.dll: %.1f ms\n", batch);
  {
    const auto handles = os.shell.ExtractIcons(shell32, 0, icons, 32);
    const double adds = MedianMs(3, [&] {
      app::ImageListSink sink;
      sink.Reset(32);
      for (auto icon : handles) sink.AddPicture(icon);
    });
    for (auto icon : handles) os.shell.DestroyIcon(icon);
    std::printf("adding them to an image list: %.1f ms\n", adds);
  }
  const double grid = MedianMs(3, [&] {
    window.SetFilenameText(L"");
    window.SetFilenameText(shell32);
  });
  const double missing = MedianMs(5,
                                  [&] {
                                    window.SetFilenameText(L"c:\\windows\\sys");
                                    window.SetFilenameText(L"c:\\windows\\syst");
                                  }) /
                         2;
  std::printf("grid of shell32.dll (%d icons): %.1f ms; ExtractIcon once per icon: %.1f ms\n", icons, grid,
              perIcon);
  std::printf("grid rebuild for a partly typed path: %.2f ms\n", missing);
  return 0;
}
