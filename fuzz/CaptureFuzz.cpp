// Capture file reader of the viewer: any bytes give a result without a fault,
// every line is counted once as a record, a header, a gap or a skipped line, and
// feeding the same bytes in two pieces split anywhere gives the same records.
#include "formats/CaptureData.h"

#include "fuzz/FuzzKit.h"

using namespace Capture;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const sCaptureData whole = ParseCapture(data, size);
    FUZZ_CHECK(whole.Records() + whole.SkippedLines + whole.HeaderLines + whole.DroppedRecords + whole.Gaps.size() <=
               whole.Lines);
    for (int t = 1; t < TraceCount; ++t) FUZZ_CHECK(whole.Values[t].size() == whole.Records());

    const size_t cut = size ? data[0] % (size + 1) : 0;
    sCaptureData split;
    cCaptureParser parser(split);
    parser.Feed(reinterpret_cast<const char*>(data), cut);
    parser.Feed(reinterpret_cast<const char*>(data) + cut, size - cut);
    parser.Finish();
    FUZZ_CHECK(split.Records() == whole.Records());
    FUZZ_CHECK(split.Lines == whole.Lines);
    FUZZ_CHECK(split.SkippedLines == whole.SkippedLines);
    FUZZ_CHECK(split.Gaps.size() == whole.Gaps.size());
    for (int t = 0; t < TraceCount; ++t)
        for (size_t i = 0; i < whole.Records(); ++i)
            FUZZ_CHECK(split.Values[t][i] == whole.Values[t][i] ||
                       (split.Values[t][i] != split.Values[t][i] && whole.Values[t][i] != whole.Values[t][i]));
    return 0;
}
