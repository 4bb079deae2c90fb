// The hardware configuration screen: throttle sensor with its closed and
// switching levels captured from the live reading, lambda probe, LPG level
// sensor, and the engine speed source (RPM divider on older ECUs, cylinder
// and coil count on ECUs of version 48 and above, which also get every change
// at once as a single-parameter update).
#pragma once

#include <cstdint>

#include "kit/IOForm.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class cShadowButton;
class cLineGauge;
class cDialGauge;
class cVerticalLabel;

class TConfigForm : public cIOForm {
    Q_OBJECT
public:
    explicit TConfigForm(QWidget* parent = nullptr);
    // Says when unsaved settings were kept over a reconnection, or the ECU
    // looks like another vehicle's (SettingsStateChanged).
    QLabel* KeptLL;
    void ShowKeptNotice(const QString& text);

    void Retranslate() override;
    // Show handler and the main menu's refill entry.
    void FormShow() override;

    void LinkEvent() override;
    void SettingsLoaded() override;
    void RequestFailed() override;
    void SendError() override;
    void NoReply() override;
    void BadReply() override;

    // The latest throttle raw value received (0 until the first arrives).
    int LastTPSRaw = 0;

    // Controls.
    cVerticalLabel* VrLabel1;
    QGroupBox* TPSGB;
    QComboBox* TPSTypeCB;
    cShadowButton* TPSMinBtn;
    cShadowButton* TPSSwitchBtn;
    QLabel* TPSSwitchLL;
    cLineGauge* TPSLM;
    QLabel* TPSHLL;
    QLabel* TPSLL;
    QGroupBox* LambdaSensorGB;
    QLabel* Label1;
    QComboBox* LambdaSensorCB;
    QLabel* Label3;
    QComboBox* LPGLevTypeCB;
    QLabel* Label12;
    QPushButton* DisableLpgFilterBtn;
    QGroupBox* RPMOldGB;
    QLabel* Label2;
    QComboBox* RPMDivCB;
    QGroupBox* RPMNewGB;
    QLabel* Label4;
    QComboBox* CylCountCB;
    QLabel* Label5;
    QComboBox* CoilCountCB;
    cDialGauge* RPMAM;
    QLabel* RPMLL;
    cShadowButton* ExitBtn;

    // Event handlers (public so that the tests can drive them as a user would).
    void TPSMinBtnClick();
    void TPSSwitchBtnClick();
    void TPSTypeCBChange();
    void ProbeTypeRGClick();
    void LPGLevTypeRGClick();
    void RPMDivCBChange();
    void CylCountCBChange();
    void CoilCountCBChange();
    void DisableLpgFilterBtnClick();

    // No list has the keys when the screen opens: an arrow key would change
    // a setting in the ECU. Tab reaches the lists.
    QWidget* FirstFocus() const override { return nullptr; }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FillFromSettings();
    void FormClose();
    void ShowSwitchLevel();
    // Shows the capture buttons and the switching level for a linear sensor.
    void ShowTpsCapture(bool linear);
    void UpdateTpsRegions();
    void QueueTps();
    int Version() const;

    // A change by the fitter, counted for the leave question.
    void Edited() { EditedSinceRead = true; }

    bool FillGuard = true;  // false while the controls are being filled
    // A settings read refilled the screen while it was shown, and whether
    // the fitter changed a setting since: a screen left unchanged after the
    // read asks nothing when it is left.
    bool ReadWhileShown = false;
    bool EditedSinceRead = false;
};
