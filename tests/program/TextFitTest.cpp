// Every text fits its control: each label, button, list item and screen title
// of every screen and dialog, in every language, at 1024 x 768 and 800 x 600.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include <QComboBox>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QStyleOptionComboBox>

#include "core/Translate.h"

#include "link/CommThread.h"

#include "widgets/ComboBox.h"
#include "widgets/ShadowButton.h"
#include "widgets/VerticalLabel.h"

#include "kit/IOForm.h"
#include "kit/QtText.h"

#include "screens/CalibForm.h"
#include "screens/ConfigForm.h"
#include "screens/DataExForm.h"
#include "screens/Globals.h"
#include "screens/InfoForm.h"
#include "screens/LoadForm.h"
#include "screens/MainForm.h"
#include "screens/OptionsForm.h"
#include "screens/QuestionForm.h"
#include "screens/Questions.h"
#include "screens/SaveForm.h"

#include "tests/TestKit.h"

#include "GuiTestKit.h"

using namespace GuiTestKit;

namespace {

struct sOverflow {
    std::string Where;
    std::string Text;
    double Need;
    double Have;
};

std::string Path(QWidget* w) {
    std::string path = w->objectName().toStdString();
    for (QWidget* p = w->parentWidget(); p; p = p->parentWidget())
        if (!p->objectName().isEmpty()) path = p->objectName().toStdString() + "." + path;
    return path;
}

class cFitCheck {
public:
    std::vector<sOverflow> Overflows;
    int Checked = 0;

    void Wider(QWidget* w, const QString& text, double need, double have) {
        ++Checked;
        // Half a pixel for rounding of fractional advances.
        if (need > have + 0.5) Overflows.push_back({Path(w), text.toStdString(), need, have});
    }

    // Every text-carrying control under `root`, hidden ones too (they are shown
    // by other ECU versions or states).
    void Walk(QWidget* root) {
        for (QWidget* w : root->findChildren<QWidget*>()) {
            if (auto* l = qobject_cast<QLabel*>(w)) Label(l);
            else if (auto* b = qobject_cast<cShadowButton*>(w)) Shadow(b);
            else if (auto* c = qobject_cast<QComboBox*>(w)) Combo(c);
            else if (auto* v = qobject_cast<cVerticalLabel*>(w)) Vertical(v);
            else if (auto* p = qobject_cast<QPushButton*>(w)) Push(p);
            else if (auto* g = qobject_cast<QGroupBox*>(w)) Group(g);
        }
    }

    void Label(QLabel* l) {
        if (l->text().isEmpty() || !l->pixmap().isNull()) return;
        const QFontMetricsF fm(l->font());
        const QRect box = l->contentsRect();
        QString text = QString(l->text()).remove(QLatin1Char('\r'));
        while (text.endsWith(QLatin1Char('\n'))) text.chop(1);  // a closing line end takes no room
        if (l->wordWrap()) {
            const QRectF need = fm.boundingRect(QRectF(box), int(l->alignment()) | Qt::TextWordWrap, text);
            Wider(l, text, need.height(), box.height());
            return;
        }
        const QStringList lines = text.split(QLatin1Char('\n'));
        for (const QString& line : lines) Wider(l, line, fm.horizontalAdvance(line), box.width());
        Wider(l, text + QStringLiteral(" (height)"), lines.size() * fm.height(), box.height() + 2);
    }

    void Shadow(cShadowButton* b) {
        if (b->text().isEmpty()) return;
        Wider(b, b->text(), QFontMetricsF(b->font()).horizontalAdvance(b->text()), b->CaptionWidth());
    }

    void Combo(QComboBox* c) {
        QStyleOptionComboBox opt;
        opt.initFrom(c);
        opt.editable = c->isEditable();
        const QRect field = c->style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, c);
        const QFontMetricsF fm(c->font());
        auto* own = dynamic_cast<cComboBox*>(c);
        for (int i = 0; i < c->count(); ++i) {
            const QString shown = own ? own->ShownText(c->itemText(i)) : c->itemText(i);
            Wider(c, shown, fm.horizontalAdvance(shown), field.width());
        }
    }

    void Vertical(cVerticalLabel* v) {
        if (v->Text().isEmpty()) return;
        const QFontMetricsF fm(v->PaintFont());
        Wider(v, v->Text(), fm.horizontalAdvance(v->Text()), v->height());
    }

    void Push(QPushButton* p) {
        if (p->text().isEmpty()) return;
        Wider(p, p->text(), QFontMetricsF(p->font()).horizontalAdvance(p->text()), p->width() - 8);
    }

    void Group(QGroupBox* g) {
        if (g->title().isEmpty()) return;
        Wider(g, g->title(), QFontMetricsF(g->font()).horizontalAdvance(g->title()), g->width() - 40);
    }
};

struct sCase {
    const char* Language;
    QSize Screen;
};

class TextFit : public ::testing::TestWithParam<sCase> {};

TEST_P(TextFit, EveryTextFitsItsControl) {
    const sCase c = GetParam();
    const testkit::cScopedEnv keepLanguage("LANGUAGE");  // the language switch sets it
    {
        // A long port name: it is elided in the list and the error message.
        const std::string longPort = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0-extra-long-name";
        cSilentLine line;
        cProgram program;
        cIOForm::SetScreenOverride(c.Screen, 96);
        program.SetExtraPorts({line.Path(), longPort});
        program.WriteIni("COM: " + line.Path() + "\r\nLanguage: " + c.Language + "\r\n");
        ASSERT_EQ(program.Start(), cShell::eStart::Ok);
        program.QuietLink();
        const auto codes = Translate::AvailableLanguages();
        if (std::find(codes.begin(), codes.end(), c.Language) == codes.end()) GTEST_SKIP() << "catalogue not built";
        ASSERT_EQ(Translate::CurrentLanguage().substr(0, 2), c.Language);

        cFitCheck check;
        auto walkAll = [&] {
            for (cIOForm* f : program.Shell->Forms()) check.Walk(f);
            check.Walk(InfoForm);
        };
        // As built; then the states with other texts: connecting, loading,
        // identified, port error, each status line text.
        walkAll();
        program.Deliver(RQ_CONNECT, 1, 5);
        check.Walk(MainForm);
        program.Deliver(RQ_READ_SETTINGS, 1, ProgressToValue(0.99f));
        check.Walk(MainForm);
        program.Deliver(RQ_IDENTIFY, 1, 0x25);
        program.Deliver(RQ_IDENTIFY, 3, 0x31);
        program.Deliver(RQ_READ_SETTINGS, 2, 1);
        check.Walk(MainForm);
        program.Deliver(RQ_CONNECT, 0, 0);
        walkAll();
        program.Deliver(RQ_CONNECT, 2, 1);
        walkAll();
        for (const char* question : {N_("Do you really\nwant to quit program?"),
                                     N_("Do you want to\nquit program without\nsaving settings to ECU?"),
                                     N_("Settings has changed.\nDo you want to\nsave them in ECU?")}) {
            QuestionForm->TextLL->setText(Tr(question));
            check.Walk(QuestionForm);
        }
        // The port error, for the long port name.
        OptionsForm->ComPortCB->setCurrentIndex(OptionsForm->ComPortCB->findText(QString::fromStdString(longPort)));
        check.Walk(OptionsForm);
        // Every information dialog (port errors among them) is checked and acknowledged.
        QStringList toolTips;
        cModalAnswer report(
            "InfoForm",
            [&](QWidget* w) {
                check.Walk(w);
                toolTips << InfoForm->TextLL->toolTip();
                return ClickChild(w, "OKBtn");
            },
            true);
        OptionsForm->ShowPortError(QString::fromStdString(longPort));
        ASSERT_EQ(report.Handled, 1);
        // Shortened in the message (then whole in the tool tip), or whole on
        // a screen wide enough for it.
        if (!report.Texts.value(0).contains(QString::fromStdString(longPort))) {
            EXPECT_EQ(toolTips.value(0).toStdString(), longPort);
        }
        if (c.Screen.width() < 1024) {
            EXPECT_EQ(toolTips.value(0).toStdString(), longPort);
        }
        for (const char* info : {N_("Incorrect settings!")}) {
            InfoForm->TextLL->setText(Tr(info));
            check.Walk(InfoForm);
        }
        LoadForm->TransferStatusLL->setText(Tr("Transmission error!"));
        check.Walk(LoadForm);
        LoadForm->TransferStatusLL->setText(Tr("Settings has been loaded."));
        check.Walk(LoadForm);
        SaveForm->TransferStatusLL->setText(Tr("Settings has been saved in ECU"));
        check.Walk(SaveForm);
        program.DeliverSendError();
        // The port error box comes after the notification has returned.
        EXPECT_TRUE(WaitFor([&] { return report.Handled == 2; }));
        walkAll();
        // The texts that tell of lost or kept work: the kept-edits notice with
        // both of its sentences on every settings screen, in a readable size,
        // and the questions about them.
        const QString kept = Tr("Changes made before the line was interrupted are kept in the program; "
                                "none of them has been sent to this ECU.") +
                             QLatin1Char(' ') +
                             Tr("This looks like another vehicle: the ECU or its settings differ from "
                                "those read before the line was interrupted.");
        MainForm->ShowKeptNotice(kept);
        ConfigForm->ShowKeptNotice(kept);
        CalibForm->ShowKeptNotice(kept);
        DataExForm->ShowKeptNotice(kept);
        walkAll();
        for (const QLabel* notice : {MainForm->NoticeLL, ConfigForm->KeptLL, CalibForm->KeptLL, DataExForm->KeptLL})
            EXPECT_GE(notice->font().pixelSize(), 9) << notice->parentWidget()->objectName().toStdString();
        for (const char* question :
             {N_("These changes were made\nbefore the line was interrupted.\nIs this the same vehicle?\nSend them to "
                 "this ECU?"),
              N_("Nothing was sent.\nKeep the changes for later?\nNo takes the ECU's settings."),
              N_("The ECU already runs these changes.\nPut back the values it had?")}) {
            QuestionForm->SetText(Tr(question));
            check.Walk(QuestionForm);
        }
        for (const char* question : {N_("This file is damaged:\nline %1 %2.\nLoad it anyway?")})
            for (const char* what : {N_("is not a number"), N_("holds a number above 255"), N_("is missing"),
                                     N_("is one line too many")}) {
                QuestionForm->TextLL->setText(Tr(question).arg(16).arg(Tr(what)));
                check.Walk(QuestionForm);
            }
        for (const char* status : {N_("COM port not present!"), N_("Capture stopped: write error!")})
            for (cIOForm* f : program.Shell->Forms())
                if (f->StatusLL && f->objectName() != QStringLiteral("MainForm")) {
                    const QString was = f->StatusLL->text();
                    f->StatusLL->setText(Tr(status));
                    check.Walk(f);
                    f->StatusLL->setText(was);
                }
        // An automatic backup that could not be written, in a long folder:
        // the whole reason shows (the path shortened in the middle) in a
        // readable size, and in full in the tool tip.
        const QString why = QString::fromLocal8Bit(std::strerror(ENOTDIR));
        const QString reason = QStringLiteral(
                                   "/home/a-fitter-with-a-long-name/.local/share/zvbasic/backups/"
                                   "2026-12-08_14-03-27_ECU-2.5-3.0.zv2: ") +
                               why;
        MainForm->ShowBackupFailure(reason);
        check.Walk(MainForm);
        const QStringList shown = MainForm->BackupLL->text().split(QLatin1Char('\n'));
        EXPECT_TRUE(shown.contains(why)) << MainForm->BackupLL->text().toStdString();
        EXPECT_TRUE(shown.last().startsWith(QStringLiteral("/home/"))) << shown.last().toStdString();
        EXPECT_TRUE(MainForm->BackupLL->toolTip().endsWith(reason));
        EXPECT_GE(MainForm->BackupLL->font().pixelSize(), 10);
        // Checked and acknowledged by the watcher above.
        ShowInfo(
            Tr("The settings were NOT stored in the ECU!\n"
               "The connection failed during the transfer. "
               "Store them again when the ECU is connected."));
        EXPECT_EQ(report.Handled, 3);

        EXPECT_GT(check.Checked, 200);
        for (const sOverflow& o : check.Overflows)
            ADD_FAILURE() << o.Where << ": \"" << o.Text << "\" needs " << o.Need << " px, has " << o.Have;
        program.Stop();
    }
}

std::string CaseName(const ::testing::TestParamInfo<sCase>& info) {
    return std::string(info.param.Language) + "_" + std::to_string(info.param.Screen.width());
}

INSTANTIATE_TEST_SUITE_P(AllLanguagesBothSizes, TextFit,
                         ::testing::Values(sCase{"de", {1024, 768}}, sCase{"en", {1024, 768}}, sCase{"pl", {1024, 768}},
                                           sCase{"ru", {1024, 768}}, sCase{"de", {800, 600}}, sCase{"en", {800, 600}},
                                           sCase{"pl", {800, 600}}, sCase{"ru", {800, 600}}, sCase{"de", {1920, 1080}},
                                           sCase{"en", {1920, 1080}}, sCase{"pl", {1920, 1080}},
                                           sCase{"ru", {1920, 1080}}),
                         CaseName);

}  // namespace
