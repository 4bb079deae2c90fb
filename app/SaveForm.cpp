#include "app/SaveForm.h"

#include <QKeyEvent>
#include <QLabel>

#include "app/Globals.h"
#include "app/MainForm.h"
#include "app/ProgressGauge.h"
#include "app/QtText.h"
#include "app/Shape.h"
#include "link/CommThread.h"

bool TSaveForm::WriteDone = false;
bool TSaveForm::WriteFailed = false;

TSaveForm::TSaveForm(QWidget* parent) : cIOForm(parent) {
    setObjectName(QStringLiteral("SaveForm"));
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
    StatusLL->setText(QStringLiteral("Transferring data..."));
    Retranslate();
}

void TSaveForm::Retranslate() {
    setWindowTitle(Tr("Saving settings in ECU"));
    Label2->setText(Tr("Saving settings in ECU"));
}

void TSaveForm::showEvent(QShowEvent* event) {
    WriteDone = false;
    WriteFailed = false;
    ProgressCG->SetValue(0);
    StatusLL->setText(Tr("Transferring data..."));
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
    case 0:
        StatusLL->setText(Tr("Transferring data..."));
        ProgressCG->SetValue(0);
        break;
    case 1:
        ProgressCG->SetValue((LinkValue * 100 + 100) / 11);
        break;
    case 2:
        if (LinkValue != 1) break;  // values sent, the store follows
        WriteDone = true;
        StatusLL->setText(Tr("Settings has been saved in ECU"));
        ProgressCG->SetValue(100);
        if (MainForm) MainForm->ShowSettingsChanged(false);
        Done(ResultOK);
        break;
    default:
        break;
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
