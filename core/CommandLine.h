// The program's arguments as the fitter typed them, one file per system
// (CommandLinePosix.cpp, CommandLineWin32.cpp). On Linux main's argv holds
// them already; on Windows argv is in the ANSI code page, which cannot hold
// every file name (a Cyrillic folder on a German Windows), and the wide
// command line is read instead.
#pragma once

#include <string>
#include <vector>

namespace CommandLine {

// The arguments, the program's name first: UTF-8 on Windows, the bytes of
// argv on Linux.
std::vector<std::string> Arguments(int argc, char** argv);

// For a program of the window system (zvbasic, zvbasic-capview) asked for
// text (--help, --version, --csv): on Windows such a program has no console
// of its own, and its standard streams that are not redirected go nowhere;
// they are connected to the console of the program that started it (cmd),
// if there is one. Elsewhere nothing changes.
void UseParentConsole();

}  // namespace CommandLine
