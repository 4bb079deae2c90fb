// Small JPEG files made in memory for the decoder and start-up tests.
#pragma once

#include <jpeglib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace JpegTestKit {

// A w x h colour gradient as a baseline JPEG.
inline std::vector<uint8_t> Encode(int w, int h, int quality = 90) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = JDIMENSION(w);
    c.image_height = JDIMENSION(h);
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    jpeg_start_compress(&c, TRUE);
    std::vector<uint8_t> row(size_t(w) * 3);
    while (c.next_scanline < c.image_height) {
        for (int x = 0; x < w; ++x) {
            row[size_t(x) * 3] = uint8_t(x * 255 / (w > 1 ? w - 1 : 1));
            row[size_t(x) * 3 + 1] = uint8_t(c.next_scanline * 255 / (h > 1 ? unsigned(h - 1) : 1u));
            row[size_t(x) * 3 + 2] = 128;
        }
        JSAMPROW p = row.data();
        jpeg_write_scanlines(&c, &p, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::vector<uint8_t> data(out, out + size);
    std::free(out);
    return data;
}

// Rewrites the frame header's dimensions (the first SOF marker).
inline bool SetDimensions(std::vector<uint8_t>& data, int w, int h) {
    for (size_t i = 2; i + 9 < data.size(); ++i) {
        if (data[i] == 0xFF && (data[i + 1] == 0xC0 || data[i + 1] == 0xC1 || data[i + 1] == 0xC2)) {
            data[i + 5] = uint8_t(h >> 8);
            data[i + 6] = uint8_t(h);
            data[i + 7] = uint8_t(w >> 8);
            data[i + 8] = uint8_t(w);
            return true;
        }
    }
    return false;
}

inline bool WriteFile(const std::string& path, const std::vector<uint8_t>& data) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    // An empty vector's data() may be null, which fwrite must not get.
    bool ok = data.empty() || std::fwrite(data.data(), 1, data.size(), f) == data.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace JpegTestKit
