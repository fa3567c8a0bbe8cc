#include "platform/system.h"

namespace tarrow {

std::wstring GetSystemFolder(Shell& shell) {
  std::wstring folder = shell.SystemDirectory();
  while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'\0')) folder.pop_back();
  return folder;
}

}  // namespace tarrow
