// Small text helpers the procedures share.
#pragma once

#include <string>

namespace tarrow {

// The text without leading and trailing spaces.
inline std::wstring TrimBlanks(const std::wstring& text) {
  const auto first = text.find_first_not_of(L' ');
  if (first == std::wstring::npos) return {};
  return text.substr(first, text.find_last_not_of(L' ') - first + 1);
}

// A folder without the backslashes that may end it.
inline std::wstring WithoutTrailingBackslashes(std::wstring folder) {
  while (!folder.empty() && folder.back() == L'\\') folder.pop_back();
  return folder;
}

// A field of --list's lines, and registry text named in a line or a message:
// tab and line breaks escaped as \t, \r and \n, so that each line is one type
// (or one name) whatever its values hold. Nothing else is: a path stays a
// path to read and paste.
inline std::wstring EscapedField(const std::wstring& text) {
  std::wstring out;
  for (const wchar_t c : text) {
    switch (c) {
      case L'\t':
        out += L"\\t";
        break;
      case L'\r':
        out += L"\\r";
        break;
      case L'\n':
        out += L"\\n";
        break;
      default:
        out += c;
    }
  }
  return out;
}

}  // namespace tarrow
