// Shared by the two programs the start-up benchmark compares: prints the time
// since the process started and the resident memory once the watched window
// has first been painted, then ends the event loop.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QTimer>

#include "ProcessClock.h"

inline long ResidentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

inline void ReportShownAndExit() {
    QTimer::singleShot(0, qApp, [] {
        std::printf("main menu shown after %ld ms, resident %ld kB\n", MsSinceProcessStart(), ResidentKb());
        std::fflush(stdout);
        QCoreApplication::exit(0);
    });
}
