#include "tools/ecusim/EcuSimulator.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <random>
#include <stdexcept>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kByteTimeMs = 10.0 * 1000.0 / 1200.0;  // start + 8 data + stop bits
constexpr double kResyncMs = 1000.0;                    // a partial frame older than this is dropped
constexpr uint8_t kTrailer = 0xAC;
// A line drop waits until the other side has read what was sent (at least
// the grace time, at most the limit), checking every few milliseconds.
constexpr double kDropGraceMs = 20.0;
constexpr double kDropLimitMs = 500.0;
constexpr double kDropCheckMs = 5.0;

bool NewProtocol(int v) { return v >= 48; }
bool RpmDoubled(int v) { return v < 25; }
bool HasLevelSensor(int v) { return v > 22; }
bool LevelIndexDirect(int v) { return v > 51; }

bool StartsFrame(uint8_t b) {
    int hi = b >> 4;
    return hi == 0xC || hi == 0xD || hi == 0xE || b == 0x63 || b == 0xA5;
}

// Whether a write to parameter p changes a setting the ECU keeps.
bool Writable(int version, int p) {
    if (NewProtocol(version)) return p <= 10 || p == 12;  // 11 is read only
    if (p <= 9) return true;
    return p == 10 && HasLevelSensor(version);
}

void SetErrnoText(std::string& out, const char* what) { out = std::string(what) + ": " + std::strerror(errno); }

bool SetRaw1200(int fd) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) return false;
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, B1200);
    cfsetospeed(&t, B1200);
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

// Milliseconds with three decimals and a point, right-aligned in 10 columns,
// whatever the locale.
std::string FormatMs(double ms) {
    if (ms < 0) ms = 0;
    long long us = std::llround(ms * 1000.0);
    std::string frac = std::to_string(us % 1000);
    frac.insert(0, 3 - frac.size(), '0');
    std::string text = std::to_string(us / 1000) + "." + frac;
    if (text.size() < 10) text.insert(0, 10 - text.size(), ' ');
    return text;
}

std::string HexBytes(const std::vector<uint8_t>& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i) s += ' ';
        s += digits[bytes[i] >> 4];
        s += digits[bytes[i] & 0xF];
    }
    return s;
}

}  // namespace

std::string FormatSimLogEntry(const sSimLogEntry& e) {
    std::string line = FormatMs(e.TimeMs) + (e.FromProgram ? " <- " : " -> ") + HexBytes(e.Bytes);
    if (e.PacingViolation) line += "  PACING";
    if (!e.Note.empty()) line += "  (" + e.Note + ")";
    return line;
}

const char* SimFaultName(eSimFault fault) {
    switch (fault) {
    case eSimFault::None: return "none";
    case eSimFault::Silence: return "silence";
    case eSimFault::SilenceAfter: return "silence-after";
    case eSimFault::PartialReply: return "partial";
    case eSimFault::BadTrailer: return "bad-trailer";
    case eSimFault::WrongEcho: return "wrong-echo";
    case eSimFault::Garbage: return "garbage";
    case eSimFault::LineDrop: return "line-drop";
    case eSimFault::RefuseStore: return "refuse-store";
    case eSimFault::Away: return "away";
    }
    return "?";
}

bool ParseSimFault(const std::string& text, eSimFault& fault, int& afterFrames) {
    std::string name = text;
    afterFrames = 0;
    bool hasCount = false;
    if (auto colon = text.find(':'); colon != std::string::npos) {
        name = text.substr(0, colon);
        std::string num = text.substr(colon + 1);
        int n = 0;
        auto [end, ec] = std::from_chars(num.data(), num.data() + num.size(), n);
        if (ec != std::errc() || end != num.data() + num.size() || num.empty() || n < 0) return false;
        afterFrames = n;
        hasCount = true;
    }
    static const eSimFault all[] = {eSimFault::None,         eSimFault::Silence,    eSimFault::SilenceAfter,
                                    eSimFault::PartialReply, eSimFault::BadTrailer, eSimFault::WrongEcho,
                                    eSimFault::Garbage,      eSimFault::LineDrop,   eSimFault::RefuseStore,
                                    eSimFault::Away};
    for (eSimFault f : all) {
        if (name != SimFaultName(f)) continue;
        bool counted = f == eSimFault::SilenceAfter || f == eSimFault::LineDrop || f == eSimFault::Away;
        if (hasCount && !counted) return false;
        fault = f;
        return true;
    }
    return false;
}

struct cEcuSimulator::sImpl {
    sSimOptions Opt;
    Clock::time_point T0 = Clock::now();

    // Start, Stop and Reopen run one at a time.
    std::mutex ControlMutex;
    bool Running = false;
    std::thread Thread;
    std::atomic<bool> StopFlag{false};
    int WakePipe[2] = {-1, -1};

    // The pseudo-terminal. Owned by the serving thread while it runs, by the
    // controlling calls otherwise (they join the thread first).
    int Master = -1;
    int Slave = -1;

    // Everything below is shared and guarded by M.
    mutable std::mutex M;
    std::condition_variable Cv;
    std::string Device;
    std::deque<sSimLogEntry> Entries;
    uint64_t CmdCount[256] = {};
    uint64_t TotalCmds = 0;
    std::array<uint8_t, 16> Work{};
    std::array<uint8_t, 16> Store{};
    std::array<int, 16> Pins{};
    int Console = 0;
    bool FilterOff = false;
    eSimFault Fault = eSimFault::None;
    int FaultAfter = 0;
    int FaultFrames = 0;     // frames received since the fault was set
    double AwayUntilMs = 0;  // Away: silent until then
    bool DropDue = false;    // LineDrop reached its count; close once the replies are out
    bool Dropped = false;
    std::function<void(const std::string&)> Listener;

    // Text output (log file and listener), in order.
    std::mutex OutMutex;
    FILE* LogFile = nullptr;

    // Serving-thread state.
    std::vector<uint8_t> Partial;
    bool PartialPacing = false;
    double LastRxMs = -1.0;
    // Pacing reference: when the simulator last began writing a byte, and
    // how many frame bytes have come in since. A program that waits for the
    // reply and pauses before each byte cannot deliver its n-th byte before
    // SentMs + n pauses, however late this thread sees it.
    double SentMs = -1.0;
    int SinceSent = 0;
    double DropSinceMs = -1.0;  // when a due line drop started waiting for the reader
    uint64_t BytesRead = 0;     // from the program, in all (under M)
    struct sOut {
        std::vector<uint8_t> Bytes;
        size_t Next = 0;
        double DueMs = 0;
    };
    std::deque<sOut> Out;
    std::mt19937 Rng;

    double NowMs() const {
        if (Opt.ClockMs) return Opt.ClockMs();
        return std::chrono::duration<double, std::milli>(Clock::now() - T0).count();
    }
    double PauseMs() const { return Opt.Version >= 32 ? 10.0 : 50.0; }

    void Emit(const std::string& line) {
        std::function<void(const std::string&)> listener;
        {
            std::lock_guard<std::mutex> lock(M);
            listener = Listener;
        }
        std::lock_guard<std::mutex> lock(OutMutex);
        if (LogFile) {
            std::fputs(line.c_str(), LogFile);
            std::fputc('\n', LogFile);
            std::fflush(LogFile);
        }
        if (listener) listener(line);
    }
    void EmitEvent(const std::string& text) { Emit(FormatMs(NowMs()) + " -- " + text); }

    void AddEntry(sSimLogEntry e, bool countAsCommand) {
        std::string line = FormatSimLogEntry(e);
        {
            std::lock_guard<std::mutex> lock(M);
            if (countAsCommand && !e.Bytes.empty()) {
                ++CmdCount[e.Bytes[0]];
                ++TotalCmds;
            }
            Entries.push_back(std::move(e));
            if (Opt.MaxLogEntries > 0)
                while (Entries.size() > Opt.MaxLogEntries) Entries.pop_front();
        }
        if (countAsCommand) Cv.notify_all();
        Emit(line);
    }

    void Wake() {
        if (WakePipe[1] >= 0) {
            uint8_t b = 1;
            [[maybe_unused]] ssize_t n = ::write(WakePipe[1], &b, 1);
        }
    }

    void OpenLogFile() {
        std::lock_guard<std::mutex> lock(OutMutex);
        if (Opt.LogPath.empty() || LogFile) return;
        LogFile = std::fopen(Opt.LogPath.c_str(), "w");
        if (!LogFile) throw std::runtime_error("cannot write the log file " + Opt.LogPath);
    }

    // --- the pseudo-terminal ---------------------------------------------

    void OpenPty() {
        std::string err;
        int m = posix_openpt(O_RDWR | O_NOCTTY);
        if (m < 0) {
            SetErrnoText(err, "posix_openpt");
            throw std::runtime_error(err);
        }
        char name[128] = {};
        if (grantpt(m) != 0 || unlockpt(m) != 0 || ptsname_r(m, name, sizeof name) != 0) {
            SetErrnoText(err, "pseudo-terminal set-up");
            ::close(m);
            throw std::runtime_error(err);
        }
        // Hold the slave open ourselves: while any slave descriptor is open
        // the master never reads EIO, so the program may close and reopen the
        // port as often as it likes.
        int s = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (s < 0) {
            SetErrnoText(err, std::string("open ").append(name).c_str());
            ::close(m);
            throw std::runtime_error(err);
        }
        // The line settings live on the slave side; set them through both.
        if (!SetRaw1200(m) || !SetRaw1200(s)) {
            SetErrnoText(err, "terminal settings");
            ::close(s);
            ::close(m);
            throw std::runtime_error(err);
        }
        int flags = fcntl(m, F_GETFL);
        fcntl(m, F_SETFL, flags | O_NONBLOCK);
        fcntl(m, F_SETFD, FD_CLOEXEC);
        try {
            PointLink(name);
        } catch (...) {
            ::close(s);
            ::close(m);
            throw;
        }
        Master = m;
        Slave = s;
        std::lock_guard<std::mutex> lock(M);
        Device = name;
        Dropped = false;
    }

    // Makes LinkPath a symlink to the device, replacing an older symlink in
    // one step (a new link under a temporary name renamed over it). A path
    // that exists and is not a symlink is left alone.
    void PointLink(const std::string& device) {
        if (Opt.LinkPath.empty()) return;
        struct stat st {};
        if (lstat(Opt.LinkPath.c_str(), &st) == 0 && !S_ISLNK(st.st_mode))
            throw std::runtime_error("link path exists and is not a symbolic link: " + Opt.LinkPath);
        std::string tmp = Opt.LinkPath + ".tmp" + std::to_string(getpid());
        ::unlink(tmp.c_str());
        if (symlink(device.c_str(), tmp.c_str()) != 0 || rename(tmp.c_str(), Opt.LinkPath.c_str()) != 0) {
            std::string err;
            SetErrnoText(err, ("symbolic link " + Opt.LinkPath).c_str());
            ::unlink(tmp.c_str());
            throw std::runtime_error(err);
        }
    }

    void RemoveLink() {
        if (Opt.LinkPath.empty()) return;
        char target[256] = {};
        ssize_t n = readlink(Opt.LinkPath.c_str(), target, sizeof target - 1);
        if (n <= 0) return;
        std::lock_guard<std::mutex> lock(M);
        if (Device == std::string(target, size_t(n))) ::unlink(Opt.LinkPath.c_str());
    }

    void StartThread() {
        StopFlag = false;
        Partial.clear();
        Out.clear();
        LastRxMs = -1.0;
        SentMs = -1.0;
        SinceSent = 0;
        DropSinceMs = -1.0;
        Thread = std::thread([this] { Serve(); });
    }

    void StopThread() {
        StopFlag = true;
        Wake();
        if (Thread.joinable()) Thread.join();
        // Drain the doorbell.
        uint8_t buf[64];
        while (::read(WakePipe[0], buf, sizeof buf) > 0) {}
    }

    // --- the ECU ---------------------------------------------------------

    double EngineSeconds() const { return NowMs() / 1000.0; }

    // The engine model: a throttle sweeping up and down over 8 s, speed and
    // valve position following it, the fuel state going petrol, gas
    // blinking, gas, the lambda signal swinging and the tank slowly emptying.
    uint8_t Live(int k) {
        {
            std::lock_guard<std::mutex> lock(M);
            if (Pins[k] >= 0) return uint8_t(Pins[k]);
        }
        double t = EngineSeconds();
        double phase = std::fmod(t / 8.0, 1.0);
        double frac = phase < 0.5 ? phase * 2.0 : 2.0 - phase * 2.0;  // 0..1..0
        int v = Opt.Version;
        switch (k) {
        case 1: return uint8_t(std::lround(26 + frac * (229 - 26)));
        case 3: {
            int rpm = int(std::lround(800 + frac * 4200));
            int code = 54000 / rpm;
            if (RpmDoubled(v)) code *= 2;
            return uint8_t(std::min(code, 255));
        }
        case 5: return t < 3.0 ? 3 : t < 6.0 ? 1 : 2;
        case 6: return uint8_t(std::lround(50 + frac * 100));
        case 7: {
            double s = 0.5 + 0.5 * std::sin(t * 2.0 * M_PI / 1.6);
            return NewProtocol(v) ? uint8_t(std::lround(s * 51)) : uint8_t(std::lround(10 + s * 35));
        }
        case 8: {
            int index = 6 - int(t / 30.0) % 6;  // 6, 5, ... 1, then full again
            return LevelIndexDirect(v) ? uint8_t(index) : uint8_t((6 - index) << 5);
        }
        default: return 0;
        }
    }

    // Carries out one frame and returns the ECU's normal reply.
    std::vector<uint8_t> Execute(uint8_t code, uint8_t data, bool refuseStore) {
        int v = Opt.Version;
        int p = code & 0x0F;
        std::vector<uint8_t> reply{code, 0x00, kTrailer};
        if (code == 0xA5) {
            reply[0] = 0x5A;
        } else if (code == 0x63) {
            reply[1] = data;
            if (data == 0xB4) {
                if (refuseStore) {
                    reply[1] = 0xB5;
                } else {
                    std::lock_guard<std::mutex> lock(M);
                    Store = Work;
                }
            }
        } else if ((code >> 4) == 0xE) {
            std::lock_guard<std::mutex> lock(M);
            reply[1] = Work[p];
        } else if ((code >> 4) == 0xC) {
            reply[1] = data;  // the echo
            std::string event;
            {
                std::lock_guard<std::mutex> lock(M);
                if (p == 15 && NewProtocol(v)) {
                    if (data == 0xB4) {
                        Work = Store = cEcuSimulator::FactorySettings(v);
                        event = "factory settings restored";
                    } else if (data == 1) {
                        ++Console;
                    } else if (data == 2) {
                        FilterOff = true;
                        event = "level filter disabled";
                    }
                } else if (Writable(v, p)) {
                    Work[p] = data;
                }
            }
            if (!event.empty()) EmitEvent(event);
        } else if (code == 0xD2) {
            reply[1] = uint8_t(v);
        } else if (code == 0xD4) {
            reply[1] = uint8_t(Opt.IdVersion);
        } else {  // 0xD0 + k: live values
            reply[1] = Live(p);
        }
        return reply;
    }

    void QueueReply(std::vector<uint8_t> bytes, double nowMs) {
        sOut out;
        out.Bytes = std::move(bytes);
        double start = nowMs;
        if (!Out.empty()) start = std::max(start, Out.back().DueMs);
        out.DueMs = start + (Opt.Instant ? 0.0 : kByteTimeMs);
        Out.push_back(std::move(out));
    }

    void OnHandshake(double t) {
        AddEntry({t, true, {0x00}, false, {}}, true);
        bool silent;
        {
            std::lock_guard<std::mutex> lock(M);
            silent = Fault == eSimFault::Silence || (Fault == eSimFault::SilenceAfter && FaultFrames >= FaultAfter) ||
                     (Fault == eSimFault::Away && t < AwayUntilMs);
        }
        if (!silent) QueueReply({0xFF, 0x00, 0x00}, t);
    }

    void OnFrame(double t) {
        std::vector<uint8_t> frame = Partial;
        bool pacing = PartialPacing;
        Partial.clear();
        PartialPacing = false;
        if (frame[2] != kTrailer) {
            AddEntry({t, true, frame, pacing, "wrong trailer, not answered"}, false);
            return;
        }
        AddEntry({t, true, frame, pacing, {}}, true);

        eSimFault fault;
        int after, count;
        bool away;
        {
            std::lock_guard<std::mutex> lock(M);
            fault = Fault;
            after = FaultAfter;
            count = ++FaultFrames;
            away = Fault == eSimFault::Away && t < AwayUntilMs;
        }
        // A silent ECU hears nothing either: the frame has no effect.
        if (fault == eSimFault::Silence || (fault == eSimFault::SilenceAfter && count > after) || away) return;

        std::vector<uint8_t> reply = Execute(frame[0], frame[1], fault == eSimFault::RefuseStore);
        switch (fault) {
        case eSimFault::PartialReply: reply.resize(2); break;
        case eSimFault::BadTrailer: reply[2] = 0xAB; break;
        case eSimFault::WrongEcho: reply[0] = uint8_t(frame[0] + 1); break;
        case eSimFault::Garbage:
            for (auto& b : reply) b = uint8_t(Rng());
            if (reply[2] == kTrailer) reply[2] = 0x55;  // never a valid reply by accident
            break;
        case eSimFault::LineDrop:
            if (count >= after) {
                std::lock_guard<std::mutex> lock(M);
                DropDue = true;
            }
            break;
        default: break;
        }
        QueueReply(std::move(reply), t);
    }

    void DropPartial(double t, const char* why) {
        AddEntry({t, true, Partial, PartialPacing, why}, false);
        Partial.clear();
        PartialPacing = false;
    }

    // Whether a frame byte seen at t came sooner than the version's pause
    // allows. Arrival times seen through a pseudo-terminal lag by a few
    // milliseconds, more on a busy machine, and the lag varies, so the gap
    // to the previous received byte alone can look short when it was not.
    // The check therefore counts from the last byte this side sent: the
    // program had to receive it before pausing, so its n-th byte since then
    // cannot come before that plus n pauses, and lateness here only makes
    // the gap look longer. Before anything has been sent the gap to the
    // previous byte is used, with half a pause of slack.
    bool Early(double t, double gap) {
        int n = ++SinceSent;
        if (SentMs >= 0) return t < SentMs + n * PauseMs() - Opt.PacingToleranceMs;
        return gap < PauseMs() / 2;
    }

    void OnByte(uint8_t b, double t) {
        double gap = LastRxMs < 0 ? 1e9 : t - LastRxMs;
        LastRxMs = t;
        if (!Partial.empty() && gap > kResyncMs) DropPartial(t, "incomplete frame dropped");
        if (Partial.empty()) {
            if (b == 0x00) {
                // The handshake byte: its pause is not checked.
                OnHandshake(t);
            } else if (StartsFrame(b)) {
                Partial.push_back(b);
                PartialPacing = Early(t, gap);
            } else {
                AddEntry({t, true, {b}, false, "ignored byte"}, false);
            }
            return;
        }
        Partial.push_back(b);
        PartialPacing = Early(t, gap) || PartialPacing;
        if (Partial.size() == 3) OnFrame(t);
    }

    // Closes both ends of the pseudo-terminal; the program sees the line drop.
    // Under the lock, so whoever sees the hang-up also sees LineDropped().
    void DropLine() {
        {
            std::lock_guard<std::mutex> lock(M);
            CloseFd(Master);
            CloseFd(Slave);
            Dropped = true;
            DropDue = false;
        }
        EmitEvent("line dropped");
    }

    void Serve() {
        while (!StopFlag.load()) {
            double now = NowMs();
            // When to wake up without input: the next reply byte, or the
            // moment a partial frame goes stale.
            double wakeAt = -1;
            if (!Out.empty()) wakeAt = Out.front().DueMs;
            if (DropSinceMs < 0 && Out.empty()) {
                std::lock_guard<std::mutex> lock(M);
                if (DropDue) DropSinceMs = now;  // a drop set while nothing was going on
            }
            if (DropSinceMs >= 0) wakeAt = wakeAt < 0 ? now + kDropCheckMs : std::min(wakeAt, now + kDropCheckMs);
            if (!Partial.empty()) {
                double stale = LastRxMs + kResyncMs;
                wakeAt = wakeAt < 0 ? stale : std::min(wakeAt, stale);
            }
            timespec ts{};
            timespec* timeout = nullptr;
            if (wakeAt >= 0) {
                double wait = std::max(0.0, wakeAt - now);
                ts.tv_sec = time_t(wait / 1000.0);
                ts.tv_nsec = long((wait - double(ts.tv_sec) * 1000.0) * 1e6);
                timeout = &ts;
            }
            pollfd fds[2] = {{WakePipe[0], POLLIN, 0}, {Master, POLLIN, 0}};
            int n = ppoll(fds, 2, timeout, nullptr);
            if (n < 0 && errno != EINTR) break;
            if (StopFlag.load()) break;
            if (n > 0 && (fds[0].revents & POLLIN)) {
                uint8_t buf[64];
                while (::read(WakePipe[0], buf, sizeof buf) > 0) {}
            }
            if (n > 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
                uint8_t buf[64];
                ssize_t got = ::read(Master, buf, sizeof buf);
                double t = NowMs();
                if (got > 0) {
                    for (ssize_t i = 0; i < got; ++i) OnByte(buf[i], t);
                    {
                        std::lock_guard<std::mutex> lock(M);
                        BytesRead += uint64_t(got);
                    }
                    Cv.notify_all();
                } else if (got < 0 && errno != EAGAIN && errno != EINTR) {
                    EmitEvent(std::string("line error: ") + std::strerror(errno));
                    DropLine();
                    return;
                }
            }
            now = NowMs();
            if (!Partial.empty() && now - LastRxMs >= kResyncMs) DropPartial(now, "incomplete frame dropped");
            SendDue(now);
            bool drop;
            {
                std::lock_guard<std::mutex> lock(M);
                drop = DropDue;
            }
            if (drop && Out.empty()) {
                // Closing the master discards what the other side has not
                // read yet, so give it a moment to take the last reply.
                if (DropSinceMs < 0) DropSinceMs = now;
                int pending = 0;
                ioctl(Slave, TIOCINQ, &pending);
                if ((pending == 0 && now - DropSinceMs >= kDropGraceMs) || now - DropSinceMs >= kDropLimitMs) {
                    DropLine();
                    return;
                }
            }
        }
    }

    void SendDue(double now) {
        while (!Out.empty() && Out.front().DueMs <= now + 0.05) {
            sOut& o = Out.front();
            if (o.Next < o.Bytes.size()) {
                // Taken before the write: the byte cannot reach the program sooner.
                SentMs = NowMs();
                SinceSent = 0;
                ssize_t w = ::write(Master, &o.Bytes[o.Next], 1);
                if (w == 1) {
                    ++o.Next;
                } else {
                    // The other side does not read; the rest of the reply is lost.
                    o.Bytes.resize(o.Next);
                }
            }
            if (o.Next >= o.Bytes.size()) {
                // Stamped like the pacing reference, so that the log shows
                // what the pacing check counted from.
                AddEntry({SentMs, false, o.Bytes, false, {}}, false);
                double due = o.DueMs;
                Out.pop_front();
                if (!Out.empty())
                    Out.front().DueMs = std::max(Out.front().DueMs, due + (Opt.Instant ? 0 : kByteTimeMs));
            } else {
                o.DueMs += Opt.Instant ? 0.0 : kByteTimeMs;
            }
        }
    }
};

cEcuSimulator::cEcuSimulator(sSimOptions options) : Impl(std::make_unique<sImpl>()) {
    Impl->Opt = std::move(options);
    Impl->Rng.seed(Impl->Opt.Seed);
    Impl->Work = Impl->Store = FactorySettings(Impl->Opt.Version);
    Impl->Pins.fill(-1);
    if (pipe2(Impl->WakePipe, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("pipe2 failed");
}

cEcuSimulator::~cEcuSimulator() {
    Stop();
    CloseFd(Impl->WakePipe[0]);
    CloseFd(Impl->WakePipe[1]);
    std::lock_guard<std::mutex> lock(Impl->OutMutex);
    if (Impl->LogFile) std::fclose(Impl->LogFile);
    Impl->LogFile = nullptr;
}

void cEcuSimulator::Start() {
    std::lock_guard<std::mutex> control(Impl->ControlMutex);
    if (Impl->Running) return;
    Impl->OpenLogFile();
    Impl->OpenPty();
    Impl->Running = true;
    Impl->StartThread();
}

void cEcuSimulator::Stop() {
    std::lock_guard<std::mutex> control(Impl->ControlMutex);
    if (!Impl->Running) return;
    Impl->StopThread();
    Impl->RemoveLink();
    CloseFd(Impl->Master);
    CloseFd(Impl->Slave);
    Impl->Running = false;
}

void cEcuSimulator::Reopen() {
    std::lock_guard<std::mutex> control(Impl->ControlMutex);
    if (Impl->Running) Impl->StopThread();
    CloseFd(Impl->Master);
    CloseFd(Impl->Slave);
    {
        std::lock_guard<std::mutex> lock(Impl->M);
        // A line drop that has happened is over; one still counting stays.
        if (Impl->Fault == eSimFault::LineDrop && Impl->Dropped) Impl->Fault = eSimFault::None;
        Impl->DropDue = false;
        Impl->FaultFrames = 0;
    }
    Impl->Running = false;
    Impl->OpenLogFile();
    Impl->OpenPty();
    Impl->Running = true;
    Impl->StartThread();
    Impl->EmitEvent("reopened on " + DevicePath());
}

std::string cEcuSimulator::DevicePath() const {
    std::lock_guard<std::mutex> lock(Impl->M);
    return Impl->Device;
}

bool cEcuSimulator::LineDropped() const {
    std::lock_guard<std::mutex> lock(Impl->M);
    return Impl->Dropped;
}

void cEcuSimulator::SetFault(eSimFault fault, int afterFrames) {
    {
        std::lock_guard<std::mutex> lock(Impl->M);
        Impl->Fault = fault;
        Impl->FaultAfter = std::max(0, afterFrames);
        Impl->FaultFrames = 0;
        Impl->DropDue = fault == eSimFault::LineDrop && afterFrames <= 0;
        Impl->AwayUntilMs = Impl->NowMs() + std::max(0, afterFrames);
    }
    std::string text = std::string("fault ") + SimFaultName(fault);
    if (fault == eSimFault::SilenceAfter || fault == eSimFault::LineDrop || fault == eSimFault::Away)
        text += ":" + std::to_string(afterFrames);
    Impl->EmitEvent(text);
    Impl->Wake();
}

void cEcuSimulator::SetLogListener(std::function<void(const std::string&)> listener) {
    std::lock_guard<std::mutex> lock(Impl->M);
    Impl->Listener = std::move(listener);
}

std::vector<sSimLogEntry> cEcuSimulator::Log() const {
    std::lock_guard<std::mutex> lock(Impl->M);
    return {Impl->Entries.begin(), Impl->Entries.end()};
}

void cEcuSimulator::ClearLog() {
    std::lock_guard<std::mutex> lock(Impl->M);
    Impl->Entries.clear();
}

std::vector<uint8_t> cEcuSimulator::Commands() const {
    std::lock_guard<std::mutex> lock(Impl->M);
    std::vector<uint8_t> out;
    for (const auto& e : Impl->Entries)
        if (e.FromProgram && e.Note.empty() && !e.Bytes.empty()) out.push_back(e.Bytes[0]);
    return out;
}

std::vector<std::vector<uint8_t>> cEcuSimulator::Received() const {
    std::lock_guard<std::mutex> lock(Impl->M);
    std::vector<std::vector<uint8_t>> out;
    for (const auto& e : Impl->Entries)
        if (e.FromProgram && e.Note.empty()) out.push_back(e.Bytes);
    return out;
}

int cEcuSimulator::PacingViolations() const {
    std::lock_guard<std::mutex> lock(Impl->M);
    return int(std::count_if(Impl->Entries.begin(), Impl->Entries.end(),
                             [](const sSimLogEntry& e) { return e.PacingViolation; }));
}

bool cEcuSimulator::WaitForBytes(uint64_t count, std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(Impl->M);
    return Impl->Cv.wait_for(lock, limit, [&] { return Impl->BytesRead >= count; });
}

bool cEcuSimulator::WaitForCommands(int code, int count, std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(Impl->M);
    auto counter = [this, code]() -> uint64_t { return code < 0 ? Impl->TotalCmds : Impl->CmdCount[code & 0xFF]; };
    uint64_t base = counter();
    return Impl->Cv.wait_for(lock, limit, [&] { return counter() - base >= uint64_t(std::max(count, 0)); });
}

std::array<uint8_t, 16> cEcuSimulator::Settings() const {
    std::lock_guard<std::mutex> lock(Impl->M);
    return Impl->Work;
}

std::array<uint8_t, 16> cEcuSimulator::Stored() const {
    std::lock_guard<std::mutex> lock(Impl->M);
    return Impl->Store;
}

void cEcuSimulator::SetSettings(const std::array<uint8_t, 16>& values) {
    std::lock_guard<std::mutex> lock(Impl->M);
    Impl->Work = Impl->Store = values;
}

std::array<uint8_t, 16> cEcuSimulator::FactorySettings(int version) {
    std::array<uint8_t, 16> f{};
    f[0] = 0;    // lambda 0 - 1 V
    f[1] = 101;  // switching level, rising sensor (bit 0 set)
    f[2] = 27;   // 2000 rpm
    f[3] = 9;    // 6000 rpm
    if (RpmDoubled(version)) {
        f[2] = 54;
        f[3] = 18;
    }
    f[4] = 50;
    f[5] = 150;
    f[6] = 100;
    f[7] = 90;
    f[8] = 80;
    if (NewProtocol(version)) {
        f[9] = 4;   // cylinders
        f[10] = 1;  // coils
        f[11] = 1;  // reserved
        f[12] = 1;  // level sensor type
    } else {
        f[9] = 1;                                // RPM source: two coils
        if (HasLevelSensor(version)) f[10] = 1;  // level sensor type
    }
    return f;
}

void cEcuSimulator::SetLive(int k, int raw) {
    if (k < 0 || k > 15) return;
    std::lock_guard<std::mutex> lock(Impl->M);
    Impl->Pins[k] = raw < 0 ? -1 : std::min(raw, 255);
}

int cEcuSimulator::ConsoleCommands() const {
    std::lock_guard<std::mutex> lock(Impl->M);
    return Impl->Console;
}

bool cEcuSimulator::LevelFilterDisabled() const {
    std::lock_guard<std::mutex> lock(Impl->M);
    return Impl->FilterOff;
}
