// zvbasic-cli's commands run in this process against the ECU in memory: one
// JSON value per run whatever goes wrong, the throttle setting and the
// cylinder and coil counts as a whole record carries them to a newer ECU, no
// change without a backup, the records on standard output, and a capture
// that outlasts an ECU away for a while. The ECU answers as each frame is
// written, so every run is judged once; the session's clock is the test's,
// which moves it on at the moments it means.
#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>

#include "link/Protocol.h"

#include "formats/CaptureData.h"

#include "cli/CliArgs.h"
#include "cli/CliCommands.h"
#include "cli/CliFormat.h"
#include "cli/CliSession.h"

#include "tools/ecusim/EcuSimulator.h"

#include "tests/TestKit.h"
#include "tests/cli/MemoryCli.h"
#include "tests/link/MemoryEcu.h"

namespace fs = std::filesystem;

namespace {

// closed, switch, type, div, level, min rpm, max rpm, min, max, h0, h1, h2, lambda[, cyl, coil]
std::string VehicleText(int closed, int sw, int type, bool counts = true, int cyl = 6, int coil = 3) {
    std::string out = std::to_string(closed) + "\r\n" + std::to_string(sw) + "\r\n" + std::to_string(type) +
                      "\r\n1\r\n1\r\n30\r\n12\r\n61\r\n141\r\n111\r\n96\r\n86\r\n2\r\n";
    if (counts) out += std::to_string(cyl) + "\r\n" + std::to_string(coil) + "\r\n";
    return out;
}

// Just enough of a JSON reader to tell whether a text is exactly one JSON
// value (with white space around it) and what kind the first one is.
class cJsonCheck {
public:
    explicit cJsonCheck(const std::string& text) : T(text) {}
    bool OneObject() {
        Blank();
        if (At >= T.size() || T[At] != '{') return false;
        if (!Value()) return false;
        Blank();
        return At == T.size();
    }

private:
    void Blank() {
        while (At < T.size() && (T[At] == ' ' || T[At] == '\n' || T[At] == '\r' || T[At] == '\t')) ++At;
    }
    bool Take(char c) {
        Blank();
        if (At < T.size() && T[At] == c) return ++At, true;
        return false;
    }
    bool String() {
        if (!Take('"')) return false;
        while (At < T.size() && T[At] != '"') {
            if (static_cast<unsigned char>(T[At]) < 0x20) return false;
            At += T[At] == '\\' ? 2 : 1;
        }
        return Take('"');
    }
    bool Value() {
        Blank();
        if (At >= T.size()) return false;
        const char c = T[At];
        if (c == '"') return String();
        if (c == '{' || c == '[') {
            const char close = c == '{' ? '}' : ']';
            ++At;
            if (Take(close)) return true;
            do {
                if (c == '{' && (!String() || !Take(':'))) return false;
                if (!Value()) return false;
            } while (Take(','));
            return Take(close);
        }
        const size_t start = At;
        while (At < T.size() && std::string("-+.eE0123456789truefalsn").find(T[At]) != std::string::npos) ++At;
        const std::string word = T.substr(start, At - start);
        return !word.empty() && (word == "true" || word == "false" || word == "null" ||
                                 std::string("-0123456789").find(word[0]) != std::string::npos);
    }
    const std::string& T;
    size_t At = 0;
};

// Whether a piece of standard output is a record (not the header, a gap or
// the time line).
bool IsRecord(const std::string& text) { return text.size() > 1 && text[0] == '"' && std::isdigit(text[1]); }

using sRun = clitest::sMemoryRun;

class CliCommands : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("XDG_DATA_HOME");
        HadOld = old != nullptr;
        Saved = old ? old : "";
        ::setenv("XDG_DATA_HOME", (Dir.Path / "data").string().c_str(), 1);
    }
    void TearDown() override {
        if (HadOld) ::setenv("XDG_DATA_HOME", Saved.c_str(), 1);
        else ::unsetenv("XDG_DATA_HOME");
    }
    void StartSim(int version, const std::string& name = {}) {
        sSimOptions o;
        o.Version = version;
        o.LinkPath = name;
        Sim = std::make_unique<linktest::cMemoryEcu>(o);
    }
    // The backup folder made impossible: a file where its parent should be.
    void SpoilBackups() {
        std::ofstream(Dir.Path / "file") << "x";
        ::setenv("XDG_DATA_HOME", (Dir.Path / "file").string().c_str(), 1);
    }
    std::string File(const std::string& name, const std::string& text) {
        const std::string path = (Dir.Path / name).string();
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    // Moves the session's clock on (from the output callbacks, which run on
    // the session's own thread between its steps).
    void Later(std::chrono::seconds by) { Line.Later(by); }
    // Runs a command in this process, once; with an ECU started, on its port
    // (the name given to --port) and the test's clock. `onErr` sees each line
    // of standard error as it comes.
    sRun Run(const std::vector<std::string>& args, const std::function<void(const std::string&)>& onOut = {},
             const std::function<void(const std::string&)>& onErr = {}) {
        Line.SetEcu(Sim.get());
        return Line.Run(args, onOut, onErr);
    }
    // The settings changes the simulator received: (parameter, value) of
    // each single update, and 0x63 for a store.
    std::vector<std::pair<int, int>> Changes() const {
        std::vector<std::pair<int, int>> out;
        for (const sSimLogEntry& e : Sim->Log())
            if (e.FromProgram && e.Note.empty() && e.Bytes.size() == 3 &&
                ((e.Bytes[0] & 0xF0) == 0xC0 || e.Bytes[0] == 0x63))
                out.emplace_back(e.Bytes[0] == 0x63 ? 0x63 : e.Bytes[0] & 0x0F, e.Bytes[1]);
        return out;
    }
    int Sent(int param) const {
        int value = -1;
        for (const auto& [p, v] : Changes())
            if (p == param) value = v;
        return value;
    }

    testkit::cTempDir Dir;
    std::unique_ptr<linktest::cMemoryEcu> Sim;
    clitest::cMemoryCli Line{nullptr, true};  // the session's clock runs, ahead by what Later added
    std::string Saved;
    bool HadOld = false;
};

}  // namespace

// Whatever warning comes first and whatever fails after it, --json prints one
// object that a JSON parser reads, with the warning in it.
TEST_F(CliCommands, JsonIsOneObjectWhenTheBackupCannotBeSaved) {
    StartSim(48);
    const std::string file = File("v.zv2", VehicleText(0, 101, 1));
    const std::string cap = (Dir.Path / "c.dat").string();
    struct sCase {
        std::vector<std::string> Args;
        int Exit;
        const char* Holds;  // a field the object must carry
    } cases[] = {
        {{"read"}, 0, "\"settings\":"},
        {{"diff", file}, -1, "\"equal\":"},
        {{"write", file}, 5, "\"error\":\"nothing was sent"},
        {{"factory", "--yes"}, 5, "\"error\":\"nothing was sent"},
        {{"capture", cap, "--seconds", "1"}, 0, "\"records\":"},
    };
    SpoilBackups();
    for (const sCase& c : cases) {
        std::vector<std::string> args = {"--json", "--quiet"};
        args.insert(args.end(), c.Args.begin(), c.Args.end());
        // A capture's time is up at once: the test's clock moves on at its header.
        const sRun run = Run(args, [&](const std::string&) { Later(std::chrono::seconds(60)); });
        if (c.Exit >= 0) {
            EXPECT_EQ(run.Exit, c.Exit) << c.Args[0] << ": " << run.Err;
        }
        EXPECT_TRUE(cJsonCheck(run.Out).OneObject()) << c.Args[0] << ": " << run.Out;
        EXPECT_NE(run.Out.find(c.Holds), std::string::npos) << c.Args[0] << ": " << run.Out;
        EXPECT_NE(run.Out.find("\"warnings\":[\"no backup of the ECU's settings: "), std::string::npos)
            << c.Args[0] << ": " << run.Out;
        EXPECT_NE(run.Err.find("zvbasic-cli: no backup of the ECU's settings: "), std::string::npos) << run.Err;
    }
    // An ECU that falls silent during the write: the failure is the object.
    ::setenv("XDG_DATA_HOME", (Dir.Path / "data").string().c_str(), 1);
    Sim->SetFault(eSimFault::SilenceAfter, 16);
    const sRun run = Run({"--json", "--quiet", "write", file});
    EXPECT_EQ(run.Exit, 4) << run.Err;
    EXPECT_TRUE(cJsonCheck(run.Out).OneObject()) << run.Out;
    EXPECT_NE(run.Out.find("\"exit\":4"), std::string::npos) << run.Out;
}

// Without a backup of what the ECU holds nothing is sent, unless the fitter
// says --no-backup; a backup made is named under --quiet too.
TEST_F(CliCommands, WriteAndFactoryNeedABackupOrTheFittersWord) {
    StartSim(48);
    const std::string file = File("v.zv2", VehicleText(0, 101, 1));
    const struct {
        std::vector<std::string> Args;
        bool Spoiled;
        int Exit;
    } cases[] = {
        {{"--quiet", "write", file}, true, 5},
        {{"--quiet", "factory", "--yes"}, true, 5},
        {{"--quiet", "write", "--no-store", file}, true, 5},
        {{"--quiet", "--no-backup", "write", file}, true, 0},
        {{"--quiet", "write", file}, false, 0},
        {{"--quiet", "factory", "--yes"}, false, 0},
    };
    for (const auto& c : cases) {
        ::setenv("XDG_DATA_HOME", (Dir.Path / "data").string().c_str(), 1);
        if (c.Spoiled) SpoilBackups();
        Sim->ClearLog();
        const sRun run = Run(c.Args);
        EXPECT_EQ(run.Exit, c.Exit) << c.Args[1] << ": " << run.Err;
        EXPECT_EQ(Changes().empty(), c.Exit != 0) << c.Args[1];
        const bool named = run.Err.find("zvbasic-cli: backup of the ECU's settings: " +
                                        (Dir.Path / "data" / "zvbasic" / "backups").string()) != std::string::npos;
        EXPECT_EQ(named, !c.Spoiled) << c.Args[1] << ": " << run.Err;
    }
}

// Parameter 1 goes by the throttle direction rule whatever the file holds in
// its switch level; diff compares what the ECU makes of it.
TEST_F(CliCommands, AWholeRecordCarriesTheThrottleDirectionToANewerEcu) {
    StartSim(48);
    const struct {
        const char* What;
        int Closed, Switch, Type;
        int Param1;
    } cases[] = {
        {"not connected", 0, 121, 0, 0x01},
        {"falling", 200, 61, 1, 0x3C},
        {"rising", 51, 100, 1, 101},
    };
    const std::string connected = File("connected.zv2", VehicleText(0, 121, 1));
    for (const auto& c : cases) {
        const sRun first = Run({"--quiet", "write", connected});
        ASSERT_EQ(first.Exit, 0) << c.What << ": " << first.Err;
        const std::string file = File("f.zv2", VehicleText(c.Closed, c.Switch, c.Type));
        // The ECU holds a rising sensor at 121: the file means something else.
        EXPECT_EQ(Run({"--quiet", "diff", file}).Exit, 1) << c.What;
        Sim->ClearLog();
        const sRun run = Run({"--quiet", "write", file});
        EXPECT_EQ(run.Exit, 0) << c.What << ": " << run.Err;
        EXPECT_EQ(Sent(1), c.Param1) << c.What;
        EXPECT_EQ(Run({"--quiet", "diff", file}).Exit, 0) << c.What;
    }
}

// A file of the older kind (13 lines) leaves the ECU's cylinder and coil
// counts alone and says so once.
TEST_F(CliCommands, AnOlderFileKeepsTheEcusCounts) {
    StartSim(48);
    ASSERT_EQ(Run({"--quiet", "write", File("six.zv2", VehicleText(0, 101, 1, true, 6, 3))}).Exit, 0);
    const std::string old = File("old.zv2", VehicleText(51, 150, 1, false));
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--quiet", "write", old}, {"--quiet", "diff", old}}) {
        Sim->ClearLog();
        const sRun run = Run(args);
        EXPECT_EQ(run.Exit, 0) << args[1] << ": " << run.Err;
        EXPECT_EQ(Sent(P_CYL_COUNT), -1) << args[1];
        EXPECT_EQ(Sent(P_COIL_COUNT), -1) << args[1];
        const std::string note = "without the cylinder and coil counts: the ECU keeps its own";
        EXPECT_NE(run.Err.find(note), std::string::npos) << run.Err;
        EXPECT_EQ(run.Err.find(note), run.Err.rfind(note)) << run.Err;
    }
    const sRun read = Run({"--quiet", "read", "-o", "-"});
    EXPECT_EQ(read.Out, VehicleText(0, 151, 1, true, 6, 3));  // a rising sensor at 150 as the ECU holds it
}

// A linear sensor rising from a switch level of 0 or 1 shares its byte with
// "no sensor": the write says that the ECU will hold it as not connected.
TEST_F(CliCommands, ALinearSensorThatReadsBackAsNoneIsWarnedOf) {
    StartSim(48);
    const struct {
        int Closed, Switch, Type;
        bool Warned;
    } cases[] = {{0, 0, 1, true}, {0, 1, 1, true}, {0, 2, 1, false}, {51, 0, 1, false}, {0, 0, 0, false}};
    for (const auto& c : cases) {
        const std::string file = File("t.zv2", VehicleText(c.Closed, c.Switch, c.Type));
        const sRun run = Run({"--quiet", "--json", "write", file});
        EXPECT_EQ(run.Exit, 0) << c.Switch << ": " << run.Err;
        EXPECT_EQ(run.Err.find("not connected") != std::string::npos, c.Warned)
            << c.Closed << "/" << c.Switch << "/" << c.Type << ": " << run.Err;
        EXPECT_EQ(run.Out.find("\"warnings\":[") != std::string::npos, c.Warned) << run.Out;
    }
}

// An ECU below 48 has no cylinder or coil count: a file without them is no
// news worth a warning there.
TEST_F(CliCommands, AnOlderFileIsNoNewsToAnEcuWithoutCounts) {
    StartSim(22);
    const std::string old = File("old.zv2", VehicleText(51, 150, 1, false));
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--quiet", "write", old}, {"--quiet", "diff", old}}) {
        const sRun run = Run(args);
        EXPECT_EQ(run.Exit, 0) << args[1] << ": " << run.Err;
        EXPECT_EQ(run.Err.find("cylinder and coil"), std::string::npos) << run.Err;
    }
}

// The capture's time is up once the first record is out (the test's clock
// moves on then): the header, that record and the time recorded.
TEST_F(CliCommands, CaptureToStandardOutput) {
    StartSim(48);
    int outs = 0;
    const sRun run = Run({"--quiet", "capture", "-", "--seconds", "1.5"}, [&](const std::string&) {
        if (++outs == 2) Later(std::chrono::seconds(60));
    });
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(run.Out.rfind("\"TPS\" \"LAMBDA\" \"RPM\" \"VALVE\"\r\n", 0), 0u) << run.Out;
    EXPECT_GE(std::count(run.Out.begin(), run.Out.end(), '\n'), 3) << run.Out;
    EXPECT_FALSE(fs::exists("-"));
}

// A capture outlasts an ECU away for any time and ends at its --seconds. The
// ECU falls silent after two records; when the capture says it is
// reconnecting, the test's clock moves on by the time away and the ECU
// answers again; once a record has come after the gap line, the capture's
// time is up. The gap line stands between whole records with at least the
// time away, and standard error tells the drop, the time still away and the
// return.
TEST_F(CliCommands, CaptureOutlastsAnEcuAwayForAnyTime) {
    for (const int away : {8, 12, 60}) {
        StartSim(22);
        Line.ResetClock();
        const int seconds = away + 30;
        int records = 0;
        bool gapSeen = false, timeUp = false;
        const sRun run = Run(
            {"capture", "-", "--seconds", std::to_string(seconds)},
            [&](const std::string& text) {
                if (text.rfind("\"GAP\"", 0) == 0) gapSeen = true;
                if (!IsRecord(text)) return;
                if (++records == 2) Sim->SetFault(eSimFault::Silence);
                if (gapSeen && !timeUp) {
                    timeUp = true;
                    Later(std::chrono::seconds(600));
                }
            },
            [&](const std::string& line) {
                if (line.find("NoReply: the ECU did not answer while polling live values on ") != std::string::npos &&
                    line.find("; reconnecting") != std::string::npos) {
                    Later(std::chrono::seconds(away));
                    Sim->SetFault(eSimFault::None);
                }
            });
        ASSERT_EQ(run.Exit, 0) << away << ": " << run.Err;
        const Capture::sCaptureData d = Capture::ParseCapture(run.Out);
        ASSERT_EQ(d.Gaps.size(), 1u) << away << ": " << run.Out;
        EXPECT_GE(d.Gaps[0].Seconds, away) << away;
        EXPECT_LT(d.Gaps[0].Seconds, d.Seconds) << away;
        EXPECT_LT(d.Gaps[0].Record, d.Records()) << away;
        EXPECT_EQ(d.SkippedLines, 0u) << away;
        EXPECT_TRUE(d.TimeKnown()) << away;
        EXPECT_GE(d.Seconds, seconds) << away;
        const std::regex back("connected again after ([0-9]+\\.[0-9]) s away\n");
        std::smatch m;
        ASSERT_TRUE(std::regex_search(run.Err, m, back)) << run.Err;
        EXPECT_GE(std::stod(m[1]), away) << run.Err;
        if (away >= 10) {
            EXPECT_NE(run.Err.find("still away for "), std::string::npos) << run.Err;
        }
        EXPECT_NE(run.Err.find("records in standard output (1 gap, "), std::string::npos) << run.Err;
    }
}

// live goes on after the ECU was away as long as it takes, until its count.
TEST_F(CliCommands, LiveOutlastsAnEcuAwayForAMinute) {
    StartSim(48);
    int lines = 0;
    const sRun run = Run(
        {"live", "--csv", "--count", "5"},
        [&](const std::string&) {
            if (++lines == 3) Sim->SetFault(eSimFault::Silence);  // the header and two lines
        },
        [&](const std::string& line) {
            if (line.find("; reconnecting") == std::string::npos || line.find("still away") != std::string::npos)
                return;
            Later(std::chrono::seconds(60));
            Sim->SetFault(eSimFault::None);
        });
    EXPECT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(std::count(run.Out.begin(), run.Out.end(), '\n'), 6) << run.Out;
    EXPECT_NE(run.Err.find("still away for 60 s; reconnecting"), std::string::npos) << run.Err;
    EXPECT_NE(run.Err.find("connected again after "), std::string::npos) << run.Err;
}

// Ctrl-C while the ECU is away ends the capture with 130; what it recorded is
// whole and ends with the time away and the time line.
TEST_F(CliCommands, CtrlCWhileTheEcuIsAwayLeavesTheCaptureWhole) {
    StartSim(48);
    int records = 0;
    const sRun run = Run(
        {"capture", "-", "--seconds", "600"},
        [&](const std::string& text) {
            if (IsRecord(text) && ++records == 2) Sim->SetFault(eSimFault::Silence);
        },
        [&](const std::string& line) {
            if (line.find("; reconnecting") == std::string::npos) return;
            Later(std::chrono::seconds(30));
            CliSignal = SIGINT;
        });
    CliSignal = 0;
    EXPECT_EQ(run.Exit, 130) << run.Err;
    const Capture::sCaptureData d = Capture::ParseCapture(run.Out);
    EXPECT_GE(d.Records(), 2u);
    ASSERT_EQ(d.Gaps.size(), 1u) << run.Out;  // the time away up to the end, after the last record
    EXPECT_EQ(d.Gaps[0].Record, d.Records());
    EXPECT_GE(d.Gaps[0].Seconds, 30);
    EXPECT_EQ(d.SkippedLines, 0u);
    EXPECT_TRUE(d.TimeKnown()) << run.Out;
    EXPECT_GE(d.Seconds, 30);
    EXPECT_NE(run.Err.find("ended by SIGINT"), std::string::npos) << run.Err;
}

TEST_F(CliCommands, PortsShowControlCharactersEscaped) {
    const char* old = std::getenv("ZVBASIC_PORTS");
    const std::string saved = old ? old : "";
    ::setenv("ZVBASIC_PORTS", "/dev/a\x1b[2J\rb", 1);
    const sRun run = Run({"ports"});
    if (old) {
        ::setenv("ZVBASIC_PORTS", saved.c_str(), 1);
    } else {
        ::unsetenv("ZVBASIC_PORTS");
    }
    EXPECT_EQ(run.Out.find('\x1b'), std::string::npos) << run.Out;
    EXPECT_NE(run.Out.find("/dev/a\\x1B[2J\\x0Db"), std::string::npos) << run.Out;
}

// A control character in a port or file name (a newline, an escape
// sequence) comes out escaped on every line the program prints: it never
// makes a second line or acts on the terminal.
TEST_F(CliCommands, ControlCharactersInNamesAreShownEscaped) {
    const std::string odd = "a\nb\x1b[2J\tc\r";
    const std::string dir = (Dir.Path / odd).string();
    const auto plain = [](const std::string& text, size_t lines) {
        size_t n = 0;
        for (unsigned char c : text) {
            if (c == '\n') ++n;
            else if (c < 0x20 || c == 0x7F) return false;
        }
        return n == lines;
    };
    struct sCase {
        std::vector<std::string> Args;
        int Exit;
        const char* Shown;  // the name as it must appear
    } cases[] = {
        {{"--port", "/nonexistent/" + odd, "identify"}, 3, "/nonexistent/a\\x0Ab\\x1B[2J\\x09c\\x0D"},
        {{"--port", "/nonexistent/x", "write", dir + ".zv2"}, 5, "a\\x0Ab\\x1B[2J\\x09c\\x0D.zv2"},
        {{"--port", "/nonexistent/x", "read", "-o", dir + "/x.zv2"}, 5, "a\\x0Ab\\x1B[2J\\x09c\\x0D/x.zv2"},
        {{"--port", "/nonexistent/x", "capture", dir + "/x.dat"}, 5, "a\\x0Ab\\x1B[2J\\x09c\\x0D/x.dat"},
        {{"report", "--after", dir + ".zv2", "--json"}, 5, "a\\x0Ab\\x1B[2J\\x09c\\x0D.zv2"},
    };
    for (const sCase& c : cases) {
        const sRun run = Run(c.Args);
        EXPECT_EQ(run.Exit, c.Exit) << run.Err;
        EXPECT_TRUE(plain(run.Err, 1)) << run.Err;
        EXPECT_NE(run.Err.find(c.Shown), std::string::npos) << run.Err;
    }

    // The port of identify, through a link whose name holds them; the
    // backups of a data folder whose name holds them.
    fs::create_directories(dir);
    const std::string tty = dir + "/tty";
    StartSim(48, tty);
    sRun run = Run({"--port", tty, "identify"});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_TRUE(plain(run.Out, 5)) << run.Out;
    EXPECT_NE(run.Out.find("a\\x0Ab\\x1B[2J\\x09c\\x0D/tty\n"), std::string::npos) << run.Out;
    ::setenv("XDG_DATA_HOME", dir.c_str(), 1);
    ASSERT_EQ(Run({"--port", tty, "--quiet", "read"}).Exit, 0);
    for (const std::vector<std::string>& args : {std::vector<std::string>{"backups"}, {"backups", "--latest"}}) {
        run = Run(args);
        EXPECT_EQ(run.Exit, 0) << run.Err;
        EXPECT_TRUE(plain(run.Out, 1)) << run.Out;
        EXPECT_NE(run.Out.find("a\\x0Ab\\x1B[2J\\x09c\\x0D/zvbasic/backups/"), std::string::npos) << run.Out;
    }
}
