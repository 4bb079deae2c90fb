// Automatic backups in the program: what a completed read leaves in the
// backup folder, a folder that cannot be written, the factory settings
// question and the file dialogs' place for the backups.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QTimer>
#include <QUrl>

#include "core/Backup.h"

#include "kit/QtText.h"

#include "screens/AutoBackup.h"
#include "screens/DataExForm.h"
#include "screens/FileDialog.h"
#include "screens/MainForm.h"
#include "screens/QuestionForm.h"

#include "tests/TestKit.h"

#include "ScreenRig.h"

namespace fs = std::filesystem;

namespace {

// An ECU of version 48 with settings far from the factory's, by parameter.
std::array<uint8_t, 16> Unusual() {
    auto s = cEcuSimulator::FactorySettings(48);
    s[0] = 2;                                                 // lambda type
    s[2] = 30, s[3] = 12;                                     // speed codes
    s[4] = 61, s[5] = 141, s[6] = 111, s[7] = 96, s[8] = 86;  // positions
    s[9] = 6, s[10] = 3, s[12] = 1;                           // cylinders, coils, level sensor
    return s;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = text.find("\r\n", at);
        if (end == std::string::npos) {
            out.push_back(text.substr(at) + "<no CR LF>");
            break;
        }
        out.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    return out;
}

// Reads the settings once more and waits until its backup has been dealt with.
bool ReadAgain(cScreenRig& rig, cAutoBackup& backup) {
    const int loaded = rig.Loaded, done = backup.Done();
    if (!cScreenRig::WaitUntil([&] { return rig.Link->PostRequest(RQ_READ_SETTINGS); })) return false;
    return cScreenRig::WaitUntil([&] {
        backup.Flush();
        return rig.Loaded > loaded && backup.Done() > done;
    });
}

// Answers the next question with a key once it is up; its text goes to `text`.
void PressInQuestion(cScreenRig& rig, int key, QString* text) {
    auto* timer = new QTimer(qApp);
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [&rig, timer, key, text] {
        if (!rig.Question || !rig.Question->IsModalRunning()) return;
        timer->stop();
        timer->deleteLater();
        *text = rig.Question->TextLL->text();
        cScreenRig::Key(rig.Question, key);
    });
    timer->start();
}

}  // namespace

// The values read, in the vehicle file's line order; the same values once
// more make no file; changed values make a second one.
TEST(AutoBackup, EachReadIsKeptOnceInVehicleFileOrder) {
    testkit::cTempDir tmp;
    const std::string folder = (tmp.Path / "zvbasic" / "backups").string();
    cAutoBackup backup(folder);
    cScreenRig rig(48);
    rig.Sim.SetSettings(Unusual());
    rig.ExtraListeners = {&backup};
    ASSERT_TRUE(rig.Start());
    ASSERT_TRUE(cScreenRig::WaitUntil([&] {
        backup.Flush();
        return backup.Done() == 1;
    }));
    auto list = Backup::List(folder);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].Identity, "2.5/3.0");
    EXPECT_EQ(backup.LatestPath().toStdString(), list[0].Path);
    const auto lines = Lines(testkit::Slurp(list[0].Path));
    ASSERT_EQ(lines.size(), 15u);
    // Line 2 the switching level, then level sensor, speeds, positions,
    // lambda, cylinders and coils as the ECU holds them.
    const std::vector<std::pair<int, const char*>> expected{{1, "101"}, {4, "1"},   {5, "30"},  {6, "12"},
                                                            {7, "61"},  {8, "141"}, {9, "111"}, {10, "96"},
                                                            {11, "86"}, {12, "2"},  {13, "6"},  {14, "3"}};
    for (const auto& [line, value] : expected) EXPECT_EQ(lines[size_t(line)], value) << "line " << line + 1;

    ASSERT_TRUE(ReadAgain(rig, backup));
    EXPECT_EQ(Backup::List(folder).size(), 1u);
    EXPECT_EQ(backup.LatestPath().toStdString(), list[0].Path);

    auto changed = Unusual();
    changed[6] = 99;  // StepPosH0
    rig.Sim.SetSettings(changed);
    ASSERT_TRUE(ReadAgain(rig, backup));
    list = Backup::List(folder);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(Lines(testkit::Slurp(list[0].Path))[9], "99");
    EXPECT_EQ(backup.LatestPath().toStdString(), list[0].Path);
    EXPECT_EQ(backup.Failures(), 0);
}

TEST(AutoBackup, UnwritableFolderIsToldOnceAndTheLinkGoesOn) {
    testkit::cTempDir tmp;
    std::ofstream(tmp.Path / "zvbasic") << "a file where the folder should be";
    cAutoBackup backup((tmp.Path / "zvbasic" / "backups").string());
    cScreenRig rig(48);
    rig.ExtraListeners = {&backup};
    int told = 0;
    backup.OnFailure = [&](const QString& reason) {
        ++told;
        rig.Main->ShowBackupFailure(reason);
    };
    ASSERT_TRUE(rig.Start());
    ASSERT_TRUE(cScreenRig::WaitUntil([&] {
        backup.Flush();
        return backup.Done() >= 1;
    }));
    ASSERT_TRUE(ReadAgain(rig, backup));
    ASSERT_TRUE(ReadAgain(rig, backup));
    EXPECT_GE(backup.Failures(), 2);
    EXPECT_EQ(told, 1);
    EXPECT_TRUE(backup.LatestPath().isEmpty());
    EXPECT_FALSE(rig.Main->BackupLL->isHidden());
    EXPECT_TRUE(rig.Main->BackupLL->text().contains(QStringLiteral("zvbasic")))
        << rig.Main->BackupLL->text().toStdString();
    EXPECT_TRUE(rig.Main->IdentityVisible());
    EXPECT_TRUE(rig.WaitLive(6));
}

// F5 F5 from the main menu: the question first, No by default; only Yes
// sends the factory settings command. The question names the backup.
TEST(AutoBackup, FactorySettingsAskFirstAndNameTheBackup) {
    testkit::cTempDir tmp;
    cAutoBackup backup(tmp.Path.string());
    cScreenRig rig(48);
    rig.ExtraListeners = {&backup};
    ASSERT_TRUE(rig.Start());
    ASSERT_TRUE(cScreenRig::WaitUntil([&] {
        backup.Flush();
        return !backup.LatestPath().isEmpty();
    }));
    ASSERT_TRUE(rig.WaitIdle());
    cScreenRig::Key(rig.Main, Qt::Key_F5);
    ASSERT_TRUE(rig.DataEx->isVisible());
    rig.Sim.ClearLog();

    for (int key : {int(Qt::Key_Return), int(Qt::Key_Escape), int('N')}) {
        QString asked;
        PressInQuestion(rig, key, &asked);
        cScreenRig::Key(rig.DataEx, Qt::Key_F5);  // returns once answered
        EXPECT_TRUE(asked.contains(QFileInfo(backup.LatestPath()).fileName())) << asked.toStdString();
    }
    ASSERT_TRUE(rig.WaitLive(8));
    for (uint8_t c : rig.Commands()) EXPECT_NE(c, 0xCF);

    const int loaded = rig.Loaded;
    QString asked;
    PressInQuestion(rig, 'T', &asked);
    cScreenRig::Key(rig.DataEx, Qt::Key_F5);
    ASSERT_TRUE(cScreenRig::WaitUntil([&] { return rig.Loaded > loaded; }));
    const auto commands = rig.Commands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), 0xCF), 1);
}

// The open and save dialogs of the data transfer screen list the backup
// folder under its own name; the real dialog keeps the usual places and still
// opens where it would.
TEST(AutoBackup, VehicleFileDialogsListTheBackupFolder) {
    testkit::cTempDir tmp;
    const QString folder = QString::fromStdString((tmp.Path / "zvbasic" / "backups").string());
    cAutoBackup backup(folder.toStdString());
    cScreenRig rig(48);
    ASSERT_TRUE(rig.Start());
    std::vector<sFileDialogRequest> requests;
    FileDialog::Hook() = [&](const sFileDialogRequest& r) {
        requests.push_back(r);
        return QString();
    };
    cScreenRig::Key(rig.DataEx, Qt::Key_F2);
    cScreenRig::Key(rig.DataEx, Qt::Key_F3);
    FileDialog::Hook() = nullptr;
    ASSERT_EQ(requests.size(), 2u);
    for (const sFileDialogRequest& r : requests) {
        ASSERT_EQ(r.Places.size(), 1u);
        EXPECT_EQ(r.Places[0].Path, folder);
        EXPECT_EQ(r.Places[0].Name, Tr("ECU backups"));
        EXPECT_TRUE(r.Folder.isEmpty());  // where it started before
    }

    // The real dialog.
    sFileDialogRequest request = requests[0];
    request.Folder = QString::fromStdString(tmp.Path.string());
    QList<QUrl> shown;
    QString opened, name;
    auto* timer = new QTimer(qApp);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [&, timer] {
        auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!d) return;
        timer->stop();
        timer->deleteLater();
        shown = d->sidebarUrls();
        opened = d->directory().absolutePath();
        name = FileDialog::PlaceName(folder);
        d->reject();
    });
    timer->start();
    EXPECT_TRUE(FileDialog::Run(nullptr, request).isEmpty());
    EXPECT_TRUE(shown.contains(QUrl::fromLocalFile(folder)));
    EXPECT_GE(shown.size(), 2);  // beside the usual places
    EXPECT_EQ(opened, request.Folder);
    EXPECT_EQ(name, Tr("ECU backups"));
}
