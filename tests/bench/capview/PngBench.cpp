// The viewer's command line on a large capture: `zvbasic-capview --png` of
// 10,000,000 records (by default) at 1600 x 900, wall and CPU time of the
// whole run (median of five), beside `wc -l` on the same file. Also the
// instructions of the parts when run under callgrind. Prints figures; run by
// hand:
//   bin/zvbasic-bench-capview-png [records] [capture.dat]
// With a capture file given it is used as it is (nothing is written).
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "core/Resources.h"

#include "formats/CaptureFile.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// A drive in the writer's format, written in large pieces.
void WriteCapture(const fs::path& p, long records) {
    std::FILE* f = std::fopen(p.c_str(), "wb");
    if (!f) std::exit(1);
    std::fputs(cCaptureFile::Header(), f);
    std::mt19937 rng(5);
    std::string buf;
    for (long i = 0; i < records; ++i) {
        const int raw = int(128 + 120 * std::sin(double(i) / 900.0) + int(rng() % 7) - 3);
        const int tps = std::clamp(raw, 0, 255);
        const int code = std::max(1, 54000 / (800 + tps * 20));
        sLiveSample s;
        s.TPSVolts = float(tps / 51.0);
        s.LambdaVolts = float(((i / 3) % 2 ? 40 : 6) / 51.0);
        s.RPM = 54000 / code;
        s.ValvePos = std::clamp(50 + tps / 3 + int(rng() % 5), 0, 255);
        buf += cCaptureFile::FormatRecord(s);
        if (buf.size() > (1u << 20)) {
            std::fwrite(buf.data(), 1, buf.size(), f);
            buf.clear();
        }
    }
    std::fwrite(buf.data(), 1, buf.size(), f);
    std::fclose(f);
}

struct sRun {
    double WallMs = 0, CpuMs = 0;
    int Status = -1;
};

sRun Run(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const auto start = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (std::freopen("/dev/null", "w", stderr) == nullptr) ::_exit(126);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    rusage u{};
    ::wait4(pid, &status, 0, &u);
    sRun r;
    r.WallMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    r.CpuMs = (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
    r.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const long records = argc > 1 ? std::atol(argv[1]) : 10000000;
    fs::path file;
    bool own = false;
    if (argc > 2) {
        file = argv[2];
    } else {
        file = fs::temp_directory_path() / ("zvcap_pngbench_" + std::to_string(::getpid()) + ".dat");
        WriteCapture(file, records);
        own = true;
    }
    std::string dir = Resources::ExecutableDir();
    if (dir.empty()) dir = ".";
    const std::string exe = dir + "/zvbasic-capview";
    const fs::path png = fs::temp_directory_path() / ("zvcap_pngbench_" + std::to_string(::getpid()) + ".png");
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::printf("capture: %s, %.1f MB\n", file.c_str(), double(fs::file_size(file)) / 1e6);
    std::vector<double> wc, wcCpu, wall, cpu;
    for (int i = 0; i < 5; ++i) {
        const sRun w = Run({"/usr/bin/wc", "-l", file.string()});
        wc.push_back(w.WallMs);
        wcCpu.push_back(w.CpuMs);
        const sRun r = Run({exe, "--png", png.string(), "--size", "1600x900", file.string()});
        if (r.Status != 0) {
            std::printf("zvbasic-capview failed (status %d)\n", r.Status);
            return 1;
        }
        wall.push_back(r.WallMs);
        cpu.push_back(r.CpuMs);
    }
    std::printf("wc -l: median %.0f ms (CPU %.0f ms)\n", Median(wc), Median(wcCpu));
    std::printf("--png 1600x900: median %.0f ms wall (min %.0f, max %.0f), CPU %.0f ms; goal 1000 ms: ratio %.2f\n",
                Median(wall), *std::min_element(wall.begin(), wall.end()), *std::max_element(wall.begin(), wall.end()),
                Median(cpu), Median(wall) / 1000.0);
    std::printf("  per record: %.1f ns wall; against wc -l: %.1f x\n", Median(wall) * 1e6 / double(records),
                Median(wall) / Median(wc));
    fs::remove(png);
    if (own) fs::remove(file);
    return 0;
}
