#include "app/icon_grid.h"

#include <windowsx.h>

#include <algorithm>
#include <limits>
#include <set>
#include <utility>

#include "app/layout.h"
#include "picker/grid_runs.h"
#include "picker/grid_text.h"

namespace tarrow::app {

namespace {
constexpr UINT kIconsDone = WM_APP + 1;  // the loader has results
constexpr UINT_PTR kDeliveryTimer = 1;
// Extracting and reading a big file's icons is the grid's whole cost: two
// threads share it.
constexpr int kGridWorkers = 2;
// Screens drawn ahead on each side of the view, so that a page or a few rows
// either way show at once; and screens kept before pictures are let go, so
// that scrolling back and forth draws nothing twice.
constexpr std::int64_t kScreensAhead = 2;
constexpr std::int64_t kScreensKept = 3;
}  // namespace

IconGrid::IconGrid(Os& os, IconGridListener& listener)
    // A picture is read through the files, as the shell reads the rest.
    : listener_(listener),
      iconSource_(os.shell, &os.files),
      feed_(iconSource_, kIconsDone, kDeliveryTimer, kGridWorkers) {}

bool IconGrid::Create(HWND parent, int id) {
  RegisterClassOnce(kIconGridClass, &Proc, ::GetSysColorBrush(COLOR_WINDOW), nullptr, CS_DBLCLKS);
  ::CreateWindowExW(WS_EX_CLIENTEDGE, kIconGridClass, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL, 0,
                    0, 0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                    ::GetModuleHandleW(nullptr), this);
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
  RequestRunsAroundView();
  ::InvalidateRect(hwnd_, nullptr, TRUE);
}

void IconGrid::ApplyScrollSettings() {
  // Without a range the bar keeps its change amounts, as it would refuse 0.
  if (layout_.scroll.LargeChange) largeChange_ = *layout_.scroll.LargeChange;
  if (layout_.scroll.SmallChange) smallChange_ = *layout_.scroll.SmallChange;
  scrollValue_ = std::clamp<std::int64_t>(scrollValue_, 0, layout_.scroll.Max);
  // Disabled rather than hidden without a range: a bar that came and went
  // would change the width the columns are laid out in.
  SCROLLINFO si{sizeof si, SIF_ALL | SIF_DISABLENOSCROLL, 0, 0, 0, 0, 0};
  // Win32 counts the page into the range; the value runs from 0 to Max.
  si.nPage = static_cast<UINT>(std::max<std::int64_t>(layout_.scroll.Page, 1));
  si.nMax = static_cast<int>(layout_.scroll.Max + si.nPage - 1);
  si.nPos = static_cast<int>(scrollValue_);
  ::SetScrollInfo(hwnd_, SB_VERT, &si, TRUE);
}

void IconGrid::Load(const std::wstring& file) {
  CancelLoading();
  file_ = file;
  runs_.clear();
  iconCount_ = 0;
  emptyText_.clear();
  scrollValue_ = 0;
  frameWhenCounted_ = 0;
  scrollWhenCounted_ = 0;
  // The count comes with the first run, in one trip through a worker, while
  // the other worker draws the next: the first screen waits for nothing
  // else.
  counting_ = !file.empty();
  if (counting_) runs_[0].job = feed_.loader().Request({file, 0, kRunCells, IconPx(), true});
  LayOut();
  Frame(0);
}

bool IconGrid::loading() const {
  return counting_ ||
         std::any_of(runs_.begin(), runs_.end(), [](const auto& run) { return !run.second.drawn; });
}

void IconGrid::CancelLoading() {
  feed_.loader().Cancel();
  counting_ = false;
  // What was drawn stays; what was not never comes.
  std::erase_if(runs_, [](const auto& run) { return !run.second.drawn; });
}

void IconGrid::RequestRunsAroundView() {
  if (file_.empty() || !hwnd_) return;
  // While counting: as many cells as the view could show.
  const std::int64_t cells = counting_ ? std::numeric_limits<int>::max() : iconCount_;
  const std::int64_t scroll = counting_ ? scrollWhenCounted_ : scrollValue_;
  const auto [first, last] = VisibleCells(metrics_, cells, scroll);
  const std::int64_t screen = std::max<std::int64_t>(last - first + 1, 0);
  std::set<std::int64_t> asked;
  for (const auto& run : runs_) asked.insert(run.first);
  const RunPlan plan =
      PlanRuns(cells, {first - 1, last - 1}, asked, kRunCells, kScreensAhead * screen, kScreensKept * screen);

  IconLoader& loader = feed_.loader();
  // Withdrawn, drawn or not: asked for again, a run is drawn again.
  std::vector<IconJobId> dropped;
  for (const std::int64_t run : plan.drop) {
    if (counting_ && run == 0) continue;  // it brings the count
    const auto found = runs_.find(run);
    dropped.push_back(found->second.job);
    runs_.erase(found);
  }
  if (!dropped.empty()) loader.Withdraw(dropped);
  // The runs around the view wait until the view is drawn: until then the
  // workers, and the machine's cores, are the view's alone.
  const auto inView = [&plan](std::int64_t run) {
    return std::find(plan.inView.begin(), plan.inView.end(), run) != plan.inView.end();
  };
  const bool viewDrawn = std::all_of(plan.inView.begin(), plan.inView.end(), [this](std::int64_t run) {
    const auto found = runs_.find(run);
    return found != runs_.end() && found->second.drawn;
  });
  for (const std::int64_t run : plan.request) {
    if (!viewDrawn && !inView(run)) continue;
    runs_[run].job = loader.Request({file_, static_cast<int>(run * kRunCells), kRunCells, IconPx()});
  }
  std::vector<IconJobId> viewFirst;
  for (const std::int64_t run : plan.inView) {
    if (const Run& r = runs_[run]; !r.drawn) viewFirst.push_back(r.job);
  }
  loader.Prioritise(viewFirst);
}

void IconGrid::OnCounted(int total) {
  counting_ = false;
  iconCount_ = std::max(total, 0);
  scrollValue_ = scrollWhenCounted_;
  LayOut();
  SetScrollValue(scrollWhenCounted_);
  if (frameWhenCounted_) Frame(frameWhenCounted_);
  Announce();
  listener_.OnIconsCounted(iconCount_);
}

void IconGrid::OnIconsDone() {
  for (IconResult& result : feed_.loader().TakeResults(kIconsPerSlice)) {
    if (result.counted()) OnCounted(result.total);
    OnRunDone(result);
  }
}

void IconGrid::OnRunDone(IconResult& result) {
  const auto found = runs_.find(result.request.first / kRunCells);
  if (found != runs_.end() && found->second.job == result.id) {
    Run& run = found->second;
    std::vector<const IconPixels*> pixels;
    for (const auto& drawn : result.pixels) pixels.push_back(drawn ? &*drawn : nullptr);
    // The list copies them, so the icons can go at once.
    run.images.Reset(IconPx());
    run.pictures = run.images.AddPictures(result.icons, pixels);
    run.drawn = true;
    const auto [first, last] = VisibleCells(metrics_, count(), scrollValue_);
    if (result.request.first < last && result.request.first + result.request.count >= first) {
      ::InvalidateRect(hwnd_, nullptr, FALSE);
      // The last of the view's runs lets those around it go to the workers.
      RequestRunsAroundView();
    }
  }
  // Scrolled away from, or drawn: either way the icons are done with.
  for (const IconHandle icon : result.icons) feed_.loader().Release(icon);
}

bool IconGrid::HasPicture(std::int64_t cell) const {
  if (cell < 1 || cell > count()) return false;
  const auto found = runs_.find((cell - 1) / kRunCells);
  if (found == runs_.end() || !found->second.drawn) return false;
  const auto& pictures = found->second.pictures;
  const auto k = static_cast<std::size_t>((cell - 1) % kRunCells);
  return k < pictures.size() && pictures[k] >= 0;
}

int IconGrid::picturesHeld() const {
  int held = 0;
  for (const auto& run : runs_) {
    if (run.second.images.get()) held += ::ImageList_GetImageCount(run.second.images.get());
  }
  return held;
}

void IconGrid::SetEmptyText(const std::wstring& text) {
  emptyText_ = text;
  Announce();
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
  // The window's text is the name a screen reader reads for the control:
  // an empty grid says why, as it does on screen.
  const std::wstring name =
      count() == 0 && !emptyText_.empty() ? emptyText_ : GridAccessibleName(framed_, count());
  ::SetWindowTextW(hwnd_, name.c_str());
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
  ::SetScrollPos(hwnd_, SB_VERT, static_cast<int>(value), TRUE);
  if (!changed) return;
  ::InvalidateRect(hwnd_, nullptr, TRUE);
  RequestRunsAroundView();
}

void IconGrid::OnScroll(WPARAM wp) {
  SCROLLINFO si{sizeof si, SIF_TRACKPOS, 0, 0, 0, 0, 0};
  ::GetScrollInfo(hwnd_, SB_VERT, &si);
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

void IconGrid::PaintEmptyText(HDC dc) {
  RECT text;
  ::GetClientRect(hwnd_, &text);
  ::InflateRect(&text, -DipToPx(8, dpi_), -DipToPx(8, dpi_));
  const HGDIOBJ old = font_ ? ::SelectObject(dc, font_) : nullptr;
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, ::GetSysColor(COLOR_GRAYTEXT));
  ::DrawTextW(dc, emptyText_.c_str(), static_cast<int>(emptyText_.size()), &text,
              DT_CENTER | DT_WORDBREAK | DT_NOPREFIX);
  if (old) ::SelectObject(dc, old);
}

void IconGrid::Paint(HDC dc, const RECT& clip) {
  if (count() == 0) {
    if (!emptyText_.empty()) PaintEmptyText(dc);
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
  const auto [first, last] = VisibleCells(metrics_, count(), scrollValue_);
  for (std::int64_t k = first; k <= last; ++k) {
    const RECT cell = CellRect(k);
    RECT visible;
    if (!::IntersectRect(&visible, &cell, &clip)) continue;
    if (HasPicture(k)) {
      const Run& run = runs_.at((k - 1) / kRunCells);
      const int picture = run.pictures[static_cast<std::size_t>((k - 1) % kRunCells)];
      ::ImageList_Draw(run.images.get(), picture, dc, cell.left + offset, cell.top + offset, ILD_TRANSPARENT);
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
    case WM_PRINTCLIENT: {
      // Into another's device context: a window shown in a picture of it.
      RECT client;
      ::GetClientRect(hwnd_, &client);
      Paint(reinterpret_cast<HDC>(wp), client);
      return 0;
    }
    case WM_SIZE:
      LayOut();
      return 0;
    case WM_VSCROLL:
      OnScroll(wp);
      return 0;
    case WM_SETFONT:
      font_ = reinterpret_cast<HFONT>(wp);
      if (LOWORD(lp)) ::InvalidateRect(hwnd_, nullptr, TRUE);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(font_);
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
