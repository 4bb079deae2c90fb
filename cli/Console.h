// What zvbasic-cli asks of the console, one file per system
// (ConsolePosix.cpp, ConsoleWin32.cpp): Ctrl-C and the termination request
// set CliSignal (SIGINT, SIGTERM) instead of ending the program, a closed
// output pipe ends the output and not the program, and the texts (UTF-8)
// reach the console as they are. The arguments come from
// CommandLine::Arguments (core/), like the viewer's.
#pragma once

namespace Console {
void Install();
// Whether standard error is a terminal (a console window).
bool ErrorIsTerminal();
}  // namespace Console
