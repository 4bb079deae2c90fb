#include "screens/VisForm.h"

#include <algorithm>
#include <limits>

#include <QCloseEvent>
#include <QFileInfo>
#include <QGraphicsOpacityEffect>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QShowEvent>

#include "core/Translate.h"

#include "link/CommThread.h"
#include "link/Protocol.h"
#include "link/Settings.h"

#include "widgets/DialGauge.h"
#include "widgets/LambdaTrace.h"
#include "widgets/Lamp.h"
#include "widgets/LineGauge.h"
#include "widgets/Palette.h"
#include "widgets/ShadowButton.h"

#include "kit/Artwork.h"
#include "kit/QtText.h"
#include "kit/ScreenKit.h"

#include "screens/FileDialog.h"
#include "screens/Globals.h"
#include "screens/Questions.h"

TVisForm::TVisForm(QWidget* parent) : cIOForm(parent) {
    setObjectName(QStringLiteral("VisForm"));

    TPSLM = new cLineGauge(Qt::Vertical, this);
    TPSLM->setObjectName(QStringLiteral("TPSLM"));
    TPSLM->SetStyle(cLineGauge::eStyle::Bar);
    TPSLM->SetScale(0, 100, 20);
    TPSLM->SetLabelFormat(QStringLiteral("%s%%"));
    TPSLM->SetRegionColors(Palette::Red, Palette::Yellow, Palette::Green);
    TPSLM->SetRegion1Start(0);
    TPSLM->SetRegion2Start(0);
    TPSHLL = ScreenKit::NewLabel(this, "TPSHLL", Qt::AlignCenter);
    TPSLL = ScreenKit::NewLabel(this, "TPSLL", Qt::AlignCenter);
    ScreenKit::StyleLabel(TPSLL, Palette::Yellow);
    TPSLL->setText(ScreenKit::VoltsText(0));

    RPMAM = new cDialGauge(this);
    RPMAM->setObjectName(QStringLiteral("RPMAM"));
    RPMAM->SetScale(0, 8, 8);
    RPMAM->SetZoneColors(Palette::Yellow, QColor(0, 200, 0), Palette::Red);
    RPMLL = ScreenKit::NewLabel(this, "RPMLL", Qt::AlignCenter);
    ScreenKit::StyleLabel(RPMLL, Palette::Yellow);
    RPMLL->setText(QStringLiteral("000"));

    StepperLM = new cLineGauge(Qt::Horizontal, this);
    StepperLM->setObjectName(QStringLiteral("StepperLM"));
    StepperLM->SetStyle(cLineGauge::eStyle::Bar);
    StepperLM->SetScale(0, 255, 50, 25);
    StepperLM->SetRegionColors(Palette::Yellow, Palette::Green, Palette::Red);
    StepperLL = ScreenKit::NewLabel(this, "StepperLL", Qt::AlignCenter);
    ScreenKit::StyleLabel(StepperLL, Palette::Yellow);
    StepperLL->setText(QStringLiteral("0"));

    LambdaCH = new cLambdaTrace(this);
    LambdaCH->setObjectName(QStringLiteral("LambdaCH"));
    LambdaHLL = ScreenKit::NewLabel(this, "LambdaHLL", Qt::AlignRight | Qt::AlignVCenter);
    LambdaLL = ScreenKit::NewLabel(this, "LambdaLL", Qt::AlignCenter);
    ScreenKit::StyleLabel(LambdaLL, Palette::Yellow);
    LambdaLL->setText(ScreenKit::TwoDecimals(0));

    // The driver's switch console; the lamps and the console button lie over it.
    Image1 = new cArtwork([](QPainter& p, const QRectF& r) { Artwork::DrawConsole(p, r, false); }, this);
    Image1->setObjectName(QStringLiteral("Image1"));
    for (int i = 0; i < 6; ++i) {
        FuelLevelSH[i] = i == 0 ? new cLamp(cLamp::RedLit(), cLamp::RedDark(), this)
                                : new cLamp(cLamp::GreenLit(), cLamp::GreenDark(), this);
        FuelLevelSH[i]->setObjectName(QStringLiteral("FuelLevelSH%1").arg(i));
    }
    GasSH = new cLamp(cLamp::GreenLit(), cLamp::GreenDark(), this);
    GasSH->setObjectName(QStringLiteral("GasSH"));
    PetrolSH = new cLamp(cLamp::RedLit(), cLamp::RedDark(), this);
    PetrolSH->setObjectName(QStringLiteral("PetrolSH"));
    ConsoleBtn = new QPushButton(this);
    ConsoleBtn->setObjectName(QStringLiteral("ConsoleBtn"));
    // It has no function key: the keyboard reaches it with Tab.
    ConsoleBtn->setFocusPolicy(Qt::TabFocus);
    ConsoleBtn->setCursor(Qt::PointingHandCursor);
    DeferStyleSheet(
        ConsoleBtn,
        QStringLiteral(
            "QPushButton { background: rgb(50,50,56); border: 2px solid rgb(160,160,160); border-radius: 6px; }"
            "QPushButton:pressed { background: rgb(20,20,20); }"
            "QPushButton:focus { border-color: rgb(255,255,0); }"
            "QPushButton:disabled { border-color: rgb(80,80,80); }"));
    ConsoleBtn->setEnabled(false);
    Label_LPG_Level = ScreenKit::NewLabel(this, "Label_LPG_Level", Qt::AlignLeft | Qt::AlignVCenter);
    Label_LPG_Level->setText(QStringLiteral("0"));
    Label_LPG_Level->hide();
    // A move over the raw level paints the exit button black: it must reach the form.
    Label_LPG_Level->setMouseTracking(true);

    LogBtn = new cShadowButton(this);
    LogBtn->setObjectName(QStringLiteral("LogBtn"));
    ExitBtn = new cShadowButton(this);
    ExitBtn->setObjectName(QStringLiteral("ExitBtn"));
    // Only the exit button takes the hover colour; the capture button's face
    // shows the capture state.
    RegisterLargeButton(ExitBtn, 0);

    FuelTM = new QTimer(this);
    FuelTM->setInterval(500);
    connect(FuelTM, &QTimer::timeout, this, [this] { FuelTMTimer(); });
    connect(LogBtn, &QAbstractButton::clicked, this, [this] { LogBtnClick(); });
    connect(ExitBtn, &QAbstractButton::clicked, this, [this] { close(); });
    connect(ConsoleBtn, &QPushButton::clicked, this, [this] { ConsoleBtnClick(); });

    // Layout, in design pixels of a 1024 x 768 screen.
    Place(TPSLM, 16, 20, 120, 400, 11);
    Place(TPSHLL, 10, 428, 130, 26, 13, true);
    Place(TPSLL, 10, 454, 130, 36, 18, true);
    Place(RPMAM, 150, 16, 340, 340, 16, true);
    Place(RPMLL, 220, 360, 200, 48, 26, true);
    Place(LambdaCH, 510, 20, 500, 260, 11);
    Place(LambdaHLL, 510, 286, 200, 34, 13, true);
    Place(LambdaLL, 716, 286, 120, 34, 18, true);
    Place(Image1, 510, 336, 500, 170, 12, true);
    const int lampX[6] = {606, 662, 718, 774, 830, 886};
    for (int i = 0; i < 6; ++i) Place(FuelLevelSH[i], lampX[i] - 14, 372, 28, 28);
    Place(GasSH, 530, 436, 40, 40);
    Place(PetrolSH, 950, 436, 40, 40);
    Place(ConsoleBtn, 725, 452, 70, 34);
    Place(Label_LPG_Level, 516, 510, 140, 24, 11);
    Place(StepperLM, 16, 510, 420, 130, 11);
    Place(StepperLL, 440, 548, 70, 40, 18, true);
    Place(LogBtn, 500, 680, 260, 62, 14, true);
    Place(ExitBtn, 780, 680, 230, 62, 14, true);
    CreateStatusLine(16, 688, 460, 48);
    SetupFullScreen();
    Retranslate();

    // A display whose value is not current is dimmed. Nothing has come yet.
    for (int k : LivePollParams)
        for (QWidget* w : DisplaysOf(k)) {
            auto* dim = new QGraphicsOpacityEffect(w);
            dim->setOpacity(0.3);
            w->setGraphicsEffect(dim);
        }
}

std::vector<QWidget*> TVisForm::DisplaysOf(int k) const {
    switch (k) {
    case LiveTPS: return {TPSLM, TPSLL};
    case LiveRPM: return {RPMAM, RPMLL};
    case LiveFuel: return {GasSH, PetrolSH};
    case LiveStepper: return {StepperLM, StepperLL};
    case LiveLambda: return {LambdaLL, LambdaCH};
    case LiveLPGLevel: {
        std::vector<QWidget*> out(FuelLevelSH, FuelLevelSH + 6);
        out.push_back(Label_LPG_Level);
        return out;
    }
    default: return {};
    }
}

void TVisForm::SetStale(int k, bool stale) {
    for (QWidget* w : DisplaysOf(k))
        if (QGraphicsEffect* dim = w->graphicsEffect(); dim && dim->isEnabled() != stale) dim->setEnabled(stale);
}

bool TVisForm::DisplayStale(int k) const {
    const std::vector<QWidget*> displays = DisplaysOf(k);
    return !displays.empty() && displays.front()->graphicsEffect() && displays.front()->graphicsEffect()->isEnabled();
}

void TVisForm::MarkAllStale() {
    for (int k : LivePollParams) SetStale(k, true);
    Cycle.Cut();
    if (Capture.IsOpen() && !CaptureCutAt) CaptureCutAt = std::chrono::steady_clock::now();
    // A blinking gas lamp would look live.
    FuelTM->stop();
}

TVisForm::~TVisForm() { CloseCapture(); }

void TVisForm::CloseCapture() {
    // Stopped while the link was down: the time away up to the end is a gap
    // after the last record, not a time of records.
    if (Capture.IsOpen() && CaptureCutAt)
        (void)Capture.WriteGap(std::chrono::duration<double>(std::chrono::steady_clock::now() - *CaptureCutAt).count());
    CaptureCutAt.reset();
    Capture.Close();
}

int TVisForm::Version() const { return CommThread ? CommThread->GetEcuVersion() : 0; }

void TVisForm::Retranslate() {
    setWindowTitle(Tr("Visualisation"));
    TPSHLL->setText(Tr("TPS [V]"));
    RPMAM->SetCaption(Tr("RPM|x 1000"));
    StepperLM->SetCaptions(Tr("Valve position"), Tr("closed"), Tr("open"));
    LambdaHLL->setText(Tr("Lambda [V]"));
    LambdaCH->SetTitle(Tr("Lambda"));
    ExitBtn->setText(Tr("   F10  Exit"));
    ShowLogButton();
}

void TVisForm::ShowLogButton() {
    if (Capture.IsOpen()) {
        LogBtn->setText(Tr("  F7  Stop capturing"));
        LogBtn->SetFill(CapturingFill());
    } else {
        LogBtn->setText(Tr("  F7  Capture to file"));
        LogBtn->SetFill(Palette::Black);
    }
}

// --- showing and closing ---

void TVisForm::showEvent(QShowEvent* event) {
    cIOForm::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TVisForm::FormShow() {
    if (FirstShow) FirstShow = false;
    else ScreenActive = true;
    ApplySettingsToDisplays();
}

QWidget* TVisForm::FirstFocus() const { return const_cast<TVisForm*>(this); }

void TVisForm::closeEvent(QCloseEvent* event) {
    if (isVisible()) {
        ScreenActive = false;
        if (CommThread && CommThread->IsBusy() && CommThread->GetCurrentRequest() == RQ_VIS_POLL)
            CommThread->StopRequest();
    }
    cIOForm::closeEvent(event);
}

void TVisForm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F7) {
        event->accept();
        if (LogBtn->isEnabled()) LogBtnClick();
        return;
    }
    if (event->key() == Qt::Key_F12) {
        event->accept();
        Label_LPG_Level->setVisible(!Label_LPG_Level->isVisible());
        return;
    }
    cIOForm::keyPressEvent(event);
}

// --- settings on the displays ---

void TVisForm::ApplySettingsToDisplays() {
    const sSettings& s = WorkSettings;
    // Lambda axis by sensor type; other types keep the axis they have.
    double lo = LambdaCH->AxisMin(), hi = LambdaCH->AxisMax();
    Conv::LambdaRange(s.LambdaType, lo, hi);
    double inc = LambdaCH->AxisIncrement();
    switch (s.LambdaType) {
    case 0:
    case 2:
    case 4: inc = 0.2; break;
    case 1:
    case 3:
    case 8: inc = 1; break;
    default: break;
    }
    LambdaCH->SetAxis(lo, hi, inc);

    StepperLM->SetScaleMin(0);
    StepperLM->SetRegion1Start(0);
    StepperLM->SetRegion2Start(s.StepPosMin);
    StepperLM->SetRegion3Start(s.StepPosMax);

    // Dial zones in whole percent of the 8000 rpm scale.
    const double lower = s.MinRPMCode ? (double(RPM_PERIOD_CONSTANT) / s.MinRPMCode) * 0.0125 : 0.0;
    const double upper = s.MaxRPMCode ? (double(RPM_PERIOD_CONSTANT) / s.MaxRPMCode) * 0.0125 : 100.0;
    RPMAM->SetZones(int(lower), int(upper - lower));

    TPSLM->SetScaleMin(0);
    TPSLM->SetRegion1Start(0);
    ConsoleBtn->setEnabled(Ecu::NewProtocol(Version()));
}

// --- live values ---

void TVisForm::LinkEvent() {
    cIOForm::LinkEvent();
    if (LinkRequest == RQ_VIS_POLL || LinkRequest == RQ_IDLE_POLL) ShowLiveValue(LinkPhase, LinkValue);
    else if (LinkRequest == RQ_IDENTIFY) ApplySettingsToDisplays();
    // Connecting: the line dropped or the port changed, no value is current.
    else if (LinkRequest == RQ_CONNECT) MarkAllStale();
}

void TVisForm::SendError() {
    cIOForm::SendError();
    MarkAllStale();
}

void TVisForm::SettingsLoaded() {
    cIOForm::SettingsLoaded();
    if (ScreenActive && CommThread) CommThread->PostRequest(RQ_VIS_POLL);
}

void TVisForm::ShowLiveValue(int k, int r) {
    const sSettings& s = WorkSettings;
    const float lambdaShown = Conv::TakeLiveValue(LiveSample, k, r, Version(), s.LambdaType);
    Cycle.Take(k);
    SetStale(k, false);
    switch (k) {
    case LiveTPS: {
        TPSLL->setText(ScreenKit::VoltsText(LiveSample.TPSVolts));
        TPSLM->SetScaleMin(0);
        TPSLM->SetRegion1Start(0);
        const bool falling = Conv::TpsFalling(s);
        TPSLM->SetRegion3Start(Conv::TpsPercent(s.TPSSwitchLevel, falling));
        TPSLM->SetValue(Conv::TpsPercent(r, falling));
        break;
    }
    case LiveRPM: {
        const int rpm = LiveSample.RPM;
        RPMLL->setText(ScreenKit::ThreeDigits(rpm));
        RPMAM->SetValue(rpm * 0.001);
        break;
    }
    case LiveFuel:
        if (r == FUEL_GAS_STARTING) {
            if (!FuelTM->isActive()) {
                FuelTM->start(500);
                GasSH->SetLit(true);
            }
            PetrolSH->SetLit(false);
        } else if (r == FUEL_GAS) {
            FuelTM->stop();
            GasSH->SetLit(true);
            PetrolSH->SetLit(false);
        } else if (r == FUEL_PETROL) {
            FuelTM->stop();
            PetrolSH->SetLit(true);
            GasSH->SetLit(false);
        }
        break;
    case LiveStepper:
        StepperLM->SetValue(r);
        StepperLL->setText(QString::number(r));
        break;
    case LiveLambda: {
        // Without a value (no sensor below version 48) the last lambda volts
        // stay; they are shown and clamped again like a new value.
        LambdaLL->setText(ScreenKit::TwoDecimals(lambdaShown));  // before the clamp
        break;
    }
    case LiveLPGLevel: {
        // A record only of values of one cycle read since the link was last
        // cut (the poll resumes mid-cycle after a reconnection).
        // The time the ECU was away goes before the first record after it.
        if (Capture.IsOpen() && Cycle.Whole()) {
            const bool gapWritten =
                !CaptureCutAt ||
                Capture.WriteGap(
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - *CaptureCutAt).count());
            CaptureCutAt.reset();
            if (!gapWritten || !Capture.WriteRecord(LiveSample)) CaptureWriteFailed();
        }
        const char* pattern = Conv::LevelLampPattern(Conv::LevelIndex(r, Version()));
        for (int i = 0; i < 6; ++i) FuelLevelSH[i]->SetLit(pattern[i] == '1');
        Label_LPG_Level->setText(QString::number(r));
        break;
    }
    default: break;
    }
    // One trace point per live value, whatever it was.
    LambdaCH->AddPoint(LiveSample.LambdaVolts);
}

void TVisForm::FuelTMTimer() { GasSH->Toggle(); }

// --- buttons ---

void TVisForm::ConsoleBtnClick() {
    if (CommThread && Ecu::NewProtocol(Version())) CommThread->QueueUpdate(sUpdate(P_COMMAND, CONSOLE_COMMAND));
}

void TVisForm::LogBtnClick() {
    if (Capture.IsOpen()) {
        CloseCapture();
        ShowLogButton();
        return;
    }
    sFileDialogRequest request;
    request.Save = true;
    request.Filter = Tr("Data files *.dat") + QStringLiteral(" (*.dat)");
    request.DefaultSuffix = QStringLiteral("dat");
    request.ProposedName = QStringLiteral("capture");
    // Last week's capture is not emptied without a question.
    request.ConfirmOverwrite = true;
    const QString path = FileDialog::Run(this, request);
    if (path.isEmpty()) return;
    // Only a regular file is taken: a named pipe or a device is refused
    // without waiting, and said plainly like any file that cannot be opened.
    if (!Capture.Open(ToPath(path))) {
        if (Capture.WriteFailed()) {
            ShowStatusMessage(N_("Capture stopped: write error!"));
            return;
        }
        ShowInfo(Tr("Capture file could not be opened:") + QLatin1Char('\n') + QFileInfo(path).fileName() +
                 QLatin1Char('\n') + Tr(Capture.Error().c_str()));
        return;
    }
    // The first record waits for a whole cycle.
    Cycle.Cut();
    CaptureCutAt.reset();
    ShowLogButton();
}

void TVisForm::CaptureWriteFailed() {
    Capture.Close();
    ShowLogButton();
    ShowStatusMessage(N_("Capture stopped: write error!"));
}
