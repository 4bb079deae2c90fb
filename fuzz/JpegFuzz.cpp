// Replacement picture decoder: any file is either decoded to a picture of the
// size its header gives, within the limits, or refused with cJpegError;
// nothing else may happen (libjpeg's own faults, overflows, other
// exceptions).
#include "core/JpegDecode.h"

#include "fuzz/FuzzKit.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static fuzzkit::cMemFile file("help.jpg");
    // Smaller than the program's limits, so that a run stays fast; the
    // checks against the limits are the same code.
    sJpegLimits limits;
    limits.MaxSide = 2048;
    limits.MaxPixels = 1u << 20;
    limits.MaxFileBytes = 1u << 20;

    int headerWidth = -1, headerHeight = -1;
    try {
        ReadJpegSize(data, size, headerWidth, headerHeight, limits);
        FUZZ_CHECK(headerWidth > 0 && headerHeight > 0);
        FUZZ_CHECK(headerWidth <= limits.MaxSide && headerHeight <= limits.MaxSide);
        FUZZ_CHECK(uint64_t(headerWidth) * uint64_t(headerHeight) <= limits.MaxPixels);
    } catch (const cJpegError&) {
        headerWidth = headerHeight = -1;
    }
    try {
        sJpegImage image = DecodeJpegFile(file.Set(data, size), limits);
        FUZZ_CHECK(headerWidth == image.Width && headerHeight == image.Height);
        FUZZ_CHECK(image.Rgb.size() == size_t(image.Width) * size_t(image.Height) * 3);
    } catch (const cJpegError&) {}
    return 0;
}
