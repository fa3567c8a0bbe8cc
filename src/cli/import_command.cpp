// --import: the icons of a .reg file, read as untrusted input.
#include "catalog/scan.h"
#include "changes/icon_transfer.h"
#include "cli/commands.h"
#include "platform/text.h"

namespace tarrow::cli {

int RunImport(CommandContext& context, const std::wstring& file) {
  const ImportPlan plan = PlanImport(context.os, file);
  if (!plan.refusal.empty()) {
    WriteLine(context.err, L"tarrow: " + plan.refusal);
    return plan.unreadable ? kExitFailed : kExitUsage;
  }
  const ApplyOutcome outcome = ApplyImport(context.os, plan, ListTypes(context.os));
  for (const IconWrite& write : plan.writes) {
    const auto layer = outcome.layers.find(context.os.shell.LowerCase(write.progId));
    if (layer == outcome.layers.end()) continue;
    WriteLine(context.out,
              EscapedField(write.progId) + L": " + EscapedField(write.location) + L" (" +
                  (layer->second == ClassLayer::User ? L"for this user only" : L"for all users") + L")");
  }
  if (const std::wstring passedOver = PassedOverMessage(plan); !passedOver.empty())
    WriteLine(context.err, L"tarrow: " + passedOver);
  if (const std::wstring message = ApplyMessage(context.os.shell, outcome, ChangeKind::Command);
      !message.empty()) {
    WriteMessage(context.err, message);
    return outcome.busy ? kExitBusy : kExitFailed;
  }
  return kExitOk;
}

}  // namespace tarrow::cli
