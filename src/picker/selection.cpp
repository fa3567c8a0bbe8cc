#include "picker/selection.h"

#include "catalog/icon_location.h"
#include "catalog/scan.h"
#include "platform/files.h"
#include "platform/system.h"

namespace tarrow {

FrameMove FrameCell(PickerState& state, std::int64_t index) {
  const FrameMove move{state.framedCell, index};
  state.framedCell = index;
  return move;
}

std::optional<std::wstring> IconFileOfSelectedType(Shell& shell, const TypeList& types,
                                                   std::optional<std::size_t> selected,
                                                   const std::wstring& filename) {
  if (!selected || *selected >= types.size()) return std::nullopt;
  const TypeItem& item = types[*selected];
  // What the grid shows: the icon file of the stored location, or the whole
  // location once one is assigned, so that the grid is filled again then. A
  // type without an icon of its own opens the system's icons, where the one
  // it shows now comes from.
  // The path keeps the case the registry or the user gave it: Apply writes
  // it as the box holds it.
  const std::wstring stored =
      HasOwnIcon(item) ? SplitIconLocation(item.location).file : SystemStandInIcon(shell).file;
  if (!item.pending && stored == filename) return std::nullopt;
  return item.pending ? SplitIconLocation(*item.pending).file : stored;
}

std::wstring StartFolder(Shell& shell) {
  return GetSystemFolder(shell);
}

std::wstring BrowseForIconFile(Shell& shell, std::uintptr_t owner) {
  return ShowOpenDialog(shell, owner, kIconFileFilter, kBrowseTitle, StartFolder(shell));
}

}  // namespace tarrow
