// Capture viewer benchmark: opening a capture of 1,000,000 records until the
// first plot is painted, against `wc -l` on the same file (the floor of
// reading it at all); memory per record; redraw time after zoom and pan at
// 1600 x 900. Prints figures; run by hand:
//   QT_QPA_PLATFORM=offscreen bin/zvbasic-bench-capview [records]
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>

#include "formats/CaptureFile.h"

#include "analysis/DriveStats.h"

#include "capview/PlotView.h"
#include "capview/ViewerForm.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }

long ResidentKb() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

// A drive through the program's own writer: throttle, lambda swinging,
// engine speed and valve following the throttle.
void WriteCapture(const fs::path& p, int records) {
    cCaptureFile f;
    f.Open(p.string());
    std::mt19937 rng(5);
    for (int i = 0; i < records; ++i) {
        const int raw = int(128 + 120 * std::sin(i / 900.0) + int(rng() % 7) - 3);
        const int tps = std::clamp(raw, 0, 255);
        const int code = std::max(1, 54000 / (800 + tps * 20));
        sLiveSample s;
        s.TPSVolts = float(tps / 51.0);
        s.LambdaVolts = float(((i / 3) % 2 ? 40 : 6) / 51.0);
        s.RPM = 54000 / code;
        s.ValvePos = std::clamp(50 + tps / 3 + int(rng() % 5), 0, 255);
        f.WriteRecord(s);
    }
}

double CpuMs(int who) {
    rusage u{};
    ::getrusage(who, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

// CPU time of `wc -l` (children's CPU), median of five.
double WcCpuMs(const fs::path& p) {
    std::vector<double> times;
    const std::string cmd = "wc -l '" + p.string() + "' > /dev/null";
    for (int i = 0; i < 5; ++i) {
        const double a = CpuMs(RUSAGE_CHILDREN);
        if (std::system(cmd.c_str()) != 0) return -1;
        times.push_back(CpuMs(RUSAGE_CHILDREN) - a);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

double WcMs(const fs::path& p) {
    std::vector<double> times;
    const std::string cmd = "wc -l '" + p.string() + "' > /dev/null";
    for (int i = 0; i < 5; ++i) {
        auto a = Clock::now();
        if (std::system(cmd.c_str()) != 0) return -1;
        times.push_back(Ms(a, Clock::now()));
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

double Percentile(std::vector<double> v, double q) {
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(q * double(v.size())))];
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    const int records = argc > 1 ? std::atoi(argv[1]) : 1000000;
    const fs::path file = fs::temp_directory_path() / ("zvcap_bench_" + std::to_string(::getpid()) + ".dat");
    WriteCapture(file, records);
    std::printf("capture: %d records, %.1f MB\n", records, double(fs::file_size(file)) / 1e6);
    const double wc = WcMs(file);  // also warms the page cache

    // Opening until the first plot, in a window of 1600 x 900 plot pixels.
    std::vector<double> opens, openCpus, loadedAt, paints;
    Clock::time_point start;
    long rssDelta = 0;
    size_t held = 0;
    for (int round = 0; round < 5; ++round) {
        TViewerForm form;
        form.resize(1700, 1100);
        form.show();
        QApplication::processEvents();
        const long before = ResidentKb();
        Clock::time_point painted{};
        bool done = false;
        QObject::connect(&form, &TViewerForm::FileLoaded, &form, [&] {
            const auto a = Clock::now();
            form.Plot()->repaint();
            painted = Clock::now();
            loadedAt.push_back(Ms(start, a));
            paints.push_back(Ms(a, painted));
            done = true;
        });
        start = Clock::now();
        const double cpu0 = CpuMs(RUSAGE_SELF);
        form.OpenFiles({QString::fromStdString(file.string())});
        while (!done) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        opens.push_back(Ms(start, painted));
        openCpus.push_back(CpuMs(RUSAGE_SELF) - cpu0);
        if (round == 0) {
            rssDelta = ResidentKb() - before;
            held = form.Captures()[0]->MemoryBytes();
        }
    }
    const double open = Percentile(opens, 0.5);
    const double budget = 2 * wc + 100;
    std::printf("  file read and shown in the window after median %.1f ms, then the first plot painted in %.1f ms\n",
                Percentile(loadedAt, 0.5), Percentile(paints, 0.5));
    std::printf("wc -l: %.1f ms; open to first plot: median %.1f ms (of 5: min %.1f, max %.1f)\n", wc, open,
                *std::min_element(opens.begin(), opens.end()), *std::max_element(opens.begin(), opens.end()));
    std::printf("  budget 2 x wc -l + 100 ms = %.1f ms; ratio open / budget = %.2f (below 1 meets it)\n", budget,
                open / budget);
    const double wcCpu = WcCpuMs(file), openCpu = Percentile(openCpus, 0.5);
    std::printf(
        "CPU time (less sensitive to a busy machine): wc -l %.1f ms, open %.1f ms; ratio open / (2 x wc -l + "
        "100 ms) = %.2f\n",
        wcCpu, openCpu, openCpu / (2 * wcCpu + 100));
    std::printf(
        "memory: resident growth %.1f bytes per record; records and pyramids hold %.1f bytes per record "
        "(limit 40)\n",
        rssDelta * 1024.0 / records, double(held) / records);

    // Where the time goes: reading and parsing, then indexing.
    {
        Capture::sLoadedCapture c;
        auto a = Clock::now();
        const double c0 = CpuMs(RUSAGE_SELF);
        c.Result = Capture::ReadCaptureFile(file.string(), c.Data);
        auto b = Clock::now();
        const double c1 = CpuMs(RUSAGE_SELF);
        c.Index();
        std::printf("  of which reading and parsing %.1f ms (CPU %.1f ms), min/max pyramids %.1f ms (CPU %.1f ms)\n",
                    Ms(a, b), c1 - c0, Ms(b, Clock::now()), CpuMs(RUSAGE_SELF) - c1);
    }

    // The speed x throttle map over all records (default steps, and a fine
    // grid that takes the sparse path), and the scatter plot's density grid.
    {
        Capture::sLoadedCapture c;
        c.Load(file.string());
        std::vector<double> coarse, fine, grid;
        size_t cells = 0;
        for (int i = 0; i < 5; ++i) {
            auto a = Clock::now();
            cells = Capture::BuildDriveMap(c.Data, Capture::sRange::All(c.Data), {}).Cells.size();
            auto b = Clock::now();
            Capture::BuildDriveMap(c.Data, Capture::sRange::All(c.Data), {1, 0.01, 0.45});
            auto d = Clock::now();
            Capture::BuildDensityGrid(c.Data, Capture::TraceRpm, Capture::TraceValve, Capture::TraceLambda,
                                      Capture::sRange::All(c.Data), 0, 8000, 0, 255, 800, 450);
            grid.push_back(Ms(d, Clock::now()));
            coarse.push_back(Ms(a, b));
            fine.push_back(Ms(b, d));
        }
        std::printf(
            "speed x throttle map of %d records: median %.1f ms (500 rpm x 0.5 V, %zu cells); 1 rpm x 0.01 V: "
            "%.1f ms; scatter density grid 800 x 450: %.1f ms\n",
            records, Percentile(coarse, 0.5), cells, Percentile(fine, 0.5), Percentile(grid, 0.5));
    }

    // Redraw after zoom or pan, at any zoom level.
    cPlotView view;
    view.resize(1600, 900);
    view.show();
    auto capture = std::make_shared<Capture::sLoadedCapture>();
    capture->Load(file.string());
    view.SetCaptures(capture, nullptr);
    view.SetCursor(size_t(records / 3));
    view.SetSelection(size_t(records / 4), size_t(records / 2));
    QApplication::processEvents();
    std::mt19937 rng(9);
    std::uniform_real_distribution<double> unit(0, 1);
    std::vector<double> redraws, redrawCpus;
    auto threadCpuMs = [] {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
    };
    for (int i = 0; i < 600; ++i) {
        const double span =
            std::pow(10.0, std::log10(cPlotView::MinSpan) +
                               unit(rng) * (std::log10(double(records)) - std::log10(cPlotView::MinSpan)));
        if (i % 2) view.Pan((unit(rng) - 0.5) * view.Scene().View.Span);
        else view.SetView(unit(rng) * (records - span), span);
        const auto a = Clock::now();
        const double c = threadCpuMs();
        view.repaint();
        redraws.push_back(Ms(a, Clock::now()));
        redrawCpus.push_back(threadCpuMs() - c);
        if (std::getenv("ZV_BENCH_VERBOSE") && redraws.back() > 16)
            std::printf("  slow: %.1f ms at first %.0f span %.1f\n", redraws.back(), view.Scene().View.First,
                        view.Scene().View.Span);
    }
    std::printf(
        "redraw at 1600 x 900 after zoom/pan (600 views, all zoom levels): p50 %.2f ms, p99 %.2f ms, max %.2f ms "
        "(limit p99 16 ms: ratio %.2f)\n",
        Percentile(redraws, 0.5), Percentile(redraws, 0.99), Percentile(redraws, 1.0),
        Percentile(redraws, 0.99) / 16.0);
    std::printf("  CPU time of a redraw: p50 %.2f ms, p99 %.2f ms (ratio to 16 ms %.2f)\n", Percentile(redrawCpus, 0.5),
                Percentile(redrawCpus, 0.99), Percentile(redrawCpus, 0.99) / 16.0);
    std::error_code ec;
    fs::remove(file, ec);
    return 0;
}
