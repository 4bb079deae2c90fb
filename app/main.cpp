// ZVBasic: calibration software for the ZORVA Basic LPG control unit.
#include <QApplication>

#include "app/Shell.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    cShell shell(sShellOptions{});
    return shell.Main();
}
