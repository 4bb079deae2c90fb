#include "cli/CliSession.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <cstdio>

#include "core/Error.h"
#include "app/PortAccess.h"
#include "cli/CliArgs.h"
#include "serial/ComPort.h"

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

cCliSession::cCliSession(cProgress& progress) : Progress(progress) {
    Thread = std::make_unique<cCommThread>([this](const std::function<void()>& fn) { Ui.Invoke(fn); });
    Thread->AddListener(this);
}

cCliSession::~cCliSession() { Close(); }

int cCliSession::Open(const std::string& port, std::string& error) {
    PortName = port;
    {
        // The link reports an unusable port only as SendError; opening it
        // here first gives the system's reason.
        cComPort probe;
        try {
            probe.Open(port);
        } catch (const sError& e) {
            error = "cannot open " + port + ": " + (e.Code >= 0 ? std::strerror(e.Code) : "not a serial port");
            // One line for scripts; the group is the one that owns the device.
            if (e.Code == EACCES || e.Code == EPERM)
                error += " (the user must be in the group " + PortGroup(port) + ")";
            return EXIT_PORT;
        }
        probe.Close();
    }
    Thread->SetPortName(port);
    return EXIT_OK;
}

void cCliSession::Fail(const char* name) {
    // The link could not open the port: SendError before any handshake.
    if (!SawConnect && std::string(name) == "SendError") PortOpenFailed = true;
    if (!Failure) Failure = name;
}

void cCliSession::LinkEvent() {
    switch (LinkRequest) {
    case RQ_CONNECT:
        if (LinkPhase == 0) SawConnect = true;
        if (LinkPhase == 1) ++Attempts;
        break;
    case RQ_IDENTIFY:
        if (LinkPhase == 1) EcuIdVersion = LinkValue & 0xFF;
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
    default:
        break;
    }
}

int cCliSession::WaitFor(const std::function<bool()>& done, const char* what, std::chrono::milliseconds limit,
                         std::string& error) {
    const bool ok = Ui.RunUntil(
        [&] { return done() || Failure || PortOpenFailed || Attempts > kMaxHandshakes; }, limit,
        [] { return CliSignal != 0; });
    if (CliSignal) return 128 + int(CliSignal);
    if (PortOpenFailed) {
        error = "cannot open " + PortName;
        return EXIT_PORT;
    }
    if (Failure) {
        Progress.End();
        if (!what) what = Identified ? "reading settings" : "connecting";
        error = std::string(Failure) + ": " + Meaning(Failure) + " while " + what + " on " + PortName;
        return EXIT_ECU;
    }
    if (ok && done()) return EXIT_OK;
    Progress.End();
    if (Attempts > kMaxHandshakes) {
        error = "NoReply: no answer to the handshake on " + PortName + " (is the ECU connected and switched on?)";
        return EXIT_ECU;
    }
    if (!what) what = Identified ? "reading settings" : "connecting";
    error = std::string("NoReply: no end in time while ") + what + " on " + PortName;
    return EXIT_ECU;
}

int cCliSession::WaitIdentified(std::string& error) {
    return WaitFor([this] { return Identified; }, "connecting", kStepLimit, error);
}

int cCliSession::WaitSettingsLoaded(std::string& error) {
    return WaitFor([this] { return Loaded > 0; }, nullptr, kStepLimit, error);
}

bool cCliSession::Post(int32_t request) {
    const auto deadline = std::chrono::steady_clock::now() + kPostLimit;
    while (!Thread->PostRequest(request)) {
        if (CliSignal || Failure || std::chrono::steady_clock::now() >= deadline) return false;
        Ui.RunUntil([] { return false; }, std::chrono::milliseconds(20));
    }
    return true;
}

int cCliSession::Write(std::string& error) {
    Stored = false;
    const int failedBefore = Failed;
    if (!Post(RQ_WRITE_SETTINGS)) {
        if (CliSignal) return 128 + int(CliSignal);
        return WaitFor([] { return false; }, "writing settings", std::chrono::milliseconds(0), error);
    }
    return WaitFor([&] { return Stored || Failed > failedBefore; }, "writing settings", kStepLimit, error);
}

int cCliSession::ReadAgain(std::string& error) {
    const int loadedBefore = Loaded;
    if (!Post(RQ_READ_SETTINGS)) {
        if (CliSignal) return 128 + int(CliSignal);
        return WaitFor([] { return false; }, "reading settings", std::chrono::milliseconds(0), error);
    }
    return WaitFor([&] { return Loaded > loadedBefore; }, "reading settings", kStepLimit, error);
}

int cCliSession::Poll(const std::function<bool(int, int)>& onValue, double seconds, std::string& error) {
    PollEnded = false;
    OnValue = onValue;
    if (!Post(RQ_VIS_POLL)) {
        OnValue = nullptr;
        if (CliSignal) return 128 + int(CliSignal);
        return WaitFor([] { return false; }, "polling live values", std::chrono::milliseconds(0), error);
    }
    const auto limit = seconds > 0 ? std::chrono::milliseconds(std::llround(seconds * 1000))
                                   : std::chrono::milliseconds(std::chrono::hours(24 * 365 * 10));
    const int rc = WaitFor([this] { return PollEnded; }, "polling live values", limit, error);
    OnValue = nullptr;
    Thread->StopRequest();
    // The time limit of a capture is its normal end.
    if (rc == EXIT_ECU && !Failure && !PortOpenFailed && seconds > 0) {
        error.clear();
        return EXIT_OK;
    }
    return rc;
}

void cCliSession::Close() {
    if (!Thread) return;
    Thread->Shutdown([this] { Ui.RunPending(); });
    Thread.reset();
}
