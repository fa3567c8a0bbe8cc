#include "app/progress_window.h"

#include <commctrl.h>

#include <algorithm>

#include "app/layout.h"

namespace tarrow::app {
namespace {
constexpr wchar_t kClassName[] = L"TarrowProgress";
}

ProgressWindow::~ProgressWindow() {
  if (hwnd_) ::DestroyWindow(hwnd_);
}

void ProgressWindow::Create() {
  RegisterClassOnce(kClassName, &Proc, ::GetSysColorBrush(COLOR_BTNFACE));
  // A fixed tool window: narrow caption with a close button, not sizable,
  // and, having no owner, not in the taskbar.
  ::CreateWindowExW(WS_EX_TOOLWINDOW, kClassName, L"Please Wait", WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, 0, 0,
                    0, nullptr, nullptr, ::GetModuleHandleW(nullptr), this);
  if (!hwnd_) return;
  picture_ = ::CreateWindowExW(0, WC_STATICW, L"", WS_CHILD | WS_VISIBLE | SS_ICON | SS_REALSIZECONTROL, 0, 0,
                               0, 0, hwnd_, nullptr, nullptr, nullptr);
  label_ = ::CreateWindowExW(0, WC_STATICW, L"Enumerating File Types...", WS_CHILD | WS_VISIBLE | SS_LEFT, 0,
                             0, 0, 0, hwnd_, nullptr, nullptr, nullptr);
  bar_ = ::CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, hwnd_, nullptr,
                           nullptr, nullptr);
  ::SendMessageW(bar_, PBM_SETRANGE32, 0, max_);
  ::SendMessageW(bar_, PBM_SETPOS, value_, 0);
  Layout();
}

void ProgressWindow::Layout() {
  using namespace progress_design;
  const UINT dpi = DpiOf(hwnd_);
  // The panel behind the controls is the window's own background here; it is
  // larger than the client area only to be clipped, so nothing is lost.
  SetClientSize(hwnd_, TwipsToPx(kClientWidth, dpi), TwipsToPx(kClientHeight, dpi));
  CentreOnMonitor(hwnd_);

  auto place = [dpi](HWND control, const TwipsRect& r) {
    const RECT px = ToPixels(r, dpi);
    ::MoveWindow(control, px.left, px.top, px.right - px.left, px.bottom - px.top, TRUE);
  };
  place(picture_, Picture3);
  place(label_, Label2);
  place(bar_, ProgressBar1);

  icon_.reset(LoadProgramIcon(TwipsToPx(Picture3.width, dpi)));
  ::SendMessageW(picture_, STM_SETICON, reinterpret_cast<WPARAM>(icon_.get()), 0);
  LOGFONTW font{};
  font.lfHeight = -PointsToPx(12, dpi);
  font.lfWeight = FW_BOLD;
  font.lfQuality = CLEARTYPE_QUALITY;
  wcscpy_s(font.lfFaceName, L"Microsoft Sans Serif");
  boldFont_.reset(::CreateFontIndirectW(&font));
  ::SendMessageW(label_, WM_SETFONT, reinterpret_cast<WPARAM>(boldFont_.get()), TRUE);
}

void ProgressWindow::Show() {
  if (!hwnd_) Create();
  ::ShowWindow(hwnd_, SW_SHOW);
  ::UpdateWindow(hwnd_);
}

void ProgressWindow::Hide() {
  if (hwnd_) ::ShowWindow(hwnd_, SW_HIDE);
}

void ProgressWindow::SetMax(int max) {
  if (max <= 0) return;  // a bar without range keeps its previous one
  max_ = max;
  shownFill_ = -1;
  if (bar_) ::SendMessageW(bar_, PBM_SETRANGE32, 0, max_);
}

void ProgressWindow::SetValue(int value) {
  value_ = value;
  if (!bar_) return;
  // The scan sets a value for every registry key; repainting the bar for a
  // step too small to see would cost more than the scan itself.
  RECT bar;
  ::GetClientRect(bar_, &bar);
  const int fill = ::MulDiv(value_, bar.right, std::max(max_, 1));
  if (fill == shownFill_) return;
  shownFill_ = fill;
  ::SendMessageW(bar_, PBM_SETPOS, value_, 0);
}

int ProgressWindow::max() const {
  return bar_ ? static_cast<int>(::SendMessageW(bar_, PBM_GETRANGE, FALSE, 0)) : max_;
}

int ProgressWindow::value() const {
  return value_;
}

LRESULT ProgressWindow::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CLOSE:
      // Closing the box does not stop the scan; it only stops showing it.
      Hide();
      return 0;
    case WM_DPICHANGED:
      Layout();
      return 0;
    case WM_CTLCOLORSTATIC:
      ::SetBkMode(reinterpret_cast<HDC>(wp), TRANSPARENT);
      return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
  }
  return Default(msg, wp, lp);
}

}  // namespace tarrow::app
