#include "app/type_list_view.h"

#include <windowsx.h>

#include <algorithm>
#include <set>

#include "picker/window_layout.h"

namespace tarrow::app {
namespace {

struct ColumnDesign {
  const wchar_t* title;
  TypeColumn column;
};
constexpr ColumnDesign kColumns[] = {
    {L"Description", TypeColumn::Description},
    {L"Extension", TypeColumn::Extension},
    {L"Icon", TypeColumn::Location},
};
// A changed type's description starts with this mark until it is applied.
constexpr wchar_t kChangedMark[] = L"* ";
// The icon of a type whose icons a handler decides file by file.
constexpr wchar_t kHandlerMark[] = L"(per file) ";
constexpr wchar_t kHandlerTip[] =
    L"An icon handler draws each file of this type with its own icon: Explorer may not show the icon "
    L"chosen here.";
constexpr UINT kRestoreOriginalCommand = 1;
constexpr UINT kImportCommand = 2;
constexpr UINT kExportCommand = 3;

}  // namespace

bool TypeListView::Create(HWND parent, int id) {
  hwnd_ = ::CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                            // The window owns the image list: the list only borrows it.
                            WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA |
                                LVS_SHOWSELALWAYS | LVS_SHAREIMAGELISTS,
                            0, 0, 0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                            ::GetModuleHandleW(nullptr), nullptr);
  if (!hwnd_) return false;
  // The list's own messages first: its context menu is its own business,
  // whoever its parent is.
  ::SetWindowSubclass(hwnd_, &ListProc, 1, reinterpret_cast<DWORD_PTR>(this));
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

LRESULT CALLBACK TypeListView::ListProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR self) {
  switch (msg) {
    case WM_CONTEXTMENU:
      // A right click, the menu key or Shift+F10.
      reinterpret_cast<TypeListView*>(self)->ShowContextMenu(lp);
      return 0;
    case WM_KEYDOWN:
      // The list view itself has no key that selects every row.
      if (wp == 'A' && ::GetKeyState(VK_CONTROL) < 0) {
        reinterpret_cast<TypeListView*>(self)->SelectAll();
        return 0;
      }
      break;
    case WM_NCDESTROY:
      ::RemoveWindowSubclass(hwnd, &ListProc, 1);
      break;
  }
  return ::DefSubclassProc(hwnd, msg, wp, lp);
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
  RECT client;
  ::GetClientRect(hwnd_, &client);
  const auto widths =
      ListColumnWidths(client.right - ::GetSystemMetricsForDpi(SM_CXVSCROLL, dpi), static_cast<int>(dpi));
  for (int i = 0; i < static_cast<int>(widths.size()); ++i) ListView_SetColumnWidth(hwnd_, i, widths[i]);
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
  for (const std::size_t index : SelectedTypes())
    memory.selected.emplace_back(FieldsOf(types_[index]).extension);
  if (const auto focused = Focused()) memory.focused = FieldsOf(types_[*focused]).extension;
  const int top = ListView_GetTopIndex(hwnd_);
  if (top >= 0 && static_cast<std::size_t>(top) < rows_.size() &&
      rows_[static_cast<std::size_t>(top)] < types_.size())
    memory.top = FieldsOf(types_[rows_[static_cast<std::size_t>(top)]]).extension;
  return memory;
}

void TypeListView::ScrollTopTo(std::size_t row) {
  RECT item{};
  if (!ListView_GetItemRect(hwnd_, 0, &item, LVIR_BOUNDS)) return;
  const int by = (static_cast<int>(row) - ListView_GetTopIndex(hwnd_)) * (item.bottom - item.top);
  if (by != 0) ListView_Scroll(hwnd_, 0, by);
}

// The remembered types shown now are selected again and leave `memory`;
// the others wait there for rows still to come.
void TypeListView::Recall(Memory& memory) {
  if (!memory.top.empty()) {
    if (const auto top = PositionOfExtension(types_, rows_, memory.top)) ScrollTopTo(*top);
  }
  if (memory.selected.empty() && memory.focused.empty()) return;
  // By extension, as the list compares them: case folded.
  std::set<std::wstring> wanted;
  for (const std::wstring& extension : memory.selected) wanted.insert(FoldCase(extension));
  const std::wstring focused = FoldCase(memory.focused);
  for (std::size_t position = 0; position < rows_.size() && (!wanted.empty() || !memory.focused.empty());
       ++position) {
    const std::wstring extension = FoldCase(FieldsOf(types_[rows_[position]]).extension);
    const int row = static_cast<int>(position);
    if (wanted.erase(extension)) ListView_SetItemState(hwnd_, row, LVIS_SELECTED, LVIS_SELECTED);
    if (!memory.focused.empty() && extension == focused) {
      ListView_SetItemState(hwnd_, row, LVIS_FOCUSED, LVIS_FOCUSED);
      ListView_SetSelectionMark(hwnd_, row);
      ListView_EnsureVisible(hwnd_, row, FALSE);
      memory.focused.clear();
    }
  }
  memory.selected.assign(wanted.begin(), wanted.end());
}

std::vector<int> TypeListView::SelectedRows() const {
  std::vector<int> rows;
  for (int row = ListView_GetNextItem(hwnd_, -1, LVNI_SELECTED); row >= 0;
       row = ListView_GetNextItem(hwnd_, row, LVNI_SELECTED))
    rows.push_back(row);
  return rows;
}

void TypeListView::ShowRows(std::vector<std::size_t> rows, const std::vector<std::size_t>& selected,
                            std::optional<std::size_t> focused) {
  const bool first = rows_.empty();
  const std::vector<int> before = SelectedRows();
  const int focusBefore = ListView_GetNextItem(hwnd_, -1, LVNI_FOCUSED);
  rows_ = std::move(rows);
  // The list keeps its selection by row: it follows its types to their new
  // rows.
  std::vector<int> rowOf(types_.size(), -1);
  for (std::size_t row = 0; row < rows_.size(); ++row) rowOf[rows_[row]] = static_cast<int>(row);
  std::vector<int> after;
  for (const std::size_t index : selected) {
    if (index < rowOf.size() && rowOf[index] >= 0) after.push_back(rowOf[index]);
  }
  std::sort(after.begin(), after.end());
  const int focusAfter = focused && *focused < rowOf.size() ? rowOf[*focused] : -1;
  const bool moved = before != after || focusBefore != focusAfter;
  if (moved) ListView_SetItemState(hwnd_, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
  ListView_SetItemCountEx(hwnd_, static_cast<int>(rows_.size()), LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
  if (moved) {
    for (const int row : after) ListView_SetItemState(hwnd_, row, LVIS_SELECTED, LVIS_SELECTED);
    if (focusAfter >= 0) {
      ListView_SetItemState(hwnd_, focusAfter, LVIS_FOCUSED, LVIS_FOCUSED);
      ListView_SetSelectionMark(hwnd_, focusAfter);
    }
  }
  // The rows' height is known once there are rows.
  if (first) FitWholeRows();
  ::InvalidateRect(hwnd_, nullptr, TRUE);
}

void TypeListView::BeginRows() {
  if (!recall_) recall_ = Remember();
  held_.clear();
  ShowRows({}, {}, std::nullopt);
}

void TypeListView::AddRows(std::size_t first, bool last) {
  std::vector<std::size_t> incoming = std::move(held_);
  for (std::size_t index = first; index < types_.size(); ++index) incoming.push_back(index);
  const auto top = static_cast<std::size_t>(std::max(ListView_GetTopIndex(hwnd_), 0));
  const auto visible = last ? 0 : static_cast<std::size_t>(ListView_GetCountPerPage(hwnd_)) + 1;
  MergedRows merged = MergeRows(types_, rows_, incoming, search_, order_, top, visible);
  held_ = std::move(merged.held);
  ShowRows(std::move(merged.rows), SelectedTypes(), Focused());
  ScrollTopTo(merged.top);
  if (recall_) {
    // The remembered types are taken up as they arrive, the top row once
    // there are rows enough below it to scroll it there.
    Recall(*recall_);
    if (const auto at = PositionOfExtension(types_, rows_, recall_->top);
        at && static_cast<std::size_t>(ListView_GetTopIndex(hwnd_)) == *at)
      recall_->top.clear();
    if (last) recall_.reset();
  }
}

void TypeListView::Rebuild() {
  held_.clear();
  ShowRows(BuildTypeView(types_, search_, order_), {}, std::nullopt);
}

void TypeListView::SetSearch(const std::wstring& search) {
  if (search == search_) return;
  Memory memory = Remember();
  search_ = search;
  Rebuild();
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
  Memory memory = Remember();
  Rebuild();
  // The focused type stays in view; the top row means little in a new order.
  memory.top.clear();
  Recall(memory);
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

std::optional<std::size_t> TypeListView::TypeOfRow(int row) const {
  if (row < 0 || static_cast<std::size_t>(row) >= rows_.size()) return std::nullopt;
  const std::size_t index = rows_[static_cast<std::size_t>(row)];
  if (index >= types_.size()) return std::nullopt;
  return index;
}

std::optional<std::size_t> TypeListView::Focused() const {
  return TypeOfRow(ListView_GetNextItem(hwnd_, -1, LVNI_FOCUSED));
}

std::optional<std::size_t> TypeListView::Selected() const {
  const int focused = ListView_GetNextItem(hwnd_, -1, LVNI_FOCUSED);
  if (focused >= 0 && ListView_GetItemState(hwnd_, focused, LVIS_SELECTED)) return TypeOfRow(focused);
  return TypeOfRow(ListView_GetNextItem(hwnd_, -1, LVNI_SELECTED));
}

std::vector<std::size_t> TypeListView::SelectedTypes() const {
  std::vector<std::size_t> selected;
  for (const int row : SelectedRows()) {
    if (const auto index = TypeOfRow(row)) selected.push_back(*index);
  }
  return selected;
}

void TypeListView::SelectAll() {
  ListView_SetItemState(hwnd_, -1, LVIS_SELECTED, LVIS_SELECTED);
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

// At the pointer or, from the keyboard, at the selected type.
void TypeListView::ShowContextMenu(LPARAM at) {
  const auto selected = Selected();
  POINT pt{GET_X_LPARAM(at), GET_Y_LPARAM(at)};
  if (at == -1) {
    RECT row{};
    const int index = selected ? RowOf(*selected) : -1;
    if (index < 0 || !ListView_GetItemRect(hwnd_, index, &row, LVIR_LABEL)) ::GetClientRect(hwnd_, &row);
    pt = {row.left, row.bottom};
    ::ClientToScreen(hwnd_, &pt);
  }
  const HMENU menu = ::CreatePopupMenu();
  if (!menu) return;
  const auto state = [](bool enabled) { return MF_STRING | (enabled ? MF_ENABLED : MF_GRAYED); };
  ::AppendMenuW(menu, state(selected && listener_.CanChangeIcons()), kRestoreOriginalCommand,
                L"&Restore original icon\tDel");
  ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  ::AppendMenuW(menu, state(listener_.CanChangeIcons()), kImportCommand, L"&Import icons\u2026");
  ::AppendMenuW(menu, MF_STRING, kExportCommand, L"&Export icons\u2026");
  const UINT command = ::TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, pt.x, pt.y, 0, hwnd_, nullptr);
  ::DestroyMenu(menu);
  switch (command) {
    case kRestoreOriginalCommand:
      return listener_.OnRestoreOriginalIcon();
    case kImportCommand:
      return listener_.OnImportIcons();
    case kExportCommand:
      return listener_.OnExportIcons();
  }
}

bool TypeListView::OnCustomDraw(NMLVCUSTOMDRAW& draw, LRESULT& result) {
  result = CDRF_DODEFAULT;
  switch (draw.nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
      result = CDRF_NOTIFYITEMDRAW | CDRF_NOTIFYPOSTPAINT;
      return true;
    case CDDS_ITEMPREPAINT: {
      // Changed types stand out in bold until they are applied.
      const auto row = static_cast<std::size_t>(draw.nmcd.dwItemSpec);
      if (boldFont_ && row < rows_.size() && rows_[row] < types_.size() && IsChanged(types_[rows_[row]])) {
        ::SelectObject(draw.nmcd.hdc, boldFont_);
        result = CDRF_NEWFONT;
      }
      return true;
    }
    case CDDS_POSTPAINT:
      // The rows just painted asked for the pictures they lack: those first.
      if (!wanted_.empty()) listener_.OnPicturesWanted(std::exchange(wanted_, {}));
      return true;
  }
  return true;
}

LRESULT TypeListView::OnNotify(const NMHDR& header) {
  LRESULT result = 0;
  switch (header.code) {
    case LVN_GETDISPINFOW: {
      auto& item = const_cast<LVITEMW&>(reinterpret_cast<const NMLVDISPINFOW&>(header).item);
      if (item.iItem < 0 || static_cast<std::size_t>(item.iItem) >= rows_.size()) return 0;
      const std::size_t index = rows_[static_cast<std::size_t>(item.iItem)];
      if (index >= types_.size()) return 0;
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
      return 0;
    }
    case LVN_GETINFOTIPW: {
      // A cell cut short shows its whole text: the row's, one cell a line,
      // and what a double-click does.
      auto& tip = const_cast<NMLVGETINFOTIPW&>(reinterpret_cast<const NMLVGETINFOTIPW&>(header));
      if (tip.iItem < 0 || static_cast<std::size_t>(tip.iItem) >= rows_.size() || tip.cchTextMax <= 0)
        return 0;
      const TypeItem& type = types_[rows_[static_cast<std::size_t>(tip.iItem)]];
      const TypeFields fields = FieldsOf(type);
      text_.assign(fields.description).append(L"\r\n").append(fields.extension).append(L"\r\n");
      text_.append(fields.location).append(L"\r\nDouble Click to Change Icon");
      // Says why a type is marked.
      if (type.iconHandler) text_.append(L"\r\n").append(kHandlerTip);
      wcsncpy_s(tip.pszText, static_cast<std::size_t>(tip.cchTextMax), text_.c_str(), _TRUNCATE);
      return 0;
    }
    case LVN_ODFINDITEMW: {
      // Typing in the list finds the next type whose description, or
      // extension when the text starts with a dot, begins with what was typed.
      const auto& find = reinterpret_cast<const NMLVFINDITEMW&>(header);
      if (!(find.lvfi.flags & (LVFI_STRING | LVFI_PARTIAL)) || !find.lvfi.psz) return -1;
      const auto start = static_cast<std::size_t>(std::max(find.iStart, 0));
      const auto row = FindByPrefix(types_, rows_, FindColumnFor(find.lvfi.psz), find.lvfi.psz, start);
      return row ? static_cast<LRESULT>(*row) : -1;
    }
    case LVN_COLUMNCLICK: {
      const int column = reinterpret_cast<const NMLISTVIEW&>(header).iSubItem;
      if (column >= 0 && column < static_cast<int>(std::size(kColumns))) SortBy(kColumns[column].column);
      listener_.OnRowsChanged();
      return 0;
    }
    case NM_CUSTOMDRAW:
      OnCustomDraw(const_cast<NMLVCUSTOMDRAW&>(reinterpret_cast<const NMLVCUSTOMDRAW&>(header)), result);
      return result;
    case NM_DBLCLK:
      listener_.OnTypeActivated(false);
      return 0;
    case NM_RETURN:
      listener_.OnTypeActivated(true);
      return 0;
    case LVN_KEYDOWN:
      if (reinterpret_cast<const NMLVKEYDOWN&>(header).wVKey == VK_DELETE) listener_.OnRestoreOriginalIcon();
      return 0;
  }
  return 0;
}

}  // namespace tarrow::app
