#include "app/main_window.h"

#include <windowsx.h>

#include <algorithm>

#include "app/layout.h"
#include "catalog/icon_location.h"
#include "changes/apply.h"
#include "platform/win32/win32_os.h"

namespace tarrow::app {
namespace {

constexpr wchar_t kPanelClass[] = L"TarrowPanel";
constexpr wchar_t kViewportClass[] = L"TarrowIconGrid";
constexpr wchar_t kCredit[] = L"Every file type with the icon you want";
// The longest a scan goes without letting the windows handle their messages.
constexpr ULONGLONG kYieldIntervalMs = 10;

struct ControlDesign {
  int id;
  bool inPanel;
  const wchar_t* windowClass;
  const wchar_t* text;
  DWORD style;
  DWORD exStyle;
  TwipsRect rect;
};

using W = MainWindow;
namespace d = main_design;

// In tab order: creating the controls in this order makes it theirs.
const ControlDesign kControls[] = {
    {W::kBorder, true, kViewportClass, L"", WS_TABSTOP | WS_CLIPCHILDREN, WS_EX_CLIENTEDGE, d::Border},
    {W::kVScroll1, true, WC_SCROLLBARW, L"", WS_TABSTOP | SBS_VERT, 0, d::VScroll1},
    {W::kBrowse, true, WC_BUTTONW, L"&Browse...", WS_TABSTOP | BS_PUSHBUTTON, 0, d::Browse},
    {W::kcmdCancel, true, WC_BUTTONW, L"E&xit", WS_TABSTOP | BS_PUSHBUTTON, 0, d::cmdCancel},
    {W::kFilename, true, WC_EDITW, L"", WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, d::Filename},
    {W::kCommand1, true, WC_BUTTONW, L"&Apply", WS_TABSTOP | BS_PUSHBUTTON, 0, d::Command1},
    {W::kCommand3, true, WC_BUTTONW, L"&Restore Defaults", WS_TABSTOP | BS_PUSHBUTTON, 0, d::Command3},
    {W::kListView1, true, WC_LISTVIEWW, L"",
     // The window owns the image list: the list only borrows it.
     WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_NOCOLUMNHEADER | LVS_SINGLESEL | LVS_SHOWSELALWAYS |
         LVS_SHAREIMAGELISTS,
     WS_EX_CLIENTEDGE, d::ListView1},
    {W::kFilenamelabel, true, WC_STATICW, L"Icon File:", SS_LEFT | SS_NOPREFIX, 0, d::Filenamelabel},
    {W::kLabel1, true, WC_STATICW, L"Registered File Types:", SS_LEFT | SS_NOPREFIX, 0, d::Label1},
    {W::kCommand5, true, WC_BUTTONW, L"Refresh", WS_TABSTOP | BS_PUSHBUTTON, 0, d::Command5},
    {W::kLabel2, false, WC_STATICW, kCredit, SS_CENTER | SS_NOPREFIX, 0, d::Label2},
};

HFONT MakeFont(UINT dpi, double points, int weight) {
  LOGFONTW font{};
  font.lfHeight = -PointsToPx(points, dpi);
  font.lfWeight = weight;
  font.lfCharSet = DEFAULT_CHARSET;
  font.lfQuality = CLEARTYPE_QUALITY;
  // The scalable successor of the old bitmap face, so text stays sharp at
  // every scale.
  wcscpy_s(font.lfFaceName, L"Microsoft Sans Serif");
  return ::CreateFontIndirectW(&font);
}

}  // namespace

// ---- creation and layout

MainWindow::MainWindow(Os& os) : os_(os) {}

MainWindow::~MainWindow() {
  // Destroying the object is not the user closing the window: no quit.
  quitOnDestroy_ = false;
  if (hwnd_) ::DestroyWindow(hwnd_);
}

bool MainWindow::Create() {
  INITCOMMONCONTROLSEX icc{
      sizeof icc, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&icc);
  const HBRUSH face = ::GetSysColorBrush(COLOR_BTNFACE);
  RegisterClassOnce(kMainWindowClass, &Proc, face, nullptr);
  RegisterClassOnce(kPanelClass, &PanelProc, face);
  RegisterClassOnce(kViewportClass, &ViewportProc, ::GetSysColorBrush(COLOR_WINDOW), nullptr, CS_DBLCLKS);
  ::CreateWindowExW(WS_EX_CONTROLPARENT, kMainWindowClass, L"Tarrow", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                    0, 0, 0, 0, nullptr, nullptr, ::GetModuleHandleW(nullptr), this);
  if (!hwnd_) return false;
  if (auto* shell = dynamic_cast<win32::Win32Shell*>(&os_.shell)) shell->SetOwner(hwnd_);
  dpi_ = DpiOf(hwnd_);
  CreateControls();
  Layout();
  return true;
}

void MainWindow::CreateControls() {
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  picMain_ = ::CreateWindowExW(WS_EX_CONTROLPARENT, kPanelClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN,
                               0, 0, 0, 0, hwnd_, nullptr, instance, nullptr);
  for (const auto& c : kControls) {
    const HWND parent = c.inPanel ? picMain_ : hwnd_;
    const HWND control =
        ::CreateWindowExW(c.exStyle, c.windowClass, c.text, WS_CHILD | WS_VISIBLE | c.style, 0, 0, 0, 0,
                          parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), instance, this);
    controls_[static_cast<std::size_t>(c.id - kFirstControl)] = control;
  }
  const HWND list = control(kListView1);
  ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
  LVCOLUMNW column{};
  column.mask = LVCF_WIDTH;
  ListView_InsertColumn(list, 0, &column);

  tooltip_ = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, 0, 0, 0, 0,
                               hwnd_, nullptr, instance, nullptr);
  auto addTip = [this](HWND target, const wchar_t* text) {
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = hwnd_;
    tool.uId = reinterpret_cast<UINT_PTR>(target);
    tool.lpszText = const_cast<wchar_t*>(text);
    ::SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  };
  addTip(list, L"Double Click to Change Icon");
  addTip(control(kBorder), L"Double Click to Select Icon");

  SCROLLINFO si{sizeof si, SIF_ALL | SIF_DISABLENOSCROLL, 0, 0, 0, 0, 0};
  ::SetScrollInfo(control(kVScroll1), SB_CTL, &si, TRUE);
}

int MainWindow::SmallIconPx() const {
  return ::GetSystemMetricsForDpi(SM_CXSMICON, dpi_);
}
int MainWindow::GridIconPx() const {
  return ::GetSystemMetricsForDpi(SM_CXICON, dpi_);
}

void MainWindow::UpdateFonts() {
  font_.reset(MakeFont(dpi_, 8.25, FW_NORMAL));
  boldFont_.reset(MakeFont(dpi_, 8.25, FW_BOLD));
  for (const auto& c : kControls) {
    const HFONT font = c.id == kLabel2 ? boldFont_.get() : font_.get();
    ::SendMessageW(control(c.id), WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  }
}

void MainWindow::Layout() {
  auto place = [this](HWND window, const TwipsRect& r) {
    const RECT px = ToPixels(r, dpi_);
    ::SetWindowPos(window, nullptr, px.left, px.top, px.right - px.left, px.bottom - px.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
  };
  SetClientSize(hwnd_, TwipsToPx(d::kClientWidth, dpi_), TwipsToPx(d::kClientHeight, dpi_));
  place(picMain_, d::picMain);
  for (const auto& c : kControls) place(control(c.id), c.rect);
  UpdateFonts();

  bigIcon_.reset(LoadProgramIcon(::GetSystemMetricsForDpi(SM_CXICON, dpi_)));
  smallIcon_.reset(LoadProgramIcon(SmallIconPx()));
  ::SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_.get()));
  ::SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.get()));

  if (ImageList1_.sizePx() != SmallIconPx()) {
    // On a screen of another scale the pictures are drawn again at the size
    // the list shows them there.
    ImageList1_.Reset(SmallIconPx());
    ListView_SetImageList(control(kListView1), ImageList1_.get(), LVSIL_SMALL);
    images_.Rerender(os_.shell, ImageList1_.sizePx());
  }
  SizeListColumn();
  if (!FilenameText().empty()) RebuildGrid();
  ::InvalidateRect(control(kBorder), nullptr, TRUE);
}

void MainWindow::ShowCentred() {
  CentreOnMonitor(hwnd_);
  ::ShowWindow(hwnd_, SW_SHOW);
  ::UpdateWindow(hwnd_);
}

// ---- start-up, scan and the command buttons

bool MainWindow::Form_Load(bool prevInstance) {
  if (prevInstance) {
    os_.shell.MessageBox(L"Only one Instance allowed at a time...", kMbOk | kMbIconInformation);
    return false;
  }
  DoEvents();
  RunScan();
  ::InvalidateRect(control(kListView1), nullptr, TRUE);
  ::UpdateWindow(control(kListView1));
  const std::wstring caption = L"Tarrow - Version " + std::to_wstring(TARROW_VERSION_MAJOR) + L"." +
                               std::to_wstring(TARROW_VERSION_MINOR);
  ::SetWindowTextW(hwnd_, caption.c_str());
  return true;
}

void MainWindow::SetBusy(bool busy) {
  // While a scan runs, nothing may start another one or write from a
  // half-built list.
  for (int id : {kCommand5, kCommand1, kCommand3}) ::EnableWindow(control(id), !busy);
}

void MainWindow::RunScan() {
  if (types_.scanning()) return;
  SetBusy(true);
  ScanFileTypes(os_, *this, types_, images_, ImageList1_.sizePx());
  SetBusy(false);
}

void MainWindow::Command5_Click() {
  RunScan();
}

void MainWindow::cmdCancel_Click() {
  ::DestroyWindow(hwnd_);
}

void MainWindow::Command1_Click() {
  if (types_.scanning()) return;
  ApplyChanges(os_, types_);
}

void MainWindow::Command3_Click() {
  if (types_.scanning()) return;
  RestoreDefaults(os_, *this, types_);
}

void MainWindow::HideMainWindow() {
  ::ShowWindow(hwnd_, SW_HIDE);
}
void MainWindow::Rescan() {
  RunScan();
}
void MainWindow::ShowMainWindow() {
  ::ShowWindow(hwnd_, SW_SHOW);
}

// ---- ScanHost

void MainWindow::ShowProgress() {
  frmProg_.Show();
}
void MainWindow::SetProgressMax(int max) {
  frmProg_.SetMax(max);
}
void MainWindow::SetProgressValue(int value) {
  frmProg_.SetValue(value);
}
void MainWindow::HideProgress() {
  frmProg_.Hide();
}
void MainWindow::DoEvents() {
  // The scan yields at every registry key, and each look at the queue is a
  // round trip to the window server (a third of the scan under Wine). A
  // hundred looks a second keep the window as responsive.
  const ULONGLONG now = ::GetTickCount64();
  if (now - lastYield_ < kYieldIntervalMs) return;
  app::DoEvents();
  lastYield_ = now;
}

void MainWindow::ListChanged() {
  const HWND list = control(kListView1);
  // The items are new: a selection of the old ones means nothing now.
  ListView_SetItemState(list, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
  ListView_SetItemCountEx(list, static_cast<int>(types_.size()), 0);
  SizeListColumn();
  ::InvalidateRect(list, nullptr, TRUE);
}

void MainWindow::SizeListColumn() {
  const HWND list = control(kListView1);
  ListView_SetColumnWidth(list, 0, LVSCW_AUTOSIZE_USEHEADER);
  // A virtual list cannot measure its own items: find the widest text, so
  // long descriptions scroll rather than being cut.
  const win32::WindowDc dc(list);
  const win32::Selected font(dc.get(), font_.get());
  int widest = 0;
  for (const auto& item : types_) {
    SIZE size{};
    const std::wstring text = ItemText(item);
    ::GetTextExtentPoint32W(dc.get(), text.c_str(), static_cast<int>(text.size()), &size);
    widest = std::max<int>(widest, size.cx);
  }
  const int needed = widest + ImageList1_.sizePx() + DipToPx(16, dpi_);
  if (needed > ListView_GetColumnWidth(list, 0)) ListView_SetColumnWidth(list, 0, needed);
}

void MainWindow::SetMousePointer(int pointer) {
  mousePointer_ = pointer;
  ::SetCursor(::LoadCursorW(nullptr, pointer == 11 ? IDC_WAIT : IDC_ARROW));
}

// ---- the type list

std::optional<std::size_t> MainWindow::SelectedItem() const {
  const int index = ListView_GetNextItem(control(kListView1), -1, LVNI_SELECTED);
  if (index < 0 || static_cast<std::size_t>(index) >= types_.size()) return std::nullopt;
  return static_cast<std::size_t>(index);
}

void MainWindow::SelectItem(std::size_t index) {
  const HWND list = control(kListView1);
  ListView_SetItemState(list, static_cast<int>(index), LVIS_SELECTED | LVIS_FOCUSED,
                        LVIS_SELECTED | LVIS_FOCUSED);
  ListView_EnsureVisible(list, static_cast<int>(index), FALSE);
}

void MainWindow::ListView1_DblClick() {
  const auto file = IconFileOfSelectedType(os_.shell, picker_, types_, SelectedItem(), FilenameText());
  if (!file) return;
  SetFilenameText(*file);
  ::SendMessageW(control(kFilename), EM_SETSEL, 0, -1);
  SetScrollValue(0);
}

void MainWindow::ListView1_ItemClick() {
  NoteItemClick(picker_);
}

// ---- the icon file and the grid

std::wstring MainWindow::FilenameText() const {
  const HWND edit = control(kFilename);
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(edit)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(edit, text.data(), static_cast<int>(text.size()))));
  return text;
}

void MainWindow::SetFilenameText(const std::wstring& text) {
  // The edit control reports the change at once, so the grid is built
  // before this returns, and only when the text really changes.
  if (text != FilenameText()) ::SetWindowTextW(control(kFilename), text.c_str());
}

void MainWindow::Browse_Click() {
  SetFilenameText(BrowseForIconFile(os_.shell, reinterpret_cast<std::uintptr_t>(hwnd_)));
}

void MainWindow::Filename_GotFocus() {
  ::SendMessageW(control(kFilename), EM_SETSEL, 0, -1);
}

void MainWindow::Filename_Change() {
  SetMousePointer(11);
  sheetTop_ = 0;
  gridPictures_.clear();
  gridImages_.RemoveAllPictures();
  if (FilenameText().empty()) {
    grid_.cells.clear();
    ::InvalidateRect(control(kBorder), nullptr, TRUE);
    SetMousePointer(0);
    return;
  }
  RebuildGrid();
  // The sheet starts at its first row, so the scroll box does too.
  SetScrollValue(0);
  SetMousePointer(0);
}

void MainWindow::RebuildGrid() {
  const std::wstring file = IconFileForExtraction(os_.shell, FilenameText());
  const int count = os_.shell.CountIcons(file);
  const int iconPx = GridIconPx();
  gridImages_.Reset(iconPx);
  // One pass over the file for all its icons, and one for the list to take them.
  const auto icons = count > 0 ? os_.shell.ExtractIcons(file, 0, count, iconPx) : std::vector<IconHandle>();
  gridPictures_ = gridImages_.AddPictures(icons);
  gridPictures_.resize(static_cast<std::size_t>(count), -1);
  for (const IconHandle icon : icons) {
    if (IsIcon(icon)) os_.shell.DestroyIcon(icon);
  }
  grid_ = LayOutGrid(metrics_, count);
  ApplyScrollSettings();
  ::InvalidateRect(control(kBorder), nullptr, TRUE);
}

void MainWindow::ApplyScrollSettings() {
  scrollMax_ = grid_.scroll.Max;
  // A change amount the bar refuses (0) leaves the one it had.
  if (grid_.scroll.LargeChange) largeChange_ = *grid_.scroll.LargeChange;
  if (grid_.scroll.SmallChange) smallChange_ = *grid_.scroll.SmallChange;
  scrollValue_ = std::clamp<std::int64_t>(scrollValue_, 0, scrollMax_);
  SCROLLINFO si{sizeof si, SIF_ALL | SIF_DISABLENOSCROLL, 0, 0, 0, 0, 0};
  // A bar's value runs from 0 to Max; Win32 counts the page into its range.
  si.nPage = static_cast<UINT>(std::max<std::int64_t>(largeChange_, 1));
  si.nMax = static_cast<int>(scrollMax_ + si.nPage - 1);
  si.nPos = static_cast<int>(scrollValue_);
  ::SetScrollInfo(control(kVScroll1), SB_CTL, &si, TRUE);
}

void MainWindow::SetScrollValue(std::int64_t value) {
  value = std::clamp<std::int64_t>(value, 0, scrollMax_);
  const bool changed = value != scrollValue_;
  scrollValue_ = value;
  ::SetScrollPos(control(kVScroll1), SB_CTL, static_cast<int>(value), TRUE);
  if (changed) VScroll1_Change();
}

void MainWindow::VScroll1_Change() {
  ShowSheet();
}
void MainWindow::VScroll1_Scroll() {
  ShowSheet();
}

void MainWindow::ShowSheet() {
  sheetTop_ = -scrollValue_;
  ::InvalidateRect(control(kBorder), nullptr, TRUE);
}

void MainWindow::OnVScroll(WPARAM wp) {
  SCROLLINFO si{sizeof si, SIF_TRACKPOS, 0, 0, 0, 0, 0};
  ::GetScrollInfo(control(kVScroll1), SB_CTL, &si);
  std::int64_t value = scrollValue_;
  switch (LOWORD(wp)) {
    case SB_LINEUP:
      value -= smallChange_;
      break;
    case SB_LINEDOWN:
      value += smallChange_;
      break;
    case SB_PAGEUP:
      value -= largeChange_;
      break;
    case SB_PAGEDOWN:
      value += largeChange_;
      break;
    case SB_TOP:
      value = 0;
      break;
    case SB_BOTTOM:
      value = scrollMax_;
      break;
    case SB_THUMBTRACK:
      scrollValue_ = std::clamp<std::int64_t>(si.nTrackPos, 0, scrollMax_);
      ::SetScrollPos(control(kVScroll1), SB_CTL, static_cast<int>(scrollValue_), TRUE);
      VScroll1_Scroll();
      return;
    case SB_THUMBPOSITION:
      value = si.nTrackPos;
      break;
    default:
      return;
  }
  SetScrollValue(value);
}

RECT MainWindow::CellRect(std::int64_t k) const {
  const CellPosition& cell = grid_.cells[static_cast<std::size_t>(k - 1)];
  const auto px = [this](std::int64_t twips) {
    return static_cast<int>(TwipsToPixels(twips, static_cast<int>(dpi_)));
  };
  const int top = px(cell.Top + sheetTop_), left = px(cell.Left);
  return {left, top, left + px(metrics_.cellWidth), top + px(metrics_.cellHeight)};
}

std::int64_t MainWindow::CellAt(POINT pt) const {
  for (std::size_t i = 0; i < grid_.cells.size(); ++i) {
    const RECT r = CellRect(static_cast<std::int64_t>(i) + 1);
    if (::PtInRect(&r, pt)) return static_cast<std::int64_t>(i) + 1;
  }
  return 0;
}

void MainWindow::PaintGrid(HDC dc, const RECT& clip) {
  const int offset = DipToPx(d::kIconOffsetPx, dpi_);
  for (std::size_t i = 0; i < grid_.cells.size(); ++i) {
    const auto k = static_cast<std::int64_t>(i) + 1;
    const RECT cell = CellRect(k);
    RECT visible;
    if (!::IntersectRect(&visible, &cell, &clip)) continue;
    if (i < gridPictures_.size() && gridPictures_[i] >= 0) {
      ::ImageList_Draw(gridImages_.get(), gridPictures_[i], dc, cell.left + offset, cell.top + offset,
                       ILD_TRANSPARENT);
    }
    if (k == picker_.SelectedIconbox) {
      // The selected cell's single-line frame, and inside it the focus.
      ::FrameRect(dc, &cell, ::GetSysColorBrush(COLOR_WINDOWTEXT));
      if (::GetFocus() == control(kBorder)) {
        RECT focus = cell;
        ::InflateRect(&focus, -DipToPx(2, dpi_), -DipToPx(2, dpi_));
        ::DrawFocusRect(dc, &focus);
      }
    }
  }
}

// The keyboard reaches every cell too: arrows move the frame, Space gives
// the framed icon to the selected type.
void MainWindow::OnGridKey(WPARAM key) {
  const auto count = static_cast<std::int64_t>(grid_.cells.size());
  if (count == 0) return;
  const std::int64_t current = picker_.SelectedIconbox;
  if (key == VK_SPACE) {
    if (current >= 1 && current <= count) Iconbox_DblClick(current);
    return;
  }
  std::int64_t next = current;
  switch (key) {
    case VK_LEFT:
      next = current - 1;
      break;
    case VK_RIGHT:
      next = current + 1;
      break;
    case VK_UP:
      next = current - metrics_.columns;
      break;
    case VK_DOWN:
      next = current + metrics_.columns;
      break;
    case VK_HOME:
      next = 1;
      break;
    case VK_END:
      next = count;
      break;
    default:
      return;
  }
  if (current < 1 || current > count) next = 1;
  next = std::clamp<std::int64_t>(next, 1, count);
  Iconbox_Click(next);
  ScrollCellIntoView(next);
}

void MainWindow::ScrollCellIntoView(std::int64_t k) {
  const std::int64_t top = grid_.cells[static_cast<std::size_t>(k - 1)].Top;
  const std::int64_t bottom = top + metrics_.cellHeight;
  if (top < scrollValue_) {
    SetScrollValue(top);
  } else if (bottom > scrollValue_ + metrics_.viewportInnerHeight) {
    SetScrollValue(bottom - metrics_.viewportInnerHeight);
  }
}

void MainWindow::Iconbox_Click(std::int64_t index) {
  const FrameMove move = SelectIconbox(picker_, index);
  for (std::int64_t k : {move.cleared, move.framed}) {
    if (k < 1 || k > static_cast<std::int64_t>(grid_.cells.size())) continue;
    const RECT r = CellRect(k);
    ::InvalidateRect(control(kBorder), &r, TRUE);
  }
}

void MainWindow::Iconbox_DblClick(std::int64_t index) {
  const auto selected = SelectedItem();
  if (!AssignIcon(os_.shell, picker_, types_, images_, selected, FilenameText(), index, ImageList1_.sizePx()))
    return;
  ListView_RedrawItems(control(kListView1), static_cast<int>(*selected), static_cast<int>(*selected));
}

// ---- messages

LRESULT MainWindow::OnNotify(const NMHDR& header) {
  if (header.idFrom != static_cast<UINT_PTR>(kListView1)) return 0;
  switch (header.code) {
    case LVN_GETDISPINFOW: {
      auto& item = reinterpret_cast<const NMLVDISPINFOW&>(header).item;
      auto& out = const_cast<LVITEMW&>(item);
      if (item.iItem < 0 || static_cast<std::size_t>(item.iItem) >= types_.size()) return 0;
      const TypeItem& type = types_[static_cast<std::size_t>(item.iItem)];
      if (item.mask & LVIF_TEXT) {
        wcsncpy_s(out.pszText, static_cast<std::size_t>(item.cchTextMax), ItemText(type).c_str(), _TRUNCATE);
      }
      if (item.mask & LVIF_IMAGE) out.iImage = images_.IndexOf(type.picture);
      return 0;
    }
    case NM_DBLCLK:
      ListView1_DblClick();
      return 0;
    case NM_CLICK:
      if (reinterpret_cast<const NMITEMACTIVATE&>(header).iItem >= 0) ListView1_ItemClick();
      return 0;
  }
  return 0;
}

LRESULT MainWindow::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
      switch (LOWORD(wp)) {
        case kCommand5:
          Command5_Click();
          break;
        case kcmdCancel:
          cmdCancel_Click();
          break;
        case kCommand1:
          Command1_Click();
          break;
        case kCommand3:
          Command3_Click();
          break;
        case kBrowse:
          Browse_Click();
          break;
        case kFilename:
          if (HIWORD(wp) == EN_CHANGE) Filename_Change();
          if (HIWORD(wp) == EN_SETFOCUS) Filename_GotFocus();
          break;
      }
      return 0;
    case WM_NOTIFY:
      return OnNotify(*reinterpret_cast<const NMHDR*>(lp));
    case WM_VSCROLL:
      if (reinterpret_cast<HWND>(lp) == control(kVScroll1)) OnVScroll(wp);
      return 0;
    case WM_CTLCOLORSTATIC: {
      const HDC dc = reinterpret_cast<HDC>(wp);
      ::SetBkMode(dc, TRANSPARENT);
      if (reinterpret_cast<HWND>(lp) == control(kLabel2)) ::SetTextColor(dc, ::GetSysColor(COLOR_HIGHLIGHT));
      return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_SETCURSOR:
      if (mousePointer_ == 11) {
        ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
        return TRUE;
      }
      break;
    case WM_DPICHANGED: {
      dpi_ = HIWORD(wp);
      const RECT* suggested = reinterpret_cast<const RECT*>(lp);
      // Layout sizes the window from the design at the new scale; the
      // suggested place keeps it under the pointer that moved it.
      Layout();
      ::SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, 0, 0,
                     SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOSIZE);
      return 0;
    }
    case WM_ACTIVATE:
      // Like a dialog: the focus comes back where it was, or to the first
      // control in tab order.
      if (LOWORD(wp) == WA_INACTIVE) {
        if (HWND focus = ::GetFocus(); focus && ::IsChild(hwnd_, focus)) focus_ = focus;
      } else {
        ::SetFocus(focus_ && ::IsWindow(focus_) ? focus_ : control(kControls[0].id));
      }
      return 0;
    case WM_CLOSE:
      cmdCancel_Click();
      return 0;
    case WM_DESTROY:
      // Every unload ends the program; unapplied assignments go with it.
      if (auto* shell = dynamic_cast<win32::Win32Shell*>(&os_.shell)) shell->SetOwner(nullptr);
      if (quitOnDestroy_) ::PostQuitMessage(0);
      return 0;
  }
  return Default(msg, wp, lp);
}

// The panel carries the controls; what they report belongs to the window.
LRESULT CALLBACK MainWindow::PanelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_VSCROLL:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSCROLLBAR:
      return ::SendMessageW(::GetParent(hwnd), msg, wp, lp);
  }
  return ::DefWindowProcW(hwnd, msg, wp, lp);
}

// The grid's viewport: it shows the part of the sheet that the scroll value
// leaves in view.
LRESULT CALLBACK MainWindow::ViewportProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
  }
  auto* self = reinterpret_cast<MainWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return ::DefWindowProcW(hwnd, msg, wp, lp);
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      const HDC dc = ::BeginPaint(hwnd, &ps);
      self->PaintGrid(dc, ps.rcPaint);
      ::EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_LBUTTONDOWN:
      ::SetFocus(hwnd);
      return 0;
    case WM_LBUTTONUP: {
      if (std::exchange(self->skipNextClick_, false)) return 0;
      if (const auto k = self->CellAt({GET_X_LPARAM(lp), GET_Y_LPARAM(lp)})) self->Iconbox_Click(k);
      return 0;
    }
    case WM_LBUTTONDBLCLK: {
      self->skipNextClick_ = true;
      if (const auto k = self->CellAt({GET_X_LPARAM(lp), GET_Y_LPARAM(lp)})) self->Iconbox_DblClick(k);
      return 0;
    }
    case WM_GETDLGCODE:
      return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_KEYDOWN:
      self->OnGridKey(wp);
      return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      ::InvalidateRect(hwnd, nullptr, FALSE);
      return 0;
    case WM_MOUSEWHEEL: {
      // A notch scrolls one row; finer wheels add up to it.
      self->wheelDelta_ += GET_WHEEL_DELTA_WPARAM(wp);
      const int rows = self->wheelDelta_ / WHEEL_DELTA;
      self->wheelDelta_ -= rows * WHEEL_DELTA;
      if (rows) self->SetScrollValue(self->scrollValue_ - rows * self->metrics_.cellHeight);
      return 0;
    }
    case WM_NCDESTROY:
      ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      break;
  }
  return ::DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace tarrow::app
