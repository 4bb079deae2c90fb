// zvbasic-bench-link: how close the link thread comes to the protocol's own
// speed limit, against the simulated ECU answering at 1200 baud byte time.
//
// For each ECU version it measures the time from SetPortName to
// SettingsLoaded, a settings write with store, and one full cycle of the six
// live values, and prints each next to its floor: the mandated pauses plus
// the time the ECU needs to send its reply bytes. Then it measures the CPU
// time the link thread uses while it polls idle. Last, settings reads with
// and without the automatic backup the programs make after each one: the
// time from the end of the read to the backup on disk, and to the link's next
// exchange (the first idle poll value), which the backup must not delay.
//
// Usage: zvbasic-bench-link [idle-seconds]   (default 20)
#include <pthread.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "core/Backup.h"

#include "link/CommThread.h"
#include "link/LinkListener.h"
#include "link/Settings.h"

#include "tools/ecusim/EcuSimulator.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kByteMs = 10.0 * 1000.0 / 1200.0;  // start, 8 data and stop bits at 1200 baud
constexpr double kHandshakePauseMs = 200.0;
constexpr double kNewWriteStepMs = 10.0;

// One exchange: a pause before each of the three command bytes, then the
// three reply bytes on the line.
double ExchangeFloorMs(int pauseMs) { return 3.0 * pauseMs + 3.0 * kByteMs; }

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double ThreadCpuSeconds(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// Notes the time of the events the bench waits for. With no invoker the
// notifications run on the link thread itself, which also lets the bench
// find that thread's CPU clock.
class cTimer : public cLinkListener {
public:
    std::function<void()> OnLoaded;  // runs on the link thread, once

    void LinkEvent() override {
        Capture();
        std::lock_guard<std::mutex> lock(M);
        if (LinkRequest == RQ_WRITE_SETTINGS && LinkPhase == 2 && LinkValue == 1) WriteDone = Clock::now();
        if (LinkRequest == RQ_VIS_POLL && LinkPhase == 8) VisCycleEnds.push_back(Clock::now());
        Cv.notify_all();
    }
    void SettingsLoaded() override {
        Capture();
        std::function<void()> action;
        {
            std::lock_guard<std::mutex> lock(M);
            if (Loaded == Clock::time_point{}) Loaded = Clock::now();
            action = std::move(OnLoaded);
            OnLoaded = nullptr;
        }
        if (action) action();
        Cv.notify_all();
    }
    void RequestFailed() override { ++Failures; }
    void SendError() override { ++Failures; }
    void NoReply() override { ++Failures; }
    void BadReply() override { ++Failures; }

    template <class Pred>
    bool Wait(Pred pred, std::chrono::milliseconds limit) {
        std::unique_lock<std::mutex> lock(M);
        return Cv.wait_for(lock, limit, [&] { return pred(); });
    }

    std::mutex M;
    std::condition_variable Cv;
    Clock::time_point Loaded{}, WriteDone{};
    std::vector<Clock::time_point> VisCycleEnds;
    std::atomic<int> Failures{0};
    std::atomic<bool> HaveClock{false};
    clockid_t LinkClock{};

private:
    void Capture() {
        if (HaveClock) return;
        if (pthread_getcpuclockid(pthread_self(), &LinkClock) == 0) HaveClock = true;
    }
};

// Hands every completed read to a backup writer, as the programs do, when
// switched on; notes when the read ended, when its backup was on disk and
// when the next idle poll value came.
class cBackupProbe : public cLinkListener {
public:
    explicit cBackupProbe(std::string folder)
        : Folder(std::move(folder)),
          Writer([this](const Backup::sJob&, const Backup::sResult& r) {
              std::lock_guard<std::mutex> lock(M);
              OnDisk = Clock::now();
              Written += r.Outcome == Backup::eOutcome::Written;
              Cv.notify_all();
          }) {}

    void LinkEvent() override {
        std::lock_guard<std::mutex> lock(M);
        if (LinkRequest == RQ_IDENTIFY && LinkPhase == Phase::IdVersion) IdVersion = LinkValue;
        if (LinkRequest == RQ_IDENTIFY && LinkPhase == Phase::Version) Version = LinkValue;
        if (LinkRequest == RQ_READ_SETTINGS && LinkPhase == Phase::Done && LinkValue == 1) {
            ReadEnd = Clock::now();
            NextPoll = Clock::time_point{};
            if (On)
                Writer.Submit({Folder, Ecu::VersionCaption(IdVersion, Version),
                               std::to_string(ReadEnd.time_since_epoch().count()), std::time(nullptr)});
        }
        if (LinkRequest == RQ_IDLE_POLL && ReadEnd != Clock::time_point{} && NextPoll == Clock::time_point{}) {
            NextPoll = Clock::now();
            Cv.notify_all();
        }
    }

    std::string Folder;
    std::mutex M;
    std::condition_variable Cv;
    bool On = false;
    int IdVersion = 0, Version = 0, Written = 0;
    Clock::time_point ReadEnd{}, NextPoll{}, OnDisk{};
    Backup::cWriter Writer;
};

void Row(const char* what, double measured, double floor) {
    std::printf("  %-34s %9.1f ms   floor %9.1f ms   ratio %.3f\n", what, measured, floor, measured / floor);
}

bool BenchVersion(int version, double idleSeconds) {
    WorkSettings = EcuSettings = IncomingSettings = sSettings{};
    sSimOptions options;
    options.Version = version;
    options.Instant = false;  // replies at 1200 baud byte time
    cEcuSimulator sim(options);
    sim.Start();

    cTimer timer;
    cCommThread link;
    link.AddListener(&timer);
    const std::string folder =
        (std::filesystem::temp_directory_path() / ("zvbench-backups-" + std::to_string(::getpid()))).string();
    cBackupProbe probe(folder);
    link.AddListener(&probe);

    const int pause = Ecu::BytePauseMs(version);
    const int reads = Ecu::ReadCount(version);
    std::printf("ECU version 0x%02X (%d), %d ms per byte, %d settings\n", version, version, pause, reads);

    // 1. SetPortName -> SettingsLoaded: handshake, identification (paced at
    // 50 ms, the version is not known yet), the read. The write is posted
    // from within SettingsLoaded, as a screen would, so no idle poll comes
    // in between.
    Clock::time_point writePosted{};
    timer.OnLoaded = [&] {
        writePosted = Clock::now();
        link.PostRequest(RQ_WRITE_SETTINGS);
    };
    const auto t0 = Clock::now();
    link.SetPortName(sim.DevicePath());
    if (!timer.Wait([&] { return timer.WriteDone != Clock::time_point{}; }, std::chrono::seconds(30))) {
        std::printf("  no settings loaded and written within 30 s\n");
        return false;
    }
    const double connectFloor =
        kHandshakePauseMs + 3 * kByteMs + 2 * ExchangeFloorMs(50) + reads * ExchangeFloorMs(pause);
    Row("SetPortName -> SettingsLoaded", Ms(timer.Loaded - t0), connectFloor);

    // 2. Write with store.
    double writeFloor;
    if (Ecu::NewProtocol(version)) writeFloor = 10 * kNewWriteStepMs + ExchangeFloorMs(pause);
    else writeFloor = (Ecu::OldWriteCount(version) + 1) * ExchangeFloorMs(pause);
    Row("write + store", Ms(timer.WriteDone - writePosted), writeFloor);

    // 3. The visualisation poll: the time between the ends of two cycles is
    // one cycle of six exchanges. The mean over five cycles.
    while (!link.PostRequest(RQ_VIS_POLL)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const size_t cycles = 5;
    if (!timer.Wait([&] { return timer.VisCycleEnds.size() >= cycles + 1; }, std::chrono::seconds(30))) {
        std::printf("  visualisation poll stalled\n");
        return false;
    }
    double cycleMs;
    {
        std::lock_guard<std::mutex> lock(timer.M);
        cycleMs = Ms(timer.VisCycleEnds[cycles] - timer.VisCycleEnds[0]) / cycles;
    }
    Row("live cycle (six values)", cycleMs, 6 * ExchangeFloorMs(pause));
    link.StopRequest();

    // 4. CPU use of the link thread while it polls idle.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    if (!timer.HaveClock) {
        std::printf("  link thread clock not found\n");
        return false;
    }
    const double cpu0 = ThreadCpuSeconds(timer.LinkClock);
    const auto w0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(idleSeconds));
    const double cpu = ThreadCpuSeconds(timer.LinkClock) - cpu0;
    const double wall = Ms(Clock::now() - w0) / 1000.0;
    std::printf("  %-34s %9.3f s CPU in %.1f s = %.3f %% of one core (target < 1 %%)\n",
                "link thread while idle polling", cpu, wall, 100.0 * cpu / wall);

    // 5. Settings reads, alternately without and with the backup.
    const int rounds = 6;
    double nextOff = 0, nextOn = 0, disk = 0, worstDisk = 0;
    for (int round = 0; round < 2 * rounds; ++round) {
        const bool on = round % 2 == 1;
        {
            std::lock_guard<std::mutex> lock(probe.M);
            probe.On = on;
            probe.ReadEnd = probe.NextPoll = probe.OnDisk = Clock::time_point{};
        }
        while (!link.PostRequest(RQ_READ_SETTINGS)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::unique_lock<std::mutex> lock(probe.M);
        if (!probe.Cv.wait_for(lock, std::chrono::seconds(30), [&] {
                return probe.NextPoll != Clock::time_point{} && (!on || probe.OnDisk != Clock::time_point{});
            })) {
            std::printf("  read %d did not end in time\n", round);
            return false;
        }
        (on ? nextOn : nextOff) += Ms(probe.NextPoll - probe.ReadEnd) / rounds;
        if (on) {
            disk += Ms(probe.OnDisk - probe.ReadEnd) / rounds;
            worstDisk = std::max(worstDisk, Ms(probe.OnDisk - probe.ReadEnd));
        }
    }
    std::printf("  %-34s %9.1f ms\n", "read end -> next exchange, no backup", nextOff);
    std::printf("  %-34s %9.1f ms\n", "read end -> next exchange, backup", nextOn);
    std::printf("  %-34s %9.1f ms   (worst %.1f ms, %d files)\n", "read end -> backup on disk", disk, worstDisk,
                probe.Written);
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);

    link.Shutdown();
    if (timer.Failures) std::printf("  %d failure notifications\n", int(timer.Failures));
    std::printf("  simulator pacing violations: %d\n", sim.PacingViolations());
    return timer.Failures == 0;
}

}  // namespace

int main(int argc, char** argv) {
    double idleSeconds = 20.0;
    if (argc > 1) idleSeconds = std::atof(argv[1]);
    if (idleSeconds <= 0) idleSeconds = 20.0;
    bool ok = true;
    for (int version : {0x16, 0x30}) ok = BenchVersion(version, idleSeconds) && ok;
    return ok ? 0 : 1;
}
