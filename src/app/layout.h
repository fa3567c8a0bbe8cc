// The windows' designs: every control's place and size in twips (15 to a
// pixel at 96 DPI), converted and scaled by the window's DPI in one place.
#pragma once

#include <windows.h>

#include "picker/grid.h"

namespace tarrow::app {

inline int TwipsToPx(int twips, UINT dpi) {
  return static_cast<int>(TwipsToPixels(twips, static_cast<int>(dpi)));
}
inline int PointsToPx(double points, UINT dpi) {
  return static_cast<int>(points * dpi / 72.0 + 0.5);
}
inline int DipToPx(int dip, UINT dpi) {
  return ::MulDiv(dip, static_cast<int>(dpi), 96);
}

// The main window's places are in picker/window_layout.h; these are the
// icon grid's drawing offsets.
namespace main_design {
inline constexpr int kBorderFramePx = 2;  // the viewport's sunken frame, each side, at 96 DPI
inline constexpr int kIconOffsetPx = 5;   // where a grid icon sits in its cell, at 96 DPI
}  // namespace main_design

}  // namespace tarrow::app
