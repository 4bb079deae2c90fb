#include "capview/DriveStats.h"

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

bool MapOptionsValid(const sMapOptions& o) {
    auto stepOk = [](double s, double fullScale) { return std::isfinite(s) && s >= 1e-6 && s <= fullScale * 1000; };
    return stepOk(o.RpmStep, MapRpmFullScale) && stepOk(o.TpsStep, MapTpsFullScale) && std::isfinite(o.RichAbove);
}

double sDriveMap::RpmFrom(int64_t bin) const { return double(bin * Micro(Options.RpmStep)) / kMicro; }
double sDriveMap::TpsFrom(int64_t bin) const { return double(bin * Micro(Options.TpsStep)) / kMicro; }

const sMapCell* sDriveMap::Find(int64_t rpmBin, int64_t tpsBin) const {
    auto it = std::lower_bound(Cells.begin(), Cells.end(), std::make_pair(rpmBin, tpsBin),
                               [](const sMapCell& c, const std::pair<int64_t, int64_t>& k) {
                                   return std::make_pair(c.RpmBin, c.TpsBin) < k;
                               });
    return it != Cells.end() && it->RpmBin == rpmBin && it->TpsBin == tpsBin ? &*it : nullptr;
}

sDriveMap BuildDriveMap(const sCaptureData& data, sRange range, const sMapOptions& options) {
    sDriveMap map;
    map.Options = options;
    if (!MapOptionsValid(options)) return map;
    range = Clamped(data, range);
    map.Total = range.Last - range.First;
    const int64_t rpmStep = Micro(options.RpmStep), tpsStep = Micro(options.TpsStep);
    const int64_t rpmBins = FloorDiv(Micro(MapRpmFullScale), rpmStep) + 1;
    const int64_t tpsBins = FloorDiv(Micro(MapTpsFullScale), tpsStep) + 1;
    const float* tps = data.Values[TraceTps].data();
    const float* lambda = data.Values[TraceLambda].data();
    const float* rpm = data.Values[TraceRpm].data();
    const float* valve = data.Values[TraceValve].data();
    const double rich = options.RichAbove;

    auto add = [&](sMapCell& c, size_t i) {
        ++c.Records;
        c.ValveSum += valve[i];
        c.LambdaSum += lambda[i];
        c.Rich += double(lambda[i]) > rich ? 1 : 0;
    };
    // The usual steps give a few thousand cells, counted in place; very fine
    // steps give more cells than records could fill, kept in a hash table.
    constexpr int64_t kDenseCells = int64_t(1) << 18;
    if (rpmBins * tpsBins <= kDenseCells) {
        std::vector<sMapCell> cells(size_t(rpmBins * tpsBins));
        for (size_t i = range.First; i < range.Last; ++i) {
            const int64_t r = FloorDiv(Micro(rpm[i]), rpmStep), t = FloorDiv(Micro(tps[i]), tpsStep);
            if (r < 0 || r >= rpmBins || t < 0 || t >= tpsBins) {
                ++map.Outside;
                continue;
            }
            add(cells[size_t(r * tpsBins + t)], i);
        }
        for (int64_t r = 0; r < rpmBins; ++r)
            for (int64_t t = 0; t < tpsBins; ++t) {
                sMapCell& c = cells[size_t(r * tpsBins + t)];
                if (!c.Records) continue;
                c.RpmBin = r;
                c.TpsBin = t;
                map.Cells.push_back(c);
            }
    } else {
        std::unordered_map<uint64_t, sMapCell> cells;
        for (size_t i = range.First; i < range.Last; ++i) {
            const int64_t r = FloorDiv(Micro(rpm[i]), rpmStep), t = FloorDiv(Micro(tps[i]), tpsStep);
            if (r < 0 || r >= rpmBins || t < 0 || t >= tpsBins) {
                ++map.Outside;
                continue;
            }
            sMapCell& c = cells[uint64_t(r) * uint64_t(tpsBins) + uint64_t(t)];
            c.RpmBin = r;
            c.TpsBin = t;
            add(c, i);
        }
        map.Cells.reserve(cells.size());
        for (auto& [key, c] : cells) map.Cells.push_back(c);
        std::sort(map.Cells.begin(), map.Cells.end(), [](const sMapCell& a, const sMapCell& b) {
            return a.RpmBin != b.RpmBin ? a.RpmBin < b.RpmBin : a.TpsBin < b.TpsBin;
        });
    }
    return map;
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

sHistogram BuildHistogram(const sCaptureData& data, int trace, sRange range, double lo, double hi, int bins) {
    sHistogram h;
    h.Lo = lo;
    h.Hi = hi;
    if (bins < 1 || !(hi > lo) || trace < 0 || trace >= TraceCount) return h;
    h.Counts.assign(size_t(bins), 0);
    range = Clamped(data, range);
    const float* v = data.Values[trace].data();
    const double scale = bins / (hi - lo);
    for (size_t i = range.First; i < range.Last; ++i) {
        const double x = v[i];
        if (x < lo) ++h.Below;
        else if (x >= hi) ++h.Above;
        else ++h.Counts[std::min(size_t(bins) - 1, size_t((x - lo) * scale))];
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

size_t NearestRecord(const sCaptureData& data, int xTrace, int yTrace, sRange range, double x, double y,
                     double xScale, double yScale) {
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
