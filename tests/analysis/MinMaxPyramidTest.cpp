#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "analysis/MinMaxPyramid.h"

using namespace Capture;

namespace {

sRangeStats Plain(const std::vector<float>& v, size_t a, size_t b) {
    sRangeStats s;
    for (size_t i = a; i < std::min(b, v.size()); ++i) s.Add(v[i]);
    return s;
}

std::vector<float> RandomValues(std::mt19937& rng, size_t n) {
    std::uniform_real_distribution<float> dist(-1000, 1000);
    std::vector<float> v(n);
    for (float& x : v) x = dist(rng);
    // Runs of equal values and spikes, as real captures have.
    for (size_t i = 0; i + 40 < n; i += 97) std::fill(v.begin() + long(i), v.begin() + long(i) + 40, v[i]);
    return v;
}

}  // namespace

TEST(MinMaxPyramid, AnyRangeMatchesAPlainScan) {
    std::mt19937 rng(3);
    for (size_t n : {0ul, 1ul, 15ul, 16ul, 17ul, 31ul, 32ul, 33ul, 1000ul, 4096ul, 100003ul}) {
        const std::vector<float> v = RandomValues(rng, n);
        cMinMaxPyramid pyr;
        pyr.Build(v.data(), v.size());
        for (int q = 0; q < 2000; ++q) {
            size_t a = n ? rng() % (n + 1) : 0, b = n ? rng() % (n + 1) : 0;
            if (q % 7 == 0) b = a + rng() % 40;  // short ranges, ragged ends
            if (a > b) std::swap(a, b);
            const sRangeStats want = Plain(v, a, b), got = pyr.Query(a, b);
            ASSERT_EQ(got.Count, want.Count) << n << " " << a << ".." << b;
            if (!want.Count) continue;
            ASSERT_EQ(got.Min, want.Min) << n << " " << a << ".." << b;
            ASSERT_EQ(got.Max, want.Max) << n << " " << a << ".." << b;
            ASSERT_NEAR(got.Sum, want.Sum, 1e-6 * double(want.Count) * 1000) << n << " " << a << ".." << b;
        }
        // The whole column and ranges past its end.
        EXPECT_EQ(pyr.Query(0, n + 100).Count, n);
        EXPECT_EQ(pyr.Query(n + 1, n + 50).Count, 0u);
    }
}

TEST(MinMaxPyramid, DecimationMatchesAPlainScanPerColumn) {
    std::mt19937 rng(11);
    const std::vector<float> v = RandomValues(rng, 250000);
    cMinMaxPyramid pyr;
    pyr.Build(v.data(), v.size());
    std::vector<sColumn> cols;
    std::uniform_real_distribution<double> unit(0, 1);
    for (int round = 0; round < 60; ++round) {
        const int columns = 100 + int(rng() % 1600);
        // From far zoomed out to a few records a column; views that start
        // before the first record or end after the last.
        const double perColumn = std::pow(10.0, unit(rng) * 3.2);
        const double first = unit(rng) * (double(v.size()) + 2000) - 1000;
        pyr.Decimate(first, perColumn, columns, cols);
        ASSERT_EQ(cols.size(), size_t(columns));
        for (int c = 0; c < columns; ++c) {
            const double a = std::max(0.0, std::floor(first + c * perColumn));
            const double b = std::min(double(v.size()), std::floor(first + (c + 1) * perColumn));
            const bool has = b > a;
            ASSERT_EQ(cols[size_t(c)].Has, has) << round << " " << c;
            if (!has) continue;
            const auto [lo, hi] = std::minmax_element(v.begin() + long(a), v.begin() + long(b));
            ASSERT_EQ(cols[size_t(c)].Min, *lo) << round << " " << c;
            ASSERT_EQ(cols[size_t(c)].Max, *hi) << round << " " << c;
        }
    }
}

TEST(MinMaxPyramid, MemoryStaysBelowTwoBytesPerValue) {
    std::vector<float> v(1 << 20, 1.0f);
    cMinMaxPyramid pyr;
    pyr.Build(v.data(), v.size());
    EXPECT_LE(pyr.MemoryBytes(), v.size() * 2 + 64);
}
