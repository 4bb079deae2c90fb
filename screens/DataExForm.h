// The data transfer screen: vehicle settings files to and from the working
// settings, storing the settings in the ECU, and restoring the ECU's factory
// settings.
#pragma once

#include "kit/IOForm.h"

class QLabel;
class cShadowButton;
class cVerticalLabel;

class TDataExForm : public cIOForm {
    Q_OBJECT
public:
    explicit TDataExForm(QWidget* parent = nullptr);
    // Says when unsaved settings were kept over a reconnection, or the ECU
    // looks like another vehicle's (RefreshKeptEditsNotices).
    QLabel* KeptLL;
    void ShowKeptNotice(const QString& text);

    void Retranslate() override;
    void FormShow() override;
    void LinkIdle(bool idle) override;

    void LoadFromFileBtnClick();
    void SaveToFileBtnClick();
    void SaveToECUBtnClick();
    void LoadFromECUBtnClick();
    // Drops the unsaved settings (kept over a reconnection or not) for the
    // ECU's, after a question (No by default).
    void TakeEcuBtnClick();

    cVerticalLabel* VrLabel1;
    QWidget* Image1;
    cShadowButton* LoadFromFileBtn;
    cShadowButton* SaveToFileBtn;
    cShadowButton* SaveToECUBtn;
    cShadowButton* LoadFromECUBtn;
    cShadowButton* TakeEcuBtn;
    cShadowButton* ExitBtn;

protected:
    void showEvent(QShowEvent* event) override;

    // The question Factory Settings asks first; it names the backup of the
    // ECU's settings when there is one.
    QString FactoryQuestion() const;

private:
    int Version() const;
};
