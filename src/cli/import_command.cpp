// --import: the icons of a .reg file, read as untrusted input.
#include "catalog/resolver.h"
#include "catalog/scan.h"
#include "catalog/snapshot.h"
#include "changes/apply.h"
#include "changes/journal.h"
#include "cli/commands.h"

namespace tarrow::cli {

std::optional<RegIconFile> ReadImportFile(CommandContext& context, const std::wstring& file, int& exitCode) {
  const std::optional<std::string> bytes = context.os.files.ReadAll(file);
  if (!bytes) {
    WriteLine(context.err, L"tarrow: " + file + L" cannot be read; nothing was imported.");
    exitCode = kExitFailed;
    return std::nullopt;
  }
  RegIconFile read = ReadRegIconFile(*bytes, context.os.shell);
  if (!read.ok()) {
    WriteLine(context.err, L"tarrow: " + file + L", line " + std::to_wstring(read.faultLine) + L": " +
                               read.fault + L". Nothing was imported.");
    exitCode = kExitUsage;
    return std::nullopt;
  }
  exitCode = kExitOk;
  return read;
}

// Each icon goes through the same rules as Apply: where it takes effect for
// this user, its original recorded first, so that Restore takes an import
// back like any change. The file's own layer is not trusted to say where.
int RunImport(CommandContext& context, const std::wstring& file) {
  int exitCode = kExitOk;
  const std::optional<RegIconFile> read = ReadImportFile(context, file, exitCode);
  if (!read) return exitCode;
  TypeResolver resolver(context.os.registry, context.os.shell);
  std::vector<IconWrite> writes;
  std::vector<std::wstring> absent;
  for (const RegIconValue& value : read->values) {
    if (IsWritableClass(value.className) && resolver.ClassExists(value.className)) {
      writes.push_back({value.className, value.className, value.location});
    } else {
      absent.push_back(value.className);
    }
  }
  // The first run of the program, whichever way it runs, records the originals.
  TakeSnapshotIfNone(context.os, ListTypes(context.os));
  const ApplyOutcome outcome = WriteIcons(context.os, writes);
  for (const IconWrite& write : writes) {
    const auto layer = outcome.layers.find(context.os.shell.LowerCase(write.progId));
    if (layer == outcome.layers.end()) continue;
    WriteLine(context.out,
              write.progId + L": " + write.location + L" (" +
                  (layer->second == ClassLayer::User ? L"for this user only" : L"for all users") + L")");
  }
  if (!absent.empty()) {
    WriteLine(context.err,
              L"tarrow: passed over, as this computer has no such file type: " + NameList(absent) + L".");
  }
  if (const std::wstring message = ApplyMessage(context.os.shell, outcome); !message.empty()) {
    WriteMessage(context.err, message);
    return outcome.busy ? kExitBusy : kExitFailed;
  }
  return kExitOk;
}

}  // namespace tarrow::cli
