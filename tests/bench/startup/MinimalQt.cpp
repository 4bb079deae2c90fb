// The yardstick of the start-up benchmark: the least a Qt Widgets program
// does to show a full-screen window with a label. Prints the same line as
// the probed zvbasic and ends.
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>

#include <QApplication>
#include <QLabel>
#include <QScreen>
#include <QTimer>

#include "FirstPaintProbe.h"

namespace {

class cWindow : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent* e) override {
        QLabel::paintEvent(e);
        if (Seen) return;
        Seen = true;
        ReportShownAndExit();
    }

private:
    bool Seen = false;
};
}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    cWindow w(QStringLiteral("MAIN MENU"));
    w.setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    w.setGeometry(QGuiApplication::primaryScreen()->geometry());
    w.show();
    return app.exec();
}
