// tarrow.exe driven from outside, as a user drives it: its window found by
// class and caption, its controls worked through window messages only.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <cwctype>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "app/layout.h"
#include "app/main_window.h"
#include "catalog/snapshot.h"
#include "changes/journal.h"
#include "picker/grid.h"
#include "platform/win32/handles.h"
#include "platform/win32/win32_os.h"
#include "wine_support.h"

namespace tarrow::testing {

inline constexpr wchar_t kCaption[] = L"Tarrow - Version 1.5";
// The first scan of Wine's whole HKEY_CLASSES_ROOT takes a few seconds.
inline constexpr DWORD kStartTimeoutMs = 60000;
inline constexpr DWORD kTimeoutMs = 20000;

inline std::wstring WindowsPath(std::wstring path) {
  for (auto& c : path) {
    if (c == L'/') c = L'\\';
  }
  return path;
}

inline std::wstring ExePath() {
  return WindowsPath(TARROW_EXE);
}

inline std::wstring FolderOf(const std::wstring& path) {
  return path.substr(0, path.rfind(L'\\'));
}

// Defaults.dat beside the program at `exe`.
inline std::wstring SnapshotPath(const std::wstring& exe = ExePath()) {
  return FolderOf(exe) + L"\\" + kSnapshotName;
}

// Both records of changed values.
inline void DeleteRecords() {
  ::DeleteFileW(JournalPath(win32::RealShell()).c_str());
  ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kMachineRecordKey);
  ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kMachineRecordKey);
}

// Defaults.dat in both places, and both records of changed values.
inline void DeleteSnapshots() {
  ::DeleteFileW(SnapshotPath().c_str());
  ::DeleteFileW(SnapshotPathPerUser(win32::RealShell()).c_str());
  DeleteRecords();
}

// A listed type as the scan's rules give it, worked out here independently.
struct ExpectedType {
  std::wstring text, progId, location;
};

inline std::vector<ExpectedType> ExpectedTypes() {
  std::vector<ExpectedType> types;
  wchar_t name[1024];
  for (DWORD i = 0;; ++i) {
    DWORD chars = static_cast<DWORD>(std::size(name));
    if (::RegEnumKeyExW(HKEY_CLASSES_ROOT, i, name, &chars, nullptr, nullptr, nullptr, nullptr)) break;
    const std::wstring extension(name, chars);
    if (extension[0] != L'.') continue;
    const std::wstring progId = DefaultText(extension);
    if (progId.empty()) continue;
    std::wstring description = DefaultText(progId);
    const std::wstring location = DefaultText(progId + L"\\DefaultIcon");
    if (location.empty() || location == L"%1") continue;
    // A class without a name is named as Explorer names it.
    if (description.empty()) {
      for (const wchar_t c : extension.substr(1)) description += static_cast<wchar_t>(std::towupper(c));
      description += L" File";
    }
    types.push_back({description + L"  [" + extension + L"]", progId, location});
  }
  return types;
}

// The Defaults.dat a first scan of the registry as it is now writes. A line
// that would not read back as its own type (a comma or line break in the
// ProgID, a line break in the location) is left out.
inline std::string ExpectedSnapshot() {
  std::string snapshot = "\xEF\xBB\xBF";
  for (const auto& type : ExpectedTypes()) {
    if (type.progId.find_first_of(L",\r\n") != std::wstring::npos ||
        type.location.find_first_of(L"\r\n") != std::wstring::npos)
      continue;
    snapshot += Utf8(type.progId + L"," + type.location) + "\r\n";
  }
  return snapshot;
}

// ---- windows of another process

inline std::wstring TextOf(HWND window) {
  DWORD_PTR length = 0;
  if (!::SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, kTimeoutMs, &length)) return {};
  std::wstring text(length + 1, L'\0');
  DWORD_PTR got = 0;
  ::SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_NORMAL,
                        kTimeoutMs, &got);
  text.resize(got);
  return text;
}

// What a message box says: the texts of its static controls.
inline std::wstring MessageOf(HWND box) {
  std::wstring text;
  for (HWND s = ::FindWindowExW(box, nullptr, L"Static", nullptr); s;
       s = ::FindWindowExW(box, s, L"Static", nullptr))
    text += TextOf(s);
  return text;
}

// A visible top-level window of the process, of the class.
inline HWND VisibleWindowOf(DWORD processId, const wchar_t* windowClass) {
  for (HWND w = ::FindWindowExW(nullptr, nullptr, windowClass, nullptr); w;
       w = ::FindWindowExW(nullptr, w, windowClass, nullptr)) {
    DWORD owner = 0;
    ::GetWindowThreadProcessId(w, &owner);
    if (owner == processId && ::IsWindowVisible(w)) return w;
  }
  return nullptr;
}

// Memory inside tarrow.exe, for the list view messages that carry pointers.
class RemoteMemory {
 public:
  RemoteMemory(HANDLE process, std::size_t bytes)
      : process_(process),
        base_(static_cast<BYTE*>(
            ::VirtualAllocEx(process, nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE))) {}
  ~RemoteMemory() {
    if (base_) ::VirtualFreeEx(process_, base_, 0, MEM_RELEASE);
  }
  RemoteMemory(const RemoteMemory&) = delete;
  RemoteMemory& operator=(const RemoteMemory&) = delete;
  BYTE* at(std::size_t offset) const { return base_ + offset; }
  LPARAM lparam() const { return reinterpret_cast<LPARAM>(base_); }
  void Write(const void* data, std::size_t bytes) const {
    ::WriteProcessMemory(process_, base_, data, bytes, nullptr);
  }
  void Read(std::size_t offset, void* data, std::size_t bytes) const {
    ::ReadProcessMemory(process_, base_ + offset, data, bytes, nullptr);
  }

 private:
  HANDLE process_;
  BYTE* base_;
};

// One running tarrow.exe; whatever happens, it is gone when this is.
class Tarrow {
 public:
  explicit Tarrow(std::wstring exe = ExePath()) : exe_(std::move(exe)) {}
  ~Tarrow() { Close(); }
  Tarrow(const Tarrow&) = delete;
  Tarrow& operator=(const Tarrow&) = delete;

  bool Start() {
    std::wstring commandLine = L"\"" + exe_ + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(exe_.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &info))
      return false;
    ::CloseHandle(info.hThread);
    process_.reset(info.hProcess);
    id_ = info.dwProcessId;
    return true;
  }

  // The main window, once it is shown and, unless told not to, has read the
  // registry, as a user waits for the status line to stop counting.
  bool WaitForWindow(bool wholeList = true) {
    WaitUntil(
        [this] {
          const HWND found = VisibleWindowOf(id_, app::kMainWindowClass);
          if (found && TextOf(found) == kCaption) window_ = found;
          return window_ || !running();
        },
        kStartTimeoutMs);
    return window_ && (!wholeList || WaitForList());
  }

  // Whether the status line says the registry is being read.
  bool Reading() const { return TextOf(control(Part::Status)).starts_with(L" Reading file types"); }
  // Waits until the list is whole: the registry read to its end.
  bool WaitForList() const {
    return WaitUntil([this] { return !Reading() || !running(); }, kStartTimeoutMs) && running();
  }

  bool StartAndWait() { return Start() && WaitForWindow(); }

  // WM_CLOSE as the frame's close box sends it; killed only as a last resort.
  // Changes still waiting (a write failed) are asked about first: No drops
  // them.
  bool Close() {
    if (!process_) return true;
    if (window_) ::PostMessageW(window_, WM_CLOSE, 0, 0);
    const bool ended = WaitUntil(
        [&] {
          if (const HWND box = Dialog()) {
            if (const HWND no = ::GetDlgItem(box, IDNO)) ::PostMessageW(no, BM_CLICK, 0, 0);
          }
          return ::WaitForSingleObject(process_.get(), 0) == WAIT_OBJECT_0;
        },
        kTimeoutMs);
    if (!ended) Kill();
    process_.reset();
    window_ = nullptr;
    return ended;
  }

  // Ends the process at once, as a crash or the task manager would.
  void Kill() {
    ::TerminateProcess(process_.get(), 1);
    ::WaitForSingleObject(process_.get(), kTimeoutMs);
  }

  HANDLE process() const { return process_.get(); }
  DWORD id() const { return id_; }
  HWND window() const { return window_; }
  bool running() const { return ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }
  HWND control(Part part) const { return ::GetDlgItem(window_, ControlIdOf(part)); }
  HWND Dialog() const { return VisibleWindowOf(id_, L"#32770"); }
  HWND WaitForDialog() const {
    HWND box = nullptr;
    WaitUntil([&] { return (box = Dialog()) != nullptr; });
    return box;
  }

  // Sent, so it returns once the program has handled it; a program that
  // does not answer (a message box it should not show) fails the test.
  LRESULT Send(HWND to, UINT msg, WPARAM wp, LPARAM lp) const {
    DWORD_PTR result = 0;
    if (!::SendMessageTimeoutW(to, msg, wp, lp, SMTO_NORMAL, kTimeoutMs, &result)) {
      ADD_FAILURE() << "tarrow.exe did not answer message " << msg << "; it shows \""
                    << Utf8(MessageOf(Dialog())) << "\"";
    }
    return static_cast<LRESULT>(result);
  }
  void Click(Part part) const { Send(control(part), BM_CLICK, 0, 0); }
  // For a button whose handler asks first: a sent click would wait for the
  // answer, so it is posted.
  void PostClick(Part part) const { ::PostMessageW(control(part), BM_CLICK, 0, 0); }
  // Until no change is being written and the list is whole: Restore
  // Defaults is offered again. False when it never is.
  bool WaitUntilIdle() const {
    return WaitUntil([&] { return ::IsWindowEnabled(control(Part::Restore)) != FALSE; }, kTimeoutMs);
  }
  // Apply, written on the program's worker, and waited for.
  void ClickApplyAndWait() const {
    Click(Part::Apply);
    EXPECT_TRUE(WaitUntilIdle()) << "Apply did not end";
  }

  // The texts of one column: 0 the description, 1 the extension, 2 the icon;
  // by default description "  [" extension "]", as the scan names a type.
  std::vector<std::wstring> ListTexts(int column = -1) const {
    if (column < 0) {
      auto texts = ListTexts(0);
      const auto extensions = ListTexts(1);
      for (std::size_t i = 0; i < texts.size() && i < extensions.size(); ++i)
        texts[i] += L"  [" + extensions[i] + L"]";
      return texts;
    }
    const HWND list = control(Part::TypeList);
    const auto count = static_cast<int>(Send(list, LVM_GETITEMCOUNT, 0, 0));
    constexpr int kChars = 512;
    const RemoteMemory memory(process(), sizeof(LVITEMW) + kChars * sizeof(wchar_t));
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = reinterpret_cast<LPWSTR>(memory.at(sizeof item));
    item.cchTextMax = kChars;
    std::vector<std::wstring> texts;
    for (int i = 0; i < count; ++i) {
      memory.Write(&item, sizeof item);
      Send(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(i), memory.lparam());
      wchar_t text[kChars] = {};
      memory.Read(sizeof item, text, sizeof text - sizeof(wchar_t));
      texts.emplace_back(text);
    }
    return texts;
  }

  int IndexOf(const std::wstring& extension) const {
    const auto texts = ListTexts(1);
    for (std::size_t i = 0; i < texts.size(); ++i) {
      if (texts[i] == extension) return static_cast<int>(i);
    }
    return -1;
  }

  // Selects the list item, as a click on it does.
  void SelectItem(int index) const {
    const HWND list = control(Part::TypeList);
    const RemoteMemory memory(process(), sizeof(LVITEMW));
    LVITEMW item{};
    // As a click does: the list takes several types, and this one alone is
    // selected.
    item.stateMask = LVIS_SELECTED;
    memory.Write(&item, sizeof item);
    Send(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), memory.lparam());
    item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
    memory.Write(&item, sizeof item);
    Send(list, LVM_SETITEMSTATE, static_cast<WPARAM>(index), memory.lparam());
  }

  // Selects the type and double-clicks it, which loads its icon file.
  void DoubleClickType(const std::wstring& extension) const {
    const int index = IndexOf(extension);
    ASSERT_GE(index, 0) << Utf8(extension) << " is not listed";
    const HWND list = control(Part::TypeList);
    SelectItem(index);
    Send(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(index), FALSE);
    const RemoteMemory memory(process(), sizeof(RECT));
    RECT icon{LVIR_ICON, 0, 0, 0};
    memory.Write(&icon, sizeof icon);
    Send(list, LVM_GETITEMRECT, static_cast<WPARAM>(index), memory.lparam());
    memory.Read(0, &icon, sizeof icon);
    Send(list, WM_LBUTTONDBLCLK, MK_LBUTTON,
         MAKELPARAM((icon.left + icon.right) / 2, (icon.top + icon.bottom) / 2));
  }

  // Double-clicks grid cell k (from 1), the sheet scrolled to its top.
  // The number of cells of the grid, from the name it gives a screen reader
  // ("184 icons", "Icon 5 of 184"); 0 while it counts.
  int GridCells() const {
    const std::wstring name = TextOf(control(Part::IconGrid));
    const auto of = name.rfind(L" of ");
    return std::wcstol(name.c_str() + (of == std::wstring::npos ? 0 : of + 4), nullptr, 10);
  }

  // Waits, as a user would, for the grid to lay out its cells first.
  void DoubleClickCell(int k) const {
    WaitUntil([&] { return GridCells() >= k; });
    const HWND grid = control(Part::IconGrid);
    UINT dpi = ::GetDpiForWindow(grid);
    if (dpi == 0) dpi = 96;
    const GridMetrics metrics;
    const CellPosition cell = CellPositionOf(metrics, k);
    const int x = app::TwipsToPx(static_cast<int>(cell.Left + metrics.cellWidth / 2), dpi);
    const int y = app::TwipsToPx(static_cast<int>(cell.Top + metrics.cellHeight / 2), dpi);
    Send(grid, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(x, y));
    Send(grid, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
  }

  void SetFilename(const std::wstring& file) const {
    Send(control(Part::IconFile), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(file.c_str()));
  }

  // Picks the type, types the icon file into Filename and double-clicks a cell.
  void AssignIcon(const std::wstring& extension, const std::wstring& file, int cell) const {
    ASSERT_NO_FATAL_FAILURE(DoubleClickType(extension));
    SetFilename(file);
    DoubleClickCell(cell);
  }

 private:
  std::wstring exe_;
  win32::UniqueHandle process_;
  DWORD id_ = 0;
  HWND window_ = nullptr;
};

// Answers a message box with one of its buttons and waits until it goes.
inline void Answer(HWND box, int button) {
  const HWND target = ::GetDlgItem(box, button);
  ASSERT_TRUE(target) << "the message box has no button " << button;
  ::PostMessageW(target, BM_CLICK, 0, 0);
  EXPECT_TRUE(WaitUntil([box] { return !::IsWindow(box); })) << "the message box stayed";
}

}  // namespace tarrow::testing
