// The fitting report in the program: which backup holds the settings before
// (the first read since connecting to this ECU, whatever reconnections and
// cars follow), and F7 on the data transfer screen against the simulator.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <QApplication>
#include <QDir>
#include <QString>
#include <QTimer>

#include "core/Ini.h"
#include "core/Translate.h"

#include "link/CommThread.h"
#include "link/Settings.h"

#include "formats/VehicleFile.h"

#include "report/Report.h"

#include "widgets/ShadowButton.h"

#include "kit/QtText.h"

#include "screens/AutoBackup.h"
#include "screens/DataExForm.h"
#include "screens/FileDialog.h"
#include "screens/Globals.h"
#include "screens/MainForm.h"
#include "screens/ReportDialog.h"

#include "tests/TestKit.h"

#include "ScreenRig.h"

namespace fs = std::filesystem;

namespace {

std::string Strip(const std::string& s) {
    std::string out;
    for (char ch : s)
        if (ch != ' ' && ch != '\t' && ch != '\f' && ch != '\r') out += ch;
    return out;
}

std::string PdfText(const std::string& pdf) {
    std::string out;
    if (FILE* p = ::popen(("pdftotext -layout '" + pdf + "' - 2>/dev/null").c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        ::pclose(p);
    }
    return out;
}

// Hands the backup writer a notification as the link would.
void Notify(cAutoBackup& b, int32_t request, int32_t phase, int32_t value) {
    b.LinkRequest = request;
    b.LinkPhase = phase;
    b.LinkValue = value;
    b.LinkEvent();
}

}  // namespace

TEST(ReportScreen, TheFirstBackupIsTheFirstReadOfThisEcuAndCar) {
    testkit::cTempDir tmp;
    cAutoBackup backup((tmp.Path / "backups").string());
    sSettings s[4];
    for (int i = 0; i < 4; ++i) s[i].StepPosMin = uint8_t(60 + i);
    enum class eStep { Identify, Read, Store };
    struct sStep {
        const char* What;
        eStep Kind;
        int Version;   // Identify
        int Settings;  // Read, Store: index into s
        int First;     // expected: index of the first backup's settings
        const char* Identity;
    };
    const sStep steps[] = {
        {"connect", eStep::Identify, 0x30, 0, -1, ""},
        {"first read", eStep::Read, 0, 0, 0, "2.5/3.0"},
        {"read again", eStep::Read, 0, 1, 0, "2.5/3.0"},
        {"store", eStep::Store, 0, 2, 0, "2.5/3.0"},
        {"reconnect, same ECU", eStep::Identify, 0x30, 0, 0, "2.5/3.0"},
        {"its read", eStep::Read, 0, 2, 0, "2.5/3.0"},
        {"cable on the next car", eStep::Identify, 0x30, 0, 0, "2.5/3.0"},
        {"its read", eStep::Read, 0, 3, 3, "2.5/3.0"},
        {"another ECU version", eStep::Identify, 0x37, 0, 3, "2.5/3.0"},
        {"its read", eStep::Read, 0, 3, 3, "2.5/3.7"},
    };
    for (const sStep& step : steps) {
        switch (step.Kind) {
        case eStep::Identify:
            Notify(backup, RQ_IDENTIFY, Phase::IdVersion, 0x25);
            Notify(backup, RQ_IDENTIFY, Phase::Version, step.Version);
            break;
        case eStep::Read:
            IncomingSettings = s[step.Settings];
            Notify(backup, RQ_READ_SETTINGS, Phase::Done, 1);
            break;
        case eStep::Store:
            EcuSettings = s[step.Settings];
            Notify(backup, RQ_WRITE_SETTINGS, Phase::Done, 1);
            break;
        }
        backup.Flush();
        if (step.First < 0) {
            cScreenRig::Pump(20);
            EXPECT_TRUE(backup.FirstPath().isEmpty()) << step.What;
            continue;
        }
        // The outcome comes back through the event loop.
        cScreenRig::WaitUntil(
            [&] { return testkit::Slurp(backup.FirstPath().toStdString()) == VehicleFile::Format(s[step.First]); },
            2000);
        EXPECT_EQ(testkit::Slurp(backup.FirstPath().toStdString()), VehicleFile::Format(s[step.First])) << step.What;
        EXPECT_EQ(backup.FirstIdentity().toStdString(), step.Identity) << step.What;
    }
}

TEST(ReportScreen, F7ReportsTheFirstBackupBeforeAndTheEcuNow) {
    testkit::cTempDir tmp;
    cAutoBackup backup((tmp.Path / "backups").string());
    cScreenRig rig(48);
    rig.ExtraListeners = {&backup};
    ASSERT_TRUE(rig.Start());
    ASSERT_TRUE(cScreenRig::WaitUntil([&] {
        backup.Flush();
        return !backup.FirstPath().isEmpty();
    }));
    const std::string first = backup.FirstPath().toStdString();
    // Changed on the screens and stored (F4): the store is backed up too.
    rig.Main->DataExBtnClick();
    ASSERT_TRUE(rig.DataEx->isVisible());
    ASSERT_TRUE(rig.WaitIdle());
    WorkSettings.StepPosMin = 99;
    WorkSettings.CylCount = 6;
    rig.Link->QueueUpdate(sUpdate(4, 99));  // StepPosMin
    rig.Link->QueueUpdate(sUpdate(9, 6));   // CylCount
    rig.Main->ShowSettingsChanged(true);
    cScreenRig::Key(rig.DataEx, Qt::Key_F4);  // returns when the store is done
    ASSERT_FALSE(SettingsChanged());
    ASSERT_EQ(rig.Sim.Stored()[4], 99);
    ASSERT_EQ(rig.Sim.Stored()[9], 6);
    ASSERT_TRUE(cScreenRig::WaitUntil([&] {
        backup.Flush();
        return backup.Done() == 2 && !backup.LatestPath().isEmpty();
    }));
    EXPECT_EQ(backup.FirstPath().toStdString(), first);
    EXPECT_EQ(rig.DataEx->ReportBtn->text(), Tr("   F7   Report"));

    const std::string pdf = (tmp.Path / "report.pdf").string();
    sFileDialogRequest asked;
    int dialogs = 0, jobs = 0;
    // The workshop comes from the program's zvbasic.ini and goes back into it.
    cIni ini;
    ini.ReportName = "Old name";
    ini.ReportAddress = {"Old street"};
    struct sIniScope {
        explicit sIniScope(cIni* ini) { ::Ini = ini; }
        ~sIniScope() { ::Ini = nullptr; }
    } iniScope(&ini);
    QString proposed;
    ReportDialog::Hook() = [&](sReportJob& job) {
        ++jobs;
        proposed = job.Workshop + QLatin1Char('|') + job.Address.join(QLatin1Char('|'));
        job.Vehicle = QStringLiteral("WX 1234A");
        job.Fitter = QStringLiteral("Jan Nowak");
        job.Workshop = QStringLiteral("Autogas Nowak");
        job.Address = {QStringLiteral("ul. Polna 1"), QStringLiteral("31-000 Kraków")};
        return true;
    };
    FileDialog::Hook() = [&](const sFileDialogRequest& r) {
        asked = r;
        ++dialogs;
        return QString::fromStdString(pdf);
    };
    rig.AnswerQuestion(false, true);  // no test drive
    QString saved;
    rig.AcknowledgeInfo(&saved);
    cScreenRig::Key(rig.DataEx, Qt::Key_F7);
    ReportDialog::Hook() = nullptr;
    FileDialog::Hook() = nullptr;
    // Where the report went is said.
    EXPECT_TRUE(saved.startsWith(Tr("The report was saved:"))) << saved.toStdString();
    EXPECT_TRUE(saved.contains(QString::fromStdString(pdf))) << saved.toStdString();
    EXPECT_EQ(jobs, 1);
    EXPECT_EQ(proposed, QStringLiteral("Old name|Old street"));
    EXPECT_EQ(ini.ReportName, "Autogas Nowak");
    EXPECT_EQ(ini.ReportAddress, (std::vector<std::string>{"ul. Polna 1", "31-000 Kraków"}));
    ASSERT_EQ(dialogs, 1);
    EXPECT_TRUE(asked.Save);
    EXPECT_TRUE(asked.ConfirmOverwrite);
    EXPECT_EQ(asked.DefaultSuffix, QStringLiteral("pdf"));

    const std::string text = PdfText(pdf);
    ASSERT_FALSE(text.empty()) << "no PDF (or no pdftotext)";
    Report::sInput in;
    VehicleFile::Parse(testkit::Slurp(first), in.Before);
    in.Now = EcuSettings;
    in.IdVersion = 0x25;
    in.Version = 0x30;
    ASSERT_EQ(in.Now.StepPosMin, 99);
    int marked = 0;
    for (const Report::sRow& r : Report::Build(in).Rows) {
        const std::string row = Strip(r.Name + r.Before + r.Now + (r.Changed ? "*" : ""));
        EXPECT_NE(("\n" + Strip(text)).find(row), std::string::npos) << r.Field << ": " << row << "\n" << text;
        marked += r.Changed;
    }
    EXPECT_EQ(marked, 2);
    for (const std::string& part :
         {fs::path(first).filename().string(), fs::path(backup.LatestPath().toStdString()).filename().string(),
          std::string("WX 1234A"), std::string("Jan Nowak")})
        EXPECT_NE(Strip(text).find(Strip(part)), std::string::npos) << part << "\n" << text;

    // Cancelled at the job's lines: no save dialog. A folder that is not
    // there: said plainly.
    dialogs = 0;
    ReportDialog::Hook() = [](sReportJob&) { return false; };
    FileDialog::Hook() = [&](const sFileDialogRequest&) {
        ++dialogs;
        return QStringLiteral("/nonexistent-folder-zv/report.pdf");
    };
    rig.DataEx->ReportBtnClick();
    EXPECT_EQ(dialogs, 0);
    ReportDialog::Hook() = [](sReportJob&) { return true; };
    QString shown;
    rig.AnswerQuestion(false, true);
    rig.AcknowledgeInfo(&shown);
    rig.DataEx->ReportBtnClick();
    EXPECT_EQ(dialogs, 1);
    EXPECT_TRUE(shown.startsWith(Tr("The report could not be saved:"))) << shown.toStdString();
    ReportDialog::Hook() = nullptr;
    FileDialog::Hook() = nullptr;
}

// Without an ECU on the line the report is made from two vehicle files, with
// the test drive of a capture; a capture with lines that are not records
// makes no report.
TEST(ReportScreen, OfflineTwoVehicleFilesAndACapture) {
    testkit::cTempDir tmp;
    cScreenRig rig(48);
    ASSERT_TRUE(rig.Start());
    rig.Main->DataExBtnClick();
    rig.Sim.Stop();
    ASSERT_TRUE(cScreenRig::WaitUntil([&] { return !rig.Link->IsConnected(); }));
    sSettings before{}, now{};
    now.StepPosH2 = 33;
    now.LambdaType = 8;
    const std::string beforeFile = (tmp.Path / "old.zv2").string();
    const std::string nowFile = (tmp.Path / "2026-12-08_14-03-27+0100_ECU-2.5-3.0.zv2").string();
    const std::string good = (tmp.Path / "drive.dat").string(), bad = (tmp.Path / "bad.dat").string();
    const std::string pdf = (tmp.Path / "offline.pdf").string();
    ASSERT_TRUE(VehicleFile::Write(beforeFile, before));
    ASSERT_TRUE(VehicleFile::Write(nowFile, now));
    std::string records = "\"TPS\" \"LAMBDA\" \"RPM\" \"VALVE\"\r\n";
    for (int i = 0; i < 321; ++i) records += "\"1.000000\",\"0.500000\",\"2000.000000\",\"90.000000\"\r\n";
    std::ofstream(good, std::ios::binary) << records;
    std::ofstream(bad, std::ios::binary) << records << "garbage\r\n" << records;
    ReportDialog::Hook() = [](sReportJob& job) {
        job.Vehicle = QStringLiteral("KR 5555");
        return true;
    };
    for (const std::string& capture : {bad, good}) {
        SCOPED_TRACE(capture);
        std::vector<std::string> answers = {beforeFile, nowFile, capture, pdf};
        std::vector<sFileDialogRequest> requests;
        size_t next = 0;
        FileDialog::Hook() = [&](const sFileDialogRequest& r) {
            requests.push_back(r);
            return next < answers.size() ? QString::fromStdString(answers[next++]) : QString();
        };
        QString told, failed;
        rig.AcknowledgeInfo(&told);
        rig.AnswerQuestion(true, true);  // with a test drive
        // The second information dialog says why there is no report, or
        // where the report went.
        auto* timer = new QTimer(qApp);
        QObject::connect(timer, &QTimer::timeout, [&rig, &told, &failed, timer] {
            if (told.isEmpty()) return;
            timer->stop();
            timer->deleteLater();
            rig.AcknowledgeInfo(&failed);
        });
        timer->start(5);
        cScreenRig::Key(rig.DataEx, Qt::Key_F7);
        ASSERT_TRUE(cScreenRig::WaitUntil([&] { return !failed.isEmpty(); }));
        // The fitter sees which file is asked for, and the report is not
        // proposed into the folder of the vehicle files.
        ASSERT_GE(requests.size(), 2u);
        EXPECT_EQ(requests[0].Title, Tr("The settings before the job"));
        EXPECT_EQ(requests[1].Title, Tr("The settings now"));
        if (requests.size() == 4) {
            EXPECT_EQ(requests[3].Title, Tr("Save the report"));
            EXPECT_FALSE(requests[3].Folder.isEmpty());
            EXPECT_NE(QDir(requests[3].Folder).absolutePath(),
                      QDir(QString::fromStdString(tmp.Path.string())).absolutePath());
            EXPECT_TRUE(failed.contains(QString::fromStdString(pdf))) << failed.toStdString();
        }
        EXPECT_TRUE(
            told.startsWith(Tr("No ECU is connected:\nchoose the vehicle file of the settings before,\nthen "
                               "the one of the settings now.")))
            << told.toStdString();
        if (capture == bad) {
            EXPECT_EQ(next, 3u);
            EXPECT_TRUE(failed.contains(Tr("This is not a whole capture file."))) << failed.toStdString();
            EXPECT_FALSE(fs::exists(pdf));
            continue;
        }
        EXPECT_EQ(next, 4u);
        const std::string text = PdfText(pdf);
        Report::sInput in;
        in.Before = before;
        in.Now = now;
        in.IdVersion = 0x25;
        in.Version = 0x30;  // from the name of the file now
        int marked = 0;
        for (const Report::sRow& r : Report::Build(in).Rows) {
            EXPECT_NE(Strip(text).find(Strip(r.Name + r.Before + r.Now + (r.Changed ? "*" : ""))), std::string::npos)
                << r.Field << "\n"
                << text;
            marked += r.Changed;
        }
        EXPECT_EQ(marked, 2);
        EXPECT_NE(Strip(text).find(Strip(std::string(_("Records:")) + "321")), std::string::npos) << text;
        EXPECT_NE(Strip(text).find("KR5555"), std::string::npos) << text;
    }
    ReportDialog::Hook() = nullptr;
    FileDialog::Hook() = nullptr;
}
