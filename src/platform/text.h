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

}  // namespace tarrow
