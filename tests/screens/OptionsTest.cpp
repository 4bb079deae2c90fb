// The options screen: port list, port errors and switching the language.
#include <gtest/gtest.h>

#include <map>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

#include "core/Ini.h"
#include "core/Translate.h"

#include "link/CommThread.h"

#include "widgets/ShadowButton.h"

#include "kit/IOForm.h"

#include "screens/FileDialog.h"
#include "screens/Globals.h"
#include "screens/InfoForm.h"
#include "screens/MainForm.h"
#include "screens/OptionsForm.h"

#include "tests/TestKit.h"

#include "GuiTestKit.h"

using namespace GuiTestKit;

namespace {

QStringList Items(QComboBox* cb) {
    QStringList out;
    for (int i = 0; i < cb->count(); ++i) out << cb->itemText(i);
    return out;
}

TEST(Options, PortThatCannotBeOpenedIsReported) {
    const std::string bad = "/tmp/zvbasic-no-such-port-" + std::to_string(::getpid());
    cProgram program;
    program.SetExtraPorts({bad});
    program.WriteIni("COM: " + bad + "\r\nLanguage: en\r\n");
    cModalAnswer report(
        "InfoForm", [](QWidget* w) { return ClickChild(w, "OKBtn"); }, true);
    ASSERT_EQ(program.Start(), cShell::eStart::Ok);
    ASSERT_TRUE(WaitFor([&] { return report.Handled >= 1; }, 10000));
    // The program retries the same port by itself: the box says so, and
    // that another port is a choice in Options.
    EXPECT_EQ(report.Texts[0].toStdString(),
              bad + ": port error!\nThe program keeps trying this port.\nAnother port can be chosen in Options (F8).");
    EXPECT_EQ(MainForm->ProgressLL->text(), "Port error: trying again...");
    // A device that is not there is told apart from one that failed.
    EXPECT_EQ(OptionsForm->StatusLL->text(), "COM port not present!");
    // The ECU buttons stay disabled: no request has been served.
    EXPECT_FALSE(MainForm->ConfigBtn->isEnabled());
    // F5 and F8 keep working.
    Key(MainForm, Qt::Key_F8);
    EXPECT_TRUE(OptionsForm->isVisible());
    program.Stop();
    EXPECT_EQ(program.ReadIni(), "COM: " + bad + "\r\nLanguage: en\r\n");
}

// An open list shows the screen's colours: black with the current item in dark red.
TEST(Options, OpenListsUseTheScreensColours) {
    cSilentLine first, second;
    cProgram program;
    program.SetExtraPorts({first.Path(), second.Path()});
    program.WriteIni("COM: " + second.Path() + "\r\nLanguage: en\r\n");
    ASSERT_EQ(program.Start(), cShell::eStart::Ok);
    program.QuietLink();
    OptionsForm->show();
    for (QComboBox* list : {OptionsForm->ComPortCB, OptionsForm->LangCB}) {
        SCOPED_TRACE(list->objectName().toStdString());
        ASSERT_GE(list->count(), 2);
        list->setCurrentIndex(1);
        list->showPopup();
        QAbstractItemView* view = list->view();
        ASSERT_TRUE(WaitFor([&] { return view->isVisible(); }));
        QCoreApplication::processEvents();
        const QImage shot = view->viewport()->grab().toImage();
        const QRect current = view->visualRect(list->model()->index(1, 0));
        const QRect other = view->visualRect(list->model()->index(0, 0));
        EXPECT_EQ(QColor(shot.pixel(current.left() + 3, current.center().y())), QColor(128, 0, 0));
        EXPECT_EQ(QColor(shot.pixel(other.left() + 3, other.center().y())), QColor(Qt::black));
        // Some of the current item's text is drawn in yellow.
        bool yellow = false;
        for (int x = current.left(); x < current.right() && !yellow; ++x)
            for (int y = current.top(); y < current.bottom() && !yellow; ++y) {
                const QColor c = shot.pixelColor(x, y);
                yellow = c.red() > 200 && c.green() > 200 && c.blue() < 80;
            }
        EXPECT_TRUE(yellow);
        list->hidePopup();
    }
    OptionsForm->hide();
}

TEST(Options, LookupPortsHandsThePortOverAgain) {
    cSilentLine first, second;
    cSpy spy;
    int connectStarts = 0;
    spy.OnEvent = [&](const cSpy& s) {
        if (s.LinkRequest == RQ_CONNECT && s.LinkPhase == 0) ++connectStarts;
    };
    // Declared after what its listeners use: it stops the link first.
    cProgram program;
    program.Extra = {&spy};
    program.SetExtraPorts({first.Path(), second.Path()});
    program.WriteIni("COM: " + second.Path() + "\r\nLanguage: en\r\n");
    ASSERT_EQ(program.Start(), cShell::eStart::Ok);
    EXPECT_EQ(OptionsForm->ComPortCB->currentText().toStdString(), second.Path());
    ASSERT_TRUE(WaitFor([&] { return connectStarts >= 1; }));
    EXPECT_EQ(OptionsForm->EnumPortsBtn->text(), "Lookup ports");

    // Nothing changed: the same port is handed over and connected anew.
    const int before = connectStarts;
    OptionsForm->EnumPortsBtn->click();
    EXPECT_EQ(OptionsForm->ComPortCB->currentText().toStdString(), second.Path());
    ASSERT_TRUE(WaitFor([&] { return connectStarts > before; }));
    EXPECT_EQ(CommThread->GetPortName(), second.Path());

    // The selected port disappeared: the first one of the new list.
    program.SetExtraPorts({first.Path()});
    OptionsForm->EnumPortsBtn->click();
    EXPECT_FALSE(Items(OptionsForm->ComPortCB).contains(QString::fromStdString(second.Path())));
    EXPECT_EQ(OptionsForm->ComPortCB->currentIndex(), 0);
    EXPECT_EQ(CommThread->GetPortName(), OptionsForm->ComPortCB->currentText().toStdString());
}

// Every text of every screen, to see that a language switch reached it.
std::map<QString, QStringList> AllTexts(const std::vector<cIOForm*>& forms) {
    std::map<QString, QStringList> out;
    auto collect = [&](QWidget* form) {
        QStringList& texts = out[form->objectName()];
        texts << form->windowTitle();
        for (QLabel* l : form->findChildren<QLabel*>()) texts << l->text();
        for (QAbstractButton* b : form->findChildren<QAbstractButton*>()) texts << b->text();
    };
    for (cIOForm* f : forms) collect(f);
    collect(InfoForm);
    return out;
}

TEST(Options, ChoosingALanguageRetranslatesEveryScreenAtOnce) {
    const testkit::cScopedEnv keepLanguage("LANGUAGE");  // the language switch sets it

    cSilentLine line;
    cProgram program;
    program.SetExtraPorts({line.Path()});
    program.WriteIni("COM: " + line.Path() + "\r\nLanguage: en\r\n");
    ASSERT_EQ(program.Start(), cShell::eStart::Ok);
    program.QuietLink();
    const auto codes = Translate::AvailableLanguages();
    if (std::find(codes.begin(), codes.end(), "pl") == codes.end()) GTEST_SKIP() << "no Polish catalogue built";
    // The language list offers the catalogues by name.
    const QStringList names = Items(OptionsForm->LangCB);
    EXPECT_TRUE(names.contains("Polski")) << names.join(",").toStdString();
    EXPECT_TRUE(names.contains("English"));
    EXPECT_EQ(OptionsForm->LangCB->currentText(), "English");

    const auto before = AllTexts(program.Shell->Forms());
    OptionsForm->LangCB->setCurrentIndex(OptionsForm->LangCB->findText("Polski"));
    OptionsForm->LangCBChange();
    EXPECT_EQ(Ini->Language, "pl");
    const auto after = AllTexts(program.Shell->Forms());
    for (const auto& [name, texts] : before) {
        if (name == "HelpForm") continue;  // no texts of its own
        EXPECT_NE(texts, after.at(name)) << name.toStdString() << " was not retranslated";
    }
    EXPECT_NE(MainForm->ConfigBtn->text(), "   F2   Configuration");
    EXPECT_EQ(MainForm->ConfigBtn->text(), QString::fromUtf8(_("   F2   Configuration")));

    OptionsForm->LangCB->setCurrentIndex(OptionsForm->LangCB->findText("English"));
    OptionsForm->LangCBChange();
    EXPECT_EQ(MainForm->ConfigBtn->text(), "   F2   Configuration");
    program.Stop();
    EXPECT_NE(program.ReadIni().find("Language: en"), std::string::npos);
}

// The file dialogs' own texts (Qt's) follow the chosen language, at once.
TEST(Options, FileDialogTextsFollowTheLanguage) {
    const testkit::cScopedEnv keepLanguage("LANGUAGE");  // the language switch sets it
    cSilentLine line;
    cProgram program;
    program.SetExtraPorts({line.Path()});
    program.WriteIni("COM: " + line.Path() + "\r\nLanguage: en\r\n");
    ASSERT_EQ(program.Start(), cShell::eStart::Ok);
    program.QuietLink();
    const auto codes = Translate::AvailableLanguages();
    if (codes.size() < 4) GTEST_SKIP() << "catalogues not built";

    const auto dialogTexts = [] {
        QStringList texts;
        cModalAnswer look(nullptr, [&](QWidget* w) {
            auto* d = qobject_cast<QFileDialog*>(w);
            if (!d) return false;
            if (auto* l = d->findChild<QLabel*>(QStringLiteral("lookInLabel"))) texts << l->text();
            if (auto* l = d->findChild<QLabel*>(QStringLiteral("fileNameLabel"))) texts << l->text();
            if (auto* box = d->findChild<QDialogButtonBox*>())
                if (QPushButton* b = box->button(QDialogButtonBox::Cancel)) texts << b->text();
            d->reject();
            return true;
        });
        sFileDialogRequest request;
        request.Save = true;
        request.Filter = QStringLiteral("Vehicle settings .zv2 (*.zv2)");
        FileDialog::Run(nullptr, request);
        return texts;
    };
    const QStringList english = dialogTexts();
    ASSERT_EQ(english.size(), 3);
    EXPECT_EQ(english[0], "Look in:");
    for (const char* name : {"Deutsch", "Polski", "Russian", "English"}) {
        SCOPED_TRACE(name);
        OptionsForm->LangCB->setCurrentIndex(OptionsForm->LangCB->findText(QString::fromLatin1(name)));
        OptionsForm->LangCBChange();
        const QStringList texts = dialogTexts();
        ASSERT_EQ(texts.size(), 3);
        for (int i = 0; i < 3; ++i) {
            if (std::string(name) == "English") EXPECT_EQ(texts[i], english[i]);
            else EXPECT_NE(texts[i], english[i]) << texts[i].toStdString();
        }
    }
    program.Stop();
}

TEST(Options, SavedLanguageIsAppliedAtStartUp) {
    const testkit::cScopedEnv keepLanguage("LANGUAGE");  // the language switch sets it
    cSilentLine line;
    cProgram program;
    program.SetExtraPorts({line.Path()});
    program.WriteIni("COM: " + line.Path() + "\r\nLanguage: de\r\n");
    ASSERT_EQ(program.Start(), cShell::eStart::Ok);
    const auto codes = Translate::AvailableLanguages();
    if (std::find(codes.begin(), codes.end(), "de") == codes.end()) GTEST_SKIP() << "no German catalogue built";
    EXPECT_EQ(OptionsForm->LangCB->currentText(), "Deutsch");
    EXPECT_EQ(Translate::CurrentLanguage().substr(0, 2), "de");
    EXPECT_EQ(MainForm->lMainMenu1->text(), QString::fromUtf8(_("MAIN MENU")));
    program.Stop();
    // An unknown code stays as it was and is written back.
    cProgram again;
    again.SetExtraPorts({line.Path()});
    again.WriteIni("COM: " + line.Path() + "\r\nLanguage: xx\r\n");
    ASSERT_EQ(again.Start(), cShell::eStart::Ok);
    again.Stop();
    EXPECT_NE(again.ReadIni().find("Language: xx"), std::string::npos);
}

}  // namespace
