// The commands over the file types, until they are built on the type
// resolver and the change journal.
#include "cli/commands.h"

namespace tarrow::cli {
namespace {

int NotAvailable(CommandContext& context, const wchar_t* command) {
  WriteLine(context.err, std::wstring(L"tarrow: ") + command + L" is not available in this build.");
  return kExitFailed;
}

}  // namespace

int RunList(CommandContext& context, bool json) {
  return NotAvailable(context, json ? L"--list --json" : L"--list");
}

int RunSet(CommandContext& context, const std::wstring&, const std::wstring&) {
  return NotAvailable(context, L"--set");
}

int RunRestore(CommandContext& context, const std::vector<std::wstring>&) {
  return NotAvailable(context, L"--restore");
}

int RunExport(CommandContext& context, const std::wstring&) {
  return NotAvailable(context, L"--export");
}

}  // namespace tarrow::cli
