// The save progress dialog: follows a settings write of the link. It closes
// only when the write has been stored or has failed.
#pragma once

#include "screens/TransferDialog.h"

class TSaveForm : public cTransferDialog {
    Q_OBJECT
public:
    explicit TSaveForm(QWidget* parent = nullptr);

    static bool WriteDone;
    static bool WriteFailed;

    void LinkEvent() override;
    void RequestFailed() override;
    void SendError() override;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool CanClose() override;
};
