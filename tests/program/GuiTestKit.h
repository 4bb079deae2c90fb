// What the screen tests share: the program started by its real start-up code
// in a temporary program folder, silent serial lines, link notifications
// delivered the way the link delivers them, and answering modal windows.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include "link/LinkListener.h"

#include "program/Shell.h"

namespace GuiTestKit {

// A pseudo-terminal whose far end nobody answers: an ECU that is silent.
class cSilentLine {
public:
    cSilentLine();
    ~cSilentLine();
    const std::string& Path() const { return SlavePath; }

private:
    int Master = -1;
    std::string SlavePath;
};

// A listener heard after all screens; calls `onEvent` after every LinkEvent.
class cSpy : public cLinkListener {
public:
    std::function<void(const cSpy&)> OnEvent;
    std::function<void()> OnSendError;
    void LinkEvent() override {
        if (OnEvent) OnEvent(*this);
    }
    void SendError() override {
        if (OnSendError) OnSendError();
    }
};

class cProgram {
public:
    cProgram();
    ~cProgram();

    std::filesystem::path Dir;  // the program folder
    std::string IniPath() const { return (Dir / "zvbasic.ini").string(); }
    void WriteIni(const std::string& bytes);
    std::string ReadIni() const;
    bool IniExists() const;
    // The ports listed beyond the machine's own (ZVBASIC_PORTS).
    void SetExtraPorts(const std::vector<std::string>& ports);

    std::vector<cLinkListener*> Extra;
    QStringList Errors;  // start-up failures shown
    std::unique_ptr<cShell> Shell;
    cShell::eStart Start();
    void Stop();
    // Ends the link thread so that only the test's own deliveries arrive.
    void QuietLink();

    // Notifications to every screen in creation order, as the link sends them.
    void Deliver(int32_t request, int32_t phase, int32_t value);
    void DeliverSendError();
    void DeliverIdle(bool idle);
    void DeliverSettingsLoaded();
    void DeliverRequestFailed();

private:
    std::string SavedPorts;
    bool HadPorts = false;
};

// Watches for a modal window (of the given object name, or any) and runs
// `act` on it once it is up; act returns true when it has dealt with it.
// Counts the windows handled.
class cModalAnswer : public QObject {
public:
    cModalAnswer(const char* objectName, std::function<bool(QWidget*)> act, bool repeat = false);
    int Handled = 0;
    QStringList Texts;  // the text of each window's TextLL (or message box)

private:
    QString Name;
    std::function<bool(QWidget*)> Act;
    bool Repeat;
    QTimer Timer;
};

// A key press and release sent to a widget.
void Key(QWidget* w, int key, const QString& text = QString(), Qt::KeyboardModifiers mods = Qt::NoModifier);
// Clicks a button of a shown widget by object name.
bool ClickChild(QWidget* parent, const char* name);
// The text of a label child.
QString TextOf(QWidget* parent, const char* name);
// Waits, processing events, until pred() is true or the time is up.
bool WaitFor(const std::function<bool()>& pred, int ms = 5000);

}  // namespace GuiTestKit
