// The load progress dialog: follows a settings read of the link.
#pragma once

#include "app/IOForm.h"

class QLabel;
class cProgressGauge;
class cShape;

class TLoadForm : public cIOForm {
    Q_OBJECT
public:
    explicit TLoadForm(QWidget* parent = nullptr);

    QLabel* Label2;
    QLabel* StatusLL;  // the dialog's state text
    cProgressGauge* ProgressCG;
    cShape* Frame;
    static bool ReadDone;

    void LinkEvent() override;
    void SettingsLoaded() override;
    void RequestFailed() override;
    void Retranslate() override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
};
