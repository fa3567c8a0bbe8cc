// Times asking the shell about every changed type after an Apply, against the
// Apply itself: every listed type of the benchmark's registry (some 3,000)
// is given a new icon, written as "Apply" writes it, then checked as the
// window checks it (on a thread of its own: what the Apply waits for is the
// start), then put back. The check's own time, and that of asking on the
// spot, are noted. Prints table lines for scripts/bench.sh; asserts nothing.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/shell_check_task.h"
#include "bench_support.h"
#include "catalog/scan.h"
#include "changes/apply.h"
#include "changes/change_model.h"
#include "changes/restore.h"
#include "changes/shell_check.h"
#include "platform/win32/win32_os.h"
#include "win_bench_support.h"

int wmain() {
  using namespace tarrow;
  Os& os = win32::RealOs();
  constexpr int kRounds = 3;
  std::vector<double> applies, started, checks;
  app::ShellCheckTask task(os);
  std::size_t types = 0, mismatches = 0;
  for (int round = 0; round < kRounds; ++round) {
    TypeList listed = ListTypes(os);
    for (TypeItem& item : listed)
      item.pending = L"%SystemRoot%\\system32\\shell32.dll," + std::to_wstring(round + 1);
    types = listed.size();
    ApplyOutcome outcome;
    applies.push_back(bench::TimeMs([&] { outcome = ChangeModel(os, listed).Write(); }));
    started.push_back(bench::TimeMs(
        [&] { task.Start(AppliedIcons(PendingIcons(listed), outcome), L"", nullptr, WM_NULL); }));
    std::optional<app::ShellCheckTask::Done> check;
    checks.push_back(
        bench::TimeMs([&] { bench::PumpUntil([&] { return (check = task.Take()).has_value(); }); }) +
        started.back());
    mismatches = check ? check->check.mismatches.size() : 0;
    RestoreOriginals(os, listed);
  }
  const double apply = bench::Median(applies), start = bench::Median(started), check = bench::Median(checks);
  // The shell's own cost: its answer for each type, and nothing else.
  const TypeList listed = ListTypes(os);
  const double asking = bench::TimeMs([&] {
    for (const TypeItem& item : listed) os.shell.ShellIconLocation(item.extension);
  });
  std::printf("note|shell check: the shell's answers alone, %zu types: %.1f ms\n", listed.size(), asking);
  std::printf(
      "note|shell check: %zu types applied in %.1f ms; the shell disagreed on %zu; its answers came %.1f ms "
      "after the Apply, on their own thread\n",
      types, apply, mismatches, check);
  bench::TimeRow(("Apply of " + std::to_string(types) + " types, the shell check started").c_str(),
                 apply + start, apply, "1.2x");
  bench::TimeRow(("Apply of " + std::to_string(types) + " types, waiting for the shell's answers").c_str(),
                 apply + check, apply, "-");
  return 0;
}
