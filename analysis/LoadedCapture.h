// One capture as the viewer holds it: its records, what reading it gave and
// the min/max pyramid of each column.
#pragma once

#include <new>
#include <string>

#include "formats/CaptureData.h"

#include "analysis/MinMaxPyramid.h"

namespace Capture {

struct sLoadedCapture {
    std::string Path;
    sCaptureData Data;
    sReadResult Result;
    cMinMaxPyramid Pyramid[TraceCount];

    size_t Records() const { return Data.Records(); }
    // Builds the pyramids over the records (after Data is complete). When
    // memory runs out, the later half of the records is given up (counted
    // as not kept) until the pyramids fit.
    void Index() {
        for (;;) {
            try {
                for (int t = 0; t < TraceCount; ++t) Pyramid[t].Build(Data.Values[t].data(), Data.Values[t].size());
                return;
            } catch (const std::bad_alloc&) {
                const size_t keep = Records() / 2;
                Data.DroppedRecords += Records() - keep;
                Data.Truncate(keep);
                Result.Status = eReadStatus::OutOfMemory;
            }
        }
    }
    // Reads the file and indexes it; see ReadCaptureFile.
    void Load(const std::string& path, const tProgress& progress = {}) {
        Path = path;
        Result = ReadCaptureFile(path, Data, progress);
        Index();
    }
    // Memory held for the records and the pyramids.
    size_t MemoryBytes() const {
        size_t bytes = 0;
        for (int t = 0; t < TraceCount; ++t)
            bytes += Data.Values[t].capacity() * sizeof(float) + Pyramid[t].MemoryBytes();
        return bytes;
    }
};

}  // namespace Capture
