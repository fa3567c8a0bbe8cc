// The icon file the user picks icons from: the box naming it, the grid of
// its icons and the preview of the framed one. Opening a type shows the file
// of the icon it has, that icon framed; "Browse…" chooses another file.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "app/icon_grid.h"
#include "app/icon_preview.h"
#include "catalog/icon_location.h"
#include "catalog/type_list.h"
#include "picker/selection.h"
#include "platform/os.h"

namespace tarrow::app {

class IconFilePicker {
 public:
  IconFilePicker(Os& os, const TypeList& types, IconGrid& grid, IconPreview& preview)
      : os_(os), types_(types), grid_(grid), preview_(preview) {}

  // The window that owns the dialogs, and the box naming the file.
  void Attach(HWND owner, HWND fileBox);

  std::wstring FileText() const;
  // The file the box names, without the index of a whole location.
  const std::wstring& File() const { return file_; }
  void SetFileText(const std::wstring& text);
  // The type opened: the grid shows its icon's file with that icon framed;
  // from the keyboard the work goes on in the grid. Returns a word for the
  // status line when the type's icon cannot be framed for a reason the user
  // cannot see; else empty.
  std::wstring OpenType(std::optional<std::size_t> type, bool byKeyboard);
  // The type list was read anew: no pick of before stays framed or
  // previewed.
  void ClearPick() { grid_.Frame(0); }
  void OnBrowse();
  // A notification of the file's box.
  void OnFileBoxCommand(int code);
  // The grid counted the file's icons, or framed one.
  void OnIconsCounted(std::int64_t count);
  void OnIconFramed(std::int64_t cell);

  const PickerState& state() const { return state_; }

 private:
  std::wstring MissingResourceText(const IconLocation& shown);

  Os& os_;
  const TypeList& types_;
  IconGrid& grid_;
  IconPreview& preview_;
  PickerState state_;
  HWND owner_ = nullptr;
  HWND fileBox_ = nullptr;
  std::wstring file_;
};

}  // namespace tarrow::app
