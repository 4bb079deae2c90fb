#include "screens/TransferDialog.h"

#include <QLabel>

#include "widgets/Palette.h"
#include "widgets/ProgressGauge.h"
#include "widgets/Shape.h"

#include "kit/QtText.h"

cTransferDialog::cTransferDialog(const char* objectName, const char* titleKey, const char* designStatus,
                                 QWidget* parent)
    : cIOForm(parent),
      TitleKey(titleKey) {
    setObjectName(QString::fromLatin1(objectName));
    Frame = new cShape(this);
    Frame->SetBrush(Qt::transparent);
    Frame->SetRadius(6);
    Label2 = new QLabel(this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setAlignment(Qt::AlignCenter);
    QPalette pal = Label2->palette();
    pal.setColor(QPalette::WindowText, Palette::LightOrange);
    Label2->setPalette(pal);
    TransferStatusLL = new QLabel(this);
    TransferStatusLL->setObjectName(QStringLiteral("StatusLL"));
    TransferStatusLL->setAlignment(Qt::AlignCenter);
    ProgressCG = new cProgressGauge(this);
    ProgressCG->setObjectName(QStringLiteral("ProgressCG"));

    SetupDialog(440, 190);
    Place(Frame, 0, 0, 440, 190);
    Place(Label2, 16, 16, 408, 40, 16, true);
    Place(TransferStatusLL, 16, 66, 408, 32, 12, true);
    Place(ProgressCG, 30, 116, 380, 40, 12, true);
    TransferStatusLL->setText(QString::fromUtf8(designStatus));
    cTransferDialog::Retranslate();
}

void cTransferDialog::Retranslate() {
    setWindowTitle(Tr(TitleKey));
    Label2->setText(Tr(TitleKey));
}

void cTransferDialog::ShowTransferStart() {
    ProgressCG->SetValue(0);
    TransferStatusLL->setText(Tr("Transferring data..."));
}
