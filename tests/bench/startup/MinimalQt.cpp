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

namespace {
long MsSinceProcessStart() {
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
    return long(now.tv_sec * 1000.0 + now.tv_nsec / 1e6 - start * 1000.0 / double(sysconf(_SC_CLK_TCK)));
}

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
