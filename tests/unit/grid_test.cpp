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
      {15, 1845, 600, 600, 60},
      {21, 1845, 600, 600, 60},
      {22, 2460, 1215, 1215, 122},
      {28, 2460, 1215, 1215, 122},
      {29, 3075, 1830, 1830, 183},
      {35, 3075, 1830, 1830, 183},
      {36, 3690, 2445, 2445, 244},
      {400, 35670, 34425, 34425, 3442},
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

TEST(GridTest, ChangeAmountsBelowOneAreRefused) {
  // A sheet just taller than the viewport: Max 5 gives a small change of 0.5,
  // which goes to the even neighbour 0.
  struct Case {
    std::int64_t sheet;
    std::int64_t max;
    Change large;
    Change small;
  };
  const std::vector<Case> cases = {
      {1305, 0, {}, {}},
      {1306, 61, 61, 6},
      {1250, 0, {}, {}},
  };
  GridMetrics metrics;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "sheet " << c.sheet);
    const ScrollSettings settings = ScrollSettingsFor(metrics, c.sheet);
    EXPECT_EQ(settings.Max, c.max);
    EXPECT_EQ(settings.LargeChange, c.large);
    EXPECT_EQ(settings.SmallChange, c.small);
  }
  // A viewport whose inner area is almost as tall as the sheet.
  metrics.viewportHeight = 1200;
  metrics.viewportInnerHeight = 1225;
  for (const auto& [sheet, max, small] : std::vector<std::tuple<std::int64_t, std::int64_t, Change>>{
           {1230, 5, {}}, {1231, 6, 1}, {1240, 15, 2}, {1250, 25, 2}, {1260, 35, 4}}) {
    SCOPED_TRACE(testing::Message() << "sheet " << sheet);
    const ScrollSettings settings = ScrollSettingsFor(metrics, sheet);
    EXPECT_EQ(settings.Max, max);
    EXPECT_EQ(settings.LargeChange, Change(max));
    EXPECT_EQ(settings.SmallChange, small);
  }
}

TEST(GridTest, HalvesGoToTheEvenNeighbour) {
  struct Case {
    std::int64_t numerator;
    std::int64_t denominator;
    std::int64_t expected;
  };
  const std::vector<Case> cases = {
      {1215, 10, 122}, {1225, 10, 122}, {5, 10, 0}, {15, 10, 2}, {25, 10, 2},   {24, 10, 2},
      {26, 10, 3},     {1830, 10, 183}, {0, 10, 0}, {-5, 10, 0}, {-15, 10, -2}, {-16, 10, -2},
      {-14, 10, -1},   {7, 2, 4},       {9, 2, 4},  {1, 3, 0},   {2, 3, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.numerator << " / " << c.denominator);
    EXPECT_EQ(DivideRoundingHalfToEven(c.numerator, c.denominator), c.expected);
  }
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
