// Records a real capture for the viewer's pictures: the visualisation
// screen's own capture (F7) while the ECU simulator's engine model runs, the
// link polling continuously. Run by hand:
//   QT_QPA_PLATFORM=offscreen bin/zvbasic-capview-record OUT.dat [seconds] [ecu version]
#include <cstdio>
#include <cstdlib>

#include <QApplication>

#include "screens/FileDialog.h"
#include "screens/VisForm.h"

#include "ScreenRig.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUT.dat [seconds] [ecu version]\n", argv[0]);
        return 2;
    }
    QApplication app(argc, argv);
    const QString out = QString::fromLocal8Bit(argv[1]);
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 120;
    cScreenRig rig(argc > 3 ? std::atoi(argv[3]) : 48);
    if (!rig.Start()) {
        std::fprintf(stderr, "the simulator did not connect\n");
        return 1;
    }
    rig.Main->VisBtnClick();
    FileDialog::Hook() = [out](const sFileDialogRequest&) { return out; };
    cScreenRig::Key(rig.Vis, Qt::Key_F7);
    FileDialog::Hook() = nullptr;
    if (!rig.Vis->Capturing()) {
        std::fprintf(stderr, "the capture did not start\n");
        return 1;
    }
    // Continuous live polling, as when the screen is shown after a reconnect.
    for (int s = 0; s < seconds; ++s) {
        if (!rig.Link->IsBusy()) rig.Link->PostRequest(RQ_VIS_POLL);
        cScreenRig::Pump(1000);
    }
    cScreenRig::Key(rig.Vis, Qt::Key_F7);
    std::printf("recorded %d seconds into %s\n", seconds, argv[1]);
    return 0;
}
