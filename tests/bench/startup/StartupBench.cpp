// zvbasic-bench-startup [rounds]: starts zvbasic-probed (the program's own
// start-up with a first-paint probe)
// and the minimal Qt program in turns and prints, for each, the time from
// launching the process to its first window shown (measured here, through a
// pipe) and the time and resident memory it reports itself, then medians and
// the ratios to the minimal program. Targets: time <= 1.5x, memory <= 1.3x.
// Uses QT_QPA_PLATFORM as set, offscreen when unset. zvbasic's settings file
// beside it is put back as it was.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct sRun {
    double LaunchMs = -1;  // measured here: fork to the line read
    long SelfMs = -1;      // reported by the program (since its process start)
    long RssKb = -1;
};

std::optional<sRun> Launch(const std::string& exe) {
    int pipeFd[2];
    if (::pipe(pipeFd) != 0) return std::nullopt;
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = ::fork();
    if (pid < 0) return std::nullopt;
    if (pid == 0) {
        ::dup2(pipeFd[1], 1);
        int devnull = ::open("/dev/null", O_WRONLY);
        if (devnull >= 0) ::dup2(devnull, 2);
        ::close(pipeFd[0]);
        ::close(pipeFd[1]);
        ::execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(pipeFd[1]);
    std::string out;
    char buf[256];
    sRun run;
    ssize_t n;
    while ((n = ::read(pipeFd[0], buf, sizeof buf)) > 0) {
        out.append(buf, size_t(n));
        if (out.find('\n') != std::string::npos && run.LaunchMs < 0)
            run.LaunchMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    }
    ::close(pipeFd[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (run.LaunchMs < 0) return std::nullopt;
    std::sscanf(out.c_str(), "main menu shown after %ld ms, resident %ld kB", &run.SelfMs, &run.RssKb);
    return run;
}

template <class T>
double Median(std::vector<T> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    size_t m = v.size() / 2;
    return v.size() % 2 ? double(v[m]) : (double(v[m - 1]) + double(v[m])) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const fs::path dir = fs::canonical("/proc/self/exe").parent_path();
    const std::string program = (dir / "zvbasic-probed").string();
    const std::string minimal = (dir / "zvbasic-minimal-qt").string();

    const fs::path ini = dir / "zvbasic.ini";
    std::optional<std::string> savedIni;
    if (fs::exists(ini)) {
        std::ifstream in(ini, std::ios::binary);
        savedIni = std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }

    std::vector<double> launchZ, launchM;
    std::vector<long> selfZ, selfM, rssZ, rssM;
    std::printf("platform %s, %d rounds\n", std::getenv("QT_QPA_PLATFORM"), rounds);
    std::printf("%-6s %-18s %10s %10s %10s\n", "round", "program", "launch ms", "self ms", "RSS kB");
    // One warm-up of each, not counted: the first start reads the libraries from disk.
    Launch(program);
    Launch(minimal);
    for (int r = 1; r <= rounds; ++r) {
        for (int which = 0; which < 2; ++which) {
            const bool isZ = (which == 0) == (r % 2 == 1);  // alternate the order
            auto run = Launch(isZ ? program : minimal);
            if (!run) {
                std::fprintf(stderr, "%s did not report\n", (isZ ? program : minimal).c_str());
                return 1;
            }
            std::printf("%-6d %-18s %10.1f %10ld %10ld\n", r, isZ ? "zvbasic" : "minimal Qt", run->LaunchMs,
                        run->SelfMs, run->RssKb);
            (isZ ? launchZ : launchM).push_back(run->LaunchMs);
            (isZ ? selfZ : selfM).push_back(run->SelfMs);
            (isZ ? rssZ : rssM).push_back(run->RssKb);
        }
    }

    if (savedIni) {
        std::ofstream(ini, std::ios::binary | std::ios::trunc) << *savedIni;
    } else {
        std::error_code ec;
        fs::remove(ini, ec);
    }

    const double lz = Median(launchZ), lm = Median(launchM), rz = Median(rssZ), rm = Median(rssM);
    std::printf("\nmedian  %-18s %10.1f %10.0f %10.0f\n", "zvbasic", lz, Median(selfZ), rz);
    std::printf("median  %-18s %10.1f %10.0f %10.0f\n", "minimal Qt", lm, Median(selfM), rm);
    std::printf("\nstart-up time ratio %.2f (target <= 1.5), resident memory ratio %.2f (target <= 1.3)\n",
                lm > 0 ? lz / lm : 0.0, rm > 0 ? rz / rm : 0.0);
    return 0;
}
