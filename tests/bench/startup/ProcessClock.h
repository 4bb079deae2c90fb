// Milliseconds since this process started (10 ms resolution, from the
// kernel's start time of the process). Header-only, so the minimal Qt
// program the start-up benchmark compares against can use it without
// linking anything of ours.
#pragma once

#include <time.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

inline long MsSinceProcessStart() {
    std::ifstream stat("/proc/self/stat");
    std::string all((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    size_t close = all.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream rest(all.substr(close + 2));
    std::string field;
    unsigned long long start = 0;
    for (int i = 3; i <= 22 && rest >> field; ++i)
        if (i == 22) start = std::stoull(field);
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const double hz = double(sysconf(_SC_CLK_TCK));
    return long(now.tv_sec * 1000.0 + now.tv_nsec / 1e6 - start * 1000.0 / hz);
}
