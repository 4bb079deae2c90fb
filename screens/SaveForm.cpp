#include "screens/SaveForm.h"

#include <QKeyEvent>
#include <QLabel>

#include "link/CommThread.h"

#include "widgets/ProgressGauge.h"

#include "kit/QtText.h"

#include "screens/Globals.h"
#include "screens/KeptEdits.h"

bool TSaveForm::WriteDone = false;
bool TSaveForm::WriteFailed = false;

TSaveForm::TSaveForm(QWidget* parent)
    : cTransferDialog("SaveForm", N_("Saving settings in ECU"), "Transferring data...", parent) {}

void TSaveForm::showEvent(QShowEvent* event) {
    WriteDone = false;
    WriteFailed = false;
    ShowTransferStart();
    cIOForm::showEvent(event);
}

void TSaveForm::keyPressEvent(QKeyEvent* event) {
    // No key closes this dialog; it follows the link alone.
    event->accept();
}

bool TSaveForm::CanClose() {
    if (WriteFailed || WriteDone || !CommThread) return true;
    return !(CommThread->IsBusy() && CommThread->GetCurrentRequest() == RQ_WRITE_SETTINGS);
}

void TSaveForm::LinkEvent() {
    cIOForm::LinkEvent();
    if (LinkRequest != RQ_WRITE_SETTINGS) return;
    switch (LinkPhase) {
    case Phase::Start: ShowTransferStart(); break;
    case Phase::Progress: ProgressCG->SetValue((LinkValue * 100 + 100) / 11); break;
    case Phase::Done:
        if (LinkValue != 1) break;  // values sent, the store follows
        WriteDone = true;
        TransferStatusLL->setText(Tr("Settings has been saved in ECU"));
        ProgressCG->SetValue(100);
        SettingsStateChanged();
        Done(ResultOK);
        break;
    default: break;
    }
}

void TSaveForm::RequestFailed() {
    cIOForm::RequestFailed();
    WriteFailed = true;
    Done(ResultCancel);
}

void TSaveForm::SendError() {
    cIOForm::SendError();
    // A port that fails during the write ends the link's cycle without a
    // RequestFailed, and the link stays marked busy with the write until a
    // new port is chosen: without this the dialog could never close.
    if (!IsModalRunning() || WriteDone) return;
    WriteFailed = true;
    Done(ResultCancel);
}
