// zvbasic-cli report, the program itself: the PDF read back with pdftotext
// holds every setting with both values and the changed marks in each
// language, the identity, the backup names and the drive's record count;
// damaged input makes no PDF and leaves an existing one as it was; the paper
// follows the locale; and against the simulator after a write the before
// column is the first backup and the now column what the ECU holds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/Translate.h"

#include "formats/CaptureData.h"
#include "formats/VehicleFile.h"

#include "report/Report.h"

#include "tools/ecusim/EcuSimulator.h"

#include "tests/TestKit.h"

#include "CliRunner.h"

namespace fs = std::filesystem;
using testkit::Slurp;

namespace {

// File line order: closed, switch, type, div, level, min rpm, max rpm, min,
// max, h0, h1, h2, lambda, cyl, coil. Before: 1-0 V probe, no emergency
// switch-off; now: no probe, 6000 rpm, Lovato 90 ohm, other valve and counts.
const char* const kBefore = "51\r\n101\r\n1\r\n1\r\n1\r\n27\r\n0\r\n50\r\n150\r\n100\r\n90\r\n80\r\n2\r\n4\r\n1\r\n";
const char* const kNow = "52\r\n104\r\n0\r\n1\r\n5\r\n30\r\n9\r\n55\r\n150\r\n100\r\n91\r\n80\r\n8\r\n6\r\n3\r\n";
const char* const kNowName = "2026-12-08_14-03-27+0100_ECU-2.5-3.7.zv2";

std::string Strip(const std::string& s) {
    std::string out;
    for (char ch : s)
        if (ch != ' ' && ch != '\t' && ch != '\f' && ch != '\r') out += ch;
    return out;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        out.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return out;
}

// The output of a tool run on a file ("" when it could not run).
std::string Tool(const std::string& command) {
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        ::pclose(p);
    }
    return out;
}

[[maybe_unused]] bool HaveTool(const char* name) { return !Tool(std::string("command -v ") + name).empty(); }

std::string CaptureText(int records) {
    std::string text = "\"TPS\" \"LAMBDA\" \"RPM\" \"VALVE\"\r\n";
    for (int i = 0; i < records; ++i) {
        char line[128];
        std::snprintf(line, sizeof line, "\"%.6f\",\"%.6f\",\"%.6f\",\"%.6f\"\r\n", (i % 50) / 10.0, (i % 9) / 10.0,
                      800.0 + (i % 40) * 80, 40.0 + i % 60);
        text += line;
    }
    return text;
}

// A build without Qt (ZV_BUILD_GUI=OFF) makes no PDF: its tests of the pages
// are skipped there, and one checks that it says so.
#ifdef ZV_CLI_MAKES_PDF
#define NEEDS_PDF()
#else
#define NEEDS_PDF() GTEST_SKIP() << "this build's zvbasic-cli makes no PDF (built without Qt)"
#endif

class CliReport : public ::testing::Test {
protected:
    void SetUp() override {
        Exe = CliExe();
        if (Exe.empty()) GTEST_SKIP() << "zvbasic-cli not built (ZV_BIN_DIR)";
#ifdef ZV_CLI_MAKES_PDF
        ASSERT_TRUE(HaveTool("pdftotext")) << "pdftotext (poppler-utils) is needed";
#endif
        const char* bin = std::getenv("ZV_BIN_DIR");
        Translate::Init(std::string(bin) + "/locale");
        Before = (Dir.Path / "before.zv2").string();
        Now = (Dir.Path / kNowName).string();
        Drive = (Dir.Path / "drive.dat").string();
        Pdf = (Dir.Path / "report.pdf").string();
        std::ofstream(Before, std::ios::binary) << kBefore;
        std::ofstream(Now, std::ios::binary) << kNow;
        std::ofstream(Drive, std::ios::binary) << CaptureText(1234);
    }
    void TearDown() override { Translate::SetLanguage("en"); }
    std::string PdfText(const std::string& pdf) { return Tool("pdftotext -layout '" + pdf + "' -"); }

    testkit::cTempDir Dir;
    testkit::cScopedEnv DataHome{"XDG_DATA_HOME", (Dir.Path / "data").string().c_str()};
    testkit::cScopedEnv ConfigHome{"XDG_CONFIG_HOME", (Dir.Path / "config").string().c_str()};
    std::string Exe, Before, Now, Drive, Pdf;
};

}  // namespace

TEST_F(CliReport, EveryRowBothValuesTheMarksIdentityBackupsAndRecordsInFourLanguages) {
    NEEDS_PDF();
    sSettings before{}, now{};
    VehicleFile::Parse(std::string(kBefore), before);
    VehicleFile::Parse(std::string(kNow), now);
    for (const char* language : {"en", "de", "pl", "ru"}) {
        SCOPED_TRACE(language);
        const sCliRun run = RunCli(Exe, {"report", "--before", Before, "--after", Now, "--capture", Drive, "--vehicle",
                                         "WX 1234A", "--fitter", "Jan Nowak", "--language", language, "-o", Pdf});
        ASSERT_EQ(run.Exit, 0) << run.Err;
        const std::string text = PdfText(Pdf);
        ASSERT_FALSE(text.empty());
        const std::vector<std::string> lines = Lines(text);
        // What the files say, in the same language.
        Translate::SetLanguage(language);
        Report::sInput in;
        in.Before = before;
        in.Now = now;
        in.IdVersion = 0x25;
        in.Version = 0x37;
        const Report::sContent want = Report::Build(in);
        ASSERT_EQ(want.Rows.size(), 14u);
        int changed = 0;
        for (const Report::sRow& r : want.Rows) {
            // One line: the name, the value before, the value now, and the
            // mark when they differ.
            const std::string row = Strip(r.Name + r.Before + r.Now + (r.Changed ? "*" : ""));
            bool found = false;
            for (const std::string& line : lines) found = found || Strip(line) == row;
            EXPECT_TRUE(found) << r.Field << ": no line " << row << "\n" << text;
            changed += r.Changed;
        }
        EXPECT_EQ(changed, 11);
        const std::string all = Strip(text);
        for (const std::string& expected :
             {std::string("2.5/3.7") + _("ZORVA Basic +"), std::string("WX1234A"), std::string("JanNowak"),
              Strip(std::string("before.zv2")), Strip(kNowName), Strip(std::string(_("Records:")) + "1234"),
              Strip(std::string(_("Fitting report"))), Strip(std::string(_("Test drive")))})
            EXPECT_NE(all.find(Strip(expected)), std::string::npos) << expected << "\n" << text;
    }
}

TEST_F(CliReport, DamagedInputMakesNoPdfAndLeavesTheOldOneAsItWas) {
    NEEDS_PDF();
    const std::string damaged = (Dir.Path / "damaged.zv2").string(), cut = (Dir.Path / "cut.dat").string();
    const std::string empty = (Dir.Path / "empty.dat").string();
    std::ofstream(damaged, std::ios::binary) << "51\r\n101\r\nx\r\n";
    std::ofstream(cut, std::ios::binary) << CaptureText(10) << "\"1.000000\",\"0.4";
    std::ofstream(empty, std::ios::binary) << "\"TPS\" \"LAMBDA\" \"RPM\" \"VALVE\"\r\n";
    std::ofstream(Pdf, std::ios::binary) << "the old report";
    struct sCase {
        std::vector<std::string> Args;
        std::string Names;  // what the error names
    };
    const sCase cases[] = {
        {{"--before", damaged, "--after", Now}, damaged},
        {{"--before", Before, "--after", damaged}, damaged},
        {{"--before", Before, "--after", Now, "--capture", cut}, cut},
        {{"--before", Before, "--after", Now, "--capture", empty}, empty},
        {{"--before", Before, "--after", Now, "--capture", (Dir.Path / "missing.dat").string()}, "missing.dat"},
        {{"--before", Before, "--after", (Dir.Path / "missing.zv2").string()}, "missing.zv2"},
    };
    for (const sCase& c : cases) {
        std::vector<std::string> args = {"report", "-o", Pdf};
        args.insert(args.end(), c.Args.begin(), c.Args.end());
        const sCliRun run = RunCli(Exe, args);
        EXPECT_EQ(run.Exit, 5) << c.Names;
        EXPECT_NE(run.Err.find(c.Names), std::string::npos) << run.Err;
        EXPECT_EQ(Slurp(Pdf), "the old report") << c.Names;
    }
    // No temporary file of a half-made report either.
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(Dir.Path)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{kNowName, "before.zv2", "cut.dat", "damaged.zv2", "drive.dat",
                                               "empty.dat", "report.pdf"}));
    // A good run replaces it whole.
    const sCliRun run = RunCli(Exe, {"report", "--quiet", "--before", Before, "--after", Now, "-o", Pdf});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(Slurp(Pdf).rfind("%PDF-", 0), 0u);
    EXPECT_NE(Slurp(Pdf).find("%%EOF"), std::string::npos);
}

TEST_F(CliReport, ThePaperFollowsTheLocaleAndStandardOutputTakesThePdf) {
    NEEDS_PDF();
    struct sCase {
        const char* Locale;
        const char* Paper;
    };
    const sCase cases[] = {{"en_US.UTF-8", "612 x 792"}, {"fr_CA", "612 x 792"}, {"de_DE.UTF-8", "595"},
                           {"en_GB.UTF-8", "595"},       {"C", "595"},           {"en_USA", "595"}};
    for (const sCase& c : cases) {
        testkit::cScopedEnv all("LC_ALL", c.Locale);
        const sCliRun run = RunCli(Exe, {"report", "--before", Before, "--after", Now, "-o", "-"});
        ASSERT_EQ(run.Exit, 0) << c.Locale << ": " << run.Err;
        ASSERT_EQ(run.Out.rfind("%PDF-", 0), 0u) << c.Locale;
        std::ofstream(Pdf, std::ios::binary | std::ios::trunc) << run.Out;
        const std::string info = Tool("pdfinfo '" + Pdf + "'");
        EXPECT_NE(info.find(std::string("Page size:       ") + c.Paper), std::string::npos) << c.Locale << info;
        EXPECT_NE(Tool("pdffonts '" + Pdf + "'").find(" yes "), std::string::npos) << "fonts embedded";
    }
}

TEST_F(CliReport, AfterAWriteBeforeIsTheFirstBackupAndNowWhatTheEcuHolds) {
    NEEDS_PDF();
    sSimOptions o;
    o.Version = 0x30;
    o.Instant = true;
    cEcuSimulator sim(o);
    sim.Start();
    const std::string port = sim.DevicePath();
    const std::string file = (Dir.Path / "tuned.zv2").string();
    std::ofstream(file, std::ios::binary) << kNow;
    sCliRun run = RunCli(Exe, {"--port", port, "--quiet", "write", file});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    const std::string tell = "backup of the ECU's settings: ";
    const size_t at = run.Err.find(tell);
    ASSERT_NE(at, std::string::npos) << run.Err;
    const std::string first = run.Err.substr(at + tell.size(), run.Err.find('\n', at) - at - tell.size());
    const std::string held = (Dir.Path / "held.zv2").string();
    run = RunCli(Exe, {"--port", port, "--quiet", "read", "-o", held});
    ASSERT_EQ(run.Exit, 0) << run.Err;

    run = RunCli(Exe, {"--port", port, "--quiet", "--json", "report", "--language", "de", "-o", Pdf});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_NE(run.Out.find("\"before_file\":\"" + fs::path(first).filename().string() + "\""), std::string::npos)
        << run.Out;
    sSettings before{}, now{};
    VehicleFile::Parse(Slurp(first), before);
    VehicleFile::Parse(Slurp(held), now);
    ASSERT_NE(before, now);
    Translate::SetLanguage("de");
    Report::sInput in;
    in.Before = before;
    in.Now = now;
    in.IdVersion = 0x25;
    in.Version = 0x30;
    const std::vector<std::string> lines = Lines(PdfText(Pdf));
    for (const Report::sRow& r : Report::Build(in).Rows) {
        const std::string row = Strip(r.Name + r.Before + r.Now + (r.Changed ? "*" : ""));
        bool found = false;
        for (const std::string& line : lines) found = found || Strip(line) == row;
        EXPECT_TRUE(found) << r.Field << ": " << row;
        EXPECT_NE(run.Out.find("\"field\":\"" + r.Field + "\",\"name\":\"" + r.Name +
                               "\",\"before_raw\":" + std::to_string(r.BeforeRaw) + ",\"before\":\"" + r.Before +
                               "\",\"now_raw\":" + std::to_string(r.NowRaw)),
                  std::string::npos)
            << r.Field << "\n"
            << run.Out;
    }
}

// Without --before the state before is the newest backup of that ECU that
// holds other settings, and older than a backup given as now.
TEST_F(CliReport, WithoutBeforeTheNewestOlderBackupThatDiffers) {
    const fs::path folder = Dir.Path / "data" / "zvbasic" / "backups";
    fs::create_directories(folder);
    struct sBackup {
        const char* Name;
        const char* Contents;
    };
    const std::string other = std::string(kBefore).replace(0, 2, "60");  // line 1 differs
    const sBackup backups[] = {
        {"2026-12-08_10-00-00+0100_ECU-2.5-3.7.zv2", kBefore},        // the state before
        {"2026-12-08_10-30-00+0100_ECU-2.5-3.0.zv2", other.c_str()},  // another ECU
        {"2026-12-08_11-00-00+0100_ECU-2.5-3.7.zv2", kNow},           // now, read twice
        {"2026-12-08_11-00-00+0100_ECU-2.5-3.7_2.zv2", kNow},
        {"2026-12-08_12-00-00+0100_ECU-2.5-3.7.zv2", other.c_str()},  // later than now
    };
    for (const sBackup& b : backups) std::ofstream(folder / b.Name, std::ios::binary) << b.Contents;
    struct sCase {
        const char* After;
        const char* Before;  // expected before_file, or nullptr for none that differs
    };
    const sCase cases[] = {
        {"2026-12-08_11-00-00+0100_ECU-2.5-3.7_2.zv2", "2026-12-08_10-00-00+0100_ECU-2.5-3.7.zv2"},
        {"2026-12-08_12-00-00+0100_ECU-2.5-3.7.zv2", "2026-12-08_11-00-00+0100_ECU-2.5-3.7_2.zv2"},
        {"2026-12-08_10-00-00+0100_ECU-2.5-3.7.zv2", nullptr},
    };
    for (const sCase& c : cases) {
        const sCliRun run = RunCli(Exe, {"report", "--json", "--after", (folder / c.After).string()});
        ASSERT_EQ(run.Exit, 0) << c.After << ": " << run.Err;
        if (c.Before) {
            EXPECT_NE(run.Out.find(std::string("\"before_file\":\"") + c.Before + "\""), std::string::npos)
                << c.After << "\n"
                << run.Out;
        } else {
            EXPECT_NE(run.Out.find("\"changed\":0,"), std::string::npos) << run.Out;
            EXPECT_NE(run.Err.find("nothing is marked changed"), std::string::npos) << run.Err;
        }
    }
    // A file from elsewhere tells no ECU: --before is needed.
    const sCliRun run = RunCli(Exe, {"report", "--json", "--after", Before});
    EXPECT_EQ(run.Exit, 2);
    EXPECT_NE(run.Err.find("--before"), std::string::npos) << run.Err;
}

#ifndef ZV_CLI_MAKES_PDF
TEST_F(CliReport, ABuildWithoutQtSaysItMakesNoPdf) {
    const sCliRun run = RunCli(Exe, {"report", "--before", Before, "--after", Now, "-o", Pdf});
    EXPECT_EQ(run.Exit, 2);
    EXPECT_NE(run.Err.find("makes no PDF"), std::string::npos) << run.Err;
    EXPECT_FALSE(fs::exists(Pdf));
}
#endif
