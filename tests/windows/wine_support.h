// Helpers shared by the tests that run under Wine.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "message_pump.h"
#include "platform/win32/handles.h"
#include "platform/win32/win32_os.h"

namespace tarrow::testing {

// Lets a window take the icons its loaders draw in the background, until
// none is left to draw, as its message loop would. Fails the test when they
// never come; the bound is a guard against a hang, not a timing.
template <typename Window>
void SettleIcons(Window& window) {
  if (!PumpUntil([&] { return !window.loadingIcons(); }))
    ADD_FAILURE() << "icons were still loading after two minutes";
}

// A fixture file, as a Windows path.
inline std::wstring Fixture(const wchar_t* name) {
  std::wstring path = TARROW_FIXTURES;
  path += L"/";
  path += name;
  for (auto& c : path) {
    if (c == L'/') c = L'\\';
  }
  return path;
}

inline std::wstring SystemFile(const wchar_t* name) {
  wchar_t dir[MAX_PATH];
  const UINT n = ::GetSystemDirectoryW(dir, MAX_PATH);
  return std::wstring(dir, n) + L"\\" + name;
}

// Polls until `done`; false when it never was within the time.
template <typename Done>
bool WaitUntil(Done done, DWORD timeoutMs = 20000) {
  const ULONGLONG end = ::GetTickCount64() + timeoutMs;
  while (!done()) {
    if (::GetTickCount64() >= end) return false;
    ::Sleep(50);
  }
  return true;
}

inline std::string Utf8(const std::wstring& text) {
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                      nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr,
                        nullptr);
  return out;
}

inline std::optional<std::string> FileBytes(const std::wstring& path) {
  std::ifstream file(std::filesystem::path(path), std::ios::binary);
  if (!file) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(file), {});
}

inline bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  std::ofstream file(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(file.flush());
}

// A key under HKEY_CLASSES_ROOT that a test owns: deleted before and after.
class ScratchKey {
 public:
  explicit ScratchKey(std::wstring name) : name_(std::move(name)) {
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, name_.c_str());
  }
  ~ScratchKey() { ::RegDeleteTreeW(HKEY_CLASSES_ROOT, name_.c_str()); }
  ScratchKey(const ScratchKey&) = delete;
  ScratchKey& operator=(const ScratchKey&) = delete;
  const std::wstring& name() const { return name_; }
  void Create(const std::wstring& sub = L"") const {
    HKEY key = nullptr;
    const std::wstring path = sub.empty() ? name_ : name_ + L"\\" + sub;
    ::RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    ::RegCloseKey(key);
  }
  void SetRaw(const std::wstring& sub, const std::wstring& value, DWORD type, const void* data,
              DWORD bytes) const {
    Create(sub);
    const std::wstring path = sub.empty() ? name_ : name_ + L"\\" + sub;
    ::RegSetKeyValueW(HKEY_CLASSES_ROOT, path.c_str(), value.c_str(), type, data, bytes);
  }
  // Text with its terminator, as the registry editor stores it.
  void SetText(const std::wstring& sub, const std::wstring& text, DWORD type = REG_SZ) const {
    SetRaw(sub, L"", type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  }

 private:
  std::wstring name_;
};

// ---- the registry, read raw

struct RawValue {
  bool present = false;
  DWORD type = REG_NONE;
  std::vector<BYTE> bytes;
  bool operator==(const RawValue&) const = default;
};

// The value's text, without the terminators.
inline std::wstring TextOf(const RawValue& value) {
  if (value.type != REG_SZ && value.type != REG_EXPAND_SZ) return {};
  std::wstring text(value.bytes.size() / sizeof(wchar_t), L'\0');
  std::memcpy(text.data(), value.bytes.data(), text.size() * sizeof(wchar_t));
  while (!text.empty() && text.back() == L'\0') text.pop_back();
  return text;
}

inline void PrintTo(const RawValue& value, std::ostream* os) {
  if (!value.present) {
    *os << "(no value)";
    return;
  }
  const char* type = value.type == REG_SZ          ? "REG_SZ"
                     : value.type == REG_EXPAND_SZ ? "REG_EXPAND_SZ"
                                                   : "other";
  const std::wstring text = TextOf(value);
  *os << type << " \"" << Utf8(text.size() > 200 ? text.substr(0, 200) + L"..." : text) << "\", "
      << value.bytes.size() << " bytes";
}

inline RawValue Text(DWORD type, const std::wstring& text) {
  const auto* bytes = reinterpret_cast<const BYTE*>(text.c_str());
  return {true, type, std::vector<BYTE>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t))};
}

// The default value of a key, bytes and type as stored; below
// HKEY_CLASSES_ROOT unless told.
inline RawValue DefaultValue(const std::wstring& key, HKEY root = HKEY_CLASSES_ROOT) {
  constexpr DWORD kFlags = RRF_RT_ANY | RRF_NOEXPAND;
  RawValue value;
  DWORD size = 0;
  if (::RegGetValueW(root, key.c_str(), nullptr, kFlags, &value.type, nullptr, &size)) return {};
  value.bytes.resize(size);
  if (::RegGetValueW(root, key.c_str(), nullptr, kFlags, &value.type, value.bytes.data(), &size)) return {};
  value.bytes.resize(size);
  value.present = true;
  return value;
}

inline std::wstring DefaultText(const std::wstring& key) {
  return TextOf(DefaultValue(key));
}

inline std::wstring RegText(HKEY root, const std::wstring& key) {
  return TextOf(DefaultValue(key, root));
}

inline bool KeyExists(HKEY root, const std::wstring& path) {
  win32::UniqueHkey key;
  return ::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
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
  KeptValue(const KeptValue&) = delete;
  KeptValue& operator=(const KeptValue&) = delete;
  const std::wstring& key() const { return key_; }
  const RawValue& original() const { return original_; }

 private:
  std::wstring key_;
  RawValue original_;
};

// The pixels of picture `index` of an image list, drawn as the windows draw
// it over a background colour.
inline std::vector<DWORD> PictureBits(HIMAGELIST list, int index, COLORREF background = RGB(255, 255, 255)) {
  int cx = 0, cy = 0;
  if (index < 0 || !::ImageList_GetIconSize(list, &cx, &cy)) return {};
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), cx, -cy, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  const win32::WindowDc screen(nullptr);
  const HDC dc = ::CreateCompatibleDC(screen.get());
  const win32::UniqueBitmap bitmap(::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  std::vector<DWORD> pixels;
  if (bitmap) {
    const win32::Selected selected(dc, bitmap.get());
    const RECT all{0, 0, cx, cy};
    const win32::UniqueBrush brush(::CreateSolidBrush(background));
    ::FillRect(dc, &all, brush.get());
    ::ImageList_Draw(list, index, dc, 0, 0, ILD_NORMAL);
    ::GdiFlush();
    const auto* first = static_cast<const DWORD*>(bits);
    pixels.assign(first, first + static_cast<std::size_t>(cx) * static_cast<std::size_t>(cy));
  }
  ::DeleteDC(dc);
  return pixels;
}

// The real shell, with the message boxes answered by the test: the queued
// answers first, then No to a question and OK to anything else.
class TestShell : public win32::Win32Shell {
 public:
  // The file the open-file dialog gives, when set; the real dialog if not.
  std::optional<std::wstring> dialogAnswer;
  std::optional<std::wstring> ShowOpenDialog(const OpenDialogRequest& request) override {
    return dialogAnswer ? dialogAnswer : win32::Win32Shell::ShowOpenDialog(request);
  }
  std::optional<std::wstring> ShowSaveDialog(const OpenDialogRequest& request) override {
    return dialogAnswer ? dialogAnswer : win32::Win32Shell::ShowSaveDialog(request);
  }
  std::deque<int> answers;
  std::vector<std::pair<std::wstring, unsigned>> shown;
  int MessageBox(const std::wstring& text, unsigned style) override {
    shown.emplace_back(text, style);
    if (answers.empty()) return style & kMbYesNo ? kIdNo : IDOK;
    const int answer = answers.front();
    answers.pop_front();
    return answer;
  }
};

}  // namespace tarrow::testing
