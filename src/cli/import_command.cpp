// --import: the icons of a .reg file, read as untrusted input.
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

int RunImport(CommandContext& context, const std::wstring& file) {
  int exitCode = kExitOk;
  const std::optional<RegIconFile> read = ReadImportFile(context, file, exitCode);
  if (!read) return exitCode;
  for (const RegIconValue& value : read->values) {
    const wchar_t* where = !value.layer                      ? L"where the type's icon takes effect"
                           : value.layer == ClassLayer::User ? L"for this user"
                                                             : L"for all users";
    WriteLine(context.out, value.className + L": " + value.location + L" (" + where + L")");
  }
  const std::size_t count = read->values.size();
  WriteLine(context.err, L"tarrow: " + file + L" sets " + std::to_wstring(count) +
                             (count == 1 ? L" icon" : L" icons") +
                             L"; importing them is not available yet, so "
                             L"nothing was written.");
  return kExitFailed;
}

}  // namespace tarrow::cli
