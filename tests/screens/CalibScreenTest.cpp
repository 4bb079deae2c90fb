// The algorithm calibration screen against the ECU simulator.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>

#include "link/Settings.h"

#include "widgets/ShadowButton.h"

#include "kit/QtText.h"

#include "screens/CalibForm.h"
#include "screens/MainForm.h"

#include "ScreenRig.h"

namespace {

void OpenCalib(cScreenRig& rig) {
    rig.Main->CalibBtnClick();
    ASSERT_TRUE(rig.Calib->isVisible());
}

void Choose(QComboBox* combo, int index) {
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}

void Type(QLineEdit* edit, const QString& keys) {
    for (QChar c : keys) {
        int key = c == u'\b'    ? int(Qt::Key_Backspace)
                  : c.isDigit() ? int(Qt::Key_0) + (c.unicode() - u'0')
                                : int(Qt::Key_A) + (c.toLower().unicode() - u'a');
        cScreenRig::Key(edit, key);
    }
}

// Selects the whole text and deletes it with one backspace.
void Clear(QLineEdit* edit) {
    edit->setFocus();
    edit->selectAll();
    cScreenRig::Key(edit, Qt::Key_Backspace);
}

}  // namespace

TEST(CalibScreen, WrongFieldsTurnRedAndLeavingIsRefused) {
    cScreenRig rig(47);
    ASSERT_TRUE(rig.Start());
    OpenCalib(rig);
    TCalibForm* f = rig.Calib;
    EXPECT_EQ(f->CheckSettings(), 0);

    struct sCase {
        QLineEdit* Edit;
        const char* Text;
        int Mask;
        std::vector<QLineEdit*> Red;
    } cases[] = {
        {f->StepPosMaxED,
         "40",
         TCalibForm::OUT_OF_RANGE,
         {f->StepPosMaxED, f->StepPosH0ED, f->StepPosH1ED, f->StepPosH2ED}},
        {f->StepPosH1ED, "160", TCalibForm::OUT_OF_RANGE, {f->StepPosH1ED}},
        {f->StepPosMinED, "", TCalibForm::BAD_MIN, {f->StepPosMinED}},
        {f->StepPosMinED,
         "300",
         TCalibForm::OUT_OF_RANGE,
         {f->StepPosMinED, f->StepPosMaxED, f->StepPosH0ED, f->StepPosH1ED, f->StepPosH2ED}},
        {f->StepPosH2ED, "99999999999", TCalibForm::BAD_H2, {f->StepPosH2ED}},
    };
    for (const sCase& c : cases) {
        SCOPED_TRACE(c.Text);
        f->FormShow();  // back to the stored values (the colours stay as they were)
        ASSERT_EQ(f->CheckSettings(), 0);
        c.Edit->setText(QString::fromLatin1(c.Text));
        EXPECT_EQ(TCalibForm::FieldColor(c.Edit) == TCalibForm::ErrorColor(), true);
        EXPECT_EQ(f->CheckSettings(), c.Mask);
        for (QLineEdit* e : {f->StepPosMinED, f->StepPosMaxED, f->StepPosH0ED, f->StepPosH1ED, f->StepPosH2ED}) {
            bool red = std::find(c.Red.begin(), c.Red.end(), e) != c.Red.end();
            EXPECT_EQ(TCalibForm::FieldColor(e), red ? TCalibForm::ErrorColor() : TCalibForm::NormalColor())
                << e->objectName().toStdString();
        }
        QString shown;
        rig.AcknowledgeInfo(&shown);
        f->close();
        EXPECT_EQ(shown, Tr("Incorrect settings!"));
        EXPECT_TRUE(f->isVisible());
        EXPECT_FALSE(rig.Question->isVisible());
    }

    // Corrected, the screen closes; the unchanged settings ask nothing.
    f->FormShow();
    EXPECT_EQ(f->CheckSettings(), 0);
    f->close();
    EXPECT_FALSE(f->isVisible());
}

TEST(CalibScreen, HiddenH0TakesNoPartWithoutAThrottleSensor) {
    cScreenRig rig(47);
    ASSERT_TRUE(rig.Start());
    WorkSettings.TPSType = 0;
    OpenCalib(rig);
    TCalibForm* f = rig.Calib;
    EXPECT_FALSE(f->StepPosH0ED->isVisibleTo(f));
    EXPECT_FALSE(f->Label8->isVisibleTo(f));
    f->StepPosH0ED->setText(QStringLiteral("999"));
    EXPECT_EQ(f->CheckSettings(), 0);
    EXPECT_EQ(TCalibForm::FieldColor(f->StepPosH0ED), TCalibForm::NormalColor());
}

TEST(CalibScreen, OnlyDigitsAndBackspaceReachTheFields) {
    cScreenRig rig(48);
    ASSERT_TRUE(rig.Start());
    OpenCalib(rig);
    QLineEdit* e = rig.Calib->StepPosH1ED;
    e->setFocus();
    e->end(false);
    Type(e, QStringLiteral("x"));
    EXPECT_EQ(e->text(), QStringLiteral("90"));
    Type(e, QStringLiteral("\b5"));
    EXPECT_EQ(e->text(), QStringLiteral("95"));
    EXPECT_EQ(WorkSettings.StepPosH1, 95);

    // Keys that carry other characters: a blank, a sign, a letter composed
    // with a digit, a character outside the basic plane (two UTF-16 units).
    for (const QString& text : {QStringLiteral(" "), QStringLiteral("-"), QStringLiteral("1a"),
                                QString::fromUcs4(U"\U0001D7D8"), QString::fromUcs4(U"\U0001F600")}) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text);
        QApplication::sendEvent(e, &press);
        EXPECT_EQ(e->text(), QStringLiteral("95")) << text.toStdString();
    }
}

// Pasted (by Ctrl+V or the context menu's Paste) and dropped text keeps only
// its digits, as if it had been typed.
TEST(CalibScreen, PastedAndDroppedTextKeepsOnlyItsDigits) {
    cScreenRig rig(48);
    ASSERT_TRUE(rig.Start());
    OpenCalib(rig);
    QLineEdit* e = rig.Calib->StepPosH1ED;
    e->setFocus();

    QApplication::clipboard()->setText(QStringLiteral("+9a5"));
    e->selectAll();
    cScreenRig::Key(e, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(e->text(), QStringLiteral("95"));
    EXPECT_EQ(WorkSettings.StepPosH1, 95);

    QApplication::clipboard()->setText(QStringLiteral(" -1\t0 "));
    e->selectAll();
    e->paste();
    EXPECT_EQ(e->text(), QStringLiteral("10"));
    EXPECT_EQ(e->cursorPosition(), 2);

    // Dropped in the middle of "10": the digits only, where it fell.
    QMimeData mime;
    mime.setText(QStringLiteral("x0.5"));
    e->setCursorPosition(1);
    const QPointF between(e->width() / 2.0, e->height() / 2.0);
    QDragEnterEvent enter(between.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(e, &enter);
    QDropEvent drop(between, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(e, &drop);
    EXPECT_TRUE(e->text() == QStringLiteral("1050") || e->text() == QStringLiteral("0510") ||
                e->text() == QStringLiteral("1005"))
        << e->text().toStdString();
    for (QChar c : e->text()) EXPECT_TRUE(c >= u'0' && c <= u'9') << e->text().toStdString();
}

// Typing into an emptied minimum sends the number settled on, not the
// numbers passed on the way (1 and 15 of 150).
TEST(CalibScreen, TypingIntoAnEmptiedMinimumSendsOnlyTheSettledNumber) {
    cScreenRig rig(48);
    ASSERT_TRUE(rig.Start());
    OpenCalib(rig);
    TCalibForm* f = rig.Calib;
    rig.Sim.ClearLog();
    Clear(f->StepPosMinED);
    EXPECT_EQ(TCalibForm::FieldColor(f->StepPosMinED), TCalibForm::ErrorColor());
    Type(f->StepPosMinED, QStringLiteral("150"));
    EXPECT_EQ(WorkSettings.StepPosMin, 150);
    EXPECT_EQ(f->StepPosMinED->text(), QStringLiteral("150"));
    ASSERT_TRUE(cScreenRig::WaitUntil([&] { return !rig.Writes().empty(); }));
    ASSERT_TRUE(rig.WaitLive(6));
    EXPECT_EQ(rig.Writes(), (std::vector<std::pair<int, int>>{{4, 150}}));
    // H0 100 now lies below the minimum: red, and leaving is refused.
    EXPECT_EQ(TCalibForm::FieldColor(f->StepPosH0ED), TCalibForm::ErrorColor());
    // An out-of-range position is not sent and not stored.
    rig.Sim.ClearLog();
    f->StepPosH1ED->setText(QStringLiteral("120"));  // below the new minimum
    EXPECT_EQ(WorkSettings.StepPosH1, 90);
    f->StepPosMinED->setText(QStringLiteral("50"));  // minimum back: nothing else changes by itself
    ASSERT_TRUE(cScreenRig::WaitUntil([&] { return rig.Writes().size() >= 2; }));
    ASSERT_TRUE(rig.WaitLive(6));
    // Min goes first, then H1 (now in range) in the same pass.
    EXPECT_EQ(rig.Writes(), (std::vector<std::pair<int, int>>{{4, 50}, {7, 120}}));
    // The new protocol asks nothing on leaving.
    f->close();
    EXPECT_FALSE(f->isVisible());
    EXPECT_FALSE(rig.Question->isVisible());
}

TEST(CalibScreen, Version47SendsNothingAndAsksOnLeaving) {
    cScreenRig rig(47);
    ASSERT_TRUE(rig.Start());
    OpenCalib(rig);
    TCalibForm* f = rig.Calib;
    EXPECT_FALSE(f->EmPetrolCB->isEnabled());
    rig.Sim.ClearLog();
    f->StepPosH2ED->setText(QStringLiteral("85"));
    Choose(f->MinRPMCB, 0);  // 1000 rpm
    EXPECT_EQ(WorkSettings.MinRPMCode, 54);
    cScreenRig::Pump(300);
    EXPECT_TRUE(rig.Writes().empty());
    rig.AnswerQuestion(true);
    f->close();
    EXPECT_FALSE(f->isVisible());
    EXPECT_EQ(WorkSettings.StepPosH2, 85);
    EXPECT_EQ(rig.Save->TransferStatusLL->text(), Tr("Settings has been saved in ECU"));
    EXPECT_EQ(rig.Sim.Stored()[8], 85);
    EXPECT_EQ(rig.Sim.Stored()[2], 54);
    EXPECT_FALSE(SettingsChanged());
}

struct sEmPetrolCase {
    int Version;
    bool Enabled;
};

class CalibEmergency : public ::testing::TestWithParam<sEmPetrolCase> {};

TEST_P(CalibEmergency, SwitchOffToPetrolByVersion) {
    const auto [version, enabled] = GetParam();
    cScreenRig rig(version);
    ASSERT_TRUE(rig.Start());
    OpenCalib(rig);
    TCalibForm* f = rig.Calib;
    EXPECT_EQ(f->EmPetrolCB->isEnabled(), enabled);
    EXPECT_EQ(f->Label9->isEnabled(), enabled);
    EXPECT_EQ(f->EmPetrolCB->currentIndex(), 0);  // MaxRPMCode 9: active
    EXPECT_EQ(f->MaxRPMCB->currentText(), QStringLiteral("6000"));
    if (!enabled) return;
    rig.Sim.ClearLog();
    Choose(f->EmPetrolCB, 1);
    EXPECT_EQ(WorkSettings.MaxRPMCode, 0);
    f->SendSettled();  // as Enter or a pause would
    EXPECT_FALSE(f->MaxRPMCB->isEnabled());
    f->MaxRPMCB->setCurrentIndex(1);  // "4500" shown while inactive
    Choose(f->EmPetrolCB, 0);
    EXPECT_EQ(WorkSettings.MaxRPMCode, 12);
    EXPECT_TRUE(f->MaxRPMCB->isEnabled());
    ASSERT_TRUE(cScreenRig::WaitUntil([&] { return rig.Writes().size() >= 2; }));
    EXPECT_EQ(rig.Writes(), (std::vector<std::pair<int, int>>{{3, 0}, {3, 12}}));
    // With the code 0 the next fill shows "Inactive" and selects 6000.
    Choose(f->EmPetrolCB, 1);
    f->FormShow();
    EXPECT_EQ(f->EmPetrolCB->currentIndex(), 1);
    EXPECT_EQ(f->MaxRPMCB->currentText(), QStringLiteral("6000"));
    EXPECT_FALSE(f->Label1->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(Versions, CalibEmergency,
                         ::testing::Values(sEmPetrolCase{47, false}, sEmPetrolCase{48, false}, sEmPetrolCase{49, true},
                                           sEmPetrolCase{57, true}));

TEST(CalibScreen, EverySpeedItemComesBackAsItselfAfterAFill) {
    cScreenRig rig(52);
    ASSERT_TRUE(rig.Start());
    OpenCalib(rig);
    TCalibForm* f = rig.Calib;
    for (int i = 0; i < f->MinRPMCB->count(); ++i) {
        Choose(f->MinRPMCB, i);
        f->FormShow();
        EXPECT_EQ(f->MinRPMCB->currentIndex(), i) << f->MinRPMCB->itemText(i).toStdString();
    }
    Choose(f->MaxRPMCB, 3);  // "5500" stores 9, the same as "6000"
    EXPECT_EQ(WorkSettings.MaxRPMCode, 9);
    f->FormShow();
    EXPECT_EQ(f->MaxRPMCB->currentText(), QStringLiteral("6000"));
}
