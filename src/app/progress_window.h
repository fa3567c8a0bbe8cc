// The progress window: the "Please Wait" box that a scan shows while it walks the
// registry. Created on first use, then only shown and hidden.
#pragma once

#include <windows.h>

#include "app/window.h"
#include "platform/win32/handles.h"

namespace tarrow::app {

class ProgressWindow : public Window<ProgressWindow> {
 public:
  ProgressWindow() = default;
  ProgressWindow(const ProgressWindow&) = delete;
  ProgressWindow& operator=(const ProgressWindow&) = delete;
  ~ProgressWindow();

  void Show();
  void Hide();
  void SetMax(int max);
  void SetValue(int value);
  // The bar's state, for tests.
  int max() const;
  int value() const;
  bool created() const { return hwnd_ != nullptr; }

 private:
  friend class Window<ProgressWindow>;
  void Create();
  void Layout();
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);

  HWND bar_ = nullptr;
  HWND label_ = nullptr;
  HWND picture_ = nullptr;
  win32::UniqueFont boldFont_;
  win32::UniqueHicon icon_;
  int max_ = 100;
  int value_ = 0;
  int shownFill_ = -1;  // pixels of the bar filled on screen
};

}  // namespace tarrow::app
