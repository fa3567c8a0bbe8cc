#include "cli/arguments.h"

#include <algorithm>
#include <map>

namespace tarrow::cli {
namespace {

const std::map<std::wstring, Action>& Commands() {
  static const std::map<std::wstring, Action> commands{
      {L"--help", Action::Help},
      {L"--version", Action::Version},
      {L"--list", Action::List},
      {L"--set", Action::Set},
      {L"--restore", Action::Restore},
      {L"--export", Action::Export},
      {L"--import", Action::Import},
      {L"--check", Action::Check},
      {L"--icons", Action::Icons},
      // Help as Windows' own tools take it.
      {L"/?", Action::Help},
      {L"-h", Action::Help},
  };
  return commands;
}

// Text fit to quote back in a message: a huge argument is cut.
std::wstring Quoted(const std::wstring& text) {
  constexpr std::size_t kShown = 60;
  return L"\"" + (text.size() > kShown ? text.substr(0, kShown) + L"..." : text) + L"\"";
}

Parsed Fail(std::wstring error) {
  return {{}, std::move(error)};
}

}  // namespace

std::wstring ExtensionProblem(const std::wstring& text) {
  if (text.empty()) return L"the extension is empty";
  if (text.size() > kMaxExtensionChars)
    return L"the extension is longer than " + std::to_wstring(kMaxExtensionChars) + L" characters";
  if (text[0] != L'.') return Quoted(text) + L" is not an extension: it must start with a dot, as in .txt";
  if (text.size() == 1) return L"the extension \".\" has no name after its dot";
  // A backslash would name a subkey; control characters name nothing a file
  // can end with.
  const bool bad = std::any_of(text.begin(), text.end(), [](wchar_t c) { return c == L'\\' || c < 0x20; });
  if (bad) return Quoted(text) + L" is not an extension: it holds a backslash or a control character";
  return {};
}

Parsed ParseArguments(const std::vector<std::wstring>& args) {
  if (args.empty()) return {};
  for (const auto& arg : args) {
    if (arg.size() > kMaxArgumentChars)
      return Fail(L"an argument is longer than " + std::to_wstring(kMaxArgumentChars) + L" characters");
  }
  std::vector<std::wstring> rest = args;
  Arguments parsed;
  // --json belongs to --list, on either side of it.
  if (const auto json = std::find(rest.begin(), rest.end(), L"--json"); json != rest.end()) {
    parsed.json = true;
    rest.erase(json);
    if (rest.empty() || rest[0] != L"--list") return Fail(L"--json goes with --list only");
  }
  if (const auto all = std::find(rest.begin(), rest.end(), L"--all"); all != rest.end()) {
    parsed.all = true;
    rest.erase(all);
    if (rest.empty() || rest[0] != L"--list") return Fail(L"--all goes with --list only");
  }
  const auto command = Commands().find(rest[0]);
  if (command == Commands().end()) return Fail(L"unknown command " + Quoted(rest[0]));
  parsed.action = command->second;
  const std::wstring& name = command->first;
  const std::vector<std::wstring> operands(rest.begin() + 1, rest.end());
  auto count = [&](std::size_t wanted, const wchar_t* what) -> std::wstring {
    if (operands.size() < wanted) return name + L" needs " + what;
    if (operands.size() > wanted && wanted == 0)
      return name + L" takes nothing more, not " + Quoted(operands[0]);
    if (operands.size() > wanted) return name + L" takes " + what + L" only, not " + Quoted(operands[wanted]);
    return {};
  };

  std::wstring error;
  switch (parsed.action) {
    case Action::Window:
    case Action::Help:
    case Action::Version:
    case Action::List:
      error = count(0, L"");
      break;
    case Action::Set:
      // The extensions, then the one location they all get.
      if (operands.size() < 2) {
        error = name + L" needs one or more extensions and an icon location";
      } else {
        parsed.extensions.assign(operands.begin(), operands.end() - 1);
        parsed.location = operands.back();
        for (const auto& extension : parsed.extensions) {
          if (!(error = ExtensionProblem(extension)).empty()) break;
        }
        if (error.empty() && parsed.location.empty()) error = L"the icon location is empty";
        if (error.empty() && parsed.location.size() > kMaxLocationChars)
          error = L"the icon location is longer than " + std::to_wstring(kMaxLocationChars) + L" characters";
      }
      break;
    case Action::Restore:
      for (const auto& extension : operands) {
        if (!(error = ExtensionProblem(extension)).empty()) break;
      }
      parsed.extensions = operands;
      break;
    case Action::Export:
    case Action::Import:
    case Action::Check:
    case Action::Icons:
      if ((error = count(1, L"one file name")).empty()) {
        parsed.file = operands[0];
        if (parsed.file.empty()) error = L"the file name is empty";
      }
      break;
  }
  if (!error.empty()) return Fail(error);
  return {parsed, {}};
}

}  // namespace tarrow::cli
