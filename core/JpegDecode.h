// Decoding a JPEG picture (the help viewer's replacement picture) to RGB with
// libjpeg. Every failure is reported as an exception with a readable message:
// a corrupt or truncated file (libjpeg's warnings count as failures, so a
// picture with a missing end is not shown half grey), a file too large,
// dimensions beyond the limits (checked before the pixels are allocated), or
// too little memory. The decoder is released on every path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

// The defaults fit a help picture (the built-in one is 1563 x 2048) with room
// to spare, and keep the decoding within about 150 MB.
struct sJpegLimits {
    int MaxSide = 20000;                  // pixels per side
    uint64_t MaxPixels = 4096ull * 4096;  // width x height, 16 megapixels
    size_t MaxFileBytes = 64u * 1024 * 1024;
};

struct sJpegImage {
    int Width = 0;
    int Height = 0;
    std::vector<uint8_t> Rgb;  // Width x Height x 3 bytes, rows top to bottom
};

class cJpegError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

sJpegImage DecodeJpeg(const uint8_t* data, size_t size, const sJpegLimits& limits = {});
sJpegImage DecodeJpegFile(const std::string& path, const sJpegLimits& limits = {});
// Width and height from the header only; throws like DecodeJpeg.
void ReadJpegSize(const uint8_t* data, size_t size, int& width, int& height, const sJpegLimits& limits = {});
