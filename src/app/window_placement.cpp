#include "app/window_placement.h"

#include <algorithm>

#include "app/window.h"
#include "picker/window_layout.h"
#include "platform/registry.h"

namespace tarrow::app {
namespace {

RECT WorkAreaOf(HWND window) {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  ::GetMonitorInfoW(::MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor);
  return monitor.rcWork;
}

// A first run: centred, with room for the work where the screen has it.
void OpenAtFirstRunSize(HWND window, UINT dpi) {
  RECT frame, client;
  ::GetWindowRect(window, &frame);
  ::GetClientRect(window, &client);
  const int frameWidth = (frame.right - frame.left) - client.right;
  const int frameHeight = (frame.bottom - frame.top) - client.bottom;
  const RECT work = WorkAreaOf(window);
  const ClientSize size =
      FirstRunClientSize((work.right - work.left) * 2 / 3 - frameWidth,
                         (work.bottom - work.top) * 2 / 3 - frameHeight, static_cast<int>(dpi));
  SetClientSize(window, size.width, size.height);
  CentreOnMonitor(window);
}

}  // namespace

void WindowPlacement::Show(HWND window, UINT dpi) {
  shown_ = true;
  const auto saved = ParsePlacement(RegReadValue(registry_, kCurrentUser, kSettingsKey, kPlacementValue));
  if (saved) {
    // Pixels of the scale it was left at, at the scale it starts at.
    const auto scale = [&](int v) { return ::MulDiv(v, static_cast<int>(dpi), saved->dpi); };
    const RECT rect{saved->left, saved->top, saved->left + scale(saved->width),
                    saved->top + scale(saved->height)};
    // A place on a monitor that is gone is forgotten.
    if (::MonitorFromRect(&rect, MONITOR_DEFAULTTONULL)) {
      ::SetWindowPos(window, nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
      ::ShowWindow(window, saved->maximized ? SW_SHOWMAXIMIZED : SW_SHOW);
      ::UpdateWindow(window);
      return;
    }
  }
  OpenAtFirstRunSize(window, dpi);
  ::ShowWindow(window, SW_SHOW);
  ::UpdateWindow(window);
}

void WindowPlacement::Save(HWND window, UINT dpi) const {
  if (!shown_) return;
  WINDOWPLACEMENT wp{};
  wp.length = sizeof wp;
  if (!::GetWindowPlacement(window, &wp)) return;
  const RECT& r = wp.rcNormalPosition;
  const std::wstring text = FormatPlacement({r.left, r.top, r.right - r.left, r.bottom - r.top,
                                             wp.showCmd == SW_SHOWMAXIMIZED, static_cast<int>(dpi)});
  ScopedKey key(registry_);
  if (key.Create(kCurrentUser, kSettingsKey) != kSuccess) return;
  registry_.SetValue(key.get(), kPlacementValue, kRegSz, text.c_str(),
                     static_cast<std::uint32_t>((text.size() + 1) * sizeof(wchar_t)));
}

bool ReadWindowSwitch(Registry& registry, const wchar_t* name) {
  return RegReadValue(registry, kCurrentUser, kSettingsKey, name) == L"1";
}

void SaveWindowSwitch(Registry& registry, const wchar_t* name, bool on) {
  ScopedKey key(registry);
  if (key.Create(kCurrentUser, kSettingsKey) != kSuccess) return;
  registry.SetValue(key.get(), name, kRegSz, on ? L"1" : L"0", 2 * sizeof(wchar_t));
}

void WindowPlacement::KeepDesignMinimum(HWND window, UINT dpi, MINMAXINFO& info) {
  // The frame as it is, as SetClientSize measures it.
  RECT frame, client;
  ::GetWindowRect(window, &frame);
  ::GetClientRect(window, &client);
  info.ptMinTrackSize = {
      DefaultClientWidth(static_cast<int>(dpi)) + (frame.right - frame.left) - client.right,
      DefaultClientHeight(static_cast<int>(dpi)) + (frame.bottom - frame.top) - client.bottom};
}

void WindowPlacement::Rescale(HWND window, UINT oldDpi, UINT newDpi, const RECT& suggested) {
  RECT client;
  ::GetClientRect(window, &client);
  const auto scaled = [&](LONG px) {
    return ::MulDiv(px, static_cast<int>(newDpi), static_cast<int>(oldDpi));
  };
  const int width = std::max(scaled(client.right), DefaultClientWidth(static_cast<int>(newDpi)));
  const int height = std::max(scaled(client.bottom), DefaultClientHeight(static_cast<int>(newDpi)));
  ::SetWindowPos(window, nullptr, suggested.left, suggested.top, 0, 0,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOSIZE);
  SetClientSize(window, width, height);
}

}  // namespace tarrow::app
