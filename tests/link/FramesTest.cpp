#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "link/Frames.h"
#include "serial/ComPort.h"
#include "tests/serial/PtyPeer.h"

using namespace std::chrono_literals;
using tClock = std::chrono::steady_clock;

namespace {

long long MsBetween(tClock::time_point a, tClock::time_point b) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(b - a).count();
}

struct cRecordingSink : cExchangeSink {
    int SendErrors = 0, NoReplies = 0, BadReplies = 0;
    void RaiseSendError() override { ++SendErrors; }
    void RaiseNoReply() override { ++NoReplies; }
    void RaiseBadReply() override { ++BadReplies; }
    // "" when nothing was raised, else the notifications raised.
    std::string Raised() const {
        std::string s;
        for (int i = 0; i < SendErrors; ++i) s += "SendError ";
        for (int i = 0; i < NoReplies; ++i) s += "NoReply ";
        for (int i = 0; i < BadReplies; ++i) s += "BadReply ";
        if (!s.empty()) s.pop_back();
        return s;
    }
};

// A port on a pseudo-terminal whose far end answers one frame as scripted.
struct cScriptedEcu {
    cPtyPeer Peer;
    cComPort Port;
    std::thread Thread;
    std::vector<cPtyPeer::sByte> Got;

    cScriptedEcu() {
        Port.Open(Peer.SlavePath());
        Port.SetBaudRate(1200);
        Port.SetTimeouts(100, 100);
        Port.SetQueueSizes(16, 0);
    }
    ~cScriptedEcu() { Join(); }

    // Reads one frame (three bytes), then sends `reply` (possibly nothing)
    // and, if `drop`, closes the line.
    void AnswerWith(std::vector<uint8_t> reply, bool drop = false) {
        Thread = std::thread([this, reply, drop] {
            Got = Peer.ReadUpTo(3, 1000ms);
            if (!reply.empty()) Peer.Write(reply);
            if (drop) Peer.CloseMaster();
        });
    }
    void Join() {
        if (Thread.joinable()) Thread.join();
    }
    std::vector<uint8_t> Received() {
        Join();
        return cPtyPeer::Values(Got);
    }
};

}  // namespace

TEST(Frames, ValidityRuleOverEveryKindOfReply) {
    struct sCase {
        std::vector<uint8_t> Command, Reply;
        bool Valid;
    } cases[] = {
        {{0xE4, 0x00, 0xAC}, {0xE4, 0x32, 0xAC}, true},
        {{0xE4, 0x00, 0xAC}, {0xE4, 0x32, 0xAB}, false},  // trailer
        {{0xE4, 0x00, 0xAC}, {0xE5, 0x32, 0xAC}, false},  // wrong echo
        {{0xE4, 0x00, 0xAC}, {0xE4, 0x32, 0x00}, false},  // two bytes, third missing
        {{0xE4, 0x00, 0xAC}, {0xE4, 0x00, 0x00}, false},  // one byte
        {{0xE4, 0x00, 0xAC}, {0x00, 0x00, 0x00}, false},  // nothing
        {{0xC2, 0x1B, 0xAC}, {0xC2, 0x77, 0xAC}, true},   // write: data not checked
        {{0xCF, 0xB4, 0xAC}, {0xCF, 0xB4, 0xAC}, true},
        {{0xD2, 0x00, 0xAC}, {0xD2, 0x30, 0xAC}, true},
        {{0xD7, 0x00, 0xAC}, {0xD6, 0x30, 0xAC}, false},
        {{0xA5, 0x00, 0xAC}, {0x5A, 0x13, 0xAC}, true},   // link check
        {{0xA5, 0x00, 0xAC}, {0xA5, 0x00, 0xAC}, false},
        {{0xA5, 0x00, 0xAC}, {0x5A, 0x00, 0xAB}, false},
        {{0x63, 0xB4, 0xAC}, {0x63, 0xB4, 0xAC}, true},   // store
        {{0x63, 0xB4, 0xAC}, {0x63, 0xB5, 0xAC}, false},
        {{0x63, 0xB4, 0xAC}, {0x63, 0xB4, 0xAB}, false},
        {{0x63, 0x00, 0xAC}, {0x63, 0x00, 0xAC}, false},  // 0x63 is only the store
        {{0xB1, 0x00, 0xAC}, {0xB1, 0x00, 0xAC}, false},  // no such command class
        {{0xF0, 0x00, 0xAC}, {0xF0, 0x00, 0xAC}, false},
        {{0x5A, 0x00, 0xAC}, {0x5A, 0x00, 0xAC}, false},
    };
    for (const sCase& c : cases) {
        EXPECT_EQ(IsValidReply(c.Command.data(), c.Reply.data()), c.Valid)
            << std::hex << int(c.Command[0]) << " " << int(c.Command[1]) << " -> " << int(c.Reply[0]) << " "
            << int(c.Reply[1]) << " " << int(c.Reply[2]);
    }
}

TEST(Frames, ExchangeSendsTheFrameAndJudgesTheReply) {
    struct sCase {
        const char* Name;
        uint8_t Code, Data;
        std::vector<uint8_t> Reply;
        bool Ok;
        uint8_t ReplyData;
        const char* Raised;
    } cases[] = {
        {"read parameter 4", 0xE4, 0x00, {0xE4, 0x32, 0xAC}, true, 0x32, ""},
        {"write parameter 2", 0xC2, 0x1B, {0xC2, 0x77, 0xAC}, true, 0x77, ""},
        {"link check", 0xA5, 0x00, {0x5A, 0x01, 0xAC}, true, 0x01, ""},
        {"store", 0x63, 0xB4, {0x63, 0xB4, 0xAC}, true, 0xB4, ""},
        {"store refused", 0x63, 0xB4, {0x63, 0xB5, 0xAC}, false, 0, "BadReply"},
        {"bad trailer", 0xE4, 0x00, {0xE4, 0x32, 0xAB}, false, 0, "BadReply"},
        {"wrong echo", 0xE4, 0x00, {0xE5, 0x32, 0xAC}, false, 0, "BadReply"},
        {"two bytes", 0xE4, 0x00, {0xE4, 0x32}, false, 0, "BadReply"},
        {"one byte", 0xE4, 0x00, {0xE4}, false, 0, "BadReply"},
        {"silence", 0xE4, 0x00, {}, false, 0, "NoReply"},
    };
    for (const sCase& c : cases) {
        SCOPED_TRACE(c.Name);
        cScriptedEcu ecu;
        ecu.AnswerWith(c.Reply);
        cRecordingSink sink;
        uint8_t reply = 0xEE;
        auto start = tClock::now();
        bool ok = Exchange(ecu.Port, 48, sink, c.Code, c.Data, reply);
        long long ms = MsBetween(start, tClock::now());
        EXPECT_EQ(ok, c.Ok);
        if (c.Ok) {
            EXPECT_EQ(reply, c.ReplyData);
        }
        EXPECT_EQ(sink.Raised(), c.Raised);
        EXPECT_EQ(ecu.Received(), (std::vector<uint8_t>{c.Code, c.Data, 0xAC}));
        // A complete reply does not wait out the read limits; silence waits
        // one read limit (about 101 ms) after the frame.
        if (c.Reply.size() == 3) {
            EXPECT_LT(ms, 100 + 30 + 200);
        }
        if (c.Reply.empty()) {
            EXPECT_GE(ms, 30 + 80);
        }
    }
}

TEST(Frames, ReceiveReplyStopsAfterThreeBytes) {
    cScriptedEcu ecu;
    ecu.Peer.Write({0xE4, 0x32, 0xAC, 0x99});
    uint8_t reply[3] = {};
    EXPECT_EQ(ReceiveReply(ecu.Port, reply), 3);
    EXPECT_EQ(reply[2], 0xAC);
    uint8_t extra;
    ASSERT_TRUE(ecu.Port.ReadByte(extra));
    EXPECT_EQ(extra, 0x99);
}

TEST(Frames, PacingPausesBeforeEveryByte) {
    struct sCase {
        int Version;
        long long PauseMs;
    } cases[] = {{0, 50}, {31, 50}, {32, 10}, {48, 10}};
    const int frames = 4;
    for (const sCase& c : cases) {
        SCOPED_TRACE(c.Version);
        cScriptedEcu ecu;
        // Per byte position, the largest gap seen over several frames, and
        // the shortest whole frame: the far side's late wake-ups on a busy
        // machine only shrink single gaps now and then.
        long long widestGap[3] = {0, 0, 0};
        long long quickestFrame = 1 << 30;
        for (int f = 0; f < frames; ++f) {
            ecu.AnswerWith({0xD2, 0x30, 0xAC});
            cRecordingSink sink;
            uint8_t reply;
            auto start = tClock::now();
            EXPECT_TRUE(Exchange(ecu.Port, c.Version, sink, 0xD2, 0x00, reply));
            ecu.Join();
            ASSERT_EQ(ecu.Got.size(), 3u);
            // Byte k cannot arrive before k + 1 pauses have passed.
            for (int k = 0; k < 3; ++k) EXPECT_GE(MsBetween(start, ecu.Got[k].Time), (k + 1) * c.PauseMs);
            auto previous = start;
            for (int k = 0; k < 3; ++k) {
                widestGap[k] = std::max(widestGap[k], MsBetween(previous, ecu.Got[k].Time));
                previous = ecu.Got[k].Time;
            }
            quickestFrame = std::min(quickestFrame, MsBetween(start, ecu.Got[2].Time));
        }
        // The pause comes before every byte, not bunched before the first.
        for (long long gap : widestGap) EXPECT_GE(gap, c.PauseMs - 2);
        // The short pause is really used from version 32 on (generous band).
        if (c.PauseMs == 10) {
            EXPECT_LT(quickestFrame, 120);
        }
    }
}

TEST(Frames, StopEndsThePauseAndTheExchangeWithSendError) {
    // Already set: nothing goes out.
    {
        cScriptedEcu ecu;
        ecu.Port.SignalStop();
        cRecordingSink sink;
        uint8_t reply;
        auto start = tClock::now();
        EXPECT_FALSE(Exchange(ecu.Port, 0, sink, 0xE4, 0x00, reply));
        EXPECT_LT(MsBetween(start, tClock::now()), 45);
        EXPECT_EQ(sink.Raised(), "SendError");
        EXPECT_TRUE(cPtyPeer::Values(ecu.Peer.ReadUpTo(3, 100ms)).empty());
    }
    // Set from another thread during the first pause.
    {
        cScriptedEcu ecu;
        std::thread stopper([&] {
            std::this_thread::sleep_for(20ms);
            ecu.Port.SignalStop();
        });
        const uint8_t frame[3] = {0xE4, 0x00, 0xAC};
        auto start = tClock::now();
        EXPECT_FALSE(SendFrame(ecu.Port, frame, 31));
        EXPECT_LT(MsBetween(start, tClock::now()), 140);
        stopper.join();
        EXPECT_TRUE(ecu.Peer.ReadUpTo(3, 100ms).empty());
    }
}

// A stop that comes once the first byte is out: the frame is finished, with
// its pauses, so the ECU never keeps half a frame that would swallow the
// next handshake; the stop waits for it no longer than about 0.3 s.
TEST(Frames, AStopAfterTheFirstByteFinishesTheFrame) {
    cScriptedEcu ecu;
    std::vector<cPtyPeer::sByte> got;
    tClock::time_point stopped;
    std::thread reader([&] {
        got = ecu.Peer.ReadUpTo(1, 2000ms);
        stopped = tClock::now();
        ecu.Port.SignalStop();  // the first byte has gone out
        for (const auto& b : ecu.Peer.ReadUpTo(2, 1000ms)) got.push_back(b);
    });
    const uint8_t frame[3] = {0xE4, 0x00, 0xAC};
    EXPECT_TRUE(SendFrame(ecu.Port, frame, 31));
    EXPECT_LT(MsBetween(stopped, tClock::now()), 300);
    reader.join();
    ASSERT_EQ(cPtyPeer::Values(got), (std::vector<uint8_t>{0xE4, 0x00, 0xAC}));
    for (size_t i = 1; i < got.size(); ++i) EXPECT_GE(MsBetween(got[i - 1].Time, got[i].Time), 48);
}

TEST(Frames, APortErrorLeavesTheExchangeWithoutANotification) {
    // Not open: the not-open error.
    {
        cComPort port;
        cRecordingSink sink;
        uint8_t reply;
        try {
            Exchange(port, 48, sink, 0xE4, 0x00, reply);
            ADD_FAILURE() << "no sError";
        } catch (const sError& e) {
            EXPECT_EQ(e.File, "ComPort");
            EXPECT_EQ(e.Code, -1);
        }
        EXPECT_EQ(sink.Raised(), "");
    }
    // The line drops after the frame went out.
    {
        cScriptedEcu ecu;
        ecu.AnswerWith({}, true);
        cRecordingSink sink;
        uint8_t reply;
        try {
            Exchange(ecu.Port, 48, sink, 0xE4, 0x00, reply);
            ADD_FAILURE() << "no sError";
        } catch (const sError& e) {
            EXPECT_EQ(e.File, "ComPort");
            EXPECT_EQ(e.Code, EIO);
        }
        EXPECT_EQ(sink.Raised(), "");
        EXPECT_TRUE(ecu.Port.HasFailed());
    }
}
