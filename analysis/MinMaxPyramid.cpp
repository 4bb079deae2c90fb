#include "analysis/MinMaxPyramid.h"

#include <algorithm>
#include <cmath>

namespace Capture {

void sRangeStats::Add(float v) {
    if (Count == 0) Min = Max = v;
    else {
        Min = std::min(Min, v);
        Max = std::max(Max, v);
    }
    Sum += v;
    ++Count;
}

void sRangeStats::Add(const sRangeStats& o) {
    if (o.Count == 0) return;
    if (Count == 0) {
        Min = o.Min;
        Max = o.Max;
    } else {
        Min = std::min(Min, o.Min);
        Max = std::max(Max, o.Max);
    }
    Sum += o.Sum;
    Count += o.Count;
}

void cMinMaxPyramid::Build(const float* values, size_t count) {
    Raw = values;
    Count = count;
    Levels.clear();
    size_t n = count / Block;
    if (n == 0) return;
    std::vector<sNode> level(n);
    for (size_t b = 0; b < n; ++b) {
        const float* v = values + b * Block;
        float lo = v[0], hi = v[0];
        double sum = 0;
        for (size_t i = 0; i < Block; ++i) {
            lo = std::min(lo, v[i]);
            hi = std::max(hi, v[i]);
            sum += v[i];
        }
        level[b] = {lo, hi, sum};
    }
    Levels.push_back(std::move(level));
    while (Levels.back().size() >= 2) {
        const std::vector<sNode>& below = Levels.back();
        std::vector<sNode> up(below.size() / 2);
        for (size_t i = 0; i < up.size(); ++i) {
            const sNode& a = below[2 * i];
            const sNode& b = below[2 * i + 1];
            up[i] = {std::min(a.Min, b.Min), std::max(a.Max, b.Max), a.Sum + b.Sum};
        }
        Levels.push_back(std::move(up));
    }
}

size_t cMinMaxPyramid::MemoryBytes() const {
    size_t bytes = 0;
    for (const auto& l : Levels) bytes += l.capacity() * sizeof(sNode);
    return bytes;
}

sRangeStats cMinMaxPyramid::Query(size_t from, size_t to) const {
    sRangeStats r;
    to = std::min(to, Count);
    if (from >= to) return r;
    // The ragged ends one value at a time, up to whole blocks.
    while (from < to && from % Block) r.Add(Raw[from++]);
    while (to > from && to % Block) r.Add(Raw[--to]);
    size_t a = from / Block, b = to / Block;
    for (size_t level = 0; a < b; ++level) {
        const std::vector<sNode>& nodes = Levels[level];
        auto add = [&r](const sNode& n, size_t count) {
            sRangeStats s;
            s.Min = n.Min;
            s.Max = n.Max;
            s.Sum = n.Sum;
            s.Count = count;
            r.Add(s);
        };
        const size_t span = Block << level;
        if (level + 1 == Levels.size()) {
            for (size_t i = a; i < b; ++i) add(nodes[i], span);
            break;
        }
        if (a & 1) add(nodes[a++], span);
        if (a < b && (b & 1)) add(nodes[--b], span);
        a /= 2;
        b /= 2;
    }
    return r;
}

void cMinMaxPyramid::Decimate(double first, double perColumn, int columns, std::vector<sColumn>& out) const {
    out.assign(size_t(std::max(columns, 0)), sColumn{});
    if (Count == 0 || !(perColumn > 0)) return;
    const double last = double(Count);
    for (int c = 0; c < columns; ++c) {
        double a = std::floor(first + c * perColumn);
        double b = std::floor(first + (c + 1) * perColumn);
        if (b <= 0 || a >= last) continue;
        a = std::max(a, 0.0);
        b = std::min(b, last);
        if (a >= b) continue;
        const sRangeStats s = Query(size_t(a), size_t(b));
        out[size_t(c)] = {s.Min, s.Max, true};
    }
}

}  // namespace Capture
