// The question, information and progress dialogs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include <QCoreApplication>
#include <QFileDialog>
#include <QLabel>
#include <QMouseEvent>
#include <QWindow>

#include "core/Translate.h"

#include "link/CommThread.h"
#include "link/Settings.h"

#include "widgets/ProgressGauge.h"
#include "widgets/ShadowButton.h"

#include "kit/IOForm.h"
#include "kit/QtText.h"

#include "screens/FileDialog.h"
#include "screens/Globals.h"
#include "screens/InfoForm.h"
#include "screens/LoadForm.h"
#include "screens/MainForm.h"
#include "screens/QuestionForm.h"
#include "screens/Questions.h"
#include "screens/SaveForm.h"

#include "tools/ecusim/EcuSimulator.h"

#include "GuiTestKit.h"

using namespace GuiTestKit;

namespace {

// Moves the mouse (no button held) to a point of a shown top-level window, the
// way the window system reports it: to the window, which passes it on to the
// control under the point.
void MoveMouse(QWidget* window, QPoint at) {
    QWindow* handle = window->windowHandle();
    ASSERT_NE(handle, nullptr);
    const QPointF global = window->mapToGlobal(QPointF(at));
    QMouseEvent move(QEvent::MouseMove, QPointF(at), QPointF(at), global, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(handle, &move);
    QCoreApplication::processEvents();
}

QPoint Centre(QWidget* child) { return child->geometry().center(); }

class Dialogs : public ::testing::Test {
protected:
    void SetUp() override {
        Program.SetExtraPorts({Line.Path()});
        Program.WriteIni("COM: " + Line.Path() + "\r\nLanguage: en\r\n");
        ASSERT_EQ(Program.Start(), cShell::eStart::Ok);
        Program.QuietLink();
        SavedWork = WorkSettings;
        SavedEcu = EcuSettings;
        // Nothing unsaved to begin with, whatever ran before in this process.
        WorkSettings = EcuSettings;
    }
    void TearDown() override {
        WorkSettings = SavedWork;
        EcuSettings = SavedEcu;
    }
    cSilentLine Line;
    cProgram Program;
    sSettings SavedWork, SavedEcu;
};

TEST_F(Dialogs, QuestionAnswersByKeysAndButtons) {
    struct sCase {
        const char* Name;
        int Key;
        const char* Text;
        bool Yes;
    };
    const sCase cases[] = {
        {"T", Qt::Key_T, "T", true},           {"t", Qt::Key_T, "t", true},
        {"Enter", Qt::Key_Return, "\r", true}, {"keypad Enter", Qt::Key_Enter, "\r", true},
        {"N", Qt::Key_N, "N", false},          {"n", Qt::Key_N, "n", false},
        {"Esc", Qt::Key_Escape, "", false},    {"y", Qt::Key_Y, "y", true},
        {"Space", Qt::Key_Space, " ", true},
    };
    for (const sCase& c : cases) {
        SCOPED_TRACE(c.Name);
        bool stillUpAfterY = false;
        cModalAnswer answer("QuestionForm", [&](QWidget* w) {
            // Other letters are no answer; nor is F10, which closes screens,
            // not dialogs (a repeating F10 from the main menu must not answer No).
            Key(w, Qt::Key_A, "a");
            Key(w, Qt::Key_F10);
            stillUpAfterY = w->isVisible();
            Key(w, c.Key, QString::fromLatin1(c.Text));
            return true;
        });
        EXPECT_EQ(Ask(QStringLiteral("Question?")), c.Yes);
        EXPECT_TRUE(stillUpAfterY);
        EXPECT_FALSE(QuestionForm->isVisible());
    }
    cModalAnswer yes("QuestionForm", [](QWidget* w) { return ClickChild(w, "YesBtn"); });
    EXPECT_TRUE(Ask(QStringLiteral("?")));
    cModalAnswer no("QuestionForm", [](QWidget* w) { return ClickChild(w, "NoBtn"); });
    EXPECT_FALSE(Ask(QStringLiteral("?")));
    // Closed any other way: No.
    cModalAnswer closed("QuestionForm", [](QWidget* w) { return w->close(); });
    EXPECT_FALSE(Ask(QStringLiteral("?")));
    // Yes looks selected when the question comes up.
    cModalAnswer look("QuestionForm", [](QWidget* w) {
        EXPECT_EQ(QuestionForm->YesBtn->Fill(), cShadowButton::HoverFill());
        return w->close();
    });
    Ask(QStringLiteral("?"));
}

// A fitter who does not know the letter for Yes moves to it: the arrows and
// Tab move the selection (filled and outlined), Enter and Space take it; Esc
// gives the answer that changes nothing, which some questions make Yes.
TEST_F(Dialogs, QuestionSelectionMovesWithArrowsAndTabAndEscGivesTheHarmlessAnswer) {
    struct sCase {
        const char* Name;
        bool DefaultYes;
        bool EscapeYes;
        std::vector<int> Keys;
        bool Yes;
    };
    const sCase cases[] = {
        {"default No, Right, Enter", false, false, {Qt::Key_Right, Qt::Key_Return}, true},
        {"default No, Left, Space", false, false, {Qt::Key_Left, Qt::Key_Space}, true},
        {"default No, Tab twice, Enter", false, false, {Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Return}, false},
        {"default Yes, Down, Enter", true, false, {Qt::Key_Down, Qt::Key_Return}, false},
        {"default Yes, Backtab, Up, Enter", true, false, {Qt::Key_Backtab, Qt::Key_Up, Qt::Key_Return}, true},
        {"Esc answers No", true, false, {Qt::Key_Escape}, false},
        {"Esc answers the harmless Yes", false, true, {Qt::Key_Escape}, true},
        {"N is No even where Esc is Yes", true, true, {Qt::Key_N}, false},
        {"moved to No, Enter, where Esc is Yes", true, true, {Qt::Key_Right, Qt::Key_Return}, false},
    };
    for (const sCase& c : cases) {
        SCOPED_TRACE(c.Name);
        cModalAnswer answer("QuestionForm", [&](QWidget* w) {
            for (int key : c.Keys) {
                const QString text = key == Qt::Key_Return  ? QStringLiteral("\r")
                                     : key == Qt::Key_Space ? QStringLiteral(" ")
                                     : key == Qt::Key_N     ? QStringLiteral("n")
                                                            : QString();
                Key(w, key, text);
                if (w->isVisible()) {
                    const bool yes = QuestionForm->YesSelected();
                    // The selection shows on the button Enter takes, whatever the mouse does.
                    EXPECT_EQ((yes ? QuestionForm->YesBtn : QuestionForm->NoBtn)->Fill(), cShadowButton::HoverFill());
                }
            }
            return true;
        });
        EXPECT_EQ(Ask(QStringLiteral("Question?"), c.DefaultYes, c.EscapeYes), c.Yes);
        EXPECT_FALSE(QuestionForm->isVisible());
    }
    // A window closed any other way answers as Esc does.
    cModalAnswer closed("QuestionForm", [](QWidget* w) { return w->close(); });
    EXPECT_TRUE(Ask(QStringLiteral("?"), false, true));
}

// In every language the first letters of the two captions answer, beside
// the keys that answer in all of them.
TEST_F(Dialogs, QuestionKeysFollowTheTranslatedCaptions) {
    struct sCase {
        const char* Language;
        const char* Yes;
        const char* No;
        const char* Neither;
    };
    const sCase cases[] = {
        {"en", "yY", "nN", "jдн"},
        {"de", "jJ", "nN", "yдн"},
        {"pl", "tT", "nN", "yjд"},
        {"ru", "дД", "нН", "yjx"},
    };
    const std::string saved = Translate::CurrentLanguage();
    for (const sCase& c : cases) {
        SCOPED_TRACE(c.Language);
        Translate::SetLanguage(c.Language);
        const QString yes = Tr("YES"), no = Tr("NO");
        if (c.Language != std::string("en")) {
            ASSERT_NE(yes, QStringLiteral("YES")) << "catalogue not built";
        }
        auto answer = [&](const QString& typed) {
            return TQuestionForm::AnswerForKey(Qt::Key_unknown, typed, yes, no);
        };
        for (QChar ch : QString::fromUtf8(c.Yes)) EXPECT_EQ(answer(ch), cIOForm::ResultOK) << int(ch.unicode());
        for (QChar ch : QString::fromUtf8(c.No)) EXPECT_EQ(answer(ch), cIOForm::ResultCancel) << int(ch.unicode());
        for (QChar ch : QString::fromUtf8(c.Neither)) EXPECT_EQ(answer(ch), cIOForm::ResultNone) << int(ch.unicode());
        // The keys of every language.
        EXPECT_EQ(answer(QStringLiteral("t")), cIOForm::ResultOK);
        EXPECT_EQ(answer(QStringLiteral("N")), cIOForm::ResultCancel);
        EXPECT_EQ(TQuestionForm::AnswerForKey(Qt::Key_Space, QStringLiteral(" "), yes, no), cIOForm::ResultOK);
        EXPECT_EQ(TQuestionForm::AnswerForKey(Qt::Key_Return, QStringLiteral("\r"), yes, no), cIOForm::ResultOK);
        EXPECT_EQ(TQuestionForm::AnswerForKey(Qt::Key_Escape, QString(), yes, no), cIOForm::ResultCancel);
        EXPECT_EQ(TQuestionForm::AnswerForKey(Qt::Key_F10, QString(), yes, no), cIOForm::ResultNone);
        EXPECT_EQ(answer(QStringLiteral("1")), cIOForm::ResultNone);
    }
    Translate::SetLanguage(saved);
}

TEST_F(Dialogs, InformationClosesOnItsKeysAndButton) {
    for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape, Qt::Key_Space, Qt::Key_F10}) {
        SCOPED_TRACE(key);
        bool up = false;
        cModalAnswer answer("InfoForm", [&](QWidget* w) {
            Key(w, Qt::Key_A, "a");  // any other key: still up
            up = w->isVisible();
            Key(w, key, key == Qt::Key_Space ? " " : "");
            return true;
        });
        ShowInfo(QStringLiteral("Incorrect settings!"));
        EXPECT_EQ(answer.Handled, 1);
        EXPECT_EQ(answer.Texts.value(0), "Incorrect settings!");
        EXPECT_TRUE(up);
        EXPECT_FALSE(InfoForm->isVisible());
    }
    cModalAnswer ok("InfoForm", [](QWidget* w) { return ClickChild(w, "OKBtn"); });
    ShowInfo(QStringLiteral("x"));
    EXPECT_EQ(ok.Handled, 1);
}

// After hovering a button, a move over the text, the picture place, the frame
// or the bare background paints every button black again.
TEST_F(Dialogs, ButtonHighlightClearsOverTextPictureFrameAndBackground) {
    const auto background = [](QWidget* dialog) {
        return std::vector<std::pair<const char*, QPoint>>{
            {"text", Centre(dialog->findChild<QLabel*>(QStringLiteral("TextLL")))},
            {"picture place", Centre(dialog->findChild<QLabel*>(QStringLiteral("Image1")))},
            {"frame", QPoint(1, dialog->height() / 2)},
            {"background", QPoint(dialog->width() / 2, dialog->height() - 8)},
        };
    };
    int checked = 0;
    cModalAnswer question("QuestionForm", [&](QWidget* w) {
        for (const auto& [what, point] : background(w)) {
            SCOPED_TRACE(what);
            for (cShadowButton* b : {QuestionForm->NoBtn, QuestionForm->YesBtn}) {
                MoveMouse(w, Centre(b));
                EXPECT_EQ(b->Fill(), cShadowButton::HoverFill());
                MoveMouse(w, point);
                EXPECT_EQ(QuestionForm->NoBtn->Fill(), cShadowButton::NormalFill());
                EXPECT_EQ(QuestionForm->YesBtn->Fill(), cShadowButton::NormalFill());
                ++checked;
            }
        }
        return w->close();
    });
    Ask(QStringLiteral("Do you really\nwant to quit program?"));
    cModalAnswer info("InfoForm", [&](QWidget* w) {
        for (const auto& [what, point] : background(w)) {
            SCOPED_TRACE(what);
            MoveMouse(w, Centre(InfoForm->OKBtn));
            EXPECT_EQ(InfoForm->OKBtn->Fill(), cShadowButton::HoverFill());
            MoveMouse(w, point);
            EXPECT_EQ(InfoForm->OKBtn->Fill(), cShadowButton::NormalFill());
            ++checked;
        }
        return w->close();
    });
    ShowInfo(QStringLiteral("Incorrect settings!"));
    EXPECT_EQ(checked, 12);
}

TEST_F(Dialogs, InformationGrowsForALongTextAndShrinksBack) {
    struct sLook {
        QSize Size;
        QRect Text, Ok;
        int TextHeight = 0;
    };
    auto look = [](const QString& text) {
        sLook seen;
        cModalAnswer answer("InfoForm", [&](QWidget* w) {
            seen.Size = w->size();
            auto* label = w->findChild<QLabel*>(QStringLiteral("TextLL"));
            seen.Text = label->geometry();
            seen.TextHeight = label->heightForWidth(label->width());
            seen.Ok = w->findChild<QWidget*>(QStringLiteral("OKBtn"))->geometry();
            return w->close();
        });
        ShowInfo(text);
        return seen;
    };
    const sLook shortText = look(QStringLiteral("COM3: port error!\nSelect other COM port!"));
    EXPECT_EQ(shortText.Size, QSize(440, 230));
    // The port error with the group advice: five lines, some wrapped.
    const sLook longText = look(QStringLiteral(
        "/dev/ttyUSB0: port error!\nSelect other COM port!\nAccess denied: the user must be a member of the group "
        "dialout.\nRun: sudo adduser $USER dialout\nthen log out and log in again."));
    EXPECT_GT(longText.Size.height(), 230);
    EXPECT_GT(longText.Size.width(), 440);
    EXPECT_LE(longText.Size.width(), 1024);
    EXPECT_GE(longText.Text.height(), longText.TextHeight) << "the text does not fit";
    EXPECT_GE(longText.Ok.top(), longText.Text.bottom()) << "the OK button covers the text";
    EXPECT_LE(longText.Ok.bottom(), longText.Size.height());
    // A short text afterwards gets the usual dialog again.
    EXPECT_EQ(look(QStringLiteral("x")).Size, QSize(440, 230));
}

TEST_F(Dialogs, LoadDialogFollowsTheReadAndCopiesTheSettings) {
    IncomingSettings = WorkSettings;
    IncomingSettings.CylCount = uint8_t(WorkSettings.CylCount + 2);
    MainForm->ShowSettingsChanged(true);
    QList<int> gauge;
    QString status;
    bool upAfterKeys = false;
    cModalAnswer run("LoadForm", [&](QWidget* w) {
        // It follows the link alone: Esc and F10 do not close it.
        Key(w, Qt::Key_Escape);
        Key(w, Qt::Key_F10);
        upAfterKeys = w->isVisible();
        EXPECT_TRUE(LoadForm->ScreenActive);
        EXPECT_EQ(LoadForm->TransferStatusLL->text(), "Transferring data...");
        Program.Deliver(RQ_READ_SETTINGS, 0, 0);
        gauge << LoadForm->ProgressCG->Value();
        Program.Deliver(RQ_READ_SETTINGS, 1, ProgressToValue(0.5f));
        gauge << LoadForm->ProgressCG->Value();
        Program.Deliver(RQ_VIS_POLL, 1, 77);  // other requests are ignored
        gauge << LoadForm->ProgressCG->Value();
        Program.Deliver(RQ_READ_SETTINGS, 1, ProgressToValue(12.0f / 13));
        gauge << LoadForm->ProgressCG->Value();
        Program.Deliver(RQ_READ_SETTINGS, 2, 1);
        status = LoadForm->TransferStatusLL->text();
        // A failure after the completed read changes nothing.
        Program.DeliverRequestFailed();
        return true;
    });
    // The message from outside that asks for the dialog.
    QCoreApplication::postEvent(MainForm, new QEvent(LoadDialogEvent));
    ASSERT_TRUE(WaitFor([&] { return run.Handled == 1 && !LoadForm->isVisible(); }));
    EXPECT_TRUE(upAfterKeys);
    EXPECT_EQ(gauge, (QList<int>{0, 50, 50, 92}));
    EXPECT_EQ(status, "Settings has been loaded.");
    EXPECT_EQ(LoadForm->TransferStatusLL->text(), "Settings has been loaded.");
    EXPECT_FALSE(LoadForm->isVisible());
    EXPECT_FALSE(LoadForm->ScreenActive);
    EXPECT_TRUE(TLoadForm::ReadDone);
    EXPECT_EQ(WorkSettings, IncomingSettings);
    EXPECT_EQ(EcuSettings, IncomingSettings);
    EXPECT_EQ(MainForm->DataExBtn->OutlineWidth(), 2);  // ShowSettingsChanged(false)
}

TEST_F(Dialogs, FailedReadShowsTransmissionErrorAndKeepsTheSettings) {
    IncomingSettings = WorkSettings;
    IncomingSettings.CylCount = uint8_t(WorkSettings.CylCount + 2);
    const sSettings before = WorkSettings;
    cModalAnswer run("LoadForm", [&](QWidget*) {
        Program.Deliver(RQ_READ_SETTINGS, 1, ProgressToValue(0.3f));
        Program.DeliverRequestFailed();
        return true;
    });
    QEvent message(LoadDialogEvent);
    QCoreApplication::sendEvent(MainForm, &message);
    ASSERT_EQ(run.Handled, 1);
    EXPECT_EQ(LoadForm->TransferStatusLL->text(), "Transmission error!");
    EXPECT_EQ(LoadForm->ProgressCG->Value(), 0);
    EXPECT_FALSE(LoadForm->isVisible());
    EXPECT_EQ(WorkSettings, before);
}

TEST_F(Dialogs, SaveDialogGaugeStepsAndClosing) {
    MainForm->ShowSettingsChanged(true);
    QList<int> gauge;
    bool upAfterPhase2Value0 = false, upAfterEsc = false;
    cModalAnswer run("SaveForm", [&](QWidget* w) {
        Program.Deliver(RQ_WRITE_SETTINGS, 0, 0);
        for (int step = 0; step <= 10; ++step) {
            Program.Deliver(RQ_WRITE_SETTINGS, 1, step);
            gauge << SaveForm->ProgressCG->Value();
        }
        Key(w, Qt::Key_Escape);  // no key closes it
        upAfterEsc = w->isVisible();
        Program.Deliver(RQ_WRITE_SETTINGS, 2, 0);  // values sent, store pending
        upAfterPhase2Value0 = w->isVisible() && SaveForm->TransferStatusLL->text() == "Transferring data...";
        Program.Deliver(RQ_WRITE_SETTINGS, 2, 1);
        return true;
    });
    EXPECT_EQ(SaveForm->ShowModal(), cIOForm::ResultOK);
    EXPECT_EQ(gauge, (QList<int>{9, 18, 27, 36, 45, 54, 63, 72, 81, 90, 100}));
    EXPECT_TRUE(upAfterEsc);
    EXPECT_TRUE(upAfterPhase2Value0);
    EXPECT_EQ(SaveForm->TransferStatusLL->text(), "Settings has been saved in ECU");
    EXPECT_EQ(SaveForm->ProgressCG->Value(), 100);
    EXPECT_EQ(MainForm->DataExBtn->OutlineWidth(), 2);

    // A failed write closes it without a text of its own.
    cModalAnswer fail("SaveForm", [&](QWidget*) {
        Program.Deliver(RQ_WRITE_SETTINGS, 1, 3);
        Program.DeliverRequestFailed();
        return true;
    });
    EXPECT_EQ(SaveForm->ShowModal(), cIOForm::ResultCancel);
    EXPECT_EQ(SaveForm->TransferStatusLL->text(), "Transferring data...");
    EXPECT_TRUE(TSaveForm::WriteFailed);
}

// A port that fails during the write ends the link's cycle without a
// RequestFailed; the dialog closes on the port error instead of waiting for
// ever.
TEST_F(Dialogs, SaveDialogClosesOnAPortError) {
    cModalAnswer portError("InfoForm", [](QWidget* w) { return w->close(); });
    cModalAnswer run("SaveForm", [&](QWidget*) {
        Program.Deliver(RQ_WRITE_SETTINGS, 1, 2);
        Program.DeliverSendError();
        return true;
    });
    EXPECT_EQ(SaveForm->ShowModal(), cIOForm::ResultCancel);
    // The port error box comes after the notification has returned.
    EXPECT_TRUE(WaitFor([&] { return portError.Handled == 1; }));
    EXPECT_TRUE(TSaveForm::WriteFailed);
    // A port error while the dialog is not up changes nothing there.
    TSaveForm::WriteFailed = false;
    cModalAnswer portError2("InfoForm", [](QWidget* w) { return w->close(); });
    Program.DeliverSendError();
    EXPECT_FALSE(TSaveForm::WriteFailed);
    EXPECT_TRUE(WaitFor([&] { return portError2.Handled == 1; }));
}

// With the real link: the dialog refuses to close while the write runs, and
// closes itself when the ECU has stored the settings.
TEST(SaveDialog, RefusesToCloseWhileTheLinkWrites) {
    sSimOptions o;
    o.Version = 0x2F;  // old protocol: one frame per parameter
    cEcuSimulator sim(o);
    sim.Start();
    cProgram program;
    program.SetExtraPorts({sim.DevicePath()});
    program.WriteIni("COM: " + sim.DevicePath() + "\r\nLanguage: en\r\n");
    ASSERT_EQ(program.Start(), cShell::eStart::Ok);
    ASSERT_TRUE(WaitFor([] { return MainForm->IdentityVisible() && !CommThread->IsBusy(); }, 20000));
    ASSERT_TRUE(CommThread->PostRequest(RQ_WRITE_SETTINGS));
    bool refused = false;
    cModalAnswer tryClose("SaveForm", [&](QWidget* w) {
        if (!CommThread->IsBusy() || CommThread->GetCurrentRequest() != RQ_WRITE_SETTINGS) return false;
        w->close();
        refused = w->isVisible();
        return true;
    });
    EXPECT_EQ(SaveForm->ShowModal(), cIOForm::ResultOK);
    EXPECT_TRUE(refused);
    EXPECT_EQ(SaveForm->TransferStatusLL->text(), "Settings has been saved in ECU");
    EXPECT_EQ(SaveForm->ProgressCG->Value(), 100);
}

}  // namespace

// Questions, information and file dialogs are scaled like the screens, by
// the ratio of the program's window, and open centred on that window
// whatever its size and place (a window made small and moved aside).
TEST_F(Dialogs, DialogsAreScaledAndCentredOnTheProgramsWindow) {
    MainForm->show();
    const QRect windows[] = {QRect(0, 0, 1920, 1080), QRect(0, 0, 800, 600), QRect(300, 200, 600, 400),
                             QRect(0, 0, 1024, 768)};
    struct sSeen {
        QRect Geometry;
        int FontPx = 0;
    };
    // Within a few pixels: a window frame, where there is one, is centred.
    const auto near = [](const QPoint& a, const QPoint& b) { return (a - b).manhattanLength() <= 8; };
    for (const QRect& window : windows) {
        SCOPED_TRACE(QStringLiteral("%1x%2+%3+%4")
                         .arg(window.width())
                         .arg(window.height())
                         .arg(window.x())
                         .arg(window.y())
                         .toStdString());
        MainForm->setGeometry(window);
        QCoreApplication::processEvents();
        const double r = cIOForm::FitRatio(window.size(), 96);
        const auto px = [r](double design) { return int(std::lround(design * r)); };

        sSeen question;
        cModalAnswer answerQuestion("QuestionForm", [&](QWidget* w) {
            question = {w->geometry(), w->findChild<QWidget*>(QStringLiteral("NoBtn"))->font().pixelSize()};
            return ClickChild(w, "NoBtn");
        });
        EXPECT_FALSE(Ask(QStringLiteral("Quit?")));
        EXPECT_EQ(question.Geometry.size(), QSize(px(440), px(250)));
        EXPECT_TRUE(near(question.Geometry.center(), window.center()));
        EXPECT_EQ(question.FontPx, px(18 * 96.0 / 72.0));

        sSeen info;
        cModalAnswer answerInfo("InfoForm", [&](QWidget* w) {
            info = {w->geometry(), w->findChild<QWidget*>(QStringLiteral("OKBtn"))->font().pixelSize()};
            return w->close();
        });
        ShowInfo(QStringLiteral("Done."));
        EXPECT_EQ(info.Geometry.size(), QSize(px(440), px(230)));
        EXPECT_TRUE(near(info.Geometry.center(), window.center()));
        EXPECT_EQ(info.FontPx, px(24));

        sSeen files;
        cModalAnswer answerFiles(nullptr, [&](QWidget* w) {
            auto* d = qobject_cast<QFileDialog*>(w);
            if (!d) return false;
            files = {d->geometry(), d->font().pixelSize()};
            d->reject();
            return true;
        });
        EXPECT_TRUE(FileDialog::Run(MainForm, sFileDialogRequest{}).isEmpty());
        EXPECT_TRUE(near(files.Geometry.center(), window.center()))
            << files.Geometry.x() << "," << files.Geometry.y() << " " << files.Geometry.width() << "x"
            << files.Geometry.height();
        EXPECT_TRUE(window.contains(files.Geometry));
        EXPECT_EQ(files.FontPx, std::max(11, px(16)));
    }
}
