#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <deque>
#include <string>
#include <thread>
#include <vector>

#include "serial/BytePort.h"
#include "serial/ComPort.h"

#include "link/Frames.h"

#include "tests/serial/PtyPeer.h"

using namespace std::chrono_literals;
using tClock = std::chrono::steady_clock;

namespace {

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

// A line in memory with a clock of its own: every wait passes its whole
// limit at once (unless an event is set), a byte written is stamped with the
// clock, and the reply is whatever the test queued. The frame rules are
// judged on this clock, so a busy machine cannot make them late.
class cScriptedPort : public cBytePort {
public:
    struct sSent {
        uint8_t Value;
        long long AtMs;
        bool Finished;  // written with FinishByte (a stop cannot cut it)
    };

    std::deque<uint8_t> Reply;  // bytes the far end has sent
    std::vector<sSent> Sent;
    long long NowMs = 0;
    int ReadLimitMs = 100;
    int StopAtWait = -1;       // sets the stop event in this wait (0 = first)
    int StopAfterWrites = -1;  // sets it once this many bytes are out

    void SetNameSink(std::function<void(const std::string&)>) override {}
    void Open(const std::string&) override {}
    void Close() override {}
    std::string GetPortName() const override { return "scripted"; }
    void SetBaudRate(int) override {}
    void SetAbortOnError(bool) override {}
    void SetTimeouts(int readLimitMs, int) override { ReadLimitMs = readLimitMs; }
    void SetQueueSizes(int, int) override {}
    void ClearAndPurgeRx() override { Reply.clear(); }
    void ClearAndPurgeTx() override {}
    bool ReadByte(uint8_t& byte) override {
        if (Stop.IsSet()) return false;
        if (Reply.empty()) {
            NowMs += ReadLimitMs + 1;
            return false;
        }
        byte = Reply.front();
        Reply.pop_front();
        return true;
    }
    bool WriteByte(uint8_t byte) override { return Put(byte, false); }
    bool FinishByte(uint8_t byte) override { return Put(byte, true); }
    void SignalStop() override { Stop.Set(); }
    cEvent& GetStopEvent() override { return Stop; }
    int WaitAny(std::initializer_list<cEvent*> events, std::chrono::milliseconds limit) override {
        if (Waits++ == StopAtWait) Stop.Set();
        int i = 0;
        for (cEvent* e : events) {
            if (e->IsSet()) return i;
            ++i;
        }
        NowMs += limit.count();
        return -1;
    }

    std::vector<uint8_t> Values() const {
        std::vector<uint8_t> out;
        for (const sSent& s : Sent) out.push_back(s.Value);
        return out;
    }

private:
    bool Put(uint8_t byte, bool finished) {
        // WriteByte refuses once stopped; FinishByte goes out all the same.
        if (!finished && Stop.IsSet()) return false;
        Sent.push_back({byte, NowMs, finished});
        if (int(Sent.size()) == StopAfterWrites) Stop.Set();
        return true;
    }
    cEvent Stop;
    int Waits = 0;
};

}  // namespace

TEST(Frames, ValidityRuleOverEveryKindOfReply) {
    struct sCase {
        std::vector<uint8_t> Command, Reply;
        bool Valid;
    } cases[] = {
        {{0xE4, 0x00, 0xAC}, {0xE4, 0x32, 0xAC}, true},  {{0xE4, 0x00, 0xAC}, {0xE4, 0x32, 0xAB}, false},  // trailer
        {{0xE4, 0x00, 0xAC}, {0xE5, 0x32, 0xAC}, false},                                                   // wrong echo
        {{0xE4, 0x00, 0xAC}, {0xE4, 0x32, 0x00}, false},  // two bytes, third missing
        {{0xE4, 0x00, 0xAC}, {0xE4, 0x00, 0x00}, false},  // one byte
        {{0xE4, 0x00, 0xAC}, {0x00, 0x00, 0x00}, false},  // nothing
        {{0xC2, 0x1B, 0xAC}, {0xC2, 0x77, 0xAC}, true},   // write: data not checked
        {{0xCF, 0xB4, 0xAC}, {0xCF, 0xB4, 0xAC}, true},  {{0xD2, 0x00, 0xAC}, {0xD2, 0x30, 0xAC}, true},
        {{0xD7, 0x00, 0xAC}, {0xD6, 0x30, 0xAC}, false}, {{0xA5, 0x00, 0xAC}, {0x5A, 0x13, 0xAC}, true},  // link check
        {{0xA5, 0x00, 0xAC}, {0xA5, 0x00, 0xAC}, false}, {{0xA5, 0x00, 0xAC}, {0x5A, 0x00, 0xAB}, false},
        {{0x63, 0xB4, 0xAC}, {0x63, 0xB4, 0xAC}, true},  // store
        {{0x63, 0xB4, 0xAC}, {0x63, 0xB5, 0xAC}, false}, {{0x63, 0xB4, 0xAC}, {0x63, 0xB4, 0xAB}, false},
        {{0x63, 0x00, 0xAC}, {0x63, 0x00, 0xAC}, false},  // 0x63 is only the store
        {{0xB1, 0x00, 0xAC}, {0xB1, 0x00, 0xAC}, false},  // no such command class
        {{0xF0, 0x00, 0xAC}, {0xF0, 0x00, 0xAC}, false}, {{0x5A, 0x00, 0xAC}, {0x5A, 0x00, 0xAC}, false},
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
        cScriptedPort port;
        port.Reply.assign(c.Reply.begin(), c.Reply.end());
        cRecordingSink sink;
        uint8_t reply = 0xEE;
        bool ok = Exchange(port, 48, sink, c.Code, c.Data, reply);
        EXPECT_EQ(ok, c.Ok);
        if (c.Ok) {
            EXPECT_EQ(reply, c.ReplyData);
        }
        EXPECT_EQ(sink.Raised(), c.Raised);
        EXPECT_EQ(port.Values(), (std::vector<uint8_t>{c.Code, c.Data, 0xAC}));
        // Three pauses of 10 ms go before the bytes; a complete reply does
        // not wait out the read limit, a short one waits it once after its
        // last byte, silence once after the frame.
        const long long frameMs = 3 * 10;
        EXPECT_EQ(port.NowMs, c.Reply.size() == 3 ? frameMs : frameMs + port.ReadLimitMs + 1);
    }
}

TEST(Frames, ReceiveReplyStopsAfterThreeBytes) {
    cScriptedPort port;
    port.Reply = {0xE4, 0x32, 0xAC, 0x99};
    uint8_t reply[3] = {};
    EXPECT_EQ(ReceiveReply(port, reply), 3);
    EXPECT_EQ(reply[2], 0xAC);
    EXPECT_EQ(port.Reply, (std::deque<uint8_t>{0x99}));
    EXPECT_EQ(port.NowMs, 0);
}

TEST(Frames, PacingPausesBeforeEveryByte) {
    struct sCase {
        int Version;
        long long PauseMs;
    } cases[] = {{0, 50}, {31, 50}, {32, 10}, {48, 10}};
    for (const sCase& c : cases) {
        SCOPED_TRACE(c.Version);
        cScriptedPort port;
        port.Reply = {0xD2, 0x30, 0xAC};
        cRecordingSink sink;
        uint8_t reply;
        EXPECT_TRUE(Exchange(port, c.Version, sink, 0xD2, 0x00, reply));
        ASSERT_EQ(port.Sent.size(), 3u);
        // One whole pause before every byte, the first included, and no more.
        for (size_t k = 0; k < 3; ++k) EXPECT_EQ(port.Sent[k].AtMs, (long long)(k + 1) * c.PauseMs) << k;
    }
}

TEST(Frames, StopEndsThePauseAndTheExchangeWithSendError) {
    // Already set: nothing goes out.
    {
        cScriptedPort port;
        port.SignalStop();
        cRecordingSink sink;
        uint8_t reply;
        EXPECT_FALSE(Exchange(port, 0, sink, 0xE4, 0x00, reply));
        EXPECT_EQ(port.NowMs, 0);
        EXPECT_EQ(sink.Raised(), "SendError");
        EXPECT_TRUE(port.Sent.empty());
    }
    // Set during the first pause: it ends there.
    {
        cScriptedPort port;
        port.StopAtWait = 0;
        const uint8_t frame[3] = {0xE4, 0x00, 0xAC};
        EXPECT_FALSE(SendFrame(port, frame, 31));
        EXPECT_EQ(port.NowMs, 0);
        EXPECT_TRUE(port.Sent.empty());
    }
}

// A stop that comes once the first byte is out: the frame is finished, with
// its pauses, so the ECU never keeps half a frame that would swallow the
// next handshake.
TEST(Frames, AStopAfterTheFirstByteFinishesTheFrame) {
    struct sCase {
        int StopAfterWrites;
    } cases[] = {{1}, {2}};
    for (const sCase& c : cases) {
        SCOPED_TRACE(c.StopAfterWrites);
        cScriptedPort port;
        port.StopAfterWrites = c.StopAfterWrites;
        const uint8_t frame[3] = {0xE4, 0x00, 0xAC};
        EXPECT_TRUE(SendFrame(port, frame, 31));
        ASSERT_EQ(port.Values(), (std::vector<uint8_t>{0xE4, 0x00, 0xAC}));
        for (size_t i = 1; i < 3; ++i) {
            EXPECT_EQ(port.Sent[i].AtMs - port.Sent[i - 1].AtMs, 50) << i;
            EXPECT_TRUE(port.Sent[i].Finished) << i;
        }
    }
}

TEST(Frames, APortErrorLeavesTheExchangeWithoutANotification) {
    // Not open: the not-open error.
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

// The same rules over a real line (a pseudo-terminal whose far end answers
// from a thread of its own). The read limit is long, so the far end's thread
// may be scheduled late on a busy machine; only a lost byte would fail.
namespace {

struct cPtyEcu {
    cPtyPeer Peer;
    cComPort Port;
    std::thread Thread;
    std::vector<cPtyPeer::sByte> Got;

    cPtyEcu() {
        Port.Open(Peer.SlavePath());
        Port.SetBaudRate(1200);
        Port.SetTimeouts(5000, 5000);
        Port.SetQueueSizes(16, 0);
    }
    ~cPtyEcu() { Join(); }

    // Reads one frame (three bytes), then sends `reply` and, if `drop`,
    // closes the line.
    void AnswerWith(std::vector<uint8_t> reply, bool drop = false) {
        Thread = std::thread([this, reply, drop] {
            Got = Peer.ReadUpTo(3, 10000ms);
            if (!reply.empty()) Peer.Write(reply);
            if (drop) Peer.CloseMaster();
        });
    }
    void Join() {
        if (Thread.joinable()) Thread.join();
    }
};

}  // namespace

TEST(FramesOnALine, ExchangeAndPacing) {
    for (int version : {31, 48}) {
        SCOPED_TRACE(version);
        const long long pause = version >= 32 ? 10 : 50;
        cPtyEcu ecu;
        ecu.AnswerWith({0xE4, 0x32, 0xAC});
        cRecordingSink sink;
        uint8_t reply = 0;
        const auto start = tClock::now();
        EXPECT_TRUE(Exchange(ecu.Port, version, sink, 0xE4, 0x00, reply));
        EXPECT_EQ(reply, 0x32);
        EXPECT_EQ(sink.Raised(), "");
        ecu.Join();
        ASSERT_EQ(cPtyPeer::Values(ecu.Got), (std::vector<uint8_t>{0xE4, 0x00, 0xAC}));
        // Lower bounds only: a late reader sees bytes later, never earlier.
        for (size_t k = 0; k < 3; ++k) {
            const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(ecu.Got[k].Time - start).count();
            EXPECT_GE(ms, (long long)(k + 1) * pause) << k;
        }
    }
}

TEST(FramesOnALine, TheLineDroppingAfterTheFrameIsAPortError) {
    cPtyEcu ecu;
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
