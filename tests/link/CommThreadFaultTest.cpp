// The link thread when things go wrong: each failure mode of the simulated
// ECU, a dropped line, a port that cannot be opened, stopping the handshake,
// changing the port, and shutting down from the states that wait.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <future>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "tests/link/CommThreadTest.h"
#include "tests/serial/PtyPeer.h"

namespace linktest {
namespace {

struct sFaultCase {
    const char* Name;
    eSimFault Fault;
    int After;
    int Version;
    int32_t Request;
    eKind Expected;  // eKind::Event: any one of the three
};

void PrintTo(const sFaultCase& c, std::ostream* os) { *os << c.Name << ", version " << c.Version; }

class FaultTest : public MemoryLinkFixture, public ::testing::WithParamInterface<sFaultCase> {};

// One failure notification, then RequestFailed, then a new handshake that
// succeeds once the fault is gone. A failed read or write leaves the records
// it would have changed as they were.
TEST_P(FaultTest, FailedRequestOneNotificationThenRequestFailedThenReconnect) {
    const sFaultCase c = GetParam();
    StartSim(c.Version);
    StartLink();

    size_t mark = 0;
    size_t simMark = 0;
    sSettings work, ecu;
    std::atomic<bool> posted{false};
    std::atomic<bool> workKept{false}, ecuKept{false};
    Rec.WhenKind(eKind::Loaded, [&] {
        // A screen's edit that is not stored yet, then the request meets the fault.
        WorkSettings.StepPosH2 = 77;
        work = WorkSettings;
        ecu = EcuSettings;
        mark = Rec.Size();
        simMark = Sim->Commands().size();
        Sim->SetFault(c.Fault, c.After);
        posted = Link->PostRequest(c.Request);
        Rec.WhenKind(eKind::Failed, [&] {
            // Still inside the failure: the link waits here.
            workKept = WorkSettings == work;
            ecuKept = EcuSettings == ecu;
            Sim->SetFault(eSimFault::None);
        });
    });
    ConnectAndLoad(2, 20s);
    ASSERT_TRUE(posted);

    auto notes = Rec.Notes();
    std::vector<sNote> after(notes.begin() + long(mark), notes.end());
    auto failed = std::find(after.begin(), after.end(), Note(eKind::Failed));
    ASSERT_NE(failed, after.end()) << Dump();
    std::vector<sNote> failures;
    std::copy_if(after.begin(), failed, std::back_inserter(failures), IsExchangeFailure);
    ASSERT_EQ(failures.size(), 1u) << Dump();
    if (c.Expected != eKind::Event) {
        EXPECT_EQ(failures[0].Kind, c.Expected) << Dump();
    }
    EXPECT_EQ(std::count(after.begin(), after.end(), Note(eKind::Failed)), 1) << Dump();
    // Then the link connects again from the handshake.
    std::vector<sNote> rest(failed + 1, after.end());
    std::vector<sNote> chain;
    for (const sNote& n : rest)
        if (n.Kind == eKind::Event && n.Phase == 0) chain.push_back(n);
    ASSERT_GE(chain.size(), 3u) << Dump();
    EXPECT_EQ(chain[0], Ev(RQ_CONNECT, 0, 0));
    EXPECT_EQ(chain[1], Ev(RQ_IDENTIFY, 0, 0));
    EXPECT_EQ(chain[2], Ev(RQ_READ_SETTINGS, 0, 0));
    EXPECT_EQ(std::count_if(rest.begin(), rest.end(), IsExchangeFailure), 0) << Dump();
    auto commands = CommandsFrom(simMark);
    EXPECT_NE(std::find(commands.begin(), commands.end(), 0x00), commands.end());

    if (c.Request == RQ_READ_SETTINGS) {
        EXPECT_TRUE(workKept);
    }
    if (c.Request == RQ_READ_SETTINGS || c.Request == RQ_WRITE_SETTINGS) {
        EXPECT_TRUE(ecuKept);
    }
    EXPECT_EQ(Sim->PacingViolations(), 0) << Dump();
}

INSTANTIATE_TEST_SUITE_P(
    Modes, FaultTest,
    ::testing::Values(
        sFaultCase{"Silence", eSimFault::Silence, 0, 48, RQ_READ_SETTINGS, eKind::NoRep},
        sFaultCase{"SilenceAfterSomeReads", eSimFault::SilenceAfter, 5, 48, RQ_READ_SETTINGS, eKind::NoRep},
        sFaultCase{"SilenceDuringOldWrite", eSimFault::SilenceAfter, 4, 31, RQ_WRITE_SETTINGS, eKind::NoRep},
        sFaultCase{"PartialReply", eSimFault::PartialReply, 0, 48, RQ_VIS_POLL, eKind::BadRep},
        sFaultCase{"BadTrailer", eSimFault::BadTrailer, 0, 48, RQ_READ_SETTINGS, eKind::BadRep},
        sFaultCase{"WrongEcho", eSimFault::WrongEcho, 0, 48, RQ_CONFIG_POLL, eKind::BadRep},
        sFaultCase{"Garbage", eSimFault::Garbage, 0, 48, RQ_READ_SETTINGS, eKind::Event},
        sFaultCase{"RefuseStore", eSimFault::RefuseStore, 0, 48, RQ_WRITE_SETTINGS, eKind::BadRep},
        sFaultCase{"RefuseStoreOld", eSimFault::RefuseStore, 0, 47, RQ_WRITE_SETTINGS, eKind::BadRep}),
    [](const auto& info) { return std::string(info.param.Name); });

// The link's tries to open its port, seen through its name sink, which it
// calls on every open (the quiet tries again on a failed name among them)
// before the open itself. Once the link tries its port again after a
// failure, whatever that failure brought has been delivered; held there, it
// can bring nothing new until released. A member of the fixture, so that it
// outlives the link (TearDown ends the link first).
class cOpens {
public:
    ~cOpens() { Release(); }
    // Becomes the link's name sink; `also` runs after each open is counted,
    // with its number (from 1).
    void Attach(cCommThread& link, std::function<void(int)> also = {}) {
        {
            std::lock_guard<std::mutex> lock(M);
            Names.clear();
            Held = false;
            Also = std::move(also);
        }
        link.SetPortNameSink([this](const std::string& name) { Opened(name); });
    }
    // From now on each open waits in the sink until Release.
    void Hold() {
        std::lock_guard<std::mutex> lock(M);
        Held = true;
    }
    void Release() {
        std::unique_lock<std::mutex> lock(M);
        Held = false;
        Cv.notify_all();
        Cv.wait(lock, [&] { return Waiting == 0; });
    }
    // Waits until an open waits in the sink (Hold).
    bool WaitHeld(std::chrono::milliseconds limit) {
        std::unique_lock<std::mutex> lock(M);
        return Cv.wait_for(lock, limit, [&] { return Waiting > 0; });
    }
    bool WaitCount(int count, std::chrono::milliseconds limit) {
        std::unique_lock<std::mutex> lock(M);
        return Cv.wait_for(lock, limit, [&] { return int(Names.size()) >= count; });
    }
    int Count() const {
        std::lock_guard<std::mutex> lock(M);
        return int(Names.size());
    }
    std::vector<std::string> List() const {
        std::lock_guard<std::mutex> lock(M);
        return Names;
    }

private:
    void Opened(const std::string& name) {
        std::function<void(int)> also;
        int n = 0;
        {
            std::unique_lock<std::mutex> lock(M);
            Names.push_back(name);
            n = int(Names.size());
            also = Also;
            ++Waiting;
            Cv.notify_all();
            Cv.wait(lock, [&] { return !Held; });
            --Waiting;
            Cv.notify_all();
        }
        if (also) also(n);
    }

    mutable std::mutex M;
    std::condition_variable Cv;
    std::vector<std::string> Names;
    std::function<void(int)> Also;
    bool Held = false;
    int Waiting = 0;
};

class PortFaultTest : public CommThreadFixture {
protected:
    cOpens Opens;
};

// The same faults where the device itself is not the point: on the ECU in
// memory, whose clock runs the link's pauses faster.
class PortFault : public MemoryLinkFixture {
protected:
    cOpens Opens;
};

// A failing idle poll raises its notification but no RequestFailed, and
// the link reconnects.
TEST_F(PortFault, IdlePollFailureReconnectsWithoutRequestFailed) {
    StartSim(48);
    StartLink();
    size_t mark = 0;
    Rec.WhenKind(eKind::Loaded, [&] {
        mark = Rec.Size();
        Sim->SetFault(eSimFault::Silence);
        Rec.WhenKind(eKind::NoRep, [&] { Sim->SetFault(eSimFault::None); });
    });
    ConnectAndLoad(2);
    auto notes = Rec.Notes();
    std::vector<sNote> after(notes.begin() + long(mark), notes.end());
    EXPECT_EQ(std::count_if(after.begin(), after.end(), IsExchangeFailure), 1) << Dump();
    EXPECT_EQ(std::count(after.begin(), after.end(), Note(eKind::NoRep)), 1);
    EXPECT_EQ(std::count(after.begin(), after.end(), Note(eKind::Failed)), 0) << Dump();
    EXPECT_EQ(std::count(after.begin(), after.end(), Ev(RQ_CONNECT, 2, 1)), 1);
}

// The line drops mid-session: LinkIdle(false) and SendError (and
// RequestFailed when a request was being served), posts are refused, and
// the next port name connects again.
TEST_F(PortFault, LineDropReportsPortErrorAndAcceptsNextPortName) {
    for (bool serving : {true, false}) {
        SCOPED_TRACE(serving ? "while serving a poll" : "while idle");
        SetUp();
        StartSim(48);
        StartLink();
        Opens.Attach(*Link);
        size_t mark = 0;
        Rec.WhenKind(eKind::Loaded, [&] {
            mark = Rec.Size();
            Sim->SetFault(eSimFault::LineDrop, 2);
            if (serving) {
                EXPECT_TRUE(Link->PostRequest(RQ_VIS_POLL));
            }
        });
        ConnectAndLoad();
        ASSERT_TRUE(Rec.WaitCount(eKind::SendErr, 1, 5s)) << Dump();
        if (serving) {
            ASSERT_TRUE(Rec.WaitCount(eKind::Failed, 1, 2s, mark)) << Dump();
        }
        // Nothing else follows: held at its next try of the dead device.
        Opens.Hold();
        ASSERT_TRUE(Opens.WaitHeld(10s)) << Dump();
        auto notes = Rec.Notes();
        std::vector<sNote> after(notes.begin() + long(mark), notes.end());
        std::vector<sNote> tail;
        for (const sNote& n : after)
            if (n.Kind != eKind::Event) tail.push_back(n);
        // The chained read ends, then (the poll is served,) the line drops.
        std::vector<sNote> want = {Idle(true), Idle(false), Note(eKind::SendErr)};
        if (serving) {
            want.insert(want.begin() + 1, Idle(false));
            want.push_back(Note(eKind::Failed));
        }
        EXPECT_EQ(tail, want) << Dump();
        EXPECT_TRUE(Sim->LineDropped());
        EXPECT_FALSE(Link->IsConnected());
        EXPECT_TRUE(Link->IsBusy());
        EXPECT_FALSE(Link->PostRequest(RQ_READ_SETTINGS));
        Opens.Release();

        Sim->Reopen();
        Link->SetPortName(Sim->DevicePath());
        ASSERT_TRUE(Rec.WaitCount(eKind::Loaded, 2, 10s)) << Dump();
        EXPECT_TRUE(Link->IsConnected());
        TearDown();
    }
}

// How many of this process's descriptors are open on `device`.
int OpenDescriptorsOn(const std::string& device) {
    int count = 0;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", ec)) {
        std::error_code rc;
        if (std::filesystem::read_symlink(entry.path(), rc).string() == device) ++count;
    }
    return count;
}

// The line drops (an adapter pulled): the failed device is closed at once,
// the port error is reported once, and the link quietly opens the same name
// about once a second; when the ECU is there again (the simulator reopened
// behind the same link name) it connects, identifies and reads by itself.
TEST_F(PortFaultTest, LineDropClosesTheDeviceAndReconnectsOnTheSameNameByItself) {
    const std::string link =
        (std::filesystem::temp_directory_path() / ("zvecu-link-" + std::to_string(::getpid()))).string();
    sSimOptions opt;
    opt.Version = 48;
    opt.Instant = true;
    opt.LinkPath = link;
    Sim = std::make_unique<cEcuSimulator>(opt);
    Sim->Start();
    StartLink();
    Opens.Attach(*Link);
    Link->SetPortName(link);
    ASSERT_TRUE(Rec.WaitCount(eKind::Loaded, 1, 10s)) << Dump();
    const std::string device = Sim->DevicePath();
    ASSERT_GE(OpenDescriptorsOn(device), 1);  // the link's port (and the simulator's own end)

    Sim->SetFault(eSimFault::LineDrop, 0);
    ASSERT_TRUE(Rec.WaitCount(eKind::SendErr, 1, 5s)) << Dump();
    // The name goes with the device, as a pulled adapter's does (the freed
    // pseudo-terminal number may soon belong to someone else's terminal).
    std::filesystem::remove(link);
    const size_t dropped = Rec.Size();
    // Closed before the failure was told.
    EXPECT_EQ(OpenDescriptorsOn(device), 0);
    EXPECT_FALSE(Link->PostRequest(RQ_READ_SETTINGS));

    // Two tries on the dead name: nothing more is reported meanwhile.
    const int opens = Opens.Count();
    ASSERT_TRUE(Opens.WaitCount(opens + 2, 10s)) << Dump();
    EXPECT_EQ(Rec.Size(), dropped) << Dump();
    EXPECT_FALSE(Link->IsConnected());

    // The name comes back while a try waits: that very try connects.
    Opens.Hold();
    ASSERT_TRUE(Opens.WaitHeld(10s)) << Dump();
    Sim->Reopen();  // the name is back and leads to the new device
    const int opensAtReopen = Opens.Count();
    Opens.Release();
    ASSERT_TRUE(Rec.WaitCount(eKind::Loaded, 2, 10s)) << Dump();
    EXPECT_EQ(Opens.Count(), opensAtReopen);
    EXPECT_TRUE(Link->IsConnected());
    EXPECT_EQ(Link->GetPort().GetPortName(), link);
    EXPECT_EQ(Link->GetPortName(), link);
    // The screens saw a whole new connection: connecting, identity, read.
    auto notes = Rec.Notes();
    std::vector<sNote> after(notes.begin() + long(dropped), notes.end());
    EXPECT_EQ(std::count(after.begin(), after.end(), Ev(RQ_CONNECT, 0, 0)), 1) << Dump();
    EXPECT_EQ(std::count(after.begin(), after.end(), Ev(RQ_CONNECT, 2, 1)), 1);
    EXPECT_EQ(std::count(after.begin(), after.end(), Ev(RQ_READ_SETTINGS, 2, 1)), 1);
    EXPECT_EQ(std::count_if(after.begin(), after.end(), IsExchangeFailure), 0) << Dump();
    Link.reset();
    Sim.reset();
}

// A name that cannot be opened: LinkIdle(false), SendError, and the link
// waits for the next name.
TEST_F(PortFaultTest, UnopenablePortReportsAndWaitsForAnotherName) {
    StartSim(48);
    StartLink();
    Opens.Attach(*Link);
    Link->SetPortName("/nonexistent/zv-tty");
    ASSERT_TRUE(Rec.WaitCount(eKind::SendErr, 1, 2s));
    // Held at its next try of that name (a quiet one): nothing else follows.
    Opens.Hold();
    ASSERT_TRUE(Opens.WaitHeld(10s)) << Dump();
    EXPECT_EQ(Rec.Notes(), (std::vector<sNote>{Idle(false), Note(eKind::SendErr)}));
    EXPECT_EQ(Link->GetPortName(), "/nonexistent/zv-tty");
    EXPECT_FALSE(Link->PostRequest(RQ_CONNECT));
    Opens.Release();

    ConnectAndLoad();
    EXPECT_EQ(Link->GetPortName(), Sim->DevicePath());
    EXPECT_EQ(Link->GetPort().GetPortName(), Sim->DevicePath());
    // Every open went to the names given, the failed one first.
    std::vector<std::string> names = Opens.List();
    ASSERT_GE(names.size(), 3u);
    EXPECT_EQ(names.back(), Sim->DevicePath());
    names.pop_back();
    for (const std::string& name : names) EXPECT_EQ(name, "/nonexistent/zv-tty");
}

// Stopping the handshake: LinkEvent (2, 0), RequestFailed, a new cycle; the
// update queue is emptied on the way.
TEST_F(PortFault, StopDuringHandshakeFailsEmptiesQueueAndStartsAgain) {
    StartSim(48);
    Sim->SetFault(eSimFault::Silence);
    StartLink();
    Link->QueueUpdate(sUpdate(4, 60));
    Link->SetPortName(Sim->DevicePath());
    ASSERT_TRUE(Rec.WaitNote(Ev(RQ_CONNECT, 1, 2), 3s)) << Dump();
    EXPECT_TRUE(Link->IsBusy());
    EXPECT_EQ(Link->GetCurrentRequest(), RQ_CONNECT);
    size_t mark = Rec.Size();
    Rec.WhenKind(eKind::Failed, [&] { Sim->SetFault(eSimFault::None); });
    Link->StopRequest();
    ASSERT_TRUE(Rec.WaitCount(eKind::Loaded, 1, 10s)) << Dump();
    auto notes = Rec.Notes();
    std::vector<sNote> after(notes.begin() + long(mark), notes.end());
    auto stopped = std::find(after.begin(), after.end(), Ev(RQ_CONNECT, 2, 0));
    ASSERT_NE(stopped, after.end()) << Dump();
    std::vector<sNote> next(stopped + 1, stopped + 5);
    EXPECT_EQ(next, (std::vector<sNote>{Idle(true), Note(eKind::Failed), Idle(false), Ev(RQ_CONNECT, 0, 0)}));
    EXPECT_EQ(std::count_if(after.begin(), after.end(), IsExchangeFailure), 0);
    // The queued update was dropped with the stopped handshake.
    ASSERT_TRUE(Rec.WaitFor(
        [](const auto& l) {
            return std::count_if(l.begin(), l.end(), [](const sNote& n) {
                       return n.Kind == eKind::Event && n.Request == RQ_IDLE_POLL;
                   }) >= 2;
        },
        3s));
    auto commands = Sim->Commands();
    EXPECT_EQ(std::count_if(commands.begin(), commands.end(), [](uint8_t c) { return c >> 4 == 0xC; }), 0);
    EXPECT_EQ(Sim->Settings()[4], cEcuSimulator::FactorySettings(48)[4]);
}

// A new port name while the handshake hunts on a silent port ends that
// handshake and connects on the new port.
TEST_F(PortFault, NewPortNameDuringHandshakeMovesToTheNewPort) {
    StartSim(48);
    Sim->SetFault(eSimFault::Silence);
    cMemoryEcu& other = StartMoreEcu(50);
    StartLink();
    Link->SetPortName(Sim->DevicePath());
    ASSERT_TRUE(Rec.WaitNote(Ev(RQ_CONNECT, 1, 2), 3s));
    Link->SetPortName(other.DevicePath());
    ASSERT_TRUE(Rec.WaitCount(eKind::Loaded, 1, 10s)) << Dump();
    EXPECT_EQ(Link->GetEcuVersion(), 50);
    EXPECT_EQ(Rec.Count(Ev(RQ_CONNECT, 2, 0)), 1);
    EXPECT_EQ(Link->GetPort().GetPortName(), other.DevicePath());
    Link.reset();
}

// Throws once, from the first LinkEvent that `When` accepts, on the
// delivering thread. With deliveries run directly on the link thread this is
// an exception raised inside the link's own work.
class cThrower : public cLinkListener {
public:
    std::function<bool(int32_t request, int32_t phase)> When;
    std::function<void()> Throw;
    void LinkEvent() override {
        if (When && When(LinkRequest, LinkPhase)) {
            When = nullptr;
            Throw();
        }
    }
};

// Anything other than a port error thrown on the link thread (a failed
// allocation, a system error) is reported like a port failure: LinkIdle
// (false), SendError and, for a served request, RequestFailed, so a progress
// dialog following it closes. The thread lives on: posts are refused, and a
// port name connects again.
TEST_F(PortFault, OtherExceptionsReportedAsPortFailureAndTheThreadLivesOn) {
    struct sCase {
        const char* Name;
        bool InTransaction;
    };
    for (sCase c : {sCase{"bad_alloc while writing", true}, sCase{"system_error in the idle poll", false},
                    sCase{"bad_alloc while opening", false}}) {
        SCOPED_TRACE(c.Name);
        SetUp();
        StartSim(48);
        StartLink(tUiInvoker{});
        cThrower thrower;
        Link->AddListener(&thrower);
        const bool opening = std::string(c.Name).find("opening") != std::string::npos;
        Opens.Attach(*Link, [opening](int n) {
            if (opening && n == 1) throw std::bad_alloc();
        });
        if (c.InTransaction) {
            Rec.WhenKind(eKind::Loaded, [&] { EXPECT_TRUE(Link->PostRequest(RQ_WRITE_SETTINGS)); });
            thrower.Throw = [] { throw std::bad_alloc(); };
            thrower.When = [](int32_t rq, int32_t phase) { return rq == RQ_WRITE_SETTINGS && phase == 1; };
        } else if (!opening) {
            thrower.Throw = [] {
                throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
            };
            thrower.When = [](int32_t rq, int32_t) { return rq == RQ_IDLE_POLL; };
        }
        Link->SetPortName(Sim->DevicePath());
        ASSERT_TRUE(Rec.WaitCount(eKind::SendErr, 1, 10s)) << Dump();
        if (c.InTransaction) {
            ASSERT_TRUE(Rec.WaitCount(eKind::Failed, 1, 2s)) << Dump();
        }
        // Held at its next try of the port: nothing else follows.
        Opens.Hold();
        ASSERT_TRUE(Opens.WaitHeld(10s)) << Dump();
        std::vector<sNote> tail;
        for (const sNote& n : Rec.Notes())
            if (n.Kind != eKind::Event) tail.push_back(n);
        std::vector<sNote> want = {Idle(false), Note(eKind::SendErr)};
        if (c.InTransaction) want.push_back(Note(eKind::Failed));
        ASSERT_GE(tail.size(), want.size()) << Dump();
        EXPECT_EQ(std::vector<sNote>(tail.end() - long(want.size()), tail.end()), want) << Dump();
        EXPECT_FALSE(Link->IsConnected());
        Opens.Release();

        const int loaded = Rec.Count(eKind::Loaded);
        Link->SetPortName(Sim->DevicePath());
        ASSERT_TRUE(Rec.WaitCount(eKind::Loaded, loaded + 1, 10s)) << Dump();
        EXPECT_TRUE(Link->IsConnected());
        Link.reset();
        TearDown();
    }
}

// A notification that has begun when Shutdown is called still reaches every
// listener: Shutdown keeps running the deliveries while it waits.
TEST_F(PortFault, ShutdownDeliversANotificationInFlightToEveryListener) {
    StartSim(48);
    cRecorder second;
    // This thread is the user-interface thread; deliveries wait until it
    // pumps them.
    cPumpedUi ui;
    StartLink(ui.Invoker());
    Link->AddListener(&second);
    Link->SetPortName(Sim->DevicePath());
    ASSERT_TRUE(ui.PumpUntil([&] { return Rec.Count(eKind::Loaded) > 0; }, 10s));
    ASSERT_EQ(Rec.Count(eKind::Loaded), 1);
    // Let one delivery wait, then end the link: the first listener gets it
    // from Shutdown's pump, and so must the second.
    ASSERT_TRUE(ui.WaitQueued(2s));
    Link->Shutdown(ui.Pumper());
    ui.Pump();
    EXPECT_EQ(second.Notes(), Rec.Notes());
    Link.reset();
}

// A memory port on which, once Hold is called, every wait that the port's
// stop may end lasts until an event ends it: a link caught in such a wait
// ends only when Shutdown's stop reaches the wait. (A held wait gives up
// after a minute and counts as expired, so that the fault fails the test
// instead of hanging it.)
class cHoldingPort : public cMemoryPort {
public:
    using cMemoryPort::cMemoryPort;

    void Hold() {
        std::lock_guard<std::mutex> lock(HoldMutex);
        Holding = true;
    }
    // Waits until the link is inside a held wait.
    bool WaitHeld(std::chrono::seconds limit) {
        std::unique_lock<std::mutex> lock(HoldMutex);
        return HeldCv.wait_for(lock, limit, [&] { return Held > 0; });
    }
    int Expired() const {
        std::lock_guard<std::mutex> lock(HoldMutex);
        return ExpiredWaits;
    }

    int WaitAny(std::initializer_list<cEvent*> events, std::chrono::milliseconds limit) override {
        const bool stoppable = std::find(events.begin(), events.end(), &GetStopEvent()) != events.end();
        {
            std::lock_guard<std::mutex> lock(HoldMutex);
            if (!Holding || !stoppable || limit.count() < 0) return cMemoryPort::WaitAny(events, limit);
            ++Held;
        }
        HeldCv.notify_all();
        const int which = cEvent::WaitAny(events, std::chrono::minutes(1));
        if (which < 0) {
            std::lock_guard<std::mutex> lock(HoldMutex);
            ++ExpiredWaits;
        }
        return which;
    }

private:
    mutable std::mutex HoldMutex;
    std::condition_variable HeldCv;
    bool Holding = false;
    int Held = 0;
    int ExpiredWaits = 0;
};

class ShutdownTest : public MemoryLinkFixture {
protected:
    void StartHeldLink(tUiInvoker invoker) {
        Link = std::make_unique<cCommThread>(std::move(invoker), [this](std::shared_ptr<cWaitHub> hub) {
            auto port = std::make_unique<cHoldingPort>(std::move(hub), *Sim);
            Port = port.get();
            return std::unique_ptr<cBytePort>(std::move(port));
        });
        Link->AddListener(&Rec);
    }
    // Holds the link in its next wait, then shuts it down: the stop must end
    // that wait.
    void ShutdownFromAHeldWait() {
        Port->Hold();
        ASSERT_TRUE(Port->WaitHeld(10s)) << Dump();
        Link->Shutdown();
        EXPECT_EQ(Port->Expired(), 0) << "a wait of the link did not end at the stop";
    }

    cHoldingPort* Port = nullptr;  // owned by Link
};

// Shutdown ends the thread from the states that wait: the handshake's pause
// and read, a slow poll, and a delivery that waits for the user-interface
// thread, which only runs while Shutdown pumps it.
TEST_F(ShutdownTest, EndsTheLinkFromEveryWaitingState) {
    {
        SCOPED_TRACE("handshake");
        StartSim(48);
        Sim->SetFault(eSimFault::Silence);
        StartHeldLink(Ui.Invoker());
        Link->SetPortName(Sim->DevicePath());
        ASSERT_TRUE(Rec.WaitNote(Ev(RQ_CONNECT, 1, 2), 10s));
        ShutdownFromAHeldWait();
        Link->Shutdown();  // a second call does nothing
        TearDown();
    }
    {
        SCOPED_TRACE("slow poll");
        SetUp();
        StartSim(22);
        StartHeldLink(Ui.Invoker());
        Rec.WhenKind(eKind::Loaded, [&] { Link->PostRequest(RQ_VIS_POLL); });
        ConnectAndLoad();
        ASSERT_TRUE(Rec.WaitFor(
            [](const auto& l) {
                return std::any_of(l.begin(), l.end(),
                                   [](const sNote& n) { return n.Kind == eKind::Event && n.Request == RQ_VIS_POLL; });
            },
            10s));
        ShutdownFromAHeldWait();
        TearDown();
    }
    {
        SCOPED_TRACE("delivery waiting for the user-interface thread");
        SetUp();
        StartSim(48);
        // This thread is the user-interface thread: deliveries wait in a
        // queue until it pumps them.
        cPumpedUi ui;
        StartHeldLink(ui.Invoker());
        Link->SetPortName(Sim->DevicePath());
        ASSERT_TRUE(ui.PumpUntil([&] { return Rec.Count(eKind::Loaded) > 0; }, 10s));
        ASSERT_EQ(Rec.Count(eKind::Loaded), 1);
        // Stop pumping until a delivery is waiting; Shutdown (on a thread of
        // its own here) must run it.
        ASSERT_TRUE(ui.WaitQueued(10s));
        const size_t before = Rec.Size();
        std::promise<void> ended;
        std::future<void> shutDown = ended.get_future();
        std::thread closer([&] {
            Link->Shutdown(ui.Pumper());
            ended.set_value();
        });
        const bool returned = shutDown.wait_for(60s) == std::future_status::ready;
        if (!returned) ui.Pump();  // frees the link, so that the test ends
        closer.join();
        EXPECT_TRUE(returned) << "Shutdown did not run the delivery that waited for it";
        EXPECT_GT(Rec.Size(), before);
        TearDown();
    }
}

}  // namespace
}  // namespace linktest

namespace linktest {
namespace {

// An ECU played on a pseudo-terminal by the test: it answers the first
// handshake late (after the link's read limit, while the link pauses before
// its next attempt), every later one at once, and every frame with its echo.
class cLateEcu {
public:
    explicit cLateEcu(int lateMs) : LateMs(lateMs), Thread([this] { Serve(); }) {}
    ~cLateEcu() {
        Quit = true;
        Thread.join();
    }
    const std::string& DevicePath() const { return Peer.SlavePath(); }

private:
    void Serve() {
        std::vector<uint8_t> frame;
        bool first = true;
        while (!Quit) {
            cPtyPeer::sByte b{};
            if (!Peer.Read(b, 20ms)) continue;
            if (frame.empty() && b.Value == 0x00) {
                if (first) std::this_thread::sleep_for(std::chrono::milliseconds(LateMs));
                first = false;
                Peer.Write({0xFF, 0x00, 0x00});
                continue;
            }
            frame.push_back(b.Value);
            if (frame.size() < 3) continue;
            const uint8_t data = frame[0] == 0xD2 ? 0x30 : frame[0] == 0xD4 ? 0x25 : 0x00;
            Peer.Write({frame[0], data, 0xAC});
            frame.clear();
        }
    }

    cPtyPeer Peer;
    const int LateMs;
    std::atomic<bool> Quit{false};
    std::thread Thread;
};

// A late answer that arrives while the link pauses before its next
// handshake is dropped with the line's other stale bytes: the next
// handshake takes its own answer, and identification goes through with no
// exchange failing (taken as the answer, the stale bytes would leave the
// real answer to be read as the reply to the first identity frame).
TEST(HandshakeQuietLine, ALateAnswerIsNotTakenForTheNextHandshakes) {
    cLateEcu ecu(150);
    cUiThread ui;
    cRecorder rec;
    auto link = std::make_unique<cCommThread>(ui.Invoker());
    link->AddListener(&rec);
    link->SetPortName(ecu.DevicePath());
    ASSERT_TRUE(rec.WaitNote(Ev(RQ_IDENTIFY, Phase::Version, 0x30), 10s));
    link->Shutdown();
    for (const sNote& n : rec.Notes()) EXPECT_FALSE(IsExchangeFailure(n)) << Describe(n);
    EXPECT_EQ(rec.Count(eKind::Failed), 0);
}

}  // namespace
}  // namespace linktest
