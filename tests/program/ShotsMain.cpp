// zvbasic-shots: renders every screen and dialog to PNG at 1920 x 1080,
// 1024 x 768 and 800 x 600 for review. Usage: zvbasic-shots <output folder>
// The program is started by its real start-up code in a temporary folder; the
// link is then stopped and the panels are put into telling states by
// notifications delivered the way the link delivers them.
#include <cstdio>
#include <filesystem>
#include <functional>
#include <vector>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QPixmap>
#include <QRegularExpression>
#include <QTimer>

#include "link/CommThread.h"
#include "link/LinkListener.h"

#include "widgets/ProgressGauge.h"

#include "kit/IOForm.h"
#include "kit/QtText.h"

#include "screens/CalibForm.h"
#include "screens/ConfigForm.h"
#include "screens/DataExForm.h"
#include "screens/FileDialog.h"
#include "screens/Globals.h"
#include "screens/HelpForm.h"
#include "screens/InfoForm.h"
#include "screens/LoadForm.h"
#include "screens/MainForm.h"
#include "screens/OptionsForm.h"
#include "screens/QuestionForm.h"
#include "screens/ReportDialog.h"
#include "screens/SaveForm.h"
#include "screens/VisForm.h"

#include "tools/ecusim/EcuSimulator.h"

#include "GuiTestKit.h"

namespace {

// The notice of the settings screens with both of its sentences.
QString KeptAndOtherVehicle() {
    return Tr("Changes made before the line was interrupted are kept in the program; "
              "none of them has been sent to this ECU.") +
           QLatin1Char(' ') +
           Tr("This looks like another vehicle: the ECU or its settings differ from "
              "those read before the line was interrupted.");
}

struct sShot {
    const char* Name;
    // Prepares the state and returns the widget to render.
    std::function<QWidget*(GuiTestKit::cProgram&)> Prepare;
    // Runs once the widget is shown (dialogs reset themselves on showing).
    std::function<void()> AfterShow = {};
};

// The keyboard focus on a drop-down list, so that its mark shows.
void FocusOn(cIOForm* form, QWidget* control) {
    form->activateWindow();
    QCoreApplication::processEvents();
    form->RestoreFocus(control);
    QCoreApplication::processEvents();
}

// The data transfer screen's save dialog, grabbed while it is up.
bool FileDialogShot(const QString& file) {
    bool ok = false;
    QTimer poll;
    poll.setInterval(50);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible()) return;
        poll.stop();
        QCoreApplication::processEvents();
        ok = dialog->grab().save(file);
        dialog->reject();
    });
    poll.start();
    sFileDialogRequest request;
    request.Save = true;
    request.Filter = QStringLiteral("*.zv2 (*.zv2)");
    request.ProposedName = QStringLiteral("vehicle");
    request.Folder = QDir::tempPath();
    FileDialog::Run(DataExScreen, request);
    return ok;
}

// The fitting report's dialog (vehicle, fitter, workshop), filled in.
bool ReportDialogShot(const QString& file) {
    bool ok = false;
    QTimer poll;
    poll.setInterval(50);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (!dialog || !dialog->isVisible() || dialog->objectName() != QStringLiteral("ReportDialog")) return;
        poll.stop();
        QCoreApplication::processEvents();
        ok = dialog->grab().save(file);
        dialog->close();
    });
    poll.start();
    sReportJob job;
    job.Vehicle = QStringLiteral("WX 1234A / WVWZZZ1JZXW000001");
    job.Fitter = QStringLiteral("Jan Nowak");
    job.Workshop = QStringLiteral("Autogas Kowalski");
    job.Address = {QStringLiteral("ul. Polna 1"), QStringLiteral("31-000 Kraków")};
    ReportDialog::Run(DataExScreen, job);
    return ok;
}

// Screens and dialogs, in creation order. The work screens are shown as the
// link leaves them after a settings read.
std::vector<sShot> Shots() {
    return {
        {"MainForm", [](GuiTestKit::cProgram&) -> QWidget* { return MainForm; }},
        {"MainForm-connecting",
         [](GuiTestKit::cProgram& p) -> QWidget* {
             p.Deliver(RQ_CONNECT, 1, 6);
             return MainForm;
         }},
        {"MainForm-loading",
         [](GuiTestKit::cProgram& p) -> QWidget* {
             p.Deliver(RQ_READ_SETTINGS, 1, ProgressToValue(0.7f));
             return MainForm;
         }},
        {"MainForm-ready",
         [](GuiTestKit::cProgram& p) -> QWidget* {
             p.Deliver(RQ_IDENTIFY, 1, 0x25);
             p.Deliver(RQ_IDENTIFY, 3, 0x31);
             p.Deliver(RQ_READ_SETTINGS, 2, 1);
             MainForm->ShowSettingsChanged(true);
             return MainForm;
         }},
        {"OptionsForm", [](GuiTestKit::cProgram&) -> QWidget* { return OptionsForm; },
         [] { FocusOn(OptionsForm, OptionsForm->ComPortCB); }},
        {"VisForm", [](GuiTestKit::cProgram&) -> QWidget* { return VisScreen; }},
        {"ConfigForm", [](GuiTestKit::cProgram&) -> QWidget* { return ConfigScreen; },
         [] { FocusOn(ConfigScreen, static_cast<TConfigForm*>(ConfigScreen)->LambdaSensorCB); }},
        {"CalibForm", [](GuiTestKit::cProgram&) -> QWidget* { return CalibScreen; },
         [] { FocusOn(CalibScreen, static_cast<TCalibForm*>(CalibScreen)->MinRPMCB); }},
        {"InfoForm",
         [](GuiTestKit::cProgram&) -> QWidget* {
             InfoForm->SetText(
                 QStringLiteral("/dev/ttyUSB0: port error!\nThe program keeps trying this port.\n"
                                "Another port can be chosen in Options (F8)."));
             return InfoForm;
         }},
        {"DataExForm", [](GuiTestKit::cProgram&) -> QWidget* { return DataExScreen; }},
        {"LoadForm", [](GuiTestKit::cProgram&) -> QWidget* { return LoadForm; },
         [] { LoadForm->ProgressCG->SetValue(46); }},
        {"SaveForm", [](GuiTestKit::cProgram&) -> QWidget* { return SaveForm; },
         [] { SaveForm->ProgressCG->SetValue(63); }},
        {"QuestionForm",
         [](GuiTestKit::cProgram&) -> QWidget* {
             QuestionForm->TextLL->setText(
                 QStringLiteral("Do you want to\nquit program without\nsaving settings to ECU?"));
             return QuestionForm;
         }},
        {"HelpForm", [](GuiTestKit::cProgram&) -> QWidget* { return HelpForm; }},
        // The states that tell of lost or kept work.
        {"MainForm-other-ecu",
         [](GuiTestKit::cProgram&) -> QWidget* {
             MainForm->ShowSettingsChanged(true);
             MainForm->ShowKeptNotice(KeptAndOtherVehicle());
             return MainForm;
         }},
        {"ConfigForm-kept",
         [](GuiTestKit::cProgram&) -> QWidget* {
             ConfigForm->ShowKeptNotice(KeptAndOtherVehicle());
             return ConfigScreen;
         },
         [] { ConfigForm->ShowKeptNotice(KeptAndOtherVehicle()); }},
        {"CalibForm-kept", [](GuiTestKit::cProgram&) -> QWidget* { return CalibScreen; },
         [] { CalibForm->ShowKeptNotice(KeptAndOtherVehicle()); }},
        {"DataExForm-kept", [](GuiTestKit::cProgram&) -> QWidget* { return DataExScreen; },
         [] { DataExForm->ShowKeptNotice(KeptAndOtherVehicle()); }},
        {"QuestionForm-same-vehicle",
         [](GuiTestKit::cProgram&) -> QWidget* {
             QuestionForm->SetText(
                 Tr("These changes were made\nbefore the line was interrupted.\n"
                    "Is this the same vehicle?\nSend them to this ECU?"));
             return QuestionForm;
         },
         [] { QuestionForm->Select(false); }},
        {"QuestionForm-put-back",
         [](GuiTestKit::cProgram&) -> QWidget* {
             QuestionForm->SetText(Tr("The ECU already runs these changes.\nPut back the values it had?"));
             return QuestionForm;
         },
         [] { QuestionForm->Select(false); }},
        {"QuestionForm-keep-for-later",
         [](GuiTestKit::cProgram&) -> QWidget* {
             QuestionForm->SetText(
                 Tr("Nothing was sent.\nKeep the changes for later?\n"
                    "No takes the ECU's settings."));
             return QuestionForm;
         },
         [] { QuestionForm->Select(true); }},
        {"OptionsForm-port-not-present",
         [](GuiTestKit::cProgram&) -> QWidget* {
             OptionsForm->SetAbsentPort("/dev/ttyUSB7");
             OptionsForm->PortStateLL->show();
             OptionsForm->StatusLL->setText(Tr("COM port not present!"));
             return OptionsForm;
         }},
        {"InfoForm-not-stored",
         [](GuiTestKit::cProgram&) -> QWidget* {
             InfoForm->SetText(
                 Tr("The settings were NOT stored in the ECU!\n"
                    "The connection failed during the transfer. "
                    "Store them again when the ECU is connected."));
             return InfoForm;
         }},
        {"QuestionForm-damaged-file",
         [](GuiTestKit::cProgram&) -> QWidget* {
             QuestionForm->TextLL->setText(
                 Tr("This file is damaged:\nline %1 %2.\nLoad it anyway?").arg(6).arg(Tr("holds a number above 255")));
             return QuestionForm;
         },
         [] { QuestionForm->Select(false); }},
        {"VisForm-capture-stopped",
         [](GuiTestKit::cProgram&) -> QWidget* {
             VisScreen->StatusLL->setText(Tr("Capture stopped: write error!"));
             return VisScreen;
         }},
    };
}

// The visualisation screen with live values: the program's forms hear a link
// of their own, connected to the ECU simulator, until the lambda trace is full.
bool LiveVisShot(GuiTestKit::cProgram& program, const QString& file) {
    sSimOptions options;
    options.Version = 55;
    options.Instant = true;
    cEcuSimulator sim(options);
    sim.Start();
    cCommThread* const saved = CommThread;
    bool ok = false;
    {
        cCommThread link(
            [](const std::function<void()>& fn) { QMetaObject::invokeMethod(qApp, fn, Qt::BlockingQueuedConnection); });
        GuiTestKit::cSpy spy;
        int live = 0;
        spy.OnEvent = [&live](const GuiTestKit::cSpy& s) {
            live += s.LinkRequest == RQ_IDLE_POLL || s.LinkRequest == RQ_VIS_POLL;
        };
        for (cIOForm* f : program.Shell->Forms()) link.AddListener(f);
        link.AddListener(&spy);
        CommThread = &link;
        link.SetPortName(sim.DevicePath());
        VisScreen->show();
        if (GuiTestKit::WaitFor([&] { return live >= 70; }, 30000)) {
            QCoreApplication::processEvents();
            ok = VisScreen->grab().save(file);
        }
        VisScreen->hide();
        link.Shutdown([] { QCoreApplication::processEvents(QEventLoop::AllEvents, 5); });
    }
    CommThread = saved;
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("shots");
    int written = 0;
    for (QSize size : {QSize(1920, 1080), QSize(1024, 768), QSize(800, 600)}) {
        GuiTestKit::cProgram program;
        cIOForm::SetScreenOverride(size, 96);
        GuiTestKit::cSilentLine line;
        program.SetExtraPorts({line.Path()});
        // ZV_SHOTS_LANGUAGE (de, en, pl, ru) renders another language.
        const QByteArray language =
            qEnvironmentVariableIsEmpty("ZV_SHOTS_LANGUAGE") ? QByteArray("en") : qgetenv("ZV_SHOTS_LANGUAGE");
        program.WriteIni("COM: " + line.Path() + "\r\nLanguage: " + language.toStdString() + "\r\n");
        if (program.Start() != cShell::eStart::Ok) {
            std::fprintf(stderr, "start-up failed\n");
            return 1;
        }
        program.QuietLink();
        const QString folder = QStringLiteral("%1/%2x%3").arg(out).arg(size.width()).arg(size.height());
        QDir().mkpath(folder);
        // ZV_SHOTS_ONLY (a regular expression on the names) renders only
        // those, without the file dialog and the live visualisation.
        const QString only = qEnvironmentVariable("ZV_SHOTS_ONLY");
        const QRegularExpression pick(only);
        for (const sShot& shot : Shots()) {
            if (!only.isEmpty() && !pick.match(QString::fromLatin1(shot.Name)).hasMatch()) continue;
            QWidget* w = shot.Prepare(program);
            if (!w) continue;
            w->show();
            QCoreApplication::processEvents();
            if (shot.AfterShow) shot.AfterShow();
            const QString file = folder + QLatin1Char('/') + QLatin1String(shot.Name) + QStringLiteral(".png");
            if (w->grab().save(file)) ++written;
            else std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            w->hide();
        }
        if (!only.isEmpty()) {
            program.Stop();
            continue;
        }
        if (FileDialogShot(folder + QStringLiteral("/FileDialog.png"))) ++written;
        else std::fprintf(stderr, "no file dialog\n");
        if (ReportDialogShot(folder + QStringLiteral("/ReportDialog.png"))) ++written;
        else std::fprintf(stderr, "no report dialog\n");
        if (LiveVisShot(program, folder + QStringLiteral("/VisForm-live.png"))) ++written;
        else std::fprintf(stderr, "no live values for the visualisation screen\n");
        program.Stop();
    }
    std::printf("%d pictures in %s\n", written, qPrintable(out));
    return 0;
}
