#include "picker/grid_runs.h"

#include <algorithm>

namespace tarrow {

RunPlan PlanRuns(std::int64_t count, CellSpan view, const std::set<std::int64_t>& asked, std::int64_t runSize,
                 std::int64_t around, std::int64_t keep) {
  RunPlan plan;
  runSize = std::max<std::int64_t>(runSize, 1);
  view.first = std::max<std::int64_t>(view.first, 0);
  view.last = std::min(view.last, count - 1);
  const bool viewed = view.first <= view.last;

  // The runs of the cells within `margin` of the view, none past the last.
  const auto runsWithin = [&](std::int64_t margin) {
    const std::int64_t first = std::max<std::int64_t>(view.first - margin, 0) / runSize;
    const std::int64_t last = std::min(view.last + margin, count - 1) / runSize;
    return std::pair{first, last};
  };
  const auto [keptFirst, keptLast] = runsWithin(std::max(keep, around));
  for (const std::int64_t run : asked) {
    if (!viewed || run < keptFirst || run > keptLast) plan.drop.push_back(run);
  }
  if (!viewed) return plan;

  const auto want = [&](std::int64_t run) {
    if (!asked.contains(run)) plan.request.push_back(run);
  };
  const std::int64_t viewFirst = view.first / runSize, viewLast = view.last / runSize;
  for (std::int64_t run = viewFirst; run <= viewLast; ++run) {
    plan.inView.push_back(run);
    want(run);
  }
  const auto [aroundFirst, aroundLast] = runsWithin(around);
  for (std::int64_t step = 1; viewLast + step <= aroundLast || viewFirst - step >= aroundFirst; ++step) {
    if (viewLast + step <= aroundLast) want(viewLast + step);
    if (viewFirst - step >= aroundFirst) want(viewFirst - step);
  }
  return plan;
}

}  // namespace tarrow
