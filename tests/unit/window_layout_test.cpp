#include "picker/window_layout.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace tarrow {
namespace {

Box At(const WindowLayout& layout, Part part) {
  return layout[static_cast<std::size_t>(part)];
}

TEST(WindowLayoutTest, TheDefaultSizeIsTheDesignInPixels) {
  EXPECT_EQ(DefaultClientWidth(96), 315);
  EXPECT_EQ(DefaultClientHeight(96), 406);
  EXPECT_EQ(DefaultClientWidth(144), 473);  // 472.5 rounds up
  EXPECT_EQ(DefaultClientHeight(144), 609);
  EXPECT_EQ(DefaultClientWidth(192), 630);
  EXPECT_EQ(DefaultClientHeight(192), 812);

  const WindowLayout at96 = LayOutWindow(315, 406, 96, true);
  EXPECT_EQ(At(at96, Part::TypeList), (Box{8, 48, 297, 145}));
  EXPECT_EQ(At(at96, Part::Search), (Box{52, 26, 253, 19}));
  EXPECT_EQ(At(at96, Part::IconGrid), (Box{8, 240, 278, 87}));
  EXPECT_EQ(At(at96, Part::GridScroll), (Box{285, 241, 20, 87}));
  EXPECT_EQ(At(at96, Part::Exit), (Box{264, 332, 41, 25}));
  EXPECT_EQ(At(at96, Part::Status), (Box{0, 386, 315, 20}));

  const WindowLayout at144 = LayOutWindow(473, 609, 144, true);
  EXPECT_EQ(At(at144, Part::TypeList), (Box{12, 72, 446, 218}));
  EXPECT_EQ(At(at144, Part::Exit), (Box{396, 499, 62, 38}));
}

TEST(WindowLayoutTest, TheGridTakesWhatEightRowsNeedFirstAndSharesTheRestWithTheList) {
  // 100 pixels wider and 101 taller than the default at 96 DPI: the grid,
  // short of eight rows by 245 pixels, takes all 101.
  const WindowLayout layout = LayOutWindow(415, 507, 96, true);
  EXPECT_EQ(At(layout, Part::TypesLabel), (Box{8, 8, 145, 17}));
  EXPECT_EQ(At(layout, Part::TypeCount), (Box{253, 8, 152, 17}));
  EXPECT_EQ(At(layout, Part::Search), (Box{52, 26, 353, 19}));
  EXPECT_EQ(At(layout, Part::TypeList), (Box{8, 48, 397, 145}));
  EXPECT_EQ(At(layout, Part::IconFileLabel), (Box{8, 200, 73, 17}));
  EXPECT_EQ(At(layout, Part::ShowTypesWithoutIcon), (Box{188, 200, 217, 16}));
  EXPECT_EQ(At(layout, Part::IconFile), (Box{8, 217, 325, 19}));
  EXPECT_EQ(At(layout, Part::Browse), (Box{340, 216, 65, 19}));
  EXPECT_EQ(At(layout, Part::IconGrid), (Box{8, 240, 378, 188}));
  EXPECT_EQ(At(layout, Part::GridScroll), (Box{385, 241, 20, 188}));
  EXPECT_EQ(At(layout, Part::Restore), (Box{8, 433, 113, 25}));
  EXPECT_EQ(At(layout, Part::Refresh), (Box{252, 433, 57, 25}));
  EXPECT_EQ(At(layout, Part::Apply), (Box{316, 433, 41, 25}));
  EXPECT_EQ(At(layout, Part::Exit), (Box{364, 433, 41, 25}));
  EXPECT_EQ(At(layout, Part::Credit), (Box{0, 469, 413, 17}));
  EXPECT_EQ(At(layout, Part::Status), (Box{0, 487, 415, 20}));

  // 345 taller: 245 for the grid's eight rows, then 50 each.
  const WindowLayout taller = LayOutWindow(415, 751, 96, true);
  EXPECT_EQ(At(taller, Part::TypeList), (Box{8, 48, 397, 195}));
  EXPECT_EQ(At(taller, Part::IconFile), (Box{8, 267, 325, 19}));
  EXPECT_EQ(At(taller, Part::IconGrid), (Box{8, 290, 378, 382}));
  EXPECT_EQ(At(taller, Part::Exit), (Box{364, 677, 41, 25}));
}

TEST(WindowLayoutTest, ThePreviewTakesRoomOnlyWithAnIconToShowBesideAReadableList) {
  // It stops above the status line, which runs under it. It is 272 pixels
  // wide at 96 DPI, and the list beside it keeps 550 (the design's 297 and
  // 253 more): 525 beyond the default width.
  EXPECT_EQ(At(LayOutWindow(315, 406, 96, true), Part::Preview), (Box{}));
  const WindowLayout short1 = LayOutWindow(315 + 524, 406, 96, true);
  EXPECT_EQ(At(short1, Part::Preview), (Box{}));
  EXPECT_EQ(At(short1, Part::TypeList).width, 297 + 524);

  const WindowLayout exact = LayOutWindow(315 + 525, 406, 96, true);
  EXPECT_EQ(At(exact, Part::Preview), (Box{568, 0, 272, 386}));
  EXPECT_EQ(At(exact, Part::TypeList), (Box{8, 48, 550, 145}));

  const WindowLayout wider = LayOutWindow(315 + 525 + 100, 507, 96, true);
  EXPECT_EQ(At(wider, Part::Preview), (Box{668, 0, 272, 487}));
  EXPECT_EQ(At(wider, Part::TypeList), (Box{8, 48, 650, 145}));
  EXPECT_EQ(At(wider, Part::Status), (Box{0, 487, 940, 20}));

  // Nothing to show: the list has the whole width.
  const WindowLayout empty = LayOutWindow(315 + 525 + 100, 507, 96, false);
  EXPECT_EQ(At(empty, Part::Preview), (Box{}));
  EXPECT_EQ(At(empty, Part::TypeList), (Box{8, 48, 922, 145}));

  EXPECT_EQ(At(LayOutWindow(473 + 787, 609, 144, true), Part::Preview), (Box{852, 0, 408, 579}));
  EXPECT_EQ(At(LayOutWindow(473 + 786, 609, 144, true), Part::Preview), (Box{}));
}

TEST(WindowLayoutTest, ASmallerAreaLaysOutAsTheDefault) {
  EXPECT_EQ(LayOutWindow(100, 100, 96, true), LayOutWindow(315, 406, 96, true));
  EXPECT_EQ(LayOutWindow(315, 300, 96, true), LayOutWindow(315, 406, 96, true));
  // Only the height grew: nothing moves across.
  EXPECT_EQ(At(LayOutWindow(200, 606, 96, true), Part::Exit), (Box{264, 532, 41, 25}));
}

TEST(WindowLayoutTest, APlacementIsReadBackOnlyWhenWhole) {
  EXPECT_EQ(FormatPlacement({10, -20, 640, 480, true, 144}), L"10,-20,640,480,1,144");
  struct Case {
    std::wstring text;
    std::optional<Placement> placement;
  };
  const std::vector<Case> cases = {
      {L"10,-20,640,480,1,144", Placement{10, -20, 640, 480, true, 144}},
      {L"0,0,315,406,0,96", Placement{0, 0, 315, 406, false, 96}},
      {L"", std::nullopt},
      {L"10,20,640,480,0", std::nullopt},
      {L"10,20,640,480,0,96,1", std::nullopt},
      {L"10,20,0,480,0,96", std::nullopt},
      {L"10,20,640,-1,0,96", std::nullopt},
      {L"10,20,640,480,2,96", std::nullopt},
      {L"10,20,640,480,0,0", std::nullopt},
      {L"10, 20,640,480,0,96", std::nullopt},
      {L"10,20,640,480,0,96 ", std::nullopt},
      {L"1,2,3,4,0,-", std::nullopt},
      {L"99999999999999,0,1,1,0,96", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::string(c.text.begin(), c.text.end()));
    EXPECT_EQ(ParsePlacement(c.text), c.placement);
  }
}

TEST(WindowLayoutTest, AFirstRunOpensLargerWhereTheScreenAllows) {
  const struct {
    int mostWidth, mostHeight, dpi;
    ClientSize expected;
  } cases[] = {
      {3000, 2000, 96, {840, 851}},  // eight grid rows, readable columns and the preview
      {1066, 773, 96, {840, 773}},   // two thirds of 1600 x 1160
      {700, 500, 96, {568, 500}},    // no room for the preview: readable columns
      {533, 400, 96, {533, 406}},    // never below the design
      {200, 200, 96, {315, 406}},
      {3000, 2000, 144, {1260, 1277}},
      {1066, 773, 144, {853, 773}},  // 1600 x 1160 at 150%: no room for the preview
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.mostWidth << " x " << c.mostHeight << " at " << c.dpi);
    EXPECT_EQ(FirstRunClientSize(c.mostWidth, c.mostHeight, c.dpi), c.expected);
  }
}

TEST(WindowLayoutTest, TheListsColumnsShareTheWidthTheWindowGains) {
  const struct {
    int width, dpi;
    std::array<int, 3> expected;
  } cases[] = {
      {280, 96, {104, 92, 84}},    // the design's list
      {1560, 96, {808, 92, 660}},  // maximised on 1600 pixels
      {150, 96, {60, 92, 80}},     // each keeps its least
      {420, 144, {156, 138, 126}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.width << " at " << c.dpi);
    EXPECT_EQ(ListColumnWidths(c.width, c.dpi), c.expected);
  }
}

}  // namespace
}  // namespace tarrow
