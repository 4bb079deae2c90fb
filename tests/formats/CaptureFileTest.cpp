#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <clocale>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "formats/CaptureData.h"
#include "formats/CaptureFile.h"

#include "tests/TestKit.h"

namespace fs = std::filesystem;

namespace {
using testkit::Slurp;
fs::path TempFile(const char* name) {
    return fs::temp_directory_path() / (std::string(name) + "_" + std::to_string(::getpid()) + ".dat");
}
}  // namespace

TEST(CaptureFile, RecordHasSixDecimalsWithAPointWhateverTheLocale) {
    // A comma locale must not leak into the file.
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    std::string saved = old ? old : "C";
    bool comma = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") || std::setlocale(LC_NUMERIC, "pl_PL.UTF-8");
    sLiveSample s;
    s.TPSVolts = float(120 / 51.0);
    s.LambdaVolts = 0.45f;
    s.RPM = 2000;
    s.ValvePos = 150;
    EXPECT_EQ(cCaptureFile::FormatRecord(s), "\"2.352941\",\"0.450000\",\"2000.000000\",\"150.000000\"\r\n");
    std::setlocale(LC_NUMERIC, saved.c_str());
    if (!comma) GTEST_LOG_(INFO) << "no comma locale installed; checked in the C locale only";
}

TEST(CaptureFile, NumbersFollowPrintfFixedNotation) {
    struct {
        double In;
        const char* Out;
    } cases[] = {
        {0.0, "0.000000"},          {-3.0 / 51.0, "-0.058824"},
        {54000, "54000.000000"},    {double(0.8f), "0.800000"},
        {double(1.6f), "1.600000"}, {5.0, "5.000000"},
        {2.5e-7, "0.000000"},       {-2147483648.0, "-2147483648.000000"},
    };
    for (auto& c : cases) EXPECT_EQ(cCaptureFile::FormatNumber(c.In), c.Out) << c.In;
}

TEST(CaptureFile, HeaderRecordsAndEmptyingAnOldFile) {
    fs::path p = TempFile("capture");
    {
        std::ofstream old(p, std::ios::binary);
        old << "old contents that must go\r\n";
    }
    cCaptureFile f;
    ASSERT_TRUE(f.Open(p.string()));
    EXPECT_TRUE(f.IsOpen());
    // The header is on disk at once, each record as soon as it is written.
    EXPECT_EQ(Slurp(p), "\"TPS\" \"LAMBDA\" \"RPM\" \"VALVE\"\r\n");
    sLiveSample zero;
    f.WriteRecord(zero);
    EXPECT_EQ(Slurp(p), std::string("\"TPS\" \"LAMBDA\" \"RPM\" \"VALVE\"\r\n") +
                            "\"0.000000\",\"0.000000\",\"0.000000\",\"0.000000\"\r\n");
    // A gap line where the ECU was away, then the record after it.
    f.WriteGap(12.5);
    sLiveSample s{5.0f, 1.0f, 211, 255};
    f.WriteRecord(s);
    f.Close();
    EXPECT_FALSE(f.IsOpen());
    f.WriteRecord(s);  // ignored when closed
    // Closing added the time it recorded, a moment here.
    const std::string text = Slurp(p);
    const std::string records = std::string("\"TPS\" \"LAMBDA\" \"RPM\" \"VALVE\"\r\n") +
                                "\"0.000000\",\"0.000000\",\"0.000000\",\"0.000000\"\r\n" +
                                "\"GAP\" \"12.500000\"\r\n" +
                                "\"5.000000\",\"1.000000\",\"211.000000\",\"255.000000\"\r\n";
    EXPECT_EQ(text.substr(0, records.size()), records);
    const Capture::sCaptureData d = Capture::ParseCapture(text);
    EXPECT_TRUE(d.TimeKnown()) << text;
    EXPECT_EQ(d.SkippedLines, 0u);
    ASSERT_EQ(d.Gaps.size(), 1u);
    EXPECT_EQ(d.Gaps[0].Record, 1u);
    EXPECT_GE(d.Seconds, 0.0);
    EXPECT_EQ(text.substr(records.size()), cCaptureFile::FormatTime(d.Seconds));
    fs::remove(p);
}

TEST(CaptureFile, OpenFailuresLeaveItClosed) {
    cCaptureFile f;
    EXPECT_FALSE(f.Open(""));
    EXPECT_FALSE(f.Open((fs::temp_directory_path() / "no_such_folder_zv" / "c.dat").string()));
    EXPECT_FALSE(f.IsOpen());
}

// A full disk in the middle of a record: the file size limit stands in for
// it (the write stops part way and then fails, as on a full file system).
TEST(CaptureFile, AFailedWriteLeavesWholeRecordsOnly) {
    const std::string header = cCaptureFile::Header();
    const sLiveSample a{1.0f, 0.5f, 2000, 100}, b{2.0f, 0.25f, 3000, 120};
    const std::string recA = cCaptureFile::FormatRecord(a), recB = cCaptureFile::FormatRecord(b);
    struct {
        size_t Room;  // bytes the disk takes after the header and one record
        const char* What;
    } cases[] = {{0, "nothing of the record"},
                 {1, "its first byte"},
                 {20, "up to \"2000."},
                 {recB.size() - 1, "all but the line end's LF"}};
    struct sigaction ignore {
    }, old{};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(::sigaction(SIGXFSZ, &ignore, &old), 0);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    for (const auto& c : cases) {
        const fs::path p = TempFile("capture_full");
        cCaptureFile f;
        ASSERT_TRUE(f.Open(p.string()));
        ASSERT_TRUE(f.WriteRecord(a));
        rlimit small = saved;
        small.rlim_cur = header.size() + recA.size() + c.Room;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
        EXPECT_FALSE(f.WriteRecord(b)) << c.What;
        EXPECT_TRUE(f.WriteFailed());
        EXPECT_FALSE(f.WriteRecord(b)) << c.What;  // the next cycle fails the same way
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &saved), 0);
        EXPECT_EQ(Slurp(p), header + recA) << c.What;
        // Room again (a file deleted elsewhere): the records go on after the
        // last whole one.
        EXPECT_TRUE(f.WriteRecord(b)) << c.What;
        f.Close();
        const std::string text = Slurp(p);
        EXPECT_EQ(text.substr(0, text.rfind("\"SECONDS\"")), header + recA + recB) << c.What;
        fs::remove(p);
    }
    ::sigaction(SIGXFSZ, &old, nullptr);
}

// A record is written at the level value only when every value of the cycle
// has come since the link was last cut: after a reconnection the poll
// resumes in the middle of a cycle, and the values from before the drop are
// of another cycle.
TEST(CaptureFile, CycleIsWholeOnlyWithEveryValueSinceTheLastCut) {
    constexpr int kCut = -1;
    const int full[] = {LiveTPS, LiveRPM, LiveFuel, LiveLambda, LiveStepper, LiveLPGLevel};
    struct sCase {
        const char* Name;
        std::vector<int> Events;  // live value numbers, kCut for a cut link
        bool Whole;
    } cases[] = {
        {"nothing yet", {}, false},
        {"one whole cycle", {std::begin(full), std::end(full)}, true},
        {"a cycle without the lambda", {LiveTPS, LiveRPM, LiveFuel, LiveStepper, LiveLPGLevel}, false},
        {"cut after a whole cycle", {LiveTPS, LiveRPM, LiveFuel, LiveLambda, LiveStepper, LiveLPGLevel, kCut}, false},
        {"the tail of a cycle after a cut",
         {LiveTPS, LiveRPM, LiveFuel, LiveLambda, LiveStepper, LiveLPGLevel, LiveTPS, LiveRPM, kCut, LiveFuel,
          LiveLambda, LiveStepper, LiveLPGLevel},
         false},
        {"a whole cycle after the cut tail",
         {LiveTPS, LiveRPM, kCut, LiveFuel, LiveLambda, LiveStepper, LiveLPGLevel, LiveTPS, LiveRPM, LiveFuel,
          LiveLambda, LiveStepper, LiveLPGLevel},
         true},
        {"values the live poll does not read count for nothing", {0, 2, 4, 9, 31, 40, -7}, false},
    };
    for (const sCase& c : cases) {
        cCycleValues cycle;
        for (int e : c.Events) {
            if (e == kCut) cycle.Cut();
            else cycle.Take(e);
        }
        EXPECT_EQ(cycle.Whole(), c.Whole) << c.Name;
    }
}
