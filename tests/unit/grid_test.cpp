#include "picker/grid.h"

#include <gtest/gtest.h>
#include <tuple>
#include <vector>

namespace tarrow {
namespace {

using Change = std::optional<std::int64_t>;

TEST(GridTest, SheetAndScrollSettingsFollowTheRowsInUse) {
  struct Case {
    std::int64_t icons;
    std::int64_t sheet;
    std::int64_t max;
    Change large;
    Change small;
  };
  const std::vector<Case> cases = {
      {0, 615, 0, {}, {}},
      {1, 615, 0, {}, {}},
      {7, 615, 0, {}, {}},
      {8, 1230, 0, {}, {}},
      {14, 1230, 0, {}, {}},
      {15, 1845, 600, 1230, 615},
      {21, 1845, 600, 1230, 615},
      {22, 2460, 1215, 1230, 615},
      {28, 2460, 1215, 1230, 615},
      {29, 3075, 1830, 1230, 615},
      {35, 3075, 1830, 1230, 615},
      {36, 3690, 2445, 1230, 615},
      {400, 35670, 34425, 1230, 615},
  };
  const GridMetrics metrics;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.icons << " icons");
    const GridLayout layout = LayOutGrid(metrics, c.icons);
    EXPECT_EQ(layout.cells.size(), static_cast<std::size_t>(c.icons));
    EXPECT_EQ(layout.sheetHeight, c.sheet);
    EXPECT_EQ(layout.scroll.Max, c.max);
    EXPECT_EQ(layout.scroll.LargeChange, c.large);
    EXPECT_EQ(layout.scroll.SmallChange, c.small);
    EXPECT_EQ(layout.scroll.Page, 1245) << "the thumb is as long as the view";
  }
}

TEST(GridTest, SevenCellsToARowWithoutGaps) {
  const GridLayout layout = LayOutGrid(GridMetrics{}, 15);
  const std::vector<CellPosition> expected = {
      {0, 0},     {585, 0},    {1170, 0},   {1755, 0},   {2340, 0},   {2925, 0},   {3510, 0}, {0, 615},
      {585, 615}, {1170, 615}, {1755, 615}, {2340, 615}, {2925, 615}, {3510, 615}, {0, 1230},
  };
  ASSERT_EQ(layout.cells.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(testing::Message() << "cell " << i + 1);
    EXPECT_EQ(layout.cells[i], expected[i]);
    EXPECT_EQ(CellPositionOf(GridMetrics{}, static_cast<std::int64_t>(i) + 1), expected[i]);
  }
}

TEST(GridTest, CellsPastSixteenBitTopsKeepTheirRows) {
  // Row 54 is the last whose top fits in 16 bits; icon 379 starts row 55.
  const GridLayout layout = LayOutGrid(GridMetrics{}, 400);
  ASSERT_EQ(layout.cells.size(), 400u);
  for (std::size_t i = 0; i < layout.cells.size(); ++i) {
    SCOPED_TRACE(testing::Message() << "cell " << i + 1);
    EXPECT_EQ(layout.cells[i].Top, static_cast<std::int64_t>(i / 7) * 615);
    EXPECT_EQ(layout.cells[i].Left, static_cast<std::int64_t>(i % 7) * 585);
  }
  EXPECT_EQ(layout.cells[378].Top, 32595 + 615);
  // The last row's bottom meets the viewport's inner bottom at the end of the range.
  EXPECT_EQ(layout.cells.back().Top + 615 - layout.scroll.Max, 1245);
}

TEST(GridTest, AnArrowMovesOneRowAndAPageTheWholeRowsInView) {
  // The design viewport shows two whole rows (1,245 twips inside, rows of 615).
  struct Case {
    std::int64_t sheet;
    std::int64_t max;
    Change large;
    Change small;
  };
  const std::vector<Case> cases = {
      {1245, 0, {}, {}},
      {1246, 1, 1230, 615},
      {1305, 60, 1230, 615},
  };
  GridMetrics metrics;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "sheet " << c.sheet);
    const ScrollSettings settings = ScrollSettingsFor(metrics, c.sheet);
    EXPECT_EQ(settings.Max, c.max);
    EXPECT_EQ(settings.LargeChange, c.large);
    EXPECT_EQ(settings.SmallChange, c.small);
  }
  // A taller viewport pages by the rows it shows; one shorter than a row
  // still pages by a row.
  for (const auto& [inner, large] : std::vector<std::tuple<std::int64_t, std::int64_t>>{
           {3000, 2460}, {3074, 2460}, {3075, 3075}, {400, 615}}) {
    SCOPED_TRACE(testing::Message() << "viewport " << inner);
    metrics.viewportInnerHeight = inner;
    const ScrollSettings settings = ScrollSettingsFor(metrics, 10000);
    EXPECT_EQ(settings.Max, 10000 - inner);
    EXPECT_EQ(settings.LargeChange, Change(large));
    EXPECT_EQ(settings.Page, inner);
  }
}

TEST(GridTest, AsManyColumnsAsWholeCellsFitAcross) {
  const GridMetrics metrics;
  for (const auto& [width, columns] : std::vector<std::tuple<std::int64_t, std::int64_t>>{
           {4110, 7}, {4094, 6}, {4095, 7}, {584, 1}, {0, 1}, {11700, 20}}) {
    SCOPED_TRACE(testing::Message() << "width " << width);
    EXPECT_EQ(ColumnsFor(metrics, width), columns);
  }
  GridMetrics wide;
  wide.columns = 10;
  EXPECT_EQ(CellPositionOf(wide, 11), (CellPosition{0, 615}));
  EXPECT_EQ(CellPositionOf(wide, 10), (CellPosition{5265, 0}));
}

TEST(GridTest, TwipsBecomePixelsAtTheWindowsDpi) {
  struct Case {
    std::int64_t twips;
    int dpi;
    std::int64_t pixels;
  };
  const std::vector<Case> cases = {
      {585, 96, 39},  {615, 96, 41}, {1305, 96, 87}, {1245, 96, 83}, {585, 144, 59}, {615, 144, 62},
      {600, 120, 50}, {7, 96, 0},    {8, 96, 1},     {-8, 96, -1},   {-7, 96, 0},    {33810, 192, 4508},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.twips << " twips at " << c.dpi);
    EXPECT_EQ(TwipsToPixels(c.twips, c.dpi), c.pixels);
  }
}

}  // namespace
}  // namespace tarrow

namespace tarrow {
namespace {

// Cells 615 twips high, 7 to a row, a view 1245 twips high: two rows and a
// sliver of a third.
TEST(GridTest, TheCellsInViewIncludeRowsSeenOnlyInPart) {
  const GridMetrics metrics;
  const struct {
    std::int64_t count, scroll, first, last;
  } cases[] = {
      {20, 0, 1, 20},       // rows 0-2: the third seen by 15 twips
      {100, 0, 1, 21},      // three rows
      {100, 615, 8, 28},    // scrolled one row
      {100, 614, 1, 28},    // a twip of the first row still shows
      {100, 1215, 8, 28},   // the view ends on the last twip of row 3
      {100, 1230, 15, 35},  // rows 2 and 3, and 15 twips of row 4
      {0, 0, 1, 0},         // no cells
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.scroll);
    EXPECT_EQ(VisibleCells(metrics, c.count, c.scroll), std::pair(c.first, c.last));
  }
}

}  // namespace
}  // namespace tarrow
