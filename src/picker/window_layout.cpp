#include "picker/window_layout.h"

#include <algorithm>

#include "picker/grid.h"

namespace tarrow {
namespace {

// How a part follows the growth of the client area.
enum class Across { Stay, Move, Grow };
// Down: the grid takes what eight rows of icons need first; of the rest the
// list takes the upper half, the grid the other.
enum class Down { Stay, GrowHalf, MoveHalf, MoveHalfGrowRest, Move, Grow };

struct PartDesign {
  Box twips;
  Across across;
  Down down;
};

constexpr std::array<PartDesign, kPartCount> kDesign = {{
    {{120, 435, 660, 255}, Across::Stay, Down::Stay},                 // SearchLabel
    {{780, 390, 3795, 285}, Across::Grow, Down::Stay},                // Search
    {{120, 120, 2175, 255}, Across::Stay, Down::Stay},                // TypesLabel
    {{120, 720, 4455, 2175}, Across::Grow, Down::GrowHalf},           // TypeList
    {{2295, 120, 2280, 255}, Across::Move, Down::Stay},               // TypeCount
    {{1320, 3000, 3255, 240}, Across::Move, Down::MoveHalf},          // ShowTypesWithoutIcon: above Browse
    {{120, 3000, 1095, 255}, Across::Stay, Down::MoveHalf},           // IconFileLabel: room for the box
    {{120, 3255, 3375, 285}, Across::Grow, Down::MoveHalf},           // IconFile
    {{3600, 3240, 975, 285}, Across::Move, Down::MoveHalf},           // Browse
    {{4275, 3615, 300, 1305}, Across::Move, Down::MoveHalfGrowRest},  // GridScroll
    {{120, 3600, 4170, 1305}, Across::Grow, Down::MoveHalfGrowRest},  // IconGrid
    {{120, 4985, 1695, 375}, Across::Stay, Down::Move},               // Restore
    {{2280, 4985, 855, 375}, Across::Move, Down::Move},               // Refresh
    {{3240, 4985, 615, 375}, Across::Move, Down::Move},               // Apply
    {{3960, 4985, 615, 375}, Across::Move, Down::Move},               // Exit
    {{0, 5520, 4695, 255}, Across::Grow, Down::Move},                 // Credit
    {{0, 5790, 4725, 300}, Across::Grow, Down::Move},                 // Status
    {{4725, 0, 4080, 5790}, Across::Move, Down::Grow},                // Preview: 256 pixels and a margin
}};

int Px(int twips, int dpi) {
  return static_cast<int>(TwipsToPixels(twips, dpi));
}

// Eight rows of 615 twips inside the grid, whose design shows 1,245.
constexpr int kEightGridRowsTwips = 8 * 615 - 1245;
// A list this wide shows every column readable: descriptions, "Extension"
// beside the sort arrow, and most icon locations whole.
constexpr int kReadableListTwips = 8250;
// What a first run gives the list in height beyond the design, besides the
// grid's eight rows.
constexpr int kFirstRunListTwips = 1500;

// How much wider than the design the window must be for the preview: its
// own width, and the list still readable beside it.
int PreviewNeeds(int dpi) {
  const int list = Px(DesignBox(Part::TypeList).width, dpi);
  return Px(DesignBox(Part::Preview).width, dpi) + std::max(0, Px(kReadableListTwips, dpi) - list);
}

}  // namespace

Box DesignBox(Part part) {
  return kDesign[static_cast<std::size_t>(part)].twips;
}

int DefaultClientWidth(int dpi) {
  return Px(kDesignClientWidth, dpi);
}
int DefaultClientHeight(int dpi) {
  return Px(kDesignClientHeight, dpi);
}

ClientSize FirstRunClientSize(int mostWidth, int mostHeight, int dpi) {
  // Readable columns, and room for the preview beside them where the
  // screen has it.
  const int readable =
      DefaultClientWidth(dpi) + std::max(0, Px(kReadableListTwips - DesignBox(Part::TypeList).width, dpi));
  const int withPreview = DefaultClientWidth(dpi) + PreviewNeeds(dpi);
  const int width = withPreview <= mostWidth ? withPreview : std::min(readable, mostWidth);
  const int height =
      std::min(Px(kDesignClientHeight + kEightGridRowsTwips + 2 * kFirstRunListTwips, dpi), mostHeight);
  return {std::max(width, DefaultClientWidth(dpi)), std::max(height, DefaultClientHeight(dpi))};
}

std::array<int, 3> ListColumnWidths(int width, int dpi) {
  const auto dip = [dpi](int value) { return value * dpi / 96; };
  // "Extension" and the sort arrow beside it, whole.
  const int extension = dip(92);
  const int rest = std::max(width - extension, 0);
  const int location = std::max(dip(80), rest * 45 / 100);
  return {std::max(rest - location, dip(60)), extension, location};
}

WindowLayout LayOutWindow(int width, int height, int dpi, bool previewWanted) {
  const int previewWidth = Px(DesignBox(Part::Preview).width, dpi);
  int dx = std::max(0, width - DefaultClientWidth(dpi));
  const bool previewShown = previewWanted && dx >= PreviewNeeds(dpi);
  if (previewShown) dx -= previewWidth;
  const int dy = std::max(0, height - DefaultClientHeight(dpi));
  const int gridFirst = std::min(dy, Px(kEightGridRowsTwips, dpi));
  const int upper = (dy - gridFirst) / 2, lower = dy - upper;
  WindowLayout layout;
  for (std::size_t i = 0; i < kPartCount; ++i) {
    if (static_cast<Part>(i) == Part::Preview && !previewShown) continue;
    const PartDesign& part = kDesign[i];
    Box box{Px(part.twips.left, dpi), Px(part.twips.top, dpi), Px(part.twips.width, dpi),
            Px(part.twips.height, dpi)};
    if (part.across == Across::Move) box.left += dx;
    if (part.across == Across::Grow) box.width += dx;
    // The status line runs under the preview too.
    if (previewShown && static_cast<Part>(i) == Part::Status) box.width += previewWidth;
    switch (part.down) {
      case Down::Stay:
        break;
      case Down::GrowHalf:
        box.height += upper;
        break;
      case Down::MoveHalf:
        box.top += upper;
        break;
      case Down::MoveHalfGrowRest:
        box.top += upper;
        box.height += lower;
        break;
      case Down::Move:
        box.top += dy;
        break;
      case Down::Grow:
        box.height += dy;
        break;
    }
    layout[i] = box;
  }
  return layout;
}

std::wstring FormatPlacement(const Placement& p) {
  return std::to_wstring(p.left) + L"," + std::to_wstring(p.top) + L"," + std::to_wstring(p.width) + L"," +
         std::to_wstring(p.height) + L"," + (p.maximized ? L"1" : L"0") + L"," + std::to_wstring(p.dpi);
}

std::optional<Placement> ParsePlacement(std::wstring_view text) {
  long long numbers[6];
  std::size_t count = 0;
  std::size_t pos = 0;
  while (count < 6) {
    bool negative = false;
    if (pos < text.size() && text[pos] == L'-') {
      negative = true;
      ++pos;
    }
    const std::size_t digits = pos;
    long long value = 0;
    while (pos < text.size() && text[pos] >= L'0' && text[pos] <= L'9' && pos - digits < 9) {
      value = value * 10 + (text[pos] - L'0');
      ++pos;
    }
    if (pos == digits) return std::nullopt;
    numbers[count++] = negative ? -value : value;
    if (count < 6) {
      if (pos >= text.size() || text[pos] != L',') return std::nullopt;
      ++pos;
    }
  }
  if (pos != text.size()) return std::nullopt;
  Placement p{static_cast<int>(numbers[0]),
              static_cast<int>(numbers[1]),
              static_cast<int>(numbers[2]),
              static_cast<int>(numbers[3]),
              numbers[4] != 0,
              static_cast<int>(numbers[5])};
  if (p.width <= 0 || p.height <= 0 || p.dpi <= 0 || numbers[4] < 0 || numbers[4] > 1) return std::nullopt;
  return p;
}

}  // namespace tarrow
