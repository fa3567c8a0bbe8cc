// What the picker's handlers do to the models: the window forwards each event
// here and then shows the result.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "catalog/type_list.h"
#include "platform/os.h"

namespace tarrow {

// Pictures are offered beside the files that hold icons: Apply makes an icon
// of one.
inline constexpr wchar_t kIconFileFilter[] =
    L"Icons and pictures (*.dll;*.exe;*.ico;*.png;*.jpg;*.jpeg;*.bmp;*.gif)|"
    L"*.dll;*.exe;*.ico;*.png;*.jpg;*.jpeg;*.bmp;*.gif|Icon files (*.dll;*.exe;*.ico)|*.dll;*.exe;*.ico|"
    L"Pictures (*.png;*.jpg;*.jpeg;*.bmp;*.gif)|*.png;*.jpg;*.jpeg;*.bmp;*.gif";
inline constexpr wchar_t kBrowseTitle[] = L"Get Icons From";

// The picker's state. A grid build clears the frame (cell k of another file
// is another icon); neither is reset by a scan.
struct PickerState {
  std::int64_t framedCell = 0;  // from 1; 0 while no cell is framed
};

// Which cell loses its frame and which gets it. `cleared` may name a cell a
// rebuild has removed; the window then skips it.
struct FrameMove {
  std::int64_t cleared = 0;
  std::int64_t framed = 0;
};

// The grid framed cell `index`.
FrameMove FrameCell(PickerState& state, std::int64_t index);

// A type was opened (Enter or a double-click): the text for the icon file
// box, the selected type's icon file as the registry or the user wrote it; nullopt when there is
// nothing to load (no selected type, or its icon file is already the box's
// text). The window then selects the whole text and scrolls the grid to the
// top.
std::optional<std::wstring> IconFileOfSelectedType(Shell& shell, const TypeList& types,
                                                   std::optional<std::size_t> selected,
                                                   const std::wstring& filename);

// The folder the open-file dialog starts in: the system directory.
std::wstring StartFolder(Shell& shell);

// "Browse...": the chosen icon source file as chosen; empty when the user
// cancels, which empties the icon file box and the grid.
std::wstring BrowseForIconFile(Shell& shell, std::uintptr_t owner);

}  // namespace tarrow
