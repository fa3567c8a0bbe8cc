// The command line: which command, with what operands.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tarrow::cli {

// The longest argument Windows can pass at all: a whole command line is at
// most this many characters.
inline constexpr std::size_t kMaxArgumentChars = 32767;
// The longest icon location accepted: the registry keeps values above 2,048
// bytes out of its fast path and asks for them to go in files instead, so a
// location with its terminating NUL stays within 2,048 bytes of UTF-16.
inline constexpr std::size_t kMaxLocationChars = 1023;
// The longest registry key name, which an extension is.
inline constexpr std::size_t kMaxExtensionChars = 255;

enum class Action { Window, Help, Version, List, Set, Restore, Export, Import, Check, Icons };

struct Arguments {
  Action action = Action::Window;
  bool json = false;                     // --list --json
  bool all = false;                      // --list --all: types without an icon too
  std::vector<std::wstring> extensions;  // --set: one or more; --restore: none (all) or some
  std::wstring location;                 // --set
  std::wstring file;                     // --export, --import, --check, --icons
};

// Either the command, or why the arguments are not one: `error` is then what
// to tell the user, before the usage text.
struct Parsed {
  Arguments arguments;
  std::wstring error;
  bool ok() const { return error.empty(); }
};

// The arguments after the program's name. None at all opens the window.
Parsed ParseArguments(const std::vector<std::wstring>& args);

// Why the text is not an extension Tarrow can name; empty when it is one.
std::wstring ExtensionProblem(const std::wstring& text);

}  // namespace tarrow::cli
