#include "screens/KeptEdits.h"

#include "link/CommThread.h"
#include "link/Settings.h"

#include "kit/QtText.h"

#include "screens/CalibForm.h"
#include "screens/ConfigForm.h"
#include "screens/DataExForm.h"
#include "screens/Globals.h"
#include "screens/MainForm.h"
#include "screens/Questions.h"

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
