// What the icon grid says in words: in place of icons when a file has none,
// and to a screen reader about the framed icon.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/os.h"

namespace tarrow {

// Whether an icon file named as typed is there to be read.
enum class IconFileState { Missing, Unreadable, Present };
IconFileState CheckIconFile(Shell& shell, FileSystem& files, const std::wstring& file);

// What the icon file box names: the file whose icons the grid shows, and,
// when the box holds a whole icon location as the list's Icon column shows
// it ("C:\Windows\System32\shell32.dll,5"), the icon to frame (from 0). A
// file whose own name ends in ",5" stays a file; a negative index names a
// resource, which no cell is numbered by.
struct IconFileBoxText {
  std::wstring file;
  std::optional<int> index;
  bool operator==(const IconFileBoxText&) const = default;
};
IconFileBoxText ReadIconFileBox(Shell& shell, FileSystem& files, const std::wstring& text);

// The line shown where the grid is when `file` (as typed) gives no icons;
// empty when no file is named or it gave some.
std::wstring EmptyGridText(Shell& shell, FileSystem& files, const std::wstring& file, int iconCount);

// The grid's accessible name: "Icon 5 of 184" for cell 5 of 184, "184 icons"
// with none framed, "No icons" for an empty grid.
std::wstring GridAccessibleName(std::int64_t framedCell, std::int64_t cellCount);

}  // namespace tarrow
