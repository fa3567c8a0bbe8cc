#include "app/icon_grid.h"

#include <windowsx.h>

#include <algorithm>
#include <limits>
#include <utility>

#include "app/layout.h"
#include "catalog/icon_location.h"
#include "picker/grid_text.h"

namespace tarrow::app {

namespace {
constexpr UINT kIconsDone = WM_APP + 1;    // the loader has results
constexpr UINT kIconsWanted = WM_APP + 2;  // cells in view wait for icons
constexpr UINT_PTR kDeliveryTimer = 1;
// Extracting and reading a big file's icons is the grid's whole cost: two
// threads share it.
constexpr int kGridWorkers = 2;
}  // namespace

IconGrid::IconGrid(Shell& shell, IconGridListener& listener)
    : listener_(listener), iconSource_(shell), feed_(iconSource_, kIconsDone, kDeliveryTimer, kGridWorkers) {}

bool IconGrid::Create(HWND parent, int id, HWND scrollBar) {
  RegisterClassOnce(kIconGridClass, &Proc, ::GetSysColorBrush(COLOR_WINDOW), nullptr, CS_DBLCLKS);
  scrollBar_ = scrollBar;
  ::CreateWindowExW(WS_EX_CLIENTEDGE, kIconGridClass, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 0, 0, 0,
                    parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr),
                    this);
  if (!hwnd_) return false;
  feed_.Attach(hwnd_);
  dpi_ = DpiOf(hwnd_);
  ApplyScrollSettings();
  Announce();
  return true;
}

void IconGrid::SetDpi(UINT dpi) {
  if (dpi == dpi_) return;
  dpi_ = dpi;
  Reload();
}

int IconGrid::IconPx() const {
  return ::GetSystemMetricsForDpi(SM_CXICON, dpi_);
}

void IconGrid::Place(int left, int top, int width, int height) {
  ::SetWindowPos(hwnd_, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
  LayOut();
}

void IconGrid::LayOut() {
  RECT client{}, outer{};
  ::GetClientRect(hwnd_, &client);
  ::GetWindowRect(hwnd_, &outer);
  const auto twips = [this](LONG px) { return static_cast<std::int64_t>(px) * 1440 / dpi_; };
  metrics_.columns = ColumnsFor(metrics_, twips(client.right));
  metrics_.viewportInnerHeight = twips(client.bottom);
  metrics_.viewportHeight = twips(outer.bottom - outer.top);
  layout_ = LayOutGrid(metrics_, iconCount_);
  ApplyScrollSettings();
  ::InvalidateRect(hwnd_, nullptr, TRUE);
}

void IconGrid::ApplyScrollSettings() {
  // Without a range the bar keeps its change amounts, as it would refuse 0.
  if (layout_.scroll.LargeChange) largeChange_ = *layout_.scroll.LargeChange;
  if (layout_.scroll.SmallChange) smallChange_ = *layout_.scroll.SmallChange;
  scrollValue_ = std::clamp<std::int64_t>(scrollValue_, 0, layout_.scroll.Max);
  SCROLLINFO si{sizeof si, SIF_ALL | SIF_DISABLENOSCROLL, 0, 0, 0, 0, 0};
  // Win32 counts the page into the range; the value runs from 0 to Max.
  si.nPage = static_cast<UINT>(std::max<std::int64_t>(layout_.scroll.Page, 1));
  si.nMax = static_cast<int>(layout_.scroll.Max + si.nPage - 1);
  si.nPos = static_cast<int>(scrollValue_);
  ::SetScrollInfo(scrollBar_, SB_CTL, &si, TRUE);
}

void IconGrid::Load(const std::wstring& file) {
  CancelLoading();
  file_ = file;
  images_.Reset(IconPx());
  pictures_.clear();
  runs_.clear();
  iconCount_ = 0;
  drawn_ = 0;
  emptyText_.clear();
  scrollValue_ = 0;
  frameWhenCounted_ = 0;
  scrollWhenCounted_ = 0;
  counting_ = !file.empty();
  LayOut();
  if (counting_) {
    // The count and the first screen in one request, so that the first icons
    // wait for nothing else: as many cells as the top of the grid shows.
    const auto [first, last] = VisibleCells(metrics_, std::numeric_limits<int>::max(), 0);
    firstRun_ = static_cast<int>(std::max<std::int64_t>(last, 0));
    runs_[0] = feed_.loader().Request({file, 0, firstRun_, IconPx(), true});
  }
  Frame(0);
}

void IconGrid::CancelLoading() {
  feed_.loader().Cancel();
  counting_ = false;
  drawn_ = iconCount_;
  wanted_.clear();
}

void IconGrid::OnCounted(int total) {
  counting_ = false;
  iconCount_ = std::max(total, 0);
  pictures_.assign(static_cast<std::size_t>(iconCount_), -1);
  LayOut();
  SetScrollValue(scrollWhenCounted_);
  if (frameWhenCounted_) Frame(frameWhenCounted_);
  // The cells in view first, just those, unless the count brought them;
  // then the rest in order, in runs. Cells scrolled to are moved to the
  // front as they come into view.
  const int asked = std::clamp(total, 0, firstRun_);
  auto [first, last] = VisibleCells(metrics_, count(), scrollValue_);
  first = std::max<std::int64_t>(first, asked + 1);
  if (first <= last) {
    runs_[static_cast<int>(first - 1)] = feed_.loader().Request(
        {file_, static_cast<int>(first - 1), static_cast<int>(last - first + 1), IconPx()});
  }
  for (int start = asked; start < total;) {
    int end = std::min(start + kChunkIcons, total);
    if (first <= last && start < last && end > first - 1) {
      // Around the screen already asked for: the cells before it, then on.
      if (start < first - 1) {
        end = static_cast<int>(first - 1);
      } else {
        start = static_cast<int>(last);
        continue;
      }
    }
    runs_[start] = feed_.loader().Request({file_, start, end - start, IconPx()});
    start = end;
  }
  Announce();
  listener_.OnIconsCounted(iconCount_);
}

void IconGrid::OnIconsDone() {
  std::vector<IconResult> results = feed_.loader().TakeResults(kIconsPerSlice);
  std::vector<IconHandle> icons;
  std::vector<const IconPixels*> pixels;
  std::vector<std::size_t> cells;
  for (IconResult& result : results) {
    if (result.counted()) OnCounted(result.total);
    for (std::size_t k = 0; k < result.icons.size(); ++k) {
      const auto cell = static_cast<std::size_t>(result.request.first) + k;
      if (cell >= pictures_.size()) {
        feed_.loader().Release(result.icons[k]);
        continue;
      }
      icons.push_back(result.icons[k]);
      pixels.push_back(k < result.pixels.size() && result.pixels[k] ? &*result.pixels[k] : nullptr);
      cells.push_back(cell);
    }
  }
  if (cells.empty()) return;
  // All that came in one go; the list copies them, so the icons go at once.
  const std::vector<int> where = images_.AddPictures(icons, pixels);
  for (std::size_t i = 0; i < cells.size(); ++i) {
    pictures_[cells[i]] = where[i];
    feed_.loader().Release(icons[i]);
  }
  drawn_ += static_cast<std::int64_t>(cells.size());
  ::InvalidateRect(hwnd_, nullptr, FALSE);
}

// The cells in view that wait for their icons: their runs go first.
void IconGrid::WantCellsInView() {
  const auto [first, last] = VisibleCells(metrics_, count(), scrollValue_);
  for (std::int64_t k = first; k <= last; ++k) {
    if (pictures_[static_cast<std::size_t>(k - 1)] >= 0) continue;
    // The run that holds the cell.
    const auto run = runs_.upper_bound(static_cast<int>(k - 1));
    if (run == runs_.begin()) continue;
    const IconJobId id = std::prev(run)->second;
    if (wanted_.empty() || wanted_.back() != id) wanted_.push_back(id);
  }
  if (!wanted_.empty() && !std::exchange(wantedPosted_, true)) ::PostMessageW(hwnd_, kIconsWanted, 0, 0);
}

void IconGrid::OnIconsWanted() {
  wantedPosted_ = false;
  feed_.loader().Prioritise(std::exchange(wanted_, {}));
}

void IconGrid::Clear() {
  Load(L"");
}

void IconGrid::SetEmptyText(const std::wstring& text) {
  emptyText_ = text;
  ::InvalidateRect(hwnd_, nullptr, TRUE);
}

void IconGrid::Reload() {
  if (file_.empty()) return;
  const std::int64_t framed = framed_, scroll = scrollValue_;
  Load(file_);
  SetScrollValue(scroll);
  if (framed) Frame(framed);
}

void IconGrid::Frame(std::int64_t cell) {
  if (counting_) frameWhenCounted_ = cell;
  if (cell < 1 || cell > count()) cell = 0;
  InvalidateCell(std::exchange(framed_, cell));
  InvalidateCell(cell);
  if (cell) ScrollIntoView(cell);
  Announce();
  listener_.OnIconFramed(cell);
}

void IconGrid::Announce() {
  // The window's text is the name a screen reader reads for the control.
  ::SetWindowTextW(hwnd_, GridAccessibleName(framed_, count()).c_str());
  ::NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, hwnd_, OBJID_CLIENT, CHILDID_SELF);
}

void IconGrid::InvalidateCell(std::int64_t cell) {
  if (cell < 1 || cell > count()) return;
  const RECT r = CellRect(cell);
  ::InvalidateRect(hwnd_, &r, TRUE);
}

void IconGrid::ScrollIntoView(std::int64_t cell) {
  const std::int64_t top = layout_.cells[static_cast<std::size_t>(cell - 1)].Top;
  const std::int64_t bottom = top + metrics_.cellHeight;
  if (top < scrollValue_) {
    SetScrollValue(top);
  } else if (bottom > scrollValue_ + metrics_.viewportInnerHeight) {
    // A viewport shorter than a row shows the row's top.
    SetScrollValue(std::min(top, bottom - metrics_.viewportInnerHeight));
  }
}

void IconGrid::SetScrollValue(std::int64_t value) {
  if (counting_) scrollWhenCounted_ = value;
  value = std::clamp<std::int64_t>(value, 0, layout_.scroll.Max);
  const bool changed = value != scrollValue_;
  scrollValue_ = value;
  ::SetScrollPos(scrollBar_, SB_CTL, static_cast<int>(value), TRUE);
  if (changed) ::InvalidateRect(hwnd_, nullptr, TRUE);
}

void IconGrid::OnScrollBar(WPARAM wp) {
  SCROLLINFO si{sizeof si, SIF_TRACKPOS, 0, 0, 0, 0, 0};
  ::GetScrollInfo(scrollBar_, SB_CTL, &si);
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
      value = layout_.scroll.Max;
      break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION:
      value = si.nTrackPos;
      break;
    default:
      return;
  }
  SetScrollValue(value);
}

RECT IconGrid::CellRect(std::int64_t cell) const {
  const CellPosition& position = layout_.cells[static_cast<std::size_t>(cell - 1)];
  const auto px = [this](std::int64_t twips) {
    return static_cast<int>(TwipsToPixels(twips, static_cast<int>(dpi_)));
  };
  const int top = px(position.Top - scrollValue_), left = px(position.Left);
  return {left, top, left + px(metrics_.cellWidth), top + px(metrics_.cellHeight)};
}

std::int64_t IconGrid::CellAt(POINT pt) const {
  const auto [first, last] = VisibleCells(metrics_, count(), scrollValue_);
  for (std::int64_t k = first; k <= last; ++k) {
    const RECT r = CellRect(k);
    if (::PtInRect(&r, pt)) return k;
  }
  return 0;
}

void IconGrid::Paint(HDC dc, const RECT& clip) {
  if (count() == 0) {
    if (emptyText_.empty()) return;
    RECT text;
    ::GetClientRect(hwnd_, &text);
    ::InflateRect(&text, -DipToPx(8, dpi_), -DipToPx(8, dpi_));
    const HFONT font = reinterpret_cast<HFONT>(::SendMessageW(::GetParent(hwnd_), WM_GETFONT, 0, 0));
    const HGDIOBJ old = font ? ::SelectObject(dc, font) : nullptr;
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, ::GetSysColor(COLOR_GRAYTEXT));
    ::DrawTextW(dc, emptyText_.c_str(), static_cast<int>(emptyText_.size()), &text,
                DT_CENTER | DT_WORDBREAK | DT_NOPREFIX);
    if (old) ::SelectObject(dc, old);
    return;
  }
  if (framed_ == 0 && ::GetFocus() == hwnd_) {
    // Focused with no cell framed yet: the focus shows round the whole grid.
    RECT focus;
    ::GetClientRect(hwnd_, &focus);
    ::InflateRect(&focus, -1, -1);
    ::DrawFocusRect(dc, &focus);
  }
  const int offset = DipToPx(main_design::kIconOffsetPx, dpi_);
  if (loading()) WantCellsInView();
  const auto [first, last] = VisibleCells(metrics_, count(), scrollValue_);
  for (std::int64_t k = first; k <= last; ++k) {
    const RECT cell = CellRect(k);
    RECT visible;
    if (!::IntersectRect(&visible, &cell, &clip)) continue;
    const int picture = pictures_[static_cast<std::size_t>(k - 1)];
    if (picture >= 0) {
      ::ImageList_Draw(images_.get(), picture, dc, cell.left + offset, cell.top + offset, ILD_TRANSPARENT);
    }
    if (k == framed_) {
      // The framed cell's single line, and inside it the focus.
      ::FrameRect(dc, &cell, ::GetSysColorBrush(COLOR_WINDOWTEXT));
      if (::GetFocus() == hwnd_) {
        RECT focus = cell;
        ::InflateRect(&focus, -DipToPx(2, dpi_), -DipToPx(2, dpi_));
        ::DrawFocusRect(dc, &focus);
      }
    }
  }
}

void IconGrid::OnKey(WPARAM key) {
  if (count() == 0) return;
  const std::int64_t current = framed_;
  if (key == VK_SPACE || key == VK_RETURN) {
    if (current >= 1) listener_.OnIconChosen(current);
    return;
  }
  const std::int64_t page = std::max<std::int64_t>(1, metrics_.viewportInnerHeight / metrics_.cellHeight);
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
    case VK_PRIOR:
      next = current - page * metrics_.columns;
      break;
    case VK_NEXT:
      next = current + page * metrics_.columns;
      break;
    case VK_HOME:
      next = 1;
      break;
    case VK_END:
      next = count();
      break;
    default:
      return;
  }
  // The first key frames the first cell.
  if (current < 1) next = 1;
  Frame(std::clamp<std::int64_t>(next, 1, count()));
}

LRESULT IconGrid::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  if (feed_.HandleMessage(msg, wp, [this] { OnIconsDone(); })) return 0;
  switch (msg) {
    case kIconsWanted:
      OnIconsWanted();
      return 0;
    case WM_DESTROY:
      feed_.Detach();
      CancelLoading();
      break;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      const HDC dc = ::BeginPaint(hwnd_, &ps);
      Paint(dc, ps.rcPaint);
      ::EndPaint(hwnd_, &ps);
      return 0;
    }
    case WM_SIZE:
      LayOut();
      return 0;
    case WM_LBUTTONDOWN:
      ::SetFocus(hwnd_);
      // A new press: a release that ended a double-click outside the grid
      // never came, and must not cost this click.
      skipNextUp_ = false;
      return 0;
    case WM_LBUTTONUP:
      if (std::exchange(skipNextUp_, false)) return 0;
      if (const auto k = CellAt({GET_X_LPARAM(lp), GET_Y_LPARAM(lp)})) Frame(k);
      return 0;
    case WM_LBUTTONDBLCLK:
      ::SetFocus(hwnd_);
      skipNextUp_ = true;
      if (const auto k = CellAt({GET_X_LPARAM(lp), GET_Y_LPARAM(lp)})) {
        Frame(k);
        listener_.OnIconChosen(k);
      }
      return 0;
    case WM_GETDLGCODE: {
      LRESULT code = DLGC_WANTARROWS | DLGC_WANTCHARS;
      // Enter chooses the framed icon rather than going to the window.
      if (const auto* m = reinterpret_cast<const MSG*>(lp);
          m && m->message == WM_KEYDOWN && m->wParam == VK_RETURN)
        code |= DLGC_WANTMESSAGE;
      return code;
    }
    case WM_KEYDOWN:
      OnKey(wp);
      return 0;
    case WM_SETFOCUS:
      ::InvalidateRect(hwnd_, nullptr, FALSE);
      ::NotifyWinEvent(EVENT_OBJECT_FOCUS, hwnd_, OBJID_CLIENT, CHILDID_SELF);
      return 0;
    case WM_KILLFOCUS:
      ::InvalidateRect(hwnd_, nullptr, FALSE);
      return 0;
    case WM_MOUSEWHEEL: {
      // A notch towards the user shows the next row; finer wheels add up to it.
      wheelDelta_ += GET_WHEEL_DELTA_WPARAM(wp);
      const int rows = wheelDelta_ / WHEEL_DELTA;
      wheelDelta_ -= rows * WHEEL_DELTA;
      if (rows) SetScrollValue(scrollValue_ - rows * metrics_.cellHeight);
      return 0;
    }
  }
  return Default(msg, wp, lp);
}

}  // namespace tarrow::app
