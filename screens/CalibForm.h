// The algorithm calibration screen: five stepper valve positions, the engine
// speed at which the ECU switches to gas and the emergency switch-off to
// petrol above a maximal engine speed. Positions are checked as they are
// typed; the screen cannot be left while one is wrong. ECUs of version 48 and
// above get every accepted change at once as a single-parameter update.
#pragma once

#include <cstdint>

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
    // Says when unsaved settings were kept over a reconnection, or the ECU
    // looks like another vehicle's (RefreshKeptEditsNotices).
    QLabel* KeptLL;
    void ShowKeptNotice(const QString& text);

    void Retranslate() override;
    void FormShow() override;

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
    void SendChangedPositions();
    int Version() const;
    QLineEdit* NewEdit(const char* name);

    bool FillGuard = true;  // false while the controls are being filled
};
