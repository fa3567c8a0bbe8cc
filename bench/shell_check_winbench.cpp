// Times asking the shell about every changed type after an Apply, against the
// Apply itself: every listed type of the benchmark's registry (some 3,000)
// is given a new icon, written as "Apply" writes it, then checked, then put
// back. Prints table lines for scripts/bench.sh; asserts nothing.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench_support.h"
#include "catalog/scan.h"
#include "changes/apply.h"
#include "changes/restore.h"
#include "changes/shell_check.h"
#include "platform/win32/win32_os.h"

int wmain() {
  using namespace tarrow;
  Os& os = win32::RealOs();
  constexpr int kRounds = 3;
  std::vector<double> applies, checks;
  std::size_t types = 0, mismatches = 0;
  for (int round = 0; round < kRounds; ++round) {
    TypeList listed = ListTypes(os);
    for (TypeItem& item : listed)
      item.pending = L"%SystemRoot%\\system32\\shell32.dll," + std::to_wstring(round + 1);
    types = listed.size();
    ApplyOutcome outcome;
    applies.push_back(bench::TimeMs([&] { outcome = WriteChanges(os, listed); }));
    ShellCheck check;
    checks.push_back(
        bench::TimeMs([&] { check = CheckWithShell(os, AppliedIcons(PendingIcons(listed), outcome)); }));
    mismatches = check.mismatches.size();
    RestoreOriginals(os, listed);
  }
  const double apply = bench::Median(applies), check = bench::Median(checks);
  std::printf("note|shell check: %zu types applied; the shell disagreed on %zu; asking it took %.1f ms\n",
              types, mismatches, check);
  bench::TimeRow(("Apply of " + std::to_string(types) + " types with the shell check after it").c_str(),
                 apply + check, apply, "1.2x");
  return 0;
}
