// The file and dialog procedures of OpenFile32.
#pragma once

#include <string>

#include "platform/os.h"

namespace tarrow {

// Whether `path` names a file that can be opened for reading. One trailing
// backslash is ignored; folders never count as files.
bool FileExists(FileSystem& files, std::wstring path);

// The dialog's form of a filter: every "|" becomes a NUL, and the list ends
// with an element terminator ("a|b" gives a NUL b NUL).
std::wstring DialogFilter(std::wstring filter);

// Lets the user choose one existing file. `filter` is the "|"-separated list
// of descriptions and patterns. Returns the chosen full path, or empty text
// when the user cancels.
std::wstring ShowOpenDialog(Shell& shell, std::uintptr_t owner, const std::wstring& filter,
                            const std::wstring& title, const std::wstring& initialFolder);

}  // namespace tarrow
