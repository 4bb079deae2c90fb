#include <windows.h>

#include <mutex>

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QPointer>

#include "program/EndSignals.h"

namespace {

// The one instance the console's handler (called on a thread of its own)
// reaches; the event that tells it the orderly end is done.
std::mutex InstanceMutex;
cEndSignals* Instance = nullptr;
QPointer<QObject> Owner;
HANDLE Done = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT: break;
    default: return FALSE;  // log off and shut down reach a window as messages
    }
    HANDLE done = nullptr;
    {
        std::lock_guard lock(InstanceMutex);
        if (!Instance || !Owner) return FALSE;
        cEndSignals* self = Instance;
        QMetaObject::invokeMethod(
            Owner.data(),
            [self] {
                self->Requested = true;
                QCoreApplication::exit(0);
            },
            Qt::QueuedConnection);
        done = Done;
    }
    // Windows ends the process when this returns after the console closed
    // (and gives it 5 s): wait until the link has stopped and the settings
    // file is written.
    if (done) ::WaitForSingleObject(done, 4500);
    return TRUE;
}

// The session ending: Windows ends the process as soon as every window has
// answered WM_ENDSESSION, so the orderly end runs inside that message.
class cSessionEnd : public QAbstractNativeEventFilter {
public:
    explicit cSessionEnd(std::function<void()> endNow) : EndNow(std::move(endNow)) {}
    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "windows_generic_MSG" || Ran) return false;
        const MSG* msg = static_cast<const MSG*>(message);
        if (msg->message == WM_ENDSESSION && msg->wParam && EndNow) {
            Ran = true;
            // The end may delete this filter: run a copy.
            const std::function<void()> endNow = EndNow;
            endNow();
        }
        return false;
    }

private:
    std::function<void()> EndNow;
    bool Ran = false;
};

}  // namespace

struct cEndSignals::sPlatform {
    std::unique_ptr<cSessionEnd> SessionEnd;
};

cEndSignals::cEndSignals(QObject* owner, std::function<void()> endNow) : Platform(std::make_unique<sPlatform>()) {
    {
        std::lock_guard lock(InstanceMutex);
        Instance = this;
        Owner = owner;
        Done = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
    if (QCoreApplication::instance()) {
        Platform->SessionEnd = std::make_unique<cSessionEnd>([this, endNow] {
            Requested = true;
            if (endNow) endNow();
        });
        // (endNow leaves this object alone: the windows and this filter stay
        // until the process ends.)
        QCoreApplication::instance()->installNativeEventFilter(Platform->SessionEnd.get());
    }
}

cEndSignals::~cEndSignals() {
    if (Platform->SessionEnd && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(Platform->SessionEnd.get());
    ::SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    std::lock_guard lock(InstanceMutex);
    Instance = nullptr;
    Owner = nullptr;
    if (Done) {
        ::SetEvent(Done);  // a waiting console handler may go on
        // The handle stays: a handler between its copy and its wait still
        // holds it. One event per run of the program.
        Done = nullptr;
    }
}
