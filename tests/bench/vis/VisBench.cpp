// Visualisation benchmark: the visualisation screen shown, the link running
// the continuous live poll against the ECU simulator at the real pace of
// 1200 baud, for a while (30 s by default). Prints, does not judge:
//   - CPU time of the program (user + system) as a share of one core;
//   - resident memory growth over the run;
//   - the time from a live value leaving the link thread to the widget that
//     shows it being repainted (median, 99th percentile, maximum).
// The simulator runs in a child process, so that only the program is measured.
//
// Run by hand: bin/zvbasic-bench-vis [seconds] [ecu version]
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>

#include "link/CommThread.h"

#include "widgets/DialGauge.h"
#include "widgets/LambdaTrace.h"
#include "widgets/Lamp.h"
#include "widgets/LineGauge.h"
#include "widgets/PaintProbe.h"

#include "screens/CalibForm.h"
#include "screens/ConfigForm.h"
#include "screens/DataExForm.h"
#include "screens/Globals.h"
#include "screens/InfoForm.h"
#include "screens/MainForm.h"
#include "screens/QuestionForm.h"
#include "screens/SaveForm.h"
#include "screens/VisForm.h"

#include "program/ScreenSet.h"

#include "tools/ecusim/EcuSimulator.h"

using Clock = std::chrono::steady_clock;

namespace {

// --- the simulator in a child process -------------------------------------

struct sChild {
    pid_t Pid = -1;
    int Hold = -1;  // closing it tells the child to stop
    std::string Device;
};

sChild StartSimulator(int version) {
    int path[2], hold[2];
    if (::pipe(path) != 0 || ::pipe(hold) != 0) std::exit(2);
    sChild c;
    c.Pid = ::fork();
    if (c.Pid == 0) {
        ::close(path[0]);
        ::close(hold[1]);
        sSimOptions o;
        o.Version = version;
        o.Instant = false;  // replies at 1200 baud byte time
        cEcuSimulator sim(o);
        sim.Start();
        std::string dev = sim.DevicePath() + "\n";
        if (::write(path[1], dev.data(), dev.size()) < 0) ::_exit(3);
        ::close(path[1]);
        char b;
        while (::read(hold[0], &b, 1) > 0) {}
        sim.Stop();
        ::_exit(0);
    }
    ::close(path[1]);
    ::close(hold[0]);
    c.Hold = hold[1];
    char buf[512];
    ssize_t n = 0, got;
    while (n < ssize_t(sizeof buf) - 1 && (got = ::read(path[0], buf + n, sizeof buf - 1 - n)) > 0) {
        n += got;
        if (std::find(buf, buf + n, '\n') != buf + n) break;
    }
    ::close(path[0]);
    c.Device.assign(buf, buf + n);
    while (!c.Device.empty() && (c.Device.back() == '\n' || c.Device.back() == '\0')) c.Device.pop_back();
    return c;
}

void StopSimulator(sChild& c) {
    if (c.Hold >= 0) ::close(c.Hold);
    if (c.Pid > 0) ::waitpid(c.Pid, nullptr, 0);
}

// --- measurements --------------------------------------------------------

double CpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6 + u.ru_stime.tv_sec + u.ru_stime.tv_usec / 1e6;
}

long ResidentKiB() {
    std::ifstream in("/proc/self/statm");
    long size = 0, resident = 0;
    in >> size >> resident;
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

// Runs the event loop for a while (sleeping while there is nothing to do).
void Pump(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the event loop until pred holds, checking every 10 ms; false after ms.
bool WaitFor(const std::function<bool()>& pred, int ms) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > ms) return false;
        Pump(10);
    }
    return true;
}

// When the delivery now running left the link thread (set by the invoker).
Clock::time_point DeliveryStart;

std::map<const QWidget*, Clock::time_point> Pending;  // change shown, repaint not yet done
std::vector<double> LatenciesMs;
bool Measuring = false;
long LiveValues = 0, Paints = 0;

// Heard first: notes when the live value left the link thread. Every widget
// that changes while the screens handle it then waits for its paint.
class cBefore : public cLinkListener {
public:
    bool Live = false;
    Clock::time_point Start;
    void LinkEvent() override {
        Live = LinkRequest == RQ_VIS_POLL || LinkRequest == RQ_IDLE_POLL;
        Start = DeliveryStart;
        if (Live && Measuring) ++LiveValues;
    }
};

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    size_t i = size_t(p * (v.size() - 1) + 0.5);
    return v[std::min(i, v.size() - 1)];
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    const int version = argc > 2 ? std::atoi(argv[2]) : 48;
    // Before any thread exists.
    sChild sim = StartSimulator(version);
    if (sim.Device.empty()) {
        std::fprintf(stderr, "simulator did not start\n");
        return 1;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    cIOForm::SetScreenOverride(QSize(1024, 768), 96);

    cScreenSet screens(cScreenSet::eScope::Work);

    cBefore before;
    PaintProbe::RequestHook() = [&before](const QWidget* w) {
        if (before.Live && !Pending.count(w)) Pending[w] = before.Start;
    };
    PaintProbe::Hook() = [](const QWidget* w) {
        auto it = Pending.find(w);
        if (it == Pending.end()) return;
        if (Measuring) {
            LatenciesMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - it->second).count());
            ++Paints;
        }
        Pending.erase(it);
    };

    cCommThread link([](const std::function<void()>& fn) {
        const Clock::time_point left = Clock::now();
        QMetaObject::invokeMethod(
            qApp,
            [&fn, left] {
                DeliveryStart = left;
                fn();
            },
            Qt::BlockingQueuedConnection);
    });
    CommThread = &link;
    int loaded = 0;
    struct cLoaded : cLinkListener {
        int* N;
        explicit cLoaded(int* n) : N(n) {}
        void SettingsLoaded() override { ++*N; }
    } loadedProbe(&loaded);
    link.AddListener(&before);
    for (cLinkListener* l : screens.Listeners()) link.AddListener(l);
    link.AddListener(&loadedProbe);
    link.SetPortName(sim.Device);

    if (!WaitFor([&] { return loaded > 0; }, 30000)) {
        std::fprintf(stderr, "the link did not read the settings\n");
        link.Shutdown([] { QCoreApplication::processEvents(); });
        StopSimulator(sim);
        return 1;
    }

    // Opened twice, as a fitter coming back to it: from the second showing the
    // screen wants the continuous poll (the program posts it again after every
    // settings read); here it is posted once the link is free.
    VisForm->show();
    VisForm->close();
    Pump(200);
    VisForm->show();
    WaitFor([&] { return !link.IsBusy(); }, 5000);
    if (!link.PostRequest(RQ_VIS_POLL)) std::fprintf(stderr, "poll request refused\n");
    Pump(3000);  // warm-up: fonts, caches, first paints

    const long rss0 = ResidentKiB();
    const double cpu0 = CpuSeconds();
    const auto t0 = Clock::now();
    Measuring = true;
    Pump(seconds * 1000);
    Measuring = false;
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    const double cpu = CpuSeconds() - cpu0;
    const long rss1 = ResidentKiB();

    std::printf("Visualisation benchmark: ECU version %d, continuous live poll at 1200 baud, %.1f s\n", version, wall);
    std::printf("  live values delivered        %ld (%.1f per second)\n", LiveValues, LiveValues / wall);
    std::printf("  widget repaints measured     %ld\n", Paints);
    std::printf("  CPU time                     %.3f s = %.2f %% of one core (target < 3 %%)\n", cpu,
                100.0 * cpu / wall);
    std::printf("  resident memory              %ld KiB -> %ld KiB, growth %ld KiB (target <= 1024 KiB)\n", rss0, rss1,
                rss1 - rss0);
    std::printf("  value to repaint, median     %.2f ms (target < 5 ms)\n", Percentile(LatenciesMs, 0.5));
    std::printf("  value to repaint, 99th pct   %.2f ms\n", Percentile(LatenciesMs, 0.99));
    std::printf("  value to repaint, maximum    %.2f ms\n",
                LatenciesMs.empty() ? 0.0 : *std::max_element(LatenciesMs.begin(), LatenciesMs.end()));

    VisForm->close();
    link.Shutdown([] { QCoreApplication::processEvents(QEventLoop::AllEvents, 5); });
    CommThread = nullptr;
    PaintProbe::Hook() = nullptr;
    PaintProbe::RequestHook() = nullptr;
    StopSimulator(sim);
    return 0;
}
