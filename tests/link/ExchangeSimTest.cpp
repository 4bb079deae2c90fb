// Exchanges against the ECU simulator: real frames, the simulator's own
// pacing check, and one notification per failure mode.
#include <gtest/gtest.h>

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

// Real frames through a real port, answered by the simulator's thread. Its
// read limits are seconds: that thread may answer late on a busy machine,
// and every frame here is answered. (The pacing of the bytes is judged on a
// clock the test owns, Frames.PacingPausesBeforeEveryByte; the simulator can
// only time a byte by when its thread reads it.)
TEST(ExchangeSim, ReadsAndWritesParametersForOldAndNewVersions) {
    for (int version : {22, 48}) {
        SCOPED_TRACE(version);
        sSimOptions options;
        options.Version = version;
        cEcuSimulator sim(options);
        sim.Start();
        cComPort port;
        OpenLikeTheLink(port, sim.DevicePath());
        port.SetTimeouts(5000, 5000);
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
    }
}

// Each of the simulator's spoilt replies and silences gives its one
// notification, and the port goes on working. A silence is judged within
// the link's own 100 ms read limit (no lateness makes a silent ECU answer);
// a spoilt reply of three bytes gets a limit of seconds, so that a late
// simulator thread cannot turn it into no reply at all. (A short reply
// would wait that whole limit for its third byte; it is judged on the
// scripted port, Frames.ExchangeSendsTheFrameAndJudgesTheReply.)
TEST(ExchangeSim, EachFailureModeRaisesItsOneNotification) {
    struct sCase {
        eSimFault Fault;
        uint8_t Code, Data;
        const char* Raised;
    } cases[] = {
        {eSimFault::Silence, 0xE4, 0x00, "NoReply"},     {eSimFault::SilenceAfter, 0xE4, 0x00, "NoReply"},
        {eSimFault::BadTrailer, 0xE4, 0x00, "BadReply"}, {eSimFault::WrongEcho, 0xE4, 0x00, "BadReply"},
        {eSimFault::Garbage, 0xE4, 0x00, "BadReply"},    {eSimFault::RefuseStore, 0x63, 0xB4, "BadReply"},
    };
    for (const sCase& c : cases) {
        SCOPED_TRACE(SimFaultName(c.Fault));
        sInstantLine line;
        cEcuSimulator& sim = line.Sim;
        cComPort& port = line.Port;
        const bool silent = std::string(c.Raised) == "NoReply";
        if (!silent) port.SetTimeouts(5000, 5000);
        sim.SetFault(c.Fault, 0);
        cCountingSink sink;
        uint8_t value;
        EXPECT_FALSE(Exchange(port, 48, sink, c.Code, c.Data, value));
        EXPECT_EQ(sink.Raised, std::vector<std::string>{c.Raised});
        EXPECT_FALSE(port.HasFailed());

        // The fault gone, the next exchange works on the same port.
        port.SetTimeouts(5000, 5000);
        sim.SetFault(eSimFault::None);
        port.ClearAndPurgeRx();
        sink.Raised.clear();
        EXPECT_TRUE(Exchange(port, 48, sink, 0xA5, 0x00, value));
        EXPECT_TRUE(sink.Raised.empty());
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
