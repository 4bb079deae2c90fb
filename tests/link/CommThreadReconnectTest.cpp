// The fitter's unsaved edits across a reconnection: the read the link makes
// by itself keeps them (and says when the ECU is another one); the first
// read and a read a screen asks for copy the ECU's settings as before.
#include <filesystem>
#include <unistd.h>

#include "link/Protocol.h"
#include "tests/link/CommThreadTest.h"

namespace linktest {
namespace {

std::string LinkName(const char* tag) {
    return (std::filesystem::temp_directory_path() /
            ("zvecu-" + std::string(tag) + "-" + std::to_string(::getpid())))
        .string();
}

class ReconnectFixture : public CommThreadFixture {
protected:
    void StartSimAt(int version, const std::string& link) {
        sSimOptions opt;
        opt.Version = version;
        opt.IdVersion = 0x25;
        opt.Instant = true;
        opt.LinkPath = link;
        Sim = std::make_unique<cEcuSimulator>(opt);
        Sim->Start();
    }
    // Stores the edits and waits until the store is done. A store that ends
    // in NoReply is asked for again, as the fitter would press the key again,
    // at most three times: on a busy machine the simulator's thread may
    // answer after the 100 ms read limit. Any other failure fails at once.
    bool StoreEdits() {
        const sNote done = Ev(RQ_WRITE_SETTINGS, Phase::Done, 1);
        for (int attempt = 0; attempt < 3; ++attempt) {
            const size_t mark = Rec.Size();
            if (!PostWhenFree(RQ_WRITE_SETTINGS)) return false;
            const bool ended = Rec.WaitFor(
                [&](const std::vector<sNote>& l) {
                    return std::any_of(l.begin() + long(std::min(mark, l.size())), l.end(),
                                       [&](const sNote& n) { return n == done || n.Kind == eKind::Failed; });
                },
                15s);
            if (!ended) return false;
            if (Rec.Count(done, mark) > 0) return true;
            if (Rec.Count(eKind::NoRep, mark) == 0) return false;
        }
        return false;
    }
    bool PostWhenFree(int32_t code) {
        const auto until = std::chrono::steady_clock::now() + 10s;
        while (std::chrono::steady_clock::now() < until) {
            if (Link->PostRequest(code)) return true;
            std::this_thread::sleep_for(5ms);
        }
        return false;
    }
};

class ReconnectTest : public ReconnectFixture, public ::testing::WithParamInterface<int> {};

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

// The port changes to an ECU of another version while there are edits: the
// program's settings are kept whole and the link says the ECU is another;
// a store then carries them all to it, also where single updates are its
// way. A read a screen asks for copies the ECU's settings as before.
TEST_F(ReconnectFixture, OtherEcuAfterReconnectKeepsTheProgramsSettingsWhole) {
    StartSim(22);
    sSimOptions opt;
    opt.Version = 48;
    opt.Instant = true;
    cEcuSimulator second(opt);
    second.Start();
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
    Ui.Run([&] {
        EXPECT_EQ(WorkSettings, kept);
        EXPECT_EQ(EcuSettings, IncomingSettings);
        EXPECT_TRUE(SettingsChanged());
    });

    ASSERT_TRUE(StoreEdits()) << Dump();
    EXPECT_EQ(second.Stored()[P_STEP_H1], kept.StepPosH1);
    EXPECT_EQ(second.Stored()[P_LAMBDA_TYPE], kept.LambdaType);

    // A read asked for (the load dialog, factory settings) takes the ECU's.
    Ui.Run([] { WorkSettings.StepPosH2 = uint8_t(EcuSettings.StepPosH2 + 1); });
    const size_t mark = Rec.Size();
    ASSERT_TRUE(PostWhenFree(RQ_READ_SETTINGS));
    ASSERT_TRUE(Rec.WaitCount(eKind::Loaded, 1, 10s, mark)) << Dump();
    EXPECT_EQ(Link->GetReadOutcome(), cCommThread::eReadOutcome::Copied);
    Ui.Run([] { EXPECT_FALSE(SettingsChanged()); });
    Link.reset();
}

}  // namespace
}  // namespace linktest
