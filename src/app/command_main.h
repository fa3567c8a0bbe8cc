// What tarrow.exe and its console companion tarrow.com share: the command
// line, and a command run without the window.
#pragma once

#include <string>
#include <vector>

namespace tarrow::app {

// The arguments after the program's name.
std::vector<std::wstring> CommandLineArguments();

// Runs the command the arguments name (not the window) and returns the exit
// code. It takes no single-instance name, so it never turns a window away nor
// is turned away by one.
int RunCommand(const std::vector<std::wstring>& args);

}  // namespace tarrow::app
