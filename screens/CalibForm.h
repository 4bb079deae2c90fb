// The algorithm calibration screen: five stepper valve positions, the engine
// speed at which the ECU switches to gas and the emergency switch-off to
// petrol above a maximal engine speed. Positions are checked as they are
// typed; the screen cannot be left while one is wrong. Every accepted change
// goes into the working settings at once; ECUs of version 48 and above get it
// as a single-parameter update when the fitter has settled on it: typing has
// paused (LiveSendDelayMs), Enter was pressed, or the screen is left. A
// number passed on the way (1 and 15 of 150) never reaches the ECU.
#pragma once

#include <cstdint>

#include "link/Settings.h"

#include "widgets/Palette.h"

#include "kit/IOForm.h"

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class cShadowButton;
class cVerticalLabel;

class TCalibForm : public cIOForm {
    Q_OBJECT
public:
    explicit TCalibForm(QWidget* parent = nullptr);
    ~TCalibForm() override;
    // Says when unsaved settings were kept over a reconnection, or the ECU
    // looks like another vehicle's (SettingsStateChanged).
    QLabel* KeptLL;
    void ShowKeptNotice(const QString& text);

    void Retranslate() override;
    void FormShow() override;
    void LinkEvent() override;

    // The pause in typing after which a newer ECU gets the value.
    static constexpr int LiveSendDelayMs = 700;
    // True while a changed value waits for that pause.
    bool SendPending() const;
    // Sends, on a newer ECU, every value changed on this screen that it has
    // not had yet.
    void SendSettled();

    // Error bits of CheckSettings.
    enum : int {
        BAD_MIN = 0x4,
        BAD_MAX = 0x8,
        BAD_H0 = 0x10,
        BAD_H1 = 0x20,
        BAD_H2 = 0x40,
        OUT_OF_RANGE = 0x1000,
    };
    // Checks the five fields and colours them; zero when all is well.
    int CheckSettings();

    static QColor NormalColor() { return QColor(233, 232, 171); }
    static QColor ErrorColor() { return Palette::Red; }
    // The background colour a field shows now.
    static QColor FieldColor(const QLineEdit* edit);

    // Controls.
    cVerticalLabel* VrLabel1;
    QWidget* Image1;  // the valve
    QWidget* Image2;  // the throttle
    QLabel* Label6;   // "Valve\nminimal open"
    QLineEdit* StepPosMinED;
    QLabel* Label7;  // "Valve\nmaximal open"
    QLineEdit* StepPosMaxED;
    QLabel* Label8;  // "Throttle\nclosed"
    QLineEdit* StepPosH0ED;
    QLabel* Label10;  // "Throttle\nopen\nlow\nspeed"
    QLineEdit* StepPosH1ED;
    QLabel* Label11;  // "Throttle\nopen\nhigh\nspeed"
    QLineEdit* StepPosH2ED;
    QFrame* Shape6;  // dotted frame around the engine speed rows
    QLabel* Label3;  // "Gas switch on rotation speed:"
    QComboBox* MinRPMCB;
    QLabel* Label4;  // "RPM"
    QLabel* Label9;  // "Emergency switch off to petrol:"
    QComboBox* EmPetrolCB;
    QLabel* Label1;  // "Maximal rotation speed on gas:"
    QComboBox* MaxRPMCB;
    QLabel* Label2;  // "RPM"
    cShadowButton* ExitBtn;

    // Event handlers (public so that the tests can drive them as a user would).
    void StepPosH2EDChange();
    void MinRPMCBChange();
    void MaxRPMCBChange();
    void EmPetrolCBChange();

protected:
    void showEvent(QShowEvent* event) override;
    bool CanClose() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Takes every position that is accepted into WorkSettings.
    void TakePositions();
    // A change by the fitter: taken, and on a newer ECU sent once settled.
    void Changed();
    int Version() const;
    QLineEdit* NewEdit(const char* name);

    bool FillGuard = true;  // false while the controls are being filled
    class QTimer* SendTimer = nullptr;
    // The settings as the ECU has them as far as this screen knows: as
    // filled, and then as sent.
    sSettings Sent{};
    // A settings read refilled the screen while it was shown, and whether
    // the fitter changed a field since: a screen left unchanged after the
    // read asks nothing when it is left.
    bool ReadWhileShown = false;
    bool EditedSinceRead = false;
};
