#include <gtest/gtest.h>

#include <filesystem>

#include "JpegTestKit.h"
#include "core/JpegDecode.h"

namespace {

sJpegImage DecodeVec(const std::vector<uint8_t>& d, const sJpegLimits& l = {}) {
    return DecodeJpeg(d.data(), d.size(), l);
}

TEST(JpegDecode, DecodesToRgbOfTheHeaderSize) {
    auto data = JpegTestKit::Encode(40, 30);
    sJpegImage img = DecodeVec(data);
    EXPECT_EQ(img.Width, 40);
    EXPECT_EQ(img.Height, 30);
    ASSERT_EQ(img.Rgb.size(), 40u * 30u * 3u);
    // Red runs left to right, green top to bottom, blue stays mid.
    EXPECT_LT(img.Rgb[0], 40);
    EXPECT_GT(img.Rgb[(39) * 3], 215);
    EXPECT_GT(img.Rgb[(29 * 40) * 3 + 1], 215);
    EXPECT_NEAR(img.Rgb[(15 * 40 + 20) * 3 + 2], 128, 12);
}

TEST(JpegDecode, ReadsTheSizeWithoutDecoding) {
    auto data = JpegTestKit::Encode(64, 16);
    int w = 0, h = 0;
    ReadJpegSize(data.data(), data.size(), w, h);
    EXPECT_EQ(w, 64);
    EXPECT_EQ(h, 16);
}

// Every damaged input ends in cJpegError, never in an exit or a crash.
TEST(JpegDecode, DamagedInputThrows) {
    const auto good = JpegTestKit::Encode(64, 64);
    struct sCase { const char* Name; std::vector<uint8_t> Data; };
    std::vector<sCase> cases;
    cases.push_back({"empty", {}});
    cases.push_back({"not a jpeg", std::vector<uint8_t>(500, 0x41)});
    cases.push_back({"truncated half", std::vector<uint8_t>(good.begin(), good.begin() + good.size() / 2)});
    cases.push_back({"header only", std::vector<uint8_t>(good.begin(), good.begin() + 200)});
    auto corrupt = good;
    for (size_t i = corrupt.size() / 2; i < corrupt.size() / 2 + 40; ++i) corrupt[i] = 0xFF;
    cases.push_back({"corrupt entropy data", corrupt});
    auto badMarker = good;
    badMarker[3] = 0x01;  // the first marker after SOI made invalid
    cases.push_back({"bad marker", badMarker});
    for (const sCase& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_THROW(DecodeVec(c.Data), cJpegError);
    }
}

TEST(JpegDecode, RejectsAbsurdDimensionsBeforeAllocating) {
    struct sCase { int W, H; };
    for (sCase c : {sCase{30000, 100}, sCase{100, 30000}, sCase{16000, 15000}, sCase{20000, 20000}}) {
        SCOPED_TRACE(std::to_string(c.W) + "x" + std::to_string(c.H));
        auto data = JpegTestKit::Encode(16, 16);
        ASSERT_TRUE(JpegTestKit::SetDimensions(data, c.W, c.H));
        try {
            DecodeVec(data);
            ADD_FAILURE() << "no exception";
        } catch (const cJpegError& e) {
            EXPECT_NE(std::string(e.what()).find("exceeds the limits"), std::string::npos) << e.what();
        }
    }
    // The limits are the caller's to choose.
    auto small = JpegTestKit::Encode(64, 64);
    sJpegLimits tight;
    tight.MaxSide = 32;
    EXPECT_THROW(DecodeVec(small, tight), cJpegError);
    tight = {};
    tight.MaxFileBytes = 10;
    EXPECT_THROW(DecodeVec(small, tight), cJpegError);
}

TEST(JpegDecode, FileErrorsNameTheFile) {
    auto dir = std::filesystem::temp_directory_path() / ("zvjpeg" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string missing = (dir / "missing.jpg").string();
    try {
        DecodeJpegFile(missing);
        ADD_FAILURE();
    } catch (const cJpegError& e) {
        EXPECT_NE(std::string(e.what()).find(missing), std::string::npos);
    }
    auto good = JpegTestKit::Encode(20, 10);
    const std::string path = (dir / "ok.jpg").string();
    ASSERT_TRUE(JpegTestKit::WriteFile(path, good));
    EXPECT_EQ(DecodeJpegFile(path).Width, 20);
    std::filesystem::remove_all(dir);
}

}  // namespace
