#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "formats/CaptureFile.h"

#include "analysis/DriveStats.h"

using namespace Capture;

namespace {

// A capture as the program's writer prints it, read back by the reader:
// values go through the file's six decimals and the float they are kept in.
sCaptureData Drive(const std::vector<std::array<double, 4>>& records) {
    std::string text = cCaptureFile::Header();
    char line[160];
    for (const auto& r : records) {
        std::snprintf(line, sizeof line, "\"%f\",\"%f\",\"%f\",\"%f\"\r\n", r[0], r[1], r[2], r[3]);
        text += line;
    }
    return ParseCapture(text);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

}  // namespace

// The map's CSV against a hand computation: bins are half-open, a value on
// an edge starts the upper bin, values outside every bin count in the
// total but in no cell, rows sorted by rpm_from then tps_from.
TEST(DriveMap, CellsMatchAHandComputation) {
    struct sCase {
        const char* Name;
        std::vector<std::array<double, 4>> Records;  // tps, lambda, rpm, valve
        sMapOptions Options;
        std::vector<std::string> Rows;  // after the header
        uint64_t Outside;
    };
    const sCase cases[] = {
        {"edges start the upper bin",
         {{0.5, 0.2, 1000, 10}, {0.499999, 0.8, 999, 30}, {0, 0.45, 0, 50}},
         {},
         {"0,500,0,0.5,1,0.333333,50.000000,0.450000,0.000000",  // 0.45 is not above 0.45
          "500,1000,0,0.5,1,0.333333,30.000000,0.800000,1.000000",
          "1000,1500,0.5,1,1,0.333333,10.000000,0.200000,0.000000"},
         0},
        {"fine steps whose edges are no exact binary fraction",
         {{0.7, 0.5, 2100, 100}, {0.7, 0.3, 2199, 200}, {0.3, 0.46, 2200, 0}},
         {100, 0.1, 0.45},
         {"2100,2200,0.7,0.8,2,0.666667,150.000000,0.400000,0.500000",
          "2200,2300,0.3,0.4,1,0.333333,0.000000,0.460000,1.000000"},
         0},
        {"outside every bin: negative, and above the last bin",
         {{-0.02, 0.5, 800, 1},
          {2, 0.5, -1, 2},
          {5.0, 0.9, 54000, 255},
          {5.5, 0.5, 800, 3},
          {1, 0.5, 54500, 4},
          {1, 0.1, 800, 5}},
         {},
         {"500,1000,1,1.5,1,0.166667,5.000000,0.100000,0.000000",
          "54000,54500,5,5.5,1,0.166667,255.000000,0.900000,1.000000"},
         4},
        {"the rich threshold is changeable",
         {{1, 0.3, 800, 1}, {1, 0.6, 800, 2}},
         {500, 0.5, 0.25},
         {"500,1000,1,1.5,2,1.000000,1.500000,0.450000,1.000000"},
         0},
        {"empty capture", {}, {}, {}, 0},
    };
    for (const sCase& c : cases) {
        const sCaptureData d = Drive(c.Records);
        ASSERT_EQ(d.Records(), c.Records.size()) << c.Name;
        const sDriveMap map = BuildDriveMap(d, sRange::All(d), c.Options);
        EXPECT_EQ(map.Total, c.Records.size()) << c.Name;
        EXPECT_EQ(map.Outside, c.Outside) << c.Name;
        const std::vector<std::string> lines = Lines(DriveMapCsv(map));
        ASSERT_FALSE(lines.empty()) << c.Name;
        EXPECT_EQ(lines[0], "rpm_from,rpm_to,tps_from,tps_to,records,share,valve_mean,lambda_mean,rich_share")
            << c.Name;
        EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end()), c.Rows) << c.Name;
    }
    // A part of the capture (the selected range) is binned alone.
    const sCaptureData d = Drive({{1, 0.5, 800, 1}, {2, 0.5, 800, 2}, {3, 0.5, 800, 3}});
    const sDriveMap part = BuildDriveMap(d, {1, 2}, {});
    ASSERT_EQ(part.Cells.size(), 1u);
    EXPECT_EQ(part.Total, 1u);
    EXPECT_EQ(part.Cells[0].TpsBin, 4);
    // Steps that make no bins are refused, not divided by.
    EXPECT_FALSE(MapOptionsValid({0, 0.5, 0.45}));
    EXPECT_FALSE(MapOptionsValid({500, -0.5, 0.45}));
    EXPECT_FALSE(MapOptionsValid({500, 0.5, std::nan("")}));
    EXPECT_TRUE(BuildDriveMap(d, sRange::All(d), {0, 0.5, 0.45}).Cells.empty());
}

// Very fine steps take the sparse path; it must give what the dense one
// gives for the same records.
TEST(DriveMap, FineStepsGiveTheSameCellsAsCoarseCounting) {
    std::vector<std::array<double, 4>> records;
    for (int i = 0; i < 3000; ++i)
        records.push_back({(i * 7 % 256) / 51.0, (i % 50) / 51.0, double(54000 / (1 + i % 60)), double(i % 256)});
    const sCaptureData d = Drive(records);
    const sDriveMap fine = BuildDriveMap(d, sRange::All(d), {1, 0.001, 0.45});
    uint64_t sum = 0;
    for (size_t i = 0; i < fine.Cells.size(); ++i) {
        sum += fine.Cells[i].Records;
        if (i) {
            const auto& a = fine.Cells[i - 1];
            const auto& b = fine.Cells[i];
            EXPECT_TRUE(a.RpmBin < b.RpmBin || (a.RpmBin == b.RpmBin && a.TpsBin < b.TpsBin));
        }
    }
    EXPECT_EQ(sum + fine.Outside, 3000u);
    EXPECT_EQ(fine.Outside, 0u);
    // Merged back to 500 rpm x 0.5 V the fine cells give the coarse ones.
    const sDriveMap coarse = BuildDriveMap(d, sRange::All(d), {});
    for (const sMapCell& c : coarse.Cells) {
        uint64_t n = 0;
        for (const sMapCell& f : fine.Cells)
            if (f.RpmBin / 500 == c.RpmBin && f.TpsBin / 500 == c.TpsBin)  // 1 rpm and 0.001 V steps
                n += f.Records;
        EXPECT_EQ(n, c.Records) << c.RpmBin << "," << c.TpsBin;
    }
}

// Histogram and scatter grid: the top of the scale is inside, the values
// outside are counted apart or left out, the colour channel is summed.
TEST(DriveStatsGrids, HistogramAndDensityGridCountEveryValueOnce) {
    const sCaptureData d =
        Drive({{0, 0.1, 0, 0}, {5, 0.9, 8000, 255}, {2.5, 0.5, 4000, 128}, {-1, 0.5, 9000, 1}, {2.5, 0.5, 4000, 120}});
    const sHistogram h = BuildHistogram(d, TraceTps, sRange::All(d), 0, 5, 10);
    ASSERT_EQ(h.Counts.size(), 10u);
    EXPECT_EQ(h.Below, 1u);
    EXPECT_EQ(h.Above, 1u);  // 5 V is the end of [0, 5)
    EXPECT_EQ(h.Counts[0], 1u);
    EXPECT_EQ(h.Counts[5], 2u);

    const sDensityGrid g =
        BuildDensityGrid(d, TraceRpm, TraceValve, TraceLambda, sRange::All(d), 0, 8000, 0, 255, 8, 5);
    uint64_t total = 0;
    for (uint32_t n : g.Counts) total += n;
    EXPECT_EQ(total, 4u);  // 9000 rpm is beyond the plot
    EXPECT_EQ(g.Count(0, 0), 1u);
    EXPECT_EQ(g.Count(7, 4), 1u);  // full scale on both axes shows
    EXPECT_EQ(g.MaxCount, 2u);
    EXPECT_FLOAT_EQ(g.ColourSum[size_t(2 * 8 + 4)], 1.0f);  // two records of 0.5 V
    EXPECT_EQ(NearestRecord(d, TraceRpm, TraceValve, sRange::All(d), 4000, 110, 1, 1), 4u);
    EXPECT_EQ(NearestRecord(d, TraceRpm, TraceValve, {0, 0}, 4000, 110, 1, 1), SIZE_MAX);
    EXPECT_EQ(TraceByName("lambda"), TraceLambda);
    EXPECT_EQ(TraceByName("speed"), -1);
}

// Histogram bars and map cells bin by one rule: a value on an edge goes up,
// and the value counts as written in the file (six decimals), not as the
// float it is kept in.
TEST(DriveStatsEdges, HistogramBarsAndMapCellsAgreeOnEveryEdge) {
    struct {
        int Trace;     // TraceRpm or TraceTps
        double Value;  // as written with six decimals
        double Step;   // of the map and of the histogram's bars
        int64_t Bin;
    } cases[] = {
        {TraceRpm, 2000, 500, 4},          {TraceRpm, 1999.999999, 500, 3}, {TraceRpm, 499.999999, 500, 0},
        {TraceRpm, 500, 500, 1},           {TraceRpm, 2000, 200, 10},       {TraceRpm, 7999.999999, 200, 39},
        {TraceRpm, 12345.000001, 5, 2469}, {TraceTps, 0.5, 0.5, 1},         {TraceTps, 0.499999, 0.5, 0},
        {TraceTps, 0.7, 0.1, 7},           {TraceTps, 0.3, 0.1, 3},         {TraceTps, 4.999999, 0.5, 9},
        {TraceTps, 2.352941, 0.25, 9},     {TraceTps, 0.000001, 0.5, 0},    {TraceTps, 0, 0.5, 0},
    };
    for (const auto& c : cases) {
        const bool rpm = c.Trace == TraceRpm;
        const sCaptureData d = Drive({{rpm ? 1.0 : c.Value, 0.2, rpm ? c.Value : 1000.0, 10}});
        const double full = rpm ? MapRpmFullScale : MapTpsFullScale;
        EXPECT_EQ(BinOf(c.Value, 0, c.Step), c.Bin) << c.Value << " by " << c.Step;
        sMapOptions o;
        (rpm ? o.RpmStep : o.TpsStep) = c.Step;
        const sDriveMap map = BuildDriveMap(d, sRange::All(d), o);
        ASSERT_EQ(map.Cells.size(), 1u) << c.Value;
        EXPECT_EQ(rpm ? map.Cells[0].RpmBin : map.Cells[0].TpsBin, c.Bin) << "map cell of " << c.Value;
        const int bins = int(std::llround(full / c.Step));
        const sHistogram h = BuildHistogram(d, c.Trace, sRange::All(d), 0, full, bins);
        ASSERT_EQ(h.Counts.size(), size_t(bins));
        int64_t bar = -1;
        for (size_t k = 0; k < h.Counts.size(); ++k)
            if (h.Counts[k]) bar = int64_t(k);
        EXPECT_EQ(bar, c.Bin) << "histogram bar of " << c.Value << " by " << c.Step;
    }
    // The full end of a histogram's scale is its last bar when asked for,
    // else beyond it; just below the start is below.
    const sCaptureData top = Drive({{5, 0.2, 8000, 10}, {-0.000001, 0.2, 8000, 10}});
    EXPECT_EQ(BuildHistogram(top, TraceTps, sRange::All(top), 0, 5, 10, true).Counts[9], 1u);
    EXPECT_EQ(BuildHistogram(top, TraceTps, sRange::All(top), 0, 5, 10).Above, 1u);
    EXPECT_EQ(BuildHistogram(top, TraceTps, sRange::All(top), 0, 5, 10).Below, 1u);
    EXPECT_EQ(BuildHistogram(top, TraceRpm, sRange::All(top), 0, 8000, 40, true).Counts[39], 2u);
}

// Values far beyond the millionths' integer range still fall in a bin or
// outside, without overflow.
TEST(DriveStatsEdges, HugeValuesAreBinnedWithoutOverflow) {
    const double huge = 3.0e38;
    struct {
        double Value, Lo, Step;
        int64_t Bin;
    } cases[] = {{huge, 0, huge / 4, 4}, {-huge, 0, 1, INT64_MIN}, {huge, 0, 1, INT64_MAX}, {1e13, 0, 1e12, 10}};
    for (const auto& c : cases) EXPECT_EQ(BinOf(c.Value, c.Lo, c.Step), c.Bin) << c.Value;
    const sCaptureData d = Drive({{1, 0.2, 1000, 3e38}, {1, 0.2, 1000, -3e38}});
    const sHistogram h = BuildHistogram(d, TraceValve, sRange::All(d), -3.2e38, 3.2e38, 8);
    EXPECT_EQ(h.Counts[0] + h.Counts[7], 2u);
}

// The map built while reading (records given in pieces, each piece's record
// numbers starting again at 0) equals the map over all records at once,
// values kept exactly included.
TEST(DriveMap, BuiltInPiecesAsOverTheWhole) {
    std::vector<std::array<double, 4>> records;
    for (int i = 0; i < 500; ++i)
        records.push_back({(i % 11) * 0.5 - (i % 3 ? 0.000001 : 0), (i % 7) * 0.1, i % 2 ? 499.999999 : 2000 + i % 9,
                           double(i % 256)});
    const sCaptureData whole = Drive(records);
    ASSERT_FALSE(whole.Exact.empty());
    for (size_t piece : {size_t(1), size_t(7), size_t(64), size_t(499)}) {
        const sMapOptions o{500, 0.5, 0.3};
        cDriveMapBuilder builder(o);
        for (size_t from = 0; from < records.size(); from += piece) {
            const std::vector<std::array<double, 4>> part(
                records.begin() + long(from), records.begin() + long(std::min(records.size(), from + piece)));
            const sCaptureData d = Drive(part);
            builder.Add(d, sRange::All(d));
        }
        EXPECT_EQ(DriveMapCsv(builder.Result()), DriveMapCsv(BuildDriveMap(whole, sRange::All(whole), o))) << piece;
    }
}
