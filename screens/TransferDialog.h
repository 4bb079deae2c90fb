// What the load and save progress dialogs share: a title, a state text and a
// gauge on a small framed dialog of fixed design size.
#pragma once

#include "kit/IOForm.h"

class QLabel;
class cProgressGauge;
class cShape;

class cTransferDialog : public cIOForm {
    Q_OBJECT
public:
    // `titleKey` is the English title (translated on every Retranslate);
    // `designStatus` the state text before the first showing.
    cTransferDialog(const char* objectName, const char* titleKey, const char* designStatus, QWidget* parent = nullptr);

    QLabel* Label2;
    // The dialog's state text (object name StatusLL). Not the screens' status
    // line (cIOForm::StatusLL), which the dialog leaves unset: link and port
    // states are not shown here.
    QLabel* TransferStatusLL;
    cProgressGauge* ProgressCG;
    cShape* Frame;

    void Retranslate() override;

protected:
    // Gauge 0 and "Transferring data...": the state on showing and at the
    // start of a transfer.
    void ShowTransferStart();

private:
    const char* TitleKey;
};
