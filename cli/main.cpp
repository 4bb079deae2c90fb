// zvbasic-cli: the ECU from the command line. The commands live in the zvcli
// library; this is their standard output and standard error, and the signals.
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/CliCommands.h"
#include "cli/CliSession.h"

namespace {

void OnSignal(int sig) {
    if (!CliSignal) CliSignal = sig;
}

void InstallSignals() {
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);  // a closed pipe ends the output, not the program
}

int WriteOut(const std::string& text) {
    errno = 0;
    const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
    if (std::fflush(stdout) == 0 && written) return 0;
    return errno ? errno : EIO;
}

void WriteErr(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

}  // namespace

int main(int argc, char** argv) {
    InstallSignals();
    sCliOutput output;
    output.Out = WriteOut;
    output.Err = WriteErr;
    output.ErrTerminal = ::isatty(STDERR_FILENO) == 1;
    return RunCliCommand(std::vector<std::string>(argv + 1, argv + argc), output);
}
