// The main window's controls as its design lists them (picker/window_layout.h):
// created in tab order, each with the identifier of its part, placed for a
// client area and given the program's fonts. The list and the grid are
// views of their own; they are created and placed here with the others. The
// grid's part and its scroll bar's make one box: the grid owns its bar.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <array>
#include <string>

#include "app/fonts.h"
#include "app/icon_grid.h"
#include "app/icon_preview.h"
#include "app/type_list_view.h"
#include "catalog/scan.h"
#include "picker/window_layout.h"

namespace tarrow::app {

class MainControls {
 public:
  MainControls(TypeListView& list, IconGrid& grid, IconPreview& preview)
      : list_(list), grid_(grid), preview_(preview) {}

  void Create(HWND parent);
  HWND operator[](Part part) const { return controls_[static_cast<std::size_t>(part)]; }
  // Lays every control out for the parent's client area at `dpi`, and has
  // each painted again there.
  void Place(HWND parent, UINT dpi);
  void SetFonts(const UiFonts& fonts);
  // The types the "Show types without an icon" box asks the list for.
  TypesListed listedTypes() const;
  void SetListedTypes(TypesListed which);
  // WM_CTLCOLORSTATIC: the labels on the window's colour, the credit in the
  // highlight colour.
  LRESULT OnColorStatic(HDC dc, HWND control) const;

  // Shows `text` on the status line; cut there, it shows whole in a tip.
  void SetStatus(const std::wstring& text);
  const std::wstring& statusTip() const { return statusTip_; }
  // TTN_SHOW of the window's tips: true when it placed the tip itself.
  bool OnTipShown(const NMHDR& header);

 private:
  TOOLINFOW Tip(HWND parent, HWND control, const wchar_t* text) const;
  void AddTip(HWND parent, HWND control, const wchar_t* text);
  static bool StatusCut(HWND status, const std::wstring& text);

  TypeListView& list_;
  IconGrid& grid_;
  IconPreview& preview_;
  std::array<HWND, kPartCount> controls_{};
  HWND tooltip_ = nullptr;
  std::wstring statusTip_;  // the status line's tip: empty while the line fits
};

}  // namespace tarrow::app
