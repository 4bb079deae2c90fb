// The visualisation screen: live throttle, engine speed, valve position and
// lambda (with its scrolling trace), the fuel state and LPG level lamps of the
// switch console, the console button, and the capture of live values to a
// file. Everything it shows arrives as link notifications, also while it is
// hidden.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

#include <QTimer>

#include "formats/CaptureFile.h"

#include "kit/IOForm.h"

class QLabel;
class QPushButton;
class cShadowButton;
class cLineGauge;
class cDialGauge;
class cLamp;
class cLambdaTrace;

class TVisForm : public cIOForm {
    Q_OBJECT
public:
    explicit TVisForm(QWidget* parent = nullptr);
    ~TVisForm() override;

    void Retranslate() override;
    void FormShow() override;

    void LinkEvent() override;
    void SettingsLoaded() override;

    // Shows live value k (raw byte r, as the link delivers it) on its gauge or
    // lamp and the lambda trace; a whole cycle goes to the capture file.
    void ShowLiveValue(int k, int r);
    // Scales, regions and zones from the settings and the ECU version.
    void ApplySettingsToDisplays();
    // Starts or stops the capture (LogBtn, F7).
    void LogBtnClick();
    void ConsoleBtnClick();
    bool Capturing() const { return Capture.IsOpen(); }
    // The latest live values, as the capture records them.
    const sLiveSample& LatestSample() const { return LiveSample; }
    // True while the displays of live value k show a value that is no
    // longer current (the link is down or reconnecting); they are dimmed
    // until the next value k arrives.
    bool DisplayStale(int k) const;

    // Controls.
    cLineGauge* TPSLM;
    QLabel* TPSHLL;
    QLabel* TPSLL;
    cDialGauge* RPMAM;
    QLabel* RPMLL;
    cLineGauge* StepperLM;
    QLabel* StepperLL;
    QLabel* LambdaHLL;
    QLabel* LambdaLL;
    cLambdaTrace* LambdaCH;
    QWidget* Image1;  // the switch console
    cLamp* FuelLevelSH[6];
    cLamp* GasSH;
    cLamp* PetrolSH;
    QPushButton* ConsoleBtn;
    QLabel* Label_LPG_Level;
    cShadowButton* LogBtn;
    cShadowButton* ExitBtn;
    QTimer* FuelTM;

    // The capture key's face while capturing: a dark green on which its
    // orange caption reads (a contrast of about 6 to 1).
    static QColor CapturingFill() { return QColor(0x00, 0x30, 0x00); }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

    void SendError() override;
    // The screen itself: its one control, the console button, sends a
    // command to the engine, so a stray Space or Enter on the screen just
    // shown must not reach it (Tab does).
    QWidget* FirstFocus() const override;

private:
    void FuelTMTimer();
    // The controls that show live value k.
    std::vector<QWidget*> DisplaysOf(int k) const;
    void SetStale(int k, bool stale);
    void MarkAllStale();
    // Stops a capture whose file can no longer be written, and says so.
    void CaptureWriteFailed();
    // Ends the capture's file (with a gap line when the link is down).
    void CloseCapture();
    void ShowLogButton();
    int Version() const;

    sLiveSample LiveSample;
    cCaptureFile Capture;
    cCycleValues Cycle;  // of the capture's next record
    // When the link was cut during the capture (empty: not cut since the
    // last record): the capture's next record follows a gap line.
    std::optional<std::chrono::steady_clock::time_point> CaptureCutAt;
    bool FirstShow = true;
};
