#include "app/command_main.h"

#include <windows.h>

#include <shellapi.h>
#include <winver.h>

#include "app/console.h"
#include "cli/arguments.h"
#include "cli/commands.h"
#include "platform/win32/instance.h"
#include "platform/win32/win32_os.h"

namespace tarrow::app {
namespace {

// The file version of the program's own version resource, as "1.5.0.0".
std::wstring FileVersion() {
  const HRSRC found = ::FindResourceW(nullptr, MAKEINTRESOURCEW(VS_VERSION_INFO), MAKEINTRESOURCEW(16));
  const HGLOBAL loaded = found ? ::LoadResource(nullptr, found) : nullptr;
  const auto* bytes = loaded ? static_cast<const BYTE*>(::LockResource(loaded)) : nullptr;
  const DWORD size = found ? ::SizeofResource(nullptr, found) : 0;
  // The fixed part starts, aligned, at its signature; read without the
  // version library, which would be one more DLL to load.
  for (DWORD at = 0; bytes && at + sizeof(VS_FIXEDFILEINFO) <= size; at += 4) {
    VS_FIXEDFILEINFO info;
    ::CopyMemory(&info, bytes + at, sizeof info);
    if (info.dwSignature != 0xFEEF04BD) continue;
    return std::to_wstring(HIWORD(info.dwFileVersionMS)) + L"." +
           std::to_wstring(LOWORD(info.dwFileVersionMS)) + L"." +
           std::to_wstring(HIWORD(info.dwFileVersionLS)) + L"." +
           std::to_wstring(LOWORD(info.dwFileVersionLS));
  }
  return {};
}

}  // namespace

std::vector<std::wstring> CommandLineArguments() {
  int count = 0;
  LPWSTR* args = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  std::vector<std::wstring> result;
  for (int i = 1; args && i < count; ++i) result.emplace_back(args[i]);
  ::LocalFree(args);
  return result;
}

int RunCommand(const std::vector<std::wstring>& args) {
  StandardStreams streams;
  const cli::Parsed parsed = cli::ParseArguments(args);
  if (!parsed.ok()) return cli::ReportUsageError(parsed.error, streams.err());
  cli::CommandContext context{win32::RealOs(), streams.out(), streams.err(), FileVersion(),
                              [] { return win32::InstanceRuns(win32::kSingleInstanceName); }};
  return cli::Run(parsed.arguments, context);
}

}  // namespace tarrow::app
