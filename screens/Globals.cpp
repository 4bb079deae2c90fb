#include "screens/Globals.h"

#include "screens/InfoForm.h"
#include "screens/MainForm.h"
#include "kit/QtText.h"
#include "screens/QuestionForm.h"
#include "screens/SaveForm.h"
#include "link/CommThread.h"
#include "link/Settings.h"

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
std::vector<cIOForm*> LinkForms;
cIni* Ini = nullptr;

cIOForm* ConfigScreen = nullptr;
cIOForm* CalibScreen = nullptr;
cIOForm* VisScreen = nullptr;
cIOForm* DataExScreen = nullptr;

bool Ask(const QString& text, bool defaultYes) { return QuestionForm && QuestionForm->Ask(text, defaultYes); }

void SendSettingUpdate(int ecuVersion, const sUpdate& update) {
    if (CommThread && Ecu::NewProtocol(ecuVersion)) CommThread->QueueUpdate(update);
}

void ShowInfo(const QString& text) {
    if (InfoForm) InfoForm->ShowInfo(text);
}

bool WriteSettingsWithProgress() {
    if (!CommThread) return false;
    // The live poll a closing screen has just asked to stop may still be
    // finishing its exchange: the link serves the write once it has ended.
    if (!CommThread->PostRequestAfterStop(RQ_WRITE_SETTINGS)) return false;
    FollowWriteWithProgress();
    return true;
}

void FollowWriteWithProgress() {
    if (!SaveForm) return;
    SaveForm->ShowModal();
    // The dialog closed on the link's failure notification, which has
    // returned by now: a write that did not end with the store is said
    // plainly, and the settings still count as changed.
    if (TSaveForm::WriteFailed && !TSaveForm::WriteDone) {
        if (MainForm) MainForm->ShowSettingsChanged(SettingsChanged());
        ShowInfo(Tr("The settings were NOT stored in the ECU!\n"
                    "The connection failed during the transfer. "
                    "Store them again when the ECU is connected."));
    }
}
