#include "screens/ConfigForm.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>

#include "link/CommThread.h"
#include "link/Protocol.h"
#include "link/Settings.h"

#include "formats/SettingsText.h"

#include "widgets/ComboBox.h"
#include "widgets/DialGauge.h"
#include "widgets/LineGauge.h"
#include "widgets/Palette.h"
#include "widgets/ShadowButton.h"
#include "widgets/VerticalLabel.h"

#include "kit/QtText.h"
#include "kit/ScreenKit.h"

#include "screens/Globals.h"
#include "screens/KeptEdits.h"
#include "screens/KeptNotice.h"
#include "screens/Questions.h"
#include "screens/SaveForm.h"
#include "screens/StoreFlow.h"

namespace {

// Parameter numbers of the single-parameter updates.
constexpr int kNoSensorItem = SettingsText::NoSensorItem;
constexpr uint8_t kNoSensor = SettingsText::NoSensor;

QComboBox* NewCombo(QWidget* parent, const char* name) {
    auto* c = new cComboBox(parent);
    c->setObjectName(QString::fromLatin1(name));
    ScreenKit::StyleCombo(c);
    return c;
}

QGroupBox* NewGroup(QWidget* parent, const char* name) {
    auto* g = new QGroupBox(parent);
    g->setObjectName(QString::fromLatin1(name));
    ScreenKit::StyleGroup(g);
    g->setMouseTracking(true);
    return g;
}

// The translated texts of a list's catalogue keys.
QStringList Items(const char* const* keys, int count) {
    QStringList items;
    for (int i = 0; i < count; ++i) items << Tr(keys[i]);
    return items;
}

// Sets the texts of a list, keeping its selection.
void SetItems(QComboBox* combo, const QStringList& items) {
    QSignalBlocker block(combo);
    int index = combo->currentIndex();
    if (combo->count() != items.size()) {
        combo->clear();
        combo->addItems(items);
    } else {
        for (int i = 0; i < items.size(); ++i) combo->setItemText(i, items[i]);
    }
    combo->setCurrentIndex(index < items.size() ? index : -1);
}

}  // namespace

TConfigForm::TConfigForm(QWidget* parent) : cIOForm(parent) {
    setObjectName(QStringLiteral("ConfigForm"));

    VrLabel1 = new cVerticalLabel(this);

    // Throttle sensor.
    TPSGB = NewGroup(this, "TPSGB");
    TPSTypeCB = NewCombo(TPSGB, "TPSTypeCB");
    TPSTypeCB->addItems({QString(), QString()});
    TPSTypeCB->setCurrentIndex(1);
    TPSLM = new cLineGauge(Qt::Vertical, TPSGB);
    TPSLM->setObjectName(QStringLiteral("TPSLM"));
    TPSLM->SetStyle(cLineGauge::eStyle::Pointer);
    TPSLM->SetScale(0, 100, 20);
    TPSLM->SetLabelFormat(QStringLiteral("%s%%"));
    TPSLM->SetRegionColors(Palette::Red, Palette::Yellow, Palette::Green);
    TPSHLL = ScreenKit::NewLabel(TPSGB, "TPSHLL", Qt::AlignCenter);
    TPSLL = ScreenKit::NewLabel(TPSGB, "TPSLL", Qt::AlignCenter);
    ScreenKit::StyleLabel(TPSLL, Palette::Yellow);
    TPSMinBtn = new cShadowButton(TPSGB);
    TPSMinBtn->setObjectName(QStringLiteral("TPSMinBtn"));
    TPSSwitchBtn = new cShadowButton(TPSGB);
    TPSSwitchBtn->setObjectName(QStringLiteral("TPSSwitchBtn"));
    TPSSwitchLL = ScreenKit::NewLabel(TPSGB, "TPSSwitchLL");
    ScreenKit::StyleLabel(TPSSwitchLL, Palette::Yellow);

    // Sensors.
    LambdaSensorGB = NewGroup(this, "LambdaSensorGB");
    Label1 = ScreenKit::NewLabel(LambdaSensorGB, "Label1");
    LambdaSensorCB = NewCombo(LambdaSensorGB, "LambdaSensorCB");
    Label3 = ScreenKit::NewLabel(LambdaSensorGB, "Label3");
    LPGLevTypeCB = NewCombo(LambdaSensorGB, "LPGLevTypeCB");
    Label12 = ScreenKit::NewLabel(LambdaSensorGB, "Label12");
    DisableLpgFilterBtn = new QPushButton(LambdaSensorGB);
    DisableLpgFilterBtn->setObjectName(QStringLiteral("DisableLpgFilterBtn"));
    ScreenKit::StyleButton(DisableLpgFilterBtn);
    // It has no function key: the keyboard reaches it with Tab.
    DisableLpgFilterBtn->setFocusPolicy(Qt::TabFocus);

    // Engine speed source: older ECUs.
    RPMOldGB = NewGroup(this, "RPMOldGB");
    Label2 = ScreenKit::NewLabel(RPMOldGB, "Label2");
    RPMDivCB = NewCombo(RPMOldGB, "RPMDivCB");

    // Engine speed: newer ECUs.
    RPMNewGB = NewGroup(this, "RPMNewGB");
    RPMNewGB->hide();
    Label4 = ScreenKit::NewLabel(RPMNewGB, "Label4");
    CylCountCB = NewCombo(RPMNewGB, "CylCountCB");
    Label5 = ScreenKit::NewLabel(RPMNewGB, "Label5");
    CoilCountCB = NewCombo(RPMNewGB, "CoilCountCB");
    const QStringList counts{"1", "2", "3", "4", "5", "6", "8", "10", "12"};
    CylCountCB->addItems(counts);
    CoilCountCB->addItems(counts);
    RPMAM = new cDialGauge(RPMNewGB);
    RPMAM->setObjectName(QStringLiteral("RPMAM"));
    RPMAM->SetScale(0, 8, 8);
    RPMLL = ScreenKit::NewLabel(RPMNewGB, "RPMLL", Qt::AlignCenter);
    ScreenKit::StyleLabel(RPMLL, Palette::Yellow);
    RPMLL->setText(QStringLiteral("000"));

    ExitBtn = new cShadowButton(this);
    ExitBtn->setObjectName(QStringLiteral("ExitBtn"));

    // Handlers. The lists react to the user's choices only (activated), so
    // a selection made by the fill never counts as a change.
    connect(TPSMinBtn, &QAbstractButton::clicked, this, [this] { TPSMinBtnClick(); });
    connect(TPSSwitchBtn, &QAbstractButton::clicked, this, [this] { TPSSwitchBtnClick(); });
    connect(TPSTypeCB, &QComboBox::activated, this, [this] { TPSTypeCBChange(); });
    connect(LambdaSensorCB, &QComboBox::activated, this, [this] { ProbeTypeRGClick(); });
    connect(LPGLevTypeCB, &QComboBox::activated, this, [this] { LPGLevTypeRGClick(); });
    connect(RPMDivCB, &QComboBox::activated, this, [this] { RPMDivCBChange(); });
    connect(CylCountCB, &QComboBox::activated, this, [this] { CylCountCBChange(); });
    connect(CoilCountCB, &QComboBox::activated, this, [this] { CoilCountCBChange(); });
    connect(DisableLpgFilterBtn, &QPushButton::clicked, this, [this] { DisableLpgFilterBtnClick(); });
    connect(ExitBtn, &QAbstractButton::clicked, this, [this] { close(); });

    RegisterLargeButton(TPSMinBtn, Qt::Key_F6);
    RegisterLargeButton(TPSSwitchBtn, Qt::Key_F8);
    RegisterLargeButton(ExitBtn, 0);

    // Layout, in design pixels of a 1024 x 768 screen.
    Place(VrLabel1, 8, 16, 80, 650, 30, true);
    Place(TPSGB, 100, 16, 400, 500, 14, true);
    Place(TPSTypeCB, 20, 40, 360, 32, 13);
    Place(TPSLM, 16, 90, 110, 330, 10);
    Place(TPSHLL, 10, 428, 130, 24, 12, true);
    Place(TPSLL, 10, 452, 130, 30, 16, true);
    Place(TPSMinBtn, 136, 110, 254, 62, 12, true);
    Place(TPSSwitchBtn, 136, 200, 254, 62, 12, true);
    Place(TPSSwitchLL, 132, 290, 262, 30, 12, true);

    Place(LambdaSensorGB, 520, 16, 490, 240, 14, true);
    Place(Label1, 20, 44, 220, 32, 13);
    Place(LambdaSensorCB, 240, 44, 230, 32, 13);
    Place(Label3, 20, 110, 220, 32, 13);
    Place(LPGLevTypeCB, 240, 110, 230, 32, 13);
    Place(Label12, 20, 176, 220, 32, 13);
    Place(DisableLpgFilterBtn, 240, 176, 130, 34, 13, true);

    Place(RPMOldGB, 520, 276, 490, 240, 14, true);
    Place(Label2, 20, 60, 220, 32, 13);
    Place(RPMDivCB, 20, 100, 450, 32, 13);

    Place(RPMNewGB, 520, 276, 490, 240, 14, true);
    Place(Label4, 16, 44, 166, 32, 13);
    Place(CylCountCB, 186, 44, 80, 32, 13);
    Place(Label5, 16, 110, 166, 32, 13);
    Place(CoilCountCB, 186, 110, 80, 32, 13);
    Place(RPMAM, 280, 30, 196, 170, 10, true);
    Place(RPMLL, 20, 176, 230, 40, 22, true);

    KeptLL = MakeLabel("KeptLL", Palette::LightOrange);
    KeptLL->setWordWrap(true);
    KeptLL->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    KeptLL->hide();
    Place(KeptLL, 100, 528, 910, 140, 13, true);
    Place(ExitBtn, 770, 680, 230, 62, 14, true);
    CreateStatusLine(100, 688, 460, 48);
    SetupFullScreen();
    Retranslate();
}

int TConfigForm::Version() const { return CommThread ? CommThread->GetEcuVersion() : 0; }

void TConfigForm::Retranslate() {
    setWindowTitle(Tr("Hardware configuration"));
    VrLabel1->SetText(Tr("HARDWARE CONFIGURATION"));
    TPSGB->setTitle(Tr(SettingsText::TpsGroup));
    SetItems(TPSTypeCB, Items(SettingsText::TpsTypes, 2));
    TPSMinBtn->setText(Tr(SettingsText::ThrottleClosedBtn));
    TPSSwitchBtn->setText(Tr("  F8  Throttle small open"));
    TPSHLL->setText(Tr("TPS [V]"));
    if (TPSLL->text().isEmpty()) TPSLL->setText(ScreenKit::VoltsText(0));
    LambdaSensorGB->setTitle(Tr(" Sensors "));
    Label1->setText(Tr(SettingsText::LambdaProbe));
    SetItems(LambdaSensorCB, Items(SettingsText::LambdaTypes, 6));
    Label3->setText(Tr(SettingsText::LevelSensor));
    SetItems(LPGLevTypeCB, Items(SettingsText::LevelTypes, LPGLevTypeCB->count() > 2 ? 6 : 2));
    Label12->setText(Tr("LPG level filter:"));
    DisableLpgFilterBtn->setText(Tr("Disable"));
    RPMOldGB->setTitle(Tr(" RPM "));
    Label2->setText(Tr(SettingsText::RpmSource));
    SetItems(RPMDivCB, Items(SettingsText::RpmSources, 3));
    RPMNewGB->setTitle(Tr(" RPM "));
    Label4->setText(Tr(SettingsText::CylCount));
    Label5->setText(Tr(SettingsText::CoilCount));
    RPMAM->SetCaption(Tr("RPM|x 1000"));
    ExitBtn->setText(Tr("   F10  Exit"));
    ShowSwitchLevel();
}

// --- showing and filling ---

void TConfigForm::showEvent(QShowEvent* event) {
    cIOForm::showEvent(event);
    if (event->spontaneous()) return;
    ReadWhileShown = false;
    EditedSinceRead = false;
    FormShow();
}

// The screen wants the configuration poll exactly while it is shown: a refill
// of the hidden screen (the main menu's refill entry) must not leave a poll
// request behind that nobody stops.
void TConfigForm::FormShow() {
    ScreenActive = isVisible();
    FillFromSettings();
    ShowKeptNotice(KeptEditsNotice());
}

void TConfigForm::ShowKeptNotice(const QString& text) {
    KeptLL->setText(text);
    // Smaller type where a translation would run past the label.
    FitText(KeptLL);
    KeptLL->setVisible(!text.isEmpty());
}

void TConfigForm::FillFromSettings() {
    // No list keeps the focus while the fill selects its items; the control
    // that had it gets it back afterwards (the first one on showing).
    QWidget* const focused = focusWidget();
    if (focused) focused->clearFocus();
    setFocus();
    FillGuard = false;
    const sSettings& s = WorkSettings;
    const int v = Version();

    ScreenKit::SelectNearest(CylCountCB, s.CylCount);
    ScreenKit::SelectNearest(CoilCountCB, s.CoilCount);
    TPSTypeCB->setCurrentIndex(s.TPSType != 0 ? 1 : 0);
    // The capture buttons and the switching level follow the shown sensor
    // type, so that a settings image loaded meanwhile never leaves "Linear"
    // without its capture buttons (or "Not connected" with them).
    ShowTpsCapture(s.TPSType != 0);
    if (s.LambdaType == kNoSensor) LambdaSensorCB->setCurrentIndex(kNoSensorItem);
    else LambdaSensorCB->setCurrentIndex(s.LambdaType < LambdaSensorCB->count() ? s.LambdaType : -1);
    RPMDivCB->setCurrentIndex(s.RPMDiv < RPMDivCB->count() ? s.RPMDiv : -1);

    // Version rules.
    Label3->setEnabled(Ecu::HasLevelSensor(v));
    RPMOldGB->setVisible(!Ecu::NewProtocol(v));
    RPMNewGB->setVisible(Ecu::NewProtocol(v));
    Label12->setVisible(Ecu::LevelFilterOption(v));
    DisableLpgFilterBtn->setVisible(Ecu::LevelFilterOption(v));

    // The level sensor list is rebuilt for the version.
    {
        QSignalBlocker block(LPGLevTypeCB);
        LPGLevTypeCB->clear();
        LPGLevTypeCB->addItems(Items(SettingsText::LevelTypes, Ecu::SixLevelTypes(v) ? 6 : 2));
        LPGLevTypeCB->setEnabled(Ecu::HasLevelSensor(v));
        LPGLevTypeCB->setCurrentIndex(s.LPGLevType < LPGLevTypeCB->count() ? s.LPGLevType : -1);
    }

    TPSLM->SetScaleMin(0);
    TPSLM->SetRegion1Start(0);
    ShowSwitchLevel();
    FillGuard = true;
    if (isVisible()) RestoreFocus(focused);
}

void TConfigForm::ShowSwitchLevel() {
    TPSSwitchLL->setText(Tr(SettingsText::SwitchingLevel) + QStringLiteral(": ") +
                         ScreenKit::VoltsText(Conv::RawToVolts(WorkSettings.TPSSwitchLevel)));
}

// The zone boundary at the switching level, counted as throttle opening.
void TConfigForm::UpdateTpsRegions() {
    const sSettings& s = WorkSettings;
    TPSLM->SetScaleMin(0);
    TPSLM->SetRegion1Start(0);
    TPSLM->SetRegion2Start(0);
    TPSLM->SetRegion3Start(Conv::TpsPercent(s.TPSSwitchLevel, Conv::TpsFalling(s)));
}

// --- link notifications ---

void TConfigForm::LinkEvent() {
    cIOForm::LinkEvent();
    if (LinkRequest == RQ_IDENTIFY) {
        FillFromSettings();
        return;
    }
    if (LinkRequest == RQ_READ_SETTINGS && LinkPhase == Phase::Done && LinkValue == 1) {
        // Every list shows what the ECU now holds, or the edits kept over a
        // reconnection: never a choice of the ECU (or car) before.
        if (isVisible()) {
            ReadWhileShown = true;
            EditedSinceRead = false;
        }
        FillFromSettings();
        ShowKeptNotice(KeptEditsNotice());
        return;
    }
    if (LinkRequest != RQ_CONFIG_POLL) return;
    if (LinkPhase == Phase::ConfigTps) {
        const int raw = LinkValue & 0xFF;
        LastTPSRaw = raw;
        TPSLL->setText(ScreenKit::VoltsText(Conv::RawToVolts(raw)));
        UpdateTpsRegions();
        TPSLM->SetValue(Conv::TpsPercent(raw, Conv::TpsFalling(WorkSettings)));
    } else if (LinkPhase == Phase::ConfigRpm) {
        const int rpm = Conv::PeriodToRpm(LinkValue & 0xFF);
        RPMLL->setText(ScreenKit::ThreeDigits(rpm));
        RPMAM->SetValue(rpm * 0.001);
    }
}

void TConfigForm::SettingsLoaded() {
    cIOForm::SettingsLoaded();
    if (ScreenActive && CommThread) CommThread->PostRequest(RQ_CONFIG_POLL);
    TPSMinBtn->setEnabled(true);
    TPSSwitchBtn->setEnabled(true);
}

void TConfigForm::RequestFailed() {
    cIOForm::RequestFailed();
    TPSMinBtn->setEnabled(false);
    TPSSwitchBtn->setEnabled(false);
}

void TConfigForm::SendError() {
    cIOForm::SendError();  // "COM port error!" in the status line
    TPSMinBtn->setEnabled(false);
    TPSSwitchBtn->setEnabled(false);
}

void TConfigForm::NoReply() {
    cIOForm::NoReply();
    TPSMinBtn->setEnabled(false);
    TPSSwitchBtn->setEnabled(false);
}

void TConfigForm::BadReply() {
    cIOForm::BadReply();
    TPSMinBtn->setEnabled(false);
    TPSSwitchBtn->setEnabled(false);
}

// --- changes ---

void TConfigForm::QueueTps() { SendSettingUpdate(Version(), sUpdate(P_TPS, Conv::TpsParamValue(WorkSettings))); }

void TConfigForm::TPSMinBtnClick() {
    Edited();
    WorkSettings.TPSClosedLevel = uint8_t(LastTPSRaw);
    UpdateTpsRegions();
    QueueTps();
}

void TConfigForm::TPSSwitchBtnClick() {
    Edited();
    WorkSettings.TPSSwitchLevel = uint8_t(LastTPSRaw);
    ShowSwitchLevel();
    UpdateTpsRegions();
    QueueTps();
}

void TConfigForm::ShowTpsCapture(bool linear) {
    TPSMinBtn->setVisible(linear);
    TPSSwitchBtn->setVisible(linear);
    TPSSwitchLL->setVisible(linear);
}

void TConfigForm::TPSTypeCBChange() {
    Edited();
    const bool linear = TPSTypeCB->currentIndex() != 0;
    ShowTpsCapture(linear);
    WorkSettings.TPSType = linear ? 1 : 0;
    QueueTps();
}

void TConfigForm::ProbeTypeRGClick() {
    if (!FillGuard) return;
    const int index = LambdaSensorCB->currentIndex();
    if (index < 0) return;
    Edited();
    WorkSettings.LambdaType = index == kNoSensorItem ? kNoSensor : uint8_t(index);
    SendSettingUpdate(Version(), sUpdate(P_LAMBDA_TYPE, WorkSettings.LambdaType));
}

void TConfigForm::LPGLevTypeRGClick() {
    if (!FillGuard) return;
    const int v = Version();
    const int index = LPGLevTypeCB->currentIndex();
    if (!Ecu::HasLevelSensor(v) || index < 0) return;
    Edited();
    WorkSettings.LPGLevType = uint8_t(index);
    SendSettingUpdate(v, sUpdate(P_LEVEL_TYPE, WorkSettings.LPGLevType));
}

void TConfigForm::RPMDivCBChange() {
    if (!FillGuard) return;
    const int index = RPMDivCB->currentIndex();
    if (index < 0) return;
    Edited();
    WorkSettings.RPMDiv = uint8_t(index);  // goes out with the next whole write
}

void TConfigForm::CylCountCBChange() {
    if (!FillGuard || !Ecu::NewProtocol(Version())) return;
    bool ok = false;
    const int n = CylCountCB->currentText().toInt(&ok);
    if (!ok) return;
    Edited();
    WorkSettings.CylCount = uint8_t(n);
    SendSettingUpdate(Version(), sUpdate(P_CYL_COUNT, WorkSettings.CylCount));
}

void TConfigForm::CoilCountCBChange() {
    if (!FillGuard || !Ecu::NewProtocol(Version())) return;
    bool ok = false;
    const int n = CoilCountCB->currentText().toInt(&ok);
    if (!ok) return;
    Edited();
    WorkSettings.CoilCount = uint8_t(n);
    SendSettingUpdate(Version(), sUpdate(P_COIL_COUNT, WorkSettings.CoilCount));
}

void TConfigForm::DisableLpgFilterBtnClick() {
    if (CommThread && Ecu::LevelFilterOption(Version())) CommThread->QueueUpdate(sUpdate(P_COMMAND, LEVEL_FILTER_OFF));
}

// --- leaving ---

void TConfigForm::closeEvent(QCloseEvent* event) {
    if (isVisible()) FormClose();
    cIOForm::closeEvent(event);
}

void TConfigForm::FormClose() {
    ScreenActive = false;
    if (CommThread && CommThread->IsBusy() && CommThread->GetCurrentRequest() == RQ_CONFIG_POLL)
        CommThread->StopRequest();
    // After a settings read while the screen was shown, only changes made
    // since are asked about.
    const bool ask = !ReadWhileShown || EditedSinceRead;
    if (ask && !Ecu::NewProtocol(Version()) && SettingsChanged()) {
        // Settings kept over a reconnection are asked about on their own.
        const bool store = CommThread && CommThread->HoldsKeptEdits()
                               ? ConfirmKeptEdits()
                               : Ask(Tr("Settings has changed.\nDo you want to\nsave them in ECU?"));
        if (store) WriteSettingsWithProgress();
    }
    SettingsStateChanged();
}
