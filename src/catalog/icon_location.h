// An icon location: the icon file, ",", the icon index. File names may hold
// commas ("C:\Program Files\Acme, Inc\acme.dll,7"), so the shell splits at
// the last comma; nothing is quoted or escaped.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/os.h"

namespace tarrow {

struct IconLocation {
  std::wstring file;  // the text before the index's comma, unchanged
  int index = 0;
};

// Splits at the last comma when the text after it is an optionally signed
// integer (blanks allowed around it); otherwise the whole text is the file and
// the index is 0.
IconLocation SplitIconLocation(const std::wstring& location);

// Reads an index as the shell does: blanks, an optional sign, decimal digits
// up to the first non-digit. No digits, or a value outside 32 bits, gives 0.
int ParseIconIndex(std::wstring_view text);

// "%1": each file is its own icon (as an .ico or .exe file is), so the type
// has none of its own to show or change.
bool IsPerFileIcon(const std::wstring& location);

// Why `location` cannot be a type's icon, in the user's words; empty when it
// can. It must name one icon the shell can draw: no control characters, not
// "%1", and a file that holds an icon at its index (a negative index is the
// icon's resource id, which extraction alone can tell).
std::wstring LocationProblem(Shell& shell, const std::wstring& location);

// A Store app's icon: "@{PackageFullName?ms-resource://...}", a picture
// inside the app's package that only the system can find. It is one icon,
// named without an index.
bool IsPackagedIcon(std::wstring_view location);

// The file, ",", the index in decimal; a package's icon, which is one, alone.
std::wstring BuildIconLocation(const std::wstring& file, std::int64_t index);

// The file as icon extraction needs it: environment references expanded and
// one pair of double quotes around the whole text removed; a package's icon
// is the path of its picture, empty when the system cannot find it. Only for
// extraction; stored and written texts keep the file as it was.
std::wstring IconFileForExtraction(Shell& shell, const std::wstring& file);

// Icon `index` of the file (as stored: resolved here) at `sizePx`; 0 when
// there is none. The caller destroys it.
IconHandle ExtractOneIcon(Shell& shell, const std::wstring& file, int index, int sizePx);

}  // namespace tarrow
