// The two layers of registered classes. HKEY_CLASSES_ROOT merges them, the
// user's layer winning key by key and value by value; the program reads and
// writes each layer by name, so it always knows where a value lives.
#pragma once

#include <string>

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

// Whether the class is one a user's choice of a program by its file makes,
// "Applications\<program>": it lives under the program's name, not the
// extension's class, and only the user's layer is written for it.
inline bool IsApplicationClass(const std::wstring& progId) {
  constexpr wchar_t kPrefix[] = L"applications\\";
  constexpr std::size_t kLength = sizeof kPrefix / sizeof kPrefix[0] - 1;
  if (progId.size() <= kLength) return false;
  for (std::size_t i = 0; i < kLength; ++i) {
    wchar_t c = progId[i];
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    if (c != kPrefix[i]) return false;
  }
  return true;
}

// The key whose default value is a class's icon location.
inline std::wstring DefaultIconPath(const std::wstring& progId) {
  return ClassPath(progId + L"\\DefaultIcon");
}

}  // namespace tarrow
