// Times the file-type walk over the registry of the machine it runs on, each
// figure beside its floor in the same run:
//  - the program's start-up to its window on the screen and answering,
//    against a bare process showing an empty window, and against one doing
//    the walk's registry reads first;
//  - Refresh in the main window (shown) until the list is whole, against the
//    same walk with no window, and until every row has its icon, against a
//    bare loop doing the reads and one extraction per distinct icon;
//  - the longest the window leaves a message unanswered during start-up,
//    Refresh, Restore Defaults, and while the list is scrolled as icons load;
//  - the process's memory and objects after one walk and after fifty.
// Prints table lines for scripts/bench.sh; asserts nothing.
//
// usage: scan_winbench                  (with tarrow.exe beside it)
//        scan_winbench --floor-window   (the reads, then an empty window
//                                         until closed)
//        scan_winbench --empty-window   (an empty window until closed)
//        scan_winbench --start-up       (the start-up rows alone)
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/main_window.h"
#include "bench_support.h"
#include "catalog/icon_location.h"
#include "catalog/scan.h"
#include "catalog/snapshot.h"
#include "changes/journal.h"
#include "platform/win32/win32_os.h"
#include "win_bench_support.h"

namespace {

using namespace tarrow;
using bench::Median;
using bench::TimeMs;

constexpr int kRounds = 5;
constexpr int kManyScans = 50;

constexpr wchar_t kFloorWindowClass[] = L"TarrowBenchFloorWindow";

struct FloorWork {
  std::size_t types = 0;
  std::set<std::pair<std::wstring, int>> icons;  // distinct icon locations
};

// What any scan must read: list the root; for each extension read its ProgID,
// the ProgID's description and icon.
FloorWork ReadFloor(Shell& shell) {
  std::vector<std::wstring> names;
  wchar_t name[256];  // the longest key name, and its terminator
  for (DWORD i = 0;; ++i) {
    DWORD length = std::size(name);
    if (::RegEnumKeyExW(HKEY_CLASSES_ROOT, i, name, &length, nullptr, nullptr, nullptr, nullptr)) break;
    names.emplace_back(name, length);
  }
  FloorWork work;
  for (const auto& extension : names) {
    if (extension.empty() || extension[0] != L'.') continue;
    const std::wstring progId = bench::RawText(HKEY_CLASSES_ROOT, extension);
    if (progId.empty()) continue;
    const std::wstring description = bench::RawText(HKEY_CLASSES_ROOT, progId);
    const std::wstring location = bench::RawText(HKEY_CLASSES_ROOT, progId + L"\\DefaultIcon");
    if (description.empty() || location.empty() || location == L"%1") continue;
    ++work.types;
    const IconLocation icon = SplitIconLocation(location);
    work.icons.emplace(IconFileForExtraction(shell, icon.file), icon.index);
  }
  return work;
}

// What any scan must do to show every icon: the reads, then each distinct icon
// drawn once.
FloorWork ScanFloor(Shell& shell) {
  FloorWork work = ReadFloor(shell);
  bool fellBack = false;
  for (const auto& [file, index] : work.icons) {
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
  return work;
}

LRESULT CALLBACK FloorWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_DESTROY) ::PostQuitMessage(0);
  return ::DefWindowProcW(hwnd, msg, wp, lp);
}

// A start-up floor: the reads when asked for, then an empty top-level window,
// shown and answering until closed.
int FloorWindow(Shell& shell, bool reads) {
  ::SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
  if (reads) ReadFloor(shell);
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = FloorWindowProc;
  windowClass.hInstance = ::GetModuleHandleW(nullptr);
  windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kFloorWindowClass;
  if (!::RegisterClassExW(&windowClass)) return 1;
  const HWND window =
      ::CreateWindowExW(0, kFloorWindowClass, L"Floor", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                        640, 480, nullptr, nullptr, windowClass.hInstance, nullptr);
  if (!window) return 1;
  ::ShowWindow(window, SW_SHOW);
  ::UpdateWindow(window);
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  return 0;
}

std::wstring Folder(const std::wstring& path) {
  return path.substr(0, path.find_last_of(L"\\/") + 1);
}

std::wstring ThisProgram() {
  std::wstring path(32768, L'\0');
  path.resize(::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return path;
}

HWND VisibleWindowOf(DWORD process, const wchar_t* windowClass) {
  HWND window = nullptr;
  while ((window = ::FindWindowExW(nullptr, window, windowClass, nullptr))) {
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == process && ::IsWindowVisible(window)) return window;
  }
  return nullptr;
}

// From starting the program to its window of `windowClass` on the screen and
// answering a message (then closed). Negative when it failed.
double StartMs(const std::wstring& program, const std::wstring& arguments, const wchar_t* windowClass) {
  std::wstring commandLine = L"\"" + program + L"\" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  const auto start = std::chrono::steady_clock::now();
  if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
    return -1;
  double ms = -1;
  HWND window = nullptr;
  while (!window && ::WaitForSingleObject(process.hProcess, 1) == WAIT_TIMEOUT) {
    window = VisibleWindowOf(process.dwProcessId, windowClass);
  }
  DWORD_PTR result = 0;
  if (window && ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 120000, &result)) {
    ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  }
  if (window) ::PostMessageW(window, WM_CLOSE, 0, 0);
  if (::WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0)
    ::TerminateProcess(process.hProcess, 1);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return ms;
}

// Refresh as the user gets it: the walk, then every row's icon drawn.
bool RefreshAndSettle(app::MainWindow& window) {
  window.OnRefresh();
  return bench::PumpUntil([&] { return !window.loadingIcons(); });
}

// The real shell, its questions answered Yes without a box on the screen.
class YesShell : public win32::Win32Shell {
 public:
  int MessageBox(const std::wstring&, unsigned style) override { return style & kMbYesNo ? kIdYes : IDOK; }
};

// Gives every listed type's ProgID another icon behind the program's back,
// as if another program had changed them all, so that Restore Defaults has
// every one to put back. The icon goes in the per-user layer, which a
// restore may write without administrator rights, and only where that layer
// has no key of the class yet, so that RemoveUserKeys leaves the registry as
// it was. Each ProgID changed, with the icon it was given.
std::map<std::wstring, std::wstring> ChangeEveryIcon(const TypeList& types) {
  std::map<std::wstring, std::wstring> changed;
  for (const TypeItem& item : types) {
    const std::wstring userClass = L"Software\\Classes\\" + item.progId;
    HKEY key = nullptr;
    if (changed.count(item.progId) ||
        !::RegOpenKeyExW(HKEY_CURRENT_USER, userClass.c_str(), 0, KEY_READ, &key)) {
      if (key) ::RegCloseKey(key);
      continue;
    }
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, (userClass + L"\\DefaultIcon").c_str(), 0, nullptr, 0,
                          KEY_SET_VALUE, nullptr, &key, nullptr))
      continue;
    // Not an icon any type has: each index of 300 and above is new.
    const std::wstring text = L"C:\\windows\\system32\\shell32.dll," + std::to_wstring(300 + changed.size());
    ::RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                     static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
    changed[item.progId] = text;
  }
  return changed;
}

// How many of those still have the icon ChangeEveryIcon gave them.
std::size_t StillChanged(const std::map<std::wstring, std::wstring>& changed) {
  std::size_t still = 0;
  for (const auto& [progId, text] : changed)
    still += bench::RawText(HKEY_CLASSES_ROOT, progId + L"\\DefaultIcon") == text;
  return still;
}

// Removes the per-user keys ChangeEveryIcon made, and the user's record of
// the restore, so that the next round starts as this one did.
void RemoveUserKeys(Shell& shell, const std::map<std::wstring, std::wstring>& changed) {
  for (const auto& entry : changed) {
    const std::wstring userClass = L"Software\\Classes\\" + entry.first;
    ::RegDeleteTreeW(HKEY_CURRENT_USER, userClass.c_str());
    ::RegDeleteKeyW(HKEY_CURRENT_USER, userClass.c_str());
  }
  ::DeleteFileW(JournalPath(shell).c_str());
}

// Scrolls the list down, a page and then a few rows at a time, back to the
// top at the end, pumping between steps, until the icons are all drawn.
void ScrollWhileLoading(app::MainWindow& window) {
  const HWND list = window.control(Part::TypeList);
  int step = 0;
  bench::PumpUntil([&] {
    if (!window.loadingIcons()) return true;
    const LRESULT top = ::SendMessageW(list, LVM_GETTOPINDEX, 0, 0);
    ::SendMessageW(list, WM_VSCROLL, step++ % 4 == 0 ? SB_PAGEDOWN : SB_LINEDOWN, 0);
    if (::SendMessageW(list, LVM_GETTOPINDEX, 0, 0) == top) ::SendMessageW(list, WM_VSCROLL, SB_TOP, 0);
    ::UpdateWindow(list);
    return false;
  });
  ::SendMessageW(list, WM_VSCROLL, SB_TOP, 0);
}

}  // namespace

// Makes (or takes back) the first `count` listed types Store apps' types,
// as on a machine whose default apps are Photos and the like: the user's
// choice names an app's class of the user's layer without a default value,
// named by a package resource and drawn from a picture in the package.
// The number of listed types stays the same.
constexpr int kStoreTypes = 500;
constexpr int kStoreApps = 12;
constexpr wchar_t kFileExts[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\";

std::wstring StoreClass(int n) {
  wchar_t name[32];
  std::swprintf(name, std::size(name), L"AppXbench%04d", n);
  return name;
}

void MakeStoreTypes(const std::vector<std::wstring>& extensions, bool make) {
  for (std::size_t n = 0; n < extensions.size(); ++n) {
    const std::wstring appClass = L"Software\\Classes\\" + StoreClass(static_cast<int>(n));
    const std::wstring choice = kFileExts + extensions[n];
    if (!make) {
      ::RegDeleteTreeW(HKEY_CURRENT_USER, appClass.c_str());
      ::RegDeleteKeyW(HKEY_CURRENT_USER, appClass.c_str());
      ::RegDeleteTreeW(HKEY_CURRENT_USER, choice.c_str());
      ::RegDeleteKeyW(HKEY_CURRENT_USER, choice.c_str());
      continue;
    }
    wchar_t app[32];
    std::swprintf(app, std::size(app), L"Bench.App%02d", static_cast<int>(n) % kStoreApps);
    const std::wstring package = std::wstring(app) + L"_1.0.0.0_x64__8wekyb3d8bbwe";
    const auto set = [](const std::wstring& key, const wchar_t* name, const std::wstring& text) {
      ::RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), name, REG_SZ, text.c_str(),
                        static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    };
    set(appClass, L"FriendlyTypeName", L"@{" + package + L"?ms-resource://" + app + L"/resources/FileType}");
    set(appClass + L"\\DefaultIcon", nullptr,
        L"@{" + package + L"?ms-resource://" + app + L"/Files/Assets/Logo.png}");
    set(choice + L"\\UserChoice", L"ProgId", StoreClass(static_cast<int>(n)));
  }
}

// Start-up and the whole list, with 500 of the types Store apps' and with
// none, in turns.
int StoreTypesBench(Os& os, const std::wstring& program, const std::wstring& snapshot) {
  std::vector<std::wstring> extensions;
  std::size_t listed = 0;
  for (const TypeItem& item : ListTypes(os)) {
    ++listed;
    if (extensions.size() < static_cast<std::size_t>(kStoreTypes)) extensions.push_back(item.extension);
  }
  StartMs(program, L"", app::kMainWindowClass);  // Defaults.dat, as on every start but the first
  app::MainWindow window(os);
  if (!window.Create()) return 1;
  const auto wholeList = [&] {
    const auto start = std::chrono::steady_clock::now();
    window.OnRefresh();
    bench::PumpUntil([&] { return !window.walking(); });
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  };
  std::vector<double> plainStarts, storeStarts, plainLists, storeLists;
  std::size_t storeListed = 0, packaged = 0;
  for (int r = 0; r < kRounds; ++r) {
    plainStarts.push_back(StartMs(program, L"", app::kMainWindowClass));
    plainLists.push_back(wholeList());
    MakeStoreTypes(extensions, true);
    storeStarts.push_back(StartMs(program, L"", app::kMainWindowClass));
    storeLists.push_back(wholeList());
    storeListed = window.types().size();
    packaged =
        static_cast<std::size_t>(std::count_if(window.types().begin(), window.types().end(),
                                               [](const TypeItem& t) { return IsPackagedIcon(t.location); }));
    MakeStoreTypes(extensions, false);
  }
  ::DeleteFileW(snapshot.c_str());
  std::printf("note|store: %zu types listed, %zu of them Store apps' with %zu package icons (plain: %zu)\n",
              storeListed, extensions.size(), packaged, listed);
  bench::TimeRow("start-up to the window answering, 500 types Store apps' (floor: none)", Median(storeStarts),
                 Median(plainStarts), "1.1x");
  bench::TimeRow("Refresh to the whole list, 500 types Store apps' (floor: none)", Median(storeLists),
                 Median(plainLists), "1.1x");
  return storeListed == listed && packaged == extensions.size() ? 0 : 1;
}

int wmain(int argc, wchar_t** argv) {
  YesShell shell;
  Os os{win32::RealOs().registry, win32::RealOs().files, shell};
  if (argc == 2 && std::wstring(argv[1]) == L"--floor-window") return FloorWindow(os.shell, true);
  if (argc == 2 && std::wstring(argv[1]) == L"--empty-window") return FloorWindow(os.shell, false);
  // The program runs from this program's folder, so that its Defaults.dat is
  // the one this benchmark makes and deletes.
  const std::wstring self = ThisProgram();
  const std::wstring snapshot = Folder(self) + kSnapshotName;
  const std::wstring program = Folder(self) + L"tarrow.exe";
  const bool startUpOnly = argc == 2 && std::wstring(argv[1]) == L"--start-up";
  if (argc == 2 && std::wstring(argv[1]) == L"--store-types" &&
      ::GetFileAttributesW(program.c_str()) != INVALID_FILE_ATTRIBUTES)
    return StoreTypesBench(os, program, snapshot);
  if ((argc != 1 && !startUpOnly) || ::GetFileAttributesW(program.c_str()) == INVALID_FILE_ATTRIBUTES) {
    std::fprintf(stderr, "usage: scan_winbench [--floor-window], with tarrow.exe beside it\n");
    return 2;
  }

  // Start-up, taking the snapshot and with one present, against a process
  // that does the reads and shows an empty window.
  std::vector<double> firstStarts, starts, floorStarts, emptyStarts;
  for (int r = 0; r < kRounds; ++r) {
    emptyStarts.push_back(StartMs(self, L"--empty-window", kFloorWindowClass));
    floorStarts.push_back(StartMs(self, L"--floor-window", kFloorWindowClass));
    ::DeleteFileW(snapshot.c_str());
    firstStarts.push_back(StartMs(program, L"", app::kMainWindowClass));
    starts.push_back(StartMs(program, L"", app::kMainWindowClass));
  }
  for (double ms : firstStarts)
    if (ms < 0) {
      std::fprintf(stderr, "the program did not show its window\n");
      return 1;
    }
  const auto startUpRows = [&] {
    bench::TimeRow("start-up to the window answering, taking Defaults.dat", Median(firstStarts),
                   Median(emptyStarts), "1.3x");
    bench::TimeRow("start-up to the window answering", Median(starts), Median(emptyStarts), "1.3x");
    bench::TimeRow("start-up: the reads, then an empty window (for scale)", Median(floorStarts),
                   Median(emptyStarts), "-");
  };
  if (startUpOnly) {
    startUpRows();
    ::DeleteFileW(snapshot.c_str());
    return 0;
  }

  // The main window in this process, its start-up probed, shown so that the
  // rows on screen are asked for first as they are in use.
  app::MainWindow window(os);
  if (!window.Create()) return 1;
  const double idleAnswer = bench::IdleAnswerMs(window.hwnd());
  double startAnswer = 0;
  {
    bench::AnswerProbe probe(window.hwnd());
    window.OnLoad(false);
    ::ShowWindow(window.hwnd(), SW_SHOWNOACTIVATE);
    if (!bench::PumpUntil([&] { return !window.loadingIcons(); })) {
      std::fprintf(stderr, "scan_winbench: the list's icons were still loading after two minutes\n");
      return 1;
    }
    startAnswer = probe.Stop();
  }
  const bench::Resources afterOne = bench::MeasureResources();
  std::vector<double> floors, walks, settled;
  FloorWork work;
  for (int r = 0; r < kRounds; ++r) {
    floors.push_back(TimeMs([&] { work = ScanFloor(os.shell); }));
    const auto start = std::chrono::steady_clock::now();
    window.OnRefresh();
    bench::PumpUntil([&] { return !window.walking(); });
    walks.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    bench::PumpUntil([&] { return !window.loadingIcons(); });
    settled.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  // The bare walk: the same resolver over the same registry, on this thread,
  // with no window, worker or list.
  const double windowless = bench::MedianMs(kRounds, [&] { ListTypes(os); });

  // How long the window leaves the user waiting: through Refresh and its
  // icons, Restore Defaults and its walk, and scrolling the list while the
  // icons load.
  double refreshAnswer = 0, restoreAnswer = 0, scrollAnswer = 0;
  std::vector<double> restores;
  std::size_t restoredTypes = 0, stillChanged = 0;
  for (int r = 0; r < kRounds; ++r) {
    bench::AnswerProbe refreshProbe(window.hwnd());
    RefreshAndSettle(window);
    refreshAnswer = std::max(refreshAnswer, refreshProbe.Stop());
    const auto changed = ChangeEveryIcon(window.types());
    bench::AnswerProbe restoreProbe(window.hwnd());
    const auto restoreStart = std::chrono::steady_clock::now();
    window.OnRestoreDefaults();
    bench::PumpUntil([&] { return !window.writing(); });
    restores.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - restoreStart).count());
    bench::PumpUntil([&] { return !window.loadingIcons(); });
    restoreAnswer = std::max(restoreAnswer, restoreProbe.Stop());
    restoredTypes = changed.size();
    stillChanged = StillChanged(changed);
    RemoveUserKeys(os.shell, changed);
    window.OnRefresh();
    bench::AnswerProbe scrollProbe(window.hwnd());
    ScrollWhileLoading(window);
    scrollAnswer = std::max(scrollAnswer, scrollProbe.Stop());
  }
  for (int r = 1 + 3 * kRounds; r < kManyScans; ++r) RefreshAndSettle(window);
  const bench::Resources afterMany = bench::MeasureResources();

  DWORD rootKeys = 0;
  ::RegQueryInfoKeyW(HKEY_CLASSES_ROOT, nullptr, nullptr, nullptr, &rootKeys, nullptr, nullptr, nullptr,
                     nullptr, nullptr, nullptr, nullptr);
  std::printf("note|scan: %lu root keys, %zu types listed (floor found %zu), %zu distinct icons\n", rootKeys,
              window.types().size(), work.types, work.icons.size());
  std::printf("note|scan: the bare walk (ListTypes) takes %.1f ms\n", windowless);
  std::printf(
      "note|unanswered: the longest WM_NULL round trip, asked every 10 ms from another thread; the "
      "floor is an idle window's, the worst of %d rounds\n",
      kRounds);
  startUpRows();
  bench::TimeRow("Refresh to the whole list (floor: the bare walk)", Median(walks), windowless, "1.2x");
  bench::TimeRow("Refresh to every list icon present", Median(settled), Median(floors), "1.2x");
  bench::TimeRow("longest unanswered: start-up, walk and list icons", startAnswer, idleAnswer, "<50 ms");
  bench::TimeRow("longest unanswered: Refresh and list icons", refreshAnswer, idleAnswer, "<50 ms");
  std::printf(
      "note|unanswered: before each Restore Defaults the icon of every listed type's ProgID (%zu) is changed "
      "behind the "
      "program's back; the restore took %.0f ms (median), the window answering meanwhile; %zu left "
      "changed after it\n",
      restoredTypes, Median(restores), stillChanged);
  bench::TimeRow("longest unanswered: Restore Defaults and its walk", restoreAnswer, idleAnswer, "<50 ms");
  bench::TimeRow("longest unanswered: scrolling while icons load", scrollAnswer, idleAnswer, "<50 ms");
  bench::ResourceRows("scans (1 vs 50)", afterOne, afterMany);
  ::DeleteFileW(snapshot.c_str());
  if (window.types().size() != work.types) {
    std::fprintf(stderr, "scan_winbench: the scan listed %zu types, the floor found %zu\n",
                 window.types().size(), work.types);
    return 1;
  }
  return 0;
}
