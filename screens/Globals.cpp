#include "screens/Globals.h"

#include "link/CommThread.h"
#include "link/Settings.h"

#include "kit/QtText.h"

#include "screens/CalibForm.h"
#include "screens/ConfigForm.h"
#include "screens/DataExForm.h"
#include "screens/InfoForm.h"
#include "screens/MainForm.h"
#include "screens/QuestionForm.h"
#include "screens/SaveForm.h"

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
    if (!CommThread || !Ecu::NewProtocol(ecuVersion)) return;
    if (CommThread->HoldsKeptEdits()) {
        // Released: every difference, this one among them, is queued.
        ConfirmKeptEdits();
        return;
    }
    CommThread->QueueUpdate(update);
}

bool ConfirmKeptEdits() {
    if (!CommThread || !CommThread->HoldsKeptEdits()) return true;
    if (Ask(Tr("These changes were made\nbefore the line was interrupted.\n"
               "Is this the same vehicle?\nSend them to this ECU?"),
            false)) {
        // The link may have lost the ECU while the question was up: then
        // the hold is set again by the next read, and the fitter is asked again.
        CommThread->ReleaseHeldEdits();
        RefreshKeptEditsNotices();
        return true;
    }
    if (!Ask(Tr("Nothing was sent.\nKeep the changes for later?\n"
                "No takes the ECU's settings."))) {
        TakeEcuSettings();
    }
    return false;
}

void TakeEcuSettings() {
    if (CommThread) CommThread->DropHeldEdits();
    else WorkSettings = EcuSettings;
    // The screens show the records again, and the marks follow.
    if (ConfigScreen && ConfigScreen->isVisible()) ConfigScreen->FormShow();
    if (CalibScreen && CalibScreen->isVisible()) CalibScreen->FormShow();
    if (MainForm) MainForm->ShowSettingsChanged(SettingsChanged());
    RefreshKeptEditsNotices();
}

QString KeptEditsNotice() {
    if (!CommThread) return {};
    QString text;
    if (CommThread->HoldsKeptEdits())
        text =
            Tr("Changes made before the line was interrupted are kept in the program; "
               "none of them has been sent to this ECU.");
    if (CommThread->LooksLikeOtherVehicle()) {
        if (!text.isEmpty()) text += QLatin1Char(' ');
        text +=
            Tr("This looks like another vehicle: the ECU or its settings differ from "
               "those read before the line was interrupted.");
    }
    return text;
}

void RefreshKeptEditsNotices() {
    const QString text = KeptEditsNotice();
    if (MainForm) MainForm->ShowKeptNotice(text);
    if (ConfigForm) ConfigForm->ShowKeptNotice(text);
    if (CalibForm) CalibForm->ShowKeptNotice(text);
    if (DataExForm) DataExForm->ShowKeptNotice(text);
}

void ShowInfo(const QString& text) {
    if (InfoForm) InfoForm->ShowInfo(text);
}

bool WriteSettingsWithProgress() {
    if (!CommThread) return false;
    if (!ConfirmKeptEdits()) return false;
    // The live poll a closing screen has just asked to stop may still be
    // finishing its exchange: the link serves the write once it has ended.
    if (!CommThread->PostRequestAfterStop(RQ_WRITE_SETTINGS)) return false;
    FollowWriteWithProgress();
    return true;
}

void FollowWriteWithProgress() {
    if (!SaveForm) return;
    SaveForm->ShowModal();
    RefreshKeptEditsNotices();
    // The dialog closed on the link's failure notification, which has
    // returned by now: a write that did not end with the store is said
    // plainly, and the settings still count as changed.
    if (TSaveForm::WriteFailed && !TSaveForm::WriteDone) {
        if (MainForm) MainForm->ShowSettingsChanged(SettingsChanged());
        ShowInfo(
            Tr("The settings were NOT stored in the ECU!\n"
               "The connection failed during the transfer. "
               "Store them again when the ECU is connected."));
    }
}
