// Exchanges against the ECU simulator: real frames, the simulator's own
// pacing check, and one notification per failure mode.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "serial/ComPort.h"

#include "link/Frames.h"

#include "tools/ecusim/EcuSimulator.h"

using namespace std::chrono_literals;

namespace {

struct cCountingSink : cExchangeSink {
    std::vector<std::string> Raised;
    void RaiseSendError() override { Raised.push_back("SendError"); }
    void RaiseNoReply() override { Raised.push_back("NoReply"); }
    void RaiseBadReply() override { Raised.push_back("BadReply"); }
};

void OpenLikeTheLink(cComPort& port, const std::string& path) {
    port.Open(path);
    port.SetBaudRate(1200);
    port.SetTimeouts(100, 100);
    port.SetQueueSizes(16, 0);
    port.SetAbortOnError(true);
}

// A version-48 simulator that answers at once, and a port opened on it as
// the link opens its port.
sSimOptions InstantNewEcu() {
    sSimOptions options;
    options.Version = 48;
    options.Instant = true;
    return options;
}
struct sInstantLine {
    cEcuSimulator Sim{InstantNewEcu()};
    cComPort Port;
    sInstantLine() {
        Sim.Start();
        OpenLikeTheLink(Port, Sim.DevicePath());
    }
};

}  // namespace

TEST(ExchangeSim, ReadsAndWritesParametersWithinThePacingForOldAndNewVersions) {
    for (int version : {22, 48}) {
        SCOPED_TRACE(version);
        // The simulator times the bytes as its own thread reads them, so a
        // late wake-up of that thread on a busy machine shrinks the gap it
        // sees (never widens it). A little slack, and the best of up to three
        // runs, keep that noise from counting as the program's; a program
        // that does not pause enough has violations in every run.
        int fewest = 1 << 30;
        for (int attempt = 0; attempt < 3 && fewest > 0; ++attempt) {
            sSimOptions options;
            options.Version = version;
            options.PacingToleranceMs = 5.0;
            cEcuSimulator sim(options);
            sim.Start();
            cComPort port;
            OpenLikeTheLink(port, sim.DevicePath());
            port.SetTimeouts(5000, 5000);  // every frame is answered; its thread may be late
            cCountingSink sink;

            uint8_t value = 0;
            ASSERT_TRUE(Exchange(port, version, sink, 0xE4, 0x00, value));
            EXPECT_EQ(value, sim.Settings()[4]);
            EXPECT_EQ(value, 0x32);

            ASSERT_TRUE(Exchange(port, version, sink, 0xC2, 0x1B, value));
            EXPECT_EQ(sim.Settings()[2], 0x1B);

            ASSERT_TRUE(Exchange(port, version, sink, 0xD2, 0x00, value));
            EXPECT_EQ(value, version);

            EXPECT_TRUE(sink.Raised.empty());
            EXPECT_EQ(sim.Received(),
                      (std::vector<std::vector<uint8_t>>{{0xE4, 0x00, 0xAC}, {0xC2, 0x1B, 0xAC}, {0xD2, 0x00, 0xAC}}));
            fewest = std::min(fewest, sim.PacingViolations());
        }
        EXPECT_EQ(fewest, 0);
    }
}

TEST(ExchangeSim, EachFailureModeRaisesItsOneNotification) {
    struct sCase {
        eSimFault Fault;
        uint8_t Code, Data;
        const char* Raised;
    } cases[] = {
        {eSimFault::Silence, 0xE4, 0x00, "NoReply"},       {eSimFault::SilenceAfter, 0xE4, 0x00, "NoReply"},
        {eSimFault::PartialReply, 0xE4, 0x00, "BadReply"}, {eSimFault::BadTrailer, 0xE4, 0x00, "BadReply"},
        {eSimFault::WrongEcho, 0xE4, 0x00, "BadReply"},    {eSimFault::Garbage, 0xE4, 0x00, "BadReply"},
        {eSimFault::RefuseStore, 0x63, 0xB4, "BadReply"},
    };
    for (const sCase& c : cases) {
        SCOPED_TRACE(SimFaultName(c.Fault));
        // The simulator answers from its own thread; on a busy machine its
        // reply can start later than the program's 100 ms read limit, which
        // turns a spoilt reply into no reply at all. Such a run says nothing
        // about the program and is tried again; any other outcome counts.
        bool judged = false;
        for (int attempt = 0; attempt < 5 && !judged; ++attempt) {
            sInstantLine line;
            cEcuSimulator& sim = line.Sim;
            cComPort& port = line.Port;
            sim.SetFault(c.Fault, 0);
            cCountingSink sink;
            uint8_t value;
            EXPECT_FALSE(Exchange(port, 48, sink, c.Code, c.Data, value));
            const bool spoiltReply = std::string(c.Raised) != "NoReply";
            if (spoiltReply && sink.Raised == std::vector<std::string>{"NoReply"}) continue;
            judged = true;
            EXPECT_EQ(sink.Raised, std::vector<std::string>{c.Raised});
            EXPECT_FALSE(port.HasFailed());

            // The fault gone, the next exchange works on the same port, once
            // the rest of the spoilt reply has arrived and been thrown away.
            if (spoiltReply) {
                const auto replied = [&] {
                    for (const auto& e : sim.Log())
                        if (!e.FromProgram && e.Bytes.size() > 1) return true;
                    return false;
                };
                for (int i = 0; i < 500 && !replied(); ++i) std::this_thread::sleep_for(10ms);
                std::this_thread::sleep_for(20ms);
            }
            sim.SetFault(eSimFault::None);
            port.ClearAndPurgeRx();
            sink.Raised.clear();
            EXPECT_TRUE(Exchange(port, 48, sink, 0xA5, 0x00, value));
            EXPECT_TRUE(sink.Raised.empty());
        }
        EXPECT_TRUE(judged) << "the simulator never answered within the read limit";
    }
}

TEST(ExchangeSim, ALineDropIsAPortErrorNotANotification) {
    sInstantLine line;
    cEcuSimulator& sim = line.Sim;
    cComPort& port = line.Port;
    sim.SetFault(eSimFault::LineDrop, 1);  // drops right after answering one frame
    // Read limits of seconds: the simulator's thread may answer late on a
    // busy machine, and a dropped line ends a read at once whatever its limit.
    port.SetTimeouts(5000, 5000);
    cCountingSink sink;
    uint8_t value = 0;
    ASSERT_TRUE(Exchange(port, 48, sink, 0xE4, 0x00, value));
    EXPECT_EQ(value, 0x32);
    for (int i = 0; i < 500 && !sim.LineDropped(); ++i) std::this_thread::sleep_for(10ms);
    ASSERT_TRUE(sim.LineDropped());

    EXPECT_THROW(Exchange(port, 48, sink, 0xE4, 0x00, value), sError);
    EXPECT_TRUE(sink.Raised.empty());
    EXPECT_TRUE(port.HasFailed());

    // After the simulator comes back on a new device, reopening recovers.
    sim.Reopen();
    OpenLikeTheLink(port, sim.DevicePath());
    port.SetTimeouts(5000, 5000);
    EXPECT_FALSE(port.HasFailed());
    EXPECT_TRUE(Exchange(port, 48, sink, 0xE4, 0x00, value));
    EXPECT_TRUE(sink.Raised.empty());
}
