// An ECU on a pseudo-terminal: plays the ECU's side of the serial protocol
// (handshake, identity, settings read/write/store, factory settings, live
// values from a small engine model), keeps a frame log with timestamps and can
// inject named failure modes. Used by the tests in-process and by the
// zvbasic-ecusim program.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

enum class eSimFault {
    None,
    Silence,       // answer nothing
    SilenceAfter,  // answer N frames normally, then nothing
    PartialReply,  // send only the first two reply bytes
    BadTrailer,    // reply byte 2 is 0xAB instead of 0xAC
    WrongEcho,     // reply byte 0 is the command + 1
    Garbage,       // answer with random bytes
    LineDrop,      // after N frames close the pseudo-terminal (the line drops)
    RefuseStore,   // answer the store command 0x63 with data 0xB5
    Away,          // answer nothing for N milliseconds from when it is set, then answer again
};

struct sSimOptions {
    int Version = 0x30;    // reply to 0xD2
    int IdVersion = 0x25;  // reply to 0xD4
    bool Instant = false;  // answer at once instead of at 1200 baud byte time
    std::string LinkPath;  // if set, a symlink to the device made here
    std::string LogPath;   // if set, the frame log is also written here, line by line
    uint32_t Seed = 1;     // engine model / garbage randomness
    // Slack of the pacing check. The program's n-th frame byte after the
    // simulator's last sent byte must come at least n pauses (50 ms below
    // version 32, 10 ms from 32) after it, less this; otherwise the frame is
    // flagged. Counting from what the simulator sent makes the check immune
    // to the lag with which bytes show up on a pseudo-terminal. Bytes sent
    // before the simulator has sent anything are checked against the
    // previous byte with half a pause of slack.
    double PacingToleranceMs = 2.0;
    // The simulator's clock in milliseconds (the log's times, the pacing
    // check, the engine); empty: the steady clock from the start. A test of
    // the pacing check hands in one it moves itself.
    std::function<double()> ClockMs;
    size_t MaxLogEntries = 0;  // 0: keep every entry; otherwise the newest this many
};

struct sSimLogEntry {
    // Since the simulator started: when the last byte was read (received)
    // or began to be written (sent).
    double TimeMs;
    bool FromProgram;              // true: received; false: sent by the simulator
    std::vector<uint8_t> Bytes;    // one handshake byte or one 3-byte frame (or fewer/garbage when sent so)
    bool PacingViolation = false;  // a received byte came sooner than the version's pause allows
    // Empty for a frame that was understood; otherwise why it was not
    // ("ignored byte", "wrong trailer, not answered", "incomplete frame dropped").
    // Such entries are left out of Commands() and Received().
    std::string Note;
};

// "   123.456 <- E4 00 AC" (received) or "   140.001 -> E4 32 AC" (sent),
// with "  PACING" and the note appended when there are any.
std::string FormatSimLogEntry(const sSimLogEntry& entry);
// Names used on the command line: "none", "silence", "silence-after",
// "partial", "bad-trailer", "wrong-echo", "garbage", "line-drop", "refuse-store".
const char* SimFaultName(eSimFault fault);
// Parses "NAME" or "NAME:N" (N only for silence-after and line-drop).
bool ParseSimFault(const std::string& text, eSimFault& fault, int& afterFrames);

class cEcuSimulator {
public:
    explicit cEcuSimulator(sSimOptions options = {});
    ~cEcuSimulator();  // stops
    cEcuSimulator(const cEcuSimulator&) = delete;
    cEcuSimulator& operator=(const cEcuSimulator&) = delete;

    // Opens the pseudo-terminal pair and starts serving on a thread of its own.
    void Start();
    void Stop();
    // Slave device path, e.g. /dev/pts/7 (valid after Start).
    std::string DevicePath() const;

    // Failure modes, switchable at any time. `afterFrames` counts frames
    // received from now on (SilenceAfter, LineDrop); handshake bytes do not
    // count. A silent ECU answers neither frames nor handshakes, and the
    // frames it ignores have no effect. The faults that spoil a reply
    // (PartialReply, BadTrailer, WrongEcho, Garbage, RefuseStore) touch frame
    // replies only: the handshake is still answered, so the program connects
    // and then meets the fault. LineDrop with 0 drops the line at once,
    // otherwise right after the reply to the N-th frame. For Away the
    // number is milliseconds: silent that long, then as without a fault.
    void SetFault(eSimFault fault, int afterFrames = 0);
    // After LineDrop: open a new pseudo-terminal (new DevicePath) and serve again.
    void Reopen();
    // True once a line drop has closed the pseudo-terminal (until Reopen).
    bool LineDropped() const;
    // Called with each text line of the frame log (the lines the log file
    // gets, plus events such as a fault change), on the serving thread or the
    // thread that caused the event. It must not call back into the simulator.
    void SetLogListener(std::function<void(const std::string&)> listener);

    std::vector<sSimLogEntry> Log() const;
    void ClearLog();
    // Command bytes received (first byte of each frame; 0x00 for a handshake
    // byte), in order: the easy thing to assert on.
    std::vector<uint8_t> Commands() const;
    // Full received frames (3 bytes each; handshake bytes as 1-byte entries).
    std::vector<std::vector<uint8_t>> Received() const;
    int PacingViolations() const;
    // Waits until `count` more commands equal to `code` have been received
    // since the call (or any, for code -1); false on time-out.
    bool WaitForCommands(int code, int count, std::chrono::milliseconds limit);
    // Waits until the simulator has read `count` bytes from the program in
    // all since it started; false on time-out.
    bool WaitForBytes(uint64_t count, std::chrono::milliseconds limit);

    // The ECU's own values by parameter number 0..15, as the ECU holds them
    // (parameter 1 with its direction bit, 2 and 3 doubled below version 25),
    // and its stored copy (what a store command kept).
    std::array<uint8_t, 16> Settings() const;
    std::array<uint8_t, 16> Stored() const;
    void SetSettings(const std::array<uint8_t, 16>& values);  // both copies
    // Factory values by parameter number for the version.
    static std::array<uint8_t, 16> FactorySettings(int version);
    // Fixes a live value (k = 1,3,5,6,7,8) instead of the engine model; -1 frees it.
    void SetLive(int k, int raw);
    int ConsoleCommands() const;       // parameter 15 value 1 received
    bool LevelFilterDisabled() const;  // parameter 15 value 2 received

private:
    struct sImpl;
    std::unique_ptr<sImpl> Impl;
};
