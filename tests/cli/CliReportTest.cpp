// zvbasic-cli report, the program itself: the PDF read back with pdftotext
// holds every setting with both values and the changed marks in each
// language, the identity, the backup names and the drive's record count;
// damaged input makes no PDF and leaves an existing one as it was; the paper
// follows the locale; and against the simulator after a write the before
// column is the first backup and the now column what the ECU holds.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
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
#include "MemoryCli.h"

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
    std::ofstream(cut, std::ios::binary) << CaptureText(10) << "not a record\r\n" << CaptureText(3).substr(30);
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

// A capture cut by the ignition ends inside its last record: as the viewer
// does, the report leaves that line out and says so; the records before it
// make the drive.
TEST_F(CliReport, ACaptureWithATornLastLineStillMakesAReport) {
    const std::string torn = (Dir.Path / "torn.dat").string();
    std::ofstream(torn, std::ios::binary) << CaptureText(10) << "\"1.000000\",\"0.4";
    const sCliRun run = RunCli(Exe, {"report", "--json", "--before", Before, "--after", Now, "--capture", torn});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_NE(run.Out.find("\"records\":10,"), std::string::npos) << run.Out;
    EXPECT_NE(run.Out.find("\"seconds\":null"), std::string::npos) << run.Out;  // its writer never closed it
    EXPECT_NE(run.Err.find("torn.dat is cut off"), std::string::npos) << run.Err;
    EXPECT_NE(run.Out.find("\"warnings\":[\"the last line of "), std::string::npos) << run.Out;
}

// A capture of 20 s made by the command line polls all the time (about
// three records a second from version 48): its duration is the 20 s it
// recorded, in the JSON and on paper; an older capture without its time
// says "not known" instead of a figure.
TEST_F(CliReport, TheDurationIsTheTimeTheCaptureRecorded) {
    NEEDS_PDF();
    // A capture of 20 s on the session's clock, which moves on by the
    // polling cycle of version 48 at the line's speed with every record
    // (until the time is up: records of the cycle in hand may follow).
    sSimOptions o;
    o.Version = 0x30;
    linktest::cMemoryEcu ecu(o);
    clitest::cMemoryCli line(ecu);
    int records = 0;
    const auto captured = line.Run({"--quiet", "capture", "-", "--seconds", "20"}, [&](const std::string& out) {
        if (out.rfind("\"", 0) == 0 && out.find("TPS") == std::string::npos && ++records * 340 <= 20340)
            line.Later(std::chrono::milliseconds(340));
    });
    ASSERT_EQ(captured.Exit, 0) << captured.Err;
    const std::string drive = (Dir.Path / "drive20.dat").string();
    std::ofstream(drive, std::ios::binary) << captured.Out;
    sCliRun run;
    run = RunCli(Exe, {"report", "--json", "--before", Before, "--after", Now, "--capture", drive, "-o", Pdf});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    const size_t at = run.Out.find("\"seconds\":");
    ASSERT_NE(at, std::string::npos) << run.Out;
    const double seconds = std::atof(run.Out.c_str() + at + 10);
    EXPECT_EQ(seconds, 20.1) << run.Out;  // 59 cycles of 0.34 s, to a tenth
    // The paper says the same (0:20 unless a late end rounds it up; the JSON
    // keeps a tenth, the paper rounds the whole).
    const std::string paper = Strip(PdfText(Pdf)), duration = Strip(_("Duration:"));
    EXPECT_TRUE(paper.find(duration + Report::DurationText(seconds - 0.05)) != std::string::npos ||
                paper.find(duration + Report::DurationText(seconds + 0.05)) != std::string::npos)
        << PdfText(Pdf);

    run = RunCli(Exe, {"report", "--json", "--before", Before, "--after", Now, "--capture", Drive, "-o", Pdf});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_NE(run.Out.find("\"seconds_per_record\":null,\"seconds\":null"), std::string::npos) << run.Out;
    EXPECT_NE(Strip(PdfText(Pdf)).find(Strip("not known (the capture does not keep its time)")), std::string::npos)
        << PdfText(Pdf);
}

// A language without a catalogue is refused, not printed in English.
TEST_F(CliReport, AnUnknownLanguageIsRefused) {
    sCliRun run = RunCli(Exe, {"report", "--json", "--before", Before, "--after", Now, "--language", "xx"});
    EXPECT_EQ(run.Exit, 2) << run.Err;
    EXPECT_NE(run.Err.find("--language xx: no such language (de, en, pl, ru)"), std::string::npos) << run.Err;
    run = RunCli(Exe, {"report", "--json", "--before", Before, "--after", Now, "--language", "pl"});
    EXPECT_EQ(run.Exit, 0) << run.Err;
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

// The backups named in the lines a refused report prints, in order.
std::vector<std::string> Candidates(const std::string& err) {
    std::vector<std::string> out;
    for (const std::string& line : Lines(err)) {
        const size_t zv2 = line.find(".zv2: ");
        if (line.rfind("zvbasic-cli:   ", 0) != 0 || zv2 == std::string::npos) continue;
        const size_t slash = line.rfind('/', zv2);
        out.push_back(line.substr(slash + 1, zv2 + 4 - slash - 1));
    }
    return out;
}

// A job of two writes (minimum 50 to 60, then maximum 150 to 160): without
// --before the report does not guess (the newest backup that differs would
// hide the first change) but lists the backups with what each differs in;
// with the one the job began with, both changes are in the JSON and the PDF.
TEST_F(CliReport, TheTwoWriteJobIsRefusedWithoutBeforeAndTrueWithIt) {
    NEEDS_PDF();
    sSimOptions o;
    o.Version = 0x30;
    linktest::cMemoryEcu ecu(o);
    clitest::cMemoryCli line(ecu);
    const auto file = [&](const char* name, const char* min, const char* max) {
        std::string text = kBefore;  // line 8 the minimum (50), line 9 the maximum (150)
        text.replace(text.find("\r\n50\r\n") + 2, 2, min);
        text.replace(text.find("\r\n150\r\n") + 2, 3, max);
        const std::string path = (Dir.Path / name).string();
        std::ofstream(path, std::ios::binary) << text;
        return path;
    };
    // The car as it comes in, then the job.
    ASSERT_EQ(line.Run({"--quiet", "--no-backup", "write", file("car.zv2", "50", "150")}).Exit, 0);
    auto run = line.Run({"--quiet", "--json", "write", file("one.zv2", "60", "150")});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    const std::string key = "\"backup\":\"";
    const size_t at = run.Out.find(key);
    ASSERT_NE(at, std::string::npos) << run.Out;
    const std::string start = run.Out.substr(at + key.size(), run.Out.find('"', at + key.size()) - at - key.size());
    ASSERT_EQ(line.Run({"--quiet", "write", file("two.zv2", "60", "160")}).Exit, 0);

    // Refused before anything is painted.
    line.Pdf = [](const Report::sContent&, const Capture::sCaptureData*, std::string&, std::string& error) {
        error = "painted";
        return false;
    };
    run = line.Run({"--quiet", "report", "-o", Pdf});
    EXPECT_EQ(run.Exit, 6) << run.Err;
    // Newest first: after the first write (the maximum differs), then the
    // car as it came (both differ); now's own backup is no candidate.
    const std::vector<std::string> listed = Candidates(run.Err);
    ASSERT_EQ(listed.size(), 2u) << run.Err;
    EXPECT_EQ(listed[1], fs::path(start).filename().string()) << run.Err;
    EXPECT_NE(run.Err.find("differs in Valve maximal open 150 (now 160)\n"), std::string::npos) << run.Err;
    EXPECT_NE(run.Err.find("differs in Valve minimal open 50 (now 60), Valve maximal open 150 (now 160)\n"),
              std::string::npos)
        << run.Err;
    EXPECT_FALSE(fs::exists(Pdf));
    run = line.Run({"--quiet", "--json", "report"});
    EXPECT_EQ(run.Exit, 6) << run.Err;
    EXPECT_NE(run.Out.find("\"exit\":6,\"candidates\":[{\"time\":"), std::string::npos) << run.Out;
    EXPECT_NE(run.Out.find("\"changed\":2,\"differences\":[{\"field\":\"StepPosMin\""), std::string::npos) << run.Out;

    // The paper, from the program itself: now is what the last write's read
    // back found, its newest backup.
    std::string now = line.Offline({"backups", "--latest"}).Out;
    ASSERT_FALSE(now.empty());
    now.pop_back();
    const sCliRun paper = RunCli(Exe, {"--quiet", "--json", "report", "--before", start, "--after", now, "-o", Pdf});
    ASSERT_EQ(paper.Exit, 0) << paper.Err;
    EXPECT_NE(paper.Out.find("\"changed\":2,"), std::string::npos) << paper.Out;
    const std::string text = Strip(PdfText(Pdf));
    EXPECT_NE(text.find(Strip("Valve minimal open 50 60 *")), std::string::npos) << text;
    EXPECT_NE(text.find(Strip("Valve maximal open 150 160 *")), std::string::npos) << text;
}

// Two cars of one ECU model share an identity, and the same car comes back
// the next day: a backup of the identity may be either. The report lists
// them and makes none until the fitter names the one the job began with.
TEST_F(CliReport, AnotherCarOrAnotherDayIsNeverTakenAsBefore) {
    const fs::path folder = Dir.Path / "data" / "zvbasic" / "backups";
    fs::create_directories(folder);
    const std::string otherCar = std::string(kBefore).replace(0, 2, "60");  // line 1 differs
    const std::string yesterday = std::string(kNow).replace(0, 2, "70");
    struct sBackup {
        const char* Name;
        std::string Contents;
    };
    const sBackup backups[] = {
        {"2026-12-07_16-00-00+0100_ECU-2.5-3.7.zv2", yesterday},  // this car, the day before
        {"2026-12-08_09-00-00+0100_ECU-2.5-3.7.zv2", kBefore},    // this car, as it came in
        {"2026-12-08_09-30-00+0100_ECU-2.5-3.0.zv2", otherCar},   // another ECU model
        {"2026-12-08_10-00-00+0100_ECU-2.5-3.7.zv2", otherCar},   // another car of this model
        {"2026-12-08_11-00-00+0100_ECU-2.5-3.7.zv2", kNow},       // this car, now
        {"2026-12-08_12-00-00+0100_ECU-2.5-3.7.zv2", otherCar},   // later than now
    };
    for (const sBackup& b : backups) std::ofstream(folder / b.Name, std::ios::binary) << b.Contents;
    const std::string now = (folder / "2026-12-08_11-00-00+0100_ECU-2.5-3.7.zv2").string();
    sCliRun run = RunCli(Exe, {"report", "--json", "--after", now});
    EXPECT_EQ(run.Exit, 6) << run.Err;
    EXPECT_EQ(Candidates(run.Err), (std::vector<std::string>{"2026-12-08_10-00-00+0100_ECU-2.5-3.7.zv2",
                                                             "2026-12-08_09-00-00+0100_ECU-2.5-3.7.zv2",
                                                             "2026-12-07_16-00-00+0100_ECU-2.5-3.7.zv2"}))
        << run.Err;
    EXPECT_EQ(run.Out.find("\"settings\""), std::string::npos) << run.Out;

    const struct {
        const char* Before;
        int Changed;
    } named[] = {{"2026-12-08_09-00-00+0100_ECU-2.5-3.7.zv2", 11}, {"2026-12-07_16-00-00+0100_ECU-2.5-3.7.zv2", 1}};
    for (const auto& n : named) {
        run = RunCli(Exe, {"report", "--json", "--after", now, "--before", (folder / n.Before).string()});
        ASSERT_EQ(run.Exit, 0) << run.Err;
        EXPECT_NE(run.Out.find("\"changed\":" + std::to_string(n.Changed) + ",\"before_file\":\"" + n.Before + "\""),
                  std::string::npos)
            << run.Out;
    }
    // A file from elsewhere tells no ECU: nothing to offer, the same exit.
    run = RunCli(Exe, {"report", "--json", "--after", Before});
    EXPECT_EQ(run.Exit, 6);
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
