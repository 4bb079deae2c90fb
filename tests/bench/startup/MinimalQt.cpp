// The yardstick of the start-up benchmark: the least a Qt Widgets program
// does to show a full-screen window with a label. Prints the same line as
// zvbasic with ZVBASIC_EXIT_AFTER_SHOW=1 and ends.
#include <QApplication>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include "app/ProcessClock.h"

namespace {

long ResidentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

class cWindow : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent* e) override {
        QLabel::paintEvent(e);
        if (Seen) return;
        Seen = true;
        QTimer::singleShot(0, qApp, [] {
            std::printf("main menu shown after %ld ms, resident %ld kB\n", MsSinceProcessStart(), ResidentKb());
            std::fflush(stdout);
            QCoreApplication::exit(0);
        });
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
