#include "platform/system.h"

#include "platform/text.h"

namespace tarrow {

std::wstring GetSystemFolder(Shell& shell) {
  std::wstring folder = shell.SystemDirectory();
  return WithoutTrailingBackslashes(folder.substr(0, folder.find(L'\0')));
}

}  // namespace tarrow
