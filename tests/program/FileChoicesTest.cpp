// Files picked in the program's own dialogs: only regular files are read or
// captured into, anything else is said plainly and the program goes on; a
// capture record after a reconnection holds only values read after it.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <QFileInfo>

#include "core/RegularFile.h"

#include "link/LinkStatus.h"
#include "link/Protocol.h"
#include "link/Settings.h"

#include "formats/VehicleFile.h"

#include "kit/QtText.h"

#include "screens/DataExForm.h"
#include "screens/FileDialog.h"
#include "screens/Globals.h"
#include "screens/VisForm.h"

#include "tests/TestKit.h"

#include "GuiTestKit.h"

using namespace GuiTestKit;
namespace fs = std::filesystem;

namespace {

class FileChoices : public ::testing::Test {
protected:
    void SetUp() override {
        Program.SetExtraPorts({Line.Path()});
        Program.WriteIni("COM: " + Line.Path() + "\r\nLanguage: en\r\n");
        ASSERT_EQ(Program.Start(), cShell::eStart::Ok);
        Program.QuietLink();
        SavedWork = WorkSettings;
    }
    void TearDown() override {
        FileDialog::Hook() = nullptr;
        WorkSettings = SavedWork;
    }
    // The dialogs answer `path` from now on.
    static void Pick(const fs::path& path) {
        FileDialog::Hook() = [p = QString::fromStdString(path.string())](const sFileDialogRequest&) { return p; };
    }
    cSilentLine Line;
    cProgram Program;
    sSettings SavedWork;
    testkit::cTempDir Dir;
};

// What a fitter may pick that is no vehicle or capture file.
struct sOddFile {
    const char* Name;
    std::function<fs::path(const fs::path& dir)> Make;
    const char* Reason;  // catalogue key in the message
};

fs::path MakeFifo(const fs::path& dir) {
    const fs::path p = dir / "pipe.zv2";
    ::mkfifo(p.c_str(), 0600);
    return p;
}

fs::path MakeZeroLink(const fs::path& dir) {
    const fs::path p = dir / "zero.zv2";
    fs::create_symlink("/dev/zero", p);
    return p;
}

const sOddFile kOddFiles[] = {
    {"named pipe", MakeFifo, RegularFile::NotRegular},
    {"link to /dev/zero", MakeZeroLink, RegularFile::NotRegular},
    {"file far too long",
     [](const fs::path& dir) {
         const fs::path p = dir / "long.zv2";
         std::ofstream out(p, std::ios::binary);
         for (int i = 0; i < 2000; ++i) out << "1\r\n";
         return p;
     },
     VehicleFile::TooLong},
};

}  // namespace

// "Load from file" on a named pipe, a link to /dev/zero or a huge file: a
// message naming the file and why, the settings untouched, no question.
TEST_F(FileChoices, LoadTakesOnlyARegularFileOfAVehicleFilesSize) {
    for (const sOddFile& odd : kOddFiles) {
        SCOPED_TRACE(odd.Name);
        const fs::path path = odd.Make(Dir.Path);
        Pick(path);
        WorkSettings = SavedWork;
        cModalAnswer info("InfoForm", [](QWidget* w) { return w->close(); });
        static_cast<TDataExForm*>(DataExScreen)->LoadFromFileBtnClick();
        ASSERT_EQ(info.Handled, 1);
        EXPECT_EQ(info.Texts[0], Tr("Settings file could not be loaded:") + QLatin1Char('\n') +
                                     QFileInfo(QString::fromStdString(path.string())).fileName() + QLatin1Char('\n') +
                                     Tr(odd.Reason));
        EXPECT_EQ(WorkSettings, SavedWork);
    }
}

// The capture on a named pipe (after the replace question), a device or in
// a folder that is not there: said plainly, no capture running.
TEST_F(FileChoices, CaptureTakesOnlyARegularFile) {
    struct sCase {
        const char* Name;
        std::function<fs::path(const fs::path&)> Make;
        QString Reason;
    } cases[] = {
        {"named pipe", MakeFifo, Tr(RegularFile::NotRegular)},
        {"/dev/null", [](const fs::path&) { return fs::path("/dev/null"); }, Tr(RegularFile::NotRegular)},
        {"no such folder", [](const fs::path& d) { return d / "gone" / "capture.dat"; },
         QString::fromLocal8Bit(std::strerror(ENOENT))},
    };
    auto* vis = static_cast<TVisForm*>(VisScreen);
    for (const sCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const fs::path path = c.Make(Dir.Path);
        Pick(path);
        cModalAnswer info("InfoForm", [](QWidget* w) { return w->close(); });
        vis->LogBtnClick();
        ASSERT_EQ(info.Handled, 1);
        EXPECT_EQ(info.Texts[0], Tr("Capture file could not be opened:") + QLatin1Char('\n') +
                                     QString::fromStdString(path.filename().string()) + QLatin1Char('\n') + c.Reason);
        EXPECT_FALSE(vis->Capturing());
    }
}

// The line drops in the middle of a polling cycle, by a port error or a
// reconnection: the cycle that follows is cut short in the file, and the
// first record after it holds only values read after the reconnection, after
// a gap line with the time the link was away.
TEST_F(FileChoices, FirstCaptureRecordAfterAReconnectionHoldsOnlyNewValues) {
    const std::vector<std::pair<const char*, std::function<void(cProgram&)>>> drops = {
        {"port error", [](cProgram& p) { p.DeliverSendError(); }},
        {"reconnection", [](cProgram& p) { p.Deliver(RQ_CONNECT, 0, 0); }},
    };
    auto* vis = static_cast<TVisForm*>(VisScreen);
    for (const auto& [name, drop] : drops) {
        SCOPED_TRACE(name);
        const fs::path path = Dir.Path / (std::string("capture-") + (name[0] == 'p' ? "p" : "r") + ".dat");
        Pick(path);
        vis->LogBtnClick();
        ASSERT_TRUE(vis->Capturing());
        const auto deliver = [&](std::initializer_list<int> ks, int tps, int valve) {
            for (int k : ks) Program.Deliver(RQ_VIS_POLL, k, k == LiveTPS ? tps : k == LiveStepper ? valve : 40);
        };
        const std::initializer_list<int> cycle = {LiveTPS, LiveRPM, LiveFuel, LiveLambda, LiveStepper, LiveLPGLevel};
        deliver(cycle, 51, 100);               // before the drop: 1 V, valve 100
        deliver({LiveTPS, LiveRPM}, 51, 100);  // the next cycle begun
        drop(Program);
        cModalAnswer portBox(
            "InfoForm", [](QWidget* w) { return w->close(); }, true);
        // The poll resumes mid-cycle: 2 V, valve 200 from now on.
        deliver({LiveFuel, LiveLambda, LiveStepper, LiveLPGLevel}, 102, 200);
        deliver(cycle, 102, 200);
        vis->LogBtnClick();                  // stops
        WaitFor([] { return false; }, 100);  // a port error box, if any, comes and goes
        ASSERT_FALSE(vis->Capturing());
        std::vector<std::string> lines;
        std::string text = testkit::Slurp(path);
        for (size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
            lines.push_back(text.substr(at, end - at));
        // The header, one record before, the gap, one after, and the seconds the capture ran.
        ASSERT_EQ(lines.size(), 5u) << text;
        EXPECT_EQ(lines[4].rfind("\"SECONDS\" ", 0), 0u) << lines[4];
        EXPECT_EQ(lines[1].substr(0, 11), "\"1.000000\",") << lines[1];
        EXPECT_EQ(lines[1].substr(lines[1].size() - 12), "\"100.000000\"");
        EXPECT_EQ(lines[2].rfind("\"GAP\" ", 0), 0u) << lines[2];
        EXPECT_EQ(lines[3].substr(0, 11), "\"2.000000\",") << lines[3];
        EXPECT_EQ(lines[3].substr(lines[3].size() - 12), "\"200.000000\"");
    }
}
