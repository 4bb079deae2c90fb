// The program's start-up, main menu and shutdown, by the real start-up code.
#include <gtest/gtest.h>

#include <clocale>
#include <csignal>
#include <optional>

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QTimer>

#include "core/Ini.h"
#include "core/Translate.h"

#include "serial/ComPort.h"

#include "link/CommThread.h"
#include "link/Settings.h"

#include "widgets/ShadowButton.h"

#include "screens/Globals.h"
#include "screens/HelpForm.h"
#include "screens/MainForm.h"
#include "screens/OptionsForm.h"
#include "screens/QuestionForm.h"

#include "tools/ecusim/EcuSimulator.h"

#include "tests/core/JpegTestKit.h"

#include "GuiTestKit.h"

using namespace GuiTestKit;

namespace {

QString Progress() { return MainForm->ProgressLL->text(); }

bool ButtonsEnabled() {
    return MainForm->ConfigBtn->isEnabled() && MainForm->CalibBtn->isEnabled() && MainForm->VisBtn->isEnabled();
}
bool ButtonsDisabled() {
    return !MainForm->ConfigBtn->isEnabled() && !MainForm->CalibBtn->isEnabled() && !MainForm->VisBtn->isEnabled();
}

// Keeps LANGUAGE as it was around a test.
struct sLanguageGuard {
    std::string Saved;
    bool Had = false;
    sLanguageGuard() {
        if (const char* v = std::getenv("LANGUAGE")) {
            Had = true;
            Saved = v;
        }
    }
    ~sLanguageGuard() {
        if (Had) ::setenv("LANGUAGE", Saved.c_str(), 1);
        else ::unsetenv("LANGUAGE");
    }
};

TEST(Shell, PanelFollowsTheLinkFromConnectingToTheEcuType) {
    sSimOptions o;
    o.Version = 0x31;
    o.IdVersion = 0x25;
    cEcuSimulator sim(o);
    sim.Start();

    cSpy spy;
    QStringList seen;
    spy.OnEvent = [&](const cSpy&) {
        if (seen.isEmpty() || seen.last() != Progress()) seen << Progress();
    };
    // Declared after what its listeners use: it stops the link first.
    cProgram program;
    program.Extra = {&spy};
    program.SetExtraPorts({sim.DevicePath()});
    program.WriteIni("COM: " + sim.DevicePath() + "\r\nLanguage: en\r\n");
    ASSERT_EQ(program.Start(), cShell::eStart::Ok);

    // Without ENABLED the three ECU buttons wait for the first served request.
    EXPECT_TRUE(ButtonsDisabled());
    EXPECT_EQ(Progress(), "Connecting to ECU");
    EXPECT_FALSE(MainForm->IdentityVisible());
    EXPECT_EQ(OptionsForm->ComPortCB->currentText().toStdString(), sim.DevicePath());

    ASSERT_TRUE(WaitFor([] { return MainForm->IdentityVisible(); }, 20000)) << seen.join(" | ").toStdString();
    EXPECT_EQ(Progress(), "ECU Type:");
    EXPECT_EQ(MainForm->ECUTypeLL->text(), "ZORVA Basic +");
    EXPECT_EQ(MainForm->ECUVersionLL->text(), "2.5/3.1");
    EXPECT_EQ(MainForm->StatusLL->text(), "connected");
    EXPECT_EQ(OptionsForm->StatusLL->text(), "Status: connected");
    ASSERT_TRUE(WaitFor(ButtonsEnabled));

    ASSERT_GE(seen.size(), 3);
    EXPECT_EQ(seen.first(), "Connecting to ECU");  // the connect start leaves it
    EXPECT_TRUE(seen[1].startsWith("Connecting..")) << seen.join(" | ").toStdString();
    EXPECT_TRUE(seen.contains("Loading data: 0%"));
    EXPECT_TRUE(seen.contains("Loading data: 69%")) << seen.join(" | ").toStdString();
    EXPECT_FALSE(seen.contains("Loading data: 100%"));
    EXPECT_EQ(seen.last(), "ECU Type:");

    program.Stop();
    EXPECT_EQ(program.ReadIni(), "COM: " + sim.DevicePath() + "\r\nLanguage: en\r\n");
}

// Keeps the messages locale and the language variables as they were.
struct sLocaleGuard {
    std::string Messages;
    std::vector<std::pair<const char*, std::optional<std::string>>> Vars;
    sLocaleGuard() {
        const char* now = std::setlocale(LC_MESSAGES, nullptr);
        Messages = now ? now : "C";
        for (const char* var : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
            const char* v = std::getenv(var);
            Vars.emplace_back(var, v ? std::optional<std::string>(v) : std::nullopt);
        }
    }
    ~sLocaleGuard() {
        for (const auto& [var, value] : Vars) {
            if (value) ::setenv(var, value->c_str(), 1);
            else ::unsetenv(var);
        }
        std::setlocale(LC_MESSAGES, Messages.c_str());
        Translate::SetLanguage("en");
    }
};

TEST(Shell, FirstRunUsesSystemLanguageEnablesButtonsAndWritesEnabled) {
    sLocaleGuard guard;
    // An installed messages locale: the system's language is then in force.
    std::setlocale(LC_MESSAGES, "C.UTF-8");
    ::setenv("LANGUAGE", "de_DE", 1);
    cSilentLine line;
    cProgram program;
    program.SetExtraPorts({line.Path()});
    cModalAnswer portErrors(
        "InfoForm", [](QWidget* w) { return w->close(); }, true);
    ASSERT_EQ(program.Start(), cShell::eStart::Ok);
    EXPECT_TRUE(ButtonsEnabled());
    EXPECT_TRUE(Ini->Enabled);
    EXPECT_EQ(Ini->Language, "de");
    EXPECT_EQ(OptionsForm->ComPortCB->currentIndex(), 0);
    EXPECT_EQ(OptionsForm->ComPortCB->currentText().toStdString(), cComPort::EnumeratePorts().front());
    program.Stop();
    const std::string ini = program.ReadIni();
    EXPECT_NE(ini.find("\r\nLanguage: de\r\n"), std::string::npos) << ini;
    EXPECT_TRUE(ini.size() >= 7 && ini.compare(ini.size() - 7, 7, "ENABLED") == 0) << ini;
}

// The system asks for German, but its German locale is not installed: the
// messages locale stays C and gettext shows the English texts. The language
// in force is then English for the screens, the options screen and the
// saved file alike.
TEST(Shell, FirstRunWithAnUninstalledSystemLocaleTakesTheLanguageActuallyShown) {
    sLocaleGuard guard;
    for (const char* var : {"LANGUAGE", "LC_ALL", "LC_MESSAGES"}) ::unsetenv(var);
    ::setenv("LANG", "de_DE.UTF-8", 1);
    if (std::setlocale(LC_MESSAGES, "")) GTEST_SKIP() << "de_DE.UTF-8 is installed here";
    std::setlocale(LC_MESSAGES, "C");  // what a start in that locale leaves
    cSilentLine line;
    cProgram program;
    program.SetExtraPorts({line.Path()});
    cModalAnswer portErrors(
        "InfoForm", [](QWidget* w) { return w->close(); }, true);
    ASSERT_EQ(program.Start(), cShell::eStart::Ok);
    ASSERT_EQ(QString::fromUtf8(_("Connecting to ECU")), QStringLiteral("Connecting to ECU"));
    EXPECT_EQ(Ini->Language, "en");
    OptionsForm->show();
    EXPECT_EQ(OptionsForm->LangCB->currentText().toStdString(), Translate::LanguageName("en"));
    OptionsForm->hide();
    program.Stop();
    const std::string ini = program.ReadIni();
    EXPECT_NE(ini.find("\r\nLanguage: en\r\n"), std::string::npos) << ini;
}

TEST(Shell, OneRecognisedLineCountsAsNoFile) {
    cSilentLine line;
    cProgram program;
    program.SetExtraPorts({line.Path()});
    program.WriteIni("COM: " + line.Path() + "\r\n");
    cModalAnswer portErrors(
        "InfoForm", [](QWidget* w) { return w->close(); }, true);
    ASSERT_EQ(program.Start(), cShell::eStart::Ok);
    EXPECT_TRUE(ButtonsEnabled());
    EXPECT_TRUE(Ini->Enabled);
    // The saved port is not looked for: item 0 is selected.
    EXPECT_EQ(OptionsForm->ComPortCB->currentIndex(), 0);
    program.Stop();
    const std::string ini = program.ReadIni();
    EXPECT_EQ(ini.rfind("COM: ", 0), 0u);
    EXPECT_NE(ini.find("\r\nLanguage: "), std::string::npos);
    EXPECT_NE(ini.find("ENABLED"), std::string::npos);
}

TEST(Shell, EnabledLineKeepsTheButtonsEnabledWhileBusy) {
    cSilentLine line;
    cProgram program;
    program.SetExtraPorts({line.Path()});
    program.WriteIni("COM: " + line.Path() + "\r\nLanguage: en\r\nENABLED");
    ASSERT_EQ(program.Start(), cShell::eStart::Ok);
    EXPECT_TRUE(ButtonsEnabled());
    EXPECT_EQ(OptionsForm->ComPortCB->currentText().toStdString(), line.Path());
    // The silent ECU keeps the link connecting: no LinkIdle(false) arrives.
    cSpy spy;
    ASSERT_TRUE(WaitFor([] { return Progress().startsWith("Connecting."); }));
    EXPECT_TRUE(ButtonsEnabled());
    program.Stop();
    const std::string ini = program.ReadIni();
    EXPECT_EQ(ini, "COM: " + line.Path() + "\r\nLanguage: en\r\nENABLED");
}

// A replacement help picture that cannot be shown ends the start-up with a
// message; the settings file is written all the same.
TEST(Shell, BadReplacementPictureShowsAMessageAndShutsDown) {
    auto good = JpegTestKit::Encode(120, 90);
    auto truncated = std::vector<uint8_t>(good.begin(), good.begin() + good.size() / 2);
    auto corrupt = good;
    for (size_t i = corrupt.size() / 2; i < corrupt.size() / 2 + 32; ++i) corrupt[i] = 0xFF;
    auto huge = good;
    JpegTestKit::SetDimensions(huge, 20000, 20000);
    struct sCase {
        const char* Name;
        std::vector<uint8_t> Data;
    };
    for (const sCase& c :
         {sCase{"truncated", truncated}, sCase{"corrupt", corrupt}, sCase{"huge", huge}, sCase{"empty", {}}}) {
        SCOPED_TRACE(c.Name);
        cSilentLine line;
        cProgram program;
        program.SetExtraPorts({line.Path()});
        program.WriteIni("COM: " + line.Path() + "\r\nLanguage: en\r\n");
        ASSERT_TRUE(JpegTestKit::WriteFile((program.Dir / "data" / "schwzvb.jpg").string(), c.Data));
        EXPECT_EQ(program.Start(), cShell::eStart::Failed);
        ASSERT_EQ(program.Errors.size(), 1);
        EXPECT_TRUE(program.Errors[0].contains("schwzvb.jpg")) << program.Errors[0].toStdString();
        program.Stop();
        EXPECT_EQ(program.ReadIni(), "COM: " + line.Path() + "\r\nLanguage: en\r\n");
    }
}

TEST(Shell, GoodReplacementPictureSizesTheHelpPicture) {
    cSilentLine line;
    cProgram program;
    program.SetExtraPorts({line.Path()});
    program.WriteIni("COM: " + line.Path() + "\r\nLanguage: en\r\n");
    ASSERT_TRUE(JpegTestKit::WriteFile((program.Dir / "data" / "schwzvb.jpg").string(), JpegTestKit::Encode(300, 200)));
    ASSERT_EQ(program.Start(), cShell::eStart::Ok);
    EXPECT_TRUE(program.Errors.isEmpty());
    EXPECT_EQ(HelpForm->HelpIM->size(), QSize(300, 200));
}

// Only a file replaces the picture: a folder of that name is ignored.
TEST(Shell, FolderNamedLikeThePictureKeepsTheBuiltInOne) {
    cSilentLine line;
    cProgram program;
    program.SetExtraPorts({line.Path()});
    program.WriteIni("COM: " + line.Path() + "\r\nLanguage: en\r\n");
    std::filesystem::create_directories(program.Dir / "data" / "schwzvb.jpg");
    ASSERT_EQ(program.Start(), cShell::eStart::Ok);
    EXPECT_TRUE(program.Errors.isEmpty());
    EXPECT_TRUE(HelpForm->HasOwnPicture());
}

class MainMenu : public ::testing::Test {
protected:
    void SetUp() override {
        Program.SetExtraPorts({Line.Path()});
        Program.WriteIni("COM: " + Line.Path() + "\r\nLanguage: en\r\n");
        ASSERT_EQ(Program.Start(), cShell::eStart::Ok);
        Program.QuietLink();
        MainForm->show();
        Saved = WorkSettings;
        EcuSettings = WorkSettings;
    }
    void TearDown() override {
        WorkSettings = Saved;
        EcuSettings = Saved;
    }
    cSilentLine Line;
    cProgram Program;
    sSettings Saved;
};

TEST_F(MainMenu, PanelTextsFollowTheNotifications) {
    Program.Deliver(RQ_CONNECT, 1, 9);
    EXPECT_EQ(Progress(), "Connecting..........");
    Program.Deliver(RQ_CONNECT, 1, 0);
    EXPECT_EQ(Progress(), "Connecting.");
    Program.Deliver(RQ_CONNECT, 2, 1);  // other phases leave the text
    EXPECT_EQ(Progress(), "Connecting.");
    // Identify phase 3 without a phase 1 before it: the first half is 0.0.
    Program.Deliver(RQ_IDENTIFY, 3, 0x3C);
    EXPECT_EQ(MainForm->ECUVersionLL->text(), "0.0/3.12");
    Program.Deliver(RQ_IDENTIFY, 1, 0x25);
    EXPECT_EQ(MainForm->ECUVersionLL->text(), "2.5");
    Program.Deliver(RQ_IDENTIFY, 3, 0x31);
    EXPECT_EQ(MainForm->ECUVersionLL->text(), "2.5/3.1");
    EXPECT_FALSE(MainForm->IdentityVisible());
    // Ten parameters: the eighth and tenth steps show 69 % and 89 %.
    Program.Deliver(RQ_READ_SETTINGS, 1, ProgressToValue(7.0f / 10));
    EXPECT_EQ(Progress(), "Loading data: 69%");
    Program.Deliver(RQ_READ_SETTINGS, 1, ProgressToValue(9.0f / 10));
    EXPECT_EQ(Progress(), "Loading data: 89%");
    Program.Deliver(RQ_READ_SETTINGS, 2, 1);
    EXPECT_EQ(Progress(), "ECU Type:");
    EXPECT_TRUE(MainForm->IdentityVisible());
    // The next connect hides the identity labels again, the text stays.
    Program.Deliver(RQ_CONNECT, 0, 0);
    EXPECT_FALSE(MainForm->IdentityVisible());
    EXPECT_EQ(Progress(), "ECU Type:");
    Program.Deliver(RQ_READ_SETTINGS, 2, 1);
    cModalAnswer portError("InfoForm", [](QWidget* w) { return w->close(); });
    Program.DeliverSendError();
    EXPECT_FALSE(MainForm->IdentityVisible());
    EXPECT_EQ(Progress(), "Port error: trying again...");
}

TEST_F(MainMenu, StatusLineShowsTheMarkerAndPortErrorsOnHiddenScreens) {
    QLabel* status = OptionsForm->StatusLL;
    ASSERT_TRUE(status);
    ASSERT_FALSE(OptionsForm->isVisible());
    Program.Deliver(RQ_CONNECT, 1, 6);
    EXPECT_EQ(status->text(), "Status: -(    ~ )-");
    Program.Deliver(RQ_CONNECT, 2, 0);  // stopped: unchanged
    EXPECT_EQ(status->text(), "Status: -(    ~ )-");
    Program.Deliver(RQ_IDENTIFY, 1, 0x25);  // other requests: unchanged
    EXPECT_EQ(status->text(), "Status: -(    ~ )-");
    Program.Deliver(RQ_CONNECT, 0, 0);
    EXPECT_EQ(status->text(), "Status: -(       )-");
    cModalAnswer portError("InfoForm", [](QWidget* w) { return w->close(); });
    Program.DeliverSendError();
    EXPECT_EQ(status->text(), "COM port error!");
    // Every screen with a status line shows it.
    for (cIOForm* f : Program.Shell->Forms()) {
        if (f->StatusLL) {
            EXPECT_EQ(f->StatusLL->text(), "COM port error!") << f->objectName().toStdString();
        }
    }
}

TEST_F(MainMenu, DisabledButtonsIgnoreTheirFunctionKeys) {
    Program.DeliverIdle(false);
    ASSERT_TRUE(ButtonsDisabled());
    for (int key : {Qt::Key_F2, Qt::Key_F3, Qt::Key_F4}) Key(MainForm, key);
    EXPECT_FALSE(ConfigScreen->isVisible());
    EXPECT_FALSE(CalibScreen->isVisible());
    EXPECT_FALSE(VisScreen->isVisible());
    // F5 and F8 still work.
    Key(MainForm, Qt::Key_F5);
    EXPECT_TRUE(DataExScreen->isVisible());
    DataExScreen->hide();
    Key(MainForm, Qt::Key_F8);
    EXPECT_TRUE(OptionsForm->isVisible());
    Key(OptionsForm, Qt::Key_Escape);  // Esc closes a screen
    EXPECT_FALSE(OptionsForm->isVisible());

    Program.DeliverIdle(true);
    ASSERT_TRUE(ButtonsEnabled());
    Key(MainForm, Qt::Key_F3);
    EXPECT_TRUE(CalibScreen->isVisible());
    CalibScreen->hide();
}

TEST_F(MainMenu, ExitQuestionNoLeavesEverythingAsItWas) {
    cModalAnswer no("QuestionForm", [](QWidget* w) { return ClickChild(w, "NoBtn"); });
    MainForm->close();
    ASSERT_EQ(no.Handled, 1);
    EXPECT_EQ(no.Texts[0], "Do you really\nwant to quit program?");
    EXPECT_TRUE(MainForm->isVisible());
    EXPECT_FALSE(MainForm->CloseConfirmed());
    EXPECT_TRUE(CommThread != nullptr);

    // Changed settings: the other question, and the data transfer button
    // drawn thick and yellow.
    WorkSettings.CylCount = uint8_t(EcuSettings.CylCount + 1);
    MainForm->ShowSettingsChanged(SettingsChanged());
    EXPECT_EQ(MainForm->DataExBtn->OutlineWidth(), 6);
    EXPECT_EQ(MainForm->DataExBtn->Outline_Color(), QColor(255, 255, 0));
    cModalAnswer no2("QuestionForm", [](QWidget* w) {
        Key(w, Qt::Key_N, "n");
        return true;
    });
    Key(MainForm, Qt::Key_Escape);
    ASSERT_EQ(no2.Handled, 1);
    EXPECT_EQ(no2.Texts[0], "Do you want to\nquit program without\nsaving settings to ECU?");
    EXPECT_TRUE(MainForm->isVisible());

    // Alt+F4 asks; F4 opens the visualisation screen.
    Program.DeliverIdle(true);
    cModalAnswer yes("QuestionForm", [](QWidget* w) { return ClickChild(w, "YesBtn"); });
    bool closed = false;
    QObject::connect(MainForm, &TMainForm::Closed, [&] { closed = true; });
    Key(MainForm, Qt::Key_F4);
    EXPECT_TRUE(VisScreen->isVisible());
    EXPECT_EQ(yes.Handled, 0);
    VisScreen->hide();
    Key(MainForm, Qt::Key_F4, QString(), Qt::AltModifier);
    EXPECT_EQ(yes.Handled, 1);
    EXPECT_TRUE(closed);
    EXPECT_TRUE(MainForm->CloseConfirmed());
    EXPECT_FALSE(MainForm->isVisible());
    MainForm->ShowSettingsChanged(false);
    EXPECT_EQ(MainForm->DataExBtn->OutlineWidth(), 2);
}

TEST_F(MainMenu, HoverPaintsOneButtonDarkRedAndTheRestBlack) {
    MainForm->resize(1024, 768);
    auto move = [](QWidget* w, QPoint at) {
        QMouseEvent e(QEvent::MouseMove, QPointF(at), w->mapToGlobal(QPointF(at)), Qt::NoButton, Qt::NoButton,
                      Qt::NoModifier);
        QCoreApplication::sendEvent(w, &e);
    };
    move(MainForm->OptionsBtn, QPoint(10, 10));
    EXPECT_EQ(MainForm->OptionsBtn->Fill(), cShadowButton::HoverFill());
    EXPECT_EQ(MainForm->DataExBtn->Fill(), cShadowButton::NormalFill());
    move(MainForm->DataExBtn, QPoint(10, 10));
    EXPECT_EQ(MainForm->OptionsBtn->Fill(), cShadowButton::NormalFill());
    EXPECT_EQ(MainForm->DataExBtn->Fill(), cShadowButton::HoverFill());
    // Over the background every button goes black.
    move(MainForm, QPoint(700, 600));
    EXPECT_EQ(MainForm->DataExBtn->Fill(), cShadowButton::NormalFill());
    // A disabled button keeps its fill and changes nothing.
    Program.DeliverIdle(false);
    move(MainForm->ExitBtn, QPoint(10, 10));
    QPoint onConfig = MainForm->ConfigBtn->geometry().center();
    move(MainForm, onConfig);
    EXPECT_EQ(MainForm->ExitBtn->Fill(), cShadowButton::HoverFill());
    EXPECT_EQ(MainForm->ConfigBtn->Fill(), cShadowButton::NormalFill());
}

TEST_F(MainMenu, ScreensScaleWithTheScreenWidth) {
    EXPECT_DOUBLE_EQ(cIOForm::ScaleRatio(), 1.0);
    cIOForm::SetScreenOverride(QSize(800, 600), 96);
    EXPECT_DOUBLE_EQ(cIOForm::ScaleRatio(), 800.0 / 1024);
    cIOForm::SetScreenOverride(QSize(1024, 768), 120);
    EXPECT_DOUBLE_EQ(cIOForm::ScaleRatio(), 96.0 / 120);
    cIOForm::SetScreenOverride(QSize(1024, 768), 96);
    EXPECT_EQ(MainForm->geometry(), QRect(0, 0, 1024, 768));
    EXPECT_EQ(MainForm->ExitBtn->geometry(), QRect(770, 680, 230, 62));
}

}  // namespace

namespace {
// The session ending (SIGTERM) closes the program the orderly way: no exit
// question, the link stopped, zvbasic.ini written.
TEST(Shell, TerminationSignalEndsTheProgramAndWritesTheSettings) {
    cSilentLine line;
    cProgram program;
    program.SetExtraPorts({line.Path()});
    program.WriteIni("COM: " + line.Path() + "\r\nLanguage: en\r\n");
    ASSERT_EQ(program.Start(), cShell::eStart::Ok);
    QTimer::singleShot(200, [] { ::raise(SIGTERM); });
    program.Shell->Run();  // returns once the signal has ended the event loop
    EXPECT_FALSE(QuestionForm->isVisible());
    program.Stop();
    const std::string ini = program.ReadIni();
    EXPECT_EQ(ini, "COM: " + line.Path() + "\r\nLanguage: en\r\n");
}

// The session ending while a start-up error box is up: the program's own
// handling is in place by then, the box closes, and zvbasic.ini is written.
TEST(Shell, TerminationSignalDuringAStartUpErrorBoxStillWritesTheSettings) {
    cSilentLine line;
    cProgram program;
    program.SetExtraPorts({line.Path()});
    program.WriteIni("COM: " + line.Path() + "\r\n");  // one line: rewritten whole at the end
    ASSERT_TRUE(JpegTestKit::WriteFile((program.Dir / "data" / "schwzvb.jpg").string(), {0xFF, 0xD8, 0x00}));
    bool handled = false;
    bool boxClosed = false;
    sShellOptions options;
    options.ExeDir = QString::fromStdString(program.Dir.string());
    options.IniPath = QString::fromStdString(program.IniPath());
    options.ShowError = [&](const QString&) {
        // The box of the program: a modal loop of its own.
        struct sigaction now {};
        ::sigaction(SIGTERM, nullptr, &now);
        handled = now.sa_handler != SIG_DFL && now.sa_handler != SIG_IGN;
        if (!handled) return;  // the signal would end the test program
        QMessageBox box(QMessageBox::Critical, QStringLiteral("ZVBasic"), QStringLiteral("failure"));
        QTimer::singleShot(100, [] { ::raise(SIGTERM); });
        bool byNet = false;
        QTimer::singleShot(5000, &box, [&box, &byNet] {  // safety net: the test fails instead of hanging
            byNet = true;
            box.done(0);
        });
        box.exec();
        boxClosed = !byNet;
    };
    program.Shell = std::make_unique<cShell>(options);
    EXPECT_EQ(program.Shell->Start(), cShell::eStart::Failed);
    EXPECT_TRUE(handled);
    EXPECT_TRUE(boxClosed);
    // The signal asked every loop of the application to end, which sticks
    // until an application event loop has run: run one, for the tests after.
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QApplication::exec();
    program.Stop();
    const std::string ini = program.ReadIni();
    EXPECT_NE(ini.find("\r\nLanguage: "), std::string::npos) << ini;
    EXPECT_NE(ini.find("ENABLED"), std::string::npos) << ini;
    // Once ended, the program no longer handles the signals.
    struct sigaction after {};
    ::sigaction(SIGTERM, nullptr, &after);
    EXPECT_EQ(after.sa_handler, SIG_DFL);
}
}  // namespace
