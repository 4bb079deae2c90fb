// One car at a time: after a reconnection the screens send nothing to the
// ECU until the fitter says that the kept changes belong to it; the kept
// changes and a likely other vehicle are said on every settings screen; a
// store is backed up; the visualisation screen's first key reaches no command.
#include <gtest/gtest.h>

#include <filesystem>

#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "core/Backup.h"

#include "formats/VehicleFile.h"

#include "screens/AutoBackup.h"
#include "screens/CalibForm.h"
#include "screens/ConfigForm.h"
#include "screens/DataExForm.h"
#include "screens/StoreFlow.h"
#include "screens/VisForm.h"

#include "tests/TestKit.h"

#include "ScreenRig.h"

namespace {

// A write of a setting or a command (the C class) or the store command.
bool SendsSomething(uint8_t code) { return (code & 0xF0) == CMD_WRITE || code == CMD_STORE; }

std::vector<uint8_t> Sent(const cScreenRig& rig) {
    std::vector<uint8_t> out;
    for (uint8_t c : rig.Commands())
        if (SendsSomething(c)) out.push_back(c);
    return out;
}

enum class eCar { Same, Other };

// Edits the lambda probe as the configuration screen does, pulls the cable,
// puts the same car (switched off meanwhile) or another of the same version
// and identity back, and waits for the read after the reconnection.
void EditAndReplug(cScreenRig& rig, int version, eCar car, uint8_t& edited) {
    ASSERT_TRUE(rig.WaitIdle());
    edited = EcuSettings.LambdaType == 2 ? 3 : 2;
    WorkSettings.LambdaType = edited;
    SendSettingUpdate(version, sUpdate(P_LAMBDA_TYPE, edited));
    rig.Main->ShowSettingsChanged(true);
    if (Ecu::NewProtocol(version)) {
        ASSERT_TRUE(cScreenRig::WaitUntil([&] { return rig.Sim.Settings()[P_LAMBDA_TYPE] == edited; }));
    }
    rig.Sim.SetFault(eSimFault::LineDrop, 0);
    ASSERT_TRUE(cScreenRig::WaitUntil([&] { return !rig.Link->IsConnected(); }));
    auto values = rig.Sim.Stored();
    if (car == eCar::Other) {
        values[P_LAMBDA_TYPE] = 4;
        values[P_STEP_MAX] = uint8_t(values[P_STEP_MAX] + 11);
    }
    rig.Sim.SetSettings(values);
    rig.Sim.Reopen();
    rig.Sim.ClearLog();
    const int loaded = rig.Loaded;
    rig.Link->SetPortName(rig.Sim.DevicePath());
    ASSERT_TRUE(cScreenRig::WaitUntil([&] { return rig.Loaded > loaded; }, 20000));
    ASSERT_TRUE(rig.WaitIdle());
}

void ExpectMarked(cScreenRig& rig, bool otherVehicle) {
    const std::pair<const char*, QLabel*> marks[] = {{"main menu", rig.Main->NoticeLL},
                                                     {"configuration", rig.Config->KeptLL},
                                                     {"calibration", rig.Calib->KeptLL},
                                                     {"data transfer", rig.DataEx->KeptLL}};
    for (const auto& [screen, label] : marks) {
        EXPECT_FALSE(label->isHidden()) << screen;
        EXPECT_TRUE(label->text().contains(QStringLiteral("kept in the program"))) << screen;
        EXPECT_EQ(label->text().contains(QStringLiteral("another vehicle")), otherVehicle) << screen;
        EXPECT_FALSE(label->text().contains(QStringLiteral("F5"))) << screen;
    }
}

class ReconnectScreen : public ::testing::TestWithParam<int> {};

// Another car on the line: nothing goes to it by itself, and the fitter's
// usual keys with their defaults (F5, F4, Enter, Enter; on the old protocol
// also F2, Esc, Enter, Enter) send nothing either and keep the changes.
TEST_P(ReconnectScreen, AnotherCarGetsNothingFromTheDefaultAnswers) {
    const int version = GetParam();
    cScreenRig rig(version);
    ASSERT_TRUE(rig.Start());
    uint8_t edited = 0;
    ASSERT_NO_FATAL_FAILURE(EditAndReplug(rig, version, eCar::Other, edited));
    ASSERT_TRUE(rig.WaitLive(12));
    EXPECT_EQ(Sent(rig), std::vector<uint8_t>{});
    EXPECT_FALSE(rig.Question->IsModalRunning());
    ExpectMarked(rig, true);

    QStringList asked;
    cScreenRig::Key(rig.Main, Qt::Key_F5);
    ASSERT_TRUE(rig.DataEx->isVisible());
    rig.PressInQuestions({Qt::Key_Return, Qt::Key_Return}, &asked);
    cScreenRig::Key(rig.DataEx, Qt::Key_F4);
    ASSERT_EQ(asked.size(), 2);
    EXPECT_TRUE(asked[0].contains(QStringLiteral("same vehicle"))) << asked[0].toStdString();
    rig.DataEx->hide();
    if (!Ecu::NewProtocol(version)) {
        cScreenRig::Key(rig.Main, Qt::Key_F2);
        ASSERT_TRUE(rig.Config->isVisible());
        rig.PressInQuestions({Qt::Key_Return, Qt::Key_Return}, &asked);
        cScreenRig::Key(rig.Config, Qt::Key_Escape);
        EXPECT_EQ(asked.size(), 4);
        EXPECT_FALSE(rig.Config->isVisible());
    }
    ASSERT_TRUE(rig.WaitLive(6));
    EXPECT_EQ(Sent(rig), std::vector<uint8_t>{});
    EXPECT_EQ(WorkSettings.LambdaType, edited);
    EXPECT_TRUE(rig.Link->HoldsKeptEdits());
    EXPECT_FALSE(rig.DataEx->KeptLL->text().isEmpty());

    // F6 on data transfer drops them for the ECU's settings.
    rig.Main->DataExBtnClick();
    rig.PressInQuestions({Qt::Key_T}, &asked);
    cScreenRig::Key(rig.DataEx, Qt::Key_F6);
    EXPECT_FALSE(SettingsChanged());
    EXPECT_EQ(WorkSettings.LambdaType, 4);
    EXPECT_FALSE(rig.Link->HoldsKeptEdits());
    EXPECT_TRUE(rig.DataEx->KeptLL->isHidden());
    EXPECT_EQ(Sent(rig), std::vector<uint8_t>{});
}

// The same car back on the line: the changes are kept and marked, and one
// confirmed store sends them; the newest backup then holds what the ECU holds
// and the factory settings question names it.
TEST_P(ReconnectScreen, SameCarKeepsTheChangesAndOneConfirmedStoreSendsThem) {
    const int version = GetParam();
    testkit::cTempDir tmp;
    const std::string folder = (tmp.Path / "backups").string();
    cAutoBackup backup(folder);
    cScreenRig rig(version);
    rig.ExtraListeners = {&backup};
    ASSERT_TRUE(rig.Start());
    uint8_t edited = 0;
    ASSERT_NO_FATAL_FAILURE(EditAndReplug(rig, version, eCar::Same, edited));
    ASSERT_TRUE(rig.WaitLive(6));
    EXPECT_EQ(Sent(rig), std::vector<uint8_t>{});
    ExpectMarked(rig, false);

    QStringList asked;
    rig.Main->DataExBtnClick();
    rig.PressInQuestions({Qt::Key_T}, &asked);
    cScreenRig::Key(rig.DataEx, Qt::Key_F4);
    ASSERT_EQ(asked.size(), 1);
    ASSERT_TRUE(cScreenRig::WaitUntil([] { return TSaveForm::WriteDone; }));
    EXPECT_EQ(rig.Sim.Stored()[P_LAMBDA_TYPE], edited);
    EXPECT_FALSE(SettingsChanged());
    EXPECT_FALSE(rig.Link->HoldsKeptEdits());
    EXPECT_TRUE(rig.DataEx->KeptLL->isHidden());
    EXPECT_TRUE(rig.Main->NoticeLL->isHidden());

    ASSERT_TRUE(cScreenRig::WaitUntil([&] {
        backup.Flush();
        return !backup.LatestPath().isEmpty();
    }));
    const auto list = Backup::List(folder);
    ASSERT_FALSE(list.empty());
    sSettings inBackup;
    VehicleFile::Parse(testkit::Slurp(list[0].Path), inBackup);
    EXPECT_EQ(backup.LatestPath().toStdString(), list[0].Path);
    // What a fresh read finds in the ECU.
    const int loaded = rig.Loaded;
    ASSERT_TRUE(cScreenRig::WaitUntil([&] { return rig.Link->PostRequest(RQ_READ_SETTINGS); }));
    ASSERT_TRUE(cScreenRig::WaitUntil([&] { return rig.Loaded > loaded; }));
    EXPECT_EQ(VehicleFile::Format(inBackup), VehicleFile::Format(IncomingSettings));
    if (Ecu::NewProtocol(version)) {
        ASSERT_TRUE(cScreenRig::WaitUntil([&] {
            backup.Flush();
            return !backup.LatestPath().isEmpty();
        }));
        ASSERT_TRUE(rig.WaitIdle());
        rig.PressInQuestions({Qt::Key_Escape}, &asked);
        cScreenRig::Key(rig.DataEx, Qt::Key_F5);
        ASSERT_EQ(asked.size(), 2);
        EXPECT_TRUE(asked[1].contains(QFileInfo(QString::fromStdString(list[0].Path)).fileName()))
            << asked[1].toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Versions, ReconnectScreen, ::testing::Values(22, 31, 48, 57),
                         [](const auto& info) { return "v" + std::to_string(info.param); });

// The visualisation screen just opened: Space and Enter reach no command.
TEST(ReconnectScreenFocus, VisualisationOpensWithNoCommandUnderTheKeys) {
    cScreenRig rig(57);
    ASSERT_TRUE(rig.Start());
    for (int key : {Qt::Key_Space, Qt::Key_Return}) {
        ASSERT_TRUE(rig.WaitIdle());
        cScreenRig::Key(rig.Main, Qt::Key_F4);
        ASSERT_TRUE(rig.Vis->isVisible());
        rig.Vis->activateWindow();
        cScreenRig::Pump(50);
        QWidget* at = QApplication::focusWidget() ? QApplication::focusWidget() : rig.Vis;
        EXPECT_NE(at, static_cast<QWidget*>(rig.Vis->ConsoleBtn));
        cScreenRig::Key(at, key);
        ASSERT_TRUE(rig.WaitLive(6));
        EXPECT_EQ(rig.Sim.ConsoleCommands(), 0);
        rig.Vis->close();
    }
}

}  // namespace
