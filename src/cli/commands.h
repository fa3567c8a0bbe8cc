// The commands of tarrow.exe's command line. They run without a window, over
// the OS boundary, and write text to sinks the caller provides.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/scan.h"
#include "changes/reg_import.h"
#include "cli/arguments.h"
#include "platform/os.h"

namespace tarrow::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
// Bad arguments, or an extension that is not registered.
inline constexpr int kExitUsage = 2;
// A command that writes the registry refused: Tarrow's window is open and
// holds its own view of the icons, or another Tarrow was changing icons all
// the while it waited.
inline constexpr int kExitWindowOpen = 3;
inline constexpr int kExitBusy = 3;

// Where a command's text goes. Text is whole lines, each ending in "\n".
class TextSink {
 public:
  virtual ~TextSink() = default;
  virtual void Write(std::wstring_view text) = 0;
};

struct CommandContext {
  Os& os;
  TextSink& out;
  TextSink& err;
  std::wstring fileVersion;            // as "1.5.0.0"
  std::function<bool()> windowIsOpen;  // asked only before a write
};

void WriteLine(TextSink& sink, std::wstring_view line);
// A message meant for a box, as lines for a console, after "tarrow: ".
void WriteMessage(TextSink& sink, std::wstring text);

std::wstring UsageText();

// Runs a command other than Action::Window; returns the exit code.
int Run(const Arguments& arguments, CommandContext& context);
// Tells the user what is wrong with the arguments, then how to use them.
int ReportUsageError(const std::wstring& error, TextSink& err);

int RunHelp(CommandContext& context);
int RunVersion(CommandContext& context);
int RunIcons(CommandContext& context, const std::wstring& file);
// "there is no file by this name" or "it cannot be read" for an icon file
// that is missing or cannot be opened; empty when it is there to read.
std::wstring MissingFileProblem(Os& os, const std::wstring& file);

// The commands over the file types. Run has already checked their operands
// and, for --set and --restore, that the window is closed.
int RunList(CommandContext& context, bool json, TypesListed which = TypesListed::WithIcon);
// Each type in turn gets the location; an extension that is not listed
// stops the command before anything is written.
int RunSet(CommandContext& context, const std::vector<std::wstring>& extensions,
           const std::wstring& location);
int RunRestore(CommandContext& context, const std::vector<std::wstring>& extensions);
int RunExport(CommandContext& context, const std::wstring& file);

// --import: the file's icons given through the same rules as Apply.
int RunImport(CommandContext& context, const std::wstring& file);
// --check: 0 when every icon of the file is what Explorer shows this user, 1
// when one differs (each named with what it has), 2 for a file that is no
// icon set.
int RunCheck(CommandContext& context, const std::wstring& file);

}  // namespace tarrow::cli
