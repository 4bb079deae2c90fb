// zvbasic-cli's commands run in this process against the ECU in memory, and
// the program itself against the ECU simulator where signals, pipes, the ini
// file, a real line and back-to-back processes matter: what the ECU
// receives, what lands in the files, the exit codes and the error lines.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>
#include <thread>
#include <type_traits>

#include "serial/ComPort.h"

#include "link/CommThread.h"

#include "cli/CliCommands.h"
#include "cli/CliSession.h"

#include "tools/ecusim/EcuSimulator.h"

#include "tests/TestKit.h"
#include "tests/link/MemoryEcu.h"

#include "CliRunner.h"

namespace fs = std::filesystem;
using Frame = std::vector<uint8_t>;

namespace {

// A fresh folder for one test's files, removed afterwards.
class cTempDir {
public:
    cTempDir() {
        std::string t = (fs::temp_directory_path() / "zvcli_XXXXXX").string();
        Path = ::mkdtemp(t.data()) ? t : std::string();
    }
    ~cTempDir() {
        std::error_code ec;
        fs::remove_all(Path, ec);
    }
    std::string operator/(const std::string& name) const { return Path + "/" + name; }
    std::string Path;
};

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Put(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

// The text with line n (from 1) replaced.
std::string SetLine(const std::string& text, int n, const std::string& value) {
    std::string out;
    size_t at = 0;
    for (int line = 1; at < text.size(); ++line) {
        size_t end = text.find("\r\n", at);
        if (end == std::string::npos) end = text.size();
        out += (line == n ? value : text.substr(at, end - at)) + "\r\n";
        at = end + 2;
    }
    return out;
}

int Lines(const std::string& text) { return int(std::count(text.begin(), text.end(), '\n')); }

sSimOptions Instant(int version) {
    sSimOptions o;
    o.Version = version;
    o.Instant = true;
    return o;
}

// Settings frames the ECU received: writes (0xC_), reads (0xE_) and the store.
template <class tEcu>
std::vector<Frame> SettingsFrames(const tEcu& sim) {
    std::vector<Frame> frames;
    for (const Frame& f : sim.Received())
        if (f.size() == 3 && ((f[0] & 0xF0) == 0xC0 || (f[0] & 0xF0) == 0xE0 || f[0] == 0x63)) frames.push_back(f);
    return frames;
}

// closed, switch, type, div, level, min rpm, max rpm, min, max, h0, h1, h2, lambda, cyl, coil
const char* const kFile = "200\r\n100\r\n1\r\n2\r\n3\r\n30\r\n11\r\n40\r\n160\r\n120\r\n110\r\n100\r\n2\r\n6\r\n3\r\n";

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        Exe = CliExe();
        if (Exe.empty()) GTEST_SKIP() << "zvbasic-cli not built (ZV_BIN_DIR)";
    }
    // The commands run in this process, their output collected; on the ECU
    // in memory through its own port, or on the simulator's line.
    template <class tEcu>
    sCliRun Run(tEcu& sim, std::vector<std::string> args) {
        args.insert(args.begin(), {"--port", sim.DevicePath(), "--quiet"});
        sCliLine line;
        if constexpr (std::is_same_v<tEcu, linktest::cMemoryEcu>) {
            line.MakePort = [&sim](std::shared_ptr<cWaitHub> hub) -> std::unique_ptr<cBytePort> {
                return std::make_unique<linktest::cMemoryPort>(std::move(hub), sim);
            };
        }
        sCliRun run;
        sCliOutput output;
        output.Out = [&](const std::string& text) {
            run.Out += text;
            return 0;
        };
        output.Err = [&](const std::string& text) { run.Err += text; };
        run.Exit = RunCliCommand(args, output, line);
        return run;
    }
    // The program itself, as a process of its own.
    sCliRun RunProgram(cEcuSimulator& sim, std::vector<std::string> args) {
        args.insert(args.begin(), {"--port", sim.DevicePath(), "--quiet"});
        return RunCli(Exe, args);
    }
    std::string Exe;
    cTempDir Dir;
};

}  // namespace

class CliIdentify : public CliTest, public ::testing::WithParamInterface<int> {};

TEST_P(CliIdentify, PrintsVersionBytesCaptionAndTypeAsTextAndJson) {
    const int version = GetParam();
    linktest::cMemoryEcu sim(Instant(version));
    sim.Start();
    sCliRun text = Run(sim, {"identify"});
    ASSERT_EQ(text.Exit, 0) << text.Err;
    EXPECT_EQ(text.Err, "");
    const std::string type = version >= 48 ? "ZORVA Basic +" : "ZORVA Basic";
    const std::string caption = version == 48 ? "2.5/3.0" : "2.5/1.6";
    EXPECT_NE(text.Out.find("version text:  " + caption + "\n"), std::string::npos) << text.Out;
    EXPECT_NE(text.Out.find("type:          " + type + "\n"), std::string::npos) << text.Out;

    sCliRun json = Run(sim, {"--json", "identify"});
    ASSERT_EQ(json.Exit, 0) << json.Err;
    EXPECT_EQ(json.Out, "{\"port\":\"" + sim.DevicePath() + "\",\"version\":" + std::to_string(version) +
                            ",\"id_version\":37,\"version_text\":\"" + caption + "\",\"type\":\"" + type + "\"}\n");
    // Identifying needs no settings read.
    for (uint8_t c : sim.Commands()) EXPECT_NE(c & 0xF0, 0xE0) << int(c);
}

INSTANTIATE_TEST_SUITE_P(Versions, CliIdentify, ::testing::Values(22, 48));

class CliRead : public CliTest, public ::testing::WithParamInterface<int> {};

// The file holds what the ECU holds, in the vehicle file's line order.
TEST_P(CliRead, WritesTheEcusSettingsAsAVehicleFile) {
    const int version = GetParam();
    linktest::cMemoryEcu sim(Instant(version));
    auto values = cEcuSimulator::FactorySettings(version);
    values[1] = 0x64;  // falling sensor
    values[4] = 70;    // StepPosMin
    values[8] = 77;    // StepPosH2
    sim.SetSettings(values);
    sim.Start();
    const std::string path = Dir / "backup.zv2";
    sCliRun run = Run(sim, {"read", "-o", path});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(run.Out, "");
    // Closed 255 and switch 100 rebuilt from 0x64; 27 and 9 for the speeds
    // (halved below 25); what an ECU does not carry keeps the defaults.
    EXPECT_EQ(Slurp(path), "255\r\n100\r\n1\r\n1\r\n1\r\n27\r\n9\r\n70\r\n150\r\n100\r\n90\r\n77\r\n0\r\n4\r\n1\r\n");

    // A folder that does not exist: exit 5, one line naming the file, no file left.
    const std::string bad = Dir / "no/such/folder.zv2";
    sCliRun failed = Run(sim, {"read", "-o", bad});
    EXPECT_EQ(failed.Exit, 5);
    EXPECT_EQ(Lines(failed.Err), 1) << failed.Err;
    EXPECT_NE(failed.Err.find(bad), std::string::npos) << failed.Err;
    EXPECT_FALSE(fs::exists(bad));
}

TEST_P(CliRead, ReplacesAnOldBackupWhole) {
    const int version = GetParam();
    linktest::cMemoryEcu sim(Instant(version));
    sim.Start();
    const std::string path = Dir / "backup.zv2";
    Put(path, std::string(4000, 'x'));
    ASSERT_EQ(Run(sim, {"read", "-o", path}).Exit, 0);
    const std::string text = Slurp(path);
    EXPECT_EQ(Lines(text), 15);
    EXPECT_EQ(text.find('x'), std::string::npos);
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir.Path), fs::directory_iterator()), 1);  // no temporary left
}

INSTANTIATE_TEST_SUITE_P(Versions, CliRead, ::testing::Values(22, 47, 48));

TEST_F(CliTest, ReadPrintsTheSettingsWithTheScreensNamesAndUnits) {
    linktest::cMemoryEcu sim(Instant(48));
    sim.Start();
    sCliRun run = Run(sim, {"read"});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_TRUE(std::regex_search(run.Out, std::regex("\nGas switch on rotation speed +2000 RPM\n"))) << run.Out;
    EXPECT_TRUE(std::regex_search(run.Out, std::regex("\nValve maximal open +150\n"))) << run.Out;
    EXPECT_TRUE(std::regex_search(run.Out, std::regex("\nCylinder count +4\n"))) << run.Out;
    EXPECT_EQ(run.Out.find("RPM signal source"), std::string::npos);  // not carried from 48

    sCliRun json = Run(sim, {"--json", "read"});
    ASSERT_EQ(json.Exit, 0);
    // Numbers are JSON numbers; the shown text has a field of its own.
    EXPECT_NE(json.Out.find("{\"field\":\"MinRPMCode\",\"name\":\"Gas switch on rotation speed\",\"raw\":27,"
                            "\"value\":2000,\"text\":\"2000\",\"unit\":\"RPM\"}"),
              std::string::npos)
        << json.Out;
    EXPECT_NE(json.Out.find("\"raw\":101,\"value\":1.98,\"text\":\"1.98\",\"unit\":\"V\""), std::string::npos)
        << json.Out;
    EXPECT_NE(json.Out.find("\"value\":null,\"text\":\"Linear\""), std::string::npos) << json.Out;
    // Each row has a name of its own (the throttle sensor's closed level and
    // the valve position H0 were both "Throttle closed").
    std::set<std::string> names;
    std::istringstream table(run.Out);
    for (std::string line; std::getline(table, line);) {
        const std::string name = line.substr(0, line.find("  "));
        EXPECT_TRUE(names.insert(name).second) << name << "\n" << run.Out;
    }
    EXPECT_TRUE(names.count("Throttle closed level")) << run.Out;
}

class CliWrite : public CliTest, public ::testing::WithParamInterface<int> {};

// The frames of "Load from file" and "Store in ECU", then the read back.
TEST_P(CliWrite, SendsTheDataTransferFramesStoresAndVerifies) {
    const int version = GetParam();
    linktest::cMemoryEcu sim(Instant(version));
    sim.Start();
    const std::string path = Dir / "vehicle.zv2";
    Put(path, kFile);
    sCliRun run = Run(sim, {"write", path});
    ASSERT_EQ(run.Exit, 0) << run.Err;

    std::vector<Frame> expected;
    const std::vector<Frame> all = SettingsFrames(sim);
    const int reads = version >= 48 ? 13 : version > 22 ? 11 : 10;
    if (version >= 48) {
        const std::vector<std::pair<int, int>> updates{{0, 2},   {1, 100}, {2, 30},  {3, 11}, {4, 40}, {5, 160},
                                                       {6, 120}, {7, 110}, {8, 100}, {9, 6},  {10, 3}, {12, 3}};
        for (auto [p, v] : updates) expected.push_back({uint8_t(0xC0 + p), uint8_t(v), 0xAC});
    } else {
        // Direction rule (closed 200 above switch 100: falling, bit 0 clear),
        // speeds doubled below 25.
        const int rpmFactor = version < 25 ? 2 : 1;
        const std::vector<int> values{2, 100, 30 * rpmFactor, 11 * rpmFactor, 40, 160, 120, 110, 100, 2, 3};
        for (int p = 0; p < reads; ++p) expected.push_back({uint8_t(0xC0 + p), uint8_t(values[size_t(p)]), 0xAC});
    }
    expected.push_back({0x63, 0xB4, 0xAC});
    for (int p = 0; p < reads; ++p) expected.push_back({uint8_t(0xE0 + p), 0x00, 0xAC});
    // The connection's own read comes first.
    ASSERT_GE(all.size(), size_t(reads) + expected.size());
    EXPECT_EQ(std::vector<Frame>(all.begin() + reads, all.end()), expected);

    const auto stored = sim.Stored();
    EXPECT_EQ(stored[4], 40);
    EXPECT_EQ(stored[7], 110);
    EXPECT_EQ(stored[1], 100);
    EXPECT_EQ(sim.PacingViolations(), 0);

    // The ECU now holds the file: diff finds nothing.
    sCliRun diff = Run(sim, {"diff", path});
    EXPECT_EQ(diff.Exit, 0) << diff.Out << diff.Err;
    EXPECT_EQ(diff.Out, "");
}

INSTANTIATE_TEST_SUITE_P(Versions, CliWrite, ::testing::Values(22, 47, 48));

TEST_F(CliTest, WriteWithoutStoreLeavesTheStoredSettingsFrom48AndIsRefusedBelow) {
    const std::string path = Dir / "vehicle.zv2";
    Put(path, kFile);
    {
        linktest::cMemoryEcu sim(Instant(48));
        sim.Start();
        const auto storedBefore = sim.Stored();
        sCliRun run = Run(sim, {"write", path, "--no-store"});
        ASSERT_EQ(run.Exit, 0) << run.Err;
        for (uint8_t c : sim.Commands()) EXPECT_NE(c, 0x63);
        EXPECT_EQ(sim.Stored(), storedBefore);
        EXPECT_EQ(sim.Settings()[4], 40);
    }
    {
        linktest::cMemoryEcu sim(Instant(47));
        sim.Start();
        sCliRun run = Run(sim, {"write", path, "--no-store"});
        EXPECT_EQ(run.Exit, 2);
        EXPECT_NE(run.Err.find("--no-store"), std::string::npos) << run.Err;
        for (uint8_t c : sim.Commands()) EXPECT_NE(c & 0xF0, 0xC0) << int(c);
    }
}

TEST_F(CliTest, WriteRefusesFilesThatHoldNoSettingsBeforeTouchingTheEcu) {
    linktest::cMemoryEcu sim(Instant(48));
    sim.Start();
    Put(Dir / "empty.zv2", "");
    Put(Dir / "text.zv2", "not settings\n");
    for (const std::string& path : {Dir / "empty.zv2", Dir / "text.zv2", Dir / "missing.zv2", Dir.Path}) {
        sCliRun run = Run(sim, {"write", path});
        EXPECT_EQ(run.Exit, 5) << path;
        EXPECT_EQ(Lines(run.Err), 1) << run.Err;
    }
    EXPECT_TRUE(sim.Commands().empty());
}

// Only a whole vehicle file is written (or compared): anything the lenient
// reader would fill with defaults or wrap is refused, naming the first bad
// line, before a single byte goes to the ECU.
TEST_F(CliTest, WriteAndDiffRefuseADamagedFileNamingItsFirstBadLine) {
    linktest::cMemoryEcu sim(Instant(48));
    sim.Start();
    const std::string whole = kFile;
    const struct {
        const char* Name;
        std::string Text;
        int Line;
    } cases[] = {
        {"three lines", "200\r\n100\r\n1\r\n", 4},
        {"cut in a number", whole.substr(0, whole.size() - 2), 15},
        {"letters on line 6", SetLine(whole, 6, "3O"), 6},
        {"300", SetLine(whole, 9, "300"), 9},
        {"-1", SetLine(whole, 2, "-1"), 2},
        {"blank", SetLine(whole, 12, "100 "), 12},
        {"14 lines", whole.substr(0, whole.rfind("3\r\n")), 15},
        {"16 lines", whole + "7\r\n", 16},
        {"empty line", SetLine(whole, 13, ""), 13},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string path = Dir / "damaged.zv2";
        Put(path, c.Text);
        for (const char* command : {"write", "diff"}) {
            sCliRun run = Run(sim, {command, path});
            EXPECT_EQ(run.Exit, 5) << command << ": " << run.Err;
            EXPECT_EQ(Lines(run.Err), 1) << run.Err;
            EXPECT_NE(run.Err.find(": line " + std::to_string(c.Line) + ": "), std::string::npos) << run.Err;
        }
    }
    EXPECT_TRUE(sim.Commands().empty());
    // An old file of 13 lines (LF line ends will do) is whole.
    const std::string old = Dir / "old.zv2";
    std::string text = whole.substr(0, whole.rfind("6\r\n"));
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    Put(old, text);
    sCliRun run = Run(sim, {"write", old});
    EXPECT_EQ(run.Exit, 0) << run.Err;
}

// Below version 25 the ECU keeps speed codes doubled in one byte: a code
// above 127 cannot be held. write refuses it before any write frame, and
// diff (comparing with the file, not with the wrapped-around value) shows it.
TEST_F(CliTest, ASpeedCodeTheEcuCannotHoldIsRefusedByWriteAndShownByDiff) {
    linktest::cMemoryEcu sim(Instant(22));
    sim.Start();
    const std::string path = Dir / "fast.zv2";
    Put(path, SetLine(kFile, 6, "200"));
    sCliRun write = Run(sim, {"write", path});
    EXPECT_EQ(write.Exit, 5) << write.Err;
    EXPECT_NE(write.Err.find("line 6: 200 is above 127"), std::string::npos) << write.Err;
    for (uint8_t c : sim.Commands()) {
        EXPECT_NE(c & 0xF0, 0xC0) << int(c);
        EXPECT_NE(c, 0x63);
    }
    // What the ECU would hold after the wrap: 200 doubled is 144 in a byte,
    // read back as 72. diff compares that with the file's 200.
    auto held = cEcuSimulator::FactorySettings(22);
    held[2] = 144;
    sim.SetSettings(held);
    sCliRun diff = Run(sim, {"diff", path});
    EXPECT_EQ(diff.Exit, 1) << diff.Err;
    EXPECT_NE(diff.Out.find("Gas switch on rotation speed: file 270 RPM, ECU 750 RPM"), std::string::npos) << diff.Out;
}

TEST_F(CliTest, DiffPrintsWhatDiffersAndExitsOneOrZero) {
    linktest::cMemoryEcu sim(Instant(47));
    sim.Start();
    const std::string path = Dir / "car.zv2";
    ASSERT_EQ(Run(sim, {"read", "-o", path}).Exit, 0);
    sCliRun same = Run(sim, {"diff", path});
    EXPECT_EQ(same.Exit, 0) << same.Err;
    EXPECT_EQ(same.Out, "");

    // Line 11 is StepPosH1, line 14 the cylinder count (not carried below 48).
    Put(path, SetLine(SetLine(Slurp(path), 11, "99"), 14, "6"));
    sCliRun differ = Run(sim, {"diff", path});
    EXPECT_EQ(differ.Exit, 1) << differ.Err;
    EXPECT_EQ(differ.Out, "Throttle open low speed: file 99, ECU 90\n");

    sCliRun json = Run(sim, {"--json", "diff", path});
    EXPECT_EQ(json.Exit, 1);
    EXPECT_NE(json.Out.find("\"equal\":false,\"differences\":[{\"field\":\"StepPosH1\",\"name\":\"Throttle open low "
                            "speed\",\"file_raw\":99,\"file_value\":99,\"file_text\":\"99\",\"ecu_raw\":90,"
                            "\"ecu_value\":90,\"ecu_text\":\"90\",\"unit\":\"\"}],"),
              std::string::npos)
        << json.Out;
    EXPECT_NE(json.Out.find(",\"backup\":\""), std::string::npos) << json.Out;  // the read was backed up
    EXPECT_EQ(Run(sim, {"diff", Dir / "missing.zv2"}).Exit, 5);
    // Comparing changes nothing.
    for (uint8_t c : sim.Commands()) EXPECT_NE(c & 0xF0, 0xC0) << int(c);
}

TEST_F(CliTest, FactoryRefusesWithoutYesAndSendsTheCommandBeforeTheReadWithIt) {
    linktest::cMemoryEcu sim(Instant(48));
    auto custom = cEcuSimulator::FactorySettings(48);
    custom[4] = 70;
    sim.SetSettings(custom);
    sim.Start();
    sCliRun refused = Run(sim, {"factory"});
    EXPECT_EQ(refused.Exit, 2);
    EXPECT_NE(refused.Err.find("--yes"), std::string::npos);
    EXPECT_TRUE(sim.Commands().empty());  // not even connected

    sCliRun run = Run(sim, {"factory", "--yes"});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    std::vector<Frame> frames = SettingsFrames(sim);
    ASSERT_EQ(frames.size(), 13u + 1 + 13);
    EXPECT_EQ(frames[13], (Frame{0xCF, 0xB4, 0xAC}));
    for (int i = 0; i < 13; ++i) EXPECT_EQ(frames[size_t(14 + i)][0], 0xE0 + i);
    EXPECT_EQ(sim.Settings()[4], 50);
    EXPECT_TRUE(std::regex_search(run.Out, std::regex("\nValve minimal open +50\n"))) << run.Out;

    linktest::cMemoryEcu old(Instant(47));
    old.Start();
    EXPECT_EQ(Run(old, {"factory", "--yes"}).Exit, 2);
    for (uint8_t c : old.Commands()) EXPECT_NE(c, 0xCF);
}

namespace {
// Pins every live value: throttle 120 (2.35 V, 47 %), 2000 rpm, gas,
// valve 150, lambda 23 (0.45 V from 48), level raw 0x40 (index 4).
template <class tEcu>
void PinLive(tEcu& sim) {
    sim.SetLive(1, 120);
    sim.SetLive(3, 27);
    sim.SetLive(5, 2);
    sim.SetLive(6, 150);
    sim.SetLive(7, 23);
    sim.SetLive(8, 0x40);
}
}  // namespace

TEST_F(CliTest, LivePrintsOneLinePerPollingCycleAsCsvAndJson) {
    linktest::cMemoryEcu sim(Instant(48));
    PinLive(sim);
    sim.Start();
    sCliRun csv = Run(sim, {"live", "--count", "3", "--csv"});
    ASSERT_EQ(csv.Exit, 0) << csv.Err;
    const std::string row = "2.35,47,2000,150,0.45,2,gas,4\n";
    EXPECT_EQ(csv.Out, "tps_v,tps_pct,rpm,valve,lambda_v,fuel,fuel_state,level\n" + row + row + row);

    sCliRun json = Run(sim, {"--json", "live", "--count", "2"});
    ASSERT_EQ(json.Exit, 0) << json.Err;
    const std::string obj =
        "{\"tps_v\":2.35,\"tps_pct\":47,\"rpm\":2000,\"valve\":150,\"lambda_v\":0.45,\"fuel\":2,"
        "\"fuel_state\":\"gas\",\"level\":4}\n";
    EXPECT_EQ(json.Out, obj + obj);
}

TEST_F(CliTest, LiveEndsOnSigtermWithExit143) {
    cEcuSimulator sim(Instant(48));
    sim.Start();
    const std::string exe = Exe;
    sCliRun run = RunCli(
        exe, {"--port", sim.DevicePath(), "--quiet", "live", "--csv"},
        [&] { return sim.WaitForCommands(0xD8, 2, std::chrono::milliseconds(0)) || sim.Commands().size() > 40; },
        SIGTERM);
    EXPECT_EQ(run.Exit, 143) << run.Err;
    EXPECT_GE(Lines(run.Out), 2);
    EXPECT_EQ(run.Err, "zvbasic-cli: ended by SIGTERM\n");
}

TEST_F(CliTest, LiveEndsWhenItsReaderGoesAway) {
    if (::access("/bin/bash", X_OK) != 0) GTEST_SKIP() << "no bash";
    cEcuSimulator sim(Instant(48));
    sim.Start();
    sCliRun run = RunCli(
        "/bin/bash",
        {"-c", "\"$0\" --port \"$1\" --quiet live --csv | head -n 2; exit ${PIPESTATUS[0]}", Exe, sim.DevicePath()}, {},
        SIGINT, 20000);
    EXPECT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(Lines(run.Out), 2);
}

// The capture file of the visualisation screen, closed complete on Ctrl+C.
TEST_F(CliTest, CaptureWritesTheCaptureFormatAndIsCompleteAfterSigint) {
    cEcuSimulator sim(Instant(48));
    PinLive(sim);
    sim.Start();
    const std::string path = Dir / "drive.dat";
    sCliRun run =
        RunCli(Exe, {"--port", sim.DevicePath(), "--quiet", "capture", path}, [&] { return Lines(Slurp(path)) >= 4; });
    EXPECT_EQ(run.Exit, 130) << run.Err;
    const std::string text = Slurp(path);
    const std::string header = "\"TPS\" \"LAMBDA\" \"RPM\" \"VALVE\"\r\n";
    const std::string record = "\"2.352941\",\"0.450980\",\"2000.000000\",\"150.000000\"\r\n";
    ASSERT_EQ(text.compare(0, header.size(), header), 0) << text;
    // Closed as a capture ends: the last line is the time it recorded.
    const size_t timeLine = text.rfind("\"SECONDS\" \"");
    ASSERT_NE(timeLine, std::string::npos) << text;
    EXPECT_EQ(text.find("\"\r\n", timeLine), text.size() - 3) << text;
    const std::string records = text.substr(header.size(), timeLine - header.size());
    ASSERT_FALSE(records.empty());
    ASSERT_EQ(records.size() % record.size(), 0u) << records;  // no half record
    for (size_t at = 0; at < records.size(); at += record.size()) EXPECT_EQ(records.substr(at, record.size()), record);
}

TEST_F(CliTest, CaptureForSecondsEndsByItself) {
    linktest::cMemoryEcu sim(Instant(48));
    PinLive(sim);
    sim.Start();
    const std::string path = Dir / "short.dat";
    sCliRun run = Run(sim, {"capture", path, "--seconds", "0.5"});
    EXPECT_EQ(run.Exit, 0) << run.Err;
    EXPECT_GE(Lines(Slurp(path)), 2);
    EXPECT_EQ(Run(sim, {"capture", Dir / "no/folder.dat", "--seconds", "1"}).Exit, 5);
}

struct sFaultCase {
    const char* Fault;
    const char* Command;  // what meets the fault
    const char* Name;
};

class CliFault : public CliTest, public ::testing::WithParamInterface<sFaultCase> {};

// Each failure of the ECU: exit 4 and one error line with the notification's name.
TEST_P(CliFault, GivesExitFourWithTheNotificationsName) {
    const sFaultCase c = GetParam();
    linktest::cMemoryEcu sim(Instant(48));
    eSimFault fault;
    int after = 0;
    ASSERT_TRUE(ParseSimFault(c.Fault, fault, after));
    sim.SetFault(fault, after);
    sim.Start();
    const std::string path = Dir / "vehicle.zv2";
    Put(path, kFile);
    std::vector<std::string> args{c.Command};
    if (std::string(c.Command) == "write") args.push_back(path);
    sCliRun run = Run(sim, args);
    EXPECT_EQ(run.Exit, 4) << run.Err;
    // A write names the backup it made first, --quiet or not.
    const std::string tell = "zvbasic-cli: backup of the ECU's settings: ";
    if (run.Err.rfind(tell, 0) == 0) run.Err.erase(0, run.Err.find('\n') + 1);
    EXPECT_EQ(Lines(run.Err), 1) << run.Err;
    EXPECT_EQ(run.Err.rfind(std::string("zvbasic-cli: ") + c.Name + ": ", 0), 0u) << run.Err;
    EXPECT_EQ(run.Out, "");
}

INSTANTIATE_TEST_SUITE_P(
    Faults, CliFault,
    ::testing::Values(sFaultCase{"silence", "read", "NoReply"}, sFaultCase{"silence-after:3", "read", "NoReply"},
                      sFaultCase{"partial", "read", "BadReply"}, sFaultCase{"bad-trailer", "identify", "BadReply"},
                      sFaultCase{"wrong-echo", "read", "BadReply"}, sFaultCase{"garbage", "read", "BadReply"},
                      sFaultCase{"line-drop:4", "read", "SendError"}, sFaultCase{"refuse-store", "write", "BadReply"}),
    [](const ::testing::TestParamInfo<sFaultCase>& info) {
        std::string n = info.param.Fault;
        for (char& ch : n)
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return n;
    });

TEST_F(CliTest, PortThatCannotBeOpenedGivesThreeWithTheSystemsText) {
    const std::string missing = Dir / "ttyUSB9";
    sCliRun run = RunCli(Exe, {"--port", missing, "read"});
    EXPECT_EQ(run.Exit, 3);
    EXPECT_EQ(run.Err, "zvbasic-cli: cannot open " + missing + ": No such file or directory\n");

    // A device file the user may not open: the hint names the group. As
    // root, the program runs as an ordinary user (nobody) for this.
    const std::string locked = Dir / "locked";
    Put(locked, "");
    ::chmod(locked.c_str(), 0);
    std::string exe = Exe;
    int uid = -1;
    if (::geteuid() == 0) {
        exe = Dir / "zvbasic-cli";
        fs::copy_file(Exe, exe);
        ::chmod(exe.c_str(), 0755);
        ::chmod(Dir.Path.c_str(), 0755);
        uid = 65534;
    }
    sCliRun denied = RunCli(exe, {"--port", locked, "identify"}, {}, SIGINT, 30000, uid);
    EXPECT_EQ(denied.Exit, 3) << denied.Err;
    EXPECT_EQ(denied.Err,
              "zvbasic-cli: cannot open " + locked + ": Permission denied (the user must be in the group dialout)\n");
}

// Without --port the port comes from zvbasic.ini beside the program (a
// portable layout: its catalogue folder beside it).
TEST_F(CliTest, PortDefaultsToTheOneSavedInZvbasicIni) {
    const std::string exe = Dir / "zvbasic-cli";
    fs::copy_file(Exe, exe);
    fs::create_directories(Dir / "locale");
    fs::permissions(exe, fs::perms::owner_all);
    sCliRun none = RunCli(exe, {"identify"});
    EXPECT_EQ(none.Exit, 2);
    EXPECT_NE(none.Err.find("--port"), std::string::npos) << none.Err;
    EXPECT_EQ(Lines(none.Err), 1);

    cEcuSimulator sim(Instant(48));
    sim.Start();
    Put(Dir / "zvbasic.ini", "COM: " + sim.DevicePath() + "\r\nLanguage: en\r\n");
    sCliRun saved = RunCli(exe, {"--json", "identify"});
    EXPECT_EQ(saved.Exit, 0) << saved.Err;
    EXPECT_NE(saved.Out.find("\"port\":\"" + sim.DevicePath() + "\""), std::string::npos) << saved.Out;
    // The program's settings file is only read.
    EXPECT_EQ(Slurp(Dir / "zvbasic.ini"), "COM: " + sim.DevicePath() + "\r\nLanguage: en\r\n");
}

TEST_F(CliTest, PortsListsTheDevicesAsOptionsDoWithoutConnecting) {
    sCliRun text, json;
    {
        const testkit::cScopedEnv ports("ZVBASIC_PORTS", "/tmp/zv-sim-a:/tmp/zv-sim-b");
        text = RunCli(Exe, {"ports"});
        json = RunCli(Exe, {"--json", "ports"});
    }
    EXPECT_EQ(text.Exit, 0);
    const std::string tail = "/tmp/zv-sim-a\n/tmp/zv-sim-b\n";
    ASSERT_GE(text.Out.size(), tail.size());
    EXPECT_EQ(text.Out.substr(text.Out.size() - tail.size()), tail);
    EXPECT_EQ(json.Exit, 0);
    EXPECT_EQ(json.Out.rfind("{\"ports\":[", 0), 0u) << json.Out;
    EXPECT_NE(json.Out.find("\"/tmp/zv-sim-a\",\"/tmp/zv-sim-b\"]}\n"), std::string::npos) << json.Out;
}

TEST_F(CliTest, UsageErrorsGiveTwoAndOneLine) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{},
                                               {"frobnicate"},
                                               {"write"},
                                               {"read", "extra"},
                                               {"live", "--count", "0"},
                                               {"capture", "x.dat", "--seconds", "soon"},
                                               {"--port"},
                                               {"read", "--yes"}}) {
        sCliRun run = RunCli(Exe, args);
        EXPECT_EQ(run.Exit, 2);
        EXPECT_EQ(Lines(run.Err), 1) << run.Err;
        EXPECT_EQ(run.Out, "");
    }
    sCliRun help = RunCli(Exe, {"--help"});
    EXPECT_EQ(help.Exit, 0);
    EXPECT_NE(help.Out.find("capture FILE.dat [--seconds N]"), std::string::npos);
}

namespace {
// A second program on the line: the link connected, idle polling, counting
// the failures it meets.
struct sFirstProgram : cLinkListener {
    std::atomic<int> Loaded{0}, Failures{0};
    void LinkEvent() override {}
    void SettingsLoaded() override { ++Loaded; }
    void SendError() override { ++Failures; }
    void NoReply() override { ++Failures; }
    void BadReply() override { ++Failures; }
};

size_t Count(const std::vector<uint8_t>& v, uint8_t c) { return size_t(std::count(v.begin(), v.end(), c)); }
}  // namespace

// zvbasic-cli on a port that another program holds: exit 3, "in use by
// another program", not one byte sent; the first program goes on polling.
TEST_F(CliTest, APortInUseByAnotherProgramGivesThreeAndSendsNothing) {
    cEcuSimulator sim(Instant(48));
    sim.Start();
    sFirstProgram first;
    cCommThread link;
    link.AddListener(&first);
    link.SetPortName(sim.DevicePath());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (first.Loaded == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(first.Loaded.load(), 1);  // connected and read
    const size_t handshakes = Count(sim.Commands(), 0x00);
    for (const bool json : {false, true}) {
        std::vector<std::string> args{"--port", sim.DevicePath(), "--quiet", "identify"};
        if (json) args.insert(args.begin(), "--json");
        sCliRun run = RunCli(Exe, args);
        EXPECT_EQ(run.Exit, 3) << run.Err;
        const std::string text = "cannot open " + sim.DevicePath() + ": in use by another program";
        EXPECT_EQ(run.Err, "zvbasic-cli: " + text + "\n");
        EXPECT_EQ(run.Out, json ? "{\"error\":\"" + text + "\",\"exit\":3}\n" : "") << run.Out;
    }
    // No handshake from the second program; the first polls on unharmed.
    EXPECT_EQ(Count(sim.Commands(), 0x00), handshakes);
    EXPECT_TRUE(sim.WaitForCommands(0xD8, 2, std::chrono::seconds(20)));
    EXPECT_EQ(first.Failures.load(), 0);
    link.Shutdown();
}

// A capture ended by time stops its link in the middle of its frames; the
// next program, started at once, must find the ECU's receiver empty and the
// line quiet. Every frame the ECU got was whole.
class CliStopAndGo : public CliTest, public ::testing::WithParamInterface<int> {};

TEST_P(CliStopAndGo, CaptureForASecondThenIdentifyAtOnce) {
    sSimOptions o;
    o.Version = GetParam();  // bytes at the line's own speed, as a real ECU sends them
    cEcuSimulator sim(o);
    sim.Start();
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        sCliRun capture = RunProgram(sim, {"capture", Dir / "c.dat", "--seconds", "1"});
        ASSERT_EQ(capture.Exit, 0) << capture.Err;
        sCliRun identify = RunProgram(sim, {"identify"});
        EXPECT_EQ(identify.Exit, 0) << identify.Err;
    }
    for (const sSimLogEntry& e : sim.Log()) EXPECT_TRUE(e.Note.empty()) << FormatSimLogEntry(e);
}

INSTANTIATE_TEST_SUITE_P(Versions, CliStopAndGo, ::testing::Values(22, 48));

// A connection whose identification fails once is tried again, as the
// program does, instead of ending the command at the first failure.
TEST_F(CliTest, ConnectingTriesAgainAfterAFailedIdentification) {
    cEcuSimulator sim(Instant(48));
    sim.SetFault(eSimFault::WrongEcho);
    sim.Start();
    sCliRun run = RunCli(Exe, {"--port", sim.DevicePath(), "--quiet", "--json", "identify"}, [&] {
        // The ECU comes right after its first wrong answer.
        const auto c = sim.Commands();
        if (std::find(c.begin(), c.end(), 0xD4) != c.end()) sim.SetFault(eSimFault::None);
        return false;
    });
    EXPECT_EQ(run.Exit, 0) << run.Err;
    EXPECT_NE(run.Out.find("\"version\":48"), std::string::npos) << run.Out;
    // An ECU that keeps answering wrongly: a few attempts, then exit 4.
    sim.SetFault(eSimFault::WrongEcho);
    const size_t before = Count(sim.Commands(), 0x00);
    sCliRun failed = Run(sim, {"identify"});
    EXPECT_EQ(failed.Exit, 4);
    EXPECT_EQ(failed.Err.rfind("zvbasic-cli: BadReply: ", 0), 0u) << failed.Err;
    EXPECT_EQ(Count(sim.Commands(), 0x00) - before, size_t(cCliSession::ConnectAttempts));
}

// The output file is looked at before connecting: a named pipe, a device, a
// missing folder or one that may not be written in end the command at once
// with exit 5, and the ECU hears nothing.
TEST_F(CliTest, OutputsThatCannotBeWrittenAreRefusedBeforeConnecting) {
    cEcuSimulator sim(Instant(48));
    sim.Start();
    const std::string fifo = Dir / "pipe.dat";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::vector<std::vector<std::string>> commands{
        {"capture", fifo, "--seconds", "1"}, {"capture", "/dev/full"},         {"read", "-o", "/dev/full"},
        {"capture", Dir / "no/folder.dat"},  {"read", "-o", Dir / "no/x.zv2"}, {"read", "-o", Dir.Path}};
    for (const auto& args : commands) {
        const auto start = std::chrono::steady_clock::now();
        sCliRun run = Run(sim, args);
        EXPECT_EQ(run.Exit, 5) << args[0] << " " << args[args[0] == "read" ? 2 : 1] << ": " << run.Err;
        EXPECT_EQ(Lines(run.Err), 1) << run.Err;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    }
    EXPECT_TRUE(sim.Commands().empty());

    // A folder the user may not write in (as root, the program runs as the
    // user nobody, who may not open the simulator's device either: the
    // folder is looked at first).
    const std::string ro = Dir / "ro";
    fs::create_directory(ro);
    ::chmod(ro.c_str(), 0555);
    std::string exe = Exe;
    int uid = -1;
    if (::geteuid() == 0) {
        exe = Dir / "zvbasic-cli";
        fs::copy_file(Exe, exe);
        ::chmod(exe.c_str(), 0755);
        ::chmod(Dir.Path.c_str(), 0755);
        uid = 65534;
    }
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"read", "-o", ro + "/x.zv2"}, std::vector<std::string>{"capture", ro + "/x.dat"}}) {
        std::vector<std::string> all{"--port", sim.DevicePath(), "--quiet"};
        all.insert(all.end(), args.begin(), args.end());
        sCliRun run = RunCli(exe, all, {}, SIGINT, 30000, uid);
        EXPECT_EQ(run.Exit, 5) << run.Err;
        EXPECT_NE(run.Err.find("Permission denied"), std::string::npos) << run.Err;
    }
    EXPECT_TRUE(sim.Commands().empty());
}

// "read -o -": the vehicle file on standard output, no file named "-".
TEST_F(CliTest, ReadToDashWritesTheVehicleFileToStandardOutput) {
    linktest::cMemoryEcu sim(Instant(48));
    sim.Start();
    const std::string path = Dir / "car.zv2";
    ASSERT_EQ(Run(sim, {"read", "-o", path}).Exit, 0);
    sCliRun run = Run(sim, {"read", "-o", "-"});
    EXPECT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(run.Out, Slurp(path));
    EXPECT_FALSE(fs::exists("-"));
    EXPECT_EQ(Run(sim, {"--json", "read", "-o", "-"}).Exit, 2);
}

// A capture that cannot write a record (here a file size limit) ends at the
// first failed write with exit 5; /dev/full is no capture file at all.
TEST_F(CliTest, CaptureEndsWithFiveAtTheFirstFailedWrite) {
    if (::access("/bin/bash", X_OK) != 0) GTEST_SKIP() << "no bash";
    cEcuSimulator sim(Instant(48));
    PinLive(sim);
    sim.Start();
    const std::string path = Dir / "big.dat";
    sCliRun run = RunCli("/bin/bash",
                         {"-c", "ulimit -f 1; trap '' XFSZ; exec \"$0\" --port \"$1\" --quiet capture \"$2\"", Exe,
                          sim.DevicePath(), path},
                         {}, SIGINT, 60000);
    EXPECT_EQ(run.Exit, 5) << run.Err;
    EXPECT_NE(run.Err.find("cannot write " + path + ": File too large"), std::string::npos) << run.Err;
    EXPECT_LE(fs::file_size(path), 1024u);
}

// --json: a command that fails prints one object with the error and the
// exit code on standard output as well; output that cannot be written is a
// failure (exit 5); /dev/null is no serial port.
TEST_F(CliTest, FailuresAsJsonAndAFailedOutputWrite) {
    const std::string missing = Dir / "ttyUSB9";
    sCliRun run = RunCli(Exe, {"--json", "--port", missing, "read"});
    EXPECT_EQ(run.Exit, 3);
    EXPECT_EQ(run.Out, "{\"error\":\"cannot open " + missing + ": No such file or directory\",\"exit\":3}\n");
    EXPECT_EQ(Lines(run.Err), 1);
    sCliRun usage = RunCli(Exe, {"--json", "frobnicate"});
    EXPECT_EQ(usage.Exit, 2);
    EXPECT_EQ(usage.Out.rfind("{\"error\":\"unknown command 'frobnicate'", 0), 0u) << usage.Out;
    EXPECT_NE(usage.Out.find("\"exit\":2}\n"), std::string::npos) << usage.Out;

    sCliRun null = RunCli(Exe, {"--port", "/dev/null", "identify"});
    EXPECT_EQ(null.Exit, 3);
    EXPECT_EQ(null.Err, "zvbasic-cli: cannot open /dev/null: not a serial port\n");

    if (::access("/bin/bash", X_OK) != 0) GTEST_SKIP() << "no bash";
    for (const char* json : {"", "--json"}) {
        sCliRun full = RunCli("/bin/bash", {"-c", "\"$0\" $1 ports > /dev/full", Exe, json});
        EXPECT_EQ(full.Exit, 5) << json;
        EXPECT_NE(full.Err.find("cannot write standard output: No space left on device"), std::string::npos)
            << full.Err;
    }
}

// Every program answers --version with its name and version, and the
// windowed program's --help prints its usage without starting the screens.
TEST(ProgramVersions, EachProgramPrintsItsVersionAndZvbasicHelpStartsNoScreens) {
    const char* dir = std::getenv("ZV_BIN_DIR");
    if (!dir) GTEST_SKIP() << "ZV_BIN_DIR not set";
    int found = 0;
    for (const char* name : {"zvbasic", "zvbasic-cli", "zvbasic-capview", "zvbasic-ecusim"}) {
        const std::string exe = std::string(dir) + "/" + name;
        if (::access(exe.c_str(), X_OK) != 0) continue;  // the windowed ones need the GUI build
        ++found;
        sCliRun run = RunCli(exe, {"--version"}, {}, SIGINT, 20000);
        EXPECT_EQ(run.Exit, 0) << name << ": " << run.Err;
        EXPECT_TRUE(std::regex_match(run.Out, std::regex(std::string(name) + " \\d+\\.\\d+\\.\\d+\\.\\d+\n")))
            << run.Out;
    }
    EXPECT_GE(found, 2);
    const std::string zvbasic = std::string(dir) + "/zvbasic";
    if (::access(zvbasic.c_str(), X_OK) != 0) return;
    sCliRun help = RunCli(zvbasic, {"--help"}, {}, SIGINT, 20000);
    EXPECT_EQ(help.Exit, 0) << help.Err;
    EXPECT_EQ(help.Out.rfind("Usage: zvbasic ", 0), 0u) << help.Out;
}
