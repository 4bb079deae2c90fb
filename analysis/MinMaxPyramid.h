// Minimum, maximum and sum of any range of one column in a few steps: blocks
// of 16 values, then pairs of blocks, pairs of pairs and so on. Drawing asks
// it for the minimum and maximum of the records under each pixel column, so a
// capture of millions of records draws as fast as a short one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Capture {

struct sRangeStats {
    float Min = 0, Max = 0;
    double Sum = 0;
    uint64_t Count = 0;
    double Mean() const { return Count ? Sum / double(Count) : 0.0; }
    void Add(float v);
    void Add(const sRangeStats& other);
};

// What a pixel column shows: the smallest and largest value of its records.
struct sColumn {
    float Min = 0, Max = 0;
    bool Has = false;  // false when the column covers no record
};

class cMinMaxPyramid {
public:
    static constexpr size_t Block = 16;

    // Builds the levels over `values`, which must outlive the pyramid and
    // stay unchanged.
    void Build(const float* values, size_t count);
    size_t Size() const { return Count; }
    // Statistics of the records [from, to), clipped to the column.
    sRangeStats Query(size_t from, size_t to) const;
    size_t MemoryBytes() const;

    // One sColumn per pixel column: column c covers the records from
    // floor(first + c * perColumn) up to, not including,
    // floor(first + (c + 1) * perColumn), clipped to the column's records.
    void Decimate(double first, double perColumn, int columns, std::vector<sColumn>& out) const;

private:
    struct sNode {
        float Min, Max;
        double Sum;
    };
    const float* Raw = nullptr;
    size_t Count = 0;
    std::vector<std::vector<sNode>> Levels;  // Levels[0]: blocks of Block values
};

}  // namespace Capture
