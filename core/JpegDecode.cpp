#include "core/JpegDecode.h"

#include <jpeglib.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <new>

namespace {

struct sErrorManager {
    jpeg_error_mgr Pub;  // first member: libjpeg sees only this part
    std::jmp_buf Jump;
    char Message[JMSG_LENGTH_MAX];
};

// libjpeg's default error handler ends the process; this one returns to the
// decoder, which turns the failure into an exception.
void OnError(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<sErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->Message);
    std::longjmp(err->Jump, 1);
}

// Warnings (corrupt data, premature end of file) are failures too: libjpeg
// would otherwise fill the rest of the picture with grey and carry on.
void OnMessage(j_common_ptr cinfo, int level) {
    if (level < 0) OnError(cinfo);
}

enum class eStage { HeaderOnly, Full };

// Only plain data lives across setjmp here; the output vector belongs to the
// caller, and the frames longjmp unwinds are libjpeg's own C frames.
bool Run(const uint8_t* data, size_t size, const sJpegLimits& limits, eStage stage, sJpegImage& out, char* message,
         size_t messageSize) {
    jpeg_decompress_struct cinfo;
    sErrorManager err;
    std::memset(&cinfo, 0, sizeof cinfo);
    err.Message[0] = '\0';
    cinfo.err = jpeg_std_error(&err.Pub);
    err.Pub.error_exit = OnError;
    err.Pub.emit_message = OnMessage;

    if (setjmp(err.Jump)) {
        std::snprintf(message, messageSize, "%s", err.Message);
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, const_cast<unsigned char*>(data), static_cast<unsigned long>(size));
    jpeg_read_header(&cinfo, TRUE);

    const uint64_t w = cinfo.image_width, h = cinfo.image_height;
    if (w == 0 || h == 0 || w > uint64_t(limits.MaxSide) || h > uint64_t(limits.MaxSide) || w * h > limits.MaxPixels) {
        std::snprintf(message, messageSize, "picture of %llu x %llu pixels exceeds the limits",
                      static_cast<unsigned long long>(w), static_cast<unsigned long long>(h));
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    out.Width = int(w);
    out.Height = int(h);
    if (stage == eStage::HeaderOnly) {
        jpeg_destroy_decompress(&cinfo);
        return true;
    }

    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    if (cinfo.output_components != 3 || cinfo.output_width != w || cinfo.output_height != h) {
        std::snprintf(message, messageSize, "unexpected output format");
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    const size_t stride = size_t(w) * 3;
    try {
        out.Rgb.resize(stride * size_t(h));
    } catch (const std::bad_alloc&) {
        std::snprintf(message, messageSize, "not enough memory for a picture of %llu x %llu pixels",
                      static_cast<unsigned long long>(w), static_cast<unsigned long long>(h));
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = out.Rgb.data() + stride * cinfo.output_scanline;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

sJpegImage Decode(const uint8_t* data, size_t size, const sJpegLimits& limits, eStage stage) {
    if (!data || size == 0) throw cJpegError("empty picture file");
    if (size > limits.MaxFileBytes) throw cJpegError("picture file too large");
    sJpegImage image;
    char message[JMSG_LENGTH_MAX + 64] = {};
    if (!Run(data, size, limits, stage, image, message, sizeof message)) {
        throw cJpegError(message[0] ? message : "cannot decode the picture");
    }
    return image;
}

}  // namespace

sJpegImage DecodeJpeg(const uint8_t* data, size_t size, const sJpegLimits& limits) {
    return Decode(data, size, limits, eStage::Full);
}

void ReadJpegSize(const uint8_t* data, size_t size, int& width, int& height, const sJpegLimits& limits) {
    sJpegImage image = Decode(data, size, limits, eStage::HeaderOnly);
    width = image.Width;
    height = image.Height;
}

sJpegImage DecodeJpegFile(const std::string& path, const sJpegLimits& limits) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) throw cJpegError(path + ": cannot be opened");
    std::streamoff length = in.tellg();
    if (length < 0) throw cJpegError(path + ": cannot be read");
    if (uint64_t(length) > limits.MaxFileBytes) throw cJpegError(path + ": picture file too large");
    std::vector<uint8_t> data;
    try {
        data.resize(static_cast<size_t>(length));
    } catch (const std::bad_alloc&) {
        throw cJpegError(path + ": not enough memory");
    }
    in.seekg(0);
    if (length > 0 && !in.read(reinterpret_cast<char*>(data.data()), length))
        throw cJpegError(path + ": cannot be read");
    try {
        return DecodeJpeg(data.data(), data.size(), limits);
    } catch (const cJpegError& e) {
        throw cJpegError(path + ": " + e.what());
    }
}
