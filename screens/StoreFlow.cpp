#include "screens/StoreFlow.h"

#include "link/CommThread.h"
#include "link/Settings.h"

#include "kit/QtText.h"

#include "screens/Globals.h"
#include "screens/KeptEdits.h"
#include "screens/Questions.h"
#include "screens/SaveForm.h"

bool SendSettingUpdate(int ecuVersion, const sUpdate& update) {
    if (!CommThread) return false;
    if (!Ecu::NewProtocol(ecuVersion)) return true;
    // Released: every difference, this one among them, is queued.
    if (CommThread->HoldsKeptEdits()) return ConfirmKeptEdits();
    CommThread->QueueUpdate(update);
    return true;
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
    SettingsStateChanged();
    // The dialog closed on the link's failure notification, which has
    // returned by now: a write that did not end with the store is said
    // plainly, and the settings still count as changed.
    if (TSaveForm::WriteFailed && !TSaveForm::WriteDone) {
        ShowInfo(
            Tr("The settings were NOT stored in the ECU!\n"
               "The connection failed during the transfer. "
               "Store them again when the ECU is connected."));
    }
}
