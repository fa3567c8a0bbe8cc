#include "app/icon_file_picker.h"

#include "app/window.h"
#include "catalog/icon_location.h"
#include "picker/grid_text.h"

namespace tarrow::app {

void IconFilePicker::Attach(HWND owner, HWND fileBox) {
  owner_ = owner;
  fileBox_ = fileBox;
}

std::wstring IconFilePicker::FileText() const {
  return WindowText(fileBox_);
}

void IconFilePicker::SetFileText(const std::wstring& text) {
  // The box reports the change at once, so the grid is built before this
  // returns, and only when the text really changes.
  if (text != FileText()) ::SetWindowTextW(fileBox_, text.c_str());
}

std::wstring IconFilePicker::OpenType(std::optional<std::size_t> type, bool byKeyboard) {
  if (!type) return {};
  if (const auto file = IconFileOfSelectedType(os_.shell, types_, type, FileText())) {
    SetFileText(*file);
    ::SendMessageW(fileBox_, EM_SETSEL, 0, -1);
    grid_.SetScrollValue(0);
  }
  // The icon the type has now is framed, when the grid shows its file; a
  // type without an icon of its own has none to frame, and the pick of
  // another type must not stay framed for it.
  const TypeItem& item = types_[*type];
  const IconLocation shown = SplitIconLocation(ShownLocation(item));
  const bool inGrid = !ShownLocation(item).empty() && os_.shell.LowerCase(shown.file) == os_.shell.LowerCase(file_);
  grid_.Frame(inGrid && shown.index >= 0 ? static_cast<std::int64_t>(shown.index) + 1 : 0);
  if (byKeyboard && (grid_.count() > 0 || grid_.loading())) ::SetFocus(grid_.hwnd());
  return inGrid && shown.index < 0 ? MissingResourceText(shown) : std::wstring();
}

// A negative index names the icon by its resource id, which no cell is
// numbered by: when the file lacks it, the user is told why nothing is framed.
std::wstring IconFilePicker::MissingResourceText(const IconLocation& shown) {
  const auto icons = os_.shell.ExtractIcons(IconFileForExtraction(os_.shell, shown.file), shown.index, 1,
                                            ::GetSystemMetrics(SM_CXICON));
  const bool held = !icons.empty() && icons[0] != 0;
  for (const IconHandle icon : icons)
    if (icon) os_.shell.DestroyIcon(icon);
  if (held) return {};
  return L"The file holds no icon of resource id " + std::to_wstring(-static_cast<long long>(shown.index)) +
         L", which this type names, so no icon is framed.";
}

void IconFilePicker::OnBrowse() {
  const std::wstring file = BrowseForIconFile(os_.shell, reinterpret_cast<std::uintptr_t>(owner_));
  SetFileText(file);
  // The next step is picking an icon.
  if (!file.empty()) ::SetFocus(grid_.hwnd());
}

void IconFilePicker::OnFileBoxCommand(int code) {
  if (code == EN_CHANGE) {
    const IconFileBoxText named = ReadIconFileBox(os_.shell, os_.files, FileText());
    file_ = named.file;
    grid_.Load(file_);
    if (named.index) grid_.Frame(static_cast<std::int64_t>(*named.index) + 1);
  }
  if (code == EN_SETFOCUS) ::SendMessageW(fileBox_, EM_SETSEL, 0, -1);
}

void IconFilePicker::OnIconsCounted(std::int64_t count) {
  if (count == 0) grid_.SetEmptyText(EmptyGridText(os_.shell, os_.files, file_, 0));
}

void IconFilePicker::OnIconFramed(std::int64_t cell) {
  FrameCell(state_, cell);
  preview_.Show(file_, static_cast<int>(cell) - 1);
}

}  // namespace tarrow::app
