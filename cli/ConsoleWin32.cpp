// Windows: Ctrl-C is SIGINT; Ctrl-Break, closing the console window, logging
// off and shutting down are SIGTERM. The handler runs on a thread of its own
// and only sets CliSignal; the command then ends as on Linux (a capture
// closes its file whole, a write finishes the frame it began). For the close
// and shut-down events Windows ends the process when the handler returns, so
// the handler waits there (at most the few seconds Windows allows) while the
// command ends.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "cli/CliSession.h"
#include "cli/Console.h"

namespace {

BOOL WINAPI OnConsoleEvent(DWORD event) {
    const int sig = event == CTRL_C_EVENT ? SIGINT : SIGTERM;
    if (!CliSignal) CliSignal = sig;
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) Sleep(4000);
    return TRUE;
}

}  // namespace

namespace Console {

void Install() {
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
    // The texts are UTF-8 (German, Polish and Russian): the console shows
    // them as such, and gets its own code page back when the command ends
    // (cmd and the programs run after it in that window keep theirs).
    static UINT saved = GetConsoleOutputCP();
    if (SetConsoleOutputCP(CP_UTF8) && saved != 0) std::atexit([] { SetConsoleOutputCP(saved); });
    // Bytes as they are: the program writes its own line ends, and a vehicle
    // file written to standard output keeps its CR LF.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

bool ErrorIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

}  // namespace Console
