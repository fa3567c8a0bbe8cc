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
  void SetFileText(const std::wstring& text);
  // The type opened: the grid shows its icon's file with that icon framed;
  // from the keyboard the work goes on in the grid.
  void OpenType(std::optional<std::size_t> type, bool byKeyboard);
  void OnBrowse();
  // A notification of the file's box.
  void OnFileBoxCommand(int code);
  // The grid counted the file's icons, or framed one.
  void OnIconsCounted(std::int64_t count);
  void OnIconFramed(std::int64_t cell);

  const PickerState& state() const { return state_; }

 private:
  Os& os_;
  const TypeList& types_;
  IconGrid& grid_;
  IconPreview& preview_;
  PickerState state_;
  HWND owner_ = nullptr;
  HWND fileBox_ = nullptr;
};

}  // namespace tarrow::app
