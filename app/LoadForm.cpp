#include "app/LoadForm.h"

#include <QCloseEvent>
#include <QLabel>

#include "app/Globals.h"
#include "app/LinkStatus.h"
#include "app/MainForm.h"
#include "app/ProgressGauge.h"
#include "app/QtText.h"
#include "app/Shape.h"
#include "link/CommThread.h"

bool TLoadForm::ReadDone = false;

TLoadForm::TLoadForm(QWidget* parent) : cIOForm(parent) {
    setObjectName(QStringLiteral("LoadForm"));
    Frame = new cShape(this);
    Frame->SetBrush(Qt::transparent);
    Frame->SetRadius(6);
    Label2 = new QLabel(this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setAlignment(Qt::AlignCenter);
    QPalette pal = Label2->palette();
    pal.setColor(QPalette::WindowText, QColor(255, 160, 66));
    Label2->setPalette(pal);
    StatusLL = new QLabel(this);
    StatusLL->setObjectName(QStringLiteral("StatusLL"));
    StatusLL->setAlignment(Qt::AlignCenter);
    ProgressCG = new cProgressGauge(this);
    ProgressCG->setObjectName(QStringLiteral("ProgressCG"));

    SetupDialog(440, 190);
    Place(Frame, 0, 0, 440, 190);
    Place(Label2, 16, 16, 408, 40, 16, true);
    Place(StatusLL, 16, 66, 408, 32, 12, true);
    Place(ProgressCG, 30, 116, 380, 40, 12, true);
    StatusLL->setText(QStringLiteral("Loading data..."));
    Retranslate();
}

void TLoadForm::Retranslate() {
    setWindowTitle(Tr("Loading data from ECU"));
    Label2->setText(Tr("Loading data from ECU"));
}

void TLoadForm::showEvent(QShowEvent* event) {
    ReadDone = false;
    ProgressCG->SetValue(0);
    StatusLL->setText(Tr("Transferring data..."));
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
    case 0:
        StatusLL->setText(Tr("Transferring data..."));
        ProgressCG->SetValue(0);
        break;
    case 1:
        ProgressCG->SetValue(ProgressPercent(LinkValue));
        break;
    case 2:
        ScreenActive = false;
        ReadDone = true;
        StatusLL->setText(Tr("Settings has been loaded."));
        if (MainForm) MainForm->ShowSettingsChanged(false);
        Done(ResultOK);
        break;
    default:
        break;
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
    StatusLL->setText(Tr("Transmission error!"));
    ProgressCG->SetValue(0);
    Done(ResultCancel);
}
