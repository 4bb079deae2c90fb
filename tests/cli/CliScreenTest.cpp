// zvbasic-cli next to the data transfer screen, against ECUs that hold the
// same settings (the screen's on the simulator's line, the command's in
// memory, in this process): the file it reads is the file the screen saves,
// and a restore sends the frames of "Load from file" followed by "Store in
// ECU".
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include <QCoreApplication>

#include "link/Settings.h"

#include "screens/DataExForm.h"
#include "screens/FileDialog.h"
#include "screens/Globals.h"

#include "MemoryCli.h"
#include "ScreenRig.h"

namespace fs = std::filesystem;
using Frame = std::vector<uint8_t>;

namespace {

std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

fs::path TempPath(const std::string& name) {
    return fs::temp_directory_path() / (name + "_" + std::to_string(::getpid()) + ".zv2");
}

// The file dialogs answer with `path`.
struct sDialogAnswer {
    explicit sDialogAnswer(const fs::path& path) {
        FileDialog::Hook() = [path](const sFileDialogRequest&) { return QString::fromStdString(path.string()); };
    }
    ~sDialogAnswer() { FileDialog::Hook() = nullptr; }
};

// Ends the rig's link, so that nothing of the screens' link runs beside the
// command's.
void ReleasePort(cScreenRig& rig) {
    rig.Link->Shutdown([] { QCoreApplication::processEvents(QEventLoop::AllEvents, 5); });
    rig.Link.reset();
    CommThread = nullptr;
}

// The ECU in memory at `version` holding `settings`.
std::unique_ptr<linktest::cMemoryEcu> MemoryEcu(int version, const std::array<uint8_t, 16>& settings) {
    sSimOptions o;
    o.Version = version;
    o.IdVersion = 0x25;
    auto ecu = std::make_unique<linktest::cMemoryEcu>(o);
    ecu->SetSettings(settings);
    return ecu;
}

// Setting writes and the store, as the ECU received them.
template <class tEcu>
std::vector<Frame> WritesAndStore(const tEcu& sim) {
    std::vector<Frame> frames;
    for (const Frame& f : sim.Received())
        if (f.size() == 3 && ((f[0] & 0xF0) == 0xC0 || f[0] == 0x63)) frames.push_back(f);
    return frames;
}

std::array<uint8_t, 16> Custom(int version) {
    auto values = cEcuSimulator::FactorySettings(version);
    values[1] = 0x64;  // falling sensor
    values[4] = 70;
    values[7] = 95;
    return values;
}

}  // namespace

class CliBesideScreen : public ::testing::TestWithParam<int> {};

TEST_P(CliBesideScreen, ReadToFileGivesTheFileTheScreenSaves) {
    const int version = GetParam();
    cScreenRig rig(version);
    rig.Sim.SetSettings(Custom(version));
    ASSERT_TRUE(rig.Start());
    rig.Main->DataExBtnClick();
    ASSERT_TRUE(rig.WaitIdle());
    const fs::path screenFile = TempPath("zv_screen_save"), cliFile = TempPath("zv_cli_read");
    {
        sDialogAnswer answer(screenFile);
        cScreenRig::Key(rig.DataEx, Qt::Key_F3);
    }
    ReleasePort(rig);
    const auto ecu = MemoryEcu(version, Custom(version));
    const auto run = clitest::cMemoryCli(*ecu).Run({"--quiet", "read", "-o", cliFile.string()});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    const std::string saved = Slurp(screenFile);
    ASSERT_FALSE(saved.empty());
    EXPECT_EQ(Slurp(cliFile), saved);
    fs::remove(screenFile);
    fs::remove(cliFile);
}

TEST_P(CliBesideScreen, WriteSendsTheFramesOfLoadFromFileAndStoreInEcu) {
    const int version = GetParam();
    const fs::path file = TempPath("zv_restore");
    {
        std::ofstream out(file, std::ios::binary);
        out << "200\r\n100\r\n1\r\n2\r\n3\r\n30\r\n11\r\n40\r\n160\r\n120\r\n110\r\n100\r\n2\r\n6\r\n3\r\n";
    }
    cScreenRig rig(version);
    rig.Sim.SetSettings(Custom(version));
    ASSERT_TRUE(rig.Start());
    rig.Main->DataExBtnClick();
    ASSERT_TRUE(rig.WaitIdle());
    rig.Sim.ClearLog();
    {
        sDialogAnswer answer(file);
        cScreenRig::Key(rig.DataEx, Qt::Key_F2);
    }
    if (version >= 48) {
        ASSERT_TRUE(cScreenRig::WaitUntil([&] { return rig.Writes().size() >= 12; }));
    }
    cScreenRig::Key(rig.DataEx, Qt::Key_F4);  // returns when the progress dialog has closed
    ASSERT_TRUE(TSaveForm::WriteDone);
    const std::vector<Frame> screen = WritesAndStore(rig.Sim);
    const auto storedByScreen = rig.Sim.Stored();
    ReleasePort(rig);

    // An ECU as the screen found it.
    const auto ecu = MemoryEcu(version, Custom(version));
    const auto run = clitest::cMemoryCli(*ecu).Run({"--quiet", "write", file.string()});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    ASSERT_FALSE(screen.empty());
    EXPECT_EQ(screen.back(), (Frame{0x63, 0xB4, 0xAC}));
    EXPECT_EQ(WritesAndStore(*ecu), screen);
    EXPECT_EQ(ecu->Stored(), storedByScreen);
    fs::remove(file);
}

INSTANTIATE_TEST_SUITE_P(Versions, CliBesideScreen, ::testing::Values(22, 47, 48));
