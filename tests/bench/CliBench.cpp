// zvbasic-bench-cli: how long zvbasic-cli takes for a backup ("read -o") and a
// restore ("write", with its store and the read back), as a program started
// from scratch against the simulated ECU answering at 1200 baud byte time,
// next to the protocol's floor: the mandated pauses plus the time the ECU
// needs to send its reply bytes. Process start and the orderly end (the link
// thread finishing the exchange in hand) count against the program.
//
// Usage: zvbasic-bench-cli [rounds]   (default 3; the best round counts)
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "link/Settings.h"

#include "tools/ecusim/EcuSimulator.h"

#include "CliRunner.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kByteMs = 10.0 * 1000.0 / 1200.0;  // start, 8 data and stop bits at 1200 baud
constexpr double kHandshakePauseMs = 200.0;
constexpr double kNewWriteStepMs = 10.0;

double ExchangeFloorMs(int pauseMs) { return 3.0 * pauseMs + 3.0 * kByteMs; }

std::string FindCli() {
    std::string exe = CliExe();
    if (!exe.empty()) return exe;
    char buf[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return std::string();
    std::string dir(buf, size_t(n));
    dir = dir.substr(0, dir.rfind('/'));
    exe = dir + "/zvbasic-cli";
    return ::access(exe.c_str(), X_OK) == 0 ? exe : std::string();
}

void Row(const char* what, double measured, double floor) {
    std::printf("  %-30s %9.1f ms   floor %9.1f ms   ratio %.3f\n", what, measured, floor, measured / floor);
}

// Best wall time of `rounds` runs; negative when a run failed.
double Time(const std::string& exe, const std::vector<std::string>& args, int rounds) {
    double best = -1;
    for (int i = 0; i < rounds; ++i) {
        const auto t0 = Clock::now();
        sCliRun run = RunCli(exe, args);
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        if (run.Exit != 0) {
            std::printf("  zvbasic-cli failed (%d): %s", run.Exit, run.Err.c_str());
            return -1;
        }
        if (best < 0 || ms < best) best = ms;
    }
    return best;
}

bool BenchVersion(const std::string& exe, int version, int rounds) {
    sSimOptions options;
    options.Version = version;
    options.Instant = false;
    cEcuSimulator sim(options);
    sim.Start();
    const int pause = Ecu::BytePauseMs(version);
    const int reads = Ecu::ReadCount(version);
    std::printf("ECU version 0x%02X (%d), %d ms per byte, %d settings\n", version, version, pause, reads);

    const std::string file = "/tmp/zvbasic-bench-cli-" + std::to_string(::getpid()) + ".zv2";
    const double connectAndRead =
        kHandshakePauseMs + 3 * kByteMs + 2 * ExchangeFloorMs(50) + reads * ExchangeFloorMs(pause);
    const double read = Time(exe, {"--port", sim.DevicePath(), "--quiet", "read", "-o", file}, rounds);
    if (read < 0) return false;
    Row("read -o (backup)", read, connectAndRead);

    // The restore: connect and read, the write (from 48 the twelve updates,
    // the ten steps and the store; below, the block and the store), the read back.
    double writeFloor;
    if (Ecu::NewProtocol(version))
        writeFloor = 12 * ExchangeFloorMs(pause) + 10 * kNewWriteStepMs + ExchangeFloorMs(pause);
    else writeFloor = (Ecu::OldWriteCount(version) + 1) * ExchangeFloorMs(pause);
    const double write = Time(exe, {"--port", sim.DevicePath(), "--quiet", "write", file}, rounds);
    std::remove(file.c_str());
    if (write < 0) return false;
    Row("write (restore + verify)", write, connectAndRead + writeFloor + reads * ExchangeFloorMs(pause));
    std::printf("  simulator pacing violations: %d\n", sim.PacingViolations());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = argc > 1 ? std::atoi(argv[1]) : 3;
    if (rounds <= 0) rounds = 3;
    const std::string exe = FindCli();
    if (exe.empty()) {
        std::fprintf(stderr, "zvbasic-cli not found beside the benchmark (or in ZV_BIN_DIR)\n");
        return 1;
    }
    bool ok = true;
    for (int version : {22, 47, 48}) ok = BenchVersion(exe, version, rounds) && ok;
    return ok ? 0 : 1;
}
