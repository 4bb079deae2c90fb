#include "screens/DataExForm.h"

#include <ctime>

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QShowEvent>
#include <QStandardPaths>

#include "core/Backup.h"
#include "core/Ini.h"
#include "core/RegularFile.h"
#include "core/Resources.h"

#include "link/CommThread.h"
#include "link/Protocol.h"
#include "link/Settings.h"

#include "formats/CaptureData.h"
#include "formats/VehicleFile.h"

#include "report/Report.h"
#include "report/ReportInput.h"
#include "report/ReportPdf.h"

#include "widgets/Palette.h"
#include "widgets/ShadowButton.h"
#include "widgets/Shape.h"
#include "widgets/VerticalLabel.h"

#include "kit/QtText.h"
#include "kit/ScreenKit.h"

#include "screens/AutoBackup.h"
#include "screens/FileDialog.h"
#include "screens/Globals.h"
#include "screens/KeptEdits.h"
#include "screens/KeptNotice.h"
#include "screens/Questions.h"
#include "screens/ReportDialog.h"
#include "screens/SaveForm.h"
#include "screens/StoreFlow.h"

namespace {

// A computer, a settings file and the ECU, joined by arrows both ways.
class cTransferPicture : public QWidget {
public:
    explicit cTransferPicture(QWidget* parent) : QWidget(parent) { setMouseTracking(true); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const double w = width(), h = height();
        const QColor orange(255, 128, 0), light(220, 220, 230);
        // Computer.
        QRectF screen(w * 0.3, h * 0.04, w * 0.4, h * 0.22);
        p.setPen(QPen(light, 3));
        p.setBrush(QColor(0, 0, 40));
        p.drawRoundedRect(screen, 6, 6);
        p.fillRect(screen.adjusted(8, 8, -8, -8), Palette::Navy);
        p.drawLine(QPointF(w * 0.5, screen.bottom()), QPointF(w * 0.5, screen.bottom() + h * 0.04));
        p.drawLine(QPointF(w * 0.42, screen.bottom() + h * 0.04), QPointF(w * 0.58, screen.bottom() + h * 0.04));
        // Settings file, bottom left.
        QPainterPath file;
        QRectF fr(w * 0.06, h * 0.62, w * 0.26, h * 0.3);
        file.moveTo(fr.topLeft());
        file.lineTo(fr.right() - fr.width() * 0.3, fr.top());
        file.lineTo(fr.right(), fr.top() + fr.width() * 0.3);
        file.lineTo(fr.bottomRight());
        file.lineTo(fr.bottomLeft());
        file.closeSubpath();
        p.setPen(QPen(light, 3));
        p.setBrush(QColor(240, 240, 200));
        p.drawPath(file);
        p.setPen(QPen(QColor(80, 80, 80), 2));
        for (int i = 1; i <= 4; ++i)
            p.drawLine(QPointF(fr.left() + 10, fr.top() + fr.height() * (0.2 + 0.17 * i)),
                       QPointF(fr.right() - 10, fr.top() + fr.height() * (0.2 + 0.17 * i)));
        // ECU, bottom right.
        QRectF ecu(w * 0.62, h * 0.66, w * 0.32, h * 0.22);
        p.setPen(QPen(light, 3));
        p.setBrush(QColor(40, 40, 40));
        p.drawRoundedRect(ecu, 8, 8);
        p.setPen(orange);
        QFont f = font();
        f.setBold(true);
        f.setPixelSize(int(h * 0.06));
        p.setFont(f);
        // TRANSLATORS: the short name of the control unit on the data transfer
        // picture, as in "ECU Version:" (a few letters).
        p.drawText(ecu, Qt::AlignCenter, Tr("ECU"));
        // Arrows both ways between the computer and the two others.
        auto arrow = [&](QPointF a, QPointF b) {
            p.setPen(QPen(orange, 4, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(a, b);
            QPointF d = b - a;
            double len = std::hypot(d.x(), d.y());
            if (len <= 0) return;
            QPointF u = d / len, n(-u.y(), u.x());
            for (QPointF tip : {a, b}) {
                QPointF back = tip == b ? -u : u;
                QPainterPath head;
                head.moveTo(tip);
                head.lineTo(tip + back * 16 + n * 8);
                head.lineTo(tip + back * 16 - n * 8);
                head.closeSubpath();
                p.fillPath(head, orange);
            }
        };
        arrow(QPointF(w * 0.38, h * 0.36), QPointF(w * 0.22, h * 0.58));
        arrow(QPointF(w * 0.62, h * 0.36), QPointF(w * 0.78, h * 0.62));
    }
};

}  // namespace

TDataExForm::TDataExForm(QWidget* parent) : cIOForm(parent) {
    setObjectName(QStringLiteral("DataExForm"));
    VrLabel1 = new cVerticalLabel(this);
    VrLabel1->setObjectName(QStringLiteral("VrLabel1"));
    Image1 = new cTransferPicture(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    auto button = [this](const char* name, int key) {
        auto* b = new cShadowButton(this);
        b->setObjectName(QString::fromLatin1(name));
        RegisterLargeButton(b, key);  // its key works only while it is enabled
        return b;
    };
    LoadFromFileBtn = button("LoadFromFileBtn", Qt::Key_F2);
    SaveToFileBtn = button("SaveToFileBtn", Qt::Key_F3);
    SaveToECUBtn = button("SaveToECUBtn", Qt::Key_F4);
    LoadFromECUBtn = button("LoadFromECUBtn", Qt::Key_F5);
    TakeEcuBtn = button("TakeEcuBtn", Qt::Key_F6);
    ReportBtn = button("ReportBtn", Qt::Key_F7);
    ExitBtn = button("ExitBtn", 0);

    connect(LoadFromFileBtn, &QAbstractButton::clicked, this, [this] { LoadFromFileBtnClick(); });
    connect(SaveToFileBtn, &QAbstractButton::clicked, this, [this] { SaveToFileBtnClick(); });
    connect(SaveToECUBtn, &QAbstractButton::clicked, this, [this] { SaveToECUBtnClick(); });
    connect(LoadFromECUBtn, &QAbstractButton::clicked, this, [this] { LoadFromECUBtnClick(); });
    connect(TakeEcuBtn, &QAbstractButton::clicked, this, [this] { TakeEcuBtnClick(); });
    connect(ReportBtn, &QAbstractButton::clicked, this, [this] { ReportBtnClick(); });
    connect(ExitBtn, &QAbstractButton::clicked, this, [this] { close(); });
    KeptLL = MakeLabel("KeptLL", Palette::LightOrange);
    KeptLL->setWordWrap(true);
    KeptLL->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    KeptLL->hide();

    Place(VrLabel1, 8, 16, 80, 650, 30, true);
    Place(LoadFromFileBtn, 120, 40, 400, 70, 14, true);
    Place(SaveToFileBtn, 120, 142, 400, 70, 14, true);
    Place(SaveToECUBtn, 120, 244, 400, 70, 14, true);
    Place(LoadFromECUBtn, 120, 346, 400, 70, 14, true);
    Place(TakeEcuBtn, 120, 448, 400, 70, 14, true);
    Place(ReportBtn, 120, 550, 400, 70, 14, true);
    Place(Image1, 570, 50, 430, 450);
    Place(KeptLL, 570, 516, 430, 150, 13, true);
    Place(ExitBtn, 770, 680, 230, 62, 14, true);
    CreateStatusLine(100, 688, 460, 48);
    SetupFullScreen();
    Retranslate();
}

int TDataExForm::Version() const { return CommThread ? CommThread->GetEcuVersion() : 0; }

void TDataExForm::ShowTitle() {
    // While the opened file's settings are held its name stays in the title
    // (as in the task bar), so the fitter knows what the screens show.
    if (CommThread && CommThread->HoldsOpenedFile() && !OpenedName.isEmpty())
        setWindowTitle(Tr("Data transfer") + QStringLiteral(" - ") + OpenedName);
    else setWindowTitle(Tr("Data transfer"));
}

void TDataExForm::Retranslate() {
    ShowTitle();
    VrLabel1->SetText(Tr("DATA TRANSFER"));
    LoadFromFileBtn->setText(Tr("  F2   Load from file"));
    SaveToFileBtn->setText(Tr("  F3   Save to file"));
    SaveToECUBtn->setText(Tr("   F4   Store in ECU"));
    LoadFromECUBtn->setText(Tr("   F5   Factory Settings"));
    TakeEcuBtn->setText(Tr("   F6   Discard changes"));
    ReportBtn->setText(Tr("   F7   Report"));
    ExitBtn->setText(Tr("   F10  Exit"));
    Image1->update();  // its ECU caption
}

void TDataExForm::showEvent(QShowEvent* event) {
    cIOForm::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TDataExForm::FormShow() {
    LoadFromECUBtn->setEnabled(Ecu::NewProtocol(Version()));
    ShowKeptNotice(KeptEditsNotice());
}

void TDataExForm::ShowKeptNotice(const QString& text) {
    ShowTitle();
    KeptLL->setText(text);
    // Smaller type where a translation would run past the label.
    FitText(KeptLL);
    KeptLL->setVisible(!text.isEmpty());
}

void TDataExForm::LinkEvent() {
    cIOForm::LinkEvent();
    if (LinkRequest != RQ_READ_SETTINGS || LinkPhase != Phase::Done || LinkValue != 1) return;
    // Another ECU may be on the line: its version decides the keys.
    if (isVisible()) FormShow();
    else ShowKeptNotice(KeptEditsNotice());
}

void TDataExForm::LinkIdle(bool idle) {
    cIOForm::LinkIdle(idle);
    // Factory settings exist from version 48 on only.
    LoadFromECUBtn->setEnabled(idle && Ecu::NewProtocol(Version()));
    SaveToECUBtn->setEnabled(idle);
}

namespace {
sFileDialogRequest VehicleFileDialogRequest(bool save) {
    sFileDialogRequest request;
    request.Save = save;
    // The automatic backups are a place of their own beside the usual ones.
    if (const cAutoBackup* backups = cAutoBackup::Instance(); backups && !backups->Folder().empty())
        request.Places.push_back({Tr("ECU backups"), QString::fromStdString(backups->Folder())});
    request.Filter = Tr("Vehicle settings .zv2") + QStringLiteral(" (*.zv2)");
    request.DefaultSuffix = QStringLiteral("zv2");
    if (save) {
        request.ProposedName = QStringLiteral("vehicle");
        request.ConfirmOverwrite = true;
    }
    return request;
}
}  // namespace

static QString DamagedFileQuestion(const VehicleFile::sStrictCheck& fault) {
    QString what;
    switch (fault.Fault) {
    case VehicleFile::eLineFault::NotANumber: what = Tr("is not a number"); break;
    case VehicleFile::eLineFault::TooLarge: what = Tr("holds a number above 255"); break;
    case VehicleFile::eLineFault::Missing: what = Tr("is missing"); break;
    case VehicleFile::eLineFault::Extra: what = Tr("is one line too many"); break;
    case VehicleFile::eLineFault::NoLineEnd:  // not found when the end is taken tolerantly
    case VehicleFile::eLineFault::None: break;
    }
    return Tr("This file is damaged:\nline %1 %2.\nLoad it anyway?").arg(fault.Line).arg(what);
}

void TDataExForm::LoadFromFileBtnClick() {
    const QString path = FileDialog::Run(this, VehicleFileDialogRequest(false));
    if (path.isEmpty()) return;
    LoadFile(path, false);
}

bool TDataExForm::OpenFile(const QString& path) { return LoadFile(path, true); }

bool TDataExForm::LoadFile(const QString& path, bool opened) {
    const std::string name = ToPath(path);
    // Only a regular file of a vehicle file's size is read (a named pipe
    // would block the screens and the link, /dev/zero never ends); anything
    // else is said plainly and changes nothing.
    std::string contents, error;
    if (!VehicleFile::ReadText(name, contents, error)) {
        ShowInfo(Tr("Settings file could not be loaded:") + QLatin1Char('\n') + QFileInfo(path).fileName() +
                 QLatin1Char('\n') + Tr(error.c_str()));
        return false;
    }
    // The reader takes anything; a file that is not well-formed is loaded
    // (and, for a newer ECU, sent on) only when the fitter says so.
    const VehicleFile::sStrictCheck check = VehicleFile::CheckStrict(contents, VehicleFile::eFileEnd::Tolerant);
    if (!check.WellFormed() && !Ask(DamagedFileQuestion(check), false)) return false;
    // The file replaces every setting, those kept over a reconnection too.
    if (CommThread && CommThread->HoldsKeptEdits()) {
        CommThread->DropHeldEdits();
    }
    // A file of the older kind keeps the cylinder and coil counts of the
    // ECU: they are neither taken from the reader's defaults nor sent.
    const bool counts = VehicleFile::LoadText(contents, WorkSettings);
    // A file opened with the program is held: the ECU on the line may be
    // any vehicle's, and the fitter has not asked for anything yet.
    if (opened && CommThread) {
        OpenedName = QFileInfo(path).fileName();
        CommThread->HoldOpenedFile(counts);
    } else if (Ecu::NewProtocol(Version()) && CommThread)
        for (const sUpdate& u : VehicleFile::Updates(WorkSettings, counts)) CommThread->QueueUpdate(u);
    SettingsStateChanged();
    if (!counts && check.WellFormed())
        ShowInfo(
            Tr("This file is of an older kind without the cylinder and coil counts:\n"
               "the ECU keeps its own."));
    return true;
}

void TDataExForm::SaveToFileBtnClick() {
    const QString path = FileDialog::Run(this, VehicleFileDialogRequest(true));
    if (path.isEmpty()) return;
    // A failed save is reported: the fitter would otherwise believe the
    // settings archived. The old file, if any, is left as it was.
    if (!VehicleFile::Write(ToPath(path), WorkSettings)) ShowInfo(Tr("Settings file could not be saved!"));
}

void TDataExForm::SaveToECUBtnClick() {
    // Without an ECU there is nothing to store in: said plainly.
    if (!CommThread || !CommThread->IsConnected()) {
        ShowInfo(Tr("No ECU is connected:\nnothing was stored."));
        return;
    }
    // A refused request (the link is serving another) does nothing visible;
    // the user tries again once the buttons are enabled.
    if (!ConfirmKeptEdits()) return;
    if (!CommThread->PostRequest(RQ_WRITE_SETTINGS)) return;
    FollowWriteWithProgress();
}

QString TDataExForm::FactoryQuestion() const {
    // The backup of the settings the ECU holds now, when the last read or
    // store was backed up and it was of this ECU.
    const cAutoBackup* backups = cAutoBackup::Instance();
    if (backups && CommThread && !backups->LatestPath().isEmpty() &&
        backups->LatestIdentity() ==
            QString::fromStdString(Ecu::VersionCaption(CommThread->GetEcuIdVersion(), CommThread->GetEcuVersion())) &&
        QFileInfo(backups->LatestPath()).isFile())
        return Tr("Restore factory settings?\nThe ECU's settings are saved\nin the backup") + QLatin1Char('\n') +
               QFileInfo(backups->LatestPath()).fileName();
    return Tr("Restore factory settings?\nEvery setting in the ECU\nwill be replaced.") + QLatin1Char('\n') +
           Tr("No backup holds its present settings.");
}

void TDataExForm::LoadFromECUBtnClick() {
    if (!CommThread || !Ecu::NewProtocol(Version())) return;
    // Every tuned value goes: asked first, No unless Yes is chosen.
    if (!Ask(FactoryQuestion(), false)) return;
    // The link may have lost or changed the ECU while the question was up.
    if (!CommThread || !Ecu::NewProtocol(Version())) return;
    // The read that follows takes the ECU's settings, kept ones or not.
    if (CommThread->HoldsKeptEdits()) CommThread->DropHeldEdits();
    CommThread->QueueUpdate(Ecu::FactorySettingsUpdate());
    CommThread->PostRequest(RQ_READ_SETTINGS);
}

void TDataExForm::TakeEcuBtnClick() {
    if (!SettingsChanged() && !(CommThread && CommThread->LooksLikeOtherVehicle())) return;
    // A newer ECU runs every change as soon as it is made: dropping them
    // here alone would leave the car running values the screens no longer
    // show. They are put back in the ECU, on the fitter's word.
    const bool live = SettingsChanged() && CommThread && Ecu::NewProtocol(Version()) && !CommThread->HoldsKeptEdits();
    if (!live) {
        if (!Ask(Tr("Drop the changes not stored in the ECU\nand take the ECU's settings?"), false)) return;
        TakeEcuSettings();
        return;
    }
    if (!Ask(Tr("The ECU already runs these changes.\nPut back the values it had?"), false)) return;
    // The link may have lost the ECU while the question was up.
    if (!CommThread->IsConnected() || !Ecu::NewProtocol(Version()) || CommThread->HoldsKeptEdits()) {
        ShowInfo(Tr("The ECU is not connected: nothing was put back.\nTry again once it is connected."));
        return;
    }
    for (const sUpdate& u : Ecu::UpdatesBetween(EcuSettings, WorkSettings)) CommThread->QueueUpdate(u);
    TakeEcuSettings();
    // The link's status follows should the line fail on the way.
    ShowStatusMessage(N_("The ECU's values are put back."));
}

namespace {

// A vehicle file the report is made from: read whole and well-formed, or
// `error` says why not.
bool ReadReportFile(const QString& path, sSettings& rec, QString& error) {
    ReportInput::sFault fault;
    if (ReportInput::ReadSettings(ToPath(path), rec, fault)) return true;
    error = QFileInfo(path).fileName() + QLatin1Char('\n') +
            (fault.Fault == ReportInput::eFault::Damaged ? Tr("This file is damaged.") : Tr(fault.Detail.c_str()));
    return false;
}

// The identity a backup's name carries, as the command line takes it.
void IdentityOfName(const QString& path, Report::sInput& in) {
    ReportInput::IdentityOfName(ToPath(path), in.IdVersion, in.Version);
}

}  // namespace

void TDataExForm::ReportBtnClick() {
    Report::sInput in;
    const cAutoBackup* backups = cAutoBackup::Instance();
    const bool online = CommThread && Version() > 0 && CommThread->IsConnected();
    QString error;
    if (online) {
        const QString identity =
            QString::fromStdString(Ecu::VersionCaption(CommThread->GetEcuIdVersion(), CommThread->GetEcuVersion()));
        if (!backups || backups->FirstPath().isEmpty() || backups->FirstIdentity() != identity) {
            ShowInfo(
                Tr("There is no backup of this ECU's first read yet:\nthe report cannot show the settings before."));
            return;
        }
        if (!ReadReportFile(backups->FirstPath(), in.Before, error)) {
            ShowInfo(Tr("The report could not be made:") + QLatin1Char('\n') + error);
            return;
        }
        in.BeforeFile = ToPath(backups->FirstPath());
        in.Now = EcuSettings;
        if (backups->LatestIdentity() == identity && !backups->LatestPath().isEmpty())
            in.NowFile = ToPath(backups->LatestPath());
        in.IdVersion = CommThread->GetEcuIdVersion();
        in.Version = CommThread->GetEcuVersion();
        if (SettingsChanged() &&
            !Ask(Tr("Changes not stored in the ECU are not in the report.\nMake it anyway?"), true))
            return;
    } else {
        ShowInfo(
            Tr("No ECU is connected:\nchoose the vehicle file of the settings before,\nthen the one of the settings "
               "now."));
        sFileDialogRequest beforeRequest = VehicleFileDialogRequest(false);
        beforeRequest.Title = Tr("The settings before the job");
        const QString before = FileDialog::Run(this, beforeRequest);
        if (before.isEmpty()) return;
        sFileDialogRequest nowRequest = VehicleFileDialogRequest(false);
        nowRequest.Title = Tr("The settings now");
        const QString now = FileDialog::Run(this, nowRequest);
        if (now.isEmpty()) return;
        if (!ReadReportFile(before, in.Before, error) || !ReadReportFile(now, in.Now, error)) {
            ShowInfo(Tr("The report could not be made:") + QLatin1Char('\n') + error);
            return;
        }
        in.BeforeFile = ToPath(before);
        in.NowFile = ToPath(now);
        IdentityOfName(now, in);
        if (in.Version < 0) IdentityOfName(before, in);
    }
    // The workshop as zvbasic.ini holds it: the program's own settings when
    // it runs (written back with them), else the file.
    cIni fileIni;
    cIni* ini = ::Ini;
    if (!ini) {
        fileIni.Load(cIni::ReadPath(Resources::ExecutableDir()));
        ini = &fileIni;
    }
    sReportJob job;
    job.Fitter = LastFitter;
    job.Workshop = QString::fromStdString(ini->ReportName);
    for (const std::string& line : ini->ReportAddress) job.Address << QString::fromStdString(line);
    if (!ReportDialog::Run(this, job)) return;
    LastFitter = job.Fitter;
    ini->ReportName = job.Workshop.toStdString();
    ini->ReportAddress.clear();
    for (const QString& line : job.Address) ini->ReportAddress.push_back(line.toStdString());
    // The test drive, when the fitter has a capture of it: only a whole one.
    Capture::sCaptureData drive;
    if (Ask(Tr("Add the test drive from a capture file?"), false)) {
        sFileDialogRequest open;
        open.Filter = Tr("Data files *.dat") + QStringLiteral(" (*.dat)");
        open.DefaultSuffix = QStringLiteral("dat");
        const QString capture = FileDialog::Run(this, open);
        if (capture.isEmpty()) return;
        const std::string name = ToPath(capture);
        ReportInput::sFault fault;
        bool cutLine = false;
        if (!ReportInput::ReadDrive(name, drive, fault, cutLine)) {
            const bool unreadable = fault.Fault == ReportInput::eFault::CannotRead;
            ShowInfo(Tr("The report could not be made:") + QLatin1Char('\n') + QFileInfo(capture).fileName() +
                     QLatin1Char('\n') +
                     (unreadable && fault.Detail == RegularFile::NotRegular ? Tr(RegularFile::NotRegular)
                      : unreadable                                          ? Tr("The file could not be read.")
                                                                            : Tr("This is not a whole capture file.")));
            return;
        }
        // A capture stopped by a power loss: the records before its cut
        // last line make the drive.
        if (cutLine)
            ShowInfo(QFileInfo(capture).fileName() + QLatin1Char('\n') +
                     Tr("The last line of this capture was cut off; the report leaves it out."));
        in.Drive = &drive;
        in.DriveFile = name;
    }
    sFileDialogRequest request;
    request.Save = true;
    request.Filter = Tr("PDF report") + QStringLiteral(" (*.pdf)");
    request.DefaultSuffix = QStringLiteral("pdf");
    request.ProposedName = QStringLiteral("report");
    request.ConfirmOverwrite = true;
    request.Title = Tr("Save the report");
    // Where the last report went, else the documents: never the folder of
    // the vehicle files just chosen (the backups).
    request.Folder = ReportFolder;
    if (request.Folder.isEmpty() || !QDir(request.Folder).exists()) {
        request.Folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        if (request.Folder.isEmpty() || !QDir(request.Folder).exists()) request.Folder = QDir::homePath();
    }
    const QString path = FileDialog::Run(this, request);
    if (path.isEmpty()) return;
    ReportFolder = QFileInfo(path).absolutePath();

    in.Vehicle = job.Vehicle.toStdString();
    in.Fitter = job.Fitter.toStdString();
    in.Made = std::time(nullptr);
    in.Workshop = ini->ReportName;
    in.Address = ini->ReportAddress;
    std::string pdf, why;
    if (!ReportPdf::Render(Report::Build(in), in.Drive, ReportPdf::SystemPaper(), pdf, why) ||
        !ReportPdf::Save(ToPath(path), pdf, why)) {
        // The old file, if any, is left as it was.
        ShowInfo(Tr("The report could not be saved:") + QLatin1Char('\n') + QFileInfo(path).fileName() +
                 QLatin1Char('\n') + QString::fromStdString(why));
        return;
    }
    ShowInfo(Tr("The report was saved:") + QLatin1Char('\n') + QDir::toNativeSeparators(path));
}
