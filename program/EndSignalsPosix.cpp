#include <fcntl.h>
#include <unistd.h>

#include <csignal>

#include <QCoreApplication>
#include <QSocketNotifier>

#include "program/EndSignals.h"

namespace {
// The handler only writes a byte into a pipe; the event loop does the rest.
int SignalPipe[2] = {-1, -1};
void OnEndSignal(int) {
    const char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(SignalPipe[1], &byte, 1);
}
constexpr int kSignals[3] = {SIGTERM, SIGINT, SIGHUP};
}  // namespace

struct cEndSignals::sPlatform {
    struct sigaction Saved[3]{};
    QSocketNotifier* Notifier = nullptr;
};

cEndSignals::cEndSignals(QObject* owner, std::function<void()>) : Platform(std::make_unique<sPlatform>()) {
    if (::pipe2(SignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    Platform->Notifier = new QSocketNotifier(SignalPipe[0], QSocketNotifier::Read, owner);
    QObject::connect(Platform->Notifier, &QSocketNotifier::activated, owner, [this] {
        char buf[16];
        while (::read(SignalPipe[0], buf, sizeof buf) > 0) {}
        // A loop that has not started yet does not end: Requested tells.
        Requested = true;
        QCoreApplication::exit(0);
    });
    struct sigaction sa {};
    sa.sa_handler = OnEndSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i) ::sigaction(kSignals[i], &sa, &Platform->Saved[i]);
}

cEndSignals::~cEndSignals() {
    if (!Platform->Notifier) return;
    for (int i = 0; i < 3; ++i) ::sigaction(kSignals[i], &Platform->Saved[i], nullptr);
    delete Platform->Notifier;
    ::close(SignalPipe[0]);
    ::close(SignalPipe[1]);
    SignalPipe[0] = SignalPipe[1] = -1;
}
