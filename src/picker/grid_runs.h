// Which runs of the icon grid's cells are drawn as the view moves. The grid
// keeps the pictures of the cells around its view only: a 10,000-icon file
// would otherwise hold every picture for as long as it is shown.
//
// Cells count from 0 here. Run r holds cells r * runSize to
// (r + 1) * runSize - 1: one request to the loader, one pass over the file.
#pragma once

#include <cstdint>
#include <set>
#include <vector>

namespace tarrow {

// Cells `first` to `last`, both included; none when last < first.
struct CellSpan {
  std::int64_t first = 0;
  std::int64_t last = -1;
};

struct RunPlan {
  // Runs to ask for: those in view, top first, then the others nearest the
  // view first (below before above at the same distance).
  std::vector<std::int64_t> request;
  // Runs asked for that lie too far from the view, or past the last cell.
  std::vector<std::int64_t> drop;
  // Every run in view, top first: what the loader should work on first.
  std::vector<std::int64_t> inView;
};

// The plan for a grid of `count` cells with `view` in view and `asked` runs
// asked for already: the runs within `around` cells of the view are asked
// for, and those farther than `keep` cells (keep >= around, so that a small
// scroll back and forth drops nothing) are let go.
RunPlan PlanRuns(std::int64_t count, CellSpan view, const std::set<std::int64_t>& asked, std::int64_t runSize,
                 std::int64_t around, std::int64_t keep);

}  // namespace tarrow
