#include "picker/grid_text.h"

#include "catalog/icon_location.h"
#include "catalog/picture_pixels.h"

namespace tarrow {

IconFileState CheckIconFile(Shell& shell, FileSystem& files, const std::wstring& file) {
  const std::wstring resolved = IconFileForExtraction(shell, file);
  if (!files.Exists(resolved)) return IconFileState::Missing;
  if (!files.CanOpenForRead(resolved)) return IconFileState::Unreadable;
  return IconFileState::Present;
}

IconFileBoxText ReadIconFileBox(Shell& shell, FileSystem& files, const std::wstring& text) {
  const IconLocation split = SplitIconLocation(text);
  if (split.file == text || CheckIconFile(shell, files, text) != IconFileState::Missing ||
      CheckIconFile(shell, files, split.file) == IconFileState::Missing)
    return {text, std::nullopt};
  return {split.file, split.index >= 0 ? std::optional<int>(split.index) : std::nullopt};
}

std::wstring EmptyGridText(Shell& shell, FileSystem& files, const std::wstring& file, int iconCount) {
  if (file.empty() || iconCount > 0) return {};
  // Only the system finds such a picture, and here it did not.
  if (IsPackagedIcon(file) && IconFileForExtraction(shell, file).empty())
    return L"This icon lives in a Store app's package, where only Windows finds it. Browse for an icon "
           L"file to give the type another one.";
  switch (CheckIconFile(shell, files, file)) {
    case IconFileState::Missing:
      return L"There is no file by this name.";
    case IconFileState::Unreadable:
      return L"This file cannot be read.";
    case IconFileState::Present:
      break;
  }
  if (IsPictureFile(IconFileForExtraction(shell, file)))
    return L"This picture is damaged, or larger than Tarrow makes icons of (50 MB, 10,000 pixels a side).";
  // Damaged files count no icons either: the system cannot tell them apart.
  return L"This file holds no icons, or they cannot be read.";
}

std::wstring GridAccessibleName(std::int64_t framedCell, std::int64_t cellCount) {
  if (cellCount <= 0) return L"No icons";
  if (framedCell < 1 || framedCell > cellCount) {
    return std::to_wstring(cellCount) + (cellCount == 1 ? L" icon" : L" icons");
  }
  return L"Icon " + std::to_wstring(framedCell) + L" of " + std::to_wstring(cellCount);
}

}  // namespace tarrow
