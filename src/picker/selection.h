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

inline constexpr wchar_t kIconFileFilter[] = L"Icon Files (*.dll;*.exe;*.ico)|*.dll;*.exe;*.ico";
inline constexpr wchar_t kBrowseTitle[] = L"Get Icons From";

// The picker's form-level counters. Neither is reset by a grid build or a scan.
struct PickerState {
  std::int64_t SelectedIconbox = 0;  // the framed cell; 0 (the template) until the first click
  std::int64_t ChangeCounter = 0;    // only grows, so every "Change" key is new
};

// Which cell loses its frame and which gets it. `cleared` may name a cell a
// rebuild has removed; the window then skips it.
struct FrameMove {
  std::int64_t cleared = 0;
  std::int64_t framed = 0;
};

// Iconbox_Click: cell `index` becomes the selected one.
FrameMove SelectIconbox(PickerState& state, std::int64_t index);

// Iconbox_DblClick: gives the selected type icon `cell` - 1 of the file named
// by `filename`, as a new "Change" picture of `iconSizePx` pixels and a new
// pending location. Nothing is written to the registry. False, changing nothing, when there
// is no selected type or the icon cannot be extracted.
bool AssignIcon(Shell& shell, PickerState& state, TypeList& types, ImageStore& images,
                std::optional<std::size_t> selected, const std::wstring& filename, std::int64_t cell,
                int iconSizePx);

// ListView1_DblClick: the text for Filename, the selected type's icon file in
// lower case; nullopt when there is nothing to load (no selected type, or its
// icon file is already the text of Filename). The window then selects the whole
// text and scrolls the grid to the top.
std::optional<std::wstring> IconFileOfSelectedType(Shell& shell, PickerState& state, const TypeList& types,
                                                   std::optional<std::size_t> selected,
                                                   const std::wstring& filename);

// ListView1_ItemClick.
void NoteItemClick(PickerState& state);

// The folder the open-file dialog starts in: the system directory.
std::wstring StartFolder(Shell& shell);

// Browse_Click: the chosen icon source file in lower case; empty when the user
// cancels, which empties Filename and the grid.
std::wstring BrowseForIconFile(Shell& shell, std::uintptr_t owner);

}  // namespace tarrow
