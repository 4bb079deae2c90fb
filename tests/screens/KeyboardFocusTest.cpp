// Tab and Shift+Tab walk the controls of every screen one step at a time, in
// screen order, through every enabled control that takes the keyboard; the
// large buttons with a function key are run by their key and stay out.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "link/Settings.h"

#include "widgets/ShadowButton.h"

#include "screens/CalibForm.h"
#include "screens/ConfigForm.h"
#include "screens/DataExForm.h"
#include "screens/Globals.h"
#include "screens/OptionsForm.h"
#include "screens/VisForm.h"

#include "GuiTestKit.h"
#include "ScreenRig.h"

namespace {

QString Name(QWidget* w) { return w ? w->objectName() : QStringLiteral("(none)"); }

QWidget* Focused(QWidget* screen) {
    QWidget* f = screen->focusWidget();
    return f && f != screen ? f : nullptr;
}

// Presses Tab (or Shift+Tab) `steps` times on whatever has the focus and
// lists where the focus went after each press.
std::vector<std::string> Walk(QWidget* screen, int steps, bool back) {
    std::vector<std::string> visited;
    for (int i = 0; i < steps; ++i) {
        QWidget* at = Focused(screen);
        GuiTestKit::Key(at ? at : screen, back ? Qt::Key_Backtab : Qt::Key_Tab, QString(),
                        back ? Qt::ShiftModifier : Qt::NoModifier);
        QCoreApplication::processEvents();
        visited.push_back(Name(Focused(screen)).toStdString());
    }
    return visited;
}

// The whole round forwards from nothing focused and once more to the first,
// then the same round backwards, back to the first.
void ExpectRound(QWidget* screen, const std::vector<std::string>& order) {
    ASSERT_TRUE(screen->isVisible());
    screen->activateWindow();
    QCoreApplication::processEvents();
    if (QWidget* f = Focused(screen)) f->clearFocus();
    screen->setFocus();

    std::vector<std::string> forward = order;
    if (!order.empty()) forward.push_back(order.front());
    else forward.push_back("(none)");
    EXPECT_EQ(Walk(screen, int(forward.size()), false), forward) << screen->objectName().toStdString();

    std::vector<std::string> backward(order.rbegin(), order.rend());
    if (order.empty()) backward.push_back("(none)");
    EXPECT_EQ(Walk(screen, int(backward.size()), true), backward) << screen->objectName().toStdString();
}

}  // namespace

// Version 22: no level sensor list, no filter row, the old engine speed group.
TEST(KeyboardFocus, ConfigurationScreenOldEcuLeavesTheThrottleList) {
    cScreenRig rig(22);
    ASSERT_TRUE(rig.Start());
    rig.Main->ConfigBtnClick();
    ExpectRound(rig.Config, {"TPSTypeCB", "LambdaSensorCB", "RPMDivCB"});
}

TEST(KeyboardFocus, ConfigurationScreenNewEcuReachesTheFilterButtonAndCounts) {
    cScreenRig rig(57);
    ASSERT_TRUE(rig.Start());
    rig.Main->ConfigBtnClick();
    ExpectRound(rig.Config,
                {"TPSTypeCB", "LambdaSensorCB", "LPGLevTypeCB", "DisableLpgFilterBtn", "CylCountCB", "CoilCountCB"});
    // Space on the focused filter button presses it.
    rig.Sim.ClearLog();
    rig.Config->DisableLpgFilterBtn->setFocus();
    GuiTestKit::Key(rig.Config->DisableLpgFilterBtn, Qt::Key_Space, QStringLiteral(" "));
    EXPECT_TRUE(cScreenRig::WaitUntil([&] {
        const auto w = rig.Writes();
        return std::find(w.begin(), w.end(), std::make_pair(15, 2)) != w.end();
    }));
}

// Every position field in turn, "Valve maximal open" and "Throttle open high
// speed" among them, then the engine speed lists.
TEST(KeyboardFocus, CalibrationScreenVisitsEveryPositionField) {
    cScreenRig rig(57);
    ASSERT_TRUE(rig.Start());
    WorkSettings.TPSType = 1;
    WorkSettings.MaxRPMCode = 9;
    rig.Main->CalibBtnClick();
    ExpectRound(rig.Calib, {"StepPosMinED", "StepPosMaxED", "StepPosH0ED", "StepPosH1ED", "StepPosH2ED", "MinRPMCB",
                            "EmPetrolCB", "MaxRPMCB"});
    rig.Calib->hide();

    // Without a throttle sensor the hidden field and the disabled rows are skipped.
    WorkSettings.TPSType = 0;
    WorkSettings.MaxRPMCode = 0;
    rig.Main->CalibBtnClick();
    ExpectRound(rig.Calib, {"StepPosMinED", "StepPosMaxED", "StepPosH1ED", "StepPosH2ED", "MinRPMCB", "EmPetrolCB"});
}

TEST(KeyboardFocus, VisualisationAndDataTransferScreens) {
    cScreenRig rig(57);
    ASSERT_TRUE(rig.Start());
    rig.Main->VisBtnClick();
    ExpectRound(rig.Vis, {"ConsoleBtn"});
    rig.Vis->hide();
    // The data transfer screen has only buttons with function keys.
    rig.Main->DataExBtnClick();
    ExpectRound(rig.DataEx, {});
}

TEST(KeyboardFocus, OptionsScreenReachesLookupPorts) {
    GuiTestKit::cSilentLine line;
    GuiTestKit::cProgram program;
    program.SetExtraPorts({line.Path()});
    program.WriteIni("COM: " + line.Path() + "\r\nLanguage: en\r\n");
    ASSERT_EQ(program.Start(), cShell::eStart::Ok);
    program.QuietLink();
    OptionsForm->show();
    ExpectRound(OptionsForm, {"ComPortCB", "EnumPortsBtn", "LangCB"});
    // Enter on the focused button runs it: the list is filled again.
    OptionsForm->ComPortCB->clear();
    OptionsForm->EnumPortsBtn->setFocus();
    GuiTestKit::Key(OptionsForm->EnumPortsBtn, Qt::Key_Return, QStringLiteral("\r"));
    EXPECT_GT(OptionsForm->ComPortCB->count(), 0);
    OptionsForm->hide();
    program.Stop();
}

// Each screen comes up with its first control focused and marked, so that
// the arrow keys work at once; the mark follows Tab, and a refill of the
// configuration screen (a new identify) leaves the focus where it was. The
// visualisation and data transfer screens come up with nothing focused.
TEST(KeyboardFocus, EveryScreenShowsWithItsFirstControlFocusedAndMarked) {
    cScreenRig rig(57);
    ASSERT_TRUE(rig.Start());
    struct sCase {
        const char* Name;
        cIOForm* Screen;
        std::function<void()> Open;
        const char* First;
    };
    const sCase cases[] = {
        // Its lists change the ECU under an arrow key: Tab reaches them.
        {"configuration", rig.Config, [&] { rig.Main->ConfigBtnClick(); }, nullptr},
        {"calibration", rig.Calib, [&] { rig.Main->CalibBtnClick(); }, "StepPosMinED"},
        // Its one control sends a command to the engine: Tab reaches it.
        {"visualisation", rig.Vis, [&] { rig.Main->VisBtnClick(); }, nullptr},
        {"data transfer", rig.DataEx, [&] { rig.Main->DataExBtnClick(); }, nullptr},
    };
    for (const sCase& c : cases) {
        SCOPED_TRACE(c.Name);
        // Twice: a screen shown again starts at its first control too.
        for (int round = 0; round < 2; ++round) {
            c.Open();
            c.Screen->activateWindow();
            if (!c.First) {
                cScreenRig::Pump(50);
                EXPECT_EQ(Focused(c.Screen), nullptr);
                EXPECT_EQ(c.Screen->FocusMarkTarget(), nullptr);
            } else {
                EXPECT_TRUE(cScreenRig::WaitUntil([&] { return Name(Focused(c.Screen)) == c.First; }))
                    << Name(Focused(c.Screen)).toStdString();
                EXPECT_EQ(Name(c.Screen->FocusMarkTarget()), c.First);
                // Move on, so that the next showing has to bring it back.
                QCoreApplication::processEvents();  // the showing's own first focus
                GuiTestKit::Key(Focused(c.Screen), Qt::Key_Tab);
                QCoreApplication::processEvents();
                EXPECT_NE(Name(c.Screen->FocusMarkTarget()), c.First);
                EXPECT_EQ(c.Screen->FocusMarkTarget(), Focused(c.Screen));
            }
            c.Screen->hide();
        }
    }

    rig.Main->ConfigBtnClick();
    rig.Config->activateWindow();
    // The screen itself has the keys at first, no list.
    ASSERT_TRUE(cScreenRig::WaitUntil([&] { return QApplication::focusWidget() == rig.Config; }));
    QCoreApplication::processEvents();
    rig.Config->RestoreFocus(rig.Config->LambdaSensorCB);
    rig.Config->FormShow();  // the refill the main menu and a new identify run
    QCoreApplication::processEvents();
    EXPECT_EQ(Name(Focused(rig.Config)), "LambdaSensorCB");
    EXPECT_EQ(Name(rig.Config->FocusMarkTarget()), "LambdaSensorCB");
    // Down works on the focused list at once.
    const int before = rig.Config->LambdaSensorCB->currentIndex();
    GuiTestKit::Key(rig.Config->LambdaSensorCB, Qt::Key_Down);
    EXPECT_EQ(rig.Config->LambdaSensorCB->currentIndex(), before + 1);
    rig.Config->hide();
}
