#include "picker/grid_runs.h"

#include <gtest/gtest.h>

namespace tarrow {
namespace {

using Runs = std::vector<std::int64_t>;

TEST(GridRunsTest, TheRunsInViewComeFirstThenTheNearestAndTheFarOnesAreLetGo) {
  struct Case {
    const char* what;
    std::int64_t count;
    CellSpan view;
    std::set<std::int64_t> asked;
    std::int64_t runSize, around, keep;
    Runs request, drop, inView;
  };
  const Case cases[] = {
      {"the first screen of a new file", 100, {0, 14}, {}, 10, 20, 30, {0, 1, 2, 3}, {}, {0, 1}},
      {"scrolled down: the top is let go",
       100,
       {45, 54},
       {0, 1, 2, 3},
       10,
       10,
       20,
       {4, 5, 6},
       {0, 1},
       {4, 5}},
      {"below before above, one step at a time",
       1000,
       {500, 509},
       {},
       10,
       25,
       25,
       {50, 51, 49, 52, 48, 53, 47},
       {},
       {50}},
      {"a view across two runs in the middle",
       1000,
       {495, 514},
       {50},
       10,
       10,
       10,
       {49, 51, 52, 48},
       {},
       {49, 50, 51}},
      {"the view past the last cell ends there", 95, {88, 99}, {}, 10, 10, 10, {8, 9, 7}, {}, {8, 9}},
      {"runs past a count smaller than thought", 30, {0, 14}, {0, 1, 5, 9}, 10, 0, 0, {}, {5, 9}, {0, 1}},
      {"no cells: everything goes", 0, {0, 14}, {0}, 10, 20, 20, {}, {0}, {}},
      {"keeping less than is asked keeps what is asked",
       100,
       {50, 59},
       {2},
       10,
       20,
       0,
       {5, 6, 4, 7, 3},
       {2},
       {5}},
      {"scrolled back a little: nothing dropped",
       1000,
       {480, 489},
       {47, 48, 49, 50, 51, 52, 53},
       10,
       25,
       50,
       {46, 45},
       {},
       {48}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const RunPlan plan = PlanRuns(c.count, c.view, c.asked, c.runSize, c.around, c.keep);
    EXPECT_EQ(plan.request, c.request);
    EXPECT_EQ(plan.drop, c.drop);
    EXPECT_EQ(plan.inView, c.inView);
  }
}

}  // namespace
}  // namespace tarrow
