// --check: whether the icons of a .reg file are in place, as Explorer reads
// them for whoever runs it. The file is read with --import's reader and
// rules, so that what --check finds missing is what --import would write.
#include "catalog/resolver.h"
#include "changes/icon_transfer.h"
#include "changes/shell_check.h"
#include "cli/commands.h"

namespace tarrow::cli {

int RunCheck(CommandContext& context, const std::wstring& file) {
  Os& os = context.os;
  const ImportPlan plan = PlanImport(os, file);
  if (!plan.fault.empty()) {
    WriteLine(context.err, L"tarrow: " + plan.fault + (plan.unreadable ? L"; " : L". ") +
                               (plan.unreadable ? L"nothing was checked." : L"Nothing was checked."));
    return plan.unreadable ? kExitFailed : kExitUsage;
  }
  // The merged view is what Explorer reads: the user's own value before the
  // machine's, whichever layer the file names.
  TypeResolver resolver(os.registry, os.shell);
  std::size_t differing = 0;
  for (const IconWrite& write : plan.writes) {
    const auto shown = resolver.ReadMerged(write.progId + L"\\DefaultIcon");
    if (shown && SameIconLocation(os.shell, shown->text, write.location)) continue;
    ++differing;
    const std::wstring has =
        shown ? shown->text + L" (" +
                    (shown->layer == ClassLayer::User ? L"for this user only" : L"for all users") + L")"
              : L"no icon of its own";
    WriteLine(context.out, write.progId + L": " + has + L", not " + write.location);
  }
  if (const std::wstring passedOver = PassedOverMessage(plan); !passedOver.empty())
    WriteLine(context.err, L"tarrow: " + passedOver);
  const std::size_t total = plan.writes.size();
  const auto icons = [](std::size_t n) { return std::to_wstring(n) + (n == 1 ? L" icon" : L" icons"); };
  if (differing == 0) {
    WriteLine(context.out, (total == 1 ? L"The " : L"All ") + icons(total) + L" of " + file +
                               (total == 1 ? L" is in place." : L" are in place."));
    return kExitOk;
  }
  WriteLine(context.out, std::to_wstring(differing) + L" of " + icons(total) + L" of " + file +
                             (differing == 1 ? L" differs" : L" differ") + L"; --import puts them in place.");
  return kExitFailed;
}

}  // namespace tarrow::cli
