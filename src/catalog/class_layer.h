// The two layers of registered classes. HKEY_CLASSES_ROOT merges them, the
// user's layer winning key by key and value by value; the program reads and
// writes each layer by name, so it always knows where a value lives.
#pragma once

#include <string>
#include <string_view>

#include "platform/os.h"

namespace tarrow {

enum class ClassLayer {
  User,     // HKEY_CURRENT_USER\Software\Classes: needs no rights
  Machine,  // HKEY_LOCAL_MACHINE\Software\Classes: for all users
};

inline constexpr wchar_t kClassesKey[] = L"Software\\Classes";

inline RegKey LayerRoot(ClassLayer layer) {
  return layer == ClassLayer::User ? kCurrentUser : kLocalMachine;
}

// The path of a class key below its layer's root.
inline std::wstring ClassPath(const std::wstring& path) {
  return path.empty() ? std::wstring(kClassesKey) : std::wstring(kClassesKey) + L"\\" + path;
}

// Whether the class name begins with the prefix, letters compared as the
// registry compares key names.
inline bool StartsWithClassName(std::wstring_view name, std::wstring_view prefix) {
  if (name.size() < prefix.size()) return false;
  const auto fold = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; };
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (fold(name[i]) != fold(prefix[i])) return false;
  return true;
}

inline constexpr std::wstring_view kApplicationsPrefix = L"Applications\\";

// Whether the class is one a user's choice of a program by its file makes,
// "Applications\<program>": it lives under the program's name, not the
// extension's class, and only the user's layer is written for it.
inline bool IsApplicationClass(const std::wstring& progId) {
  return progId.size() > kApplicationsPrefix.size() && StartsWithClassName(progId, kApplicationsPrefix);
}

// One registry key name: 1 to 255 characters, no backslash, no NUL.
inline bool IsKeyName(std::wstring_view name) {
  return !name.empty() && name.size() <= 255 &&
         name.find_first_of(std::wstring_view(L"\\\0", 2)) == std::wstring_view::npos;
}

// A class whose DefaultIcon the program may write: one key name, or
// "Applications\" and a program's file name.
inline bool IsWritableClass(const std::wstring& progId) {
  return IsKeyName(IsApplicationClass(progId) ? std::wstring_view(progId).substr(kApplicationsPrefix.size())
                                              : std::wstring_view(progId));
}

// The key whose default value is a class's icon location.
inline std::wstring DefaultIconPath(const std::wstring& progId) {
  return ClassPath(progId + L"\\DefaultIcon");
}

}  // namespace tarrow
