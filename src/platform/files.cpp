#include "platform/files.h"

#include "platform/text.h"

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
  return TrimBlanks(chosen->substr(0, chosen->find(L'\0')));
}

}  // namespace tarrow
