#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>

#include "formats/CaptureData.h"
#include "formats/CaptureFile.h"

namespace fs = std::filesystem;
using namespace Capture;

namespace {

const std::string kHeader = cCaptureFile::Header();

fs::path TempPath(const std::string& name) {
    return fs::temp_directory_path() / ("zvcap_" + std::to_string(::getpid()) + "_" + name);
}

void WriteBytes(const fs::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string Record(float tps, float lambda, int rpm, int valve) {
    sLiveSample s;
    s.TPSVolts = tps;
    s.LambdaVolts = lambda;
    s.RPM = rpm;
    s.ValvePos = valve;
    return cCaptureFile::FormatRecord(s);
}

}  // namespace

// The program's own writer makes the file; every record comes back, each
// value within the six decimals the file keeps, and whole numbers exactly.
TEST(CaptureReader, ReadsBackWhatTheProgramsWriterWrote) {
    const fs::path p = TempPath("roundtrip.dat");
    std::mt19937 rng(7);
    std::vector<sLiveSample> written;
    {
        cCaptureFile file;
        ASSERT_TRUE(file.Open(p.string()));
        for (int i = 0; i < 3000; ++i) {
            sLiveSample s;
            s.TPSVolts = float((rng() % 256) / 51.0);
            s.LambdaVolts = float(std::clamp((int(rng() % 300) - 20) / 51.0, 0.0, 5.0));
            const int code = int(rng() % 256);
            s.RPM = code ? 54000 / code : 0;
            s.ValvePos = int(rng() % 256);
            if (i == 5) s = sLiveSample{};        // a record of a value that never arrived
            if (i == 6) s.TPSVolts = -3 / 51.0f;  // throttle volts are not clamped
            file.WriteRecord(s);
            written.push_back(s);
        }
    }
    sCaptureData d;
    const sReadResult r = ReadCaptureFile(p.string(), d);
    fs::remove(p);
    ASSERT_EQ(r.Status, eReadStatus::Ok);
    ASSERT_EQ(d.Records(), written.size());
    EXPECT_EQ(d.SkippedLines, 0u);
    EXPECT_EQ(d.HeaderLines, 1u);
    EXPECT_FALSE(d.LastLineCut);
    for (size_t i = 0; i < written.size(); ++i) {
        const sLiveSample& s = written[i];
        EXPECT_NEAR(d.Value(TraceTps, i), s.TPSVolts, 5.1e-7) << i;
        EXPECT_NEAR(d.Value(TraceLambda, i), s.LambdaVolts, 5.1e-7) << i;
        // Read back and written again, a value gives the same text.
        EXPECT_EQ(cCaptureFile::FormatNumber(d.Value(TraceTps, i)), cCaptureFile::FormatNumber(s.TPSVolts)) << i;
        EXPECT_EQ(d.Value(TraceRpm, i), float(s.RPM)) << i;
        EXPECT_EQ(d.Value(TraceValve, i), float(s.ValvePos)) << i;
    }
}

TEST(CaptureReader, RecordExampleOfTheFormat) {
    const sCaptureData d = ParseCapture(kHeader + Record(120 / 51.0f, 0.45f, 2000, 150));
    ASSERT_EQ(d.Records(), 1u);
    EXPECT_FLOAT_EQ(d.Value(TraceTps, 0), 2.352941f);
    EXPECT_FLOAT_EQ(d.Value(TraceLambda, 0), 0.45f);
    EXPECT_EQ(d.Value(TraceRpm, 0), 2000.0f);
    EXPECT_EQ(d.Value(TraceValve, 0), 150.0f);
}

// The split between two pieces of input may fall anywhere, also inside the
// CR LF pair and inside a byte order mark.
TEST(CaptureReader, SameResultWhereverTheInputIsSplit) {
    std::string text = "\xEF\xBB\xBF" + kHeader + Record(1, 0.5f, 800, 10) + "junk\r\n" + Record(2, 0.7f, 900, 20) +
                       "\r\n" + Record(3, 0.1f, 1000, 30);
    const sCaptureData whole = ParseCapture(text.data(), text.size());
    ASSERT_EQ(whole.Records(), 3u);
    EXPECT_EQ(whole.SkippedLines, 2u);  // "junk" and the empty line
    EXPECT_EQ(whole.HeaderLines, 1u);   // the byte order mark does not spoil it
    for (size_t cut = 0; cut <= text.size(); ++cut) {
        for (size_t cut2 : {cut, std::min(text.size(), cut + 1), std::min(text.size(), cut + 2)}) {
            sCaptureData d;
            cCaptureParser parser(d);
            parser.Feed(text.data(), cut);
            parser.Feed(text.data() + cut, cut2 - cut);
            parser.Feed(text.data() + cut2, text.size() - cut2);
            parser.Finish();
            ASSERT_EQ(d.Records(), 3u) << cut << "," << cut2;
            EXPECT_EQ(d.SkippedLines, 2u) << cut << "," << cut2;
            EXPECT_EQ(d.HeaderLines, 1u) << cut << "," << cut2;
            for (int t = 0; t < TraceCount; ++t) EXPECT_EQ(d.Values[t], whole.Values[t]);
        }
    }
}

TEST(CaptureReader, EmptyAndHeaderOnlyFilesHaveNoRecordsAndNothingSkipped) {
    sCaptureData d = ParseCapture("", 0);
    EXPECT_EQ(d.Records(), 0u);
    EXPECT_EQ(d.Lines, 0u);
    EXPECT_EQ(d.SkippedLines, 0u);
    d = ParseCapture(kHeader);
    EXPECT_EQ(d.Records(), 0u);
    EXPECT_EQ(d.Lines, 1u);
    EXPECT_EQ(d.SkippedLines, 0u);
    // A header cut by a power loss is a line that is not a record.
    d = ParseCapture(kHeader.substr(0, 10));
    EXPECT_EQ(d.Records(), 0u);
    EXPECT_EQ(d.SkippedLines, 1u);
    EXPECT_TRUE(d.LastLineCut);
}

TEST(CaptureReader, TruncatedLastLineIsSkippedUnlessTheRecordIsWhole) {
    const std::string good = kHeader + Record(1, 0.5f, 800, 10) + Record(2, 0.6f, 900, 20);
    const std::string last = Record(3, 0.7f, 1000, 30);
    // Every cut inside the last line: only a cut after its closing quote
    // (before or between CR and LF) still gives the third record.
    for (size_t keep = 0; keep < last.size(); ++keep) {
        const sCaptureData d = ParseCapture(good + last.substr(0, keep));
        const bool whole = keep >= last.size() - 2;
        EXPECT_EQ(d.Records(), whole ? 3u : 2u) << keep;
        EXPECT_EQ(d.SkippedLines, (keep == 0 || whole) ? 0u : 1u) << keep;
        EXPECT_EQ(d.LastLineCut, keep > 0 && keep < last.size()) << keep;
    }
}

TEST(CaptureReader, LinesThatAreNotRecordsAreCounted) {
    const char* bad[] = {
        "\"1.000000\",\"2.000000\",\"3.000000\"",                       // three columns
        "\"1.000000\",\"2.000000\",\"3.000000\",\"4.000000\",\"5.0\"",  // five
        "\"1.000000\",\"2.000000\",\"3.000000\",\"4.000000",            // quote not closed
        "\"1.000000\" \"2.000000\" \"3.000000\" \"4.000000\"",          // blanks, not commas
        "\"1,5\",\"2.000000\",\"3.000000\",\"4.000000\"",               // decimal comma
        "\"nan\",\"2.000000\",\"3.000000\",\"4.000000\"",
        "\"inf\",\"2.000000\",\"3.000000\",\"4.000000\"",
        "\"1e999\",\"2.000000\",\"3.000000\",\"4.000000\"",  // beyond a float
        "\"\",\"2.000000\",\"3.000000\",\"4.000000\"",
        "\"1.0x\",\"2.000000\",\"3.000000\",\"4.000000\"",
        "TPS;LAMBDA;RPM;VALVE",
        "\"TPS\",\"LAMBDA\",\"RPM\",\"VALVE\"",
        "-",
        ".",
    };
    std::string text = kHeader;
    for (const char* line : bad) text += std::string(line) + "\r\n";
    text += Record(1, 0.5f, 800, 10);
    const sCaptureData d = ParseCapture(text);
    EXPECT_EQ(d.Records(), 1u);
    EXPECT_EQ(d.SkippedLines, std::size(bad));
}

TEST(CaptureReader, AcceptsWhatSpreadsheetsAndEditorsMakeOfARecord) {
    const sCaptureData d = ParseCapture(std::string("1.5,0.25,2000,150\n") +            // no quotes, LF only
                                        " \"1.5\" , \"0.25\" ,\"2000\",\"150\" \r\n" +  // blanks around
                                        "\"+1.5e0\",\"2.5E-1\",\"2e3\",\"1.5e2\"\r\n"   // exponents
                                        "\"00000000000000000001.5\",\"0.250000000000000000001\",\"2000\",\"150\"\r\n");
    ASSERT_EQ(d.Records(), 4u);
    EXPECT_EQ(d.SkippedLines, 0u);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_FLOAT_EQ(d.Value(TraceTps, i), 1.5f) << i;
        EXPECT_FLOAT_EQ(d.Value(TraceLambda, i), 0.25f) << i;
        EXPECT_FLOAT_EQ(d.Value(TraceRpm, i), 2000.0f) << i;
        EXPECT_FLOAT_EQ(d.Value(TraceValve, i), 150.0f) << i;
    }
}

// Lines read from a file take a faster path than a single line handed to
// ParseRecord; both must read every number alike.
TEST(CaptureReader, FileLinesAndSingleLinesReadAlike) {
    std::mt19937 rng(23);
    auto number = [&rng]() {
        std::string n;
        if (rng() % 4 == 0) n += '-';
        n += std::to_string(rng() % (rng() % 2 ? 10 : 100000000));
        const int decimals = rng() % 3 ? 6 : int(rng() % 10);
        if (decimals || rng() % 2) n += '.';
        for (int i = 0; i < decimals; ++i) n += char('0' + rng() % 10);
        if (rng() % 10 == 0) n += "e" + std::to_string(int(rng() % 9) - 4);
        if (rng() % 20 == 0) n += 'x';
        return n;
    };
    std::string text;
    std::vector<std::string> lines;
    for (int i = 0; i < 5000; ++i) {
        std::string line;
        for (int f = 0; f < 4; ++f) {
            if (f) line += rng() % 30 ? "," : ";";
            const bool quoted = rng() % 8 != 0;
            line += quoted ? "\"" + number() + "\"" : number();
        }
        if (rng() % 3) line += '\r';
        lines.push_back(line);
        text += line + "\n";
    }
    const sCaptureData d = ParseCapture(text);
    size_t record = 0;
    for (const std::string& line : lines) {
        float v[TraceCount];
        if (!cCaptureParser::ParseRecord(line.data(), line.data() + line.size(), v)) continue;
        ASSERT_LT(record, d.Records()) << line;
        for (int t = 0; t < TraceCount; ++t) ASSERT_EQ(d.Value(t, record), v[t]) << line;
        ++record;
    }
    EXPECT_EQ(record, d.Records());
    EXPECT_GT(record, 2000u);
}

TEST(CaptureReader, SecondHeaderOfJoinedCapturesIsNotASkippedLine) {
    const sCaptureData d = ParseCapture(kHeader + Record(1, 0.5f, 800, 10) + kHeader + Record(2, 0.5f, 800, 10));
    EXPECT_EQ(d.Records(), 2u);
    EXPECT_EQ(d.HeaderLines, 2u);
    EXPECT_EQ(d.SkippedLines, 0u);
}

// Binary garbage: any bytes at all, in lines or without any line end, give
// the good records and count the rest; overlong lines are not kept.
// The writer's last line keeps the time a capture recorded; it is known
// only when every part of the file ended with it, and the line is never
// taken for a record or a skipped line.
TEST(CaptureReader, TheTimeLineGivesTheSecondsRecorded) {
    const std::string header = "\"TPS\" \"LAMBDA\" \"RPM\" \"VALVE\"\r\n";
    const std::string rec = "\"1.000000\",\"0.450000\",\"800.000000\",\"40.000000\"\r\n";
    const struct {
        const char* Case;
        std::string Text;
        bool Known;
        double Seconds;
        uint64_t Skipped;
    } cases[] = {
        {"closed", header + rec + rec + "\"SECONDS\" \"20.104000\"\r\n", true, 20.104, 0},
        {"without line end", header + rec + "\"SECONDS\" \"3.500000\"", true, 3.5, 0},
        {"older file", header + rec + rec, false, 0, 0},
        {"record after it", header + rec + "\"SECONDS\" \"1.000000\"\r\n" + rec, false, 1, 0},
        {"two parts", header + rec + "\"SECONDS\" \"1.000000\"\r\n" + header + rec + "\"SECONDS\" \"2.5\"\r\n", true,
         3.5, 0},
        {"second part cut", header + rec + "\"SECONDS\" \"1.000000\"\r\n" + header + rec, false, 1, 0},
        {"negative", header + rec + "\"SECONDS\" \"-1.000000\"\r\n", false, 0, 1},
        {"not a number", header + rec + "\"SECONDS\" \"soon\"\r\n", false, 0, 1},
        {"cut in the middle", header + rec + "\"SECONDS\" \"20.1", false, 0, 1},
    };
    for (const auto& c : cases) {
        const sCaptureData d = ParseCapture(c.Text);
        EXPECT_EQ(d.TimeKnown(), c.Known) << c.Case;
        EXPECT_DOUBLE_EQ(d.Seconds, c.Seconds) << c.Case;
        EXPECT_EQ(d.SkippedLines, c.Skipped) << c.Case;
        EXPECT_GE(d.Records(), 1u) << c.Case;
    }
    // A follower that saw the time line cut judges it again when it is whole.
    const fs::path p = TempPath("growing-time.dat");
    std::ofstream(p, std::ios::binary) << header << rec << "\"SECONDS\" \"2";
    sCaptureData d;
    ASSERT_EQ(ReadCaptureFile(p.string(), d).Status, eReadStatus::Ok);
    EXPECT_FALSE(d.TimeKnown());
    std::ofstream(p, std::ios::binary | std::ios::app) << "0.000000\"\r\n";
    bool restarted = false;
    ASSERT_EQ(ReadMoreOfCaptureFile(p.string(), d, restarted).Status, eReadStatus::Ok);
    EXPECT_TRUE(d.TimeKnown());
    EXPECT_DOUBLE_EQ(d.Seconds, 20);
    EXPECT_EQ(d.SkippedLines, 0u);
    fs::remove(p);
}

// Where the ECU was away the writer puts a gap line before the first record
// after it: kept with the record it stands before, neither a record nor a
// skipped line, and its seconds are part of the time recorded but not of any
// record's.
TEST(CaptureReader, GapLinesMarkWhereTheEcuWasAway) {
    const std::string rec = Record(1.0f, 0.45f, 800, 40);
    const struct {
        const char* Case;
        std::string Text;
        std::vector<std::pair<uint64_t, double>> Gaps;  // record, seconds
        uint64_t Skipped;
    } cases[] = {
        {"one",
         kHeader + rec + "\"GAP\" \"12.345678\"\r\n" + rec + "\"SECONDS\" \"20.000000\"\r\n",
         {{1, 12.345678}},
         0},
        {"two", kHeader + rec + "\"GAP\" \"1.5\"\r\n" + rec + rec + "\"GAP\" \"60\"\r\n" + rec, {{1, 1.5}, {3, 60}}, 0},
        {"before the first record", kHeader + "\"GAP\" \"2.000000\"\r\n" + rec, {{0, 2}}, 0},
        {"without line end", kHeader + rec + "\"GAP\" \"3.000000\"", {{1, 3}}, 0},
        {"negative", kHeader + rec + "\"GAP\" \"-1.000000\"\r\n" + rec, {}, 1},
        {"not a number", kHeader + rec + "\"GAP\" \"long\"\r\n" + rec, {}, 1},
        {"cut in the middle", kHeader + rec + "\"GAP\" \"12.3", {}, 1},
    };
    for (const auto& c : cases) {
        const sCaptureData d = ParseCapture(c.Text);
        ASSERT_EQ(d.Gaps.size(), c.Gaps.size()) << c.Case;
        for (size_t i = 0; i < c.Gaps.size(); ++i) {
            EXPECT_EQ(d.Gaps[i].Record, c.Gaps[i].first) << c.Case;
            EXPECT_DOUBLE_EQ(d.Gaps[i].Seconds, c.Gaps[i].second) << c.Case;
        }
        EXPECT_EQ(d.SkippedLines, c.Skipped) << c.Case;
        EXPECT_EQ(d.Records() + d.HeaderLines + d.TimeLines + d.SkippedLines + d.Gaps.size(), d.Lines) << c.Case;
    }
    // The time of the records is the recorded time less the gaps'.
    const sCaptureData d =
        ParseCapture(kHeader + rec + rec + cCaptureFile::FormatGap(12) + rec + rec + cCaptureFile::FormatTime(20));
    ASSERT_TRUE(d.TimeKnown());
    EXPECT_DOUBLE_EQ(d.Seconds, 20);
    EXPECT_DOUBLE_EQ(d.GapSeconds(), 12);
    EXPECT_DOUBLE_EQ(d.RecordSeconds(), 8);
}

// A follower that saw a gap line cut judges it again when it is whole: once,
// whether the cut part read as a gap already or as a skipped line.
TEST(CaptureReader, ACutGapLineIsTakenBackWhenTheFileGrows) {
    const std::string rec = Record(1.0f, 0.45f, 800, 40);
    const struct {
        const char* Case;
        std::string Cut, Rest;
    } cases[] = {
        {"inside the number", "\"GAP\" \"12.3", "45678\"\r\n"},
        {"before the line end", "\"GAP\" \"12.345678\"", "\r\n"},
    };
    const fs::path p = TempPath("growing-gap.dat");
    for (const auto& c : cases) {
        WriteBytes(p, kHeader + rec + c.Cut);
        sCaptureData d;
        ASSERT_EQ(ReadCaptureFile(p.string(), d).Status, eReadStatus::Ok) << c.Case;
        std::ofstream(p, std::ios::binary | std::ios::app) << c.Rest << rec;
        bool restarted = false;
        ASSERT_EQ(ReadMoreOfCaptureFile(p.string(), d, restarted).Status, eReadStatus::Ok) << c.Case;
        EXPECT_FALSE(restarted) << c.Case;
        ASSERT_EQ(d.Gaps.size(), 1u) << c.Case;
        EXPECT_EQ(d.Gaps[0].Record, 1u) << c.Case;
        EXPECT_DOUBLE_EQ(d.Gaps[0].Seconds, 12.345678) << c.Case;
        EXPECT_EQ(d.SkippedLines, 0u) << c.Case;
        EXPECT_EQ(d.Records(), 2u) << c.Case;
    }
    fs::remove(p);
}

TEST(CaptureReader, BinaryGarbageAroundGoodRecords) {
    std::mt19937 rng(42);
    for (int round = 0; round < 50; ++round) {
        std::string text = kHeader;
        int expected = 0;
        for (int part = 0; part < 20; ++part) {
            if (rng() % 2) {
                text += Record(float(rng() % 5), 0.5f, int(rng() % 8000), int(rng() % 256));
                ++expected;
            } else {
                std::string junk(rng() % 3000, '\0');
                for (char& c : junk) {
                    c = char(rng());
                    if (c == '\n') c = 'x';  // one garbage line
                }
                text += junk + "\n";
            }
        }
        const sCaptureData d = ParseCapture(text);
        EXPECT_EQ(d.Records(), size_t(expected));
        EXPECT_EQ(d.Lines, d.Records() + d.SkippedLines + d.HeaderLines);
    }
    std::string noLineEnd(5 << 20, '\x01');
    const sCaptureData d = ParseCapture(noLineEnd);
    EXPECT_EQ(d.Records(), 0u);
    EXPECT_EQ(d.SkippedLines, 1u);
}

TEST(CaptureReader, RecordLimitCountsTheRecordsNotKept) {
    std::string text = kHeader;
    for (int i = 0; i < 10; ++i) text += Record(float(i), 0.5f, 800, i);
    sCaptureData d;
    cCaptureParser parser(d, 4);
    parser.Feed(text.data(), text.size());
    parser.Finish();
    EXPECT_EQ(d.Records(), 4u);
    EXPECT_EQ(d.DroppedRecords, 6u);
    EXPECT_EQ(d.Value(TraceValve, 3), 3.0f);
}

// A file large enough to be read in pieces, each parsed in two halves at
// once: the same records, in order, and the same counts as one pass over
// the bytes; a line split between halves or pieces is whole again.
TEST(CaptureReader, LargeFileReadInPiecesGivesTheSameAsOnePass) {
    std::mt19937 rng(17);
    std::string text = kHeader;
    while (text.size() < (size_t(40) << 20)) {
        const unsigned r = rng() % 1000;
        if (r == 0) text += "garbage \x01\x02 line\r\n";
        else if (r == 1) text += std::string(3000, 'x') + "\r\n";  // overlong
        else if (r == 2) text += kHeader;
        else text += Record(float(rng() % 256 / 51.0), float(rng() % 60 / 51.0), int(rng() % 9000), int(rng() % 256));
    }
    text += "\"1.0\",\"2.0\",\"3.0\",\"4.0";  // cut last line
    const fs::path p = TempPath("large.dat");
    WriteBytes(p, text);
    sCaptureData d;
    int calls = 0;
    ASSERT_EQ(ReadCaptureFile(p.string(), d, [&](uint64_t, uint64_t) { return ++calls > 0; }).Status, eReadStatus::Ok);
    fs::remove(p);
    const sCaptureData whole = ParseCapture(text);
    EXPECT_GE(calls, 3);
    ASSERT_EQ(d.Records(), whole.Records());
    for (int t = 0; t < TraceCount; ++t) EXPECT_TRUE(d.Values[t] == whole.Values[t]) << t;
    EXPECT_EQ(d.Lines, whole.Lines);
    EXPECT_EQ(d.SkippedLines, whole.SkippedLines);
    EXPECT_EQ(d.HeaderLines, whole.HeaderLines);
    EXPECT_TRUE(d.LastLineCut);
    EXPECT_GT(d.SkippedLines, 10u);

    // With a record limit the records beyond it are counted, not kept.
    WriteBytes(p, text);
    sCaptureData limited;
    ReadCaptureFile(p.string(), limited, {}, 1000);
    fs::remove(p);
    EXPECT_EQ(limited.Records(), 1000u);
    EXPECT_EQ(limited.DroppedRecords, whole.Records() - 1000);
    for (int t = 0; t < TraceCount; ++t)
        EXPECT_TRUE(std::equal(limited.Values[t].begin(), limited.Values[t].end(), whole.Values[t].begin()));
}

TEST(CaptureReader, FilesThatCannotBeReadAreReportedAsSuch) {
    sCaptureData d;
    d.Values[0].push_back(1);  // an earlier result is not kept
    EXPECT_EQ(ReadCaptureFile("/nonexistent-zv/capture.dat", d).Status, eReadStatus::CannotOpen);
    EXPECT_EQ(d.Records(), 0u);
    const sReadResult dir = ReadCaptureFile(fs::temp_directory_path().string(), d);
    EXPECT_EQ(dir.Status, eReadStatus::CannotOpen);
    EXPECT_NE(dir.Errno, 0);
}

// A file of several gigabytes (sparse: zeros after a few good records) is
// read in pieces with progress, and cancelling keeps what was read.
TEST(CaptureReader, HugeFileReportsProgressAndCanBeCancelled) {
    const fs::path p = TempPath("huge.dat");
    WriteBytes(p, kHeader + Record(1, 0.5f, 800, 10) + Record(2, 0.5f, 900, 11));
    std::error_code ec;
    fs::resize_file(p, (uint64_t(3) << 30), ec);
    if (ec) GTEST_SKIP() << "no room for a sparse file: " << ec.message();
    sCaptureData d;
    uint64_t calls = 0, lastDone = 0, total = 0;
    const sReadResult r = ReadCaptureFile(p.string(), d, [&](uint64_t done, uint64_t all) {
        ++calls;
        lastDone = done;
        total = all;
        return done < (uint64_t(64) << 20);
    });
    fs::remove(p);
    EXPECT_EQ(r.Status, eReadStatus::Cancelled);
    EXPECT_EQ(total, uint64_t(3) << 30);
    EXPECT_GE(lastDone, uint64_t(64) << 20);
    EXPECT_LT(lastDone, uint64_t(1) << 30);
    EXPECT_GE(calls, 4u);  // a call per piece read
    EXPECT_EQ(d.Records(), 2u);
    // The zeros after the records form one overlong line that is not kept.
    EXPECT_LE(d.SkippedLines, 1u);
}

// A capture still being recorded: each read takes what the file gained; a
// line cut by the writer's buffer is judged again once it is whole, and a
// file started anew under the same name is read from its start.
TEST(CaptureReader, GrowingFileIsFollowedLineByLine) {
    const fs::path p = TempPath("growing.dat");
    const std::string r1 = Record(1, 0.5f, 800, 10), r2 = Record(2, 0.6f, 900, 20), r3 = Record(3, 0.7f, 1000, 30);
    WriteBytes(p, kHeader + r1 + r2.substr(0, 9));
    sCaptureData d;
    ASSERT_EQ(ReadCaptureFile(p.string(), d).Status, eReadStatus::Ok);
    EXPECT_EQ(d.Records(), 1u);
    EXPECT_EQ(d.SkippedLines, 1u);  // the cut line, for now
    bool restarted = true;
    struct sStep {
        std::string Append;
        size_t Records;
        uint64_t Skipped;
    };
    const sStep steps[] = {
        {"", 1, 1},                                          // nothing new
        {r2.substr(9, r2.size() - 11), 2, 0},                // whole but for its line end: a record
        {r2.substr(r2.size() - 2) + r3.substr(0, 4), 2, 1},  // line end, and the next line begun
        {r3.substr(4) + "junk\r\n", 3, 1},                   // finished, then a line that is no record
    };
    std::string text = kHeader + r1 + r2.substr(0, 9);
    for (const sStep& s : steps) {
        text += s.Append;
        std::ofstream(p, std::ios::app | std::ios::binary) << s.Append;
        ASSERT_EQ(ReadMoreOfCaptureFile(p.string(), d, restarted).Status, eReadStatus::Ok);
        EXPECT_FALSE(restarted);
        const sCaptureData whole = ParseCapture(text);
        ASSERT_EQ(d.Records(), s.Records) << s.Append;
        EXPECT_EQ(d.SkippedLines, s.Skipped) << s.Append;
        EXPECT_EQ(d.Lines, whole.Lines) << s.Append;
        for (int t = 0; t < TraceCount; ++t) EXPECT_EQ(d.Values[t], whole.Values[t]);
    }
    WriteBytes(p, kHeader + r3);
    ASSERT_EQ(ReadMoreOfCaptureFile(p.string(), d, restarted).Status, eReadStatus::Ok);
    EXPECT_TRUE(restarted);
    ASSERT_EQ(d.Records(), 1u);
    EXPECT_EQ(d.Value(TraceValve, 0), 30.0f);
    fs::remove(p);
    EXPECT_EQ(ReadMoreOfCaptureFile(p.string(), d, restarted).Status, eReadStatus::CannotOpen);
}

// A named pipe (or a device) is refused at once, without waiting for a
// writer, by every way of reading.
TEST(CaptureReader, PipesAndDevicesAreRefusedAtOnce) {
    const fs::path fifo = TempPath("pipe.dat");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {fifo.string(), std::string("/dev/null")}) {
        sCaptureData d;
        EXPECT_EQ(ReadCaptureFile(path, d).Status, eReadStatus::NotAFile) << path;
        EXPECT_EQ(CheckCaptureFile(path).Status, eReadStatus::NotAFile) << path;
        EXPECT_EQ(ReadCaptureFileInPieces(path, d, [](sCaptureData&) { return true; }).Status, eReadStatus::NotAFile);
        bool restarted = false;
        EXPECT_EQ(ReadMoreOfCaptureFile(path, d, restarted).Status, eReadStatus::NotAFile);
    }
    fs::remove(fifo);
}

// A followed file that another capture replaces is read anew from its start,
// whatever the sizes: moved over it (a new file), copied over it (the same
// file written anew, longer, as long or shorter), or only appended to.
TEST(CaptureReader, AReplacedFileIsReadAnewNotMixed) {
    const std::string first = kHeader + Record(1, 0.5f, 800, 10) + Record(1.2f, 0.5f, 900, 11);
    const std::string other2 = kHeader + Record(4, 0.1f, 300, 20) + Record(4.2f, 0.1f, 310, 21);
    const std::string other3 = other2 + Record(4.4f, 0.1f, 320, 22);
    const std::string grown = first + Record(1.4f, 0.5f, 1000, 12);
    struct {
        const char* Name;
        std::string Next;
        bool Move;  // a new file renamed over the old name
        bool Restarted;
    } cases[] = {
        {"moved over, longer", other3, true, true},
        {"moved over, as long", other2, true, true},
        {"copied over, longer", other3, false, true},
        {"copied over, as long", other2, false, true},
        {"copied over, shorter", kHeader + Record(4, 0.1f, 3000, 200), false, true},
        {"appended to", grown, false, false},
    };
    for (const auto& c : cases) {
        const fs::path p = TempPath("follow.dat"), next = TempPath("follow.next");
        WriteBytes(p, first);
        sCaptureData d;
        ASSERT_EQ(ReadCaptureFile(p.string(), d).Status, eReadStatus::Ok);
        EXPECT_FALSE(CaptureFileMayHaveChanged(p.string(), d)) << c.Name;
        if (c.Move) {
            WriteBytes(next, c.Next);
            fs::rename(next, p);
        } else {
            WriteBytes(p, c.Next);  // truncated and written in place, as cp does
        }
        // A change within the clock's resolution shows in the size, the
        // file or its bytes; the look before reading may only err towards
        // reading.
        bool restarted = !c.Restarted;
        ASSERT_EQ(ReadMoreOfCaptureFile(p.string(), d, restarted).Status, eReadStatus::Ok) << c.Name;
        EXPECT_EQ(restarted, c.Restarted) << c.Name;
        const sCaptureData whole = ParseCapture(c.Next);
        EXPECT_EQ(d.Lines, whole.Lines) << c.Name;
        EXPECT_EQ(d.HeaderLines, 1u) << c.Name;
        for (int t = 0; t < TraceCount; ++t) EXPECT_EQ(d.Values[t], whole.Values[t]) << c.Name;
        fs::remove(p);
    }
}
