#include "app/type_list_view.h"

#include <algorithm>

#include "app/layout.h"

namespace tarrow::app {
namespace {

struct ColumnDesign {
  const wchar_t* title;
  TypeColumn column;
  int widthDip;  // 0: what the others leave
};
constexpr ColumnDesign kColumns[] = {
    {L"Description", TypeColumn::Description, 0},
    {L"Extension", TypeColumn::Extension, 68},
    {L"Icon", TypeColumn::Location, 80},
};
// A changed type's description starts with this mark until it is applied.
constexpr wchar_t kChangedMark[] = L"* ";
// The icon of a type whose icons a handler decides file by file.
constexpr wchar_t kHandlerMark[] = L"(per file) ";
constexpr wchar_t kHandlerTip[] =
    L"An icon handler draws each file of this type with its own icon: Explorer may not show the icon "
    L"chosen here.";

}  // namespace

bool TypeListView::Create(HWND parent, int id) {
  hwnd_ = ::CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                            // The window owns the image list: the list only borrows it.
                            WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SINGLESEL |
                                LVS_SHOWSELALWAYS | LVS_SHAREIMAGELISTS,
                            0, 0, 0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                            ::GetModuleHandleW(nullptr), nullptr);
  if (!hwnd_) return false;
  ListView_SetExtendedListViewStyle(
      hwnd_, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_LABELTIP | LVS_EX_INFOTIP);
  for (int i = 0; i < static_cast<int>(std::size(kColumns)); ++i) {
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.pszText = const_cast<wchar_t*>(kColumns[i].title);
    column.iSubItem = i;
    column.cx = 50;
    ListView_InsertColumn(hwnd_, i, &column);
  }
  ShowSortMark();
  return true;
}

void TypeListView::SetImageList(HIMAGELIST images, int placeholder) {
  placeholder_ = placeholder;
  ListView_SetImageList(hwnd_, images, LVSIL_SMALL);
}

void TypeListView::SetFonts(HFONT normal, HFONT bold) {
  normalFont_ = normal;
  boldFont_ = bold;
  ::SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(normal), TRUE);
}

void TypeListView::Place(int left, int top, int width, int height, UINT dpi) {
  box_ = {left, top, left + width, top + height};
  ::SetWindowPos(hwnd_, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
  FitWholeRows();
  // The description takes what the other columns leave, so a long one ends
  // in an ellipsis with its extension still in sight.
  RECT client;
  ::GetClientRect(hwnd_, &client);
  int rest = client.right - ::GetSystemMetricsForDpi(SM_CXVSCROLL, dpi);
  for (int i = 1; i < static_cast<int>(std::size(kColumns)); ++i) {
    const int width = DipToPx(kColumns[i].widthDip, dpi);
    ListView_SetColumnWidth(hwnd_, i, width);
    rest -= width;
  }
  ListView_SetColumnWidth(hwnd_, 0, std::max(rest, DipToPx(60, dpi)));
}

// The list ends below its last whole row rather than cutting one in half.
void TypeListView::FitWholeRows() {
  RECT row{}, header{}, client{}, outer{};
  if (ListView_GetItemCount(hwnd_) == 0 || !ListView_GetItemRect(hwnd_, 0, &row, LVIR_BOUNDS)) return;
  const int rowHeight = row.bottom - row.top;
  if (rowHeight <= 0) return;
  ::SetWindowPos(hwnd_, nullptr, 0, 0, box_.right - box_.left, box_.bottom - box_.top,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
  ::GetWindowRect(ListView_GetHeader(hwnd_), &header);
  ::GetClientRect(hwnd_, &client);
  ::GetWindowRect(hwnd_, &outer);
  const int rows = client.bottom - (header.bottom - header.top);
  // A horizontal scroll bar would take what is left: no trimming then.
  if (rows < rowHeight || ::GetWindowLongPtrW(hwnd_, GWL_STYLE) & WS_HSCROLL) return;
  ::SetWindowPos(hwnd_, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top - rows % rowHeight,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
}

TypeListView::Memory TypeListView::Remember() const {
  Memory memory;
  if (const auto selected = Selected()) memory.selected = FieldsOf(types_[*selected]).extension;
  const int top = ListView_GetTopIndex(hwnd_);
  if (top >= 0 && static_cast<std::size_t>(top) < rows_.size() &&
      rows_[static_cast<std::size_t>(top)] < types_.size())
    memory.top = FieldsOf(types_[rows_[static_cast<std::size_t>(top)]]).extension;
  return memory;
}

void TypeListView::ResetRows() {
  rows_ = BuildTypeView(types_, search_, order_);
  ListView_SetItemState(hwnd_, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
  ListView_SetItemCountEx(hwnd_, static_cast<int>(rows_.size()), 0);
  FitWholeRows();
  ::InvalidateRect(hwnd_, nullptr, TRUE);
}

void TypeListView::Recall(const Memory& memory) {
  if (!memory.top.empty()) {
    if (const auto top = PositionOfExtension(types_, rows_, memory.top)) {
      // Scrolls the remembered top row back to the top.
      RECT row{};
      if (ListView_GetItemRect(hwnd_, 0, &row, LVIR_BOUNDS)) {
        const int by = (static_cast<int>(*top) - ListView_GetTopIndex(hwnd_)) * (row.bottom - row.top);
        ListView_Scroll(hwnd_, 0, by);
      }
    }
  }
  if (!memory.selected.empty()) {
    if (const auto selected = PositionOfExtension(types_, rows_, memory.selected)) {
      const int row = static_cast<int>(*selected);
      ListView_SetItemState(hwnd_, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
      ListView_SetSelectionMark(hwnd_, row);
      ListView_EnsureVisible(hwnd_, row, FALSE);
    }
  }
}

void TypeListView::SetSearch(const std::wstring& search) {
  if (search == search_) return;
  const Memory memory = Remember();
  search_ = search;
  ResetRows();
  Recall(memory);
  // A search that hides the selected type leaves the first match ready for
  // Enter.
  if (!Selected() && !rows_.empty()) {
    ListView_SetItemState(hwnd_, 0, LVIS_FOCUSED, LVIS_FOCUSED);
    ListView_SetSelectionMark(hwnd_, 0);
  }
  if (!search_.empty()) ListView_EnsureVisible(hwnd_, 0, FALSE);
}

void TypeListView::SortBy(TypeColumn column) {
  if (order_.column == column) {
    order_.ascending = !order_.ascending;
  } else {
    order_ = {column, true};
  }
  const Memory memory = Remember();
  ResetRows();
  // The selected type stays in view; the top row means little in a new order.
  Recall({memory.selected, {}});
  ShowSortMark();
}

void TypeListView::ShowSortMark() {
  const HWND header = ListView_GetHeader(hwnd_);
  for (int i = 0; i < static_cast<int>(std::size(kColumns)); ++i) {
    HDITEMW item{};
    item.mask = HDI_FORMAT;
    Header_GetItem(header, i, &item);
    item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
    if (kColumns[i].column == order_.column) item.fmt |= order_.ascending ? HDF_SORTUP : HDF_SORTDOWN;
    Header_SetItem(header, i, &item);
  }
}

void TypeListView::Repaint() {
  ::InvalidateRect(hwnd_, nullptr, TRUE);
}

std::optional<std::size_t> TypeListView::Selected() const {
  const int row = ListView_GetNextItem(hwnd_, -1, LVNI_SELECTED);
  if (row < 0 || static_cast<std::size_t>(row) >= rows_.size()) return std::nullopt;
  const std::size_t index = rows_[static_cast<std::size_t>(row)];
  if (index >= types_.size()) return std::nullopt;
  return index;
}

int TypeListView::RowOf(std::size_t index) const {
  const auto it = std::find(rows_.begin(), rows_.end(), index);
  return it == rows_.end() ? -1 : static_cast<int>(it - rows_.begin());
}

bool TypeListView::Select(std::size_t index) {
  const int row = RowOf(index);
  if (row < 0) return false;
  ListView_SetItemState(hwnd_, -1, 0, LVIS_SELECTED);
  ListView_SetItemState(hwnd_, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  ListView_SetSelectionMark(hwnd_, row);
  ListView_EnsureVisible(hwnd_, row, FALSE);
  return true;
}

bool TypeListView::OnNotify(const NMHDR& header, LRESULT& result) {
  result = 0;
  switch (header.code) {
    case LVN_GETDISPINFOW: {
      auto& item = const_cast<LVITEMW&>(reinterpret_cast<const NMLVDISPINFOW&>(header).item);
      if (item.iItem < 0 || static_cast<std::size_t>(item.iItem) >= rows_.size()) return true;
      const std::size_t index = rows_[static_cast<std::size_t>(item.iItem)];
      if (index >= types_.size()) return true;
      const TypeItem& type = types_[index];
      const TypeFields fields = FieldsOf(type);
      if (item.mask & LVIF_TEXT && item.cchTextMax > 0) {
        const auto column = kColumns[std::clamp(item.iSubItem, 0, 2)].column;
        text_.assign(column == TypeColumn::Description && IsChanged(type) ? kChangedMark
                     : column == TypeColumn::Location && type.iconHandler ? kHandlerMark
                                                                          : L"");
        text_.append(ColumnText(fields, column));
        wcsncpy_s(item.pszText, static_cast<std::size_t>(item.cchTextMax), text_.c_str(), _TRUNCATE);
      }
      if (item.mask & LVIF_IMAGE && item.iSubItem == 0) {
        item.iImage = images_.IndexOf(type.picture);
        if (item.iImage < 0) {
          // Asked for because it is about to show: its icon is wanted first.
          item.iImage = placeholder_;
          wanted_.push_back(type.picture);
        }
      }
      return true;
    }
    case LVN_GETINFOTIPW: {
      // Says why a type is marked; the tip starts with the row's text when
      // it is cut short.
      auto& tip = const_cast<NMLVGETINFOTIPW&>(reinterpret_cast<const NMLVGETINFOTIPW&>(header));
      if (tip.iItem < 0 || static_cast<std::size_t>(tip.iItem) >= rows_.size() || tip.cchTextMax <= 0)
        return true;
      const std::size_t index = rows_[static_cast<std::size_t>(tip.iItem)];
      if (index >= types_.size() || !types_[index].iconHandler) return true;
      std::wstring text = tip.dwFlags & LVGIT_UNFOLDED ? L"" : std::wstring(tip.pszText) + L"\r\n";
      text += kHandlerTip;
      wcsncpy_s(tip.pszText, static_cast<std::size_t>(tip.cchTextMax), text.c_str(), _TRUNCATE);
      return true;
    }
    case LVN_ODFINDITEMW: {
      // Typing in the list finds the next type whose description, or
      // extension when the text starts with a dot, begins with what was typed.
      const auto& find = reinterpret_cast<const NMLVFINDITEMW&>(header);
      result = -1;
      if (!(find.lvfi.flags & (LVFI_STRING | LVFI_PARTIAL)) || !find.lvfi.psz) return true;
      const auto start = static_cast<std::size_t>(std::max(find.iStart, 0));
      if (const auto row = FindByPrefix(types_, rows_, FindColumnFor(find.lvfi.psz), find.lvfi.psz, start))
        result = static_cast<LRESULT>(*row);
      return true;
    }
    case LVN_COLUMNCLICK: {
      const int column = reinterpret_cast<const NMLISTVIEW&>(header).iSubItem;
      if (column >= 0 && column < static_cast<int>(std::size(kColumns))) SortBy(kColumns[column].column);
      return true;
    }
    case NM_CUSTOMDRAW: {
      // Changed types stand out in bold until they are applied.
      auto& draw = const_cast<NMLVCUSTOMDRAW&>(reinterpret_cast<const NMLVCUSTOMDRAW&>(header));
      result = CDRF_DODEFAULT;
      if (draw.nmcd.dwDrawStage == CDDS_PREPAINT) {
        result = CDRF_NOTIFYITEMDRAW;
      } else if (draw.nmcd.dwDrawStage == CDDS_ITEMPREPAINT && boldFont_) {
        const auto row = static_cast<std::size_t>(draw.nmcd.dwItemSpec);
        if (row < rows_.size() && rows_[row] < types_.size() && IsChanged(types_[rows_[row]])) {
          ::SelectObject(draw.nmcd.hdc, boldFont_);
          result = CDRF_NEWFONT;
        }
      }
      return true;
    }
  }
  return false;
}

}  // namespace tarrow::app
