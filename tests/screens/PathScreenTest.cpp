// A fitter whose folders have letters outside ASCII: what the screens save,
// load, capture and report goes to and comes from that folder, as the file
// dialog names it. The names cross from Qt to the file code as UTF-8
// (kit/QtText.h ToPath), which on Windows is what the Win32 file code
// widens.
#include <gtest/gtest.h>

#include <filesystem>

#include <QString>

#include "core/Backup.h"

#include "formats/VehicleFile.h"

#include "kit/QtText.h"

#include "screens/AutoBackup.h"
#include "screens/DataExForm.h"
#include "screens/FileDialog.h"
#include "screens/ReportDialog.h"
#include "screens/VisForm.h"

#include "tests/TestKit.h"

#include "ScreenRig.h"

namespace fs = std::filesystem;

namespace {

// The file dialog answers with the paths given, one a call.
struct sAnswers {
    explicit sAnswers(std::vector<QString> paths) : Paths(std::move(paths)) {
        FileDialog::Hook() = [this](const sFileDialogRequest&) {
            return Next < Paths.size() ? Paths[Next++] : QString();
        };
    }
    ~sAnswers() { FileDialog::Hook() = nullptr; }
    std::vector<QString> Paths;
    size_t Next = 0;
};

TEST(PathScreen, SaveLoadCaptureAndReportInAFolderWithLettersOutsideAscii) {
    testkit::cTempDir tmp;
    const QString folder = QString::fromStdString(tmp.Path.string()) + QStringLiteral("/Jürgen Użytkownik Программы");
    const fs::path native = fs::path(tmp.Path) / fs::u8path("Jürgen Użytkownik Программы");
    ASSERT_TRUE(fs::create_directories(native));
    cAutoBackup backup(ToPath(folder + QStringLiteral("/backups")));
    cScreenRig rig(48);
    rig.ExtraListeners = {&backup};
    ASSERT_TRUE(rig.Start());
    ASSERT_TRUE(cScreenRig::WaitUntil([&] {
        backup.Flush();
        return !backup.FirstPath().isEmpty();
    }));
    ASSERT_TRUE(rig.WaitIdle());
    rig.Main->DataExBtnClick();
    ASSERT_TRUE(rig.DataEx->isVisible());

    // Saved and loaded back.
    const sSettings saved = WorkSettings;
    {
        sAnswers answer({folder + QStringLiteral("/Фольксваген.zv2")});
        rig.DataEx->SaveToFileBtnClick();
    }
    ASSERT_TRUE(fs::exists(native / fs::u8path("Фольксваген.zv2")));
    EXPECT_EQ(testkit::Slurp((native / fs::u8path("Фольксваген.zv2")).string()), VehicleFile::Format(saved));
    WorkSettings.StepPosH2 = uint8_t(saved.StepPosH2 + 1);
    {
        sAnswers answer({folder + QStringLiteral("/Фольксваген.zv2")});
        rig.DataEx->LoadFromFileBtnClick();
    }
    EXPECT_EQ(WorkSettings.StepPosH2, saved.StepPosH2);
    ASSERT_TRUE(rig.WaitIdle());

    // The report from the backups kept in that folder.
    ReportDialog::Hook() = [](sReportJob& job) {
        job.Vehicle = QStringLiteral("WX 1234A");
        return true;
    };
    QString said;
    {
        sAnswers answer({folder + QStringLiteral("/Bericht für Jürgen.pdf")});
        rig.AnswerQuestion(false, true);  // no test drive
        rig.AcknowledgeInfo(&said);
        rig.DataEx->ReportBtnClick();
    }
    ReportDialog::Hook() = nullptr;
    EXPECT_TRUE(said.startsWith(QStringLiteral("The report was saved:"))) << said.toStdString();
    EXPECT_TRUE(fs::exists(native / fs::u8path("Bericht für Jürgen.pdf"))) << said.toStdString();
    rig.DataEx->hide();

    // A capture.
    rig.Main->VisBtnClick();
    ASSERT_TRUE(rig.Vis->isVisible());
    {
        sAnswers answer({folder + QStringLiteral("/Probefahrt über Kraków.dat")});
        rig.Vis->LogBtnClick();
    }
    ASSERT_TRUE(rig.Vis->Capturing());
    ASSERT_TRUE(rig.WaitLive(12));
    rig.Vis->LogBtnClick();
    EXPECT_FALSE(rig.Vis->Capturing());
    const fs::path capture = native / fs::u8path("Probefahrt über Kraków.dat");
    ASSERT_TRUE(fs::exists(capture));
    EXPECT_EQ(testkit::Slurp(capture.string()).rfind("\"TPS\" \"LAMBDA\" \"RPM\" \"VALVE\"\r\n", 0), 0u);
    rig.Vis->hide();
}

}  // namespace
