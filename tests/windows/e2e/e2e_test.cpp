// tarrow.exe driven from outside, as a user drives it: its window found by
// class and caption, its controls worked through window messages only, and
// the registry and Defaults.dat read back afterwards.
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "app/layout.h"
#include "app/main_window.h"
#include "catalog/snapshot.h"
#include "picker/grid.h"
#include "platform/win32/handles.h"
#include "platform/win32/win32_os.h"
#include "wine_support.h"

namespace tarrow::e2e {
namespace {

using app::MainWindow;

constexpr wchar_t kCaption[] = L"Tarrow - Version 1.5";
// The first scan of Wine's whole HKEY_CLASSES_ROOT takes a few seconds.
constexpr DWORD kStartTimeoutMs = 60000;
constexpr DWORD kTimeoutMs = 20000;

// Polls; the test process has no windows, so there is nothing to pump.
template <typename Done>
bool WaitUntil(Done done, DWORD timeoutMs = kTimeoutMs) {
  const ULONGLONG end = ::GetTickCount64() + timeoutMs;
  while (!done()) {
    if (::GetTickCount64() >= end) return false;
    ::Sleep(50);
  }
  return true;
}

std::wstring ExePath() {
  std::wstring path = TARROW_EXE;
  for (auto& c : path) {
    if (c == L'/') c = L'\\';
  }
  return path;
}

std::wstring SnapshotPath() {
  const std::wstring exe = ExePath();
  return exe.substr(0, exe.rfind(L'\\') + 1) + kSnapshotName;
}

void DeleteSnapshots() {
  ::DeleteFileW(SnapshotPath().c_str());
  ::DeleteFileW(SnapshotPathPerUser(win32::RealShell()).c_str());
}

std::optional<std::string> FileBytes(const std::wstring& path) {
  std::ifstream file(std::filesystem::path(path), std::ios::binary);
  if (!file) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(file), {});
}

std::string Utf8(const std::wstring& text) {
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                      nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr,
                        nullptr);
  return out;
}

// ---- the registry, read raw

struct RawValue {
  bool present = false;
  DWORD type = REG_NONE;
  std::vector<BYTE> bytes;
  bool operator==(const RawValue&) const = default;
};

// The value's text, without the terminators.
std::wstring TextOf(const RawValue& value) {
  if (value.type != REG_SZ && value.type != REG_EXPAND_SZ) return {};
  std::wstring text(value.bytes.size() / sizeof(wchar_t), L'\0');
  std::memcpy(text.data(), value.bytes.data(), text.size() * sizeof(wchar_t));
  while (!text.empty() && text.back() == L'\0') text.pop_back();
  return text;
}

void PrintTo(const RawValue& value, std::ostream* os) {
  if (!value.present) {
    *os << "(no value)";
    return;
  }
  const char* type = value.type == REG_SZ          ? "REG_SZ"
                     : value.type == REG_EXPAND_SZ ? "REG_EXPAND_SZ"
                                                   : "other";
  *os << type << " \"" << Utf8(TextOf(value)) << "\", " << value.bytes.size() << " bytes";
}

RawValue Text(DWORD type, const std::wstring& text) {
  const auto* bytes = reinterpret_cast<const BYTE*>(text.c_str());
  return {true, type, std::vector<BYTE>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t))};
}

// The default value of a key under HKEY_CLASSES_ROOT, bytes and type as stored.
RawValue DefaultValue(const std::wstring& key) {
  constexpr DWORD kFlags = RRF_RT_ANY | RRF_NOEXPAND;
  RawValue value;
  DWORD size = 0;
  if (::RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, kFlags, &value.type, nullptr, &size)) return {};
  value.bytes.resize(size);
  if (::RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, kFlags, &value.type, value.bytes.data(), &size))
    return {};
  value.bytes.resize(size);
  value.present = true;
  return value;
}

std::wstring DefaultText(const std::wstring& key) {
  return TextOf(DefaultValue(key));
}

// Puts a default value back as it was, key and all, whatever a test did.
class KeptValue {
 public:
  explicit KeptValue(std::wstring key) : key_(std::move(key)), original_(DefaultValue(key_)) {}
  ~KeptValue() {
    win32::UniqueHkey key;
    if (!original_.present || ::RegCreateKeyExW(HKEY_CLASSES_ROOT, key_.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                                nullptr, key.put(), nullptr))
      return;
    ::RegSetValueExW(key.get(), nullptr, 0, original_.type, original_.bytes.data(),
                     static_cast<DWORD>(original_.bytes.size()));
  }
  const std::wstring& key() const { return key_; }
  const RawValue& original() const { return original_; }

 private:
  std::wstring key_;
  RawValue original_;
};

// A listed type as the scan's rules give it, worked out here independently.
struct ExpectedType {
  std::wstring text, progId, location;
};

std::vector<ExpectedType> ExpectedTypes() {
  std::vector<ExpectedType> types;
  wchar_t name[1024];
  for (DWORD i = 0;; ++i) {
    DWORD chars = static_cast<DWORD>(std::size(name));
    if (::RegEnumKeyExW(HKEY_CLASSES_ROOT, i, name, &chars, nullptr, nullptr, nullptr, nullptr)) break;
    const std::wstring extension(name, chars);
    if (extension[0] != L'.') continue;
    const std::wstring progId = DefaultText(extension);
    if (progId.empty()) continue;
    const std::wstring description = DefaultText(progId);
    const std::wstring location = DefaultText(progId + L"\\DefaultIcon");
    if (description.empty() || location.empty() || location == L"%1") continue;
    types.push_back({description + L"  [" + extension + L"]", progId, location});
  }
  return types;
}

// ---- windows of another process

std::wstring TextOf(HWND window) {
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
std::wstring MessageOf(HWND box) {
  std::wstring text;
  for (HWND s = ::FindWindowExW(box, nullptr, L"Static", nullptr); s;
       s = ::FindWindowExW(box, s, L"Static", nullptr))
    text += TextOf(s);
  return text;
}

// A visible top-level window of the process, of the class.
HWND VisibleWindowOf(DWORD processId, const wchar_t* windowClass) {
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
  ~Tarrow() { Close(); }

  bool Start() {
    std::wstring commandLine = L"\"" + ExePath() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(ExePath().c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &info))
      return false;
    ::CloseHandle(info.hThread);
    process_.reset(info.hProcess);
    id_ = info.dwProcessId;
    return true;
  }

  // The main window, once the first scan is over and it is shown.
  bool WaitForWindow() {
    WaitUntil(
        [this] {
          const HWND found = VisibleWindowOf(id_, app::kMainWindowClass);
          if (found && TextOf(found) == kCaption) window_ = found;
          return window_ || !running();
        },
        kStartTimeoutMs);
    return window_ != nullptr;
  }

  bool StartAndWait() { return Start() && WaitForWindow(); }

  // WM_CLOSE as the frame's close box sends it; killed only as a last resort.
  bool Close() {
    if (!process_) return true;
    if (window_) ::PostMessageW(window_, WM_CLOSE, 0, 0);
    const bool ended = ::WaitForSingleObject(process_.get(), kTimeoutMs) == WAIT_OBJECT_0;
    if (!ended) {
      ::TerminateProcess(process_.get(), 1);
      ::WaitForSingleObject(process_.get(), kTimeoutMs);
    }
    process_.reset();
    window_ = nullptr;
    return ended;
  }

  HANDLE process() const { return process_.get(); }
  HWND window() const { return window_; }
  bool running() const { return ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }
  HWND control(int id) const {
    return ::GetDlgItem(::FindWindowExW(window_, nullptr, L"TarrowPanel", nullptr), id);
  }
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
  void Click(int id) const { Send(control(id), BM_CLICK, 0, 0); }
  // For a button whose handler asks first: a sent click would wait for the
  // answer, so it is posted.
  void PostClick(int id) const { ::PostMessageW(control(id), BM_CLICK, 0, 0); }

  std::vector<std::wstring> ListTexts() const {
    const HWND list = control(MainWindow::kListView1);
    const auto count = static_cast<int>(Send(list, LVM_GETITEMCOUNT, 0, 0));
    constexpr int kChars = 512;
    const RemoteMemory memory(process(), sizeof(LVITEMW) + kChars * sizeof(wchar_t));
    LVITEMW item{};
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
    const auto texts = ListTexts();
    for (std::size_t i = 0; i < texts.size(); ++i) {
      if (texts[i].ends_with(L"[" + extension + L"]")) return static_cast<int>(i);
    }
    return -1;
  }

  // Selects the type and double-clicks it, which loads its icon file.
  void DoubleClickType(const std::wstring& extension) const {
    const int index = IndexOf(extension);
    ASSERT_GE(index, 0) << Utf8(extension) << " is not listed";
    const HWND list = control(MainWindow::kListView1);
    const RemoteMemory memory(process(), sizeof(LVITEMW));
    LVITEMW item{};
    item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
    memory.Write(&item, sizeof item);
    Send(list, LVM_SETITEMSTATE, static_cast<WPARAM>(index), memory.lparam());
    Send(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(index), FALSE);
    RECT icon{LVIR_ICON, 0, 0, 0};
    memory.Write(&icon, sizeof icon);
    Send(list, LVM_GETITEMRECT, static_cast<WPARAM>(index), memory.lparam());
    memory.Read(0, &icon, sizeof icon);
    Send(list, WM_LBUTTONDBLCLK, MK_LBUTTON,
         MAKELPARAM((icon.left + icon.right) / 2, (icon.top + icon.bottom) / 2));
  }

  // Double-clicks grid cell k (from 1), the sheet scrolled to its top.
  void DoubleClickCell(int k) const {
    const HWND grid = control(MainWindow::kBorder);
    UINT dpi = ::GetDpiForWindow(grid);
    if (dpi == 0) dpi = 96;
    const GridMetrics metrics;
    const CellPosition cell = CellPositionOf(metrics, k);
    const int x = app::TwipsToPx(static_cast<int>(cell.Left + metrics.cellWidth / 2), dpi);
    const int y = app::TwipsToPx(static_cast<int>(cell.Top + metrics.cellHeight / 2), dpi);
    Send(grid, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(x, y));
    Send(grid, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
  }

  // Picks the type, types the icon file into Filename and double-clicks a cell.
  void AssignIcon(const std::wstring& extension, const std::wstring& file, int cell) const {
    ASSERT_NO_FATAL_FAILURE(DoubleClickType(extension));
    Send(control(MainWindow::kFilename), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(file.c_str()));
    DoubleClickCell(cell);
  }

 private:
  win32::UniqueHandle process_;
  DWORD id_ = 0;
  HWND window_ = nullptr;
};

// Answers a message box with one of its buttons and waits until it goes.
void Answer(HWND box, int button) {
  const HWND target = ::GetDlgItem(box, button);
  ASSERT_TRUE(target) << "the message box has no button " << button;
  ::PostMessageW(target, BM_CLICK, 0, 0);
  EXPECT_TRUE(WaitUntil([box] { return !::IsWindow(box); })) << "the message box stayed";
}

class EndToEnd : public ::testing::Test {
 protected:
  // Every run starts without the snapshot of an earlier one.
  void SetUp() override { DeleteSnapshots(); }
  void TearDown() override {
    EXPECT_TRUE(tarrow_.Close()) << "WM_CLOSE did not end tarrow.exe";
    DeleteSnapshots();
  }
  Tarrow tarrow_;
};

TEST_F(EndToEnd, StartsOnceListsEveryTypeAndRecordsItsIcon) {
  const auto expected = ExpectedTypes();
  ASSERT_TRUE(tarrow_.StartAndWait()) << "no window captioned \"" << Utf8(kCaption) << "\"";

  std::vector<std::wstring> texts;
  std::string snapshot = "\xEF\xBB\xBF";
  for (const auto& type : expected) {
    texts.push_back(type.text);
    snapshot += Utf8(type.progId + L"," + type.location) + "\r\n";
  }
  const auto listed = tarrow_.ListTexts();
  EXPECT_EQ(listed, texts);
  for (const wchar_t* extension : {L".tarrowa", L".tarrowb", L".tarrowc", L".tarrowd", L".tarrowg"})
    EXPECT_GE(tarrow_.IndexOf(extension), 0) << Utf8(extension);
  EXPECT_EQ(tarrow_.IndexOf(L".tarrowe"), -1) << "a type whose icon is %1";
  EXPECT_EQ(tarrow_.IndexOf(L".tarrowf"), -1) << "a type without a description";
  EXPECT_EQ(FileBytes(SnapshotPath()), snapshot);

  // A second copy is refused, and brings the first one forward.
  tarrow_.Send(tarrow_.window(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
  ASSERT_TRUE(::IsIconic(tarrow_.window()));
  Tarrow second;
  ASSERT_TRUE(second.Start());
  const HWND box = second.WaitForDialog();
  ASSERT_TRUE(box) << "the second copy showed no message";
  EXPECT_EQ(TextOf(box), L"Tarrow");
  EXPECT_EQ(MessageOf(box), L"Only one Instance allowed at a time...");
  EXPECT_FALSE(VisibleWindowOf(::GetProcessId(second.process()), app::kMainWindowClass));
  Answer(box, IDOK);
  ASSERT_EQ(::WaitForSingleObject(second.process(), kTimeoutMs), WAIT_OBJECT_0)
      << "the second copy still runs";
  EXPECT_TRUE(tarrow_.running());
  EXPECT_TRUE(WaitUntil([&] { return !::IsIconic(tarrow_.window()); })) << "the first copy was not restored";

  ASSERT_TRUE(tarrow_.Close());
}

TEST_F(EndToEnd, AppliedIconsReachTheRegistryAndRestoreBringsBackEveryOriginal) {
  const KeptValue typeA(L"Tarrow.TypeA\\DefaultIcon"), typeB(L"Tarrow.TypeB\\DefaultIcon");
  ASSERT_EQ(typeA.original(), Text(REG_EXPAND_SZ, L"%SystemRoot%\\system32\\shell32.dll,3"));
  ASSERT_EQ(typeB.original(), Text(REG_SZ, L"C:\\windows\\system32\\shell32.dll,-4"));
  ASSERT_TRUE(tarrow_.StartAndWait());
  const auto snapshot = FileBytes(SnapshotPath());
  ASSERT_TRUE(snapshot);
  const std::size_t count = tarrow_.ListTexts().size();

  // The type's own file comes up lower-cased; cell 4 is its icon 3.
  const HWND filename = tarrow_.control(MainWindow::kFilename);
  ASSERT_NO_FATAL_FAILURE(tarrow_.DoubleClickType(L".tarrowb"));
  EXPECT_EQ(TextOf(filename), L"c:\\windows\\system32\\shell32.dll");
  tarrow_.DoubleClickCell(4);
  EXPECT_EQ(DefaultValue(typeB.key()), typeB.original()) << "nothing is written before Apply";
  tarrow_.Click(MainWindow::kCommand1);
  const RawValue appliedB = Text(REG_SZ, L"c:\\windows\\system32\\shell32.dll,3");
  EXPECT_EQ(DefaultValue(typeB.key()), appliedB);

  // A typed file with an environment reference stays expandable.
  ASSERT_NO_FATAL_FAILURE(tarrow_.DoubleClickType(L".tarrowa"));
  tarrow_.Send(filename, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"%SystemRoot%\\System32\\shell32.dll"));
  tarrow_.DoubleClickCell(6);
  tarrow_.Click(MainWindow::kCommand1);
  EXPECT_EQ(DefaultValue(typeA.key()), Text(REG_EXPAND_SZ, L"%SystemRoot%\\System32\\shell32.dll,5"));
  EXPECT_EQ(DefaultValue(typeB.key()), appliedB);
  EXPECT_EQ(FileBytes(SnapshotPath()), snapshot) << "the snapshot keeps the originals";

  // Restore asks first (system modal); No leaves everything as applied.
  tarrow_.PostClick(MainWindow::kCommand3);
  HWND box = tarrow_.WaitForDialog();
  ASSERT_TRUE(box) << "Restore Defaults asked nothing";
  EXPECT_EQ(TextOf(box), L"Tarrow");
  EXPECT_EQ(MessageOf(box), L"Restore all icons to original state?\r(Before Tarrow was installed)");
  EXPECT_TRUE(::GetWindowLongPtrW(box, GWL_EXSTYLE) & WS_EX_TOPMOST) << "system modal";
  Answer(box, IDNO);
  tarrow_.Send(tarrow_.window(), WM_NULL, 0, 0);
  EXPECT_FALSE(tarrow_.Dialog());
  EXPECT_EQ(DefaultValue(typeB.key()), appliedB);

  // Yes: every value is back, type and bytes, and the list is rebuilt.
  tarrow_.PostClick(MainWindow::kCommand3);
  box = tarrow_.WaitForDialog();
  ASSERT_TRUE(box);
  Answer(box, IDYES);
  const bool restored = WaitUntil(
      [&] {
        return DefaultValue(typeA.key()) == typeA.original() &&
               DefaultValue(typeB.key()) == typeB.original() && ::IsWindowVisible(tarrow_.window());
      },
      kStartTimeoutMs);
  EXPECT_TRUE(restored);
  EXPECT_EQ(DefaultValue(typeA.key()), typeA.original());
  EXPECT_EQ(DefaultValue(typeB.key()), typeB.original());
  tarrow_.Send(tarrow_.window(), WM_NULL, 0, 0);
  EXPECT_FALSE(tarrow_.Dialog()) << "a complete restore says nothing: " << Utf8(MessageOf(tarrow_.Dialog()));
  EXPECT_EQ(tarrow_.ListTexts().size(), count);
  EXPECT_EQ(FileBytes(SnapshotPath()), snapshot);
}

// A DefaultIcon key deleted after the scan: the write fails, no key is made.
TEST_F(EndToEnd, AWriteThatFailsIsReportedAndTheOthersStillHappen) {
  const KeptValue locked(L"Tarrow.Locked\\DefaultIcon");
  ASSERT_TRUE(locked.original().present);
  ASSERT_TRUE(tarrow_.StartAndWait());
  ASSERT_EQ(::RegDeleteKeyW(HKEY_CLASSES_ROOT, locked.key().c_str()), ERROR_SUCCESS);

  // The type listed after the failing one is written all the same.
  const auto texts = tarrow_.ListTexts();
  const int index = tarrow_.IndexOf(L".tarrowg");
  ASSERT_GE(index, 0);
  ASSERT_LT(static_cast<std::size_t>(index) + 1, texts.size()) << "no type listed after .tarrowg";
  const std::wstring& after = texts[static_cast<std::size_t>(index) + 1];
  const std::wstring extension = after.substr(after.rfind(L'[') + 1, after.size() - after.rfind(L'[') - 2);
  const KeptValue next(DefaultText(extension) + L"\\DefaultIcon");

  const std::wstring shell32 = tarrow::testing::SystemFile(L"shell32.dll");
  ASSERT_NO_FATAL_FAILURE(tarrow_.AssignIcon(L".tarrowg", shell32, 2));
  ASSERT_NO_FATAL_FAILURE(tarrow_.AssignIcon(extension, shell32, 3));
  tarrow_.PostClick(MainWindow::kCommand1);
  const HWND box = tarrow_.WaitForDialog();
  ASSERT_TRUE(box) << "the failure was not reported";
  EXPECT_EQ(TextOf(box), L"Tarrow");
  const std::wstring message = MessageOf(box);
  EXPECT_TRUE(message.starts_with(L"1 file type was not changed: Tarrow.Locked.")) << Utf8(message);
  EXPECT_EQ(message.find(DefaultText(extension)), std::wstring::npos) << "names only what failed";
  Answer(box, IDOK);

  win32::UniqueHkey created;
  EXPECT_NE(::RegOpenKeyExW(HKEY_CLASSES_ROOT, locked.key().c_str(), 0, KEY_READ, created.put()),
            ERROR_SUCCESS)
      << "Apply created the key";
  EXPECT_EQ(DefaultText(next.key()), shell32 + L",2");
}

// Real access denial through the key's DACL, which Wine 8 enforces; where a
// platform grants every access right anyway, there is nothing to drive.
TEST_F(EndToEnd, ARefusedWriteSaysToRunAsAdministrator) {
  const std::wstring key = L"Tarrow.Locked\\DefaultIcon";
  win32::UniqueHkey opened;
  ASSERT_EQ(::RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, READ_CONTROL | WRITE_DAC, opened.put()), 0);
  DWORD size = 0;
  ::RegGetKeySecurity(opened.get(), DACL_SECURITY_INFORMATION, nullptr, &size);
  std::vector<BYTE> original(size);
  ASSERT_EQ(::RegGetKeySecurity(opened.get(), DACL_SECURITY_INFORMATION, original.data(), &size), 0);
  // Everyone may do anything but set a value.
  BYTE everyone[SECURITY_MAX_SID_SIZE];
  DWORD sidSize = sizeof everyone;
  alignas(DWORD) BYTE aclBytes[256];
  const auto acl = reinterpret_cast<PACL>(aclBytes);
  SECURITY_DESCRIPTOR denied;
  ASSERT_TRUE(::CreateWellKnownSid(WinWorldSid, nullptr, everyone, &sidSize) &&
              ::InitializeAcl(acl, sizeof aclBytes, ACL_REVISION) &&
              ::AddAccessDeniedAce(acl, ACL_REVISION, KEY_SET_VALUE, everyone) &&
              ::AddAccessAllowedAce(acl, ACL_REVISION, KEY_ALL_ACCESS, everyone) &&
              ::InitializeSecurityDescriptor(&denied, SECURITY_DESCRIPTOR_REVISION) &&
              ::SetSecurityDescriptorDacl(&denied, TRUE, acl, FALSE));
  ASSERT_EQ(::RegSetKeySecurity(opened.get(), DACL_SECURITY_INFORMATION, &denied), ERROR_SUCCESS);
  struct Undo {
    HKEY key;
    BYTE* descriptor;
    ~Undo() { ::RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor); }
  } undo{opened.get(), original.data()};

  win32::UniqueHkey probe;
  if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_SET_VALUE, probe.put()) == ERROR_SUCCESS)
    GTEST_SKIP() << "this platform grants every access right: a key's DACL refuses no write";

  const RawValue before = DefaultValue(key);
  ASSERT_TRUE(tarrow_.StartAndWait());
  ASSERT_NO_FATAL_FAILURE(tarrow_.AssignIcon(L".tarrowg", tarrow::testing::SystemFile(L"shell32.dll"), 2));
  tarrow_.PostClick(MainWindow::kCommand1);
  const HWND box = tarrow_.WaitForDialog();
  ASSERT_TRUE(box) << "the refusal was not reported";
  const std::wstring message = MessageOf(box);
  EXPECT_NE(message.find(L"Tarrow.Locked"), std::wstring::npos) << Utf8(message);
  EXPECT_NE(message.find(L"administrator"), std::wstring::npos) << Utf8(message);
  Answer(box, IDOK);
  EXPECT_EQ(DefaultValue(key), before);
}

}  // namespace
}  // namespace tarrow::e2e
