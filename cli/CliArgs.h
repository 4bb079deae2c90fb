// The command line of zvbasic-cli:
//   zvbasic-cli [--port DEVICE] [--json] [--quiet] COMMAND [ARGS]
// The global options may also follow the command.
#pragma once

#include <string>
#include <vector>

// Exit codes: the interface scripts rely on.
enum eExit : int {
    EXIT_OK = 0,
    EXIT_DIFFERENT = 1,  // diff found differences
    EXIT_USAGE = 2,      // bad command line, or a command the ECU does not offer
    EXIT_PORT = 3,       // the port cannot be opened
    EXIT_ECU = 4,        // the ECU did not answer, or answered wrongly
    EXIT_FILE = 5,       // a file could not be read or written
    EXIT_NO_BEFORE = 6,  // report without --before: where the job began is not known
};

struct sCliArgs {
    std::string Port;  // empty: the port saved in zvbasic.ini
    bool Json = false;
    bool Quiet = false;
    bool Help = false;
    bool NoBackup = false;  // no automatic backup of what is read
    bool Version = false;   // --version
    std::string Command;    // ports, identify, read, write, diff, factory, live, capture, backups, report
    std::string File;       // read -o and report -o ("-": standard output), write, diff, capture
    bool NoStore = false;   // write
    bool Yes = false;       // factory
    bool Csv = false;       // live
    long Count = 0;         // live: 0 = until stopped
    double Seconds = 0;     // capture: 0 = until stopped
    bool Latest = false;    // backups: only the newest path
    // report: the two settings records, the drive, the job's lines
    std::string Before, After, CaptureFile, Vehicle, Fitter;
    std::string Language;  // report: the language of the report (else zvbasic.ini's)
};

// Parses argv[1..]. On a usage error returns false with the reason in `error`
// (one line, without the program name).
bool ParseCliArgs(const std::vector<std::string>& args, sCliArgs& out, std::string& error);

// The text of --help.
const char* CliUsage();
