// The type resolver against Wine's real registry, whose HKEY_CLASSES_ROOT
// shows the machine's classes only.
#include <windows.h>

#include <algorithm>
#include <gtest/gtest.h>

#include "catalog/resolver.h"
#include "platform/win32/win32_os.h"

namespace tarrow {
namespace {

// A class key below one layer's Software\Classes, deleted before and after.
class ScratchClass {
 public:
  ScratchClass(HKEY root, std::wstring name) : root_(root), path_(L"Software\\Classes\\" + std::move(name)) {
    ::RegDeleteTreeW(root_, path_.c_str());
  }
  ~ScratchClass() { ::RegDeleteTreeW(root_, path_.c_str()); }
  ScratchClass(const ScratchClass&) = delete;
  ScratchClass& operator=(const ScratchClass&) = delete;
  void SetText(const std::wstring& sub, const std::wstring& text, DWORD type = REG_SZ) const {
    const std::wstring path = sub.empty() ? path_ : path_ + L"\\" + sub;
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(root_, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ::RegSetValueExW(key, nullptr, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                     static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
  }

 private:
  HKEY root_;
  std::wstring path_;
};

TEST(Win32Resolver, APerUserClassIsFoundAndListedOnce) {
  ScratchClass extension(HKEY_LOCAL_MACHINE, L".tarrowresolver");
  ScratchClass progId(HKEY_CURRENT_USER, L"TarrowTest.PerUser");
  extension.SetText(L"", L"TarrowTest.PerUser");
  progId.SetText(L"", L"Per-user type");
  progId.SetText(L"DefaultIcon", L" %SystemRoot%\\system32\\shell32.dll,3", REG_EXPAND_SZ);

  Os& os = win32::RealOs();
  TypeResolver resolver(os.registry, os.shell);
  const ResolvedType type = resolver.Resolve(L".tarrowresolver");
  EXPECT_EQ(type.progId, L"TarrowTest.PerUser");
  EXPECT_EQ(type.source, ProgIdSource::Default);
  EXPECT_EQ(type.description, L"Per-user type");
  ASSERT_TRUE(type.defaultIcon.has_value());
  EXPECT_EQ(type.defaultIcon->text, L"%SystemRoot%\\system32\\shell32.dll,3");
  EXPECT_EQ(type.defaultIcon->type, kRegExpandSz);
  EXPECT_EQ(type.defaultIcon->layer, ClassLayer::User);
  EXPECT_FALSE(type.iconHandler);

  const auto names = resolver.ClassNames();
  auto count = [&](const wchar_t* name) { return std::count(names.begin(), names.end(), name); };
  EXPECT_EQ(count(L".tarrowresolver"), 1);
  EXPECT_EQ(count(L"TarrowTest.PerUser"), 1);
}

}  // namespace
}  // namespace tarrow
