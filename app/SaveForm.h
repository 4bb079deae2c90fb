// The save progress dialog: follows a settings write of the link. It closes
// only when the write has been stored or has failed.
#pragma once

#include "app/IOForm.h"

class QLabel;
class cProgressGauge;
class cShape;

class TSaveForm : public cIOForm {
    Q_OBJECT
public:
    explicit TSaveForm(QWidget* parent = nullptr);

    QLabel* Label2;
    QLabel* StatusLL;  // the dialog's state text
    cProgressGauge* ProgressCG;
    cShape* Frame;
    static bool WriteDone;
    static bool WriteFailed;

    void LinkEvent() override;
    void RequestFailed() override;
    void SendError() override;
    void Retranslate() override;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool CanClose() override;
};
