// An ECU in memory behind the link's byte port, for the link tests where the
// bytes are the point. It answers a complete frame the moment its last byte
// is written (handshake, identity, settings read/write/store, factory
// settings, live values), can spoil its replies like the pseudo-terminal
// simulator's faults, drops its line and comes back (a pulled adapter, the
// cable moved to the next car), and runs on a clock `Speed` times faster than the real
// one: the link's 10 and 50 ms pauses, 100 ms read limits, 200 ms handshake
// pause and 50 ms idle wait pass in a twentieth of the time while keeping
// their order. The pacing of the link's bytes is checked on that clock.
//
// The same names as cEcuSimulator, so a fixture can use either.
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "core/Error.h"

#include "serial/BytePort.h"

#include "tools/ecusim/EcuSimulator.h"

namespace linktest {

class cMemoryEcu {
public:
    static constexpr double Speed = 20.0;

    // The device name is the link path when one is given, otherwise a name
    // of its own ("memory", "memory-2", ...), so that several ECUs can stand
    // at several names.
    explicit cMemoryEcu(const sSimOptions& opt)
        : Version(opt.Version),
          IdVersion(opt.IdVersion),
          Device(opt.LinkPath.empty() ? NextName() : opt.LinkPath) {
        Work = Store = cEcuSimulator::FactorySettings(Version);
        Pins.fill(-1);
    }

    void Start() {}
    std::string DevicePath() const { return Device; }

    // The line is gone (LineDrop reached its count): every use of the port
    // fails and the name does not open, until Reopen.
    bool LineDropped() const {
        std::lock_guard<std::mutex> lock(M);
        return Dropped;
    }
    // The line is back at the same name; a drop still counting stays.
    void Reopen() {
        std::lock_guard<std::mutex> lock(M);
        if (Fault == eSimFault::LineDrop && Dropped) Fault = eSimFault::None;
        Dropped = false;
        FaultFrames = 0;
        Partial.clear();
        PartialPacing = false;
    }
    void ClearLog() {
        std::lock_guard<std::mutex> lock(M);
        Entries.clear();
    }
    // Waits until `count` more commands equal to `code` (any, for -1) have
    // come since the call; false when `limit` (real time) passed first.
    bool WaitForCommands(int code, int count, std::chrono::milliseconds limit) {
        std::unique_lock<std::mutex> lock(M);
        const int64_t base = code < 0 ? FramesSeen : CodeCounts[size_t(code & 0xFF)];
        return Arrived.wait_for(
            lock, limit, [&] { return (code < 0 ? FramesSeen : CodeCounts[size_t(code & 0xFF)]) - base >= count; });
    }

    // Milliseconds on the fast clock since the ECU was made.
    double NowMs() const {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - T0).count() * Speed;
    }

    void SetFault(eSimFault fault, int afterFrames = 0) {
        std::lock_guard<std::mutex> lock(M);
        Fault = fault;
        FaultAfter = std::max(0, afterFrames);
        FaultFrames = 0;
        if (fault == eSimFault::LineDrop && afterFrames <= 0) Dropped = true;
    }
    // Answers every frame until one with the command `code` has been
    // answered, then nothing (the ECU falls silent at a step of a command,
    // whatever the link polled before it); -1 lifts it.
    void SilenceAfterCommand(int code) {
        std::lock_guard<std::mutex> lock(M);
        SilentAfterCode = code;
        SilentNow = false;
    }
    void SetLive(int k, int raw) {
        std::lock_guard<std::mutex> lock(M);
        if (k >= 0 && k < 16) Pins[size_t(k)] = raw < 0 ? -1 : std::min(raw, 255);
    }
    void SetSettings(const std::array<uint8_t, 16>& values) {
        std::lock_guard<std::mutex> lock(M);
        Work = Store = values;
    }
    std::array<uint8_t, 16> Settings() const {
        std::lock_guard<std::mutex> lock(M);
        return Work;
    }
    std::array<uint8_t, 16> Stored() const {
        std::lock_guard<std::mutex> lock(M);
        return Store;
    }
    std::vector<uint8_t> Commands() const {
        std::lock_guard<std::mutex> lock(M);
        std::vector<uint8_t> out;
        for (const auto& e : Entries)
            if (e.FromProgram && e.Note.empty()) out.push_back(e.Bytes[0]);
        return out;
    }
    std::vector<std::vector<uint8_t>> Received() const {
        std::lock_guard<std::mutex> lock(M);
        std::vector<std::vector<uint8_t>> out;
        for (const auto& e : Entries)
            if (e.FromProgram && e.Note.empty()) out.push_back(e.Bytes);
        return out;
    }
    std::vector<sSimLogEntry> Log() const {
        std::lock_guard<std::mutex> lock(M);
        return Entries;
    }
    int PacingViolations() const {
        std::lock_guard<std::mutex> lock(M);
        return int(
            std::count_if(Entries.begin(), Entries.end(), [](const sSimLogEntry& e) { return e.PacingViolation; }));
    }

    // A byte from the program at `t` (fast-clock ms); the reply bytes, if
    // any, are appended to `out`. False when the line is down: the byte is
    // lost.
    bool Receive(uint8_t b, double t, std::deque<uint8_t>& out) {
        std::lock_guard<std::mutex> lock(M);
        if (Dropped) return false;
        ReceiveLocked(b, t, out);
        return true;
    }

private:
    static std::string NextName() {
        static std::atomic<int> made{0};
        const int n = ++made;
        return n == 1 ? std::string("memory") : "memory-" + std::to_string(n);
    }
    void Seen(uint8_t code) {
        ++FramesSeen;
        ++CodeCounts[code];
        Arrived.notify_all();
    }
    void ReceiveLocked(uint8_t b, double t, std::deque<uint8_t>& out) {
        const double gap = t - LastRxMs;
        LastRxMs = t;
        if (Partial.empty()) {
            if (b == 0x00) {  // the handshake byte: its pause is not checked
                Entries.push_back({t, true, {b}, false, {}});
                Seen(b);
                if (!Silent(FaultFrames)) Answer({0xFF, 0x00, 0x00}, t, out);
                return;
            }
            const int cls = b >> 4;
            if (cls != 0xC && cls != 0xD && cls != 0xE && b != 0x63 && b != 0xA5) {
                Entries.push_back({t, true, {b}, false, "ignored byte"});
                return;
            }
        }
        // Each frame byte must come at least the version's pause after the
        // byte before it (the link pauses before every byte it sends).
        const double pause = Version >= 32 ? 10.0 : 50.0;
        PartialPacing = PartialPacing || gap < pause - 0.5;
        Partial.push_back(b);
        if (Partial.size() < 3) return;
        std::vector<uint8_t> frame = Partial;
        const bool pacing = PartialPacing;
        Partial.clear();
        PartialPacing = false;
        if (frame[2] != 0xAC) {
            Entries.push_back({t, true, frame, pacing, "wrong trailer, not answered"});
            return;
        }
        Entries.push_back({t, true, frame, pacing, {}});
        Seen(frame[0]);
        const int count = ++FaultFrames;
        if (Silent(count)) return;
        std::vector<uint8_t> reply = Execute(frame[0], frame[1]);
        switch (Fault) {
        case eSimFault::PartialReply: reply.resize(2); break;
        case eSimFault::BadTrailer: reply[2] = 0xAB; break;
        case eSimFault::WrongEcho: reply[0] = uint8_t(frame[0] + 1); break;
        case eSimFault::Garbage:
            for (auto& r : reply) r = uint8_t(Rng());
            if (reply[2] == 0xAC) reply[2] = 0x55;
            break;
        default: break;
        }
        Answer(reply, t, out);
        if (frame[0] == SilentAfterCode) SilentNow = true;
        // The reply of the N-th frame is out, then the line drops.
        if (Fault == eSimFault::LineDrop && count >= FaultAfter) Dropped = true;
    }

    bool Silent(int count) const {
        return SilentNow || Fault == eSimFault::Silence || (Fault == eSimFault::SilenceAfter && count > FaultAfter);
    }
    void Answer(const std::vector<uint8_t>& reply, double t, std::deque<uint8_t>& out) {
        Entries.push_back({t, false, reply, false, {}});
        out.insert(out.end(), reply.begin(), reply.end());
    }
    std::vector<uint8_t> Execute(uint8_t code, uint8_t data) {
        const int p = code & 0x0F;
        const bool isNew = Version >= 48;
        std::vector<uint8_t> reply{code, 0x00, 0xAC};
        if (code == 0xA5) {
            reply[0] = 0x5A;
        } else if (code == 0x63) {
            reply[1] = data;
            if (data == 0xB4) {
                if (Fault == eSimFault::RefuseStore) reply[1] = 0xB5;
                else Store = Work;
            }
        } else if ((code >> 4) == 0xE) {
            reply[1] = Work[size_t(p)];
        } else if ((code >> 4) == 0xC) {
            reply[1] = data;
            if (p == 15 && isNew) {
                if (data == 0xB4) Work = Store = cEcuSimulator::FactorySettings(Version);
            } else if (isNew ? (p <= 10 || p == 12) : (p <= 9 || (p == 10 && Version > 22))) {
                Work[size_t(p)] = data;
            }
        } else if (code == 0xD2) {
            reply[1] = uint8_t(Version);
        } else if (code == 0xD4) {
            reply[1] = uint8_t(IdVersion);
        } else {
            reply[1] = Pins[size_t(p)] >= 0 ? uint8_t(Pins[size_t(p)]) : uint8_t(10 * p);
        }
        return reply;
    }

    const int Version;
    const int IdVersion;
    const std::string Device;
    const std::chrono::steady_clock::time_point T0 = std::chrono::steady_clock::now();
    mutable std::mutex M;
    std::condition_variable Arrived;
    std::vector<sSimLogEntry> Entries;
    int64_t FramesSeen = 0;
    std::array<int64_t, 256> CodeCounts{};
    bool Dropped = false;
    std::array<uint8_t, 16> Work{}, Store{};
    std::array<int, 16> Pins{};
    eSimFault Fault = eSimFault::None;
    int FaultAfter = 0;
    int FaultFrames = 0;
    int SilentAfterCode = -1;  // SilenceAfterCommand
    bool SilentNow = false;
    std::vector<uint8_t> Partial;
    bool PartialPacing = false;
    double LastRxMs = -1e9;
    std::mt19937 Rng{1};
};

// The byte port in front of a cMemoryEcu: bytes written go to the ECU at
// once, its reply waits in a receive queue, and every time limit runs on the
// ECU's fast clock. Built on one ECU, any name opens it; built on a finder,
// a name opens the ECU found at it. A name with no ECU, or an ECU whose line
// is down, fails to open as a missing device does; a line that drops while
// open fails the next read or write as a hung-up one does.
class cMemoryPort : public cBytePort {
public:
    using tFinder = std::function<cMemoryEcu*(const std::string&)>;

    cMemoryPort(std::shared_ptr<cWaitHub> hub, cMemoryEcu& ecu)
        : Find([&ecu](const std::string&) { return &ecu; }),
          StopEvent(std::move(hub)) {}
    cMemoryPort(std::shared_ptr<cWaitHub> hub, tFinder find) : Find(std::move(find)), StopEvent(std::move(hub)) {}

    void SetNameSink(std::function<void(const std::string&)> sink) override { NameSink = std::move(sink); }
    void Open(const std::string& name) override {
        cMemoryEcu* found = Find(name);
        {
            std::lock_guard<std::mutex> lock(M);
            Name = name;
            Rx.clear();
            Ecu = found && !found->LineDropped() ? found : nullptr;
        }
        if (NameSink) NameSink(name);
        if (!Ecu) throw sError("ComPort", __LINE__, found ? EIO : ENOENT);
    }
    // Closed, it has no name, as the serial port has none.
    void Close() override {
        std::lock_guard<std::mutex> lock(M);
        Rx.clear();
        Ecu = nullptr;
        Name.clear();
    }
    std::string GetPortName() const override {
        std::lock_guard<std::mutex> lock(M);
        return Name;
    }
    void SetBaudRate(int) override {}
    void SetAbortOnError(bool) override {}
    void SetTimeouts(int readLimitMs, int) override { ReadLimitMs = readLimitMs; }
    void SetQueueSizes(int, int) override {}
    void ClearAndPurgeRx() override {
        std::lock_guard<std::mutex> lock(M);
        Rx.clear();
    }
    void ClearAndPurgeTx() override {}
    bool ReadByte(uint8_t& byte) override {
        {
            std::lock_guard<std::mutex> lock(M);
            if (StopEvent.IsSet()) return false;
            if (!Ecu) throw sError("ComPort", __LINE__);
            if (Rx.empty() && Ecu->LineDropped()) throw sError("ComPort", __LINE__, EIO);
            if (!Rx.empty()) {
                byte = Rx.front();
                Rx.pop_front();
                return true;
            }
        }
        // Nothing more comes by itself: the read limit passes (or a stop).
        WaitAny({&StopEvent}, std::chrono::milliseconds(ReadLimitMs + 1));
        return false;
    }
    bool WriteByte(uint8_t byte) override {
        std::lock_guard<std::mutex> lock(M);
        if (!Ecu) throw sError("ComPort", __LINE__);
        if (!Ecu->Receive(byte, Ecu->NowMs(), Rx)) throw sError("ComPort", __LINE__, EIO);
        return true;
    }
    void SignalStop() override { StopEvent.Set(); }
    cEvent& GetStopEvent() override { return StopEvent; }
    int WaitAny(std::initializer_list<cEvent*> events, std::chrono::milliseconds limit) override {
        if (limit.count() < 0) return cEvent::WaitAny(events, limit);
        // At least the requested time on the fast clock.
        const auto real = std::chrono::microseconds(int64_t(double(limit.count()) * 1000.0 / cMemoryEcu::Speed) + 1);
        return cEvent::WaitAny(events, real);
    }

private:
    const tFinder Find;
    cMemoryEcu* Ecu = nullptr;
    cEvent StopEvent;
    mutable std::mutex M;
    std::string Name;
    std::deque<uint8_t> Rx;
    int ReadLimitMs = 100;
    std::function<void(const std::string&)> NameSink;
};

}  // namespace linktest
