// zvbasic-cli: the ECU from the command line. The commands live in the zvcli
// library; this is their standard output and standard error, and the signals
// (Console: one file per system).
#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/CliCommands.h"
#include "cli/CliSession.h"
#include "cli/Console.h"

namespace {

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
    Console::Install();
    sCliOutput output;
    output.Out = WriteOut;
    output.Err = WriteErr;
    output.ErrTerminal = Console::ErrorIsTerminal();
    return RunCliCommand(Console::Arguments(argc, argv), output);
}
