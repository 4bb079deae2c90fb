#include <signal.h>
#include <unistd.h>

#include "cli/CliSession.h"
#include "cli/Console.h"

namespace {
void OnSignal(int sig) {
    if (!CliSignal) CliSignal = sig;
}
}  // namespace

namespace Console {

void Install() {
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);  // a closed pipe ends the output, not the program
}

bool ErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

}  // namespace Console
