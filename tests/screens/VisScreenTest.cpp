// The visualisation screen and the capture file against the ECU simulator.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>

#include "link/Settings.h"

#include "formats/CaptureFile.h"

#include "widgets/DialGauge.h"
#include "widgets/LambdaTrace.h"
#include "widgets/Lamp.h"
#include "widgets/LineGauge.h"
#include "widgets/ShadowButton.h"

#include "kit/QtText.h"

#include "screens/FileDialog.h"
#include "screens/MainForm.h"
#include "screens/VisForm.h"

#include "tests/TestKit.h"

#include "ScreenRig.h"

namespace fs = std::filesystem;

namespace {

QString Volts(double v) { return QLocale().toString(v, 'f', 2) + QStringLiteral(" V"); }
QString Two(double v) { return QLocale().toString(v, 'f', 2); }

std::string Lamps(const TVisForm* f) {
    std::string s;
    for (const cLamp* l : f->FuelLevelSH) s += l->IsLit() ? '1' : '0';
    return s;
}

// Pins a live value in the ECU and waits until the screen has shown it.
bool Show(cScreenRig& rig, int k, int raw, const std::function<bool()>& shown) {
    rig.Sim.SetLive(k, raw);
    return cScreenRig::WaitUntil(shown, 8000);
}

using testkit::Slurp;

struct sDialogHook {
    explicit sDialogHook(QString path) {
        FileDialog::Hook() = [this, path](const sFileDialogRequest& request) {
            Request = request;
            ++Calls;
            return path;
        };
    }
    ~sDialogHook() { FileDialog::Hook() = nullptr; }
    sFileDialogRequest Request;
    int Calls = 0;
};

void OpenVis(cScreenRig& rig) {
    rig.Main->VisBtnClick();
    ASSERT_TRUE(rig.Vis->isVisible());
}

}  // namespace

TEST(VisScreen, ThrottleSpeedAndValveOnTheWidgets) {
    cScreenRig rig(48);
    ASSERT_TRUE(rig.Start());
    OpenVis(rig);
    TVisForm* f = rig.Vis;
    WorkSettings.TPSSwitchLevel = 101;  // rising sensor
    WorkSettings.TPSClosedLevel = 51;
    ASSERT_TRUE(Show(rig, 1, 51, [&] { return f->TPSLL->text() == Volts(1.0); }));
    EXPECT_DOUBLE_EQ(f->TPSLM->Value(), 20.0);
    EXPECT_NEAR(f->TPSLM->Region3Start(), 39.6, 0.01);
    EXPECT_FLOAT_EQ(f->LatestSample().TPSVolts, float(1.0));
    ASSERT_TRUE(Show(rig, 1, 255, [&] { return f->TPSLL->text() == Volts(5.0); }));
    ASSERT_TRUE(Show(rig, 1, 0, [&] { return f->TPSLL->text() == Volts(0.0); }));
    // Falling sensor: the bar counts from the other end.
    WorkSettings.TPSSwitchLevel = 40;
    WorkSettings.TPSClosedLevel = 255;
    ASSERT_TRUE(Show(rig, 1, 51, [&] { return f->TPSLM->Value() == 80.0; }));
    EXPECT_NEAR(f->TPSLM->Region3Start(), 84.31, 0.01);  // (255 - 40) x 100 / 255

    ASSERT_TRUE(Show(rig, 3, 27, [&] { return f->RPMLL->text() == QStringLiteral("2000"); }));
    EXPECT_DOUBLE_EQ(f->RPMAM->Value(), 2.0);
    EXPECT_EQ(f->LatestSample().RPM, 2000);
    ASSERT_TRUE(Show(rig, 3, 0, [&] { return f->RPMLL->text() == QStringLiteral("000"); }));
    EXPECT_DOUBLE_EQ(f->RPMAM->Value(), 0.0);
    ASSERT_TRUE(Show(rig, 3, 1, [&] { return f->RPMLL->text() == QStringLiteral("54000"); }));
    EXPECT_DOUBLE_EQ(cDialGauge::Held(f->RPMAM->Value(), 0, 8), 8.0);

    ASSERT_TRUE(Show(rig, 6, 150, [&] { return f->StepperLL->text() == QStringLiteral("150"); }));
    EXPECT_DOUBLE_EQ(f->StepperLM->Value(), 150);
    EXPECT_EQ(f->LatestSample().ValvePos, 150);
    // Valve regions from the positions, dial zones from the speeds (defaults).
    EXPECT_DOUBLE_EQ(f->StepperLM->Region2Start(), WorkSettings.StepPosMin);
    EXPECT_DOUBLE_EQ(f->StepperLM->Region3Start(), WorkSettings.StepPosMax);
    EXPECT_EQ(f->RPMAM->Zone1Span(), 25);
    EXPECT_EQ(f->RPMAM->Zone2Span(), 50);
    WorkSettings.MaxRPMCode = 0;  // no red zone
    f->ApplySettingsToDisplays();
    EXPECT_EQ(f->RPMAM->Zone1Span() + f->RPMAM->Zone2Span(), 100);
    // A switch-on speed of 6000 rpm: yellow up to 6000 whatever the zones were
    // before (the green span is cut, not the yellow one).
    WorkSettings.MinRPMCode = 9;
    f->ApplySettingsToDisplays();
    EXPECT_EQ(f->RPMAM->Zone1Span(), 75);
    EXPECT_EQ(f->RPMAM->Zone2Span(), 25);
}

struct sLambdaCase {
    int Version;
    int Type;
    int Raw;
    double Label;   // shown before the clamp
    float Clamped;  // kept for the trace and the capture
    double AxisMin, AxisMax;
};

class VisLambda : public ::testing::TestWithParam<sLambdaCase> {};

TEST_P(VisLambda, ConvertedByTypeAndClamped) {
    const sLambdaCase c = GetParam();
    cScreenRig rig(c.Version);
    ASSERT_TRUE(rig.Start());
    WorkSettings.LambdaType = uint8_t(c.Type);
    OpenVis(rig);
    TVisForm* f = rig.Vis;
    EXPECT_DOUBLE_EQ(f->LambdaCH->AxisMin(), c.AxisMin);
    EXPECT_DOUBLE_EQ(f->LambdaCH->AxisMax(), c.AxisMax);
    f->LambdaLL->clear();
    ASSERT_TRUE(Show(rig, 7, c.Raw, [&] { return f->LambdaLL->text() == Two(c.Label); }));
    EXPECT_EQ(f->LatestSample().LambdaVolts, c.Clamped);
    // The trace gets the clamped value with the next live value.
    ASSERT_TRUE(rig.WaitLive(2));
    const cTracePoints& t = f->LambdaCH->Points();
    EXPECT_FLOAT_EQ(float(t.Y(cTracePoints::Count - 1)), std::clamp(c.Clamped, float(c.AxisMin), float(c.AxisMax)));
}

INSTANTIATE_TEST_SUITE_P(Types, VisLambda,
                         ::testing::Values(sLambdaCase{47, 4, 10, 40 / 51.0, 0.8f, 0.8, 1.6},  // raised to 0.8 V
                                           sLambdaCase{47, 0, 3, -3 / 51.0, 0.0f, 0.0, 1.0},   // r - 6 below zero
                                           sLambdaCase{47, 1, 63, 5.0, 5.0f, 0.0, 5.0},        // r x 255 / 63
                                           sLambdaCase{22, 3, 1, 5.0, 5.0f, 0.0, 5.0},         // (64 - r) x 255 / 63
                                           sLambdaCase{48, 0, 51, 1.0, 1.0f, 0.0, 1.0},
                                           sLambdaCase{55, 0, 60, 60 / 51.0, 1.0f, 0.0, 1.0},  // 1.18 shown, 1.0 kept
                                           sLambdaCase{57, 8, 200, 200 / 51.0, float(200 / 51.0), 0.0, 5.0}));

TEST(VisScreen, NoSensorBelow48KeepsTheLastLambda) {
    cScreenRig rig(47);
    ASSERT_TRUE(rig.Start());
    OpenVis(rig);
    WorkSettings.LambdaType = 0;
    ASSERT_TRUE(Show(rig, 7, 31, [&] { return rig.Vis->LambdaLL->text() == Two(25 / 51.0); }));
    WorkSettings.LambdaType = 8;
    rig.Sim.SetLive(7, 60);
    ASSERT_TRUE(rig.WaitLive(12));
    EXPECT_EQ(rig.Vis->LambdaLL->text(), Two(25 / 51.0));
    EXPECT_FLOAT_EQ(rig.Vis->LatestSample().LambdaVolts, float(25 / 51.0));
    // The label then shows the kept volts, which were clamped: 1.06 V shown,
    // 1.0 V kept, so "no sensor" shows 1.00.
    WorkSettings.LambdaType = 0;
    ASSERT_TRUE(Show(rig, 7, 60, [&] { return rig.Vis->LambdaLL->text() == Two(54 / 51.0); }));
    EXPECT_FLOAT_EQ(rig.Vis->LatestSample().LambdaVolts, 1.0f);
    WorkSettings.LambdaType = 8;
    ASSERT_TRUE(cScreenRig::WaitUntil([&] { return rig.Vis->LambdaLL->text() == Two(1.0); }));
    EXPECT_FLOAT_EQ(rig.Vis->LatestSample().LambdaVolts, 1.0f);
}

struct sLevelCase {
    int Version;
    int Raw;
    const char* Lamps;
};
// Printed into the test names: stable from run to run (the default prints
// the bytes, the lamp text's address among them).
void PrintTo(const sLevelCase& c, std::ostream* os) { *os << "v" << c.Version << "-raw" << c.Raw; }

class VisLevel : public ::testing::TestWithParam<sLevelCase> {};

TEST_P(VisLevel, LampsByVersion) {
    const sLevelCase c = GetParam();
    cScreenRig rig(c.Version);
    ASSERT_TRUE(rig.Start());
    OpenVis(rig);
    rig.Vis->Label_LPG_Level->clear();
    ASSERT_TRUE(Show(rig, 8, c.Raw, [&] { return rig.Vis->Label_LPG_Level->text() == QString::number(c.Raw); }));
    EXPECT_EQ(Lamps(rig.Vis), c.Lamps);
    EXPECT_EQ(rig.Vis->FuelLevelSH[0]->Color(), c.Lamps[0] == '1' ? cLamp::RedLit() : cLamp::RedDark());
}

INSTANTIATE_TEST_SUITE_P(Versions, VisLevel,
                         ::testing::Values(sLevelCase{49, 0x00, "011111"}, sLevelCase{49, 0xC0, "100000"},
                                           sLevelCase{47, 0xE0, "011111"}, sLevelCase{22, 0x80, "010000"},
                                           sLevelCase{52, 3, "011000"}, sLevelCase{52, 9, "000000"},
                                           sLevelCase{55, 200, "000000"}, sLevelCase{57, 1, "100000"}));

TEST(VisScreen, FuelLampsBlinkTraceAndKeys) {
    cScreenRig rig(48);
    ASSERT_TRUE(rig.Start());
    OpenVis(rig);
    TVisForm* f = rig.Vis;
    rig.Sim.SetLive(5, 2);
    ASSERT_TRUE(cScreenRig::WaitUntil([&] { return f->GasSH->IsLit() && !f->PetrolSH->IsLit(); }));
    EXPECT_FALSE(f->FuelTM->isActive());
    rig.Sim.SetLive(5, 3);
    ASSERT_TRUE(cScreenRig::WaitUntil([&] { return !f->GasSH->IsLit() && f->PetrolSH->IsLit(); }));
    rig.Sim.SetLive(5, 1);
    ASSERT_TRUE(cScreenRig::WaitUntil([&] { return f->FuelTM->isActive(); }));
    EXPECT_FALSE(f->PetrolSH->IsLit());
    // The gas lamp blinks.
    const bool lit = f->GasSH->IsLit();
    ASSERT_TRUE(cScreenRig::WaitUntil([&] { return f->GasSH->IsLit() != lit; }, 2000));
    // A repeated 1 does not restart the timer; 7 changes nothing.
    cScreenRig::WaitUntil([&] { return f->FuelTM->remainingTime() < 300; }, 1000);
    const int remaining = f->FuelTM->remainingTime();
    f->ShowLiveValue(5, 1);
    EXPECT_LE(f->FuelTM->remainingTime(), remaining);
    const bool gas = f->GasSH->IsLit(), petrol = f->PetrolSH->IsLit();
    f->ShowLiveValue(5, 7);
    EXPECT_EQ(f->GasSH->IsLit(), gas);
    EXPECT_EQ(f->PetrolSH->IsLit(), petrol);
    EXPECT_TRUE(f->FuelTM->isActive());

    // Every live value advances the trace by one point, whatever its number.
    const double x = f->LambdaCH->Points().LastX();
    f->ShowLiveValue(4, 0);
    EXPECT_DOUBLE_EQ(f->LambdaCH->Points().LastX(), x + 1);

    // F12 shows and hides the raw level; the console button sends its command from 48.
    EXPECT_FALSE(f->Label_LPG_Level->isVisible());
    cScreenRig::Key(f, Qt::Key_F12);
    EXPECT_TRUE(f->Label_LPG_Level->isVisible());
    cScreenRig::Key(f, Qt::Key_F12);
    EXPECT_FALSE(f->Label_LPG_Level->isVisible());
    EXPECT_TRUE(f->ConsoleBtn->isEnabled());
    f->ConsoleBtn->click();
    ASSERT_TRUE(cScreenRig::WaitUntil([&] { return rig.Sim.ConsoleCommands() == 1; }));
}

TEST(VisScreen, ConsoleButtonDisabledBelow48AndPollFollowsTheScreen) {
    cScreenRig rig(47);
    ASSERT_TRUE(rig.Start());
    OpenVis(rig);
    EXPECT_FALSE(rig.Vis->ConsoleBtn->isEnabled());
    rig.Vis->ConsoleBtnClick();
    // The first showing does not ask for the continuous poll; a later one does,
    // and a completed settings read then posts it. Closing stops it.
    EXPECT_FALSE(rig.Vis->ScreenActive);
    rig.Vis->close();
    ASSERT_TRUE(rig.WaitIdle());
    OpenVis(rig);
    EXPECT_TRUE(rig.Vis->ScreenActive);
    ASSERT_TRUE(rig.WaitIdle());
    rig.Vis->SettingsLoaded();
    ASSERT_TRUE(
        cScreenRig::WaitUntil([&] { return rig.Link->IsBusy() && rig.Link->GetCurrentRequest() == RQ_VIS_POLL; }));
    rig.Vis->close();
    EXPECT_FALSE(rig.Vis->ScreenActive);
    ASSERT_TRUE(cScreenRig::WaitUntil([&] { return !rig.Link->IsBusy(); }));
    EXPECT_EQ(rig.Sim.ConsoleCommands(), 0);
    EXPECT_EQ(rig.Failed, 0);
}

TEST(VisScreen, CaptureWritesOneRecordPerPollingCycle) {
    cScreenRig rig(48);
    ASSERT_TRUE(rig.Start());
    const int pins[][2] = {{1, 120}, {3, 27}, {5, 2}, {6, 150}, {7, 23}, {8, 3}};
    for (auto& p : pins) rig.Sim.SetLive(p[0], p[1]);
    OpenVis(rig);
    TVisForm* f = rig.Vis;
    ASSERT_TRUE(rig.WaitLive(7));  // a whole cycle of the pinned values

    const fs::path path = fs::temp_directory_path() / ("zv_capture_" + std::to_string(::getpid()) + ".dat");
    {
        std::ofstream old(path, std::ios::binary);
        old << "an older capture, replaced after the dialog's question\r\n";
    }
    sDialogHook hook(QString::fromStdString(path.string()));
    cScreenRig::Key(f, Qt::Key_F7);
    ASSERT_TRUE(f->Capturing());
    EXPECT_TRUE(hook.Request.Save);
    EXPECT_TRUE(hook.Request.ConfirmOverwrite);  // an existing capture is not emptied unasked
    EXPECT_EQ(hook.Request.ProposedName, QStringLiteral("capture"));
    EXPECT_EQ(hook.Request.DefaultSuffix, QStringLiteral("dat"));
    EXPECT_TRUE(hook.Request.Filter.contains(QStringLiteral("*.dat")));
    EXPECT_EQ(f->LogBtn->text(), Tr("  F7  Stop capturing"));
    EXPECT_EQ(f->LogBtn->Fill(), TVisForm::CapturingFill());

    // The screen closed, the capture goes on from the idle poll.
    f->close();
    const std::string header = "\"TPS\" \"LAMBDA\" \"RPM\" \"VALVE\"\r\n";
    const std::string record = "\"2.352941\",\"0.450980\",\"2000.000000\",\"150.000000\"\r\n";
    ASSERT_TRUE(cScreenRig::WaitUntil([&] { return Slurp(path).size() >= header.size() + 3 * record.size(); }));
    OpenVis(rig);
    EXPECT_EQ(f->LogBtn->text(), Tr("  F7  Stop capturing"));
    cScreenRig::Key(f, Qt::Key_F7);
    EXPECT_FALSE(f->Capturing());
    EXPECT_EQ(f->LogBtn->text(), Tr("  F7  Capture to file"));
    EXPECT_EQ(f->LogBtn->Fill(), QColor(0, 0, 0));

    const std::string bytes = Slurp(path);
    ASSERT_EQ(bytes.compare(0, header.size(), header), 0);
    // The records, then the line of the seconds the capture ran.
    const size_t timeLine = bytes.rfind("\"SECONDS\" \"");
    ASSERT_NE(timeLine, std::string::npos) << bytes;
    const size_t records = (timeLine - header.size()) / record.size();
    EXPECT_GE(records, 3u);
    std::string expected = header;
    for (size_t i = 0; i < records; ++i) expected += record;
    EXPECT_EQ(bytes.substr(0, timeLine), expected);
    const std::string seconds = bytes.substr(timeLine + 11);
    EXPECT_GT(std::stod(seconds), 0.0) << seconds;
    EXPECT_EQ(seconds.substr(seconds.size() - 3), "\"\r\n") << seconds;
    expected = bytes;
    // Nothing more once stopped.
    ASSERT_TRUE(rig.WaitLive(12));
    EXPECT_EQ(Slurp(path), expected);
    fs::remove(path);
}

TEST(VisScreen, CaptureCancelledOrUnopenableStaysIdle) {
    cScreenRig rig(48);
    ASSERT_TRUE(rig.Start());
    OpenVis(rig);
    {
        sDialogHook cancel{QString()};
        cScreenRig::Key(rig.Vis, Qt::Key_F7);
        EXPECT_EQ(cancel.Calls, 1);
        EXPECT_FALSE(rig.Vis->Capturing());
    }
    {
        sDialogHook bad{QStringLiteral("/nonexistent-folder-zv/capture.dat")};
        QString said;
        rig.AcknowledgeInfo(&said);
        rig.Vis->LogBtnClick();
        EXPECT_FALSE(rig.Vis->Capturing());
        EXPECT_TRUE(said.startsWith(Tr("Capture file could not be opened:"))) << said.toStdString();
        EXPECT_EQ(rig.Vis->LogBtn->text(), Tr("  F7  Capture to file"));
    }
}

TEST(VisScreen, ExitButtonHoverAndTheControlsThatPaintItBlack) {
    cScreenRig rig(48);
    ASSERT_TRUE(rig.Start());
    OpenVis(rig);
    TVisForm* f = rig.Vis;
    auto move = [](QWidget* w) {
        QMouseEvent e(QEvent::MouseMove, QPointF(5, 5), w->mapToGlobal(QPointF(5, 5)), Qt::NoButton, Qt::NoButton,
                      Qt::NoModifier);
        QCoreApplication::sendEvent(w, &e);
    };
    cScreenRig::Key(f, Qt::Key_F12);  // the raw level label shown
    ASSERT_TRUE(f->Label_LPG_Level->isVisible());
    for (QWidget* w : {static_cast<QWidget*>(f->LogBtn), static_cast<QWidget*>(f->Label_LPG_Level)}) {
        move(f->ExitBtn);
        EXPECT_EQ(f->ExitBtn->Fill(), QColor(0x80, 0, 0));
        move(w);
        EXPECT_EQ(f->ExitBtn->Fill(), QColor(0, 0, 0)) << w->objectName().toStdString();
    }
    // The capture button's face shows the capture state, not the mouse.
    move(f->LogBtn);
    EXPECT_EQ(f->LogBtn->Fill(), QColor(0, 0, 0));
}

// While no live value comes (the line is silent, the link reconnects) every
// display is dimmed as stale; each comes back with its own next value.
TEST(VisScreen, DisplaysShowStaleValuesWhileTheLinkIsDown) {
    cScreenRig rig(48);
    ASSERT_TRUE(rig.Start());
    OpenVis(rig);
    TVisForm* f = rig.Vis;
    const int ks[] = {LiveTPS, LiveRPM, LiveFuel, LiveStepper, LiveLambda, LiveLPGLevel};
    auto all = [&](bool stale) {
        for (int k : ks)
            if (f->DisplayStale(k) != stale) return false;
        return true;
    };
    ASSERT_TRUE(cScreenRig::WaitUntil([&] { return all(false); })) << "fresh values came";

    rig.Sim.SetFault(eSimFault::Silence);
    ASSERT_TRUE(cScreenRig::WaitUntil([&] { return all(true); }));
    EXPECT_FALSE(f->FuelTM->isActive());
    rig.Pump(300);
    EXPECT_TRUE(all(true));  // still nothing current

    rig.Sim.SetFault(eSimFault::None);
    ASSERT_TRUE(cScreenRig::WaitUntil([&] { return all(false); }, 20000));
}

// A capture whose file can no longer be written stops and says so in the
// status line (a full disk; here a file size limit below the header's).
TEST(VisScreen, CaptureStopsAndSaysSoWhenItsFileCannotBeWritten) {
    cScreenRig rig(48);
    ASSERT_TRUE(rig.Start());
    OpenVis(rig);
    ASSERT_TRUE(rig.WaitIdle());
    testkit::cTempDir dir;
    sDialogHook full{QString::fromStdString((dir.Path / "capture.dat").string())};
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
    const struct rlimit small { 8, old.rlim_max };
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    cScreenRig::Key(rig.Vis, Qt::Key_F7);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldSignal);
    EXPECT_FALSE(rig.Vis->Capturing());
    EXPECT_EQ(rig.Vis->StatusLL->text(), Tr("Capture stopped: write error!"));
    EXPECT_EQ(rig.Vis->LogBtn->text(), Tr("  F7  Capture to file"));
}

// F7 and last week's capture.dat chosen in the real dialog: the question
// comes first; No keeps the dialog (then cancelled) and the file as it was.
TEST(VisScreen, CaptureAsksBeforeReplacingAnExistingFile) {
    testkit::cTempDir dir;
    const fs::path existing = dir.Path / "capture.dat";
    std::ofstream(existing, std::ios::binary) << "last week\r\n";
    TVisForm form;
    int questions = 0, dialogs = 0;
    QWidget* last = nullptr;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || w == last || !w->isVisible()) return;
        last = w;
        if (auto* box = qobject_cast<QMessageBox*>(w)) {
            ++questions;
            if (QAbstractButton* no = box->button(QMessageBox::No)) no->click();
            else box->reject();
            return;
        }
        auto* d = qobject_cast<QFileDialog*>(w);
        if (!d) return;
        if (dialogs++ > 0) {  // still up after the refused replacement
            QTimer::singleShot(0, d, [d] { d->reject(); });
            return;
        }
        d->setDirectory(QString::fromStdString(dir.Path.string()));
        d->selectFile(QStringLiteral("capture"));
        QTimer::singleShot(0, d, [d] { static_cast<QDialog*>(d)->accept(); });
    });
    watcher.start(10);
    form.LogBtnClick();
    watcher.stop();
    EXPECT_EQ(questions, 1);
    EXPECT_FALSE(form.Capturing());
    EXPECT_EQ(Slurp(existing), "last week\r\n");
}

// The capture key's caption reads on its face in both states: a contrast of
// at least 4.5 to 1 (as text must have against its background).
TEST(VisScreen, TheCaptureKeysCaptionReadsOnItsFace) {
    const auto luminance = [](const QColor& c) {
        const auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    const double caption = luminance(cShadowButton::OutlineColor());
    for (const QColor& face : {cShadowButton::NormalFill(), TVisForm::CapturingFill()}) {
        const double ground = luminance(face);
        const double contrast = (std::max(caption, ground) + 0.05) / (std::min(caption, ground) + 0.05);
        EXPECT_GE(contrast, 4.5) << face.name().toStdString();
    }
}
