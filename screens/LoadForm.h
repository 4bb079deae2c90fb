// The load progress dialog: follows a settings read of the link.
#pragma once

#include "screens/TransferDialog.h"

class TLoadForm : public cTransferDialog {
    Q_OBJECT
public:
    explicit TLoadForm(QWidget* parent = nullptr);

    static bool ReadDone;

    void LinkEvent() override;
    void SettingsLoaded() override;
    void RequestFailed() override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
};
