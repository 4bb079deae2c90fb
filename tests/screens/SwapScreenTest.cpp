// The cable moves to the next car while a settings screen is up: the screen
// then shows the car on the line (or the kept edits, marked), and nothing
// reaches that car that the fitter did not choose for it. What the fitter
// types reaches a newer ECU once settled, never a number passed on the way;
// Discard puts back what a newer ECU ran; Esc keeps everything as it was.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include "screens/CalibForm.h"
#include "screens/ConfigForm.h"
#include "screens/DataExForm.h"

#include "ScreenRig.h"

namespace {

using tValues = std::array<uint8_t, 16>;

// A car with the valve positions and lambda probe given (parameter order).
tValues Car(int version, int min, int max, int h0, int h1, int h2, int lambda) {
    tValues v = cEcuSimulator::FactorySettings(version);
    v[P_STEP_MIN] = uint8_t(min);
    v[P_STEP_MAX] = uint8_t(max);
    v[P_STEP_H0] = uint8_t(h0);
    v[P_STEP_H1] = uint8_t(h1);
    v[P_STEP_H2] = uint8_t(h2);
    v[P_LAMBDA_TYPE] = uint8_t(lambda);
    return v;
}
const auto CarA = [](int version) { return Car(version, 50, 150, 80, 100, 120, 1); };
const auto CarB = [](int version) { return Car(version, 60, 140, 70, 110, 130, 3); };

// The frames that change a car: a setting or command write, or the store.
std::vector<uint8_t> Sent(const cEcuSimulator& sim) {
    std::vector<uint8_t> out;
    for (uint8_t c : sim.Commands())
        if ((c & 0xF0) == CMD_WRITE || c == CMD_STORE) out.push_back(c);
    return out;
}

// Values of the write frames of one parameter, in order.
std::vector<int> WritesOf(const cEcuSimulator& sim, int param) {
    std::vector<int> out;
    for (const auto& f : sim.Received())
        if (f.size() == 3 && f[0] == (CMD_WRITE | param)) out.push_back(f[1]);
    return out;
}

sSimOptions Options(int version) {
    sSimOptions o;
    o.Version = version;
    o.Instant = true;
    return o;
}

// The line drops and the link comes back on `car`; waits for its read.
void MoveCableTo(cScreenRig& rig, cEcuSimulator& car) {
    rig.Sim.SetFault(eSimFault::LineDrop, 0);
    ASSERT_TRUE(cScreenRig::WaitUntil([&] { return !rig.Link->IsConnected(); }));
    const int loaded = rig.Loaded;
    rig.Link->SetPortName(car.DevicePath());
    ASSERT_TRUE(cScreenRig::WaitUntil([&] { return rig.Loaded > loaded; }, 20000));
    ASSERT_TRUE(rig.Link->IsConnected());
}

// Waits until the ECU has received `count` more frames (the idle poll's or a
// screen's own poll): what a key would have sent is among them.
bool WaitFrames(const cEcuSimulator& car, size_t count) {
    const size_t target = car.Commands().size() + count;
    return cScreenRig::WaitUntil([&] { return car.Commands().size() >= target; });
}

QStringList Positions(const TCalibForm* calib) {
    return {calib->StepPosMinED->text(), calib->StepPosMaxED->text(), calib->StepPosH1ED->text(),
            calib->StepPosH2ED->text()};
}

QStringList PositionsOf(const tValues& v) {
    return {QString::number(v[P_STEP_MIN]), QString::number(v[P_STEP_MAX]), QString::number(v[P_STEP_H1]),
            QString::number(v[P_STEP_H2])};
}

// Car A on the line and the calibration screen up.
void OpenCalibrationOnCarA(cScreenRig& rig) {
    rig.Sim.SetSettings(CarA(48));
    ASSERT_TRUE(rig.Start());
    ASSERT_TRUE(rig.WaitIdle());
    cScreenRig::Key(rig.Main, Qt::Key_F3);
    ASSERT_TRUE(rig.Calib->isVisible());
}

struct sSwap {
    const char* Name;
    int VersionA;
    int VersionB;
    int ScreenKey;  // F2 configuration, F3 calibration
};

class SwapScreen : public ::testing::TestWithParam<sSwap> {};

// Nothing edited on car A: after the swap the screen shows car B, and
// leaving it with F10 and Enter after Enter sends car B nothing and asks
// nothing.
TEST_P(SwapScreen, TheScreenShowsTheNextCarAndLeavingItSendsNothing) {
    const sSwap& c = GetParam();
    cScreenRig rig(c.VersionA);
    rig.Sim.SetSettings(CarA(c.VersionA));
    ASSERT_TRUE(rig.Start());
    ASSERT_TRUE(rig.WaitIdle());
    cScreenRig::Key(rig.Main, c.ScreenKey);
    cIOForm* screen = c.ScreenKey == Qt::Key_F3 ? static_cast<cIOForm*>(rig.Calib) : rig.Config;
    ASSERT_TRUE(screen->isVisible());
    if (c.ScreenKey == Qt::Key_F3) {
        ASSERT_EQ(Positions(rig.Calib), PositionsOf(CarA(c.VersionA)));
    }

    cEcuSimulator carB(Options(c.VersionB));
    carB.SetSettings(CarB(c.VersionB));
    carB.Start();
    ASSERT_NO_FATAL_FAILURE(MoveCableTo(rig, carB));

    if (c.ScreenKey == Qt::Key_F3) {
        EXPECT_EQ(Positions(rig.Calib), PositionsOf(CarB(c.VersionB)));
    } else {
        EXPECT_EQ(rig.Config->LambdaSensorCB->currentIndex(), CarB(c.VersionB)[P_LAMBDA_TYPE]);
    }
    EXPECT_TRUE(rig.Calib->KeptLL->text().contains(QStringLiteral("another vehicle")));

    QStringList asked;
    rig.PressInQuestions({Qt::Key_Return, Qt::Key_Return, Qt::Key_Return}, &asked);
    cScreenRig::Key(screen, Qt::Key_F10);
    EXPECT_FALSE(screen->isVisible());
    cScreenRig::Key(rig.Main, Qt::Key_Return);
    ASSERT_TRUE(rig.WaitLive(6));
    EXPECT_EQ(asked, QStringList{});
    EXPECT_EQ(Sent(carB), std::vector<uint8_t>{});
    EXPECT_EQ(carB.Stored(), CarB(c.VersionB));
    EXPECT_FALSE(SettingsChanged());
}

INSTANTIATE_TEST_SUITE_P(Cars, SwapScreen,
                         ::testing::Values(sSwap{"v22_to_v31_on_calibration", 22, 31, Qt::Key_F3},
                                           sSwap{"v22_to_v31_on_configuration", 22, 31, Qt::Key_F2},
                                           sSwap{"v48_to_v57_on_calibration", 48, 57, Qt::Key_F3},
                                           sSwap{"v48_to_v57_on_configuration", 48, 57, Qt::Key_F2}),
                         [](const auto& info) { return std::string(info.param.Name); });

// Car A's change is kept over the swap and marked; a digit typed on car B
// then asks the same-vehicle question first, and its default answers send
// nothing: neither the kept change nor car A's other positions.
TEST(SwapScreenTyping, ADigitTypedOnTheNextCarSendsNothingOfTheFirst) {
    cScreenRig rig(48);
    ASSERT_NO_FATAL_FAILURE(OpenCalibrationOnCarA(rig));
    rig.Calib->StepPosH1ED->setText(QStringLiteral("130"));
    cScreenRig::Key(rig.Calib->StepPosH1ED, Qt::Key_Return);
    ASSERT_TRUE(cScreenRig::WaitUntil([&] { return rig.Sim.Settings()[P_STEP_H1] == 130; }));

    cEcuSimulator carB(Options(57));
    carB.SetSettings(CarB(57));
    carB.Start();
    ASSERT_NO_FATAL_FAILURE(MoveCableTo(rig, carB));
    EXPECT_TRUE(rig.Link->HoldsKeptEdits());
    // The change is kept; the other fields show car B's settings.
    EXPECT_EQ(Positions(rig.Calib),
              (QStringList{QStringLiteral("60"), QStringLiteral("140"), QStringLiteral("130"), QStringLiteral("130")}));
    EXPECT_TRUE(rig.Calib->KeptLL->text().contains(QStringLiteral("kept in the program")));

    QStringList asked;
    rig.PressInQuestions({Qt::Key_Return, Qt::Key_Return}, &asked);
    rig.Calib->StepPosMinED->setFocus();
    rig.Calib->StepPosMinED->selectAll();
    cScreenRig::Key(rig.Calib->StepPosMinED, Qt::Key_7);
    cScreenRig::Key(rig.Calib->StepPosMinED, Qt::Key_5);
    // No question while typing, however long the pause: Enter brings it.
    EXPECT_FALSE(rig.Calib->SendPending());
    cScreenRig::Key(rig.Calib->StepPosMinED, Qt::Key_Return);
    ASSERT_EQ(asked.size(), 2);
    EXPECT_TRUE(asked[0].contains(QStringLiteral("same vehicle")));
    ASSERT_TRUE(rig.WaitLive(6));
    EXPECT_EQ(Sent(carB), std::vector<uint8_t>{});
    EXPECT_TRUE(rig.Link->HoldsKeptEdits());
    rig.Calib->hide();
}

// What the fitter types reaches a newer ECU once: when typing pauses or
// Enter is pressed, never a number passed on the way. The first key after
// the screen opens replaces the value shown.
TEST(SwapScreenTyping, OnlyTheSettledValueIsSent) {
    cScreenRig rig(48);
    ASSERT_NO_FATAL_FAILURE(OpenCalibrationOnCarA(rig));
    rig.Calib->activateWindow();
    ASSERT_TRUE(cScreenRig::WaitUntil([&] { return QApplication::focusWidget() == rig.Calib->StepPosMinED; }));
    rig.Sim.ClearLog();

    // Typed over the selected 50, settled by Enter.
    for (int key : {Qt::Key_5, Qt::Key_5}) cScreenRig::Key(rig.Calib->StepPosMinED, key);
    EXPECT_EQ(rig.Calib->StepPosMinED->text(), QStringLiteral("55"));
    EXPECT_TRUE(rig.Calib->SendPending());
    cScreenRig::Key(rig.Calib->StepPosMinED, Qt::Key_Return);
    ASSERT_TRUE(cScreenRig::WaitUntil([&] { return rig.Sim.Settings()[P_STEP_MIN] == 55; }));

    // Typed and left to settle by the pause.
    rig.Calib->StepPosMaxED->setFocus();
    rig.Calib->StepPosMaxED->selectAll();
    for (int key : {Qt::Key_1, Qt::Key_6, Qt::Key_0}) cScreenRig::Key(rig.Calib->StepPosMaxED, key);
    EXPECT_TRUE(rig.Calib->SendPending());
    ASSERT_TRUE(cScreenRig::WaitUntil([&] { return rig.Sim.Settings()[P_STEP_MAX] == 160; }));
    ASSERT_TRUE(rig.WaitLive(6));
    EXPECT_EQ(WritesOf(rig.Sim, P_STEP_MIN), std::vector<int>{55});
    EXPECT_EQ(WritesOf(rig.Sim, P_STEP_MAX), std::vector<int>{160});
    EXPECT_EQ(Sent(rig.Sim), (std::vector<uint8_t>{CMD_WRITE | P_STEP_MIN, CMD_WRITE | P_STEP_MAX}));
    rig.Calib->hide();
}

// The configuration screen opens with no list under the arrow keys.
TEST(SwapScreenTyping, TheConfigurationScreenOpensWithNoListUnderTheArrows) {
    cScreenRig rig(48);
    ASSERT_TRUE(rig.Start());
    ASSERT_TRUE(rig.WaitIdle());
    cScreenRig::Key(rig.Main, Qt::Key_F2);
    ASSERT_TRUE(rig.Config->isVisible());
    rig.Config->activateWindow();
    cScreenRig::Pump(50);
    rig.Sim.ClearLog();
    QWidget* at = QApplication::focusWidget() ? QApplication::focusWidget() : rig.Config;
    EXPECT_EQ(qobject_cast<QComboBox*>(at), nullptr);
    for (int key : {Qt::Key_Up, Qt::Key_Down, Qt::Key_Up}) cScreenRig::Key(at, key);
    ASSERT_TRUE(WaitFrames(rig.Sim, 12));
    EXPECT_EQ(Sent(rig.Sim), std::vector<uint8_t>{});
    rig.Config->hide();
}

// Discard on a newer ECU: the ECU already runs the change, so Yes puts back
// the value it had, and the screens and records show it; Esc and No leave
// the ECU and the change as they are.
TEST(SwapScreenDiscard, ANewerEcuGetsBackTheValuesItHad) {
    struct sCase {
        const char* Name;
        int Key;
        int EcuRuns;
    };
    const sCase cases[] = {
        {"Yes puts back", Qt::Key_T, 150}, {"Esc keeps", Qt::Key_Escape, 130}, {"No keeps", Qt::Key_N, 130}};
    for (const sCase& c : cases) {
        SCOPED_TRACE(c.Name);
        cScreenRig rig(48);
        ASSERT_NO_FATAL_FAILURE(OpenCalibrationOnCarA(rig));
        rig.Calib->StepPosMaxED->setText(QStringLiteral("130"));
        cScreenRig::Key(rig.Calib->StepPosMaxED, Qt::Key_Return);
        ASSERT_TRUE(cScreenRig::WaitUntil([&] { return rig.Sim.Settings()[P_STEP_MAX] == 130; }));
        cScreenRig::Key(rig.Calib, Qt::Key_F10);
        ASSERT_FALSE(rig.Calib->isVisible());

        cScreenRig::Key(rig.Main, Qt::Key_F5);
        ASSERT_TRUE(rig.DataEx->isVisible());
        QStringList asked;
        rig.PressInQuestions({c.Key}, &asked);
        cScreenRig::Key(rig.DataEx, Qt::Key_F6);
        ASSERT_EQ(asked.size(), 1);
        EXPECT_TRUE(asked[0].contains(QStringLiteral("already runs"))) << asked[0].toStdString();
        ASSERT_TRUE(cScreenRig::WaitUntil([&] { return rig.Sim.Settings()[P_STEP_MAX] == c.EcuRuns; }));
        ASSERT_TRUE(rig.WaitLive(6));
        EXPECT_EQ(rig.Sim.Settings()[P_STEP_MAX], c.EcuRuns);
        EXPECT_EQ(WorkSettings.StepPosMax, c.EcuRuns);
        EXPECT_EQ(SettingsChanged(), c.EcuRuns != 150);
        EXPECT_EQ(rig.Sim.Stored()[P_STEP_MAX], 150);  // nothing stored either way
        rig.DataEx->hide();
        cScreenRig::Key(rig.Main, Qt::Key_F3);
        EXPECT_EQ(rig.Calib->StepPosMaxED->text(), QString::number(c.EcuRuns));
        rig.Calib->hide();
    }
}

// Kept edits on another car: Esc in either question keeps them and sends
// nothing; the warning about another vehicle stays over a further drop and
// reconnection until the fitter answers.
TEST(SwapScreenKept, EscKeepsTheEditsAndTheWarningStaysUntilAnswered) {
    struct sCase {
        const char* Name;
        std::vector<int> Keys;
    };
    const sCase cases[] = {{"Esc on the same-vehicle question", {Qt::Key_Escape}},
                           {"No, then Esc on keeping them", {Qt::Key_N, Qt::Key_Escape}}};
    for (const sCase& c : cases) {
        SCOPED_TRACE(c.Name);
        cScreenRig rig(31);
        rig.Sim.SetSettings(CarA(31));
        ASSERT_TRUE(rig.Start());
        ASSERT_TRUE(rig.WaitIdle());
        WorkSettings.LambdaType = 4;  // as the configuration screen changes it
        cEcuSimulator carB(Options(31));
        carB.SetSettings(CarB(31));
        carB.Start();
        ASSERT_NO_FATAL_FAILURE(MoveCableTo(rig, carB));
        ASSERT_TRUE(rig.Link->HoldsKeptEdits());
        ASSERT_TRUE(rig.Link->LooksLikeOtherVehicle());

        // Another drop, the same car B again.
        carB.SetFault(eSimFault::LineDrop, 0);
        ASSERT_TRUE(cScreenRig::WaitUntil([&] { return !rig.Link->IsConnected(); }));
        carB.Reopen();
        const int loaded = rig.Loaded;
        rig.Link->SetPortName(carB.DevicePath());
        ASSERT_TRUE(cScreenRig::WaitUntil([&] { return rig.Loaded > loaded; }, 20000));
        ASSERT_TRUE(rig.WaitIdle());
        EXPECT_TRUE(rig.Main->NoticeLL->text().contains(QStringLiteral("another vehicle")));
        EXPECT_TRUE(rig.Link->LooksLikeOtherVehicle());

        cScreenRig::Key(rig.Main, Qt::Key_F5);
        QStringList asked;
        rig.PressInQuestions(c.Keys, &asked);
        cScreenRig::Key(rig.DataEx, Qt::Key_F4);
        EXPECT_EQ(asked.size(), int(c.Keys.size()));
        ASSERT_TRUE(rig.WaitLive(6));
        EXPECT_EQ(Sent(carB), std::vector<uint8_t>{});
        EXPECT_TRUE(rig.Link->HoldsKeptEdits());
        EXPECT_EQ(WorkSettings.LambdaType, 4);
        EXPECT_FALSE(rig.DataEx->KeptLL->isHidden());
        rig.DataEx->hide();
    }
}

}  // namespace

namespace {

// Without an ECU on the line, Store in ECU says so instead of nothing.
TEST(SwapScreenOffline, StoreWithoutAnEcuSaysThatNothingWasStored) {
    cScreenRig rig(31);
    ASSERT_TRUE(rig.Start());
    ASSERT_TRUE(rig.WaitIdle());
    cScreenRig::Key(rig.Main, Qt::Key_F5);
    ASSERT_TRUE(rig.DataEx->isVisible());
    rig.Sim.SetFault(eSimFault::LineDrop, 0);
    ASSERT_TRUE(cScreenRig::WaitUntil([&] { return !rig.Link->IsConnected(); }));
    QString said;
    rig.AcknowledgeInfo(&said);
    rig.DataEx->SaveToECUBtnClick();
    EXPECT_TRUE(said.contains(QStringLiteral("nothing was stored"))) << said.toStdString();
    rig.DataEx->hide();
}

}  // namespace
