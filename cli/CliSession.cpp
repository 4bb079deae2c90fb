#include "cli/CliSession.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/Error.h"

#include "serial/ComPort.h"
#include "serial/PortAccess.h"

#include "cli/CliArgs.h"

volatile std::sig_atomic_t CliSignal = 0;

namespace {
// About five seconds of handshakes (one every 300 ms or so) without an answer.
constexpr int kMaxHandshakes = 16;
constexpr auto kStepLimit = std::chrono::seconds(60);
constexpr auto kPostLimit = std::chrono::milliseconds(3000);

const char* Meaning(const char* failure) {
    const std::string f = failure;
    if (f == "SendError") return "the port could not send (or the line dropped)";
    if (f == "NoReply") return "the ECU did not answer";
    return "the ECU answered wrongly";
}
}  // namespace

// ---- progress ----------------------------------------------------------------

void cProgress::Show(const char* what, int percent) {
    if (Quiet) return;
    percent = std::max(0, std::min(100, percent));
    if (Terminal) {
        if (What && What != what) End();
        What = what;
        if (percent == Shown) return;
        Shown = percent;
        constexpr int width = 30;
        const int filled = percent * width / 100;
        std::fprintf(stderr, "\r%-17s [%s%s] %3d%%", what, std::string(size_t(filled), '#').c_str(),
                     std::string(size_t(width - filled), '-').c_str(), percent);
        std::fflush(stderr);
        return;
    }
    if (What != what) {
        What = what;
        Shown = 0;
    }
    const int quarter = percent / 25 * 25;
    if (quarter > Shown) {
        Shown = quarter;
        std::fprintf(stderr, "%s: %d%%\n", what, quarter);
    }
}

void cProgress::End() {
    if (Quiet) return;
    if (Terminal && What) std::fputc('\n', stderr);
    What = nullptr;
    Shown = -1;
}

// ---- session -----------------------------------------------------------------

cCliSession::cCliSession(cProgress& progress, const sCliLine& line)
    : Progress(progress),
      MakePort(line.MakePort ? line.MakePort : [](std::shared_ptr<cWaitHub> hub) -> std::unique_ptr<cBytePort> {
          return std::make_unique<cComPort>(std::move(hub));
      }),
      TimeSource(line.Now ? line.Now : [] { return std::chrono::steady_clock::now(); }) {
    Thread = std::make_unique<cCommThread>([this](const std::function<void()>& fn) { Ui.Invoke(fn); }, MakePort);
    Thread->AddListener(this);
}

std::chrono::steady_clock::time_point cCliSession::Now() const { return TimeSource(); }

cCliSession::~cCliSession() { Close(); }

std::string cCliSession::OpenErrorText(const std::string& port, int code) {
    std::string text = "cannot open " + port + ": ";
    if (code == EBUSY) return text + "in use by another program";
    if (code == ENOTTY || code < 0) return text + "not a serial port";
    text += std::strerror(code);
    // One line for scripts; the group is the one that owns the device.
    if (code == EACCES || code == EPERM) text += " (the user must be in the group " + PortGroup(port) + ")";
    return text;
}

int cCliSession::Open(const std::string& port, std::string& error) {
    PortName = port;
    {
        // The link reports an unusable port only as SendError; opening it
        // here first gives the reason. A port that another program holds is
        // refused before anything is sent or changed on it.
        const std::unique_ptr<cBytePort> probe = MakePort(std::make_shared<cWaitHub>());
        try {
            probe->Open(port);
        } catch (const sError& e) {
            error = OpenErrorText(port, e.Code);
            return EXIT_PORT;
        }
        probe->Close();
    }
    Thread->SetPortName(port);
    return EXIT_OK;
}

void cCliSession::Fail(const char* name) {
    // The link could not open the port: SendError before any handshake.
    if (!SawConnect && std::string(name) == "SendError") PortOpenFailed = true;
    // A port failure: the link has closed the port (and tries it again
    // about once a second).
    if (Thread && Thread->GetPort().GetPortName().empty()) ++PortFailures;
    Failure = name;
    ++Failures;
}

void cCliSession::LinkEvent() {
    switch (LinkRequest) {
    case RQ_CONNECT:
        if (LinkPhase == 0) SawConnect = true;
        if (LinkPhase == 1) ++Attempts;
        break;
    case RQ_IDENTIFY:
        if (LinkPhase == 1) {
            EcuIdVersion = LinkValue & 0xFF;
            ++Answers;
        }
        if (LinkPhase == 3) {
            EcuVersion = LinkValue & 0xFF;
            Identified = true;
        }
        break;
    case RQ_READ_SETTINGS:
        if (LinkPhase == 1) {
            // The fraction done before parameter i: i / n.
            const int n = Ecu::ReadCount(EcuVersion);
            const int i = int(std::lround(ValueToProgress(LinkValue) * float(n)));
            Progress.Show("reading settings", (i + 1) * 100 / n);
        } else if (LinkPhase == 2) {
            Progress.Show("reading settings", 100);
            Progress.End();
        }
        break;
    case RQ_WRITE_SETTINGS:
        if (LinkPhase == 1) {
            // The steps, then the store.
            const int n = Ecu::NewProtocol(EcuVersion) ? 10 : Ecu::OldWriteCount(EcuVersion);
            Progress.Show("writing settings", (LinkValue + 1) * 100 / (n + 1));
        } else if (LinkPhase == 2 && LinkValue == 1) {
            Stored = true;
            Progress.Show("writing settings", 100);
            Progress.End();
        }
        break;
    case RQ_VIS_POLL:
    case RQ_IDLE_POLL:
        if (OnValue && !PollEnded && !OnValue(LinkPhase, LinkValue & 0xFF)) PollEnded = true;
        break;
    default: break;
    }
}

std::string cCliSession::FailureText(const char* what) const {
    if (!what) what = Identified ? "reading settings" : "connecting";
    return std::string(Failure) + ": " + Meaning(Failure) + " while " + what + " on " + PortName;
}

int cCliSession::WaitFor(const std::function<bool()>& done, const char* what, std::chrono::milliseconds limit,
                         std::string& error, int attempts) {
    const int failuresBefore = Failures, portFailuresBefore = PortFailures, attemptsBefore = Attempts;
    const auto gaveUp = [&] {
        return Failures - failuresBefore >= attempts || PortFailures > portFailuresBefore || PortOpenFailed ||
               Attempts - attemptsBefore > kMaxHandshakes;
    };
    const bool ok = Ui.RunUntil([&] { return done() || gaveUp(); }, limit, [] { return CliSignal != 0; });
    if (CliSignal) return 128 + int(CliSignal);
    if (PortOpenFailed) {
        error = OpenErrorText(PortName, Thread->GetPort().LastOpenError());
        return EXIT_PORT;
    }
    if (ok && done()) return EXIT_OK;
    Progress.End();
    if (Failures > failuresBefore && (Failures - failuresBefore >= attempts || PortFailures > portFailuresBefore)) {
        error = FailureText(what);
        return EXIT_ECU;
    }
    if (Attempts - attemptsBefore > kMaxHandshakes) {
        error = "NoReply: no answer to the handshake on " + PortName + " (is the ECU connected and switched on?)";
        return EXIT_ECU;
    }
    if (!what) what = Identified ? "reading settings" : "connecting";
    error = std::string("NoReply: no end in time while ") + what + " on " + PortName;
    return EXIT_ECU;
}

int cCliSession::WaitIdentified(std::string& error) {
    return WaitFor([this] { return Identified; }, "connecting", kStepLimit, error, ConnectAttempts);
}

int cCliSession::WaitSettingsLoaded(std::string& error) {
    return WaitFor([this] { return Loaded > 0; }, nullptr, kStepLimit, error, ConnectAttempts);
}

int cCliSession::Refused(const char* what, std::string& error) {
    if (CliSignal) return 128 + int(CliSignal);
    Progress.End();
    if (Failure && PostFailed) error = FailureText(what);
    else error = std::string("NoReply: the link stayed busy while ") + what + " on " + PortName;
    return EXIT_ECU;
}

bool cCliSession::Post(int32_t request) {
    const auto deadline = std::chrono::steady_clock::now() + kPostLimit;
    const int failuresBefore = Failures;
    PostFailed = false;
    while (!Thread->PostRequest(request)) {
        PostFailed = Failures > failuresBefore;
        if (CliSignal || PostFailed || std::chrono::steady_clock::now() >= deadline) return false;
        Ui.RunUntil([] { return false; }, std::chrono::milliseconds(20));
    }
    return true;
}

int cCliSession::Write(std::string& error) {
    Stored = false;
    const int failedBefore = Failed;
    if (!Post(RQ_WRITE_SETTINGS)) return Refused("writing settings", error);
    return WaitFor([&] { return Stored || Failed > failedBefore; }, "writing settings", kStepLimit, error);
}

int cCliSession::ReadAgain(std::string& error) {
    const int loadedBefore = Loaded;
    if (!Post(RQ_READ_SETTINGS)) return Refused("reading settings", error);
    return WaitFor([&] { return Loaded > loadedBefore; }, "reading settings", kStepLimit, error);
}

int cCliSession::Poll(const std::function<bool(int, int)>& onValue, double seconds, const sPollEvents& events) {
    using Clock = std::chrono::steady_clock;
    const auto end =
        seconds > 0 ? Now() + std::chrono::milliseconds(std::llround(seconds * 1000)) : Clock::time_point::max();
    PollEnded = false;
    OnValue = onValue;
    const auto finish = [&](int rc) {
        OnValue = nullptr;
        Thread->StopRequest();
        return rc;
    };
    const auto secondsSince = [&](Clock::time_point t) { return std::chrono::duration<double>(Now() - t).count(); };
    // Away from the first failure until the poll runs again (connected,
    // identified, settings read); failures meanwhile (each handshake in the
    // dark) belong to the same time away.
    bool away = false;
    Clock::time_point awaySince;
    int notesGiven = 0;  // "still away" notes of this time away
    int failuresSeen = Failures, loadedSeen = Loaded;
    // Posted at the start and after each reconnection; Post gives up when a
    // failure comes in between, which the loop below then handles.
    bool posted = Post(RQ_VIS_POLL);
    for (;;) {
        const auto now = Now();
        if (now >= end) return finish(EXIT_OK);
        const auto slice = std::min<Clock::duration>(end - now, std::chrono::milliseconds(100));
        Ui.RunUntil([&] { return PollEnded || Failures != failuresSeen || Loaded != loadedSeen; },
                    std::chrono::duration_cast<std::chrono::milliseconds>(slice) + std::chrono::milliseconds(1),
                    [] { return CliSignal != 0; });
        if (CliSignal) return finish(128 + int(CliSignal));
        if (PollEnded) return finish(EXIT_OK);
        if (Failures != failuresSeen) {
            failuresSeen = Failures;
            if (!away) {
                away = true;
                awaySince = Now();
                notesGiven = 0;
                OnValue = nullptr;  // nothing from a cycle the glitch cut
                if (events.Lost) events.Lost(FailureText("polling live values"));
            }
        }
        if (Loaded != loadedSeen) {
            // The link is back: connected, identified, settings read.
            loadedSeen = Loaded;
            posted = false;
        }
        if (away && Loaded > 0 && !posted && Thread->IsConnected()) {
            away = false;
            OnValue = onValue;
            if (events.Back) events.Back(secondsSince(awaySince));
        }
        if (away) {
            // One note per AwayNoteEvery of the session's clock; a clock that
            // jumped on gives one note, not one for each step it passed.
            const double awayFor = secondsSince(awaySince);
            const int steps = int(awayFor / double(AwayNoteEvery.count()));
            if (steps > notesGiven) {
                notesGiven = steps;
                if (events.StillAway) events.StillAway(awayFor);
            }
        }
        if (!away && !posted) {
            posted = Post(RQ_VIS_POLL);
            if (!posted && Failures == failuresSeen && !CliSignal) {
                // Refused for want of a moment: the link is still busy.
                continue;
            }
        }
    }
}

void cCliSession::Close() {
    if (!Thread) return;
    Thread->Shutdown([this] { Ui.RunPending(); });
    Thread.reset();
}
