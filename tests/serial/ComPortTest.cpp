#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <thread>

#include "serial/ComPort.h"
#include "serial/PortNames.h"

#include "tests/TestKit.h"
#include "tests/serial/PtyPeer.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using tClock = std::chrono::steady_clock;

namespace {

long long MsSince(tClock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(tClock::now() - start).count();
}

// Runs `fn` and returns the sError it raised; fails the test when it raised none.
sError ErrorOf(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const sError& e) {
        return e;
    }
    ADD_FAILURE() << "no sError raised";
    return sError("none", 0);
}

using testkit::cTempDir;

void Touch(const fs::path& p) { std::ofstream(p) << "x"; }

// A port on a fresh pseudo-terminal, set up the way the link sets it up.
struct cLine {
    cPtyPeer Peer;
    cComPort Port;
    cLine() {
        Port.Open(Peer.SlavePath());
        Port.SetBaudRate(1200);
        Port.SetTimeouts(100, 100);
        Port.SetQueueSizes(16, 0);
    }
};

// Runs `fn` in a child process under an unprivileged user (root passes
// permission checks and exclusive opens): its result, 126 or -1 when no such
// child could be made.
int RunUnprivileged(const std::function<int()>& fn) { return testkit::InChild(fn, true); }

}  // namespace

TEST(ComPort, OpeningAMissingNameRaisesNotFoundAndSetsTheFailedFlag) {
    cComPort port;
    std::vector<std::string> sunk;
    port.SetNameSink([&](const std::string& n) { sunk.push_back(n); });
    sError e = ErrorOf([&] { port.Open("/dev/ttyZV-missing-9"); });
    EXPECT_EQ(e.File, "ComPort");
    EXPECT_EQ(e.Code, ENOENT);
    EXPECT_EQ(e.Text, SystemErrorText(ENOENT));
    EXPECT_TRUE(port.HasFailed());
    EXPECT_FALSE(port.IsOpen());
    // The settings remember the port tried, even though it failed.
    EXPECT_EQ(sunk, std::vector<std::string>{"/dev/ttyZV-missing-9"});
}

TEST(ComPort, AnythingButATerminalIsRefusedWithAClearError) {
    cTempDir dir;
    Touch(dir.Path / "plain");
    ASSERT_EQ(mkfifo((dir.Path / "fifo").c_str(), 0600), 0);
    struct sCase {
        std::string Name;
        std::set<int> Codes;
    } cases[] = {
        {dir.Path.string(), {EISDIR}},
        {"/dev/null", {ENOTTY}},
        {(dir.Path / "plain").string(), {ENOTTY}},
        {(dir.Path / "fifo").string(), {ENOTTY}},
    };
    std::set<std::string> lines;
    for (const sCase& c : cases) {
        SCOPED_TRACE(c.Name);
        cComPort port;
        // (An open that waited for a writer would hang here.)
        sError e = ErrorOf([&] { port.Open(c.Name); });
        EXPECT_EQ(e.File, "ComPort");
        EXPECT_TRUE(c.Codes.count(e.Code)) << e.Code;
        EXPECT_FALSE(e.Text.empty());
        EXPECT_TRUE(port.HasFailed());
        EXPECT_FALSE(port.IsOpen());
        lines.insert(e.Line);
    }
    // Refused by open, by the type check and by the terminal check: the
    // location tells the steps apart.
    EXPECT_GE(lines.size(), 2u);
}

TEST(ComPort, PermissionDeniedCarriesItsCodeAndText) {
    cTempDir dir;
    fs::path locked = dir.Path / "ttyLocked";
    Touch(locked);
    ASSERT_EQ(chmod(locked.c_str(), 0), 0);
    ASSERT_EQ(chmod(dir.Path.c_str(), 0755), 0);
    int rc = RunUnprivileged([&] {
        cComPort port;
        try {
            port.Open(locked.string());
        } catch (const sError& e) {
            if (e.Code != EACCES) return 1;
            if (e.Text != SystemErrorText(EACCES)) return 2;
            if (!port.HasFailed()) return 3;
            return 0;
        }
        return 4;
    });
    if (rc == 126 || rc == -1) GTEST_SKIP() << "no unprivileged user to test with";
    EXPECT_EQ(rc, 0);
}

TEST(ComPort, OpenIsExclusiveUntilClosed) {
    cPtyPeer peer;
    ASSERT_EQ(chmod(peer.SlavePath().c_str(), 0666), 0);
    auto tryOpen = [&] {
        cComPort other;
        try {
            other.Open(peer.SlavePath());
        } catch (const sError& e) {
            return e.Code == EBUSY ? 10 : 11;
        }
        return 0;
    };
    cComPort port;
    port.Open(peer.SlavePath());
    int whileOpen = RunUnprivileged(tryOpen);
    if (whileOpen == 126 || whileOpen == -1) GTEST_SKIP() << "no unprivileged user to test with";
    EXPECT_EQ(whileOpen, 10);
    port.Close();
    EXPECT_EQ(RunUnprivileged(tryOpen), 0);
}

// A second port on a device in use, even one opened by root (whom the
// terminal's exclusive mode lets through): refused as busy before it sends,
// flushes or changes anything, and the first port goes on working.
TEST(ComPort, ASecondOpenOfADeviceInUseIsBusyAndLeavesTheLineAlone) {
    cLine line;
    termios before{};
    ASSERT_EQ(tcgetattr(line.Peer.MasterFd(), &before), 0);
    line.Peer.Write({0x42});  // waiting to be read by the first port
    cComPort second;
    sError e = ErrorOf([&] { second.Open(line.Peer.SlavePath()); });
    EXPECT_EQ(e.Code, EBUSY);
    EXPECT_EQ(second.LastOpenError(), EBUSY);
    EXPECT_FALSE(second.IsOpen());
    second.Close();
    termios after{};
    ASSERT_EQ(tcgetattr(line.Peer.MasterFd(), &after), 0);
    EXPECT_EQ(cfgetospeed(&after), cfgetospeed(&before));
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    uint8_t b = 0;
    ASSERT_TRUE(line.Port.ReadByte(b));  // not flushed by the second open
    EXPECT_EQ(b, 0x42);
    EXPECT_TRUE(line.Port.WriteByte(0x17));
    cPtyPeer::sByte got{};
    ASSERT_TRUE(line.Peer.Read(got, 1000ms));
    EXPECT_EQ(got.Value, 0x17);
    EXPECT_TRUE(line.Peer.ReadUpTo(1, 100ms).empty());  // nothing from the second port
    // Free again once the first port is closed.
    line.Port.Close();
    EXPECT_NO_THROW(second.Open(line.Peer.SlavePath()));
}

// Closing right after a frame (a program that ends) lets the frame go out
// whole, and opening the device again and purging it before writing does
// not throw away what the program before had sent and the far end not yet
// read.
TEST(ComPort, CloseAndOpenLeaveTheBytesWrittenOnTheirWay) {
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        cLine line;
        for (uint8_t b : {0xD1, 0x00, 0xAC}) ASSERT_TRUE(line.Port.WriteByte(b));
        line.Port.Close();
        // The next program opens the line and sets it up as the link does.
        line.Port.Open(line.Peer.SlavePath());
        line.Port.ClearAndPurgeRx();
        line.Port.ClearAndPurgeTx();
        line.Port.SetBaudRate(1200);
        EXPECT_EQ(cPtyPeer::Values(line.Peer.ReadUpTo(3, 1000ms)), (std::vector<uint8_t>{0xD1, 0x00, 0xAC}));
    }
}

TEST(ComPort, ReadingWithNothingAnsweringReturnsFalseAfterTheTimeLimit) {
    cLine line;
    uint8_t b = 0;
    auto start = tClock::now();
    EXPECT_FALSE(line.Port.ReadByte(b));
    long long ms = MsSince(start);
    EXPECT_GE(ms, 80);
    EXPECT_LE(ms, 3000);  // bounded; late wake-ups on a busy machine only add
    EXPECT_FALSE(line.Port.HasFailed());
    EXPECT_TRUE(line.Port.IsOpen());
}

TEST(ComPort, EveryByteValuePassesUnchangedBothWays) {
    // Raw 8-bit line: no CR/NL translation, no XON/XOFF, no signal keys, no
    // echo; with abort-on-error on, a data byte 0xFF is not taken for a mark.
    std::vector<uint8_t> all;
    for (int i = 0; i < 256; ++i) all.push_back(static_cast<uint8_t>(i));
    all.insert(all.end(), {0xFF, 0x00, 0x55, 0xFF, 0xFF, 0x00, 0x00});
    for (bool abortOnError : {false, true}) {
        SCOPED_TRACE(abortOnError);
        cLine line;
        line.Port.SetAbortOnError(abortOnError);

        line.Peer.Write(all);
        std::vector<uint8_t> got;
        uint8_t b;
        while (got.size() < all.size() && line.Port.ReadByte(b)) got.push_back(b);
        EXPECT_EQ(got, all);

        for (uint8_t v : all) ASSERT_TRUE(line.Port.WriteByte(v));
        EXPECT_EQ(cPtyPeer::Values(line.Peer.ReadUpTo(all.size() + 1, 200ms)), all);
    }
}

TEST(ComPort, PurgeDiscardsWaitingInput) {
    cLine line;
    // One write reaches the port's side of the line in one piece: once its
    // first byte is read, the other two wait there.
    line.Peer.Write({1, 2, 3});
    uint8_t b;
    ASSERT_TRUE(line.Port.ReadByte(b));
    EXPECT_EQ(b, 1);
    line.Port.ClearAndPurgeRx();
    line.Port.ClearAndPurgeTx();
    EXPECT_FALSE(line.Port.ReadByte(b)) << "byte " << int(b) << " was not purged";
    line.Peer.Write({4});
    ASSERT_TRUE(line.Port.ReadByte(b));
    EXPECT_EQ(b, 4);
}

TEST(ComPort, AWriteWithNoRoomTimesOutWithFalseAndStopEndsItEarly) {
    cLine line;
    // Nobody reads the master side: the line's buffers fill up.
    int written = 0;
    tClock::time_point lastStart;
    bool refused = false;
    while (written < (1 << 21)) {
        lastStart = tClock::now();
        if (!line.Port.WriteByte(0x55)) {
            refused = true;
            break;
        }
        ++written;
    }
    ASSERT_TRUE(refused);
    long long ms = MsSince(lastStart);
    EXPECT_GE(ms, 80);
    EXPECT_LE(ms, 1000);
    EXPECT_FALSE(line.Port.HasFailed());

    line.Port.SetTimeouts(100, 20000);
    std::thread stopper([&] {
        std::this_thread::sleep_for(100ms);
        line.Port.SignalStop();
    });
    auto start = tClock::now();
    EXPECT_FALSE(line.Port.WriteByte(0x55));
    EXPECT_LT(MsSince(start), 3000);
    stopper.join();
}

TEST(ComPort, CloseWhenNotOpenDoesNothingAndClosedPortRaisesNotOpen) {
    cComPort port;
    port.Close();
    port.Close();
    EXPECT_EQ(port.GetPortName(), "");

    cPtyPeer peer;
    port.Open(peer.SlavePath());
    EXPECT_EQ(port.GetPortName(), peer.SlavePath());
    port.Close();
    port.Close();
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.GetPortName(), "");

    // Make the failed flag set, to see that not-open errors leave it alone.
    EXPECT_THROW(port.Open("/dev/ttyZV-missing-9"), sError);
    ASSERT_TRUE(port.HasFailed());
    uint8_t b;
    const std::function<void()> ops[] = {
        [&] { port.ReadByte(b); },           [&] { port.WriteByte(0); },         [&] { port.SetBaudRate(1200); },
        [&] { port.SetTimeouts(100, 100); }, [&] { port.SetQueueSizes(16, 0); }, [&] { port.SetAbortOnError(true); },
    };
    for (const auto& op : ops) {
        sError e = ErrorOf(op);
        EXPECT_EQ(e.File, "ComPort");
        EXPECT_EQ(e.Code, -1);
        EXPECT_TRUE(e.Text.empty());
        EXPECT_TRUE(port.HasFailed());
    }
    port.ClearAndPurgeRx();  // no error when not open
    port.ClearAndPurgeTx();

    // A good open after a failed one starts with the flag clear.
    port.Open(peer.SlavePath());
    EXPECT_FALSE(port.HasFailed());
}

// Close gives the device back its own line settings: a terminal that was
// opened, set to 1200 baud raw with abort-on-error, and closed is as before.
TEST(ComPort, CloseRestoresTheLineSettingsTheDeviceHadBeforeOpen) {
    cPtyPeer peer;
    // Another user of the terminal keeps it (and its settings) alive.
    const int other = ::open(peer.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    termios before{};
    ASSERT_EQ(tcgetattr(other, &before), 0);
    before.c_lflag |= ICANON | ECHO | ISIG;
    before.c_iflag |= ICRNL | IXON;
    before.c_oflag |= OPOST;
    before.c_cc[VMIN] = 1;
    ASSERT_EQ(cfsetispeed(&before, B9600), 0);
    ASSERT_EQ(cfsetospeed(&before, B9600), 0);
    ASSERT_EQ(tcsetattr(other, TCSANOW, &before), 0);
    ASSERT_EQ(tcgetattr(other, &before), 0);

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        cComPort port;
        port.Open(peer.SlavePath());
        port.SetBaudRate(1200);
        port.SetAbortOnError(true);
        termios during{};
        ASSERT_EQ(tcgetattr(other, &during), 0);
        ASSERT_EQ(cfgetospeed(&during), speed_t(B1200));
        ASSERT_EQ(during.c_lflag & ICANON, 0u);
        if (round == 0) port.Close();  // round 1: the destructor closes it
    }
    termios after{};
    ASSERT_EQ(tcgetattr(other, &after), 0);
    EXPECT_EQ(cfgetospeed(&after), speed_t(B9600));
    EXPECT_EQ(cfgetispeed(&after), speed_t(B9600));
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(after.c_oflag, before.c_oflag);
    EXPECT_EQ(after.c_cflag, before.c_cflag);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(after.c_cc[VMIN], before.c_cc[VMIN]);
    EXPECT_EQ(after.c_cc[VTIME], before.c_cc[VTIME]);
    ::close(other);
}

TEST(ComPort, SignalStopWakesABlockedReadAtOnceAndStaysSet) {
    cLine line;
    line.Port.SetTimeouts(20000, 100);
    std::thread stopper([&] {
        std::this_thread::sleep_for(100ms);
        line.Port.SignalStop();
    });
    uint8_t b;
    auto start = tClock::now();
    EXPECT_FALSE(line.Port.ReadByte(b));
    EXPECT_LT(MsSince(start), 3000);
    stopper.join();

    // While set, a read returns at once, even with a byte waiting.
    EXPECT_TRUE(line.Port.IsStopSignalled());
    EXPECT_TRUE(line.Port.GetStopEvent().IsSet());
    line.Peer.Write({0x42});
    start = tClock::now();
    EXPECT_FALSE(line.Port.ReadByte(b));
    EXPECT_LT(MsSince(start), 5000);  // not the read limit of 20 s

    // Once the owner resets it, reads work and wait their full time again
    // (a wake-up left over from the stop does not cut them short).
    line.Port.SignalStop();  // leaves an unread wake-up behind
    line.Port.GetStopEvent().Reset();
    line.Port.SetTimeouts(100, 100);
    ASSERT_TRUE(line.Port.ReadByte(b));
    EXPECT_EQ(b, 0x42);
    start = tClock::now();
    EXPECT_FALSE(line.Port.ReadByte(b));
    EXPECT_GE(MsSince(start), 80);
}

TEST(ComPort, StopEventLivesOnTheOwnersHub) {
    auto hub = std::make_shared<cWaitHub>();
    cComPort port(hub);
    cEvent other(hub);
    std::thread stopper([&] {
        std::this_thread::sleep_for(20ms);
        port.SignalStop();
    });
    EXPECT_EQ(cEvent::WaitAny({&other, &port.GetStopEvent()}, 5000ms), 1);
    stopper.join();
}

TEST(ComPort, PortNameReadFromAnotherThreadIsAlwaysWhole) {
    cPtyPeer a, b;
    cComPort port;
    std::atomic<bool> done{false};
    std::set<std::string> seen;
    std::thread reader([&] {
        while (!done) seen.insert(port.GetPortName());
    });
    for (int i = 0; i < 200; ++i) port.Open(i % 2 ? b.SlavePath() : a.SlavePath());
    port.Close();
    done = true;
    reader.join();
    for (const std::string& name : seen)
        EXPECT_TRUE(name.empty() || name == a.SlavePath() || name == b.SlavePath()) << name;
}

TEST(ComPort, ADroppedLineRaisesAnErrorAndSetsTheFailedFlag) {
    for (bool abortOnError : {false, true}) {
        SCOPED_TRACE(abortOnError);
        cLine line;
        line.Port.SetAbortOnError(abortOnError);
        line.Peer.Write({0x33});
        std::this_thread::sleep_for(20ms);
        line.Peer.CloseMaster();
        uint8_t b;
        sError e = ErrorOf([&] { line.Port.ReadByte(b); });
        EXPECT_EQ(e.File, "ComPort");
        EXPECT_EQ(e.Code, EIO);
        EXPECT_TRUE(line.Port.HasFailed());
        // The device stays open, failed, until closed.
        EXPECT_TRUE(line.Port.IsOpen());
        EXPECT_THROW(line.Port.WriteByte(0), sError);
        line.Port.Close();
        EXPECT_FALSE(line.Port.HasFailed());
    }
}

TEST(LineMarks, DecodesDataDoubledMarkersAndErrors) {
    struct sCase {
        std::vector<uint8_t> In;
        std::vector<int> Out;  // data byte, or -1 for a line error
        bool InMarkAtEnd;
    } cases[] = {
        {{0x41, 0x00, 0xAC}, {0x41, 0x00, 0xAC}, false},
        {{0xFF, 0xFF}, {0xFF}, false},                  // a real 0xFF
        {{0xFF, 0x00, 0x55, 0x41}, {-1, 0x41}, false},  // framing/parity error on 0x55
        {{0xFF, 0x00, 0x00}, {-1}, false},              // break
        {{0xFF, 0x41, 0x42}, {-1, 0x42}, false},        // no valid mark
        {{0x10, 0xFF}, {0x10}, true},
        {{0xFF, 0x00}, {}, true},
    };
    for (const sCase& c : cases) {
        cLineMarkDecoder d;
        std::vector<int> out;
        for (uint8_t in : c.In) {
            uint8_t data = 0;
            switch (d.Feed(in, data)) {
            case cLineMarkDecoder::eResult::Data: out.push_back(data); break;
            case cLineMarkDecoder::eResult::LineError: out.push_back(-1); break;
            case cLineMarkDecoder::eResult::NeedMore: break;
            }
        }
        EXPECT_EQ(out, c.Out);
        EXPECT_EQ(d.InMark(), c.InMarkAtEnd);
    }
}

TEST(EnumeratePorts, ListsRealPortsAndExtraNamesInOneSortedList) {
    cTempDir root;
    fs::path dev = root.Path / "dev", sys = root.Path / "sys";
    fs::create_directories(dev);
    for (const char* n : {"ttyUSB1", "ttyUSB0", "ttyACM0", "ttyS2", "ttyS10", "ttyS3", "ttyS", "ttyUSB", "ttyUSBx",
                          "tty0", "console", "ttyAMA0", "pts"})
        Touch(dev / n);
    for (const char* n : {"ttyS2", "ttyS10"}) fs::create_directories(sys / "class/tty" / n / "device");
    fs::create_directories(sys / "class/tty/ttyS3");  // a name without a device behind it
    std::string d = dev.string() + "/";

    testkit::cScopedEnv ports("ZVBASIC_PORTS", nullptr);
    std::vector<std::string> expected = {d + "ttyACM0", d + "ttyS2", d + "ttyS10", d + "ttyUSB0", d + "ttyUSB1"};
    EXPECT_EQ(cComPort::EnumeratePorts(dev.string(), sys.string()), expected);

    // Extra names go where they sort, each once.
    ports.Set((":/dev/pts/7::" + d + "ttyUSB0:/dev/pts/7:/dev/pts/12:" + d + "ttyRFC0:/dev/null:").c_str());
    expected = {"/dev/null", "/dev/pts/7", "/dev/pts/12", d + "ttyACM0", d + "ttyRFC0",
                d + "ttyS2", d + "ttyS10", d + "ttyUSB0", d + "ttyUSB1"};
    EXPECT_EQ(cComPort::EnumeratePorts(dev.string(), sys.string()), expected);
}

TEST(EnumeratePorts, NamesSortWithoutCaseAndNumbersByValue) {
    struct sCase {
        const char* A;
        const char* B;
        bool Less;
    };
    const sCase cases[] = {
        {"/dev/ttyS2", "/dev/ttyS10", true},
        {"/dev/ttyS10", "/dev/ttyS2", false},
        {"/dev/ttyUSB0", "/dev/ttyusb1", true},
        {"/dev/ttyusb1", "/dev/ttyUSB0", false},
        {"/dev/ttyACM9", "/dev/ttyS0", true},
        {"/dev/pts/7", "/dev/pts/12", true},
        {"/dev/null", "/dev/pts/1", true},
        {"/dev/ttyS", "/dev/ttyS0", true},
        {"/dev/ttyS1a", "/dev/ttyS1b", true},
        {"/dev/ttyS007", "/dev/ttyS8", true},
        {"/dev/ttyS2", "/dev/ttyS2", false},
        {"COM10", "COM9", false},
        {"/dev/serial/by-id/usb-A1-port0", "/dev/serial/by-id/usb-A1-port1", true},
        {"99999999999999999999", "100000000000000000000", true},
    };
    for (const sCase& c : cases) EXPECT_EQ(PortNames::Less(c.A, c.B), c.Less) << c.A << " < " << c.B;
    std::vector<std::string> names = {"b", "A", "a10", "a9", "A", "B"};
    PortNames::Sort(names);
    EXPECT_EQ(names, (std::vector<std::string>{"A", "a9", "a10", "B", "b"}));
}

TEST(EnumeratePorts, NoPortsGiveAnEmptyList) {
    const testkit::cScopedEnv ports("ZVBASIC_PORTS", nullptr);
    cTempDir root;
    fs::create_directories(root.Path / "dev");
    fs::create_directories(root.Path / "sys");
    EXPECT_TRUE(cComPort::EnumeratePorts((root.Path / "dev").string(), (root.Path / "sys").string()).empty());
    EXPECT_TRUE(cComPort::EnumeratePorts("", "").empty());
    EXPECT_TRUE(cComPort::EnumeratePorts((root.Path / "none").string(), "").empty());
    // The real machine's list has only names that exist.
    for (const std::string& p : cComPort::EnumeratePorts()) EXPECT_TRUE(fs::exists(p)) << p;
}
