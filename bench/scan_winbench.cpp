// Times the file-type scan over the registry of the machine it runs on, each
// figure beside its floor in the same run:
//  - the scan in the real main window (hidden), progress box and all, against
//    a bare loop doing the same registry reads and one extraction per
//    distinct icon;
//  - the program's start-up to its main window, against a bare process doing
//    that floor once;
//  - the process's memory and objects after one scan and after fifty.
// Prints table lines for scripts/bench.sh; asserts nothing.
//
// usage: scan_winbench            (with tarrow.exe beside it)
//        scan_winbench --floor    (one floor pass: the start-up floor)
#include <windows.h>

#include <cstdio>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/main_window.h"
#include "bench_support.h"
#include "catalog/icon_location.h"
#include "catalog/scan.h"
#include "catalog/snapshot.h"
#include "platform/win32/win32_os.h"
#include "win_bench_support.h"

namespace {

using namespace tarrow;
using bench::Median;
using bench::TimeMs;

constexpr int kRounds = 5;
constexpr int kManyScans = 50;

struct FloorWork {
  std::size_t types = 0;
  std::size_t icons = 0;  // distinct icon locations, each extracted once
};

// What any scan must do: list the root; for each extension read its ProgID,
// the ProgID's description and icon; then draw each distinct icon once.
FloorWork ScanFloor(Shell& shell) {
  std::vector<std::wstring> names;
  wchar_t name[256];  // the longest key name, and its terminator
  for (DWORD i = 0;; ++i) {
    DWORD length = std::size(name);
    if (::RegEnumKeyExW(HKEY_CLASSES_ROOT, i, name, &length, nullptr, nullptr, nullptr, nullptr)) break;
    names.emplace_back(name, length);
  }
  FloorWork work;
  std::set<std::pair<std::wstring, int>> icons;
  for (const auto& extension : names) {
    if (extension.empty() || extension[0] != L'.') continue;
    const std::wstring progId = bench::RawText(HKEY_CLASSES_ROOT, extension);
    if (progId.empty()) continue;
    const std::wstring description = bench::RawText(HKEY_CLASSES_ROOT, progId);
    const std::wstring location = bench::RawText(HKEY_CLASSES_ROOT, progId + L"\\DefaultIcon");
    if (description.empty() || location.empty() || location == L"%1") continue;
    ++work.types;
    const IconLocation icon = SplitIconLocation(location);
    icons.emplace(IconFileForExtraction(shell, icon.file), icon.index);
  }
  bool fellBack = false;
  for (const auto& [file, index] : icons) {
    HICON icon = nullptr;
    if (::PrivateExtractIconsW(file.c_str(), index, 16, 16, &icon, nullptr, 1, 0) == 1 && icon) {
      ::DestroyIcon(icon);
    } else if (!fellBack) {
      // Every type whose icon is missing shows the same stand-in.
      wchar_t system[MAX_PATH];
      const std::wstring shell32 =
          std::wstring(system, ::GetSystemDirectoryW(system, MAX_PATH)) + L"\\shell32.dll";
      if (::PrivateExtractIconsW(shell32.c_str(), 0, 16, 16, &icon, nullptr, 1, 0) == 1 && icon)
        ::DestroyIcon(icon);
      fellBack = true;
    }
  }
  work.icons = icons.size();
  return work;
}

std::wstring Folder(const std::wstring& path) {
  return path.substr(0, path.find_last_of(L"\\/") + 1);
}

std::wstring ThisProgram() {
  std::wstring path(32768, L'\0');
  path.resize(::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return path;
}

HWND MainWindowOf(DWORD process) {
  HWND window = nullptr;
  while ((window = ::FindWindowExW(nullptr, window, app::kMainWindowClass, nullptr))) {
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == process && ::IsWindowVisible(window)) return window;
  }
  return nullptr;
}

// From starting the program to its main window on the screen (then closed);
// or, with `untilExit`, to the program's end. Negative when it failed.
double StartMs(const std::wstring& program, const std::wstring& arguments, bool untilExit) {
  std::wstring commandLine = L"\"" + program + L"\" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  const auto start = std::chrono::steady_clock::now();
  if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
    return -1;
  double ms = -1;
  if (untilExit) {
    if (::WaitForSingleObject(process.hProcess, 120000) == WAIT_OBJECT_0)
      ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  } else {
    HWND window = nullptr;
    while (!window && ::WaitForSingleObject(process.hProcess, 1) == WAIT_TIMEOUT) {
      window = MainWindowOf(process.dwProcessId);
    }
    if (window) {
      ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
      ::PostMessageW(window, WM_CLOSE, 0, 0);
    }
    if (::WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0)
      ::TerminateProcess(process.hProcess, 1);
  }
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return ms;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Os& os = win32::RealOs();
  if (argc == 2 && std::wstring(argv[1]) == L"--floor") {
    ScanFloor(os.shell);
    return 0;
  }
  // The program runs from this program's folder, so that its Defaults.dat is
  // the one this benchmark makes and deletes.
  const std::wstring self = ThisProgram();
  const std::wstring snapshot = Folder(self) + kSnapshotName;
  const std::wstring program = Folder(self) + L"tarrow.exe";
  if (argc != 1 || ::GetFileAttributesW(program.c_str()) == INVALID_FILE_ATTRIBUTES) {
    std::fprintf(stderr, "usage: scan_winbench [--floor], with tarrow.exe beside it\n");
    return 2;
  }

  // Start-up, taking the snapshot and with one present, against a process
  // that does the floor's work once.
  std::vector<double> firstStarts, starts, floorStarts;
  for (int r = 0; r < kRounds; ++r) {
    floorStarts.push_back(StartMs(self, L"--floor", true));
    ::DeleteFileW(snapshot.c_str());
    firstStarts.push_back(StartMs(program, L"", false));
    starts.push_back(StartMs(program, L"", false));
  }
  for (double ms : firstStarts)
    if (ms < 0) {
      std::fprintf(stderr, "the program did not show its window\n");
      return 1;
    }

  // The scan in the main window, hidden, as "Refresh" runs it.
  app::MainWindow window(os);
  if (!window.Create()) return 1;
  window.OnRefresh();
  const bench::Resources afterOne = bench::MeasureResources();
  std::vector<double> floors, scans;
  FloorWork work;
  for (int r = 0; r < kRounds; ++r) {
    floors.push_back(TimeMs([&] { work = ScanFloor(os.shell); }));
    scans.push_back(TimeMs([&] { window.OnRefresh(); }));
  }
  // The same scan with no window to show it, to tell the window's share.
  bench::NoHost host;
  app::ImageListSink sink;
  sink.Reset(::GetSystemMetrics(SM_CXSMICON));
  ImageStore images(sink);
  TypeList types;
  const double windowless = bench::MedianMs(kRounds, [&] { ScanFileTypes(os, host, types, images); });
  for (int r = 1 + kRounds; r < kManyScans; ++r) window.OnRefresh();
  const bench::Resources afterMany = bench::MeasureResources();

  DWORD rootKeys = 0;
  ::RegQueryInfoKeyW(HKEY_CLASSES_ROOT, nullptr, nullptr, nullptr, &rootKeys, nullptr, nullptr, nullptr,
                     nullptr, nullptr, nullptr, nullptr);
  std::printf("note|scan: %lu root keys, %zu types listed (floor found %zu), %zu distinct icons\n", rootKeys,
              window.types().size(), work.types, work.icons);
  const double floorMs = Median(floors);
  std::printf("note|scan: %.1f ms of it with no window (progress, yields and list cost the rest)\n",
              windowless);
  bench::TimeRow("scan in the hidden main window (Refresh)", Median(scans), floorMs, "1.5x");
  bench::TimeRow("start-up to the main window, taking Defaults.dat", Median(firstStarts), Median(floorStarts),
                 "-");
  bench::TimeRow("start-up to the main window", Median(starts), Median(floorStarts), "-");
  bench::ResourceRows("scans (1 vs 50)", afterOne, afterMany);
  ::DeleteFileW(snapshot.c_str());
  if (window.types().size() != work.types) {
    std::fprintf(stderr, "scan_winbench: the scan listed %zu types, the floor found %zu\n",
                 window.types().size(), work.types);
    return 1;
  }
  return 0;
}
