#include "cli/commands.h"

#include "picker/grid_text.h"
#include "platform/icon_directory.h"

namespace tarrow::cli {

void WriteLine(TextSink& sink, std::wstring_view line) {
  std::wstring text(line);
  text += L'\n';
  sink.Write(text);
}

// A message meant for a box, as lines for a console.
void WriteMessage(TextSink& sink, std::wstring text) {
  std::wstring out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'\r') {
      if (i + 1 < text.size() && text[i + 1] == L'\n') continue;
      out += L'\n';
    } else {
      out += text[i];
    }
  }
  WriteLine(sink, L"tarrow: " + out);
}

std::wstring UsageText() {
  return L"Usage: tarrow [command]\n"
         L"Without a command, Tarrow opens its window.\n"
         L"\n"
         L"  --list [--all] [--json]\n"
         L"                        List the file types: extension, ProgID, description and\n"
         L"                        icon location, separated by tabs, one type a line (a\n"
         L"                        tab, CR or LF in them is written \\t, \\r or \\n, and\n"
         L"                        nothing else is changed); --all adds the types without\n"
         L"                        an icon of their own (an empty location); --json adds\n"
         L"                        where each value comes from, whether Tarrow changed it\n"
         L"                        and whether it is a Store app's, every text exact.\n"
         L"  --set .ext [.ext ...] LOCATION\n"
         L"                        Give the types the icon at LOCATION (file,index), which\n"
         L"                        must hold that icon, or a picture (.png, .jpg, .jpeg,\n"
         L"                        .bmp, .gif), made an icon of 16 to 256 pixels.\n"
         L"  --restore [.ext ...]  Put back the original icon of the types named, or of\n"
         L"                        every type.\n"
         L"  --export FILE.reg     Write the icons Tarrow changed to a file regedit imports;\n"
         L"                        a value whose name the file cannot carry is left out.\n"
         L"  --import FILE.reg     Give the types the icons a .reg file sets, as --export\n"
         L"                        writes it; --restore takes them back.\n"
         L"  --check FILE.reg      Say whether every icon the file sets is the one Explorer\n"
         L"                        shows, naming each that differs; changes nothing.\n"
         L"  --icons FILE          List the icons of a .dll, .exe or .ico file: the index,\n"
         L"                        a tab, then each image as WIDTHxHEIGHTxBITS.\n"
         L"  --help, -h, /?        Show this text.\n"
         L"  --version             Show the version.\n"
         L"\n"
         L"Exit codes: 0 done (--check: every icon in place); 1 failed (--check: an icon\n"
         L"differs); 2 bad arguments, an unknown extension, a location --set refuses, or a\n"
         L"file that is no icon set; 3 Tarrow's window is open (close it first), or\n"
         L"another Tarrow went on changing icons for a whole minute.\n";
}

int ReportUsageError(const std::wstring& error, TextSink& err) {
  WriteLine(err, L"tarrow: " + error + L".");
  err.Write(L"\n");
  err.Write(UsageText());
  return kExitUsage;
}

int Run(const Arguments& arguments, CommandContext& context) {
  const bool writes = arguments.action == Action::Set || arguments.action == Action::Restore ||
                      arguments.action == Action::Import;
  if (writes && context.windowIsOpen && context.windowIsOpen()) {
    WriteLine(context.err, L"tarrow: Tarrow's window is open. Close it, then run the command again.");
    return kExitWindowOpen;
  }
  switch (arguments.action) {
    case Action::Help:
      return RunHelp(context);
    case Action::Version:
      return RunVersion(context);
    case Action::Icons:
      return RunIcons(context, arguments.file);
    case Action::List:
      return RunList(context, arguments.json, arguments.all ? TypesListed::All : TypesListed::WithIcon);
    case Action::Set:
      return RunSet(context, arguments.extensions, arguments.location);
    case Action::Restore:
      return RunRestore(context, arguments.extensions);
    case Action::Export:
      return RunExport(context, arguments.file);
    case Action::Import:
      return RunImport(context, arguments.file);
    case Action::Check:
      return RunCheck(context, arguments.file);
    case Action::Window:
      break;
  }
  return ReportUsageError(L"no command given", context.err);
}

int RunHelp(CommandContext& context) {
  context.out.Write(UsageText());
  return kExitOk;
}

int RunVersion(CommandContext& context) {
  std::wstring line =
      L"Tarrow " + std::to_wstring(TARROW_VERSION_MAJOR) + L"." + std::to_wstring(TARROW_VERSION_MINOR);
  if (!context.fileVersion.empty()) line += L" (file version " + context.fileVersion + L")";
  WriteLine(context.out, line);
  return kExitOk;
}

std::wstring MissingFileProblem(Os& os, const std::wstring& file) {
  // Told apart as the window's empty grid tells them apart.
  switch (CheckIconFile(os.shell, os.files, file)) {
    case IconFileState::Missing:
      return L"there is no file by this name";
    case IconFileState::Unreadable:
      return L"it cannot be read";
    case IconFileState::Present:
      break;
  }
  return {};
}

int RunIcons(CommandContext& context, const std::wstring& file) {
  const IconDirectory directory = context.os.shell.ReadIconDirectory(file);
  if (!directory.readable) {
    std::wstring why = MissingFileProblem(context.os, file);
    if (why.empty()) why = L"it is damaged, or not a program or icon file";
    WriteLine(context.err, L"tarrow: cannot read icons from \"" + file + L"\": " + why + L".");
    return kExitFailed;
  }
  if (directory.icons.empty()) {
    WriteLine(context.err, L"tarrow: \"" + file + L"\" holds no icons.");
    return kExitFailed;
  }
  for (std::size_t i = 0; i < directory.icons.size(); ++i) {
    std::vector<IconImageSize> images = directory.icons[i];
    SortLargestFirst(images);
    std::wstring line = std::to_wstring(i) + L"\t";
    for (std::size_t k = 0; k < images.size(); ++k) {
      if (k > 0) line += L' ';
      line += std::to_wstring(images[k].width) + L"x" + std::to_wstring(images[k].height) + L"x" +
              std::to_wstring(images[k].bits);
    }
    WriteLine(context.out, line);
  }
  for (const int index : directory.damaged)
    WriteLine(context.err, L"tarrow: icon " + std::to_wstring(index) + L" of \"" + file +
                               L"\" is damaged: its images cannot be read.");
  return directory.damaged.empty() ? kExitOk : kExitFailed;
}

}  // namespace tarrow::cli
