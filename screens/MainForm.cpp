#include "screens/MainForm.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>

#include "core/Version.h"

#include "link/CommThread.h"
#include "link/LinkStatus.h"
#include "link/Settings.h"

#include "widgets/Palette.h"
#include "widgets/ShadowButton.h"
#include "widgets/Shape.h"

#include "kit/Artwork.h"
#include "kit/QtText.h"
#include "kit/ScreenKit.h"

#include "screens/Globals.h"
#include "screens/HelpForm.h"
#include "screens/KeptNotice.h"
#include "screens/LoadForm.h"
#include "screens/OptionsForm.h"
#include "screens/Questions.h"

namespace {
cShadowButton* MakeButton(QWidget* parent, const char* name) {
    auto* b = new cShadowButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}
}  // namespace

TMainForm::TMainForm(QWidget* parent) : cIOForm(parent) {
    setObjectName(QStringLiteral("MainForm"));
    const QColor white(255, 255, 255), yellow(255, 255, 0), orange(255, 160, 66);

    // Decoration first, so that it lies beneath the controls.
    Shape3 = new cShape(this);
    Shape3->SetBrush(Palette::PanelNavy);
    Shape2 = new cShape(this);
    Shape2->SetBrush(Qt::transparent);
    Shape1 = new cShape(this);
    Shape1->SetBrush(Qt::black);

    lMainMenu2 = MakeLabel("lMainMenu2", Qt::black);
    lMainMenu1 = MakeLabel("lMainMenu1", orange);

    ConfigBtn = MakeButton(this, "ConfigBtn");
    CalibBtn = MakeButton(this, "CalibBtn");
    VisBtn = MakeButton(this, "VisBtn");
    DataExBtn = MakeButton(this, "DataExBtn");
    OptionsBtn = MakeButton(this, "OptionsBtn");
    ExitBtn = MakeButton(this, "ExitBtn");
    ConfigBtn->setEnabled(false);
    CalibBtn->setEnabled(false);
    VisBtn->setEnabled(false);

    Logo = new cArtwork(Artwork::DrawLogo, this);
    Logo->setObjectName(QStringLiteral("Logo"));
    ProgVerLL = MakeLabel("ProgVerLL", white);
    BuildLL = MakeLabel("BuildLL", white);
    // The build text ends with a line end: keep its first line at the top.
    BuildLL->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label3 = MakeLabel("Label3", white);
    Label1 = MakeLabel("Label1", yellow);

    ProgressLL = MakeLabel("ProgressLL", white);
    ECUTypeLL = MakeLabel("ECUTypeLL", yellow);
    ECUVersionHLL = MakeLabel("ECUVersionHLL", white);
    ECUVersionLL = MakeLabel("ECUVersionLL", yellow);
    StatusHLL = MakeLabel("StatusHLL", white);
    StatusLL = MakeLabel("StatusLL", yellow);
    NoticeLL = MakeLabel("NoticeLL", orange);
    NoticeLL->setWordWrap(true);
    NoticeLL->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    NoticeLL->hide();
    ECUVersionLL->setText(QStringLiteral("0.0/0.0"));
    SetIdentityVisible(false);
    BackupLL = MakeLabel("BackupLL", orange);
    BackupLL->setWordWrap(true);
    BackupLL->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    BackupLL->hide();

    connect(ConfigBtn, &QAbstractButton::clicked, this, &TMainForm::ConfigBtnClick);
    connect(CalibBtn, &QAbstractButton::clicked, this, &TMainForm::CalibBtnClick);
    connect(VisBtn, &QAbstractButton::clicked, this, &TMainForm::VisBtnClick);
    connect(DataExBtn, &QAbstractButton::clicked, this, &TMainForm::DataExBtnClick);
    connect(OptionsBtn, &QAbstractButton::clicked, this, &TMainForm::OptionsBtnClick);
    connect(ExitBtn, &QAbstractButton::clicked, this, &TMainForm::ExitBtnClick);
    RegisterLargeButton(ConfigBtn, Qt::Key_F2);
    RegisterLargeButton(CalibBtn, Qt::Key_F3);
    RegisterLargeButton(VisBtn, Qt::Key_F4);
    RegisterLargeButton(DataExBtn, Qt::Key_F5);
    RegisterLargeButton(OptionsBtn, Qt::Key_F8);
    RegisterLargeButton(ExitBtn, 0);  // F10 closes every screen

    // Layout of the 1024 x 768 design.
    Place(Shape3, 24, 24, 452, 96);
    Place(lMainMenu2, 48 + 4, 38 + 4, 420, 64, 36, true);
    Place(lMainMenu1, 48, 38, 420, 64, 36, true);
    const int bx = 40, bw = 420, bh = 72;
    Place(ConfigBtn, bx, 160, bw, bh, 18, true);
    Place(CalibBtn, bx, 255, bw, bh, 18, true);
    Place(VisBtn, bx, 350, bw, bh, 18, true);
    Place(DataExBtn, bx, 445, bw, bh, 18, true);
    Place(OptionsBtn, bx, 540, bw, bh, 18, true);
    // The exit button sits where every screen has it.
    Place(ExitBtn, 770, 680, 230, 62, 14, true);
    Place(Label1, bx, 680, 300, 32, 14, true);

    Place(Shape2, 520, 24, 464, 236);
    Place(Logo, 540, 36, 424, 112);
    Place(ProgVerLL, 544, 150, 420, 26, 14, true);
    Place(BuildLL, 544, 177, 420, 24, 12);
    Place(Label3, 544, 202, 420, 50, 12);

    Place(Shape1, 520, 300, 464, 200);
    Place(ECUVersionHLL, 544, 324, 200, 36, 16, true);
    Place(ECUVersionLL, 750, 324, 220, 36, 16, true);
    Place(ProgressLL, 544, 382, 430, 36, 16, true);
    Place(ECUTypeLL, 750, 382, 220, 36, 16, true);
    Place(StatusHLL, 544, 440, 200, 36, 16, true);
    Place(StatusLL, 750, 440, 220, 36, 16, true);
    // Below the panel: the other-ECU notice above the backup failure, so both
    // fit; the notice has the room of both while no backup failed.
    Place(NoticeLL, 524, 504, 460, 170, 13);
    Place(BackupLL, 524, 590, 460, 86, 13, true);
    ECUTypeLL->raise();

    Label3->setWordWrap(true);
    SetupFullScreen();
    setWindowTitle(QStringLiteral("ZVBasic"));
    Retranslate();
}

void TMainForm::Retranslate() {
    lMainMenu1->setText(Tr("MAIN MENU"));
    lMainMenu2->setText(Tr("MAIN MENU"));
    FitText(lMainMenu1);
    lMainMenu2->setFont(lMainMenu1->font());
    ConfigBtn->setText(Tr("   F2   Configuration"));
    CalibBtn->setText(Tr("   F3   Calibration"));
    VisBtn->setText(Tr("   F4   Visualisation"));
    DataExBtn->setText(Tr("   F5   Data transfer"));
    OptionsBtn->setText(Tr("   F8   Options"));
    ExitBtn->setText(Tr("   F10  Exit"));
    ProgVerLL->setText(QStringLiteral("ZORVA Basic ") + ToQ(GetVersionText('v')));
    BuildLL->setText(ToQ(GetVersionText('b')));
    Label3->setText(Tr("Calibration software \nfor gas flow systems"));
    Label1->setText(Tr("F1 - Help"));
    ECUVersionHLL->setText(Tr("ECU Version:"));
    StatusHLL->setText(Tr("Status:"));
    StatusLL->setText(Tr("connected"));
    ShowKeptNotice(KeptEditsNotice());
    if (TypeKnown) ECUTypeLL->setText(Tr(Ecu::TypeName(TypeVersion)));
    else ECUTypeLL->setText(QStringLiteral("ZVBasic"));
    ShowBackupText();
    RenderProgress();
}

void TMainForm::RenderProgress() {
    switch (Progress) {
    case eProgress::Initial: ProgressLL->setText(Tr("Connecting to ECU")); break;
    case eProgress::Connecting: ProgressLL->setText(ToQ(ConnectingText(ProgressValue))); break;
    case eProgress::Loading: ProgressLL->setText(ToQ(LoadingText(ProgressValue))); break;
    case eProgress::EcuType: ProgressLL->setText(Tr("ECU Type") + QLatin1Char(':')); break;
    case eProgress::PortError: ProgressLL->setText(Tr("Port error: trying again...")); break;
    }
}

void TMainForm::SetIdentityVisible(bool visible) {
    for (QLabel* l : {ECUVersionHLL, ECUVersionLL, StatusHLL, StatusLL, ECUTypeLL}) l->setVisible(visible);
}

bool TMainForm::IdentityVisible() const { return !ECUTypeLL->isHidden(); }

// --- buttons ---

void TMainForm::ShowScreen(cIOForm* screen) {
    if (!screen) return;
    screen->show();
    screen->raise();
    screen->activateWindow();
}

void TMainForm::ConfigBtnClick() {
    if (CommThread) CommThread->PostRequest(RQ_CONFIG_POLL);
    ShowScreen(ConfigScreen);
}

void TMainForm::CalibBtnClick() { ShowScreen(CalibScreen); }

void TMainForm::VisBtnClick() {
    // Posted and stopped at once, on purpose: the poll posted here ends at
    // its first check, with success (no RequestFailed), and the link goes
    // back to its idle poll, which reads the same six live values. The
    // screen is fed all the same, and the link stays free for the next
    // request. The continuous poll is the visualisation screen's own choice:
    // from its second showing it asks for it after every settings read.
    if (CommThread) {
        CommThread->PostRequest(RQ_VIS_POLL);
        CommThread->StopRequest();
    }
    ShowScreen(VisScreen);
}

void TMainForm::DataExBtnClick() { ShowScreen(DataExScreen); }

void TMainForm::OptionsBtnClick() { ShowScreen(OptionsForm); }

void TMainForm::ExitBtnClick() { close(); }

void TMainForm::ShowSettingsChanged(bool changed) {
    if (changed) DataExBtn->SetOutline(6, Palette::Yellow);
    else DataExBtn->SetOutline(2, cShadowButton::OutlineColor());
}

bool TMainForm::KeptNoticeShown() const { return !NoticeLL->isHidden(); }

void TMainForm::ShowKeptNotice(const QString& text) {
    NoticeLL->setText(text);
    Place(NoticeLL, 524, 504, 460, BackupFailure.isEmpty() ? 170 : 84, 13);
    // Smaller type where a translation would run past the label.
    FitText(NoticeLL);
    NoticeLL->setVisible(!text.isEmpty());
}

void TMainForm::Rescaled() { ShowBackupText(); }

void TMainForm::ShowBackupText() {
    if (BackupFailure.isEmpty()) return;
    const QString head = Tr("The automatic backup of the ECU's settings could not be saved:");
    BackupLL->setToolTip(head + QLatin1Char('\n') + BackupFailure);
    // The reason and the path in full are in the tool tip; the label shows
    // the path shortened in the middle when it is too long for a line.
    ScreenKit::FitNote(BackupLL, DesignFont(Scaled(17), true), head, BackupFailure);
}

void TMainForm::ShowBackupFailure(const QString& reason) {
    BackupFailure = reason.isEmpty() ? QStringLiteral("?") : reason;
    // Retranslate gives the notice its smaller room above the failure.
    Retranslate();
    BackupLL->show();
}

// --- keys, closing and the load message ---

void TMainForm::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (key == Qt::Key_F1) {
        event->accept();
        if (HelpForm) HelpForm->ShowModal();
        return;
    }
    if (key == Qt::Key_F4 && (event->modifiers() & Qt::AltModifier)) {
        event->accept();
        close();
        return;
    }
    cIOForm::keyPressEvent(event);
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (Confirmed) {
        event->accept();
        return;
    }
    if (Asking) {  // the question is up already
        event->ignore();
        return;
    }
    QString question = SettingsChanged() ? Tr("Do you want to\nquit program without\nsaving settings to ECU?")
                                         : Tr("Do you really\nwant to quit program?");
    Asking = true;
    bool yes = Ask(question);
    Asking = false;
    if (!yes) {
        event->ignore();
        return;
    }
    Confirmed = true;
    event->accept();
    emit Closed();
}

bool TMainForm::event(QEvent* event) {
    if (event->type() == LoadDialogEvent) {
        event->accept();
        LoadDialogMessage();
        return true;
    }
    return cIOForm::event(event);
}

void TMainForm::LoadDialogMessage() {
    if (!LoadForm) return;
    if (LoadForm->ShowModal() == ResultOK) {
        EcuSettings = IncomingSettings;
        WorkSettings = IncomingSettings;
    }
    if (ConfigScreen) ConfigScreen->FormShow();
    if (CalibScreen) CalibScreen->FormShow();
    ShowSettingsChanged(SettingsChanged());
    ShowKeptNotice(KeptEditsNotice());
}

// --- link notifications ---

void TMainForm::LinkEvent() {
    cIOForm::LinkEvent();
    switch (LinkRequest) {
    case RQ_CONNECT:
        SetIdentityVisible(false);
        if (LinkPhase == Phase::Attempt) {
            Progress = eProgress::Connecting;
            ProgressValue = LinkValue;
            RenderProgress();
        }
        break;
    case RQ_IDENTIFY:
        if (LinkPhase == Phase::IdVersion) {
            EcuIdVersion = LinkValue;
            ECUVersionLL->setText(ToQ(Ecu::NibbleText(EcuIdVersion)));
        } else if (LinkPhase == Phase::Version) {
            LastEcuVersion = LinkValue;
            ECUVersionLL->setText(ToQ(Ecu::VersionCaption(EcuIdVersion, LinkValue)));
        }
        break;
    case RQ_READ_SETTINGS:
        if (LinkPhase == Phase::Progress) {
            Progress = eProgress::Loading;
            ProgressValue = LinkValue;
            RenderProgress();
        } else if (LinkPhase == Phase::Done && LinkValue == 1) {
            Progress = eProgress::EcuType;
            // The link's version; the one identify reported if the link has none.
            int version = CommThread ? CommThread->GetEcuVersion() : 0;
            if (version == 0) version = LastEcuVersion;
            TypeVersion = version;
            TypeKnown = true;
            ECUTypeLL->setText(Tr(Ecu::TypeName(version)));
            RenderProgress();
            SetIdentityVisible(true);
            // A read after a reconnection may have kept unsaved edits: the
            // marks follow the records, whatever the read did. The settings
            // screens refill themselves on the same event.
            ShowSettingsChanged(SettingsChanged());
            ShowKeptNotice(KeptEditsNotice());
        }
        break;
    default: break;
    }
}

void TMainForm::SendError() {
    cIOForm::SendError();
    SetIdentityVisible(false);
    Progress = eProgress::PortError;
    RenderProgress();
}

void TMainForm::LinkIdle(bool idle) {
    cIOForm::LinkIdle(idle);
    ConfigBtn->setEnabled(idle);
    CalibBtn->setEnabled(idle);
    VisBtn->setEnabled(idle);
}
