// The sizes Explorer draws a type's icon at, and which of them the icon file
// holds: what the preview beside the grid shows of the framed icon.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "platform/os.h"

namespace tarrow {

// At 96 DPI: details and small icons, medium, large, and extra large views.
inline constexpr std::array<int, 4> kExplorerIconSizes = {16, 32, 48, 256};

struct PreviewSize {
  int px = 0;         // drawn at, for the window's DPI
  bool held = false;  // the icon holds an image of exactly this size
  int from = 0;       // when not held: the size Windows scales from; 0 when the icon has no image
  bool operator==(const PreviewSize&) const = default;
};

// Each of Explorer's sizes at `dpi`, held or scaled. Windows takes the image
// closest to the size wanted, and of two as close the larger, which loses
// less when scaled down (at 144 DPI, 24 pixels come from 32, not 16); only
// square images count, as only they are drawn unstretched.
std::array<PreviewSize, kExplorerIconSizes.size()> PreviewSizes(const std::vector<IconImageSize>& images,
                                                                int dpi);

// "Holds 16, 32, 48 and 256 pixels.": the icon's own sizes, each once,
// smallest first, a non-square one as "194x313"; "Holds no images." when none.
std::wstring HeldSizesText(const std::vector<IconImageSize>& images);

// "24 px: held", "384 px: scaled from 256": one size's caption; "24 px: no
// image" when the icon has none.
std::wstring PreviewCaption(const PreviewSize& size);

}  // namespace tarrow
