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

// frmFileIcons. Positions are inside each control's container.
namespace main_design {
inline constexpr int kClientWidth = 4725, kClientHeight = 5430;
inline constexpr TwipsRect picIcon{2640, 6840, 550, 550};
inline constexpr TwipsRect picMain{0, 0, 4695, 5055};
inline constexpr TwipsRect Command5{2280, 4625, 855, 375};
inline constexpr TwipsRect Command3{120, 4625, 1695, 375};
inline constexpr TwipsRect Command1{3240, 4625, 615, 375};
inline constexpr TwipsRect Filename{120, 2895, 3375, 285};
inline constexpr TwipsRect cmdCancel{3960, 4625, 615, 375};
inline constexpr TwipsRect Browse{3600, 2880, 975, 285};
inline constexpr TwipsRect VScroll1{4275, 3255, 300, 1305};
inline constexpr TwipsRect Border{120, 3240, 4170, 1305};
inline constexpr TwipsRect Picture1{0, 0, 4110, 1815};
inline constexpr TwipsRect Iconbox0{0, 0, 585, 615};
inline constexpr TwipsRect ListView1{120, 360, 4455, 2175};
inline constexpr TwipsRect Label1{120, 120, 2175, 255};
inline constexpr TwipsRect Filenamelabel{120, 2640, 2055, 255};
inline constexpr TwipsRect Label2{0, 5160, 4695, 255};
inline constexpr int kBorderFramePx = 2;  // the viewport's sunken frame, each side, at 96 DPI
inline constexpr int kIconOffsetPx = 5;   // where a grid icon sits in its cell, at 96 DPI
}  // namespace main_design

// frmProg.
namespace progress_design {
inline constexpr int kClientWidth = 4665, kClientHeight = 1200;
inline constexpr TwipsRect picProg{0, 0, 4695, 1335};
inline constexpr TwipsRect Picture3{360, 120, 480, 480};
inline constexpr TwipsRect ProgressBar1{120, 720, 4455, 375};
inline constexpr TwipsRect Label2{960, 240, 3465, 300};
}  // namespace progress_design

}  // namespace tarrow::app
