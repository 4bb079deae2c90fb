#include "analysis/DriveStats.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <unordered_map>

namespace Capture {

namespace {

// Values and steps in whole millionths, so that a value written exactly on a
// bin edge ("1.500000" with a step of 0.5) lands in the bin the edge starts,
// whatever the float it was stored in.
constexpr double kMicro = 1e6;

int64_t Micro(double v) { return std::llround(v * kMicro); }

// Beyond this, millionths no longer fit the integer arithmetic; such values
// are binned in doubles (where a millionth is below their precision anyway).
constexpr double kMicroLimit = 1e12;

// Walks the exact values of a capture along increasing records.
class cExactCursor {
public:
    cExactCursor(const sCaptureData& d, size_t first) : E(d.Exact) {
        if (!E.empty())
            At = size_t(std::lower_bound(E.begin(), E.end(), uint64_t(first),
                                         [](const sExactValue& e, uint64_t r) { return e.Record < r; }) -
                        E.begin());
    }
    bool Empty() const { return E.empty(); }
    // The value of `trace` in `record` as written; records asked in
    // increasing order, traces of one record in increasing order.
    double Get(int trace, size_t record, float stored) {
        while (At < E.size() && (E[At].Record < record || (E[At].Record == record && E[At].Trace < trace))) ++At;
        if (At < E.size() && E[At].Record == record && E[At].Trace == trace) return E[At].Value;
        return stored;
    }

private:
    const std::vector<sExactValue>& E;
    size_t At = 0;
};

int64_t FloorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

// A number with a point and `decimals` decimals, whatever the locale.
void AppendFixed(std::string& out, double v, int decimals) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    if (res.ec != std::errc()) {
        out += '0';
        return;
    }
    std::string_view s(buf, size_t(res.ptr - buf));
    if (s.find_first_not_of("-0.") == std::string_view::npos && s.front() == '-') s.remove_prefix(1);
    out.append(s);
}

// A bin edge in millionths as the shortest text: "500", "0.5", "1.25".
void AppendEdge(std::string& out, int64_t micro) {
    if (micro < 0) {
        out += '-';
        micro = -micro;
    }
    char buf[32];
    auto res = std::to_chars(buf, buf + sizeof buf, micro / 1000000);
    out.append(buf, res.ptr);
    int64_t frac = micro % 1000000;
    if (frac) {
        char digits[7];
        for (int i = 5; i >= 0; --i) {
            digits[i] = char('0' + frac % 10);
            frac /= 10;
        }
        int n = 6;
        while (n > 0 && digits[n - 1] == '0') --n;
        out += '.';
        out.append(digits, size_t(n));
    }
}

sRange Clamped(const sCaptureData& data, sRange r) {
    r.Last = std::min(r.Last, data.Records());
    r.First = std::min(r.First, r.Last);
    return r;
}

}  // namespace

int64_t BinOf(double value, double lo, double step) {
    if (std::fabs(value) < kMicroLimit && std::fabs(lo) < kMicroLimit && std::fabs(step) < kMicroLimit) {
        const int64_t micro = std::max<int64_t>(1, Micro(step));
        return FloorDiv(Micro(value) - Micro(lo), micro);
    }
    const double k = std::floor((value - lo) / step);
    return k >= 9e18 ? INT64_MAX : k <= -9e18 ? INT64_MIN : int64_t(k);
}

bool MapOptionsValid(const sMapOptions& o) {
    auto stepOk = [](double s, double fullScale) { return std::isfinite(s) && s >= 1e-6 && s <= fullScale * 1000; };
    return stepOk(o.RpmStep, MapRpmFullScale) && stepOk(o.TpsStep, MapTpsFullScale) && std::isfinite(o.RichAbove);
}

double sDriveMap::RpmFrom(int64_t bin) const { return double(bin * Micro(Options.RpmStep)) / kMicro; }
double sDriveMap::TpsFrom(int64_t bin) const { return double(bin * Micro(Options.TpsStep)) / kMicro; }

const sMapCell* sDriveMap::Find(int64_t rpmBin, int64_t tpsBin) const {
    auto it = std::lower_bound(
        Cells.begin(), Cells.end(), std::make_pair(rpmBin, tpsBin),
        [](const sMapCell& c, const std::pair<int64_t, int64_t>& k) { return std::make_pair(c.RpmBin, c.TpsBin) < k; });
    return it != Cells.end() && it->RpmBin == rpmBin && it->TpsBin == tpsBin ? &*it : nullptr;
}

// The cells: counted in place for the usual steps (a few thousand cells);
// very fine steps give more cells than records could fill, kept in a hash
// table.
struct cDriveMapBuilder::sCells {
    static constexpr int64_t kDenseCells = int64_t(1) << 18;
    int64_t RpmBins = 0, TpsBins = 0;
    std::vector<sMapCell> Dense;
    std::unordered_map<uint64_t, sMapCell> Sparse;
};

cDriveMapBuilder::cDriveMapBuilder(const sMapOptions& options)
    : Options(options),
      Valid(MapOptionsValid(options)),
      Cells(new sCells) {
    if (!Valid) return;
    Cells->RpmBins = BinOf(MapRpmFullScale, 0, options.RpmStep) + 1;
    Cells->TpsBins = BinOf(MapTpsFullScale, 0, options.TpsStep) + 1;
    if (Cells->RpmBins * Cells->TpsBins <= sCells::kDenseCells)
        Cells->Dense.resize(size_t(Cells->RpmBins * Cells->TpsBins));
}

cDriveMapBuilder::~cDriveMapBuilder() { delete Cells; }

void cDriveMapBuilder::Add(const sCaptureData& data, sRange range) {
    if (!Valid) return;
    range = Clamped(data, range);
    Total += range.Last - range.First;
    const float* tps = data.Values[TraceTps].data();
    const float* lambda = data.Values[TraceLambda].data();
    const float* rpm = data.Values[TraceRpm].data();
    const float* valve = data.Values[TraceValve].data();
    const double rich = Options.RichAbove, rpmStep = Options.RpmStep, tpsStep = Options.TpsStep;
    const int64_t rpmBins = Cells->RpmBins, tpsBins = Cells->TpsBins;
    const bool dense = !Cells->Dense.empty();
    cExactCursor exact(data, range.First);
    for (size_t i = range.First; i < range.Last; ++i) {
        double t = tps[i], l = lambda[i], r = rpm[i], v = valve[i];
        if (!exact.Empty()) {
            t = exact.Get(TraceTps, i, tps[i]);
            l = exact.Get(TraceLambda, i, lambda[i]);
            r = exact.Get(TraceRpm, i, rpm[i]);
            v = exact.Get(TraceValve, i, valve[i]);
        }
        const int64_t rb = BinOf(r, 0, rpmStep), tb = BinOf(t, 0, tpsStep);
        if (rb < 0 || rb >= rpmBins || tb < 0 || tb >= tpsBins) {
            ++Outside;
            continue;
        }
        sMapCell& c = dense ? Cells->Dense[size_t(rb * tpsBins + tb)]
                            : Cells->Sparse[uint64_t(rb) * uint64_t(tpsBins) + uint64_t(tb)];
        c.RpmBin = rb;
        c.TpsBin = tb;
        ++c.Records;
        c.ValveSum += v;
        c.LambdaSum += l;
        c.Rich += l > rich ? 1 : 0;
    }
}

sDriveMap cDriveMapBuilder::Result() const {
    sDriveMap map;
    map.Options = Options;
    map.Total = Total;
    map.Outside = Outside;
    for (const sMapCell& c : Cells->Dense)
        if (c.Records) map.Cells.push_back(c);
    if (!Cells->Sparse.empty()) {
        map.Cells.reserve(Cells->Sparse.size());
        for (const auto& [key, c] : Cells->Sparse) map.Cells.push_back(c);
        std::sort(map.Cells.begin(), map.Cells.end(), [](const sMapCell& a, const sMapCell& b) {
            return a.RpmBin != b.RpmBin ? a.RpmBin < b.RpmBin : a.TpsBin < b.TpsBin;
        });
    }
    return map;
}

sDriveMap BuildDriveMap(const sCaptureData& data, sRange range, const sMapOptions& options) {
    cDriveMapBuilder builder(options);
    builder.Add(data, range);
    return builder.Result();
}

const char* DriveMapCsvHeader() {
    return "rpm_from,rpm_to,tps_from,tps_to,records,share,valve_mean,lambda_mean,rich_share\n";
}

std::string DriveMapCsv(const sDriveMap& map) {
    std::string out = DriveMapCsvHeader();
    const int64_t rpmStep = Micro(map.Options.RpmStep), tpsStep = Micro(map.Options.TpsStep);
    char buf[24];
    for (const sMapCell& c : map.Cells) {
        AppendEdge(out, c.RpmBin * rpmStep);
        out += ',';
        AppendEdge(out, (c.RpmBin + 1) * rpmStep);
        out += ',';
        AppendEdge(out, c.TpsBin * tpsStep);
        out += ',';
        AppendEdge(out, (c.TpsBin + 1) * tpsStep);
        out += ',';
        auto res = std::to_chars(buf, buf + sizeof buf, c.Records);
        out.append(buf, res.ptr);
        out += ',';
        AppendFixed(out, map.Share(c), 6);
        out += ',';
        AppendFixed(out, c.ValveMean(), 6);
        out += ',';
        AppendFixed(out, c.LambdaMean(), 6);
        out += ',';
        AppendFixed(out, c.RichShare(), 6);
        out += '\n';
    }
    return out;
}

sHistogram BuildHistogram(const sCaptureData& data, int trace, sRange range, double lo, double hi, int bins,
                          bool topInside) {
    sHistogram h;
    h.Lo = lo;
    h.Hi = hi;
    if (bins < 1 || !(hi > lo) || trace < 0 || trace >= TraceCount || !std::isfinite(hi - lo)) return h;
    h.Counts.assign(size_t(bins), 0);
    range = Clamped(data, range);
    const float* v = data.Values[trace].data();
    const double step = (hi - lo) / bins;
    cExactCursor exact(data, range.First);
    for (size_t i = range.First; i < range.Last; ++i) {
        const double x = exact.Empty() ? double(v[i]) : exact.Get(trace, i, v[i]);
        const int64_t k = BinOf(x, lo, step);
        if (k < 0) {
            ++h.Below;
            continue;
        }
        // Where hi falls by the same rule: 0 when x is on it.
        const int64_t fromHi = BinOf(x, hi, step);
        if (fromHi >= 0 && !(topInside && fromHi == 0 && BinOf(hi, x, step) == 0)) ++h.Above;
        else ++h.Counts[size_t(std::min<int64_t>(k, bins - 1))];
    }
    return h;
}

sDensityGrid BuildDensityGrid(const sCaptureData& data, int xTrace, int yTrace, int colourTrace, sRange range,
                              double xlo, double xhi, double ylo, double yhi, int columns, int rows) {
    sDensityGrid g;
    if (columns < 1 || rows < 1 || !(xhi > xlo) || !(yhi > ylo) || xTrace < 0 || xTrace >= TraceCount || yTrace < 0 ||
        yTrace >= TraceCount)
        return g;
    g.Columns = columns;
    g.Rows = rows;
    g.XLo = xlo;
    g.XHi = xhi;
    g.YLo = ylo;
    g.YHi = yhi;
    g.Counts.assign(size_t(columns) * size_t(rows), 0);
    const bool colour = colourTrace >= 0 && colourTrace < TraceCount;
    if (colour) g.ColourSum.assign(g.Counts.size(), 0.0f);
    range = Clamped(data, range);
    const float* xs = data.Values[xTrace].data();
    const float* ys = data.Values[yTrace].data();
    const float* cs = colour ? data.Values[colourTrace].data() : nullptr;
    const double sx = columns / (xhi - xlo), sy = rows / (yhi - ylo);
    for (size_t i = range.First; i < range.Last; ++i) {
        const double fx = (xs[i] - xlo) * sx, fy = (ys[i] - ylo) * sy;
        if (!(fx >= 0 && fy >= 0 && fx <= columns && fy <= rows)) continue;
        // The top edge belongs to the last cell: a value at full scale shows.
        const size_t cx = std::min(size_t(columns) - 1, size_t(fx));
        const size_t cy = std::min(size_t(rows) - 1, size_t(fy));
        const size_t k = cy * size_t(columns) + cx;
        const uint32_t n = ++g.Counts[k];
        g.MaxCount = std::max(g.MaxCount, n);
        if (cs) g.ColourSum[k] += cs[i];
    }
    return g;
}

int TraceByName(const std::string& name) {
    for (int t = 0; t < TraceCount; ++t)
        if (name == TraceName(t)) return t;
    return -1;
}

const char* TraceName(int trace) {
    static const char* const names[TraceCount] = {"tps", "lambda", "rpm", "valve"};
    return trace >= 0 && trace < TraceCount ? names[trace] : "";
}

size_t NearestRecord(const sCaptureData& data, int xTrace, int yTrace, sRange range, double x, double y, double xScale,
                     double yScale) {
    range = Clamped(data, range);
    if (range.First >= range.Last || xScale <= 0 || yScale <= 0 || xTrace < 0 || xTrace >= TraceCount || yTrace < 0 ||
        yTrace >= TraceCount)
        return SIZE_MAX;
    const float* xs = data.Values[xTrace].data();
    const float* ys = data.Values[yTrace].data();
    size_t best = SIZE_MAX;
    double bestD = std::numeric_limits<double>::infinity();
    for (size_t i = range.First; i < range.Last; ++i) {
        const double dx = (xs[i] - x) / xScale, dy = (ys[i] - y) / yScale;
        const double d = dx * dx + dy * dy;
        if (d < bestD) {
            bestD = d;
            best = i;
        }
    }
    return best;
}

}  // namespace Capture
