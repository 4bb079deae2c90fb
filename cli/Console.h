// What zvbasic-cli asks of the console, one file per system
// (ConsolePosix.cpp, ConsoleWin32.cpp): Ctrl-C and the termination request
// set CliSignal (SIGINT, SIGTERM) instead of ending the program, a closed
// output pipe ends the output and not the program, and the texts (UTF-8)
// reach the console as they are.
#pragma once

#include <string>
#include <vector>

namespace Console {
void Install();
// The command's arguments (without the program's name) in UTF-8, whatever
// the system's code page.
std::vector<std::string> Arguments(int argc, char** argv);
// Whether standard error is a terminal (a console window).
bool ErrorIsTerminal();
}  // namespace Console
