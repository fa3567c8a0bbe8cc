#include "app/window.h"

#include <commctrl.h>

#include "platform/win32/handles.h"

namespace tarrow::app {

ATOM RegisterClassOnce(const wchar_t* name, WNDPROC proc, HBRUSH background, HICON icon, UINT style) {
  WNDCLASSEXW wc{};
  if (::GetClassInfoExW(::GetModuleHandleW(nullptr), name, &wc)) return 1;
  wc.cbSize = sizeof wc;
  wc.style = style;
  wc.lpfnWndProc = proc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = background;
  wc.hIcon = icon;
  wc.lpszClassName = name;
  return ::RegisterClassExW(&wc);
}

HICON LoadProgramIcon(int sizePx) {
  // The resource holds every usual size; the nearest one is taken.
  return static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kProgramIconId),
                                         IMAGE_ICON, sizePx, sizePx, LR_DEFAULTCOLOR));
}

UINT DpiOf(HWND hwnd) {
  if (hwnd) {
    if (const UINT dpi = ::GetDpiForWindow(hwnd)) return dpi;
  }
  const win32::WindowDc screen(nullptr);
  const UINT dpi = static_cast<UINT>(::GetDeviceCaps(screen.get(), LOGPIXELSY));
  return dpi ? dpi : 96;
}

void SetClientSize(HWND hwnd, int width, int height) {
  // The frame as it is, rather than as metrics predict: both agree on
  // Windows, but only this holds while the frame is being rescaled.
  RECT window, client;
  ::GetWindowRect(hwnd, &window);
  ::GetClientRect(hwnd, &client);
  ::SetWindowPos(hwnd, nullptr, 0, 0, width + (window.right - window.left) - client.right,
                 height + (window.bottom - window.top) - client.bottom,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
}

void CentreOnMonitor(HWND hwnd) {
  RECT rect;
  ::GetWindowRect(hwnd, &rect);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  ::GetMonitorInfoW(::MonitorFromWindow(hwnd, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& work = monitor.rcWork;
  const LONG width = rect.right - rect.left, height = rect.bottom - rect.top;
  ::SetWindowPos(hwnd, nullptr, work.left + (work.right - work.left - width) / 2,
                 work.top + (work.bottom - work.top - height) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

std::wstring WindowText(HWND hwnd) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return text;
}

}  // namespace tarrow::app
