// The icon grid's geometry and scroll settings, in twips. Pure arithmetic, so
// the window only places cells and sets the scroll bar from these figures.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace tarrow {

// Sizes the grid is laid out with; the defaults are the window's design sizes.
struct GridMetrics {
  std::int64_t cellWidth = 585;   // twips, the design cell
  std::int64_t cellHeight = 615;  // twips
  std::int64_t columns = 7;
  std::int64_t viewportHeight = 1305;       // the viewport with its frame
  std::int64_t viewportInnerHeight = 1245;  // inside its frame
};

struct CellPosition {
  std::int64_t Left = 0;
  std::int64_t Top = 0;
  bool operator==(const CellPosition&) const = default;
};

// What the build sets on the grid's scroll bar: an arrow moves one row, a
// page the whole rows in view, and the thumb is as long as the view is of the
// sheet. Without a range the change amounts are nullopt: the bar keeps the
// amounts it had.
struct ScrollSettings {
  std::int64_t Max = 0;
  std::optional<std::int64_t> LargeChange;
  std::optional<std::int64_t> SmallChange;
  std::int64_t Page = 0;  // the part of the sheet in view
  bool operator==(const ScrollSettings&) const = default;
};

struct GridLayout {
  std::vector<CellPosition> cells;  // cells[k - 1] is cell k, which shows icon k - 1
  std::int64_t sheetHeight = 0;     // Picture1.Height
  ScrollSettings scroll;
};

// As many whole cells as fit across the viewport's inner width, at least one.
std::int64_t ColumnsFor(const GridMetrics& metrics, std::int64_t innerWidth);

// Cell k (from 1) shows icon k - 1, `columns` to a row from the sheet's top left.
CellPosition CellPositionOf(const GridMetrics& metrics, std::int64_t k);

// The height of the rows in use; one row when there are no icons.
std::int64_t SheetHeight(const GridMetrics& metrics, std::int64_t iconCount);

// Scroll settings for a sheet of the given height.
ScrollSettings ScrollSettingsFor(const GridMetrics& metrics, std::int64_t sheetHeight);

GridLayout LayOutGrid(const GridMetrics& metrics, std::int64_t iconCount);

// Twips to pixels at `dpi` dots per inch, halves away from zero as MulDiv
// rounds them.
std::int64_t TwipsToPixels(std::int64_t twips, int dpi);

// The first and last cell (from 1) that show at least in part with the sheet
// moved `scroll` twips up; {1, 0} when none does.
std::pair<std::int64_t, std::int64_t> VisibleCells(const GridMetrics& metrics, std::int64_t iconCount,
                                                   std::int64_t scroll);

}  // namespace tarrow
