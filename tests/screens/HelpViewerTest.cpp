// The help viewer: keys, dragging and double click.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include <QCoreApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollArea>

#include "core/Translate.h"

#include "screens/Globals.h"
#include "screens/HelpForm.h"
#include "screens/MainForm.h"

#include "GuiTestKit.h"

using namespace GuiTestKit;

namespace {

void Mouse(QWidget* w, QEvent::Type type, QPoint global, Qt::MouseButton button = Qt::LeftButton) {
    const QPointF local = w->mapFromGlobal(QPointF(global));
    Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    if (type == QEvent::MouseMove) buttons = Qt::LeftButton;
    QMouseEvent e(type, local, QPointF(global), type == QEvent::MouseMove ? Qt::NoButton : button, buttons,
                  Qt::NoModifier);
    QCoreApplication::sendEvent(w, &e);
}

class HelpViewer : public ::testing::Test {
protected:
    void SetUp() override {
        Program.SetExtraPorts({Line.Path()});
        Program.WriteIni("COM: " + Line.Path() + "\r\nLanguage: en\r\n");
        ASSERT_EQ(Program.Start(), cShell::eStart::Ok);
        Program.QuietLink();
    }
    cSilentLine Line;
    cProgram Program;
};

TEST_F(HelpViewer, KeysStepByAFiftiethOfThePicture) {
    struct sStep {
        int Key;
        int Horz;
        int Vert;
    };
    std::vector<sStep> seen;
    cModalAnswer run("HelpForm", [&](QWidget* w) {
        // The built-in picture, 1563 x 2048, on a 1024 x 768 screen.
        EXPECT_EQ(HelpForm->HelpIM->size(), QSize(1563, 2048));
        EXPECT_TRUE(HelpForm->HorzDragAllowed());
        EXPECT_TRUE(HelpForm->VertDragAllowed());
        for (int key : {Qt::Key_Down, Qt::Key_PageDown, Qt::Key_Up, Qt::Key_Right, Qt::Key_Right, Qt::Key_Left,
                        Qt::Key_PageUp, Qt::Key_PageUp}) {
            Key(w, key);
            seen.push_back({key, HelpForm->HorzPosition(), HelpForm->VertPosition()});
        }
        Key(w, Qt::Key_Return);
        return true;
    });
    Key(MainForm, Qt::Key_F1);  // the main menu opens it modally
    ASSERT_EQ(run.Handled, 1);
    const int v = 2048 / 50, h = 1563 / 50;
    ASSERT_EQ(seen.size(), 8u);
    EXPECT_EQ(v, 40);
    EXPECT_EQ(seen[0].Vert, v);
    EXPECT_EQ(seen[1].Vert, 2 * v);
    EXPECT_EQ(seen[2].Vert, v);
    EXPECT_EQ(seen[3].Horz, h);
    EXPECT_EQ(seen[4].Horz, 2 * h);
    EXPECT_EQ(seen[5].Horz, h);
    EXPECT_EQ(seen[7].Vert, 0);  // held at the top
    EXPECT_FALSE(HelpForm->isVisible());
}

TEST_F(HelpViewer, DraggingMovesTheViewAgainstThePointer) {
    cModalAnswer run("HelpForm", [&](QWidget*) {
        QWidget* im = HelpForm->HelpIM;
        const int h0 = HelpForm->HorzPosition(), v0 = HelpForm->VertPosition();
        Mouse(im, QEvent::MouseButtonPress, QPoint(500, 400));
        Mouse(im, QEvent::MouseMove, QPoint(400, 350));
        EXPECT_EQ(HelpForm->HorzPosition(), h0 + 100);
        EXPECT_EQ(HelpForm->VertPosition(), v0 + 50);
        Mouse(im, QEvent::MouseMove, QPoint(-5000, -5000));  // held at the end
        EXPECT_EQ(HelpForm->HorzPosition(), 1563 - HelpForm->HelpSB->viewport()->width());
        EXPECT_EQ(HelpForm->VertPosition(), 2048 - HelpForm->HelpSB->viewport()->height());
        Mouse(im, QEvent::MouseButtonRelease, QPoint(-5000, -5000));
        Mouse(im, QEvent::MouseMove, QPoint(900, 900));  // no button: nothing
        EXPECT_EQ(HelpForm->VertPosition(), 2048 - HelpForm->HelpSB->viewport()->height());
        // Right button does not drag.
        Mouse(im, QEvent::MouseButtonPress, QPoint(500, 400), Qt::RightButton);
        Mouse(im, QEvent::MouseMove, QPoint(600, 500));
        EXPECT_EQ(HelpForm->VertPosition(), 2048 - HelpForm->HelpSB->viewport()->height());
        Mouse(im, QEvent::MouseButtonRelease, QPoint(600, 500), Qt::RightButton);
        // A double click closes the viewer.
        Mouse(im, QEvent::MouseButtonDblClick, QPoint(600, 500));
        return true;
    });
    HelpForm->ShowModal();
    ASSERT_EQ(run.Handled, 1);
    EXPECT_FALSE(HelpForm->isVisible());
}

TEST_F(HelpViewer, APictureThatFitsCannotBeMoved) {
    QImage small(300, 200, QImage::Format_RGB888);
    small.fill(Qt::white);
    HelpForm->SetPicture(small);
    cModalAnswer run("HelpForm", [&](QWidget* w) {
        EXPECT_FALSE(HelpForm->HorzDragAllowed());
        EXPECT_FALSE(HelpForm->VertDragAllowed());
        Key(w, Qt::Key_Down);
        Key(w, Qt::Key_Right);
        Mouse(HelpForm->HelpIM, QEvent::MouseButtonPress, QPoint(100, 100));
        Mouse(HelpForm->HelpIM, QEvent::MouseMove, QPoint(10, 10));
        Mouse(HelpForm->HelpIM, QEvent::MouseButtonRelease, QPoint(10, 10));
        EXPECT_EQ(HelpForm->HorzPosition(), 0);
        EXPECT_EQ(HelpForm->VertPosition(), 0);
        Key(w, Qt::Key_F10);
        return true;
    });
    HelpForm->ShowModal();
    EXPECT_EQ(run.Handled, 1);
    // Esc closes it as well.
    cModalAnswer esc("HelpForm", [](QWidget* w) {
        Key(w, Qt::Key_Escape);
        return true;
    });
    HelpForm->ShowModal();
    EXPECT_EQ(esc.Handled, 1);
    EXPECT_FALSE(HelpForm->isVisible());
}

// The built-in picture's labels follow the language: each language shows its
// own picture, different from the English one; a replacement picture stays
// whatever the language.
TEST_F(HelpViewer, BuiltInPictureFollowsTheLanguageAndAReplacementStays) {
    const std::string saved = Translate::CurrentLanguage();
    std::map<std::string, QImage> shown;
    for (const char* code : {"en", "de", "pl", "ru"}) {
        SCOPED_TRACE(code);
        Translate::SetLanguage(code);
        HelpForm->RetranslateForm();
        cModalAnswer run("HelpForm", [](QWidget* w) {
            Key(w, Qt::Key_Escape);
            return true;
        });
        HelpForm->ShowModal();
        EXPECT_EQ(HelpForm->PictureLanguage(), code);
        shown[code] = HelpForm->HelpIM->pixmap().toImage();
        EXPECT_EQ(shown[code].size(), QSize(1563, 2048));
    }
    for (const char* code : {"de", "pl", "ru"}) EXPECT_NE(shown[code], shown["en"]) << code;

    QImage own(300, 200, QImage::Format_RGB888);
    own.fill(Qt::white);
    HelpForm->SetPicture(own);
    Translate::SetLanguage("de");
    HelpForm->RetranslateForm();
    cModalAnswer again("HelpForm", [](QWidget* w) {
        Key(w, Qt::Key_Escape);
        return true;
    });
    HelpForm->ShowModal();
    EXPECT_EQ(HelpForm->HelpIM->size(), QSize(300, 200));
    EXPECT_TRUE(HelpForm->PictureLanguage().empty());
    Translate::SetLanguage(saved);
}

}  // namespace
