// Shared pieces of the link thread tests: a listener that records every
// notification (and can act on one while the link waits, as a screen
// handler would), a stand-in user-interface thread (its own, or the test's
// own pumped by hand), and a fixture that runs the link against the ECU
// simulator on a pseudo-terminal or the ECU in memory.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "link/CommThread.h"
#include "link/LinkListener.h"
#include "link/Settings.h"

#include "tools/ecusim/EcuSimulator.h"

#include "tests/link/MemoryEcu.h"

namespace linktest {

using namespace std::chrono_literals;

enum class eKind { Event, Loaded, Failed, SendErr, NoRep, BadRep, Idle };

struct sNote {
    eKind Kind;
    int32_t Request = 0;
    int32_t Phase = 0;
    int32_t Value = 0;  // LinkIdle: 1 idle, 0 not
    bool operator==(const sNote&) const = default;
};

inline sNote Ev(int32_t rq, int32_t phase, int32_t value) { return {eKind::Event, rq, phase, value}; }
inline sNote Idle(bool idle) { return {eKind::Idle, 0, 0, idle ? 1 : 0}; }
inline sNote Note(eKind kind) { return {kind, 0, 0, 0}; }

inline std::string Describe(const sNote& n) {
    switch (n.Kind) {
    case eKind::Event:
        return "Event(" + std::to_string(n.Request - RQ_CONNECT) + "," + std::to_string(n.Phase) + "," +
               std::to_string(n.Value) + ")";
    case eKind::Loaded: return "SettingsLoaded";
    case eKind::Failed: return "RequestFailed";
    case eKind::SendErr: return "SendError";
    case eKind::NoRep: return "NoReply";
    case eKind::BadRep: return "BadReply";
    case eKind::Idle: return n.Value ? "LinkIdle(true)" : "LinkIdle(false)";
    }
    return "?";
}

inline void PrintTo(const sNote& n, std::ostream* os) { *os << Describe(n); }

inline bool IsExchangeFailure(const sNote& n) {
    return n.Kind == eKind::SendErr || n.Kind == eKind::NoRep || n.Kind == eKind::BadRep;
}

// Records every notification. Actions registered with When run once, on the
// delivering thread, right after the matching notification is recorded: the
// link thread is then waiting, exactly as it waits for a screen's handler.
class cRecorder : public cLinkListener {
public:
    using tMatch = std::function<bool(const sNote&)>;

    void LinkEvent() override { Add({eKind::Event, LinkRequest, LinkPhase, LinkValue}); }
    void SettingsLoaded() override { Add(Note(eKind::Loaded)); }
    void RequestFailed() override { Add(Note(eKind::Failed)); }
    void SendError() override { Add(Note(eKind::SendErr)); }
    void NoReply() override { Add(Note(eKind::NoRep)); }
    void BadReply() override { Add(Note(eKind::BadRep)); }
    void LinkIdle(bool idle) override { Add(Idle(idle)); }

    void When(tMatch match, std::function<void()> action) {
        std::lock_guard<std::mutex> lock(M);
        Triggers.push_back({std::move(match), std::move(action)});
    }
    void WhenKind(eKind kind, std::function<void()> action) {
        When([kind](const sNote& n) { return n.Kind == kind; }, std::move(action));
    }

    void Reset() {
        std::lock_guard<std::mutex> lock(M);
        List.clear();
        Settled = 0;
        Triggers.clear();
    }

    std::vector<sNote> Notes() const {
        std::lock_guard<std::mutex> lock(M);
        return {List.begin(), List.end()};
    }
    size_t Size() const {
        std::lock_guard<std::mutex> lock(M);
        return List.size();
    }
    int Count(eKind kind, size_t from = 0) const {
        auto notes = Notes();
        return int(std::count_if(notes.begin() + std::min(from, notes.size()), notes.end(),
                                 [kind](const sNote& n) { return n.Kind == kind; }));
    }
    int Count(const sNote& note, size_t from = 0) const {
        auto notes = Notes();
        return int(std::count(notes.begin() + std::min(from, notes.size()), notes.end(), note));
    }
    // Waits until `pred` holds for the notes recorded so far.
    bool WaitFor(const std::function<bool(const std::vector<sNote>&)>& pred, std::chrono::milliseconds limit) {
        std::unique_lock<std::mutex> lock(M);
        return Cv.wait_for(lock, limit,
                           [&] { return pred(std::vector<sNote>(List.begin(), List.begin() + long(Settled))); });
    }
    bool WaitCount(eKind kind, int count, std::chrono::milliseconds limit, size_t from = 0) {
        return WaitFor(
            [&](const std::vector<sNote>& l) {
                return std::count_if(l.begin() + std::min(from, l.size()), l.end(),
                                     [kind](const sNote& n) { return n.Kind == kind; }) >= count;
            },
            limit);
    }
    bool WaitNote(const sNote& note, std::chrono::milliseconds limit, size_t from = 0, int count = 1) {
        return WaitFor(
            [&](const std::vector<sNote>& l) {
                return std::count(l.begin() + std::min(from, l.size()), l.end(), note) >= count;
            },
            limit);
    }

private:
    void Add(const sNote& note) {
        std::vector<std::function<void()>> actions;
        {
            std::lock_guard<std::mutex> lock(M);
            List.push_back(note);
            for (auto it = Triggers.begin(); it != Triggers.end();) {
                if (it->first(note)) {
                    actions.push_back(std::move(it->second));
                    it = Triggers.erase(it);
                } else {
                    ++it;
                }
            }
        }
        for (auto& action : actions) action();
        // Waiters see a note only once its actions have run.
        {
            std::lock_guard<std::mutex> lock(M);
            ++Settled;
        }
        Cv.notify_all();
    }

    mutable std::mutex M;
    std::condition_variable Cv;
    std::vector<sNote> List;
    size_t Settled = 0;
    std::vector<std::pair<tMatch, std::function<void()>>> Triggers;
};

// A thread that stands in for the user-interface thread: the invoker hands a
// function over and waits until it has run there.
class cUiThread {
public:
    cUiThread() : Thread([this] { Loop(); }) {}
    ~cUiThread() {
        {
            std::lock_guard<std::mutex> lock(M);
            Quit = true;
        }
        Cv.notify_all();
        Thread.join();
    }
    tUiInvoker Invoker() {
        return [this](const std::function<void()>& fn) { Run(fn); };
    }
    void Run(const std::function<void()>& fn) {
        if (std::this_thread::get_id() == Thread.get_id()) {
            fn();
            return;
        }
        sJob job{&fn, false};
        std::unique_lock<std::mutex> lock(M);
        Jobs.push_back(&job);
        Cv.notify_all();
        Cv.wait(lock, [&] { return job.Done; });
    }
    std::thread::id Id() const { return Thread.get_id(); }

private:
    struct sJob {
        const std::function<void()>* Fn;
        bool Done;
    };
    void Loop() {
        std::unique_lock<std::mutex> lock(M);
        for (;;) {
            Cv.wait(lock, [&] { return Quit || !Jobs.empty(); });
            if (Jobs.empty()) return;
            sJob* job = Jobs.front();
            Jobs.pop_front();
            lock.unlock();
            (*job->Fn)();
            lock.lock();
            job->Done = true;
            Cv.notify_all();
        }
    }

    std::mutex M;
    std::condition_variable Cv;
    std::deque<sJob*> Jobs;
    bool Quit = false;
    std::thread Thread;
};

// The test's own thread as the user-interface thread: a delivery waits in
// the queue until the test pumps it, so a test can hold deliveries back
// (while the link shuts down, for instance).
class cPumpedUi {
public:
    tUiInvoker Invoker() {
        return [this](const std::function<void()>& fn) {
            bool done = false;
            std::unique_lock<std::mutex> lock(M);
            Jobs.emplace_back(&fn, &done);
            Cv.notify_all();
            Cv.wait(lock, [&] { return done; });
        };
    }
    // Runs every delivery waiting now (and those they bring).
    void Pump() {
        std::unique_lock<std::mutex> lock(M);
        while (!Jobs.empty()) {
            auto job = Jobs.front();
            Jobs.pop_front();
            lock.unlock();
            (*job.first)();
            lock.lock();
            *job.second = true;
            Cv.notify_all();
        }
    }
    std::function<void()> Pumper() {
        return [this] { Pump(); };
    }
    // Pumps until `done` holds; false when `limit` passed first.
    bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
        const auto until = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            if (std::chrono::steady_clock::now() > until) return false;
            Pump();
            std::unique_lock<std::mutex> lock(M);
            Cv.wait_for(lock, std::chrono::milliseconds(5), [&] { return !Jobs.empty(); });
        }
        return true;
    }
    // Waits, without pumping, until a delivery waits.
    bool WaitQueued(std::chrono::milliseconds limit) {
        std::unique_lock<std::mutex> lock(M);
        return Cv.wait_for(lock, limit, [&] { return !Jobs.empty(); });
    }

private:
    std::mutex M;
    std::condition_variable Cv;
    std::deque<std::pair<const std::function<void()>*, bool*>> Jobs;
};

// The link against an ECU of type tEcu: cEcuSimulator on a pseudo-terminal
// through cComPort, or cMemoryEcu through its in-memory port.
template <class tEcu>
class tLinkFixture : public ::testing::Test {
protected:
    void SetUp() override {
        // The settings records and the idle poll position are process-wide.
        WorkSettings = sSettings{};
        EcuSettings = sSettings{};
        IncomingSettings = sSettings{};
        cCommThread::IdlePollIndex = 0;
        Rec.Reset();
    }
    void TearDown() override {
        Link.reset();
        Sim.reset();
        MoreEcus.clear();
    }

    void StartSim(int version, bool instant = true) {
        sSimOptions opt;
        opt.Version = version;
        opt.IdVersion = 0x25;
        opt.Instant = instant;
        Sim = std::make_unique<tEcu>(opt);
        Sim->Start();
    }
    tEcu& StartMoreEcu(int version) {
        sSimOptions opt;
        opt.Version = version;
        opt.IdVersion = 0x25;
        opt.Instant = true;
        MoreEcus.push_back(std::make_unique<tEcu>(opt));
        MoreEcus.back()->Start();
        return *MoreEcus.back();
    }
    void StartLink(tUiInvoker invoker) {
        if constexpr (std::is_same_v<tEcu, cMemoryEcu>) {
            // The simulator, or one of MoreEcus, by its name.
            const cMemoryPort::tFinder find = [this](const std::string& name) -> cMemoryEcu* {
                if (Sim && Sim->DevicePath() == name) return Sim.get();
                for (const auto& ecu : MoreEcus)
                    if (ecu->DevicePath() == name) return ecu.get();
                return nullptr;
            };
            Link = std::make_unique<cCommThread>(std::move(invoker), [find](std::shared_ptr<cWaitHub> hub) {
                return std::unique_ptr<cBytePort>(std::make_unique<cMemoryPort>(std::move(hub), find));
            });
        } else {
            Link = std::make_unique<cCommThread>(std::move(invoker));
        }
        Link->AddListener(&Rec);
    }
    void StartLink() { StartLink(Ui.Invoker()); }
    // Connects to the simulator and waits for the chained settings read.
    void ConnectAndLoad(int loads = 1, std::chrono::milliseconds limit = 10s) {
        Link->SetPortName(Sim->DevicePath());
        ASSERT_TRUE(Rec.WaitCount(eKind::Loaded, loads, limit)) << Dump();
    }
    // Commands the simulator received from position `from` on.
    std::vector<uint8_t> CommandsFrom(size_t from) const {
        auto c = Sim->Commands();
        return {c.begin() + std::min(from, c.size()), c.end()};
    }
    std::string Dump() const {
        std::string s = "notes:";
        for (const sNote& n : Rec.Notes()) s += " " + Describe(n);
        if (Sim) {
            s += "\nsimulator log:\n";
            for (const auto& e : Sim->Log()) s += FormatSimLogEntry(e) + "\n";
        }
        return s;
    }

    cUiThread Ui;
    cRecorder Rec;
    std::unique_ptr<tEcu> Sim;
    // Further ECUs the link can be pointed at by name (the next car), made
    // with StartMoreEcu before StartLink; Link goes before them.
    std::vector<std::unique_ptr<tEcu>> MoreEcus;
    std::unique_ptr<cCommThread> Link;
};

using CommThreadFixture = tLinkFixture<cEcuSimulator>;
using MemoryLinkFixture = tLinkFixture<cMemoryEcu>;

}  // namespace linktest
