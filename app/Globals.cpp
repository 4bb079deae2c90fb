#include "app/Globals.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include "app/InfoForm.h"
#include "app/QuestionForm.h"
#include "app/SaveForm.h"
#include "link/CommThread.h"

TMainForm* MainForm = nullptr;
TOptionsForm* OptionsForm = nullptr;
TVisForm* VisForm = nullptr;
TConfigForm* ConfigForm = nullptr;
TCalibForm* CalibForm = nullptr;
TInfoForm* InfoForm = nullptr;
TDataExForm* DataExForm = nullptr;
TLoadForm* LoadForm = nullptr;
TSaveForm* SaveForm = nullptr;
TQuestionForm* QuestionForm = nullptr;
THelpForm* HelpForm = nullptr;
cCommThread* CommThread = nullptr;
cShell* Shell = nullptr;
cIni* Ini = nullptr;

cIOForm* ConfigScreen = nullptr;
cIOForm* CalibScreen = nullptr;
cIOForm* VisScreen = nullptr;
cIOForm* DataExScreen = nullptr;

bool Ask(const QString& text) { return QuestionForm && QuestionForm->Ask(text); }

void ShowInfo(const QString& text) {
    if (InfoForm) InfoForm->ShowInfo(text);
}

bool WriteSettingsWithProgress() {
    if (!CommThread) return false;
    // One old-protocol exchange takes 150 ms of pauses and up to three reads
    // of about 101 ms; a stopping poll ends at its next check after it.
    constexpr qint64 kStopLimitMs = 1500;
    QElapsedTimer waited;
    waited.start();
    while (!CommThread->PostRequest(RQ_WRITE_SETTINGS)) {
        const int32_t running = CommThread->GetCurrentRequest();
        const bool pollStopping =
            CommThread->IsBusy() && (running == RQ_CONFIG_POLL || running == RQ_VIS_POLL);
        if (!pollStopping || waited.elapsed() > kStopLimitMs) return false;
        // The link may be delivering its last notifications of the poll.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
        QThread::msleep(5);
    }
    if (SaveForm) SaveForm->ShowModal();
    return true;
}
