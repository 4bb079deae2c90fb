// Soak benchmark: the program's screens and link thread, the visualisation
// screen shown and capturing live values to a file, against the ECU
// simulator program (zvbasic-ecusim, a child process driven through its
// standard input) at 1200 baud. Faults are injected at random intervals, each
// failure mode in turn in random order, among them the line dropping and
// coming back. Prints, does not judge:
//   - resident memory after warm-up and at the end;
//   - reconnections (settings read again after a failure);
//   - level replies the simulator sent intact (one per polling cycle), level
//     values that reached the screen while capturing, and capture records
//     written: every value the screen got must be in the file;
//   - for each fault: when, what, and how the link came back (on its own, or
//     only after the port was selected again).
// A sanitizer build stops at the first report, so reaching the summary means
// none was made while running (leaks are reported after it, at exit).
//
// Run by hand: bin/zvbasic-bench-soak [minutes, default 10] [seed]
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include "link/CommThread.h"

#include "screens/CalibForm.h"
#include "screens/ConfigForm.h"
#include "screens/DataExForm.h"
#include "screens/FileDialog.h"
#include "screens/Globals.h"
#include "screens/InfoForm.h"
#include "screens/MainForm.h"
#include "screens/QuestionForm.h"
#include "screens/SaveForm.h"
#include "screens/VisForm.h"

#include "program/ScreenSet.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// --- the simulator program, commanded through its standard input ---------

struct sSim {
    pid_t Pid = -1;
    int Commands = -1;
    std::string Link, Log;
};

sSim StartSim(const std::string& exe, const std::string& dir) {
    sSim s;
    s.Link = dir + "/ecu";
    s.Log = dir + "/frames.log";
    int in[2];
    if (::pipe(in) != 0) std::exit(2);
    s.Pid = ::fork();
    if (s.Pid == 0) {
        ::dup2(in[0], 0);
        ::close(in[0]);
        ::close(in[1]);
        const int devnull = ::open("/dev/null", O_WRONLY);
        if (devnull >= 0) ::dup2(devnull, 1);
        ::execl(exe.c_str(), exe.c_str(), "--link", s.Link.c_str(), "--log", s.Log.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(in[0]);
    s.Commands = in[1];
    return s;
}

void SimCommand(const sSim& s, const std::string& line) {
    const std::string text = line + "\n";
    if (::write(s.Commands, text.data(), text.size()) != ssize_t(text.size()))
        std::fprintf(stderr, "simulator command not sent: %s\n", line.c_str());
}

void StopSim(sSim& s) {
    if (s.Commands >= 0) {
        SimCommand(s, "quit");
        ::close(s.Commands);
    }
    if (s.Pid > 0) ::waitpid(s.Pid, nullptr, 0);
}

// Intact replies to the level read (0xD8) in the frame log, from line `from`.
long LevelReplies(const std::string& log, long from, long* lines = nullptr) {
    std::ifstream in(log);
    std::string line;
    long n = 0, count = 0;
    while (std::getline(in, line)) {
        if (n++ < from) continue;
        const size_t at = line.find("-> D8 ");
        if (at != std::string::npos && line.size() >= at + 11 && line.compare(at + 9, 2, "AC") == 0 &&
            line.find("PACING") == std::string::npos)
            ++count;
    }
    if (lines) *lines = n;
    return count;
}

long CountLines(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    long n = 0;
    while (std::getline(in, line)) ++n;
    return n;
}

long ResidentKiB() {
    std::ifstream in("/proc/self/statm");
    long size = 0, resident = 0;
    in >> size >> resident;
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

void Pump(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// What the program heard, after the screens.
class cCounter : public cLinkListener {
public:
    bool Capturing = false;
    long LevelsWhileCapturing = 0;
    long LiveValues = 0;
    int SettingsReads = 0;
    int Failures = 0, PortErrors = 0;
    void LinkEvent() override {
        if (LinkRequest == RQ_VIS_POLL || LinkRequest == RQ_IDLE_POLL) {
            ++LiveValues;
            if (LinkPhase == 8 && Capturing) ++LevelsWhileCapturing;
        }
    }
    void SettingsLoaded() override { ++SettingsReads; }
    void RequestFailed() override { ++Failures; }
    void SendError() override { ++PortErrors; }
};

}  // namespace

int main(int argc, char** argv) {
    const double minutes = argc > 1 ? std::max(0.1, std::atof(argv[1])) : 10.0;
    const unsigned seed = argc > 2 ? unsigned(std::strtoul(argv[2], nullptr, 10)) : unsigned(std::time(nullptr));
    const fs::path exeDir = fs::absolute(fs::path(argv[0])).parent_path();
    const std::string simExe = (exeDir / "zvbasic-ecusim").string();
    char tmpl[] = "/tmp/zvbasic-soak.XXXXXX";
    if (!::mkdtemp(tmpl)) return 2;
    const std::string dir = tmpl;

    sSim sim = StartSim(simExe, dir);
    for (int i = 0; i < 200 && !fs::exists(sim.Link); ++i) ::usleep(50000);
    if (!fs::exists(sim.Link)) {
        std::fprintf(stderr, "the simulator made no device (%s)\n", simExe.c_str());
        StopSim(sim);
        return 1;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    cIOForm::SetScreenOverride(QSize(1024, 768), 96);

    cScreenSet screens(cScreenSet::eScope::Work);

    cCommThread link([](const std::function<void()>& fn) {
        QMetaObject::invokeMethod(
            qApp, [&fn] { fn(); }, Qt::BlockingQueuedConnection);
    });
    CommThread = &link;
    cCounter heard;
    for (cLinkListener* l : screens.Listeners()) link.AddListener(l);
    link.AddListener(&heard);
    link.SetPortName(sim.Link);

    auto waitFor = [](const std::function<bool()>& pred, int ms) {
        QElapsedTimer t;
        t.start();
        while (!pred()) {
            if (t.elapsed() > ms) return false;
            Pump(20);
        }
        return true;
    };
    if (!waitFor([&] { return heard.SettingsReads > 0; }, 60000)) {
        std::fprintf(stderr, "the link did not read the settings\n");
        link.Shutdown([] { QCoreApplication::processEvents(); });
        StopSim(sim);
        return 1;
    }

    // The screen shown (twice, as a fitter does: from the second showing it
    // keeps the continuous poll going) and the capture started.
    VisForm->show();
    VisForm->close();
    Pump(200);
    VisForm->show();
    waitFor([&] { return !link.IsBusy(); }, 5000);
    link.PostRequest(RQ_VIS_POLL);
    Pump(3000);  // warm-up
    // The capture starts and the counting begins in one step on the
    // user-interface thread, where the live values arrive too.
    const std::string capture = dir + "/capture.dat";
    FileDialog::Hook() = [&capture](const sFileDialogRequest&) { return QString::fromStdString(capture); };
    VisForm->LogBtnClick();
    if (!VisForm->Capturing()) {
        std::fprintf(stderr, "the capture did not start\n");
        return 1;
    }
    heard.Capturing = true;
    long logFrom = 0;
    LevelReplies(sim.Log, 0, &logFrom);
    const long rss0 = ResidentKiB();
    const int reads0 = heard.SettingsReads;
    const auto t0 = Clock::now();
    auto elapsed = [&t0] { return std::chrono::duration<double>(Clock::now() - t0).count(); };
    const double total = minutes * 60;

    std::mt19937 rng(seed);
    std::printf("Soak benchmark: %.1f min, seed %u, %s build, simulator %s\n", minutes, seed,
                kSanitized ? "AddressSanitizer" : "normal", simExe.c_str());
    std::fflush(stdout);

    const std::vector<std::string> modes = {"silence",    "silence-after", "partial",  "bad-trailer",
                                            "wrong-echo", "garbage",       "line-drop"};
    std::vector<std::string> bag;
    int faults = 0, recoveredAlone = 0, reselected = 0, notRecovered = 0, repostedPoll = 0;
    // Gaps between faults scale with the run: about 20 faults per run, at
    // least 4 s apart.
    const double meanGap = std::max(4.0, total / 20);
    auto liveSince = [&heard] { return heard.LiveValues; };

    while (elapsed() < total) {
        std::uniform_real_distribution<double> gap(meanGap * 0.5, meanGap * 1.5);
        const double until = std::min(total, elapsed() + gap(rng));
        while (elapsed() < until) Pump(100);
        if (elapsed() >= total) break;

        if (bag.empty()) {
            bag = modes;
            std::shuffle(bag.begin(), bag.end(), rng);
        }
        std::string fault = bag.back();
        bag.pop_back();
        if (fault == "silence-after" || fault == "line-drop")
            fault += ":" + std::to_string(std::uniform_int_distribution<int>(0, 30)(rng));
        ++faults;
        const double at = elapsed();
        SimCommand(sim, "fault " + fault);
        const int hold = std::uniform_int_distribution<int>(2000, 8000)(rng);
        Pump(hold);
        std::string how;
        if (fault.rfind("line-drop", 0) == 0) {
            // The line has dropped (or drops once N frames have passed); then
            // it comes back as a new device under the same name.
            waitFor([&] { return heard.PortErrors > 0 && !link.IsConnected(); }, 15000);
            SimCommand(sim, "reopen");
        }
        SimCommand(sim, "fault none");
        // Back when live values flow again.
        const long before = liveSince();
        const auto back = [&] { return liveSince() > before + 8; };
        if (waitFor(back, 20000)) {
            ++recoveredAlone;
            how = "back on its own";
        } else if (!link.IsConnected()) {
            // The link waits for a port: select it again, as the user would.
            link.SetPortName(sim.Link);
            if (waitFor([&] { return heard.SettingsReads > 0 && link.IsConnected(); }, 20000) &&
                (waitFor(back, 5000) || (link.PostRequest(RQ_VIS_POLL) && (++repostedPoll, waitFor(back, 10000))))) {
                ++reselected;
                how = "back after the port was selected again";
            } else {
                ++notRecovered;
                how = "NOT back";
            }
        } else {
            if (!link.IsBusy() && link.PostRequest(RQ_VIS_POLL)) ++repostedPoll;
            if (waitFor(back, 10000)) {
                ++recoveredAlone;
                how = "back once the poll was asked for again";
            } else {
                ++notRecovered;
                how = "NOT back";
            }
        }
        std::printf("  %7.1f s  fault %-16s for %.1f s: %s after %.1f s\n", at, fault.c_str(), hold / 1000.0,
                    how.c_str(), elapsed() - at - hold / 1000.0);
        std::fflush(stdout);
    }

    VisForm->LogBtnClick();  // stops the capture
    heard.Capturing = false;
    const double wall = elapsed();
    const long rss1 = ResidentKiB();
    Pump(500);
    const long answered = LevelReplies(sim.Log, logFrom);
    const long records = std::max(0L, CountLines(capture) - 1);

    std::printf("Soak summary: %.1f s\n", wall);
    std::printf("  resident memory              %ld KiB -> %ld KiB (growth %ld KiB)\n", rss0, rss1, rss1 - rss0);
    std::printf(
        "  faults injected              %d: back on their own %d, after selecting the port again %d, "
        "not back %d (poll asked for again %d times)\n",
        faults, recoveredAlone, reselected, notRecovered, repostedPoll);
    std::printf("  reconnections                %d (settings read again)\n", heard.SettingsReads - reads0);
    std::printf("  failed requests / port errors %d / %d\n", heard.Failures, heard.PortErrors);
    std::printf("  polling cycles answered      %ld (intact level replies from the simulator while capturing)\n",
                answered);
    std::printf("  level values on the screen   %ld\n", heard.LevelsWhileCapturing);
    std::printf("  capture records written      %ld (%s)\n", records,
                records == heard.LevelsWhileCapturing ? "every value the screen got"
                                                      : "DIFFERS from the values the screen got");
    std::printf("  sanitizer reports            %s\n",
                kSanitized ? "none while running (a report would have stopped the run)" : "not a sanitizer build");
    std::fflush(stdout);

    VisForm->close();
    FileDialog::Hook() = nullptr;
    link.Shutdown([] { QCoreApplication::processEvents(QEventLoop::AllEvents, 5); });
    CommThread = nullptr;
    StopSim(sim);
    std::error_code ec;
    fs::remove_all(dir, ec);
    return 0;
}
