// Runs a zvbasic-cli command in this process on an ECU in memory: its port
// stands at the ECU's name (given to --port unless the arguments name a
// port), the link's pauses pass on the ECU's fast clock, and the session's
// own clock (a capture's length) is the test's: it stands still until Later
// moves it on (from the output callbacks), so a capture ends after the
// records the test counts, wherever the machine's time went. Every run is judged once: the ECU answers as each frame
// is written, so nothing depends on how busy the machine is.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cli/CliCommands.h"
#include "cli/CliSession.h"

#include "tests/link/MemoryEcu.h"

namespace clitest {

struct sMemoryRun {
    int Exit = -1;
    std::string Out, Err;
};

class cMemoryCli {
public:
    explicit cMemoryCli(linktest::cMemoryEcu& ecu) : Ecu(&ecu) {}
    // Without an ECU until SetEcu; `clockRuns`: the session's clock is the
    // steady clock plus what Later added, for tests whose commands wait for
    // the machine's own time as well.
    explicit cMemoryCli(linktest::cMemoryEcu* ecu, bool clockRuns) : Ecu(ecu), ClockRuns(clockRuns) {}
    void SetEcu(linktest::cMemoryEcu* ecu) { Ecu = ecu; }

    // Moves the session's clock on.
    void Later(std::chrono::milliseconds by) { OffsetMs += by.count(); }
    void ResetClock() { OffsetMs = 0; }

    // `onOut` and `onErr` see each piece of standard output and each line of
    // standard error as it comes, on the command's own thread.
    sMemoryRun Run(std::vector<std::string> args, const std::function<void(const std::string&)>& onOut = {},
                   const std::function<void(const std::string&)>& onErr = {}) {
        if (Ecu && std::find(args.begin(), args.end(), "--port") == args.end())
            args.insert(args.begin(), {"--port", Ecu->DevicePath()});
        return Offline(args, onOut, onErr);
    }
    // A command as given: one that needs no ECU (backups, a report of files).
    sMemoryRun Offline(const std::vector<std::string>& args, const std::function<void(const std::string&)>& onOut = {},
                       const std::function<void(const std::string&)>& onErr = {}) {
        sCliLine line;
        if (linktest::cMemoryEcu* ecu = Ecu) {
            line.MakePort = [ecu](std::shared_ptr<cWaitHub> hub) -> std::unique_ptr<cBytePort> {
                return std::make_unique<linktest::cMemoryPort>(std::move(hub), [ecu](const std::string& name) {
                    return name == ecu->DevicePath() ? ecu : nullptr;
                });
            };
            line.Now = [this] {
                return (ClockRuns ? std::chrono::steady_clock::now() : Start) +
                       std::chrono::milliseconds(OffsetMs.load());
            };
        }
        sMemoryRun run;
        sCliOutput output;
        output.Out = [&](const std::string& text) {
            run.Out += text;
            if (onOut) onOut(text);
            return 0;
        };
        output.Err = [&](const std::string& text) {
            run.Err += text;
            if (onErr) onErr(text);
        };
        output.Pdf = Pdf;
        run.Exit = RunCliCommand(args, output, line);
        return run;
    }

    // The report's painter; none by default (a build without Qt).
    decltype(sCliOutput::Pdf) Pdf;

private:
    linktest::cMemoryEcu* Ecu = nullptr;
    bool ClockRuns = false;
    const std::chrono::steady_clock::time_point Start = std::chrono::steady_clock::now();
    std::atomic<int64_t> OffsetMs{0};
};

}  // namespace clitest
