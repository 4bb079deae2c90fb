#pragma once
// The system asks the program to end: on Linux SIGTERM, SIGINT or SIGHUP (the
// session ending, Ctrl-C in a terminal); on Windows Ctrl-C, Ctrl-Break or the
// console closing, and the session ending (log off, shut down). Every running
// event loop ends (the main loop, a start-up error box's or a dialog's own)
// without the exit question, so the shell stops the link and writes
// zvbasic.ini the orderly way. Where the system ends the process as soon as
// it has told it (the Windows session's end), `EndNow` runs at once instead.

#include <functional>
#include <memory>

class QObject;

class cEndSignals {
public:
    cEndSignals(QObject* owner, std::function<void()> endNow);
    ~cEndSignals();
    cEndSignals(const cEndSignals&) = delete;
    cEndSignals& operator=(const cEndSignals&) = delete;

    // An end was asked for: the program is to end.
    bool Requested = false;

private:
    struct sPlatform;
    std::unique_ptr<sPlatform> Platform;
};
