// The windows' designs: every control's place and size in twips (15 to a
// pixel at 96 DPI), converted and scaled by the window's DPI in one place.
#pragma once

#include <windows.h>

#include "picker/grid.h"

namespace tarrow::app {

struct TwipsRect {
  int left, top, width, height;
};

inline int TwipsToPx(int twips, UINT dpi) {
  return static_cast<int>(TwipsToPixels(twips, static_cast<int>(dpi)));
}
inline int PointsToPx(double points, UINT dpi) {
  return static_cast<int>(points * dpi / 72.0 + 0.5);
}
inline int DipToPx(int dip, UINT dpi) {
  return ::MulDiv(dip, static_cast<int>(dpi), 96);
}

inline RECT ToPixels(const TwipsRect& r, UINT dpi) {
  const int left = TwipsToPx(r.left, dpi), top = TwipsToPx(r.top, dpi);
  return {left, top, left + TwipsToPx(r.width, dpi), top + TwipsToPx(r.height, dpi)};
}

// The main window's places are in picker/window_layout.h; these are the
// icon grid's drawing offsets.
namespace main_design {
inline constexpr int kBorderFramePx = 2;  // the viewport's sunken frame, each side, at 96 DPI
inline constexpr int kIconOffsetPx = 5;   // where a grid icon sits in its cell, at 96 DPI
}  // namespace main_design

// The progress box.
namespace progress_design {
inline constexpr int kClientWidth = 4665, kClientHeight = 1200;
inline constexpr TwipsRect picProg{0, 0, 4695, 1335};
inline constexpr TwipsRect Picture3{360, 120, 480, 480};
inline constexpr TwipsRect ProgressBar1{120, 720, 4455, 375};
inline constexpr TwipsRect Label2{960, 240, 3465, 300};
}  // namespace progress_design

}  // namespace tarrow::app
