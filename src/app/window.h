// The one place that maps a window handle to its object: `this` is stored at
// WM_NCCREATE and cleared at WM_NCDESTROY; messages go to HandleMessage.
#pragma once

#include <windows.h>

#include <string>

namespace tarrow::app {

// Registers a window class once per process.
ATOM RegisterClassOnce(const wchar_t* name, WNDPROC proc, HBRUSH background, HICON icon = nullptr,
                       UINT style = 0);

template <typename Derived>
class Window {
 public:
  HWND hwnd() const { return hwnd_; }

 protected:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Derived* self = nullptr;
    if (msg == WM_NCCREATE) {
      self = static_cast<Derived*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
      self->hwnd_ = hwnd;
      ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
      self = reinterpret_cast<Derived*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    if (!self) return ::DefWindowProcW(hwnd, msg, wp, lp);
    if (msg == WM_NCDESTROY) {
      ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      const LRESULT result = self->HandleMessage(msg, wp, lp);
      self->hwnd_ = nullptr;
      return result;
    }
    return self->HandleMessage(msg, wp, lp);
  }

  LRESULT Default(UINT msg, WPARAM wp, LPARAM lp) { return ::DefWindowProcW(hwnd_, msg, wp, lp); }

  // A window that only receives messages, of a class of its own: where a
  // worker's results are brought to the window's thread.
  bool CreateMessageOnly(const wchar_t* className) {
    RegisterClassOnce(className, &Proc, nullptr);
    ::CreateWindowExW(0, className, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ::GetModuleHandleW(nullptr),
                      static_cast<Derived*>(this));
    return hwnd_ != nullptr;
  }

  HWND hwnd_ = nullptr;
};

// The program icon at a size, from the resources.
HICON LoadProgramIcon(int sizePx);
inline constexpr int kProgramIconId = 1;

// The DPI of a window, or of the system when the window has none yet.
UINT DpiOf(HWND hwnd);

// Sizes a window so that its client area is width x height, whatever its
// frame takes.
void SetClientSize(HWND hwnd, int width, int height);

// Moves a top-level window to the centre of its monitor's work area.
void CentreOnMonitor(HWND hwnd);

// A window's or control's text, whole.
std::wstring WindowText(HWND hwnd);

}  // namespace tarrow::app
