// The fitter's unsaved edits across a reconnection: the read the link makes
// by itself keeps them (and says when the ECU is another one); the first
// read and a read a screen asks for copy the ECU's settings as before. All
// against the ECU in memory, on its faster clock: it answers each frame as
// it is written, so nothing here is tried twice; a store that fails after a
// replug fails the test. (A pulled line on a real pseudo-terminal, and the
// link finding it again by itself, is PortFaultTest's.)
#include <unistd.h>

#include <array>
#include <filesystem>

#include "link/Protocol.h"

#include "tests/link/CommThreadTest.h"

namespace linktest {
namespace {

std::string LinkName(const char* tag) {
    return (std::filesystem::temp_directory_path() / ("zvecu-" + std::string(tag) + "-" + std::to_string(::getpid())))
        .string();
}

template <class tEcu>
class tReconnectFixture : public tLinkFixture<tEcu> {
protected:
    using tLinkFixture<tEcu>::Link;
    using tLinkFixture<tEcu>::Rec;
    using tLinkFixture<tEcu>::Sim;
    using tLinkFixture<tEcu>::Ui;

    void StartSimAt(int version, const std::string& link) {
        sSimOptions opt;
        opt.Version = version;
        opt.IdVersion = 0x25;
        opt.Instant = true;
        opt.LinkPath = link;
        Sim = std::make_unique<tEcu>(opt);
        Sim->Start();
    }
    std::string Dump() const { return tLinkFixture<tEcu>::Dump(); }
    // Posts a store of the edits and waits until the link has served it
    // (its LinkIdle(true) after the write's start); true when it stored.
    // The link is free once the read or the request before has ended, so
    // the post is taken at once; the ECU in memory answers every frame as it
    // is written, so a failure here is the link's.
    bool StoreEdits() {
        const size_t mark = Rec.Size();
        if (!Link->PostRequest(RQ_WRITE_SETTINGS)) return false;
        const sNote start = Ev(RQ_WRITE_SETTINGS, Phase::Start, 0);
        const bool served = Rec.WaitFor(
            [&](const std::vector<sNote>& l) {
                const auto begun = std::find(l.begin() + long(std::min(mark, l.size())), l.end(), start);
                return begun != l.end() && std::find(begun, l.end(), Idle(true)) != l.end();
            },
            15s);
        return served && Rec.Count(Ev(RQ_WRITE_SETTINGS, Phase::Done, 1), mark) > 0;
    }
};

using ReplugFixture = tReconnectFixture<cMemoryEcu>;

class ReconnectTest : public ReplugFixture, public ::testing::WithParamInterface<int> {};

// The adapter is pulled and put back: the edit made before stays in
// WorkSettings, still counts as changed (even where the ECU reports the
// edited value it was sent but never stored), and a later store writes it.
TEST_P(ReconnectTest, UnsavedEditSurvivesAPulledLineAndIsWhatTheStoreWrites) {
    const int version = GetParam();
    const std::string link = LinkName("keep");
    StartSimAt(version, link);
    StartLink();
    Link->SetPortName(link);
    ASSERT_TRUE(Rec.WaitCount(eKind::Loaded, 1, 10s)) << Dump();
    EXPECT_EQ(Link->GetReadOutcome(), cCommThread::eReadOutcome::Copied);

    uint8_t original = 0, edited = 0;
    Ui.Run([&] {
        original = EcuSettings.LambdaType;
        edited = original == 2 ? 3 : 2;
        WorkSettings.LambdaType = edited;
    });
    if (Ecu::NewProtocol(version)) {
        // As the configuration screen does: the ECU holds it at once, unstored.
        Link->QueueUpdate(sUpdate(P_LAMBDA_TYPE, edited));
        ASSERT_TRUE(Sim->WaitForCommands(WriteCommand(P_LAMBDA_TYPE), 1, 5s)) << Dump();
    }

    Sim->SetFault(eSimFault::LineDrop, 0);
    ASSERT_TRUE(Rec.WaitCount(eKind::SendErr, 1, 5s)) << Dump();
    Sim->Reopen();
    ASSERT_TRUE(Rec.WaitCount(eKind::Loaded, 2, 15s)) << Dump();
    EXPECT_EQ(Link->GetReadOutcome(), cCommThread::eReadOutcome::KeptEdits);
    Ui.Run([&] {
        EXPECT_EQ(WorkSettings.LambdaType, edited);
        EXPECT_EQ(EcuSettings.LambdaType, original);
        EXPECT_TRUE(SettingsChanged());
    });

    ASSERT_TRUE(StoreEdits()) << Dump();
    EXPECT_EQ(Sim->Stored()[P_LAMBDA_TYPE], edited);
    Ui.Run([] { EXPECT_FALSE(SettingsChanged()); });
    Link.reset();
    Sim.reset();
}

INSTANTIATE_TEST_SUITE_P(Versions, ReconnectTest, ::testing::Values(22, 48),
                         [](const auto& info) { return "v" + std::to_string(info.param); });

// What may not go out by itself: a write of a setting (the C class, the
// command parameter among them) or the store command.
bool SendsSomething(uint8_t code) { return CommandClass(code) == CMD_WRITE || code == CMD_STORE; }

// The port changes to an ECU of another version while there are edits: the
// edits are kept over its settings, nothing of the ECU before is left in the
// others, and the link says the ECU is another; a store then carries the
// edits and nothing else to it, also where single updates are its way. A
// read a screen asks for copies the ECU's settings as before.
TEST_F(ReplugFixture, OtherEcuAfterReconnectKeepsOnlyTheEditsOverItsSettings) {
    StartSim(22);
    cMemoryEcu& second = StartMoreEcu(48);
    StartLink();
    ConnectAndLoad();

    sSettings kept;
    Ui.Run([&] {
        WorkSettings.StepPosH1 = uint8_t(EcuSettings.StepPosH1 + 7);
        WorkSettings.LambdaType = uint8_t(EcuSettings.LambdaType == 2 ? 3 : 2);
        kept = WorkSettings;
    });
    Link->SetPortName(second.DevicePath());
    ASSERT_TRUE(Rec.WaitCount(eKind::Loaded, 2, 15s)) << Dump();
    EXPECT_EQ(Link->GetReadOutcome(), cCommThread::eReadOutcome::OtherEcu);
    sSettings expected;
    Ui.Run([&] {
        expected = IncomingSettings;
        expected.StepPosH1 = kept.StepPosH1;
        expected.LambdaType = kept.LambdaType;
        EXPECT_EQ(WorkSettings, expected);
        EXPECT_EQ(EcuSettings, IncomingSettings);
        EXPECT_TRUE(SettingsChanged());
    });

    second.ClearLog();
    ASSERT_TRUE(StoreEdits()) << Dump();
    EXPECT_EQ(second.Stored()[P_STEP_H1], kept.StepPosH1);
    EXPECT_EQ(second.Stored()[P_LAMBDA_TYPE], kept.LambdaType);
    // The two edits and the store, nothing of the ECU before.
    std::vector<uint8_t> sent;
    for (uint8_t code : second.Commands())
        if (SendsSomething(code)) sent.push_back(code);
    EXPECT_EQ(sent, (std::vector<uint8_t>{CMD_WRITE | P_LAMBDA_TYPE, CMD_WRITE | P_STEP_H1, CMD_STORE}));

    // A read asked for (the load dialog, factory settings) takes the ECU's.
    Ui.Run([] { WorkSettings.StepPosH2 = uint8_t(EcuSettings.StepPosH2 + 1); });
    const size_t mark = Rec.Size();
    ASSERT_TRUE(Link->PostRequest(RQ_READ_SETTINGS));
    ASSERT_TRUE(Rec.WaitCount(eKind::Loaded, 1, 10s, mark)) << Dump();
    EXPECT_EQ(Link->GetReadOutcome(), cCommThread::eReadOutcome::Copied);
    Ui.Run([] { EXPECT_FALSE(SettingsChanged()); });
    Link.reset();
}

enum class eNextCar { SameCar, OtherSettings, OtherVersion };

struct sReplugCase {
    int Version;
    eNextCar Next;
    int NextVersion;  // OtherVersion only
};

std::string CaseName(const sReplugCase& c) {
    const char* next[] = {"SameCar", "OtherSettings", "OtherVersion"};
    return "v" + std::to_string(c.Version) + "_" + next[int(c.Next)] +
           (c.Next == eNextCar::OtherVersion ? std::to_string(c.NextVersion) : std::string());
}

class ReplugTest : public ReplugFixture, public ::testing::WithParamInterface<sReplugCase> {};

// The cable goes from one car to the next (or back into the same one) while
// the program holds an unsaved edit, and an update of it is still queued:
// after the reconnection the link reads and then only polls. No setting, no
// command and no store reaches the ECU until the fitter releases the edits;
// the link says whether this looks like another vehicle.
TEST_P(ReplugTest, NothingGoesToTheEcuAfterAReconnectionUntilReleased) {
    const sReplugCase c = GetParam();
    const bool isNew = Ecu::NewProtocol(c.Version);
    const std::string link = LinkName("replug");
    StartSimAt(c.Version, link);
    cMemoryEcu* other = c.Next == eNextCar::OtherVersion ? &StartMoreEcu(c.NextVersion) : nullptr;
    StartLink();
    Link->SetPortName(link);
    ASSERT_TRUE(Rec.WaitCount(eKind::Loaded, 1, 10s)) << Dump();

    uint8_t edited = 0;
    Ui.Run([&] {
        edited = EcuSettings.LambdaType == 2 ? 3 : 2;
        WorkSettings.LambdaType = edited;
    });
    if (isNew) {
        Link->QueueUpdate(sUpdate(P_LAMBDA_TYPE, edited));
        ASSERT_TRUE(Sim->WaitForCommands(WriteCommand(P_LAMBDA_TYPE), 1, 5s)) << Dump();
    }
    Sim->SetFault(eSimFault::LineDrop, 0);
    ASSERT_TRUE(Rec.WaitCount(eKind::SendErr, 1, 5s)) << Dump();
    // Pressed while the line was down: queued for the ECU of then.
    Link->QueueUpdate(sUpdate(P_STEP_H1, 77));
    Link->QueueUpdate(sUpdate(P_COMMAND, CONSOLE_COMMAND));

    cMemoryEcu* next = other ? other : Sim.get();
    next->ClearLog();
    if (other) {
        Link->SetPortName(other->DevicePath());
    } else {
        if (c.Next == eNextCar::OtherSettings) {
            std::array<uint8_t, 16> values = Sim->Settings();
            values[P_STEP_MIN] = uint8_t(values[P_STEP_MIN] + 9);
            values[P_LAMBDA_TYPE] = 4;
            Sim->SetSettings(values);
        } else {
            // The car was switched off meanwhile: it lost the unstored value.
            Sim->SetSettings(Sim->Stored());
        }
        Sim->Reopen();
    }
    ASSERT_TRUE(Rec.WaitCount(eKind::Loaded, 2, 15s)) << Dump();
    // Several rounds of the idle poll after the read.
    ASSERT_TRUE(next->WaitForCommands(LiveCommand(LiveRPM), 3, 15s)) << Dump();
    for (uint8_t code : next->Commands()) EXPECT_FALSE(SendsSomething(code)) << std::hex << int(code);

    EXPECT_TRUE(Link->HoldsKeptEdits());
    EXPECT_EQ(Link->LooksLikeOtherVehicle(), c.Next != eNextCar::SameCar);
    EXPECT_EQ(Link->GetReadOutcome(), c.Next == eNextCar::OtherVersion ? cCommThread::eReadOutcome::OtherEcu
                                                                       : cCommThread::eReadOutcome::KeptEdits);
    // A setting queued while held is dropped as well.
    Link->QueueUpdate(sUpdate(P_LAMBDA_TYPE, edited));
    ASSERT_TRUE(next->WaitForCommands(LiveCommand(LiveRPM), 2, 15s)) << Dump();
    for (uint8_t code : next->Commands()) EXPECT_FALSE(SendsSomething(code)) << std::hex << int(code);
    Ui.Run([&] {
        EXPECT_EQ(WorkSettings.LambdaType, edited);
        EXPECT_TRUE(SettingsChanged());
    });

    // The fitter's word: one store carries the edit.
    Ui.Run([&] { Link->ReleaseHeldEdits(); });
    EXPECT_FALSE(Link->HoldsKeptEdits());
    ASSERT_TRUE(StoreEdits()) << Dump();
    EXPECT_EQ(next->Stored()[P_LAMBDA_TYPE], edited);
    EXPECT_FALSE(Link->LooksLikeOtherVehicle());
    Ui.Run([] { EXPECT_FALSE(SettingsChanged()); });
    Link.reset();
    Sim.reset();
}

std::vector<sReplugCase> ReplugCases() {
    std::vector<sReplugCase> cases;
    for (int v : {22, 31, 48, 57}) {
        cases.push_back({v, eNextCar::SameCar, 0});
        cases.push_back({v, eNextCar::OtherSettings, 0});
    }
    cases.push_back({22, eNextCar::OtherVersion, 31});
    cases.push_back({48, eNextCar::OtherVersion, 57});
    cases.push_back({57, eNextCar::OtherVersion, 48});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Cars, ReplugTest, ::testing::ValuesIn(ReplugCases()),
                         [](const auto& info) { return CaseName(info.param); });

// The fitter drops the kept edits: the program takes the ECU's settings and
// nothing is held or sent.
TEST_F(ReplugFixture, DroppedKeptEditsTakeTheEcusSettings) {
    const std::string link = LinkName("drop");
    StartSimAt(57, link);
    StartLink();
    Link->SetPortName(link);
    ASSERT_TRUE(Rec.WaitCount(eKind::Loaded, 1, 10s)) << Dump();
    Ui.Run([] { WorkSettings.CylCount = uint8_t(EcuSettings.CylCount == 6 ? 4 : 6); });
    Sim->SetFault(eSimFault::LineDrop, 0);
    ASSERT_TRUE(Rec.WaitCount(eKind::SendErr, 1, 5s)) << Dump();
    Sim->Reopen();
    ASSERT_TRUE(Rec.WaitCount(eKind::Loaded, 2, 15s)) << Dump();
    ASSERT_TRUE(Link->HoldsKeptEdits());
    Sim->ClearLog();
    Ui.Run([&] {
        Link->DropHeldEdits();
        EXPECT_FALSE(SettingsChanged());
        EXPECT_EQ(WorkSettings, IncomingSettings);
    });
    EXPECT_FALSE(Link->HoldsKeptEdits());
    ASSERT_TRUE(Sim->WaitForCommands(LiveCommand(LiveRPM), 2, 15s)) << Dump();
    for (uint8_t code : Sim->Commands()) EXPECT_FALSE(SendsSomething(code)) << std::hex << int(code);
    Link.reset();
    Sim.reset();
}

// A vehicle file the program was started with is held before the ECU is
// known: the first read keeps it whole over the ECU's settings (the counts of
// an older file without them are the ECU's), nothing goes out by itself, and
// the store after the fitter's word writes the file.
struct sOpenedCase {
    int version;
    bool withCounts;
};
class OpenedFileTest : public ReplugFixture, public ::testing::WithParamInterface<sOpenedCase> {};

TEST_P(OpenedFileTest, TheFirstReadKeepsTheOpenedFileUntilReleased) {
    const sOpenedCase c = GetParam();
    const std::string link = LinkName("opened");
    StartSimAt(c.version, link);
    StartLink();
    sSettings file{};
    file.StepPosH1 = 123;
    file.LambdaType = 3;
    file.CylCount = 5;
    file.CoilCount = 2;
    Ui.Run([&] {
        WorkSettings = file;
        Link->HoldOpenedFile(c.withCounts);
    });
    EXPECT_TRUE(Link->HoldsOpenedFile());
    Link->SetPortName(link);
    ASSERT_TRUE(Rec.WaitCount(eKind::Loaded, 1, 10s)) << Dump();
    EXPECT_EQ(Link->GetReadOutcome(), cCommThread::eReadOutcome::KeptEdits);
    EXPECT_TRUE(Link->HoldsOpenedFile());
    EXPECT_FALSE(Link->LooksLikeOtherVehicle());
    Ui.Run([&] {
        EXPECT_EQ(EcuSettings, IncomingSettings);
        sSettings expected = file;
        if (!c.withCounts) {
            expected.CylCount = IncomingSettings.CylCount;
            expected.CoilCount = IncomingSettings.CoilCount;
        }
        EXPECT_EQ(WorkSettings, expected);
        // An update a screen queues meanwhile is dropped too.
        Link->QueueUpdate(sUpdate(P_LAMBDA_TYPE, 2));
    });
    ASSERT_TRUE(Sim->WaitForCommands(LiveCommand(LiveRPM), 2, 15s)) << Dump();
    for (uint8_t code : Sim->Commands()) EXPECT_FALSE(SendsSomething(code)) << std::hex << int(code);

    Ui.Run([&] { Link->ReleaseHeldEdits(); });
    EXPECT_FALSE(Link->HoldsOpenedFile());
    ASSERT_TRUE(StoreEdits()) << Dump();
    EXPECT_EQ(Sim->Stored()[P_STEP_H1], 123);
    Link.reset();
    Sim.reset();
}

INSTANTIATE_TEST_SUITE_P(Cases, OpenedFileTest,
                         ::testing::Values(sOpenedCase{47, true}, sOpenedCase{48, true}, sOpenedCase{48, false}));

}  // namespace
}  // namespace linktest
