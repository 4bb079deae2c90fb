// The data transfer screen against the ECU simulator.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMouseEvent>
#include <QTimer>

#include "link/Protocol.h"
#include "link/Settings.h"

#include "formats/VehicleFile.h"

#include "widgets/ShadowButton.h"
#include "widgets/Shape.h"
#include "widgets/VerticalLabel.h"

#include "kit/QtText.h"

#include "screens/DataExForm.h"
#include "screens/FileDialog.h"
#include "screens/MainForm.h"
#include "screens/SaveForm.h"

#include "tests/TestKit.h"

#include "ScreenRig.h"

namespace fs = std::filesystem;

namespace {

struct sDialogHook {
    explicit sDialogHook(QString path) {
        FileDialog::Hook() = [this, path](const sFileDialogRequest& request) {
            Request = request;
            ++Calls;
            return path;
        };
    }
    ~sDialogHook() { FileDialog::Hook() = nullptr; }
    sFileDialogRequest Request;
    int Calls = 0;
};

using testkit::Slurp;

fs::path TempPath(const char* name) {
    return fs::temp_directory_path() / (std::string(name) + "_" + std::to_string(::getpid()) + ".zv2");
}

void Move(QWidget* w, QPoint at = QPoint(5, 5)) {
    QMouseEvent e(QEvent::MouseMove, QPointF(at), w->mapToGlobal(QPointF(at)), Qt::NoButton, Qt::NoButton,
                  Qt::NoModifier);
    QCoreApplication::sendEvent(w, &e);
}

void OpenDataEx(cScreenRig& rig) {
    rig.Main->DataExBtnClick();
    ASSERT_TRUE(rig.DataEx->isVisible());
}

}  // namespace

class DataExStore : public ::testing::TestWithParam<int> {};

// F4 writes the settings with the progress dialog, which ends with the store.
TEST_P(DataExStore, StoreInEcuFollowsTheWriteToTheStore) {
    const int version = GetParam();
    cScreenRig rig(version);
    ASSERT_TRUE(rig.Start());
    OpenDataEx(rig);
    ASSERT_TRUE(rig.WaitIdle());
    WorkSettings.StepPosH1 = 99;
    rig.Main->ShowSettingsChanged(true);
    rig.Sim.ClearLog();
    cScreenRig::Key(rig.DataEx, Qt::Key_F4);  // returns when the dialog has closed
    EXPECT_FALSE(rig.Save->isVisible());
    EXPECT_EQ(rig.Save->TransferStatusLL->text(), Tr("Settings has been saved in ECU"));
    EXPECT_TRUE(TSaveForm::WriteDone);
    const auto commands = rig.Commands();
    ASSERT_FALSE(commands.empty());
    EXPECT_NE(std::find(commands.begin(), commands.end(), 0x63), commands.end());
    int writes = 0;
    for (uint8_t c : commands) writes += (c & 0xF0) == 0xC0;
    EXPECT_EQ(writes, Ecu::NewProtocol(version) ? 0 : Ecu::OldWriteCount(version));
    if (!Ecu::NewProtocol(version)) {
        EXPECT_EQ(rig.Sim.Stored()[7], 99);
    }
    EXPECT_FALSE(SettingsChanged());
    EXPECT_EQ(rig.Main->DataExBtn->OutlineWidth(), 2);
}

INSTANTIATE_TEST_SUITE_P(Versions, DataExStore, ::testing::Values(22, 47, 48));

TEST(DataExScreen, StoreWhileTheLinkIsBusyDoesNothing) {
    cScreenRig rig(48);
    ASSERT_TRUE(rig.Start());
    OpenDataEx(rig);
    ASSERT_TRUE(rig.WaitIdle());
    ASSERT_TRUE(rig.Link->PostRequest(RQ_VIS_POLL));  // runs until stopped
    // Refused at once: no dialog and no waiting for the poll.
    QElapsedTimer took;
    took.start();
    rig.DataEx->SaveToECUBtnClick();
    EXPECT_LT(took.elapsed(), 1000);
    EXPECT_FALSE(rig.Save->isVisible());
    rig.Link->StopRequest();
    ASSERT_TRUE(rig.WaitIdle());
    for (uint8_t c : rig.Commands()) EXPECT_NE(c, 0x63);
}

TEST(DataExScreen, FactorySettingsSendsTheCommandBeforeTheRead) {
    cScreenRig rig(48);
    auto custom = cEcuSimulator::FactorySettings(48);
    custom[4] = 70;  // StepPosMin
    custom[12] = 3;  // LPGLevType
    rig.Sim.SetSettings(custom);
    ASSERT_TRUE(rig.Start());
    ASSERT_EQ(WorkSettings.StepPosMin, 70);
    OpenDataEx(rig);
    EXPECT_TRUE(rig.DataEx->LoadFromECUBtn->isEnabled());
    ASSERT_TRUE(rig.WaitIdle());
    WorkSettings.StepPosMax = 200;  // an unsaved change, overwritten by the read
    rig.Sim.ClearLog();
    const int loaded = rig.Loaded;
    rig.AnswerQuestion(true);
    cScreenRig::Key(rig.DataEx, Qt::Key_F5);
    ASSERT_TRUE(cScreenRig::WaitUntil([&] { return rig.Loaded > loaded; }));
    const auto frames = rig.Sim.Received();
    std::vector<std::vector<uint8_t>> settingsFrames;
    for (const auto& f : frames)
        if (f.size() == 3 && (f[0] == 0xCF || (f[0] >= 0xE0 && f[0] <= 0xEF))) settingsFrames.push_back(f);
    ASSERT_EQ(settingsFrames.size(), 14u);
    EXPECT_EQ(settingsFrames[0], (std::vector<uint8_t>{0xCF, 0xB4, 0xAC}));
    for (int i = 0; i < 13; ++i) EXPECT_EQ(settingsFrames[1 + i][0], 0xE0 + i);
    EXPECT_EQ(WorkSettings, EcuSettings);
    EXPECT_EQ(WorkSettings.StepPosMin, 50);
    EXPECT_EQ(WorkSettings.StepPosMax, 150);
    EXPECT_EQ(WorkSettings.LPGLevType, 1);
}

TEST(DataExScreen, FactorySettingsBelow48DoesNothing) {
    cScreenRig rig(47);
    ASSERT_TRUE(rig.Start());
    OpenDataEx(rig);
    EXPECT_FALSE(rig.DataEx->LoadFromECUBtn->isEnabled());
    // Not enabled by the next served request either; the click does nothing.
    rig.DataEx->LinkIdle(false);
    EXPECT_FALSE(rig.DataEx->SaveToECUBtn->isEnabled());
    rig.DataEx->LinkIdle(true);
    EXPECT_FALSE(rig.DataEx->LoadFromECUBtn->isEnabled());
    EXPECT_TRUE(rig.DataEx->SaveToECUBtn->isEnabled());
    rig.Sim.ClearLog();
    const int loaded = rig.Loaded;
    cScreenRig::Key(rig.DataEx, Qt::Key_F5);
    ASSERT_TRUE(rig.WaitLive(8));
    EXPECT_EQ(rig.Loaded, loaded);
    for (uint8_t c : rig.Commands()) EXPECT_FALSE(c == 0xCF || (c & 0xF0) == 0xE0) << int(c);
}

class DataExLoad : public ::testing::TestWithParam<int> {};

// Loading a file fills the working image; from 48 the twelve values go out at once.
TEST_P(DataExLoad, LoadFromFileQueuesTwelveUpdatesFrom48) {
    const int version = GetParam();
    cScreenRig rig(version);
    ASSERT_TRUE(rig.Start());
    OpenDataEx(rig);
    ASSERT_TRUE(rig.WaitIdle());
    const fs::path path = TempPath("zv_load");
    {
        std::ofstream out(path, std::ios::binary);
        // closed, switch, type, div, level, min rpm, max rpm, min, max, h0, h1, h2, lambda, cyl, coil
        out << "200\r\n100\r\n1\r\n2\r\n3\r\n30\r\n11\r\n40\r\n160\r\n120\r\n110\r\n100\r\n2\r\n6\r\n3\r\n";
    }
    const sSettings ecuBefore = EcuSettings;
    rig.Sim.ClearLog();
    sDialogHook hook(QString::fromStdString(path.string()));
    cScreenRig::Key(rig.DataEx, Qt::Key_F2);
    EXPECT_FALSE(hook.Request.Save);
    EXPECT_EQ(hook.Request.DefaultSuffix, QStringLiteral("zv2"));
    EXPECT_TRUE(hook.Request.Filter.contains(QStringLiteral("*.zv2")));
    EXPECT_EQ(WorkSettings.TPSClosedLevel, 200);
    EXPECT_EQ(WorkSettings.CoilCount, 3);
    EXPECT_EQ(EcuSettings, ecuBefore);
    EXPECT_TRUE(SettingsChanged());

    const std::vector<std::pair<int, int>> expected{{0, 2},   {1, 100}, {2, 30},  {3, 11}, {4, 40}, {5, 160},
                                                    {6, 120}, {7, 110}, {8, 100}, {9, 6},  {10, 3}, {12, 3}};
    if (Ecu::NewProtocol(version)) {
        ASSERT_TRUE(cScreenRig::WaitUntil([&] { return rig.Writes().size() >= 12; }));
        cScreenRig::Pump(300);
        EXPECT_EQ(rig.Writes(), expected);
    } else {
        ASSERT_TRUE(rig.WaitLive(8));
        EXPECT_TRUE(rig.Writes().empty());
    }
    fs::remove(path);
}

INSTANTIATE_TEST_SUITE_P(Versions, DataExLoad, ::testing::Values(47, 48));

// A file of the older kind (13 lines) leaves the ECU's cylinder and coil
// counts as they are, sends neither, and says so.
TEST(DataExScreen, AnOlderFileKeepsTheEcusCountsAndSaysSo) {
    cScreenRig rig(48);
    ASSERT_TRUE(rig.Start());
    OpenDataEx(rig);
    ASSERT_TRUE(rig.WaitIdle());
    const fs::path path = TempPath("zv_old");
    std::ofstream(path, std::ios::binary)
        << "200\r\n100\r\n1\r\n2\r\n3\r\n30\r\n11\r\n40\r\n160\r\n120\r\n110\r\n100\r\n2\r\n";
    WorkSettings.CylCount = 6;  // as if the ECU held 6 and 3
    WorkSettings.CoilCount = 3;
    rig.Sim.ClearLog();
    QString shown;
    rig.AcknowledgeInfo(&shown);
    sDialogHook hook(QString::fromStdString(path.string()));
    rig.DataEx->LoadFromFileBtnClick();
    EXPECT_EQ(shown, Tr("This file is of an older kind without the cylinder and coil counts:\nthe ECU keeps its own."));
    EXPECT_EQ(WorkSettings.CylCount, 6);
    EXPECT_EQ(WorkSettings.CoilCount, 3);
    EXPECT_EQ(WorkSettings.TPSClosedLevel, 200);
    ASSERT_TRUE(cScreenRig::WaitUntil([&] { return rig.Writes().size() >= 10; }));
    cScreenRig::Pump(300);
    EXPECT_EQ(rig.Writes().size(), 10u);
    for (const auto& [param, value] : rig.Writes()) EXPECT_TRUE(param != P_CYL_COUNT && param != P_COIL_COUNT) << param;
    fs::remove(path);
}

// A vehicle file the program was started with (a double-click on it) is
// loaded on the data transfer screen, before the ECU is read or after, and
// held over what the ECU holds: nothing reaches the ECU until Store in ECU
// and the fitter's Yes.
struct sOpenedCase {
    int version;
    bool beforeRead;
};
class DataExOpened : public ::testing::TestWithParam<sOpenedCase> {};

TEST_P(DataExOpened, TheOpenedFileIsShownAndSentOnlyWhenStored) {
    const sOpenedCase c = GetParam();
    cScreenRig rig(c.version);
    const fs::path path = TempPath("zv_opened");
    // closed, switch, type, div, level, min rpm, max rpm, min, max, h0, h1, h2, lambda, cyl, coil
    std::ofstream(path, std::ios::binary)
        << "200\r\n100\r\n1\r\n2\r\n3\r\n30\r\n11\r\n40\r\n160\r\n120\r\n110\r\n100\r\n2\r\n6\r\n3\r\n";
    sSettings file;
    ASSERT_TRUE(VehicleFile::LoadText(Slurp(path), file));
    const auto ecuHeld = rig.Sim.Settings(), ecuStored = rig.Sim.Stored();
    const QString name = QString::fromStdString(path.filename().string());
    if (c.beforeRead)
        rig.BeforeConnect = [&] {
            OpenDataEx(rig);
            EXPECT_TRUE(rig.DataEx->OpenFile(QString::fromStdString(path.string())));
        };
    ASSERT_TRUE(rig.Start());
    if (!c.beforeRead) {
        ASSERT_TRUE(rig.WaitIdle());
        OpenDataEx(rig);
        ASSERT_TRUE(rig.DataEx->OpenFile(QString::fromStdString(path.string())));
    }
    ASSERT_TRUE(rig.WaitIdle());
    // Some idle polls: an update queued by the load would have gone out.
    ASSERT_TRUE(rig.WaitLive(8));
    EXPECT_EQ(WorkSettings, file);
    EXPECT_NE(EcuSettings, file);
    EXPECT_TRUE(rig.DataEx->isVisible());
    EXPECT_TRUE(rig.DataEx->windowTitle().endsWith(name)) << rig.DataEx->windowTitle().toStdString();
    EXPECT_EQ(rig.DataEx->KeptLL->text(), Tr("The settings of the opened file are kept in the program; "
                                             "none of them has been sent to this ECU."));
    EXPECT_TRUE(rig.Writes().empty());
    for (uint8_t command : rig.Commands()) EXPECT_NE(command, 0x63);
    EXPECT_EQ(rig.Sim.Settings(), ecuHeld);
    EXPECT_EQ(rig.Sim.Stored(), ecuStored);

    // Store in ECU asks first; Yes sends the file and stores it.
    QStringList asked;
    rig.PressInQuestions({Qt::Key_Y}, &asked);
    cScreenRig::Key(rig.DataEx, Qt::Key_F4);
    ASSERT_EQ(asked.size(), 1);
    EXPECT_EQ(asked[0], Tr("These settings come\nfrom the opened file,\nnot from this ECU.\nSend them to this ECU?"));
    ASSERT_TRUE(rig.WaitIdle());
    EXPECT_EQ(rig.Sim.Stored()[6], 120);  // the file's step positions
    EXPECT_EQ(rig.Sim.Stored()[7], 110);
    EXPECT_FALSE(rig.DataEx->windowTitle().endsWith(name));
    fs::remove(path);
}

INSTANTIATE_TEST_SUITE_P(Cases, DataExOpened,
                         ::testing::Values(sOpenedCase{47, true}, sOpenedCase{48, true}, sOpenedCase{48, false}));

// A file that cannot be read is said plainly, and nothing changes.
TEST(DataExScreen, AnOpenedFileThatCannotBeReadIsSaidAndChangesNothing) {
    cScreenRig rig(48);
    ASSERT_TRUE(rig.Start());
    OpenDataEx(rig);
    ASSERT_TRUE(rig.WaitIdle());
    const sSettings before = WorkSettings;
    QString shown;
    rig.AcknowledgeInfo(&shown);
    EXPECT_FALSE(rig.DataEx->OpenFile(QStringLiteral("/nonexistent-folder-zv/vehicle.zv2")));
    EXPECT_TRUE(shown.startsWith(Tr("Settings file could not be loaded:") + QStringLiteral("\nvehicle.zv2\n")))
        << shown.toStdString();
    EXPECT_EQ(WorkSettings, before);
    EXPECT_FALSE(rig.Link->HoldsOpenedFile());
}

TEST(DataExScreen, SaveToFileWritesTheWorkingImageAndReportsFailure) {
    cScreenRig rig(48);
    ASSERT_TRUE(rig.Start());
    OpenDataEx(rig);
    const fs::path path = TempPath("zv_save");
    WorkSettings.StepPosH2 = 77;
    {
        sDialogHook hook(QString::fromStdString(path.string()));
        cScreenRig::Key(rig.DataEx, Qt::Key_F3);
        EXPECT_TRUE(hook.Request.Save);
        EXPECT_TRUE(hook.Request.ConfirmOverwrite);
        EXPECT_EQ(hook.Request.ProposedName, QStringLiteral("vehicle"));
        EXPECT_EQ(hook.Request.DefaultSuffix, QStringLiteral("zv2"));
    }
    EXPECT_EQ(Slurp(path), VehicleFile::Format(WorkSettings));
    EXPECT_FALSE(rig.Info->isVisible());
    {
        // A folder that does not exist: the information dialog says so.
        sDialogHook hook(QStringLiteral("/nonexistent-folder-zv/vehicle.zv2"));
        QString shown;
        rig.AcknowledgeInfo(&shown);
        rig.DataEx->SaveToFileBtnClick();
        EXPECT_EQ(shown, Tr("Settings file could not be saved!"));
    }
    {
        sDialogHook cancel{QString()};
        rig.DataEx->SaveToFileBtnClick();
        rig.DataEx->LoadFromFileBtnClick();
        EXPECT_EQ(cancel.Calls, 2);
    }
    fs::remove(path);
}

TEST(DataExScreen, HoverPaintsTheButtonUnderTheMouseAndBackgroundPaintsAllBlack) {
    cScreenRig rig(48);
    ASSERT_TRUE(rig.Start());
    OpenDataEx(rig);
    ASSERT_TRUE(rig.WaitIdle());
    TDataExForm* f = rig.DataEx;
    const std::vector<cShadowButton*> buttons{f->LoadFromFileBtn, f->SaveToFileBtn, f->SaveToECUBtn, f->LoadFromECUBtn,
                                              f->ExitBtn};
    // The title, the picture, the status panel and the bare form are background.
    const std::vector<QWidget*> background{f->VrLabel1, f->Image1, f->StatusLL, f->StatusSH, f};
    for (cShadowButton* hovered : buttons) {
        for (QWidget* w : background) {
            Move(hovered);
            for (cShadowButton* b : buttons)
                EXPECT_EQ(b->Fill(), b == hovered ? cShadowButton::HoverFill() : cShadowButton::NormalFill())
                    << b->objectName().toStdString();
            Move(w);
            for (cShadowButton* b : buttons)
                EXPECT_EQ(b->Fill(), cShadowButton::NormalFill())
                    << b->objectName().toStdString() << " after a move over " << w->objectName().toStdString();
        }
    }
}

// A file the tolerant reader would take but that is not well-formed: the
// screen asks first (No selected, Enter answers No); No loads and sends
// nothing, Yes loads it as the reader reads it. A sound file is not asked about.
TEST(DataExScreen, DamagedFileIsLoadedOnlyAfterAQuestion) {
    cScreenRig rig(48);
    ASSERT_TRUE(rig.Start());
    OpenDataEx(rig);
    ASSERT_TRUE(rig.WaitIdle());
    const fs::path path = TempPath("zv_damaged");
    std::ofstream(path, std::ios::binary) << "200\r\n100\r\n1\r\n2\r\n3\r\nab\r\n11\r\n";
    sDialogHook hook(QString::fromStdString(path.string()));
    const sSettings before = WorkSettings;
    rig.Sim.ClearLog();

    QString asked;
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, [&] {
        if (!rig.Question->IsModalRunning()) return;
        timer->stop();
        asked = rig.Question->TextLL->text();
        cScreenRig::Key(rig.Question, Qt::Key_Return);  // the default: No
    });
    timer->start(5);
    cScreenRig::Key(rig.DataEx, Qt::Key_F2);
    delete timer;
    EXPECT_EQ(asked, QStringLiteral("This file is damaged:\nline 6 is not a number.\nLoad it anyway?"));
    EXPECT_EQ(WorkSettings, before);
    ASSERT_TRUE(rig.WaitLive(8));
    EXPECT_TRUE(rig.Writes().empty());

    rig.AnswerQuestion(true, true);
    cScreenRig::Key(rig.DataEx, Qt::Key_F2);
    EXPECT_EQ(WorkSettings.TPSClosedLevel, 200);
    EXPECT_EQ(WorkSettings.MinRPMCode, 27);             // the reader's default from line 6 on
    EXPECT_EQ(WorkSettings.CylCount, before.CylCount);  // not in the file: kept and not sent
    ASSERT_TRUE(cScreenRig::WaitUntil([&] { return rig.Writes().size() >= 10; }));

    std::ofstream(path, std::ios::binary) << VehicleFile::Format(before);
    cScreenRig::Key(rig.DataEx, Qt::Key_F2);  // no question: it would never be answered
    EXPECT_EQ(WorkSettings, before);
    fs::remove(path);
}

// The line drops after three of the ten write frames: the fitter is told
// that the settings were NOT stored, after the progress dialog has closed,
// and the main menu still marks the settings as not stored.
TEST(DataExScreen, StoreCutShortIsReportedAsNotStored) {
    // The fault is set as the write starts: no frame of it has gone yet.
    // (Declared before the rig, which stops the link that calls it.)
    struct sCutter : cLinkListener {
        cEcuSimulator* Sim = nullptr;
        void LinkEvent() override {
            if (Sim && LinkRequest == RQ_WRITE_SETTINGS && LinkPhase == Phase::Start)
                Sim->SetFault(eSimFault::LineDrop, 3);
        }
    } cutter;
    cScreenRig rig(22);
    ASSERT_TRUE(rig.Start());
    OpenDataEx(rig);
    ASSERT_TRUE(rig.WaitIdle());
    WorkSettings.StepPosH1 = uint8_t(EcuSettings.StepPosH1 + 3);
    rig.Main->ShowSettingsChanged(true);
    cutter.Sim = &rig.Sim;
    rig.Link->AddListener(&cutter);
    rig.Sim.ClearLog();
    QString told;
    rig.AcknowledgeInfo(&told);
    cScreenRig::Key(rig.DataEx, Qt::Key_F4);  // returns when the dialogs have closed
    EXPECT_FALSE(TSaveForm::WriteDone);
    EXPECT_TRUE(told.contains(QStringLiteral("NOT stored"))) << told.toStdString();
    EXPECT_EQ(rig.Writes().size(), 3u);
    EXPECT_TRUE(SettingsChanged());
    EXPECT_EQ(rig.Main->DataExBtn->OutlineWidth(), 6);
    EXPECT_EQ(rig.DataEx->StatusLL->text(), Tr("COM port error!"));
}

// The port is changed to an ECU of another version while there are unsaved
// settings: they are kept, the main menu says once, without a dialog, that
// this looks like another vehicle, and the marker stays until they are
// stored, which the fitter confirms first.
TEST(DataExScreen, SettingsKeptForAnotherEcuAreSaidOnTheMainMenu) {
    cScreenRig rig(22);
    ASSERT_TRUE(rig.Start());
    sSimOptions o;
    o.Version = 48;
    o.Instant = true;
    cEcuSimulator other(o);
    other.Start();
    ASSERT_TRUE(rig.WaitIdle());
    WorkSettings.StepPosH2 = uint8_t(EcuSettings.StepPosH2 + 5);
    const sSettings kept = WorkSettings;
    rig.Main->ShowSettingsChanged(true);
    EXPECT_FALSE(rig.Main->KeptNoticeShown());

    const int loaded = rig.Loaded;
    rig.Link->SetPortName(other.DevicePath());
    ASSERT_TRUE(cScreenRig::WaitUntil([&] { return rig.Loaded > loaded; }, 20000));
    EXPECT_EQ(WorkSettings, kept);
    EXPECT_TRUE(rig.Main->KeptNoticeShown());
    EXPECT_FALSE(rig.Main->NoticeLL->isHidden());
    EXPECT_FALSE(rig.Question->IsModalRunning());
    EXPECT_EQ(rig.Main->DataExBtn->OutlineWidth(), 6);

    OpenDataEx(rig);
    rig.AnswerQuestion(true, true);
    ASSERT_TRUE(rig.WaitIdle());
    cScreenRig::Key(rig.DataEx, Qt::Key_F4);  // returns when the progress dialog has closed
    ASSERT_TRUE(TSaveForm::WriteDone);
    EXPECT_FALSE(rig.Link->HoldsKeptEdits());
    EXPECT_EQ(other.Stored()[8], kept.StepPosH2);  // parameter 8: StepPosH2
    EXPECT_FALSE(rig.Main->KeptNoticeShown());
    EXPECT_EQ(rig.Main->DataExBtn->OutlineWidth(), 2);
    rig.Link->Shutdown([] { QCoreApplication::processEvents(QEventLoop::AllEvents, 5); });
}
