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

void IconFilePicker::OpenType(std::optional<std::size_t> type, bool byKeyboard) {
  if (!type) return;
  if (const auto file = IconFileOfSelectedType(os_.shell, types_, type, FileText())) {
    SetFileText(*file);
    ::SendMessageW(fileBox_, EM_SETSEL, 0, -1);
    grid_.SetScrollValue(0);
  }
  // The icon the type has now is framed, when the grid shows its file; a
  // negative index names a resource, which no cell shows.
  const IconLocation shown = SplitIconLocation(ShownLocation(types_[*type]));
  if (shown.index >= 0 && os_.shell.LowerCase(shown.file) == os_.shell.LowerCase(FileText()))
    grid_.Frame(static_cast<std::int64_t>(shown.index) + 1);
  if (byKeyboard && (grid_.count() > 0 || grid_.loading())) ::SetFocus(grid_.hwnd());
}

void IconFilePicker::OnBrowse() {
  const std::wstring file = BrowseForIconFile(os_.shell, reinterpret_cast<std::uintptr_t>(owner_));
  SetFileText(file);
  // The next step is picking an icon.
  if (!file.empty()) ::SetFocus(grid_.hwnd());
}

void IconFilePicker::OnFileBoxCommand(int code) {
  if (code == EN_CHANGE) grid_.Load(FileText());
  if (code == EN_SETFOCUS) ::SendMessageW(fileBox_, EM_SETSEL, 0, -1);
}

void IconFilePicker::OnIconsCounted(std::int64_t count) {
  if (count == 0) grid_.SetEmptyText(EmptyGridText(os_.shell, os_.files, FileText(), 0));
}

void IconFilePicker::OnIconFramed(std::int64_t cell) {
  FrameCell(state_, cell);
  preview_.Show(FileText(), static_cast<int>(cell) - 1);
}

}  // namespace tarrow::app
