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

#include "cli/UiQueue.h"
#include "link/CommThread.h"
#include "link/LinkListener.h"

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

class cCliSession : private cLinkListener {
public:
    explicit cCliSession(cProgress& progress);
    ~cCliSession() override;

    // Opens the port once to find out whether it can be opened at all (the
    // system's reason goes to `error`), then hands it to the link. EXIT_OK or
    // EXIT_PORT.
    int Open(const std::string& port, std::string& error);

    // The waits return EXIT_OK, EXIT_ECU (error says which notification and
    // where), EXIT_PORT (the link could not open the port) or 128 + the
    // signal number.
    int WaitIdentified(std::string& error);
    int WaitSettingsLoaded(std::string& error);
    // Posts a request (retried while the link is busy for a moment).
    bool Post(int32_t request);
    int Write(std::string& error);     // RQ_WRITE_SETTINGS until stored
    int ReadAgain(std::string& error); // RQ_READ_SETTINGS until loaded
    // Runs the visualisation poll; `onValue` gets each live value (k, raw)
    // as the link reports it and returns false to end the poll. Ends also
    // after `seconds` (0: no limit), with success.
    int Poll(const std::function<bool(int, int)>& onValue, double seconds, std::string& error);

    cCommThread& Link() { return *Thread; }
    int Version() const { return EcuVersion; }
    int IdVersion() const { return EcuIdVersion; }

    // Ends the link thread (and with it every exchange) and closes the port.
    void Close();

private:
    void LinkEvent() override;
    void SettingsLoaded() override { ++Loaded; }
    void RequestFailed() override { ++Failed; }
    void SendError() override { Fail("SendError"); }
    void NoReply() override { Fail("NoReply"); }
    void BadReply() override { Fail("BadReply"); }
    void Fail(const char* name);

    // Waits until done() holds; see the waits above.
    int WaitFor(const std::function<bool()>& done, const char* what, std::chrono::milliseconds limit,
                std::string& error);

    cProgress& Progress;
    cUiQueue Ui;
    std::unique_ptr<cCommThread> Thread;
    std::string PortName;

    // Written only on the main thread (notifications run there).
    const char* Failure = nullptr;
    bool PortOpenFailed = false;
    bool SawConnect = false;
    int Attempts = 0;
    int EcuVersion = 0;
    int EcuIdVersion = 0;
    bool Identified = false;
    int Loaded = 0;
    int Failed = 0;
    bool Stored = false;
    std::function<bool(int, int)> OnValue;
    bool PollEnded = false;
    const char* ProgressWhat = nullptr;
};
