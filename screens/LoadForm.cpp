#include "screens/LoadForm.h"

#include <QCloseEvent>
#include <QLabel>

#include "link/CommThread.h"
#include "link/LinkStatus.h"
#include "link/Settings.h"

#include "widgets/ProgressGauge.h"

#include "kit/QtText.h"

#include "screens/Globals.h"

bool TLoadForm::ReadDone = false;

TLoadForm::TLoadForm(QWidget* parent)
    : cTransferDialog("LoadForm", N_("Loading data from ECU"), "Loading data...", parent) {}

void TLoadForm::showEvent(QShowEvent* event) {
    ReadDone = false;
    ShowTransferStart();
    ScreenActive = true;
    cIOForm::showEvent(event);
}

void TLoadForm::closeEvent(QCloseEvent* event) {
    ScreenActive = false;
    cIOForm::closeEvent(event);
}

void TLoadForm::LinkEvent() {
    cIOForm::LinkEvent();
    if (LinkRequest != RQ_READ_SETTINGS) return;
    switch (LinkPhase) {
    case Phase::Start: ShowTransferStart(); break;
    case Phase::Progress: ProgressCG->SetValue(ProgressPercent(LinkValue)); break;
    case Phase::Done:
        ScreenActive = false;
        ReadDone = true;
        TransferStatusLL->setText(Tr("Settings has been loaded."));
        Done(ResultOK);
        break;
    default: break;
    }
}

void TLoadForm::SettingsLoaded() {
    cIOForm::SettingsLoaded();
    // The read ended without its last step (it was stopped): ask again.
    if (ScreenActive && CommThread) CommThread->PostRequest(RQ_READ_SETTINGS);
}

void TLoadForm::RequestFailed() {
    cIOForm::RequestFailed();
    if (ReadDone) return;
    TransferStatusLL->setText(Tr("Transmission error!"));
    ProgressCG->SetValue(0);
    Done(ResultCancel);
}
