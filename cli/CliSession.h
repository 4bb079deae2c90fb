// One conversation with the ECU for zvbasic-cli: the link thread with the
// main thread as its "user-interface thread", and waits for the link's steps
// that end on success, on the first failure notification, on a time limit or
// on a signal.
#pragma once

#include <atomic>
#include <chrono>
#include <csignal>
#include <functional>
#include <memory>
#include <string>

#include "link/CommThread.h"
#include "link/LinkListener.h"

#include "cli/UiQueue.h"

// Set by the SIGINT/SIGTERM handler; 0 while no signal has come.
extern volatile std::sig_atomic_t CliSignal;

// Progress on standard error: a bar on a terminal, a line per quarter
// otherwise, nothing when quiet.
class cProgress {
public:
    cProgress(bool quiet, bool terminal) : Quiet(quiet), Terminal(terminal) {}
    void Show(const char* what, int percent);
    // Ends a bar in progress (a line end on the terminal).
    void End();

private:
    bool Quiet, Terminal;
    const char* What = nullptr;
    int Shown = -1;
};

// What a session talks through and times itself by. The program leaves both
// empty: the serial port named by --port, and the steady clock. The tests
// hand in an ECU in memory behind its own byte port, and a clock they move.
struct sCliLine {
    // Makes the byte port of the link (and of the first look at the port).
    cCommThread::tPortMaker MakePort;
    // The time of the session's own limits and notes: a capture's length and
    // the time the ECU was away during a poll.
    std::function<std::chrono::steady_clock::time_point()> Now;
};

class cCliSession : private cLinkListener {
public:
    explicit cCliSession(cProgress& progress, const sCliLine& line = {});
    ~cCliSession() override;

    // Opens the port once to find out whether it can be opened at all (the
    // reason goes to `error`: the system's, "in use by another program",
    // "not a serial port"), then hands it to the link. EXIT_OK or EXIT_PORT.
    int Open(const std::string& port, std::string& error);

    // The waits return EXIT_OK, EXIT_ECU (error says which notification and
    // where), EXIT_PORT (the link could not open the port) or 128 + the
    // signal number. Connecting lets the link try again, as the program
    // does, after an exchange fails: it gives up after ConnectAttempts
    // failed attempts, after about five seconds of handshakes without an
    // answer, or when the port fails.
    static constexpr int ConnectAttempts = 3;
    int WaitIdentified(std::string& error);
    int WaitSettingsLoaded(std::string& error);
    // Posts a request (retried while the link is busy for a moment).
    bool Post(int32_t request);
    int Write(std::string& error);      // RQ_WRITE_SETTINGS until stored
    int ReadAgain(std::string& error);  // RQ_READ_SETTINGS until loaded

    // What a poll tells while the ECU is away (each may be empty): the
    // failure's text when the link fails, the seconds away every
    // AwayNoteEvery while it stays away (so the fitter sees the program is
    // still trying), and the seconds away when it is back.
    struct sPollEvents {
        std::function<void(const std::string&)> Lost;
        std::function<void(double)> StillAway;
        std::function<void(double)> Back;
    };
    static constexpr std::chrono::seconds AwayNoteEvery{10};
    // Runs the visualisation poll; `onValue` gets each live value (k, raw)
    // as the link reports it and returns false to end the poll. Ends also
    // after `seconds` (0: no limit), with success, or at a signal. When the
    // link fails, as the program it reconnects by itself, for as long as it
    // takes: no values come until it is back, and the poll goes on.
    int Poll(const std::function<bool(int, int)>& onValue, double seconds, const sPollEvents& events = {});

    cCommThread& Link() { return *Thread; }
    int Version() const { return EcuVersion; }
    // The session's clock (sCliLine::Now).
    std::chrono::steady_clock::time_point Now() const;
    int IdVersion() const { return EcuIdVersion; }

    // Ends the link thread (and with it every exchange) and closes the port.
    void Close();

    // The text for a port that would not open with errno `code`.
    static std::string OpenErrorText(const std::string& port, int code);

private:
    void LinkEvent() override;
    void SettingsLoaded() override { ++Loaded; }
    void RequestFailed() override { ++Failed; }
    void SendError() override { Fail("SendError"); }
    void NoReply() override { Fail("NoReply"); }
    void BadReply() override { Fail("BadReply"); }
    void Fail(const char* name);

    // Waits until done() holds, ending at the first failure notification
    // from now on (or, when `attempts` > 1, at that many); see the waits.
    int WaitFor(const std::function<bool()>& done, const char* what, std::chrono::milliseconds limit,
                std::string& error, int attempts = 1);
    // A post refused: the failure that came meanwhile, or the link busy.
    int Refused(const char* what, std::string& error);
    // "NoReply: the ECU did not answer while reading settings on PORT".
    std::string FailureText(const char* what) const;

    cProgress& Progress;
    cCommThread::tPortMaker MakePort;
    std::function<std::chrono::steady_clock::time_point()> TimeSource;
    cUiQueue Ui;
    std::unique_ptr<cCommThread> Thread;
    std::string PortName;

    // Written only on the main thread (notifications run there).
    const char* Failure = nullptr;  // the last failure notification
    int Failures = 0;               // failure notifications so far
    int PortFailures = 0;           // of them, port failures (the link closed the port)
    bool PortOpenFailed = false;
    bool PostFailed = false;  // the last Post gave up because a failure came
    bool SawConnect = false;
    int Attempts = 0;
    int EcuVersion = 0;
    int EcuIdVersion = 0;
    bool Identified = false;
    int Answers = 0;  // identify replies: the ECU has answered
    int Loaded = 0;
    int Failed = 0;
    bool Stored = false;
    std::function<bool(int, int)> OnValue;
    bool PollEnded = false;
    const char* ProgressWhat = nullptr;
};
