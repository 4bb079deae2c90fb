// Drives the ECU simulator through its pseudo-terminal with plain termios
// code, the way the program's serial port does.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "tools/ecusim/EcuSimulator.h"

namespace {

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

// The program's end of the line: raw, 1200 baud.
class cLine {
public:
    explicit cLine(const std::string& path) {
        Fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
        if (Fd < 0) return;
        termios t{};
        tcgetattr(Fd, &t);
        cfmakeraw(&t);
        cfsetispeed(&t, B1200);
        cfsetospeed(&t, B1200);
        tcsetattr(Fd, TCSANOW, &t);
    }
    ~cLine() {
        if (Fd >= 0) ::close(Fd);
    }
    bool IsOpen() const { return Fd >= 0; }

    // Writes the bytes with `gap` before each one after the first.
    void Send(const Bytes& bytes, std::chrono::milliseconds gap = 0ms) {
        for (size_t i = 0; i < bytes.size(); ++i) {
            if (i && gap.count()) std::this_thread::sleep_for(gap);
            ASSERT_EQ(::write(Fd, &bytes[i], 1), 1);
        }
    }
    // Up to n bytes, waiting at most `limit` in all. The default limit only
    // ends a wait for bytes that do not come; a short one asks whether any
    // come at all.
    Bytes Receive(size_t n, std::chrono::milliseconds limit = 5000ms) {
        Bytes out;
        auto end = std::chrono::steady_clock::now() + limit;
        while (out.size() < n) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            pollfd p{Fd, POLLIN, 0};
            if (poll(&p, 1, int(left.count())) <= 0) break;
            if (!(p.revents & POLLIN)) {
                Hup = (p.revents & POLLHUP) != 0;
                break;
            }
            uint8_t buf[16];
            ssize_t got = ::read(Fd, buf, std::min(sizeof buf, n - out.size()));
            if (got <= 0) {
                Hup = true;
                break;
            }
            out.insert(out.end(), buf, buf + got);
        }
        return out;
    }
    Bytes Exchange(uint8_t code, uint8_t data = 0, std::chrono::milliseconds gap = 0ms) {
        Send({code, data, 0xAC}, gap);
        return Receive(3);
    }
    // True once the line reads as hung up (the other end is gone).
    bool HungUp() {
        pollfd p{Fd, POLLIN, 0};
        if (poll(&p, 1, 500) > 0 && (p.revents & POLLHUP)) return true;
        uint8_t b;
        return ::read(Fd, &b, 1) <= 0;
    }
    int Fd = -1;
    bool Hup = false;
};

sSimOptions Instant(int version) {
    sSimOptions o;
    o.Version = version;
    o.Instant = true;
    return o;
}

const Bytes kHandshakeReply{0xFF, 0x00, 0x00};

TEST(EcuSim, HandshakeAnsweredAndPortCanBeReopened) {
    cEcuSimulator sim(Instant(0x30));
    sim.Start();
    for (int round = 0; round < 2; ++round) {  // close and reopen: no EIO, still served
        cLine line(sim.DevicePath());
        ASSERT_TRUE(line.IsOpen());
        line.Send({0x00});
        EXPECT_EQ(line.Receive(3), kHandshakeReply);
        EXPECT_EQ(line.Exchange(0xD2), (Bytes{0xD2, 0x30, 0xAC}));
        EXPECT_EQ(line.Exchange(0xD4), (Bytes{0xD4, 0x25, 0xAC}));
        EXPECT_EQ(line.Exchange(0xA5), (Bytes{0x5A, 0x00, 0xAC}));
    }
    EXPECT_EQ(sim.Commands(), (Bytes{0x00, 0xD2, 0xD4, 0xA5, 0x00, 0xD2, 0xD4, 0xA5}));
}

// Read everything, write one value, store, by generation.
struct sGen {
    int Version;
    uint8_t P2;   // MinRPMCode as the ECU holds it
    uint8_t P9;   // RPMDiv (old) or CylCount (new)
    uint8_t P10;  // LPGLevType (old, above 22) or CoilCount (new)
    uint8_t P11;  // Reserved15 (new only)
    bool New;
};

class EcuSimGeneration : public ::testing::TestWithParam<sGen> {};

TEST_P(EcuSimGeneration, ReadWriteStoreRoundTrip) {
    const sGen g = GetParam();
    cEcuSimulator sim(Instant(g.Version));
    sim.Start();
    cLine line(sim.DevicePath());
    auto read = [&](int p) {
        Bytes r = line.Exchange(uint8_t(0xE0 + p));
        EXPECT_EQ(r.size(), 3u);
        EXPECT_EQ(r[0], 0xE0 + p);
        EXPECT_EQ(r[2], 0xAC);
        return r.size() == 3 ? r[1] : uint8_t(0xEE);
    };
    const Bytes expected{0,    101,   g.P2,  uint8_t(g.P2 == 54 ? 18 : 9), 50, 150, 100, 90, 80,
                         g.P9, g.P10, g.P11, uint8_t(g.New ? 1 : 0),       0,  0,   0};
    for (int p = 0; p < 16; ++p) EXPECT_EQ(read(p), expected[p]) << "parameter " << p;

    // Write: echoed, held in the working copy only until stored.
    EXPECT_EQ(line.Exchange(0xC4, 77), (Bytes{0xC4, 77, 0xAC}));
    EXPECT_EQ(read(4), 77);
    EXPECT_EQ(sim.Stored()[4], 50);
    EXPECT_EQ(line.Exchange(0x63, 0xB4), (Bytes{0x63, 0xB4, 0xAC}));
    EXPECT_EQ(sim.Stored()[4], 77);

    // Parameter 1 is kept with its direction bit as sent.
    EXPECT_EQ(line.Exchange(0xC1, 0x64), (Bytes{0xC1, 0x64, 0xAC}));
    EXPECT_EQ(read(1), 0x64);

    // Parameters the generation does not keep: echoed, not kept.
    EXPECT_EQ(line.Exchange(0xCB, 9), (Bytes{0xCB, 9, 0xAC}));
    EXPECT_EQ(read(11), g.P11);
    EXPECT_EQ(line.Exchange(0xCD, 9), (Bytes{0xCD, 9, 0xAC}));
    EXPECT_EQ(read(13), 0);

    // Factory settings: new protocol only, into both copies.
    EXPECT_EQ(line.Exchange(0xCF, 0xB4), (Bytes{0xCF, 0xB4, 0xAC}));
    if (g.New) {
        EXPECT_EQ(sim.Settings(), cEcuSimulator::FactorySettings(g.Version));
        EXPECT_EQ(sim.Stored(), cEcuSimulator::FactorySettings(g.Version));
        EXPECT_EQ(read(4), 50);
    } else {
        EXPECT_EQ(read(4), 77);
        EXPECT_EQ(sim.Stored()[4], 77);
    }
}

INSTANTIATE_TEST_SUITE_P(Versions, EcuSimGeneration,
                         ::testing::Values(sGen{22, 54, 1, 0, 0, false},  // doubled, no level sensor
                                           sGen{24, 54, 1, 1, 0, false},  // doubled, level sensor
                                           sGen{25, 27, 1, 1, 0, false},  // not doubled
                                           sGen{47, 27, 1, 1, 0, false},  // last old protocol
                                           sGen{48, 27, 4, 1, 1, true},   // new protocol
                                           sGen{57, 27, 4, 1, 1, true}),
                         [](const auto& info) { return "v" + std::to_string(info.param.Version); });

TEST(EcuSim, ConsoleCommandAndLevelFilterOnNewProtocolOnly) {
    for (int version : {47, 57}) {
        cEcuSimulator sim(Instant(version));
        sim.Start();
        cLine line(sim.DevicePath());
        line.Exchange(0xCF, 1);
        line.Exchange(0xCF, 1);
        line.Exchange(0xCF, 2);
        EXPECT_EQ(sim.ConsoleCommands(), version >= 48 ? 2 : 0) << version;
        EXPECT_EQ(sim.LevelFilterDisabled(), version >= 48) << version;
    }
}

TEST(EcuSim, LiveValuesFollowVersionEncodings) {
    struct sCase {
        int Version;
        int RpmLo, RpmHi;        // period code range of 800..5000 rpm
        int LambdaLo, LambdaHi;  // raw lambda swing
        uint8_t LevelAtStart;    // tank full: index 6
    };
    const sCase cases[] = {
        {24, 20, 134, 10, 45, 0x00}, {25, 10, 67, 10, 45, 0x00}, {51, 10, 67, 0, 51, 0x00}, {52, 10, 67, 0, 51, 6}};
    for (const auto& c : cases) {
        cEcuSimulator sim(Instant(c.Version));
        sim.Start();
        cLine line(sim.DevicePath());
        auto live = [&](uint8_t code) { return int(line.Exchange(code).at(1)); };
        EXPECT_EQ(live(0xD5), 3) << "petrol at start, version " << c.Version;
        int tps = live(0xD1), rpm = live(0xD3), valve = live(0xD6), lambda = live(0xD7);
        EXPECT_TRUE(tps >= 26 && tps <= 229) << tps;
        EXPECT_TRUE(rpm >= c.RpmLo && rpm <= c.RpmHi) << rpm << " version " << c.Version;
        EXPECT_TRUE(valve >= 50 && valve <= 150) << valve;
        EXPECT_TRUE(lambda >= c.LambdaLo && lambda <= c.LambdaHi) << lambda;
        EXPECT_EQ(live(0xD8), c.LevelAtStart) << "version " << c.Version;

        sim.SetLive(3, 27);
        sim.SetLive(8, 0xC0);
        EXPECT_EQ(live(0xD3), 27);
        EXPECT_EQ(live(0xD8), 0xC0);
        sim.SetLive(3, -1);
        rpm = live(0xD3);
        EXPECT_TRUE(rpm >= c.RpmLo && rpm <= c.RpmHi) << rpm;
    }
}

// Each fault's reply to E4 00 AC (empty: nothing comes), and whether the
// handshake is still answered.
TEST(EcuSim, FaultsSpoilRepliesAsNamed) {
    struct sCase {
        eSimFault Fault;
        Bytes Reply;
        bool Handshake;
    };
    const sCase cases[] = {
        {eSimFault::Silence, {}, false},
        {eSimFault::PartialReply, {0xE4, 0x32}, true},
        {eSimFault::BadTrailer, {0xE4, 0x32, 0xAB}, true},
        {eSimFault::WrongEcho, {0xE5, 0x32, 0xAC}, true},
        {eSimFault::RefuseStore, {0xE4, 0x32, 0xAC}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(SimFaultName(c.Fault));
        cEcuSimulator sim(Instant(0x30));
        sim.Start();
        cLine line(sim.DevicePath());
        sim.SetFault(c.Fault);
        line.Send({0xE4, 0x00, 0xAC});
        EXPECT_EQ(line.Receive(c.Reply.size()), c.Reply);
        EXPECT_TRUE(line.Receive(1, 150ms).empty());  // and nothing after it
        line.Send({0x00});
        EXPECT_EQ(line.Receive(3, c.Handshake ? 5000ms : 150ms), c.Handshake ? kHandshakeReply : Bytes{});
        sim.SetFault(eSimFault::None);
        EXPECT_EQ(line.Exchange(0xE4), (Bytes{0xE4, 0x32, 0xAC}));
    }
}

TEST(EcuSim, RefusedStoreKeepsStoredCopy) {
    cEcuSimulator sim(Instant(0x30));
    sim.Start();
    cLine line(sim.DevicePath());
    sim.SetFault(eSimFault::RefuseStore);
    line.Exchange(0xC4, 77);
    EXPECT_EQ(line.Exchange(0x63, 0xB4), (Bytes{0x63, 0xB5, 0xAC}));
    EXPECT_EQ(sim.Stored()[4], 50);
    EXPECT_EQ(sim.Settings()[4], 77);
}

TEST(EcuSim, GarbageIsNeverAValidReply) {
    cEcuSimulator sim(Instant(0x30));
    sim.Start();
    cLine line(sim.DevicePath());
    sim.SetFault(eSimFault::Garbage);
    for (int i = 0; i < 20; ++i) {
        Bytes r = line.Exchange(0xE4);
        ASSERT_EQ(r.size(), 3u);
        EXPECT_NE(r[2], 0xAC);
    }
}

TEST(EcuSim, SilenceAfterAnswersThatManyFramesThenNothing) {
    cEcuSimulator sim(Instant(0x30));
    sim.Start();
    cLine line(sim.DevicePath());
    line.Send({0x00});
    line.Receive(3);
    sim.SetFault(eSimFault::SilenceAfter, 2);
    line.Send({0x00});  // handshakes do not count
    EXPECT_EQ(line.Receive(3), kHandshakeReply);
    EXPECT_EQ(line.Exchange(0xC4, 60).size(), 3u);
    EXPECT_EQ(line.Exchange(0xD2).size(), 3u);
    line.Send({0xC4, 61, 0xAC});
    EXPECT_TRUE(line.Receive(3, 150ms).empty());
    EXPECT_EQ(sim.Settings()[4], 60) << "a silent ECU does not act on what it ignores";
    line.Send({0x00});
    EXPECT_TRUE(line.Receive(3, 150ms).empty());
}

TEST(EcuSim, LineDropHangsUpAndReopenServesOnANewDevice) {
    std::string link = ::testing::TempDir() + "ecusim-link-" + std::to_string(getpid());
    sSimOptions o = Instant(0x30);
    o.LinkPath = link;
    cEcuSimulator sim(o);
    sim.Start();
    std::string first = sim.DevicePath();
    char target[256] = {};
    ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(std::string(target), first);
    {
        cLine line(link);
        sim.SetFault(eSimFault::LineDrop, 1);
        EXPECT_EQ(line.Exchange(0xD2), (Bytes{0xD2, 0x30, 0xAC}));  // the N-th frame is answered
        EXPECT_TRUE(line.HungUp());
        EXPECT_TRUE(sim.LineDropped());
        // Reopen while the program still holds the old device: a new one.
        sim.Reopen();
    }
    EXPECT_FALSE(sim.LineDropped());
    EXPECT_NE(sim.DevicePath(), first);
    target[readlink(link.c_str(), target, sizeof target - 1)] = 0;
    EXPECT_EQ(std::string(target), sim.DevicePath());
    cLine line(link);
    EXPECT_EQ(line.Exchange(0xD2), (Bytes{0xD2, 0x30, 0xAC}));
    EXPECT_EQ(line.Exchange(0xD2), (Bytes{0xD2, 0x30, 0xAC})) << "the fault that fired is over";
    sim.Stop();
    EXPECT_NE(access(link.c_str(), F_OK), 0) << "the link goes with the simulator";
}

TEST(EcuSim, LineDropZeroDropsAtOnce) {
    cEcuSimulator sim(Instant(0x30));
    sim.Start();
    cLine line(sim.DevicePath());
    sim.SetFault(eSimFault::LineDrop, 0);
    EXPECT_TRUE(line.HungUp());
}

// Bytes sent too close together on a version-22 ECU (50 ms pause) or a
// version-48 ECU (10 ms pause) are flagged; properly paced ones are not.
// A frame whose bytes follow the simulator's reply sooner than the version's
// pauses allow is flagged; one paced at least that slowly never is. The
// simulator runs on the test's clock, which stands still while it reads a
// byte: each byte is judged at the moment the test sent it.
TEST(EcuSim, PacingViolationsAreFlagged) {
    struct sCase {
        int Version;
        int GapMs;  // before each byte
        double Tolerance;
        int Flagged;
    };
    const sCase cases[] = {{22, 0, 2, 1},  {22, 12, 2, 1}, {22, 52, 2, 0}, {48, 0, 2, 1},
                           {48, 12, 2, 0}, {22, 40, 2, 1}, {22, 40, 35, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE("version " + std::to_string(c.Version) + " gap " + std::to_string(c.GapMs) + " tolerance " +
                     std::to_string(c.Tolerance));
        std::atomic<double> now{0};
        sSimOptions o = Instant(c.Version);
        o.PacingToleranceMs = c.Tolerance;
        o.ClockMs = [&now] { return now.load(); };
        cEcuSimulator sim(o);
        sim.Start();
        cLine line(sim.DevicePath());
        line.Send({0x00});  // the handshake byte's pause is not checked
        ASSERT_EQ(line.Receive(3), kHandshakeReply);
        uint64_t read = 1;
        for (uint8_t b : {0xE4, 0x00, 0xAC}) {
            now = now.load() + c.GapMs;
            line.Send({b});
            ASSERT_TRUE(sim.WaitForBytes(++read, 5s));
        }
        ASSERT_EQ(line.Receive(3).size(), 3u);
        const auto log = sim.Log();
        ASSERT_GE(log.size(), 3u);
        ASSERT_FALSE(log[1].FromProgram);  // the handshake reply
        EXPECT_EQ(log[2].Bytes, (Bytes{0xE4, 0x00, 0xAC}));
        EXPECT_EQ(log[2].TimeMs, 3.0 * c.GapMs);
        EXPECT_EQ(sim.PacingViolations(), c.Flagged);
    }
}

// A serving thread that sees the bytes late (here: stalled by its log
// listener after each reply, as on a busy machine) finds properly paced bytes
// bunched together, yet does not flag them.
TEST(EcuSim, LateArrivalDoesNotLookLikeAPacingViolation) {
    cEcuSimulator sim(Instant(48));
    sim.SetLogListener([](const std::string& line) {
        if (line.find(" -> ") != std::string::npos) std::this_thread::sleep_for(35ms);
    });
    sim.Start();
    cLine line(sim.DevicePath());
    line.Send({0x00});
    ASSERT_EQ(line.Receive(3), kHandshakeReply);
    for (int i = 0; i < 3; ++i) {
        std::this_thread::sleep_for(10ms);
        ASSERT_EQ(line.Exchange(0xE4, 0, 10ms).size(), 3u);
    }
    sim.Stop();  // the last listener call is over
    EXPECT_EQ(sim.Log().size(), 8u);
    EXPECT_EQ(sim.PacingViolations(), 0);
}

TEST(EcuSim, FramingIgnoresStrayBytesAndResynchronises) {
    cEcuSimulator sim(Instant(0x30));
    sim.Start();
    cLine line(sim.DevicePath());
    line.Send({0x17});  // cannot start a frame
    EXPECT_EQ(line.Exchange(0xE4), (Bytes{0xE4, 0x32, 0xAC}));
    line.Send({0xE4, 0x00, 0xAB});  // wrong trailer: not answered
    EXPECT_TRUE(line.Receive(3, 150ms).empty());
    line.Send({0xE4, 0x00});  // a frame that stops half-way is dropped after a second
    // Waits for the drop itself: a fixed sleep would count from the write,
    // while the simulator counts from when it read the bytes.
    const auto dropped = [&] {
        for (const auto& e : sim.Log())
            if (e.Note == "incomplete frame dropped") return true;
        return false;
    };
    const auto sent = std::chrono::steady_clock::now();
    while (!dropped() && std::chrono::steady_clock::now() - sent < 10s) std::this_thread::sleep_for(20ms);
    EXPECT_GE(std::chrono::steady_clock::now() - sent, 1000ms);
    line.Send({0x00});
    EXPECT_EQ(line.Receive(3), kHandshakeReply);

    EXPECT_EQ(sim.Commands(), (Bytes{0xE4, 0x00}));
    std::vector<std::string> notes;
    for (const auto& e : sim.Log())
        if (!e.Note.empty()) notes.push_back(e.Note);
    EXPECT_EQ(notes,
              (std::vector<std::string>{"ignored byte", "wrong trailer, not answered", "incomplete frame dropped"}));
}

TEST(EcuSim, RepliesComeAtByteTimeUnlessInstant) {
    sSimOptions o;
    o.Version = 0x30;
    cEcuSimulator sim(o);
    sim.Start();
    cLine line(sim.DevicePath());
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(line.Exchange(0xD2), (Bytes{0xD2, 0x30, 0xAC}));
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_TRUE(ms >= 20 && ms <= 1000) << ms << " ms for three bytes at 1200 baud";
}

TEST(EcuSim, WaitForCommandsCountsFromTheCall) {
    cEcuSimulator sim(Instant(0x30));
    sim.Start();
    cLine line(sim.DevicePath());
    line.Exchange(0xD1);  // before the wait: not counted
    std::thread program([&] {
        std::this_thread::sleep_for(30ms);
        line.Exchange(0xD3);
        line.Exchange(0xD1);
        line.Exchange(0xD1);
    });
    EXPECT_TRUE(sim.WaitForCommands(0xD1, 2, 5000ms));
    program.join();
    EXPECT_FALSE(sim.WaitForCommands(0xD1, 1, 50ms));
    EXPECT_EQ(sim.Received().back(), (Bytes{0xD1, 0x00, 0xAC}));
}

TEST(EcuSim, LogFileHasOneLinePerFrame) {
    std::string path = ::testing::TempDir() + "ecusim-log-" + std::to_string(getpid()) + ".txt";
    sSimOptions o = Instant(0x16);
    o.LogPath = path;
    {
        cEcuSimulator sim(o);
        sim.Start();
        cLine line(sim.DevicePath());
        line.Exchange(0xE4);
        sim.ClearLog();
        EXPECT_TRUE(sim.Log().empty());
    }
    std::ifstream in(path);
    std::string rx, tx;
    std::getline(in, rx);
    std::getline(in, tx);
    EXPECT_TRUE(std::regex_match(rx, std::regex(R"( +\d+\.\d{3} <- E4 00 AC  PACING)"))) << rx;
    EXPECT_TRUE(std::regex_match(tx, std::regex(R"( +\d+\.\d{3} -> E4 32 AC)"))) << tx;
    EXPECT_EQ(rx.find('.'), 6u) << "time right-aligned in ten columns";
    std::remove(path.c_str());
}

TEST(EcuSim, FaultNamesParse) {
    struct sCase {
        const char* Text;
        bool Ok;
        eSimFault Fault;
        int N;
    };
    const sCase cases[] = {{"silence", true, eSimFault::Silence, 0},
                           {"silence-after:3", true, eSimFault::SilenceAfter, 3},
                           {"line-drop:0", true, eSimFault::LineDrop, 0},
                           {"refuse-store", true, eSimFault::RefuseStore, 0},
                           {"none", true, eSimFault::None, 0},
                           {"garbage:2", false, eSimFault::None, 0},
                           {"line-drop:x", false, eSimFault::None, 0},
                           {"line-drop:-1", false, eSimFault::None, 0},
                           {"noise", false, eSimFault::None, 0}};
    for (const auto& c : cases) {
        eSimFault f = eSimFault::None;
        int n = -7;
        EXPECT_EQ(ParseSimFault(c.Text, f, n), c.Ok) << c.Text;
        if (c.Ok) {
            EXPECT_EQ(f, c.Fault) << c.Text;
            EXPECT_EQ(n, c.N) << c.Text;
        }
    }
}

}  // namespace

// The program: device on the first line, commands on standard input.
namespace {

TEST(EcuSimProgram, PrintsDeviceTakesCommandsAndQuits) {
    const char* dir = std::getenv("ZV_BIN_DIR");
    if (!dir) GTEST_SKIP() << "ZV_BIN_DIR not set";
    std::string exe = std::string(dir) + "/zvbasic-ecusim";
    if (access(exe.c_str(), X_OK) != 0) GTEST_SKIP() << exe << " not built";

    int in[2], out[2];
    ASSERT_EQ(pipe(in), 0);
    ASSERT_EQ(pipe(out), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        close(in[1]);
        close(out[0]);
        execl(exe.c_str(), exe.c_str(), "--version", "0x16", "--instant", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    FILE* text = fdopen(out[0], "r");
    char buf[256] = {};
    ASSERT_NE(fgets(buf, sizeof buf, text), nullptr);
    std::cmatch m;
    ASSERT_TRUE(std::regex_search(buf, m, std::regex(R"(version 0x16 \(ZORVA Basic\).*device (/dev/pts/\d+))"))) << buf;
    cLine line(m[1].str());
    ASSERT_TRUE(line.IsOpen());
    line.Send({0x00});
    EXPECT_EQ(line.Receive(3), kHandshakeReply);

    auto command = [&](const std::string& c) { ASSERT_EQ(::write(in[1], c.data(), c.size()), ssize_t(c.size())); };
    command("live 5 2\nfault wrong-echo\n");
    // The commands take effect in order; the next frame shows both.
    bool seen = false;
    for (int i = 0; i < 50 && !seen; ++i) {
        Bytes r = line.Exchange(0xD5);
        seen = r == Bytes{0xD6, 0x02, 0xAC};
        if (!seen) std::this_thread::sleep_for(10ms);
    }
    EXPECT_TRUE(seen);
    command("quit\n");
    int status = -1;
    for (int i = 0; i < 200 && waitpid(pid, &status, WNOHANG) == 0; ++i) std::this_thread::sleep_for(10ms);
    if (!WIFEXITED(status)) kill(pid, SIGKILL), waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    fclose(text);
    close(in[1]);
}

}  // namespace

// Started with & from an interactive shell, the simulator is a background
// job on the shell's terminal: reading that terminal would stop it
// ("Stopped (tty input)"), so it must leave the terminal alone and go on
// answering.
namespace {

TEST(EcuSimProgram, KeepsAnsweringAsABackgroundJobOfAnInteractiveShell) {
    const char* dir = std::getenv("ZV_BIN_DIR");
    if (!dir) GTEST_SKIP() << "ZV_BIN_DIR not set";
    const std::string exe = std::string(dir) + "/zvbasic-ecusim";
    if (access(exe.c_str(), X_OK) != 0) GTEST_SKIP() << exe << " not built";

    // The shell's terminal.
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const std::string terminal = ptsname(master);
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    pid_t shell = fork();
    ASSERT_GE(shell, 0);
    if (shell == 0) {
        // A session with the terminal as its controlling terminal; this
        // process's group is the foreground one, as an interactive shell's.
        setsid();
        int tty = ::open(terminal.c_str(), O_RDWR);
        if (tty < 0 || ioctl(tty, TIOCSCTTY, 0) != 0) _exit(120);
        pid_t job = fork();
        if (job == 0) {
            setpgid(0, 0);  // "&": a job of its own, in the background
            dup2(tty, 0);
            dup2(out[1], 1);
            close(out[0]);
            close(out[1]);
            close(tty);
            execl(exe.c_str(), exe.c_str(), "--instant", static_cast<char*>(nullptr));
            _exit(127);
        }
        setpgid(job, job);
        const std::string line = "job " + std::to_string(job) + "\n";
        if (::write(out[1], line.data(), line.size()) < 0) _exit(121);
        close(out[1]);
        int status = 0;
        waitpid(job, &status, 0);
        _exit(0);
    }
    close(out[1]);
    FILE* text = fdopen(out[0], "r");
    char buf[256] = {};
    pid_t job = -1;
    std::string device;
    for (int i = 0; i < 2 && fgets(buf, sizeof buf, text); ++i) {
        std::cmatch m;
        if (std::regex_search(buf, m, std::regex(R"(^job (\d+))"))) job = pid_t(std::stol(m[1].str()));
        if (std::regex_search(buf, m, std::regex(R"(device (/dev/pts/\d+))"))) device = m[1].str();
    }
    ASSERT_GT(job, 0) << buf;
    ASSERT_FALSE(device.empty()) << buf;
    // Whatever the shell's user types meanwhile is the shell's.
    ASSERT_EQ(::write(master, "ls\n", 3), 3);
    // Not a wait for anything: the time a simulator that read the terminal
    // would need to be stopped by it, so that the handshake below tells.
    std::this_thread::sleep_for(200ms);
    {
        cLine line(device);
        ASSERT_TRUE(line.IsOpen());
        line.Send({0x00});
        EXPECT_EQ(line.Receive(3, 3000ms), kHandshakeReply);
    }
    kill(job, SIGKILL);  // whether it runs or was stopped
    int status = 0;
    waitpid(shell, &status, 0);
    fclose(text);
    close(master);
}

}  // namespace
