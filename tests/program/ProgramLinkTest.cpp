// The whole program (its real start-up code and screens) against the ECU
// simulator: what reaches the ECU when the user acts while the link works.
#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <filesystem>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QTimer>

#include "link/CommThread.h"
#include "link/Settings.h"

#include "widgets/ShadowButton.h"

#include "kit/IOForm.h"

#include "screens/Globals.h"
#include "screens/InfoForm.h"
#include "screens/MainForm.h"
#include "screens/OptionsForm.h"
#include "screens/SaveForm.h"

#include "tools/ecusim/EcuSimulator.h"

#include "GuiTestKit.h"

using namespace GuiTestKit;

namespace {

// Counts what the screens heard, after them.
class cCounter : public cLinkListener {
public:
    int ReadSteps = 0;
    int Loaded = 0;
    void LinkEvent() override {
        if (LinkRequest == RQ_READ_SETTINGS && LinkPhase == 1) ++ReadSteps;
    }
    void SettingsLoaded() override { ++Loaded; }
};

// An old-protocol ECU whose settings all differ from the program's own
// start-up values; F4 on the main menu in the middle of the first read (the
// buttons work then on a first start), back to the menu, then "Store in ECU"
// without editing: the ECU must receive exactly the values it had.
TEST(ProgramLink, VisualisationKeyDuringTheFirstReadStoresTheEcusOwnValues) {
    constexpr int kVersion = 22;
    sSimOptions o;
    o.Version = kVersion;
    o.IdVersion = 0x25;
    cEcuSimulator sim(o);
    std::array<uint8_t, 16> ecu = cEcuSimulator::FactorySettings(kVersion);
    const uint8_t values[10] = {3, 0x67, 60, 24, 61, 171, 121, 99, 88, 2};
    for (int p = 0; p < 10; ++p) ecu[size_t(p)] = values[p];
    sim.SetSettings(ecu);
    sim.Start();

    cCounter counter;
    // Declared after what its listeners use: it stops the link first.
    cProgram program;
    program.Extra = {&counter};
    program.SetExtraPorts({sim.DevicePath()});
    program.WriteIni("COM: " + sim.DevicePath() + "\r\nLanguage: en\r\nENABLED");
    ASSERT_EQ(program.Start(), cShell::eStart::Ok);
    MainForm->show();

    ASSERT_TRUE(WaitFor([&] { return counter.ReadSteps >= 3; }, 20000));
    ASSERT_EQ(counter.Loaded, 0);
    ASSERT_TRUE(MainForm->VisBtn->isEnabled());
    Key(MainForm, Qt::Key_F4);
    ASSERT_TRUE(VisScreen->isVisible());
    Key(VisScreen, Qt::Key_Escape);
    ASSERT_FALSE(VisScreen->isVisible());

    ASSERT_TRUE(
        WaitFor([&] { return counter.Loaded >= 1 && CommThread->IsConnected() && !CommThread->IsBusy(); }, 20000));
    EXPECT_EQ(counter.Loaded, 1);
    EXPECT_EQ(WorkSettings.StepPosMin, 61);
    EXPECT_EQ(WorkSettings, EcuSettings);

    Key(MainForm, Qt::Key_F5);
    ASSERT_TRUE(DataExScreen->isVisible());
    sim.ClearLog();
    ASSERT_TRUE(WaitFor([] { return !CommThread->IsBusy(); }));
    Key(DataExScreen, Qt::Key_F4);  // returns when the progress dialog has closed
    ASSERT_TRUE(TSaveForm::WriteDone);

    std::vector<std::pair<int, int>> writes;
    for (const auto& f : sim.Received())
        if (f.size() == 3 && (f[0] & 0xF0) == 0xC0) writes.emplace_back(f[0] & 0x0F, f[1]);
    ASSERT_EQ(writes.size(), 10u);
    for (int p = 0; p < 10; ++p) EXPECT_EQ(writes[size_t(p)], std::make_pair(p, int(values[p]))) << p;
    EXPECT_EQ(sim.Stored(), ecu);
}

// A screen's part that hears from the link itself (a cIOForm inside a
// cIOForm): the link's LinkIdle reaches it through the same walk that the
// screens use, in the program and in the tests alike.
class cIdleProbe : public cIOForm {
public:
    using cIOForm::cIOForm;
    int Idle = 0;
    int Busy = 0;
    void LinkIdle(bool idle) override { ++(idle ? Idle : Busy); }
};

TEST(ProgramLink, LinkIdleReachesFormsNestedInAScreen) {
    sSimOptions o;
    o.Instant = true;
    cEcuSimulator sim(o);
    sim.Start();
    cIdleProbe screen;
    auto* nested = new cIdleProbe(&screen);
    cCounter counter;
    cCommThread link(
        [](const std::function<void()>& fn) { QMetaObject::invokeMethod(qApp, fn, Qt::BlockingQueuedConnection); });
    link.AddListener(&screen);
    link.AddListener(&counter);
    link.SetPortName(sim.DevicePath());
    // Connect, identify and the read each end with an idle notification;
    // the read's comes after its settings have been delivered.
    ASSERT_TRUE(WaitFor([&] { return counter.Loaded > 0 && screen.Idle >= 3; }, 20000));
    link.Shutdown([] { QCoreApplication::processEvents(QEventLoop::AllEvents, 5); });
    EXPECT_EQ(nested->Idle, screen.Idle);
    EXPECT_EQ(nested->Busy, screen.Busy);
}

std::string TempLink(const char* tag) {
    return (std::filesystem::temp_directory_path() / ("zvprog-" + std::string(tag) + "-" + std::to_string(::getpid())))
        .string();
}

// The adapter is pulled while the fitter has an unsaved edit and put back
// while the port error box is up. Nobody touches the box: the link goes on
// trying the port, connects, and the box closes by itself. The edit is still
// there, marked on the main menu, the exit question warns, and "Store in
// ECU" writes it.
TEST(ProgramLink, PortErrorBoxHoldsNothingAndAnUnsavedEditSurvivesThePulledLine) {
    constexpr int kVersion = 22;
    const std::string link = TempLink("pull");
    sSimOptions o;
    o.Version = kVersion;
    o.Instant = true;
    o.LinkPath = link;
    cEcuSimulator sim(o);
    sim.Start();

    cCounter counter;
    int connects = 0;
    cSpy spy;
    spy.OnEvent = [&](const cSpy& s) {
        if (s.LinkRequest == RQ_CONNECT && s.LinkPhase == Phase::Connected && s.LinkValue == 1) ++connects;
    };
    cProgram program;
    program.Extra = {&counter, &spy};
    program.SetExtraPorts({link});
    program.WriteIni("COM: " + link + "\r\nLanguage: en\r\nENABLED");
    ASSERT_EQ(program.Start(), cShell::eStart::Ok);
    MainForm->show();
    ASSERT_TRUE(WaitFor([&] { return counter.Loaded >= 1 && !CommThread->IsBusy(); }, 20000));

    const uint8_t original = EcuSettings.LambdaType;
    const uint8_t edited = original == 2 ? 3 : 2;
    WorkSettings.LambdaType = edited;
    MainForm->ShowSettingsChanged(true);

    // Watches the box from inside its own loop: the line comes back once it
    // is up; should the link stay held, it is closed after a while so that
    // the test fails instead of hanging.
    bool boxSeen = false, closedByTest = false;
    int connectsAtBox = 0;
    QElapsedTimer upFor;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!InfoForm->IsModalRunning()) return;
        if (!boxSeen) {
            boxSeen = true;
            connectsAtBox = connects;
            upFor.start();
            sim.Reopen();
        } else if (upFor.elapsed() > 20000) {
            closedByTest = true;
            InfoForm->close();
        }
    });
    watch.start(10);
    sim.SetFault(eSimFault::LineDrop, 0);
    ASSERT_TRUE(WaitFor([&] { return boxSeen && !InfoForm->IsModalRunning(); }, 30000));
    watch.stop();
    EXPECT_FALSE(closedByTest) << "the box held the link";
    // The connection that closed it (heard here after every screen).
    EXPECT_TRUE(WaitFor([&] { return connects > connectsAtBox; }));
    ASSERT_TRUE(
        WaitFor([&] { return counter.Loaded >= 2 && CommThread->IsConnected() && !CommThread->IsBusy(); }, 20000));

    EXPECT_EQ(WorkSettings.LambdaType, edited);
    EXPECT_TRUE(SettingsChanged());
    EXPECT_EQ(MainForm->DataExBtn->OutlineWidth(), 6);
    cModalAnswer question("QuestionForm", [](QWidget* w) { return ClickChild(w, "NoBtn"); });
    MainForm->close();
    ASSERT_EQ(question.Texts.size(), 1);
    EXPECT_EQ(question.Texts[0], QStringLiteral("Do you want to\nquit program without\nsaving settings to ECU?"));

    Key(MainForm, Qt::Key_F5);
    ASSERT_TRUE(DataExScreen->isVisible());
    {
        // Kept over the pulled line: the fitter says it is the same vehicle.
        cModalAnswer same("QuestionForm", [](QWidget* w) { return ClickChild(w, "YesBtn"); });
        Key(DataExScreen, Qt::Key_F4);  // returns when the progress dialog has closed
        ASSERT_EQ(same.Texts.size(), 1);
        EXPECT_TRUE(same.Texts[0].contains(QStringLiteral("same vehicle"))) << same.Texts[0].toStdString();
    }
    ASSERT_TRUE(TSaveForm::WriteDone);
    EXPECT_EQ(sim.Stored()[0], edited);
    EXPECT_EQ(MainForm->DataExBtn->OutlineWidth(), 2);
}

// The saved port is an adapter that is not plugged in: the name is kept,
// listed and shown as not present, the link keeps trying it, plugging it in
// later just works, and the name is written back.
TEST(ProgramLink, MissingSavedPortIsKeptTriedAndWrittenBack) {
    const std::string port = TempLink("ttyUSB7");
    cCounter counter;
    cProgram program;
    program.Extra = {&counter};
    program.WriteIni("COM: " + port + "\r\nLanguage: en\r\n");
    cModalAnswer portErrors(
        "InfoForm", [](QWidget* w) { return w->close(); }, true);
    ASSERT_EQ(program.Start(), cShell::eStart::Ok);
    EXPECT_EQ(OptionsForm->ComPortCB->currentText().toStdString(), port);
    EXPECT_EQ(CommThread->GetPortName(), port);
    ASSERT_TRUE(WaitFor([] { return OptionsForm->StatusLL->text() == QStringLiteral("COM port not present!"); }));
    EXPECT_TRUE(OptionsForm->PortAbsentShown());
    // Lookup ports keeps it while it is still missing.
    OptionsForm->EnumPortsBtn->click();
    EXPECT_EQ(OptionsForm->ComPortCB->currentText().toStdString(), port);

    sSimOptions o;
    o.Instant = true;
    o.LinkPath = port;  // the adapter is plugged in
    cEcuSimulator sim(o);
    sim.Start();
    ASSERT_TRUE(WaitFor([&] { return counter.Loaded >= 1; }, 20000));
    EXPECT_FALSE(OptionsForm->PortAbsentShown());
    EXPECT_EQ(CommThread->GetPortName(), port);
    program.Stop();
    EXPECT_EQ(program.ReadIni(), "COM: " + port + "\r\nLanguage: en\r\n");
}

}  // namespace
