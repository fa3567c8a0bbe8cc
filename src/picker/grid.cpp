#include "picker/grid.h"

#include <algorithm>

namespace tarrow {

CellPosition CellPositionOf(const GridMetrics& metrics, std::int64_t k) {
  const std::int64_t position = k - 1;
  return {(position % metrics.columns) * metrics.cellWidth,
          (position / metrics.columns) * metrics.cellHeight};
}

std::int64_t SheetHeight(const GridMetrics& metrics, std::int64_t iconCount) {
  const std::int64_t rows = iconCount > 0 ? (iconCount + metrics.columns - 1) / metrics.columns : 1;
  return metrics.cellHeight * rows;
}

std::int64_t ColumnsFor(const GridMetrics& metrics, std::int64_t innerWidth) {
  return std::max<std::int64_t>(1, innerWidth / metrics.cellWidth);
}

ScrollSettings ScrollSettingsFor(const GridMetrics& metrics, std::int64_t sheetHeight) {
  ScrollSettings settings;
  settings.Page = metrics.viewportInnerHeight;
  if (sheetHeight <= metrics.viewportInnerHeight) return settings;
  settings.Max = sheetHeight - metrics.viewportInnerHeight;
  // Whole rows, so that steps never leave a row cut at the top.
  settings.SmallChange = metrics.cellHeight;
  settings.LargeChange =
      std::max<std::int64_t>(1, metrics.viewportInnerHeight / metrics.cellHeight) * metrics.cellHeight;
  return settings;
}

GridLayout LayOutGrid(const GridMetrics& metrics, std::int64_t iconCount) {
  GridLayout layout;
  if (iconCount > 0) layout.cells.reserve(static_cast<std::size_t>(iconCount));
  for (std::int64_t k = 1; k <= iconCount; ++k) layout.cells.push_back(CellPositionOf(metrics, k));
  layout.sheetHeight = SheetHeight(metrics, iconCount);
  layout.scroll = ScrollSettingsFor(metrics, layout.sheetHeight);
  return layout;
}

std::pair<std::int64_t, std::int64_t> VisibleCells(const GridMetrics& metrics, std::int64_t iconCount,
                                                   std::int64_t scroll) {
  const std::int64_t firstRow = std::max<std::int64_t>(scroll, 0) / metrics.cellHeight;
  // The row the view's last twip falls in is the last one seen.
  const std::int64_t lastRow = (scroll + metrics.viewportInnerHeight - 1) / metrics.cellHeight;
  const std::int64_t first = firstRow * metrics.columns + 1;
  const std::int64_t last = std::min(iconCount, (lastRow + 1) * metrics.columns);
  if (iconCount <= 0 || metrics.viewportInnerHeight <= 0 || first > last) return {1, 0};
  return {first, last};
}

std::int64_t TwipsToPixels(std::int64_t twips, int dpi) {
  const std::int64_t scaled = twips * dpi;
  const std::int64_t half = 720;
  return scaled >= 0 ? (scaled + half) / 1440 : -((-scaled + half) / 1440);
}

}  // namespace tarrow
