// What a drive says about the engine's range, computed from a capture's
// records: the speed × throttle map (the drive binned by engine speed and
// throttle voltage, with the share, the mean valve position, the mean lambda
// voltage and the rich share of each cell), histograms of one channel, and
// the density grid of a scatter plot. No Qt: the window, the command line
// and the tests share it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "formats/CaptureData.h"

namespace Capture {

// The records [First, Last) of a capture.
struct sRange {
    size_t First = 0;
    size_t Last = 0;
    static sRange All(const sCaptureData& d) { return {0, d.Records()}; }
};

// Volts: the lambda sensor's rich/lean switching point, the line drawn on
// the lambda trace and the map's rich threshold unless changed.
inline constexpr double RichLambdaVolts = 0.45;

struct sMapOptions {
    double RpmStep = 500;                // rpm
    double TpsStep = 0.5;                // volts
    double RichAbove = RichLambdaVolts;  // volts: a lambda above it counts as rich
};

// The one rule every figure bins by (the map's cells, the histograms' bars):
// bins of width `step` from `lo` are half-open, [lo + k·step, lo + (k+1)·step),
// so a value on an edge goes to the bin above it. Values, `lo` and `step` are
// taken to whole millionths (the capture's six decimals), so a value written
// on an edge ("2000.000000", "0.500000") is on it whatever the float it was
// stored in, and "499.999999" stays below 500. Returns k (negative below lo).
int64_t BinOf(double value, double lo, double step);

// Steps are whole millionths (the capture's six decimals): a step below one
// millionth, or one that is not finite, is refused.
bool MapOptionsValid(const sMapOptions& o);

// The bins of a channel cover the values it can take: engine speed from 0 to
// the fastest the ECU reports (54000 / 1 rpm), throttle from 0 to 5 V (raw
// 255 / 51). Bin k is [k·step, (k+1)·step); values below 0 or at or above
// the end of the bin that holds the full scale fall in no cell.
inline constexpr double MapRpmFullScale = 54000;
inline constexpr double MapTpsFullScale = 5;

struct sMapCell {
    int64_t RpmBin = 0, TpsBin = 0;  // k of [k·step, (k+1)·step)
    uint64_t Records = 0;
    double ValveSum = 0, LambdaSum = 0;
    uint64_t Rich = 0;  // records with the lambda above the rich threshold

    double ValveMean() const { return Records ? ValveSum / double(Records) : 0; }
    double LambdaMean() const { return Records ? LambdaSum / double(Records) : 0; }
    double RichShare() const { return Records ? double(Rich) / double(Records) : 0; }
};

struct sDriveMap {
    sMapOptions Options;
    uint64_t Total = 0;           // records of the range, those outside every cell included
    uint64_t Outside = 0;         // records that fell in no cell
    std::vector<sMapCell> Cells;  // the non-empty cells, by RpmBin, then TpsBin

    double Share(const sMapCell& c) const { return Total ? double(c.Records) / double(Total) : 0; }
    // Bin edges in the channel's unit.
    double RpmFrom(int64_t bin) const;
    double TpsFrom(int64_t bin) const;
    // The cell of (rpm bin, tps bin), or nullptr when it is empty.
    const sMapCell* Find(int64_t rpmBin, int64_t tpsBin) const;
};

sDriveMap BuildDriveMap(const sCaptureData& data, sRange range, const sMapOptions& options);

// Builds the map from records given in pieces (a capture read without being
// held): only the cells' sums are kept.
class cDriveMapBuilder {
public:
    explicit cDriveMapBuilder(const sMapOptions& options);
    ~cDriveMapBuilder();
    cDriveMapBuilder(const cDriveMapBuilder&) = delete;
    cDriveMapBuilder& operator=(const cDriveMapBuilder&) = delete;
    void Add(const sCaptureData& data, sRange range);
    sDriveMap Result() const;

private:
    struct sCells;
    sMapOptions Options;
    bool Valid;
    uint64_t Total = 0, Outside = 0;
    sCells* Cells;
};

// The map as comma-separated values: the header line
// "rpm_from,rpm_to,tps_from,tps_to,records,share,valve_mean,lambda_mean,rich_share"
// and one line per non-empty cell, point as decimal mark, means and shares
// with six decimals, LF line ends.
const char* DriveMapCsvHeader();  // with its line end
std::string DriveMapCsv(const sDriveMap& map);

// Counts of one channel's values in `bins` equal bins over [lo, hi) by the
// rule of BinOf; values outside are counted in Below and Above. With
// `topInside` a value at hi counts in the last bin (a scale's full end).
struct sHistogram {
    double Lo = 0, Hi = 1;
    std::vector<uint64_t> Counts;
    uint64_t Below = 0, Above = 0;
};
sHistogram BuildHistogram(const sCaptureData& data, int trace, sRange range, double lo, double hi, int bins,
                          bool topInside = false);

// A scatter plot as a grid of Columns × Rows cells over [XLo, XHi) ×
// [YLo, YHi): the number of records in each cell and, with a colour channel,
// their sum of it (for the cell's mean).
struct sDensityGrid {
    int Columns = 0, Rows = 0;
    double XLo = 0, XHi = 1, YLo = 0, YHi = 1;
    std::vector<uint32_t> Counts;  // row 0 at the bottom (lowest Y)
    std::vector<float> ColourSum;  // empty without a colour channel
    uint32_t MaxCount = 0;

    uint32_t Count(int column, int row) const { return Counts[size_t(row) * size_t(Columns) + size_t(column)]; }
};
// colourTrace < 0: no colour channel.
sDensityGrid BuildDensityGrid(const sCaptureData& data, int xTrace, int yTrace, int colourTrace, sRange range,
                              double xlo, double xhi, double ylo, double yhi, int columns, int rows);

// The channel names of the command line ("tps", "lambda", "rpm", "valve"),
// or -1 for an unknown name.
int TraceByName(const std::string& name);
const char* TraceName(int trace);

// The record of the range nearest to (x, y), distances measured in units of
// xScale and yScale (a pixel of the plot); SIZE_MAX when the range is empty.
size_t NearestRecord(const sCaptureData& data, int xTrace, int yTrace, sRange range, double x, double y, double xScale,
                     double yScale);

}  // namespace Capture
