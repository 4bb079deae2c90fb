#include "GuiTestKit.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QThread>

#include "link/CommThread.h"

#include "kit/IOForm.h"

#include "screens/Globals.h"

#include "tests/TestKit.h"

namespace fs = std::filesystem;

namespace GuiTestKit {

cSilentLine::cSilentLine() {
    int slave = -1;
    char name[256] = {};
    if (::openpty(&Master, &slave, name, nullptr, nullptr) == 0) {
        SlavePath = name;
        ::close(slave);
    }
}

cSilentLine::~cSilentLine() {
    if (Master >= 0) ::close(Master);
}

cProgram::cProgram() {
    static int counter = 0;
    Dir = fs::temp_directory_path() / ("zvgui_" + std::to_string(::getpid()) + "_" + std::to_string(++counter));
    fs::remove_all(Dir);
    fs::create_directories(Dir / "data");
    // The catalogues of the build, when there are any.
    const char* env = std::getenv("ZV_BIN_DIR");
    const fs::path bin = env ? fs::path(env) : fs::path(QCoreApplication::applicationDirPath().toStdString());
    if (fs::exists(bin / "locale")) fs::create_directory_symlink(bin / "locale", Dir / "locale");
    else fs::create_directories(Dir / "locale");
    if (const char* ports = std::getenv("ZVBASIC_PORTS")) {
        HadPorts = true;
        SavedPorts = ports;
    }
    cIOForm::SetScreenOverride(QSize(1024, 768), 96);
}

cProgram::~cProgram() {
    Stop();
    if (HadPorts) ::setenv("ZVBASIC_PORTS", SavedPorts.c_str(), 1);
    else ::unsetenv("ZVBASIC_PORTS");
    std::error_code ec;
    fs::remove_all(Dir, ec);
}

void cProgram::WriteIni(const std::string& bytes) { std::ofstream(IniPath(), std::ios::binary) << bytes; }

std::string cProgram::ReadIni() const { return testkit::Slurp(IniPath()); }

bool cProgram::IniExists() const { return fs::exists(IniPath()); }

void cProgram::SetExtraPorts(const std::vector<std::string>& ports) {
    std::string list;
    for (const std::string& p : ports) list += (list.empty() ? "" : ":") + p;
    ::setenv("ZVBASIC_PORTS", list.c_str(), 1);
}

cShell::eStart cProgram::Start() {
    sShellOptions options;
    options.ExeDir = QString::fromStdString(Dir.string());
    options.IniPath = QString::fromStdString(IniPath());
    options.ExtraListeners = Extra;
    options.ShowError = [this](const QString& text) { Errors << text; };
    Shell = std::make_unique<cShell>(options);
    return Shell->Start();
}

void cProgram::Stop() {
    if (Shell) Shell->Shutdown();
    Shell.reset();
}

void cProgram::QuietLink() {
    if (CommThread) CommThread->Shutdown([] { QCoreApplication::processEvents(QEventLoop::AllEvents, 10); });
}

void cProgram::Deliver(int32_t request, int32_t phase, int32_t value) {
    for (cIOForm* f : Shell->Forms()) {
        f->LinkRequest = request;
        f->LinkPhase = phase;
        f->LinkValue = value;
        f->LinkEvent();
    }
}

void cProgram::DeliverSendError() {
    for (cIOForm* f : Shell->Forms()) f->SendError();
}

void cProgram::DeliverIdle(bool idle) {
    for (cIOForm* f : Shell->Forms()) f->DeliverLinkIdle(idle);
}

void cProgram::DeliverSettingsLoaded() {
    for (cIOForm* f : Shell->Forms()) f->SettingsLoaded();
}

void cProgram::DeliverRequestFailed() {
    for (cIOForm* f : Shell->Forms()) f->RequestFailed();
}

cModalAnswer::cModalAnswer(const char* objectName, std::function<bool(QWidget*)> act, bool repeat)
    : Name(QString::fromLatin1(objectName ? objectName : "")),
      Act(std::move(act)),
      Repeat(repeat) {
    Timer.setInterval(5);
    QObject::connect(&Timer, &QTimer::timeout, this, [this] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible()) return;
        if (!Name.isEmpty() && modal->objectName() != Name) return;
        QString text;
        if (auto* box = qobject_cast<QMessageBox*>(modal)) text = box->text();
        else text = TextOf(modal, "TextLL");
        if (Act(modal)) {
            Texts << text;
            ++Handled;
            if (!Repeat) Timer.stop();
        }
    });
    Timer.start();
}

void Key(QWidget* w, int key, const QString& text, Qt::KeyboardModifiers mods) {
    QKeyEvent press(QEvent::KeyPress, key, mods, text);
    QCoreApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, key, mods, text);
    QCoreApplication::sendEvent(w, &release);
}

bool ClickChild(QWidget* parent, const char* name) {
    auto* b = parent->findChild<QAbstractButton*>(QString::fromLatin1(name));
    if (!b) return false;
    b->click();
    return true;
}

QString TextOf(QWidget* parent, const char* name) {
    auto* l = parent->findChild<QLabel*>(QString::fromLatin1(name));
    return l ? l->text() : QString();
}

bool WaitFor(const std::function<bool()>& pred, int ms) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

}  // namespace GuiTestKit
