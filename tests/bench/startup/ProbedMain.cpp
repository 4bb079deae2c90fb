// zvbasic-probed: the program's own start-up (the same shell as zvbasic),
// with an application-wide filter that reports the main menu's first paint
// and ends. Lets the start-up benchmark time the real program without a
// probe in the program itself.
#include <QApplication>

#include "screens/Globals.h"
#include "screens/MainForm.h"

#include "program/Shell.h"

#include "FirstPaintProbe.h"

namespace {
class cMainMenuPainted : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!Seen && event->type() == QEvent::Paint && MainForm && watched == MainForm) {
            Seen = true;
            ReportShownAndExit();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool Seen = false;
};
}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    cMainMenuPainted probe;
    app.installEventFilter(&probe);
    cShell shell(sShellOptions{});
    return shell.Main();
}
