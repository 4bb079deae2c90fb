#include "screens/KeptEdits.h"

#include "link/CommThread.h"
#include "link/Settings.h"

#include "kit/QtText.h"

#include "screens/CalibForm.h"
#include "screens/ConfigForm.h"
#include "screens/DataExForm.h"
#include "screens/Globals.h"
#include "screens/KeptNotice.h"
#include "screens/MainForm.h"
#include "screens/Questions.h"

bool ConfirmKeptEdits() {
    if (!CommThread || !CommThread->HoldsKeptEdits()) return true;
    const eAnswer same =
        AskAnswer(CommThread->HoldsOpenedFile()
                      ? Tr("These settings come\nfrom the opened file,\nnot from this ECU.\nSend them to this ECU?")
                      : Tr("These changes were made\nbefore the line was interrupted.\n"
                           "Is this the same vehicle?\nSend them to this ECU?"),
                  false);
    if (same == eAnswer::Yes) {
        // The link may have lost the ECU while the question was up: then
        // the hold is set again by the next read, and the fitter is asked again.
        CommThread->ReleaseHeldEdits();
        SettingsStateChanged();
        return true;
    }
    // Esc leaves everything as it was: nothing sent, the changes kept.
    if (same == eAnswer::Escape) return false;
    if (!Ask(Tr("Nothing was sent.\nKeep the changes for later?\n"
                "No takes the ECU's settings."),
             true, true)) {
        TakeEcuSettings();
    }
    SettingsStateChanged();
    return false;
}

void TakeEcuSettings() {
    if (CommThread) CommThread->DropHeldEdits();
    else WorkSettings = EcuSettings;
    // The screens show the records again, and the marks follow.
    RefillSettingsScreens();
}

void RefillSettingsScreens() {
    if (ConfigForm && ConfigForm->isVisible()) ConfigForm->FormShow();
    if (CalibForm && CalibForm->isVisible()) CalibForm->FormShow();
    SettingsStateChanged();
}

void SettingsStateChanged() {
    const QString text = KeptEditsNotice();
    if (MainForm) {
        MainForm->ShowSettingsChanged(SettingsChanged());
        MainForm->ShowKeptNotice(text);
    }
    if (ConfigForm) ConfigForm->ShowKeptNotice(text);
    if (CalibForm) CalibForm->ShowKeptNotice(text);
    if (DataExForm) DataExForm->ShowKeptNotice(text);
}
