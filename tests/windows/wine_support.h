// Helpers shared by the tests that run under Wine.
#pragma once

#include <windows.h>

#include <string>

namespace tarrow::testing {

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

// A key under HKEY_CLASSES_ROOT that a test owns: deleted before and after.
class ScratchKey {
 public:
  explicit ScratchKey(std::wstring name) : name_(std::move(name)) {
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, name_.c_str());
  }
  ~ScratchKey() { ::RegDeleteTreeW(HKEY_CLASSES_ROOT, name_.c_str()); }
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

 private:
  std::wstring name_;
};

}  // namespace tarrow::testing
