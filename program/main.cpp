// ZVBasic: calibration software for the ZORVA Basic LPG control unit.
#include <cstdio>
#include <cstring>
#include <utility>

#include <QApplication>
#include <QStringList>

#include "core/CommandLine.h"
#include "core/Version.h"

#include "program/Shell.h"

int main(int argc, char** argv) {
    // The two options a command-line user expects; everything else (Qt's
    // own options among it) goes to the program as before. Answered before
    // anything of the window system is touched, so they work without a
    // display.
    for (int i = 1; i < argc; ++i) {
        const bool help = std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0;
        if (help || std::strcmp(argv[i], "--version") == 0) CommandLine::UseParentConsole();
        if (help) {
            std::fputs(
                "Usage: zvbasic [--help] [--version] [FILE.zv2]\n"
                "Calibration software for the ZORVA Basic LPG control unit: starts full screen,\n"
                "connects to the ECU on the port saved in zvbasic.ini (choose it in Options, F8).\n"
                "A vehicle file FILE.zv2 is loaded on the data transfer screen as F2 loads one;\n"
                "nothing of it goes to the ECU until Store in ECU (F4) is chosen.\n"
                "\n"
                "Environment: ZVBASIC_PORTS (colon-separated) adds device names to the port list.\n"
                "See also zvbasic-cli(1), zvbasic-capview(1), zvbasic-ecusim(1).\n",
                stdout);
            return std::fflush(stdout) == 0 ? 0 : 1;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            const sVersion v = ProgramVersion();
            std::printf("zvbasic %u.%u.%u.%u\n", v.Major, v.Minor, v.Release, v.Build);
            return std::fflush(stdout) == 0 ? 0 : 1;
        }
    }
    QApplication app(argc, argv);
    // One look on every system: Fusion paints with the screens' palettes,
    // where Windows' own style draws combo boxes its own way (the yellow
    // texts on light grey).
    QApplication::setStyle(QStringLiteral("Fusion"));
    sShellOptions options;
    // The first argument Qt left that is no option: a vehicle file (the
    // file type's open command). Qt's arguments are the system's own: the
    // UTF-16 command line on Windows.
    const QStringList arguments = QCoreApplication::arguments();
    for (qsizetype i = 1; i < arguments.size(); ++i)
        if (!arguments[i].startsWith(QLatin1Char('-'))) {
            options.OpenFile = arguments[i];
            break;
        }
    cShell shell(std::move(options));
    return shell.Main();
}
