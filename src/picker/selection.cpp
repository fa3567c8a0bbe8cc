#include "picker/selection.h"

#include <limits>

#include "catalog/icon_location.h"
#include "platform/files.h"
#include "platform/system.h"

namespace tarrow {
namespace {

TypeItem* ItemAt(TypeList& types, std::optional<std::size_t> selected) {
  return selected && *selected < types.size() ? &types[*selected] : nullptr;
}

}  // namespace

FrameMove FrameCell(PickerState& state, std::int64_t index) {
  const FrameMove move{state.framedCell, index};
  state.framedCell = index;
  return move;
}

bool AssignIcon(Shell& shell, PickerState& state, TypeList& types, ImageStore& images,
                std::optional<std::size_t> selected, const std::wstring& filename, std::int64_t cell,
                int iconSizePx) {
  TypeItem* item = ItemAt(types, selected);
  // Cells count from 1; an icon index below 0 would name a resource.
  if (!item || cell < 1 || cell - 1 > std::numeric_limits<int>::max()) return false;
  const int index = static_cast<int>(cell - 1);

  const IconHandle icon = ExtractOneIcon(shell, filename, index, iconSizePx);
  if (icon == 0) return false;

  ++state.ChangeCounter;
  const std::wstring key = L"Change" + std::to_wstring(state.ChangeCounter);
  // The store keeps its own copy of the picture. Should it fail to take one,
  // the assignment still stands: the pending location is what Apply writes.
  images.Add(key, icon, {filename, index});
  shell.DestroyIcon(icon);
  item->picture = key;
  // The location keeps the file as typed; only extraction resolves it.
  item->pending = BuildIconLocation(filename, index);
  return true;
}

std::optional<std::wstring> IconFileOfSelectedType(Shell& shell, PickerState& state, const TypeList& types,
                                                   std::optional<std::size_t> selected,
                                                   const std::wstring& filename) {
  if (!selected || *selected >= types.size()) return std::nullopt;
  const TypeItem& item = types[*selected];
  // What the grid shows: the icon file of the stored location, or the whole
  // location once one is assigned, so that the grid is filled again then.
  if (!item.pending && SplitIconLocation(item.location).file == filename) return std::nullopt;
  ++state.ChangeCounter;
  return shell.LowerCase(SplitIconLocation(ShownLocation(item)).file);
}

void NoteItemClick(PickerState& state) {
  ++state.ChangeCounter;
}

std::wstring StartFolder(Shell& shell) {
  return GetSystemFolder(shell);
}

std::wstring BrowseForIconFile(Shell& shell, std::uintptr_t owner) {
  const std::wstring path = ShowOpenDialog(shell, owner, kIconFileFilter, kBrowseTitle, StartFolder(shell));
  return path.empty() ? path : shell.LowerCase(path);
}

}  // namespace tarrow
