#include "program/Shell.h"

#include <cerrno>
#include <ctime>
#include <exception>
#include <sstream>

#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QMessageBox>
#include <QThread>

#include "core/Backup.h"
#include "core/Error.h"
#include "core/Ini.h"
#include "core/JpegDecode.h"
#include "core/Resources.h"
#include "core/Translate.h"

#include "serial/ComPort.h"

#include "link/CommThread.h"

#include "widgets/ShadowButton.h"

#include "kit/Pictures.h"
#include "kit/QtLanguage.h"
#include "kit/QtText.h"

#include "screens/AutoBackup.h"
#include "screens/DataExForm.h"
#include "screens/Globals.h"
#include "screens/HelpForm.h"
#include "screens/InfoForm.h"
#include "screens/LoadForm.h"
#include "screens/MainForm.h"
#include "screens/OptionsForm.h"
#include "screens/QuestionForm.h"
#include "screens/SaveForm.h"

#include "program/EndSignals.h"
#include "program/ScreenSet.h"
#include "program/StartSettings.h"

namespace {

QString ErrorText(const sError& e) {
    QString text = QStringLiteral("%1 (%2)").arg(ToQ(e.File), ToQ(e.Line));
    if (!e.Text.empty()) text += QStringLiteral(": ") + ToQ(e.Text);
    return text;
}

}  // namespace

cShell::cShell(sShellOptions options) : Options(std::move(options)) {
    if (Options.ExeDir.isEmpty()) Options.ExeDir = QCoreApplication::applicationDirPath();
    const std::string exeDir = Options.ExeDir.toStdString();
    IniLoadFile = Options.IniPath.isEmpty() ? ToQ(cIni::ReadPath(exeDir)) : Options.IniPath;
    IniSaveFile = Options.IniPath.isEmpty() ? ToQ(cIni::WritePath(exeDir)) : Options.IniPath;
    // locale/ and data/: beside the executable, or the installed share folder.
    ResourceDir = ToQ(Resources::Folder(exeDir));
}

cShell::~cShell() { Shutdown(); }

void cShell::Report(const QString& text) {
    if (Options.ShowError) Options.ShowError(text);
    else QMessageBox::critical(nullptr, QStringLiteral("ZVBasic"), text);
}

bool cShell::CreateSettings() {
    try {
        Ini = new cIni;
    } catch (const std::bad_alloc&) {
        Report(ErrorText(sError("ZVBasic", 53)));
        return false;
    }
    return true;
}

void cShell::CreateScreens() { Screens = std::make_unique<cScreenSet>(); }

void cShell::DestroyScreens() {
    cIOForm::PortAbsent() = nullptr;
    Screens.reset();
}

const std::vector<cIOForm*>& cShell::Forms() const {
    static const std::vector<cIOForm*> none;
    return Screens ? Screens->Listeners() : none;
}

cShell::eStart cShell::Start() {
    Started = true;
    // Before anything can show a dialog (a start-up error box): the session
    // ending then closes it and the settings file is still written.
    EndSignals = std::make_unique<cEndSignals>(this, [this] {
        // The system ends the process right after this: the link stops and
        // the settings are written; the screens stay to the end.
        StopLink();
        if (::Ini) ::Ini->Save(IniSaveFile.toStdString());
    });
    QCoreApplication::setApplicationName(QStringLiteral("ZVBasic"));
    try {
        Translate::Init((ResourceDir + QStringLiteral("/locale")).toStdString());
        // Qt's own texts follow the language in force (and every later switch).
        QtLanguage::Apply(Translate::CurrentLanguage());
        CreateScreens();

        // The link thread; it waits for a port name. Its failure ends the program.
        try {
            tUiInvoker invoker = [this](const std::function<void()>& fn) {
                if (QThread::currentThread() == thread()) {
                    fn();
                    return;
                }
                QMetaObject::invokeMethod(
                    this, [&fn] { fn(); }, Qt::BlockingQueuedConnection);
            };
            CommThread = new cCommThread(invoker);
        } catch (const sError& e) {
            Report(ErrorText(e));
            return eStart::Fatal;
        }
        for (cIOForm* form : Forms()) CommThread->AddListener(form);
        AutoBackup = std::make_unique<cAutoBackup>(Backup::Folder());
        AutoBackup->OnFailure = [](const QString& reason) {
            if (MainForm) MainForm->ShowBackupFailure(reason);
        };
        CommThread->AddListener(AutoBackup.get());
        for (cLinkListener* extra : Options.ExtraListeners) CommThread->AddListener(extra);
        CommThread->SetEnabledSource([] { return Ini && Ini->Enabled; });
        // A port error for a device that is not there reads "not present".
        cIOForm::PortAbsent() = [] { return CommThread && CommThread->GetPort().LastOpenError() == ENOENT; };
        CommThread->SetPortNameSink([](const std::string& name) {
            if (Ini) Ini->Port = name;
        });

        if (!CreateSettings()) return eStart::Fatal;
        cStartSettings settings(*Ini, *OptionsForm, *MainForm);
        settings.ShowPorts(cComPort::EnumeratePorts());
        settings.Load(IniLoadFile.toStdString());

        // This starts the connection (once more, if the language switch
        // already handed a port over).
        CommThread->SetPortName(settings.ChosenPort());

        // A replacement help picture: per user, for the system, or in the
        // program's data folder.
        const std::string picture = Resources::HelpPicture(ResourceDir.toStdString());
        if (!picture.empty()) HelpForm->SetPicture(ToQImage(DecodeJpegFile(picture)));
    } catch (const std::exception& e) {
        Report(QString::fromUtf8(e.what()));
        return eStart::Failed;
    }
    return eStart::Ok;
}

void cShell::Run() {
    if (!MainForm) return;
    if (EndSignals && EndSignals->Requested) return;  // ended during start-up
    QApplication::setQuitOnLastWindowClosed(false);
    // exit, not quit: quit would ask every window to close once more.
    connect(
        MainForm, &TMainForm::Closed, qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);

    MainForm->show();
    MainForm->raise();
    MainForm->activateWindow();
    OpenStartFile();
    QApplication::exec();
}

void cShell::OpenStartFile() {
    if (Options.OpenFile.isEmpty() || !MainForm || !DataExForm) return;
    // After the main menu has been shown: the data transfer screen and its
    // questions come up over it, as after F6 and Load.
    QMetaObject::invokeMethod(
        this,
        [path = Options.OpenFile] {
            if (!MainForm || !DataExForm) return;
            MainForm->DataExBtnClick();
            if (DataExForm->isVisible()) DataExForm->OpenFile(path);
        },
        Qt::QueuedConnection);
}

void cShell::StopLink() {
    // The link first: it calls into the screens. While it ends, deliveries
    // in flight are run.
    if (CommThread) {
        // Only the link's deliveries run meanwhile (they are posted to this
        // object): no user input, and no other message, reaches the screens.
        CommThread->Shutdown([this] { QCoreApplication::sendPostedEvents(this, QEvent::MetaCall); });
        delete CommThread;
        CommThread = nullptr;
    }
    AutoBackup.reset();  // after the link that notifies it; a backup being written is finished
}

void cShell::Shutdown() {
    if (ShutDownDone || !Started) return;
    ShutDownDone = true;
    StopLink();
    if (::Ini) {
        ::Ini->Save(IniSaveFile.toStdString());
        delete ::Ini;
        ::Ini = nullptr;
    }
    DestroyScreens();
    EndSignals.reset();
}

int cShell::Main() {
    switch (Start()) {
    case eStart::Ok: Run(); break;
    case eStart::Failed: break;
    case eStart::Fatal:
        ShutDownDone = true;
        StopLink();
        DestroyScreens();
        EndSignals.reset();
        return 1;
    }
    Shutdown();
    return 0;
}
