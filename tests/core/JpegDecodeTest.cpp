#include <gtest/gtest.h>

#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "core/JpegDecode.h"

#include "tests/core/JpegTestKit.h"

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
    struct sCase {
        const char* Name;
        std::vector<uint8_t> Data;
    };
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
    struct sCase {
        int W, H;
    };
    // A help picture needs no more than 16 megapixels: 20000 x 10000 (a 758
    // byte file can claim it) would take 600 MB of pixels.
    for (sCase c : {sCase{30000, 100}, sCase{100, 30000}, sCase{16000, 15000}, sCase{20000, 20000}, sCase{20000, 10000},
                    sCase{4097, 4096}, sCase{8000, 2200}}) {
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
    // 16 megapixels themselves pass the check.
    auto largest = JpegTestKit::Encode(16, 16);
    ASSERT_TRUE(JpegTestKit::SetDimensions(largest, 4096, 4096));
    int w = 0, h = 0;
    ReadJpegSize(largest.data(), largest.size(), w, h);
    EXPECT_EQ(w * h, 4096 * 4096);
    // The limits are the caller's to choose.
    auto small = JpegTestKit::Encode(64, 64);
    sJpegLimits tight;
    tight.MaxSide = 32;
    EXPECT_THROW(DecodeVec(small, tight), cJpegError);
    tight = {};
    tight.MaxFileBytes = 10;
    EXPECT_THROW(DecodeVec(small, tight), cJpegError);
}

// When the pixels cannot be allocated the decoder is released and the
// failure is a cJpegError like any other: repeated failures leave no memory
// behind. Run in a child process with a limit on its address space (not
// under the sanitizers, which reserve far more address space than that).
TEST(JpegDecode, AllocationFailureReleasesTheDecoder) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "address space limits do not go with the sanitizers";
#else
    auto data = JpegTestKit::Encode(16, 16);
    ASSERT_TRUE(JpegTestKit::SetDimensions(data, 6000, 6000));  // 108 MB of pixels
    sJpegLimits loose;
    loose.MaxPixels = 6000ull * 6000;
    const pid_t pid = ::fork();
    if (pid == 0) {
        long pages = 0;
        if (FILE* f = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(f, "%ld", &pages) != 1) pages = 0;
            std::fclose(f);
        }
        if (pages <= 0) ::_exit(3);
        const rlim_t limit = rlim_t(pages) * rlim_t(::sysconf(_SC_PAGESIZE)) + (48u << 20);
        struct rlimit lim {
            limit, limit
        };
        if (::setrlimit(RLIMIT_AS, &lim) != 0) ::_exit(3);
        size_t before = 0;
        for (int i = 0; i < 30; ++i) {
            try {
                DecodeVec(data, loose);
                ::_exit(4);  // it cannot have fitted
            } catch (const cJpegError&) {
            } catch (...) {
                ::_exit(5);  // anything else escapes the decoder's clean-up
            }
            if (i == 0) before = mallinfo2().uordblks;
        }
        // libjpeg's pools for a 6000-pixel-wide picture are far larger than this.
        ::_exit(mallinfo2().uordblks - before < 64 * 1024 ? 0 : 6);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
#endif
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
