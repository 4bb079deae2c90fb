// The hardware configuration screen against the ECU simulator.
#include <gtest/gtest.h>

#include <algorithm>

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "link/Settings.h"

#include "widgets/DialGauge.h"
#include "widgets/LineGauge.h"
#include "widgets/ShadowButton.h"

#include "kit/QtText.h"

#include "screens/ConfigForm.h"
#include "screens/MainForm.h"

#include "ScreenRig.h"

namespace {

// Opens the screen as the main menu does: the configuration poll, then the screen.
void OpenConfig(cScreenRig& rig) {
    rig.Main->ConfigBtnClick();
    ASSERT_TRUE(rig.Config->isVisible());
}

void Choose(QComboBox* combo, int index) {
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}

bool WaitThrottle(cScreenRig& rig, int raw) {
    rig.Sim.SetLive(1, raw);
    rig.Config->LastTPSRaw = -1;
    return cScreenRig::WaitUntil([&] { return rig.Config->LastTPSRaw == raw; });
}

}  // namespace

class ConfigScreen : public ::testing::TestWithParam<int> {};

// F6 and F8 store the live throttle reading; from version 48 each also sends
// parameter 1 with the direction bit at once.
TEST_P(ConfigScreen, ThrottleCaptureSendsParameterOneFrom48) {
    const int version = GetParam();
    cScreenRig rig(version);
    ASSERT_TRUE(rig.Start());
    OpenConfig(rig);
    ASSERT_TRUE(WaitThrottle(rig, 51));
    rig.Sim.ClearLog();
    cScreenRig::Key(rig.Config, Qt::Key_F6);
    EXPECT_EQ(WorkSettings.TPSClosedLevel, 51);
    ASSERT_TRUE(WaitThrottle(rig, 102));
    cScreenRig::Key(rig.Config, Qt::Key_F8);
    EXPECT_EQ(WorkSettings.TPSSwitchLevel, 102);
    EXPECT_TRUE(rig.Config->TPSSwitchLL->text().endsWith(QStringLiteral(" V")));
    EXPECT_TRUE(rig.Config->TPSSwitchLL->text().contains(QStringLiteral("2")));
    // Rising sensor: switching level 102 with closed level 51 sends 103.
    ASSERT_TRUE(WaitThrottle(rig, 153));
    EXPECT_DOUBLE_EQ(rig.Config->TPSLM->Value(), 60.0);
    EXPECT_DOUBLE_EQ(rig.Config->TPSLM->Region3Start(), 40.0);
    EXPECT_DOUBLE_EQ(rig.Config->TPSLM->Region2Start(), 0.0);

    // Falling sensor: closed level 200.
    ASSERT_TRUE(WaitThrottle(rig, 200));
    cScreenRig::Key(rig.Config, Qt::Key_F6);
    ASSERT_TRUE(WaitThrottle(rig, 153));
    EXPECT_DOUBLE_EQ(rig.Config->TPSLM->Value(), 40.0);
    EXPECT_DOUBLE_EQ(rig.Config->TPSLM->Region3Start(), 60.0);

    const auto expected = Ecu::NewProtocol(version) ? std::vector<std::pair<int, int>>{{1, 101}, {1, 103}, {1, 102}}
                                                    : std::vector<std::pair<int, int>>{};
    // The updates go out with the next poll exchange.
    if (Ecu::NewProtocol(version)) ASSERT_TRUE(cScreenRig::WaitUntil([&] { return rig.Writes().size() >= 3; }));
    else cScreenRig::Pump(300);
    EXPECT_EQ(rig.Writes(), expected);

    // The poll reads only the throttle below 48, throttle and speed from 48.
    rig.Sim.ClearLog();
    rig.Sim.SetLive(3, 27);
    ASSERT_TRUE(cScreenRig::WaitUntil([&] {
        const auto c = rig.Commands();
        return std::count(c.begin(), c.end(), 0xD1) >= 3;
    }));
    bool sawD3 = false;
    for (uint8_t c : rig.Commands()) sawD3 |= c == 0xD3;
    EXPECT_EQ(sawD3, Ecu::NewProtocol(version));
    if (Ecu::NewProtocol(version)) {
        ASSERT_TRUE(cScreenRig::WaitUntil([&] { return rig.Config->RPMLL->text() == QStringLiteral("2000"); }));
        EXPECT_DOUBLE_EQ(rig.Config->RPMAM->Value(), 2.0);
    }
}

// Version rules of the fill: level sensor types, RPM block, level filter row.
TEST_P(ConfigScreen, VersionRules) {
    const int v = GetParam();
    cScreenRig rig(v);
    ASSERT_TRUE(rig.Start());
    OpenConfig(rig);
    TConfigForm* f = rig.Config;
    EXPECT_EQ(f->LPGLevTypeCB->count(), v > 54 ? 6 : 2);
    EXPECT_EQ(f->LPGLevTypeCB->isEnabled(), v > 22);
    EXPECT_EQ(f->Label3->isEnabled(), v > 22);
    EXPECT_EQ(f->RPMOldGB->isVisibleTo(f), v < 48);
    EXPECT_EQ(f->RPMNewGB->isVisibleTo(f), v >= 48);
    EXPECT_EQ(f->DisableLpgFilterBtn->isVisibleTo(f), v > 56);
    EXPECT_EQ(f->Label12->isVisibleTo(f), v > 56);

    // The level filter button sends its command only above 56 and changes no setting.
    rig.Sim.ClearLog();
    f->DisableLpgFilterBtnClick();
    if (v > 56) {
        ASSERT_TRUE(cScreenRig::WaitUntil([&] { return rig.Sim.LevelFilterDisabled(); }));
        EXPECT_EQ(rig.Writes(), (std::vector<std::pair<int, int>>{{15, 2}}));
    }
    EXPECT_FALSE(SettingsChanged());

    // A level sensor type chosen on an ECU up to 22 is ignored.
    const uint8_t before = WorkSettings.LPGLevType;
    if (f->LPGLevTypeCB->count() > 0) Choose(f->LPGLevTypeCB, before == 0 ? 1 : 0);
    EXPECT_EQ(WorkSettings.LPGLevType == before, v <= 22);
}

INSTANTIATE_TEST_SUITE_P(Versions, ConfigScreen, ::testing::Values(22, 47, 48, 49, 52, 55, 57));

TEST(ConfigScreenRules, NoSensorOn48QueuesZeroEightAndLeavingAsksNothing) {
    cScreenRig rig(48);
    ASSERT_TRUE(rig.Start());
    OpenConfig(rig);
    rig.Sim.ClearLog();
    Choose(rig.Config->LambdaSensorCB, 5);
    EXPECT_EQ(WorkSettings.LambdaType, 8);
    ASSERT_TRUE(cScreenRig::WaitUntil([&] { return !rig.Writes().empty(); }));
    EXPECT_EQ(rig.Writes(), (std::vector<std::pair<int, int>>{{0, 8}}));
    EXPECT_TRUE(cScreenRig::WaitUntil([&] { return rig.Sim.Settings()[0] == 8; }));
    // Cylinder and coil counts go out as parameters 9 and 10.
    Choose(rig.Config->CylCountCB, 5);   // "6"
    Choose(rig.Config->CoilCountCB, 1);  // "2"
    ASSERT_TRUE(cScreenRig::WaitUntil([&] { return rig.Writes().size() >= 3; }));
    EXPECT_EQ(rig.Writes(), (std::vector<std::pair<int, int>>{{0, 8}, {9, 6}, {10, 2}}));

    rig.Config->close();  // no question on the new protocol
    EXPECT_FALSE(rig.Config->isVisible());
    EXPECT_FALSE(rig.Question->isVisible());
    // The poll was stopped; the settings differ from the last read, so the
    // data transfer button is highlighted.
    ASSERT_TRUE(cScreenRig::WaitUntil([&] { return rig.Link->GetCurrentRequest() != RQ_CONFIG_POLL; }));
    EXPECT_EQ(rig.Main->DataExBtn->OutlineWidth(), 6);
}

TEST(ConfigScreenRules, LeavingWithChangesOn47AsksAndYesWritesTheBlockWithAStore) {
    cScreenRig rig(47);
    ASSERT_TRUE(rig.Start());
    OpenConfig(rig);
    Choose(rig.Config->RPMDivCB, 2);  // only the RPM source: the whole image is compared
    EXPECT_EQ(WorkSettings.RPMDiv, 2);
    EXPECT_TRUE(SettingsChanged());
    rig.Sim.ClearLog();
    rig.AnswerQuestion(true);
    rig.Config->close();
    EXPECT_FALSE(rig.Config->isVisible());
    // The save dialog followed the write to its end.
    EXPECT_EQ(rig.Save->TransferStatusLL->text(), Tr("Settings has been saved in ECU"));
    std::vector<uint8_t> writes;
    bool stored = false;
    for (uint8_t c : rig.Commands()) {
        if ((c & 0xF0) == 0xC0) writes.push_back(c);
        stored |= c == 0x63;
    }
    EXPECT_EQ(writes.size(), 11u);  // parameters 0..10 of version 47
    EXPECT_TRUE(stored);
    EXPECT_EQ(rig.Sim.Stored()[9], 2);
    EXPECT_FALSE(SettingsChanged());
    EXPECT_EQ(rig.Main->DataExBtn->OutlineWidth(), 2);
}

// A fitter who answers Yes while the screen's poll is still winding down
// gets the write all the same, not a silently refused one.
TEST(ConfigScreenRules, YesAnsweredWhileThePollEndsStillWrites) {
    cScreenRig rig(47);
    ASSERT_TRUE(rig.Start());
    OpenConfig(rig);
    Choose(rig.Config->RPMDivCB, 0);
    rig.Sim.ClearLog();
    rig.AnswerQuestion(true, /*atOnce=*/true);
    rig.Config->close();
    EXPECT_EQ(rig.Save->TransferStatusLL->text(), Tr("Settings has been saved in ECU"));
    EXPECT_EQ(rig.Sim.Stored()[9], 0);
    EXPECT_FALSE(SettingsChanged());
}

TEST(ConfigScreenRules, LeavingWithoutChangesOn47AsksNothingAndNoKeepsTheChanges) {
    cScreenRig rig(47);
    ASSERT_TRUE(rig.Start());
    OpenConfig(rig);
    rig.Config->close();
    EXPECT_FALSE(rig.Question->isVisible());
    EXPECT_EQ(rig.Main->DataExBtn->OutlineWidth(), 2);

    // Changes on an older ECU send nothing; No leaves them in the working image.
    OpenConfig(rig);
    rig.Sim.ClearLog();
    Choose(rig.Config->LambdaSensorCB, 1);
    Choose(rig.Config->TPSTypeCB, 0);
    EXPECT_FALSE(rig.Config->TPSMinBtn->isVisibleTo(rig.Config));
    cScreenRig::Pump(300);
    EXPECT_TRUE(rig.Writes().empty());
    rig.AnswerQuestion(false);
    rig.Config->close();
    EXPECT_EQ(WorkSettings.LambdaType, 1);
    EXPECT_EQ(WorkSettings.TPSType, 0);
    EXPECT_TRUE(SettingsChanged());
    EXPECT_EQ(rig.Main->DataExBtn->OutlineWidth(), 6);

    // Every fill shows the capture buttons and the switching level exactly
    // for a linear sensor, whatever the screen showed before.
    WorkSettings.TPSType = 1;  // e.g. a vehicle file loaded meanwhile
    OpenConfig(rig);
    for (QWidget* w :
         {(QWidget*)rig.Config->TPSMinBtn, (QWidget*)rig.Config->TPSSwitchBtn, (QWidget*)rig.Config->TPSSwitchLL})
        EXPECT_TRUE(w->isVisibleTo(rig.Config)) << w->objectName().toStdString();
    WorkSettings.TPSType = 0;
    rig.Config->FormShow();
    for (QWidget* w :
         {(QWidget*)rig.Config->TPSMinBtn, (QWidget*)rig.Config->TPSSwitchBtn, (QWidget*)rig.Config->TPSSwitchLL})
        EXPECT_FALSE(w->isVisibleTo(rig.Config)) << w->objectName().toStdString();
}

TEST(ConfigScreenRules, FillSelectsNearestItemsAndNeverSendsUpdates) {
    cScreenRig rig(48);
    ASSERT_TRUE(rig.Start());
    WorkSettings.CylCount = 7;  // tie between 6 and 8: the earlier
    WorkSettings.CoilCount = 200;
    WorkSettings.LambdaType = 5;  // shows "No sensor", the byte stays 5
    WorkSettings.LPGLevType = 4;  // no such item below 55: no selection
    rig.Sim.ClearLog();
    OpenConfig(rig);
    EXPECT_EQ(rig.Config->CylCountCB->currentText(), QStringLiteral("6"));
    EXPECT_EQ(rig.Config->CoilCountCB->currentText(), QStringLiteral("12"));
    EXPECT_EQ(rig.Config->LambdaSensorCB->currentIndex(), 5);
    EXPECT_EQ(rig.Config->LPGLevTypeCB->currentIndex(), -1);
    EXPECT_EQ(WorkSettings.LambdaType, 5);
    cScreenRig::Pump(300);
    EXPECT_TRUE(rig.Writes().empty());
    // Failures disable the capture buttons until the next settings read.
    rig.Config->RequestFailed();
    EXPECT_FALSE(rig.Config->TPSMinBtn->isEnabled());
    cScreenRig::Key(rig.Config, Qt::Key_F6);  // disabled: nothing
    rig.Config->SettingsLoaded();
    EXPECT_TRUE(rig.Config->TPSSwitchBtn->isEnabled());
}

// The screen wants its poll exactly while it is shown: on the first visit too,
// and never because of a refill of the hidden screen.
TEST(ConfigScreenRules, PollIsAskedForOnlyWhileShown) {
    cScreenRig rig(48);
    ASSERT_TRUE(rig.Start());
    OpenConfig(rig);
    EXPECT_TRUE(rig.Config->ScreenActive);
    rig.Config->close();
    EXPECT_FALSE(rig.Config->ScreenActive);
    ASSERT_TRUE(rig.WaitIdle());

    // The main menu's refill of the hidden screen.
    rig.Config->FormShow();
    EXPECT_FALSE(rig.Config->ScreenActive);
    rig.Config->SettingsLoaded();
    cScreenRig::Pump(100);
    EXPECT_FALSE(rig.Link->IsBusy());

    // Shown again, a completed settings read restarts the poll.
    rig.Config->show();
    ASSERT_TRUE(rig.WaitIdle());
    rig.Config->SettingsLoaded();
    ASSERT_TRUE(
        cScreenRig::WaitUntil([&] { return rig.Link->IsBusy() && rig.Link->GetCurrentRequest() == RQ_CONFIG_POLL; }));
    rig.Config->close();
    ASSERT_TRUE(cScreenRig::WaitUntil([&] { return !rig.Link->IsBusy(); }));
}
