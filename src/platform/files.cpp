#include "platform/files.h"

namespace tarrow {

bool FileExists(FileSystem& files, std::wstring path) {
  if (!path.empty() && path.back() == L'\\') path.pop_back();
  if (path.empty() || path.back() == L'\\' || path.find(L'\0') != std::wstring::npos) return false;
  return files.CanOpenForRead(path);
}

std::wstring DialogFilter(std::wstring filter) {
  if (filter.empty() || filter.back() != L'|') filter += L'|';
  for (auto& c : filter) {
    if (c == L'|') c = L'\0';
  }
  return filter;
}

std::wstring ShowOpenDialog(Shell& shell, std::uintptr_t owner, const std::wstring& filter,
                            const std::wstring& title, const std::wstring& initialFolder) {
  const auto chosen = shell.ShowOpenDialog({owner, DialogFilter(filter), title, initialFolder});
  if (!chosen) return {};
  std::wstring path = chosen->substr(0, chosen->find(L'\0'));
  const auto first = path.find_first_not_of(L' ');
  if (first == std::wstring::npos) return {};
  return path.substr(first, path.find_last_not_of(L' ') - first + 1);
}

}  // namespace tarrow
