// The link thread against the simulated ECU: connecting, identifying and
// reading by itself, writing and storing, factory settings, queued updates,
// the live polls and the request rules.
#include <atomic>

#include "tests/link/CommThreadTest.h"

namespace linktest {
namespace {

using Settings16 = std::array<uint8_t, 16>;

// ECU values by parameter number, all different from the defaults, with
// parameter 2 at 54 so the halving below version 25 shows.
Settings16 EcuValues(int version) {
    Settings16 v = cEcuSimulator::FactorySettings(version);
    v[0] = 2;     // lambda 1 - 0 V
    v[1] = 0x64;  // switching level, falling sensor
    v[2] = 54;
    v[3] = 20;
    v[4] = 40;
    v[5] = 160;
    v[6] = 110;
    v[7] = 95;
    v[8] = 85;
    v[9] = Ecu::NewProtocol(version) ? 6 : 2;
    v[10] = Ecu::NewProtocol(version) ? 3 : (Ecu::HasLevelSensor(version) ? 0 : v[10]);
    v[11] = 7;
    v[12] = 4;
    return v;
}

struct sChainCase {
    int Version;
    int Reads;
};

void PrintTo(const sChainCase& c, std::ostream* os) { *os << "version " << c.Version; }

class ChainTest : public MemoryLinkFixture, public ::testing::WithParamInterface<sChainCase> {};

TEST_P(ChainTest, SetPortNameConnectsIdentifiesAndReadsByItself) {
    const int version = GetParam().Version;
    const int n = GetParam().Reads;
    StartSim(version);
    Sim->SetSettings(EcuValues(version));
    StartLink();
    ConnectAndLoad();

    // Exactly the handshake, the two identity commands and n reads, then
    // only live reads of the idle poll.
    std::vector<uint8_t> expected = {0x00, 0xD4, 0xD2};
    for (int i = 0; i < n; ++i) expected.push_back(uint8_t(0xE0 + i));
    auto commands = Sim->Commands();
    ASSERT_GE(commands.size(), expected.size());
    EXPECT_EQ(std::vector<uint8_t>(commands.begin(), commands.begin() + long(expected.size())), expected) << Dump();
    for (size_t i = expected.size(); i < commands.size(); ++i) EXPECT_EQ(commands[i] >> 4, 0xD);
    EXPECT_EQ(Sim->PacingViolations(), 0) << Dump();

    std::vector<sNote> want = {Idle(false),
                               Ev(RQ_CONNECT, 0, 0),
                               Ev(RQ_CONNECT, 1, 1),
                               Ev(RQ_CONNECT, 2, 1),
                               Idle(true),
                               Idle(false),
                               Ev(RQ_IDENTIFY, 0, 0),
                               Ev(RQ_IDENTIFY, 1, 0x25),
                               Ev(RQ_IDENTIFY, 2, 0),
                               Ev(RQ_IDENTIFY, 3, version),
                               Idle(true),
                               Idle(false),
                               Ev(RQ_READ_SETTINGS, 0, 0)};
    for (int i = 0; i < n; ++i) {
        float f = Ecu::NewProtocol(version) ? float(i) * (1.0f / 13) : float(i) / float(n);
        want.push_back(Ev(RQ_READ_SETTINGS, 1, ProgressToValue(f)));
    }
    want.push_back(Ev(RQ_READ_SETTINGS, 2, 1));
    want.push_back(Note(eKind::Loaded));
    want.push_back(Idle(true));
    ASSERT_TRUE(Rec.WaitFor([&](const auto& l) { return l.size() >= want.size(); }, 2s));
    auto notes = Rec.Notes();
    EXPECT_EQ(std::vector<sNote>(notes.begin(), notes.begin() + long(want.size())), want) << Dump();
    // The last progress report is (n-1)/n.
    EXPECT_FLOAT_EQ(ValueToProgress(want[want.size() - 4].Value), float(n - 1) / float(n));

    EXPECT_EQ(Link->GetEcuVersion(), version);
    EXPECT_EQ(Link->GetEcuIdVersion(), 0x25);
    EXPECT_TRUE(Link->IsConnected());
    EXPECT_FALSE(Link->IsBusy());

    // Both records hold what the ECU has, by the generation's parameter map.
    EXPECT_EQ(WorkSettings, EcuSettings);
    EXPECT_EQ(WorkSettings.LambdaType, 2);
    EXPECT_EQ(WorkSettings.TPSSwitchLevel, 0x64);
    EXPECT_EQ(WorkSettings.TPSClosedLevel, 255);
    EXPECT_EQ(WorkSettings.TPSType, 1);
    EXPECT_EQ(WorkSettings.MinRPMCode, version < 25 ? 27 : 54);
    EXPECT_EQ(WorkSettings.MaxRPMCode, version < 25 ? 10 : 20);
    EXPECT_EQ(WorkSettings.StepPosMin, 40);
    EXPECT_EQ(WorkSettings.StepPosH2, 85);
    if (Ecu::NewProtocol(version)) {
        EXPECT_EQ(WorkSettings.CylCount, 6);
        EXPECT_EQ(WorkSettings.CoilCount, 3);
        EXPECT_EQ(WorkSettings.Reserved15, 7);
        EXPECT_EQ(WorkSettings.LPGLevType, 4);
        EXPECT_EQ(WorkSettings.RPMDiv, sSettings{}.RPMDiv);
    } else {
        EXPECT_EQ(WorkSettings.RPMDiv, 2);
        EXPECT_EQ(WorkSettings.LPGLevType, version > 22 ? 0 : sSettings{}.LPGLevType);
        EXPECT_EQ(WorkSettings.CylCount, sSettings{}.CylCount);
    }
}

INSTANTIATE_TEST_SUITE_P(Versions, ChainTest,
                         ::testing::Values(sChainCase{22, 10}, sChainCase{23, 11}, sChainCase{24, 11},
                                           sChainCase{25, 11}, sChainCase{31, 11}, sChainCase{47, 11},
                                           sChainCase{48, 13}),
                         [](const auto& info) { return "v" + std::to_string(info.param.Version); });

class RequestTest : public MemoryLinkFixture {};

// Old protocol: every parameter goes out, then the store command; the
// direction rule lands in WorkSettings and EcuSettings follows it.
TEST_F(RequestTest, OldProtocolWriteSendsAllParametersThenStores) {
    struct sCase {
        int Version;
        uint8_t TpsType;
    };
    for (sCase c : {sCase{22, 0}, sCase{31, 1}}) {
        SCOPED_TRACE(c.Version);
        SetUp();
        StartSim(c.Version);
        StartLink();
        std::atomic<bool> posted{false};
        size_t mark = 0;
        Rec.WhenKind(eKind::Loaded, [&] {
            // A screen's edits, then "Store in ECU".
            WorkSettings.MinRPMCode = 30;
            WorkSettings.MaxRPMCode = 200;  // doubled in 8 bits below version 25
            WorkSettings.StepPosH1 = 97;
            WorkSettings.TPSType = c.TpsType;
            WorkSettings.TPSSwitchLevel = 120;  // rising: bit 0 becomes 1
            WorkSettings.TPSClosedLevel = 30;
            WorkSettings.LPGLevType = 0;
            mark = Sim->Commands().size();
            posted = Link->PostRequest(RQ_WRITE_SETTINGS);
        });
        ConnectAndLoad();
        ASSERT_TRUE(posted);
        ASSERT_TRUE(Rec.WaitNote(Ev(RQ_WRITE_SETTINGS, 2, 1), 10s)) << Dump();

        const int n = c.Version > 22 ? 11 : 10;
        auto received = Sim->Received();
        std::vector<std::vector<uint8_t>> frames(received.begin() + long(mark), received.end());
        ASSERT_GE(frames.size(), size_t(n + 1));
        const uint8_t tps = c.TpsType == 0 ? 1 : 121;
        const uint8_t values[11] = {
            0, tps, uint8_t(c.Version < 25 ? 60 : 30), uint8_t(c.Version < 25 ? 144 : 200), 50, 150, 100, 97, 80, 1, 0};
        for (int i = 0; i < n; ++i)
            EXPECT_EQ(frames[i], (std::vector<uint8_t>{uint8_t(0xC0 + i), values[i], 0xAC})) << i;
        EXPECT_EQ(frames[n], (std::vector<uint8_t>{0x63, 0xB4, 0xAC}));
        for (int i = 0; i < n; ++i) EXPECT_EQ(Sim->Stored()[i], values[i]) << i;

        EXPECT_EQ(WorkSettings.TPSSwitchLevel, tps);
        EXPECT_EQ(WorkSettings.TPSClosedLevel, c.TpsType == 0 ? 0 : 30);
        EXPECT_EQ(EcuSettings, WorkSettings);
        EXPECT_FALSE(SettingsChanged());

        std::vector<sNote> want = {Ev(RQ_WRITE_SETTINGS, 0, 0)};
        for (int i = 0; i < n; ++i) want.push_back(Ev(RQ_WRITE_SETTINGS, 1, i));
        want.push_back(Ev(RQ_WRITE_SETTINGS, 2, 0));
        want.push_back(Ev(RQ_WRITE_SETTINGS, 2, 1));
        std::vector<sNote> got;
        for (const sNote& note : Rec.Notes())
            if (note.Kind == eKind::Event && note.Request == RQ_WRITE_SETTINGS) got.push_back(note);
        EXPECT_EQ(got, want);
        EXPECT_EQ(Rec.Count(eKind::Failed), 0);
        EXPECT_EQ(Sim->PacingViolations(), 0);
        TearDown();
    }
}

// New protocol: the write sends what is queued, steps its progress and
// stores; EcuSettings then equals WorkSettings.
TEST_F(RequestTest, NewProtocolWriteFlushesQueuedUpdatesAndStores) {
    StartSim(48);
    StartLink();
    std::atomic<bool> posted{false};
    size_t mark = 0;
    Rec.WhenKind(eKind::Loaded, [&] {
        WorkSettings.StepPosH0 = 111;
        Link->QueueUpdate(sUpdate(6, 111));
        mark = Sim->Commands().size();
        posted = Link->PostRequest(RQ_WRITE_SETTINGS);
    });
    ConnectAndLoad();
    ASSERT_TRUE(posted);
    ASSERT_TRUE(Rec.WaitNote(Ev(RQ_WRITE_SETTINGS, 2, 1), 5s)) << Dump();
    auto received = Sim->Received();
    ASSERT_GE(received.size(), mark + 2);
    EXPECT_EQ(received[mark], (std::vector<uint8_t>{0xC6, 111, 0xAC}));
    EXPECT_EQ(received[mark + 1], (std::vector<uint8_t>{0x63, 0xB4, 0xAC}));
    EXPECT_EQ(Sim->Stored()[6], 111);
    EXPECT_EQ(EcuSettings, WorkSettings);
    int steps = 0;
    for (const sNote& note : Rec.Notes()) {
        if (note.Kind == eKind::Event && note.Request == RQ_WRITE_SETTINGS && note.Phase == 1) {
            EXPECT_EQ(note.Value, steps++);
        }
    }
    EXPECT_EQ(steps, 10);
}

// Factory settings: the queued 15/0xB4 goes out before the 13 reads, and all
// three records end up with the factory values.
TEST_F(RequestTest, FactorySettingsSentBeforeTheReadAndLoadedEverywhere) {
    StartSim(48);
    Sim->SetSettings(EcuValues(48));
    StartLink();
    std::atomic<bool> posted{false};
    size_t mark = 0;
    Rec.WhenKind(eKind::Loaded, [&] {
        Link->QueueUpdate(sUpdate(15, 0xB4));
        mark = Sim->Commands().size();
        posted = Link->PostRequest(RQ_READ_SETTINGS);
    });
    ConnectAndLoad(2);
    ASSERT_TRUE(posted);
    std::vector<uint8_t> want = {0xCF};
    for (int i = 0; i < 13; ++i) want.push_back(uint8_t(0xE0 + i));
    auto commands = CommandsFrom(mark);
    ASSERT_GE(commands.size(), want.size());
    EXPECT_EQ(std::vector<uint8_t>(commands.begin(), commands.begin() + 14), want) << Dump();
    EXPECT_EQ(Sim->Received()[mark], (std::vector<uint8_t>{0xCF, 0xB4, 0xAC}));

    sSettings factory;
    factory.TPSClosedLevel = 0;  // 101 has bit 0 set: a rising sensor
    EXPECT_EQ(WorkSettings, factory);
    EXPECT_EQ(EcuSettings, factory);
    EXPECT_EQ(IncomingSettings, factory);
}

// A queued update goes out before the next live read, whichever poll runs;
// below version 48 it is dropped without a frame.
TEST_F(RequestTest, QueuedUpdateSentBeforeNextLiveRead) {
    struct sCase {
        int Version;
        int32_t Poll;  // 0: the idle poll
    };
    for (sCase c : {sCase{48, 0}, sCase{48, RQ_VIS_POLL}, sCase{48, RQ_CONFIG_POLL}, sCase{47, 0}}) {
        SCOPED_TRACE(std::to_string(c.Version) + " " + std::to_string(c.Poll));
        SetUp();
        StartSim(c.Version);
        StartLink();
        if (c.Poll) Rec.WhenKind(eKind::Loaded, [&] { Link->PostRequest(c.Poll); });
        const int32_t code = c.Poll ? c.Poll : RQ_IDLE_POLL;
        std::atomic<size_t> mark{0};
        // Queued while the link delivers the second live value, so the next
        // thing the poll does is the flush.
        int seen = 0;
        Rec.When([&](const sNote& n) { return n.Kind == eKind::Event && n.Request == code && ++seen == 2; },
                 [&] {
                     Link->QueueUpdate(sUpdate(4, 60));
                     mark = Sim->Commands().size();
                 });
        ConnectAndLoad();
        ASSERT_TRUE(Rec.WaitFor(
            [&](const auto& l) {
                return std::count_if(l.begin(), l.end(),
                                     [&](const sNote& n) { return n.Kind == eKind::Event && n.Request == code; }) >= 4;
            },
            5s))
            << Dump();
        if (c.Poll) {
            Link->StopRequest();
            ASSERT_TRUE(Rec.WaitNote(Idle(true), 5s, 0, 4));
        }
        auto after = CommandsFrom(mark);
        ASSERT_GE(after.size(), 2u);
        if (Ecu::NewProtocol(c.Version)) {
            EXPECT_EQ(after[0], 0xC4) << Dump();
            EXPECT_EQ(after[1] >> 4, 0xD);
            EXPECT_EQ(Sim->Settings()[4], 60);
        } else {
            for (uint8_t cmd : after) EXPECT_NE(cmd >> 4, 0xC) << Dump();
            EXPECT_NE(Sim->Settings()[4], 60);
        }
        EXPECT_EQ(Rec.Count(eKind::Failed), 0);
        TearDown();
    }
}

// The configuration poll alternates throttle and engine speed from version
// 48 and reads only the throttle below; a stop ends it without a failure.
TEST_F(RequestTest, ConfigPollAlternatesFrom48AndReadsThrottleOnlyBelow) {
    for (int version : {48, 47}) {
        SCOPED_TRACE(version);
        SetUp();
        StartSim(version);
        Sim->SetLive(1, 77);
        Sim->SetLive(3, 40);
        StartLink();
        size_t mark = 0;
        Rec.WhenKind(eKind::Loaded, [&] {
            mark = Sim->Commands().size();
            EXPECT_TRUE(Link->PostRequest(RQ_CONFIG_POLL));
        });
        ConnectAndLoad();
        ASSERT_TRUE(Rec.WaitNote(Ev(RQ_CONFIG_POLL, 0, 77), 5s, 0, 4)) << Dump();
        EXPECT_EQ(Link->GetCurrentRequest(), RQ_CONFIG_POLL);
        EXPECT_TRUE(Link->IsBusy());
        Link->StopRequest();
        ASSERT_TRUE(Rec.WaitNote(Idle(true), 5s, 0, 4));
        auto polled = CommandsFrom(mark);
        // Up to the stop the poll's commands strictly alternate (or are all 0xD1).
        const size_t pollOnly = version >= 48 ? 7 : 4;  // commands sure to be the poll's
        ASSERT_GE(polled.size(), pollOnly);
        for (size_t i = 0; i < pollOnly; ++i) {
            uint8_t want = version >= 48 && i % 2 ? 0xD3 : 0xD1;
            EXPECT_EQ(polled[i], want) << i;
        }
        for (const sNote& note : Rec.Notes()) {
            if (note.Kind != eKind::Event || note.Request != RQ_CONFIG_POLL) continue;
            ASSERT_TRUE(version >= 48 || note.Phase == 0);
            EXPECT_EQ(note.Value, note.Phase == 0 ? 77 : 40);  // the period code is not halved
        }
        EXPECT_EQ(Rec.Count(eKind::Failed), 0);
        TearDown();
    }
}

// The visualisation poll reads 1, 3, 5, 7, 6, 8 over and over and halves the
// engine speed below version 25; a stop ends it with success, and the idle
// poll takes over with the same halving.
TEST_F(RequestTest, VisPollStopEndsItWithoutFailureAndIdlePollFollows) {
    StartSim(24);
    Sim->SetLive(3, 54);
    StartLink();
    Rec.WhenKind(eKind::Loaded, [&] { EXPECT_TRUE(Link->PostRequest(RQ_VIS_POLL)); });
    ConnectAndLoad();
    ASSERT_TRUE(Rec.WaitFor(
        [](const auto& l) {
            return std::count_if(l.begin(), l.end(), [](const sNote& n) {
                       return n.Kind == eKind::Event && n.Request == RQ_VIS_POLL;
                   }) >= 7;
        },
        10s))
        << Dump();
    size_t stopMark = Rec.Size();
    Link->StopRequest();
    ASSERT_TRUE(Rec.WaitFor(
        [&](const auto& l) {
            return std::any_of(l.begin() + long(stopMark), l.end(), [](const sNote& n) {
                return n.Kind == eKind::Event && n.Request == RQ_IDLE_POLL && n.Phase == 3;
            });
        },
        5s))
        << Dump();

    std::vector<int> order;
    for (const sNote& n : Rec.Notes()) {
        if (n.Kind != eKind::Event || (n.Request != RQ_VIS_POLL && n.Request != RQ_IDLE_POLL)) continue;
        if (n.Request == RQ_VIS_POLL) order.push_back(n.Phase);
        if (n.Phase == 3) {
            EXPECT_EQ(n.Value, 27);
        }
    }
    const int cycle[6] = {1, 3, 5, 7, 6, 8};
    ASSERT_GE(order.size(), 7u);
    for (size_t i = 0; i < order.size(); ++i) EXPECT_EQ(order[i], cycle[i % 6]) << i;
    EXPECT_EQ(Rec.Count(eKind::Failed), 0);
    EXPECT_TRUE(Link->IsConnected());
}

// A write posted "after stop" while a stopped poll finishes its exchange is
// taken at once and served right after the poll ends; a running request that
// was not told to stop still refuses it, and so does a second one.
TEST_F(RequestTest, PostAfterStopWriteFollowsTheStoppedPoll) {
    StartSim(47);
    StartLink();
    Rec.WhenKind(eKind::Loaded, [&] { EXPECT_TRUE(Link->PostRequest(RQ_CONFIG_POLL)); });
    ConnectAndLoad();
    ASSERT_TRUE(Rec.WaitCount(eKind::Event, 1, 10s, Rec.Size())) << Dump();
    ASSERT_TRUE(Rec.WaitFor(
        [](const auto& l) {
            return std::count_if(l.begin(), l.end(), [](const sNote& n) {
                       return n.Kind == eKind::Event && n.Request == RQ_CONFIG_POLL;
                   }) >= 2;
        },
        10s))
        << Dump();
    EXPECT_FALSE(Link->PostRequestAfterStop(RQ_WRITE_SETTINGS));  // not stopping

    WorkSettings.StepPosH2 = 77;  // something to store
    const size_t mark = Sim->Commands().size();
    Link->StopRequest();
    EXPECT_TRUE(Link->PostRequestAfterStop(RQ_WRITE_SETTINGS));
    EXPECT_FALSE(Link->PostRequestAfterStop(RQ_WRITE_SETTINGS));  // one at a time
    ASSERT_TRUE(Rec.WaitNote(Ev(RQ_WRITE_SETTINGS, 2, 1), 20s)) << Dump();

    // The write's frames follow the poll's last read, with nothing failed.
    std::vector<uint8_t> sent = CommandsFrom(mark);
    auto first = std::find(sent.begin(), sent.end(), uint8_t(0xC0));
    ASSERT_NE(first, sent.end()) << Dump();
    std::vector<uint8_t> write(first, sent.end());
    std::vector<uint8_t> want;
    for (int i = 0; i < 11; ++i) want.push_back(uint8_t(0xC0 + i));
    want.push_back(0x63);
    ASSERT_GE(write.size(), want.size());
    EXPECT_EQ(std::vector<uint8_t>(write.begin(), write.begin() + long(want.size())), want) << Dump();
    for (auto it = sent.begin(); it != first; ++it) EXPECT_EQ(*it, 0xD1);
    EXPECT_EQ(Rec.Count(eKind::Failed), 0) << Dump();
    EXPECT_EQ(Sim->Stored()[8], 77);
    EXPECT_FALSE(SettingsChanged());
}

// A screen that posts its poll while the link is busy with an idle-poll
// exchange, stops it at once and asks for a write (a fitter leaving with Yes)
// gets the write: the poll was never taken, so the write takes its place and
// the poll never runs.
TEST_F(RequestTest, PostAfterStopReplacesAStoppedPollNotYetTaken) {
    StartSim(47);
    StartLink();
    ConnectAndLoad();
    WorkSettings.StepPosH2 = 91;
    bool posted = false, stopPosted = false, second = true;
    size_t mark = 0;
    Rec.When([](const sNote& n) { return n.Kind == eKind::Event && n.Request == RQ_IDLE_POLL; },
             [&] {
                 // The link waits for this handler: it cannot take the poll yet.
                 mark = Sim->Commands().size();
                 posted = Link->PostRequest(RQ_CONFIG_POLL);
                 Link->StopRequest();
                 stopPosted = Link->PostRequestAfterStop(RQ_WRITE_SETTINGS);
                 second = Link->PostRequestAfterStop(RQ_WRITE_SETTINGS);
             });
    ASSERT_TRUE(Rec.WaitNote(Ev(RQ_WRITE_SETTINGS, 2, 1), 20s)) << Dump();
    EXPECT_TRUE(posted);
    EXPECT_TRUE(stopPosted);
    EXPECT_FALSE(second);  // one at a time
    for (const sNote& n : Rec.Notes()) EXPECT_NE(n.Request, RQ_CONFIG_POLL) << Dump();
    std::vector<uint8_t> sent = CommandsFrom(mark);
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.front(), 0xC0) << Dump();  // the write came first, no live read before it
    EXPECT_EQ(Rec.Count(eKind::Failed), 0) << Dump();
    EXPECT_EQ(Sim->Stored()[8], 91);
    EXPECT_FALSE(SettingsChanged());
}

// The idle poll reads one value per idle period in the fixed order and
// reports it under RQ_IDLE_POLL.
TEST_F(RequestTest, IdlePollReadsTheSixValuesRoundRobin) {
    StartSim(48);
    StartLink();
    size_t mark = 0;
    Rec.WhenKind(eKind::Loaded, [&] { mark = Sim->Commands().size(); });
    ConnectAndLoad();
    auto idle = [](const sNote& n) { return n.Kind == eKind::Event && n.Request == RQ_IDLE_POLL; };
    ASSERT_TRUE(Rec.WaitFor([&](const auto& l) { return std::count_if(l.begin(), l.end(), idle) >= 7; }, 5s));
    auto commands = CommandsFrom(mark);
    ASSERT_GE(commands.size(), 7u);
    EXPECT_EQ(std::vector<uint8_t>(commands.begin(), commands.begin() + 7),
              (std::vector<uint8_t>{0xD1, 0xD3, 0xD5, 0xD7, 0xD6, 0xD8, 0xD1}));
    std::vector<int> ks;
    for (const sNote& n : Rec.Notes())
        if (idle(n)) ks.push_back(n.Phase);
    EXPECT_EQ(std::vector<int>(ks.begin(), ks.begin() + 7), (std::vector<int>{1, 3, 5, 7, 6, 8, 1}));
    EXPECT_EQ(Rec.Count(Idle(false)), 3);  // only the three chained requests were served
}

// While one request is pending or running a second post is refused and
// changes nothing; the link check is served like any request.
TEST_F(RequestTest, SecondPostRefusedWhileBusy) {
    StartSim(48);
    StartLink();
    std::atomic<int> results{0};
    Rec.WhenKind(eKind::Loaded, [&] {
        bool first = Link->PostRequest(RQ_CHECK);
        bool second = Link->PostRequest(RQ_VIS_POLL);
        bool current = Link->GetCurrentRequest() == RQ_CHECK;
        results = (first ? 1 : 0) | (second ? 2 : 0) | (current ? 4 : 0) | (Link->IsBusy() ? 8 : 0);
    });
    ConnectAndLoad();
    ASSERT_TRUE(Rec.WaitNote(Ev(RQ_CHECK, 1, 1), 5s)) << Dump();
    EXPECT_EQ(results, 1 | 4 | 8);
    EXPECT_EQ(Rec.Count(Ev(RQ_CHECK, 0, 0)), 1);
    EXPECT_EQ(Rec.Count(eKind::Failed), 0);
    auto commands = Sim->Commands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), 0xA5), 1);
    EXPECT_EQ(Sim->Received().at(std::find(commands.begin(), commands.end(), 0xA5) - commands.begin()),
              (std::vector<uint8_t>{0xA5, 0x00, 0xAC}));
    // Afterwards the link is free again.
    ASSERT_TRUE(Rec.WaitNote(Idle(true), 2s, 0, 4));
    EXPECT_TRUE(Link->PostRequest(RQ_CHECK));
}

// An unknown request code fails at once; the link reconnects and reads again.
TEST_F(RequestTest, UnknownCodeFailsAndReconnects) {
    StartSim(48);
    StartLink();
    size_t mark = 0;
    Rec.WhenKind(eKind::Loaded, [&] {
        mark = Rec.Size();
        EXPECT_TRUE(Link->PostRequest(0x10000042));
    });
    ConnectAndLoad(2);
    auto notes = Rec.Notes();
    std::vector<sNote> after(notes.begin() + long(mark), notes.end());
    ASSERT_GE(after.size(), 5u);
    EXPECT_EQ(after[0], Idle(true));  // of the chained read
    EXPECT_EQ(after[1], Idle(false));
    EXPECT_EQ(after[2], Idle(true));
    EXPECT_EQ(after[3], Note(eKind::Failed));
    EXPECT_EQ(after[4], Idle(false));
    EXPECT_EQ(after[5], Ev(RQ_CONNECT, 0, 0));
    EXPECT_EQ(std::count_if(after.begin(), after.end(), IsExchangeFailure), 0);
}

// With the Enabled flag set no LinkIdle(false) is raised; LinkIdle(true) is.
// With an empty invoker the notifications run on the link thread, each
// listener in the order added.
TEST_F(RequestTest, EnabledSourceSkipsLinkIdleFalseListenersInOrder) {
    StartSim(48);
    struct cOrdered : cLinkListener {
        std::mutex* M;
        std::vector<int>* Order;
        int Id;
        void LinkEvent() override {
            std::lock_guard<std::mutex> lock(*M);
            Order->push_back(Id);
        }
    };
    std::mutex m;
    std::vector<int> order;
    cOrdered a, b;
    a.M = b.M = &m;
    a.Order = b.Order = &order;
    a.Id = 1;
    b.Id = 2;
    std::atomic<int> enabledCalls{0};
    StartLink(tUiInvoker{});
    Link->AddListener(&a);
    Link->AddListener(&b);
    Link->SetEnabledSource([&] {
        ++enabledCalls;
        return true;
    });
    ConnectAndLoad();
    ASSERT_TRUE(Rec.WaitNote(Idle(true), 2s, 0, 3));
    Link.reset();
    EXPECT_EQ(Rec.Count(Idle(false)), 0);
    EXPECT_GE(Rec.Count(Idle(true)), 3);
    EXPECT_GE(enabledCalls, 3);
    ASSERT_GE(order.size(), 10u);
    for (size_t i = 0; i + 1 < order.size(); i += 2) {
        EXPECT_EQ(order[i], 1);
        EXPECT_EQ(order[i + 1], 2);
    }
}

// A screen's stop that lands in a settings read (the main menu's F4 posts
// a poll, which is refused while the chained read runs, and stops): the cut
// read is not reported as loaded, copies nothing and is read again in full,
// so SettingsLoaded comes once, with the ECU's values. Both protocols, the
// chained read and a posted one.
TEST_F(RequestTest, StopDuringReadReadsAgainAndLoadsOnlyWhatWasRead) {
    for (int version : {22, 48}) {
        for (bool chained : {true, false}) {
            SCOPED_TRACE(std::to_string(version) + (chained ? " chained read" : " posted read"));
            SetUp();
            StartSim(version);
            Sim->SetSettings(EcuValues(version));
            StartLink();
            const int n = Ecu::ReadCount(version);
            const auto third = [version, n](const sNote& note) {
                const float f = Ecu::NewProtocol(version) ? 3 * (1.0f / 13) : 3.0f / float(n);
                return note == Ev(RQ_READ_SETTINGS, 1, ProgressToValue(f));
            };
            std::atomic<int> loadedAtCutRead{-1};
            sSettings work;
            size_t mark = 0;
            // At the read's fourth parameter: F4's refused post, then its stop.
            auto stopAtFourth = [&] {
                mark = Sim->Commands().size() - 4;
                EXPECT_FALSE(Link->PostRequest(RQ_VIS_POLL));
                Link->StopRequest();
                loadedAtCutRead = Rec.Count(eKind::Loaded);
            };
            if (chained) {
                Rec.When(third, stopAtFourth);
            } else {
                Rec.WhenKind(eKind::Loaded, [&] {
                    WorkSettings.StepPosH0 = 123;  // an edit not yet stored
                    EXPECT_TRUE(Link->PostRequest(RQ_READ_SETTINGS));
                    Rec.When(third, stopAtFourth);
                    // The records a screen sees at the next SettingsLoaded
                    // must be the ECU's, never the edited or old ones.
                    Rec.WhenKind(eKind::Loaded, [&] { work = WorkSettings; });
                });
            }
            ConnectAndLoad(chained ? 1 : 2);
            // The link's first idle poll after the last load comes only when
            // nothing is pending: a read or a load that should not come has
            // come before it.
            ASSERT_TRUE(Rec.WaitFor(
                [](const auto& l) {
                    const auto loaded = std::find(l.rbegin(), l.rend(), Note(eKind::Loaded));
                    return std::any_of(l.rbegin(), loaded, [](const sNote& n) {
                        return n.Kind == eKind::Event && n.Request == RQ_IDLE_POLL;
                    });
                },
                10s))
                << Dump();
            ASSERT_EQ(loadedAtCutRead, chained ? 0 : 1) << Dump();
            EXPECT_EQ(Rec.Count(eKind::Loaded), chained ? 1 : 2) << Dump();
            std::vector<uint8_t> reads;
            for (uint8_t c : CommandsFrom(mark))
                if (c >> 4 == 0xE) reads.push_back(c);
            std::vector<uint8_t> want = {0xE0, 0xE1, 0xE2, 0xE3};
            for (int i = 0; i < n; ++i) want.push_back(uint8_t(0xE0 + i));
            EXPECT_EQ(reads, want) << Dump();
            EXPECT_EQ(Rec.Count(Ev(RQ_READ_SETTINGS, 2, 1)), chained ? 1 : 2);
            EXPECT_EQ(Rec.Count(eKind::Failed), 0);

            // What the ECU holds is what the program now holds.
            sSettings fromEcu{};
            const auto values = EcuValues(version);
            for (int p = 0; p < n; ++p) Ecu::StoreReadParam(fromEcu, version, p, values[size_t(p)]);
            EXPECT_EQ(WorkSettings, fromEcu);
            EXPECT_EQ(EcuSettings, fromEcu);
            if (!chained) {
                EXPECT_EQ(work, fromEcu);
            }
            EXPECT_FALSE(SettingsChanged());
            TearDown();
        }
    }
}

// The write does not heed a screen's stop: a post refused while it runs and
// the stop after it leave the write to send every value and store them.
TEST_F(RequestTest, StopDuringWriteWritesAndStoresEverything) {
    for (int version : {22, 48}) {
        SCOPED_TRACE(version);
        SetUp();
        StartSim(version);
        StartLink();
        std::atomic<bool> posted{false};
        Rec.WhenKind(eKind::Loaded, [&] {
            WorkSettings.StepPosH1 = 97;
            if (Ecu::NewProtocol(version)) Link->QueueUpdate(sUpdate(7, 97));
            posted = Link->PostRequest(RQ_WRITE_SETTINGS);
            Rec.When([](const sNote& n) { return n == Ev(RQ_WRITE_SETTINGS, 1, 2); },
                     [&] {
                         EXPECT_FALSE(Link->PostRequest(RQ_VIS_POLL));
                         Link->StopRequest();
                     });
        });
        ConnectAndLoad();
        ASSERT_TRUE(posted);
        ASSERT_TRUE(Rec.WaitNote(Ev(RQ_WRITE_SETTINGS, 2, 1), 10s)) << Dump();
        EXPECT_EQ(Sim->Stored()[7], 97);
        const int steps = Ecu::NewProtocol(version) ? 10 : Ecu::OldWriteCount(version);
        for (int i = 0; i < steps; ++i) EXPECT_EQ(Rec.Count(Ev(RQ_WRITE_SETTINGS, 1, i)), 1) << i;
        EXPECT_EQ(Rec.Count(eKind::Failed), 0);
        EXPECT_FALSE(SettingsChanged());
        TearDown();
    }
}

// The user-interface thread sees each whole-record copy as one step: the
// copies run there, not on the link thread.
TEST_F(RequestTest, RecordCopiesRunOnTheUiThread) {
    StartSim(48);
    std::atomic<bool> wrongThread{false};
    std::atomic<int> calls{0};
    std::thread::id ui = Ui.Id();
    StartLink([&](const std::function<void()>& fn) {
        ++calls;
        Ui.Run([&] {
            if (std::this_thread::get_id() != ui) wrongThread = true;
            fn();
        });
    });
    Rec.WhenKind(eKind::Loaded, [&] {
        EXPECT_EQ(std::this_thread::get_id(), ui);
        EXPECT_EQ(WorkSettings, EcuSettings);
    });
    ConnectAndLoad();
    // The invoker refers to this body's locals: end the link before they go.
    Link.reset();
    EXPECT_FALSE(wrongThread);
    EXPECT_GT(calls, 20);
}

}  // namespace
}  // namespace linktest
