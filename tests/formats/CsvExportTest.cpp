#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "formats/CaptureFile.h"
#include "formats/CsvExport.h"

namespace fs = std::filesystem;
using namespace Capture;

namespace {
std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
fs::path TempDir() {
    fs::path d = fs::temp_directory_path() / ("zvcsv_" + std::to_string(::getpid()));
    fs::create_directories(d);
    return d;
}
}  // namespace

TEST(CsvExport, NumbersKeepSixDecimalsWithoutNeedlessZeros) {
    EXPECT_EQ(CsvNumber(120 / 51.0f), "2.352941");
    EXPECT_EQ(CsvNumber(0.45f), "0.45");
    EXPECT_EQ(CsvNumber(2000), "2000");
    EXPECT_EQ(CsvNumber(0), "0");
    EXPECT_EQ(CsvNumber(-0.0f), "0");
    EXPECT_EQ(CsvNumber(-3 / 51.0f), "-0.058824");
    EXPECT_EQ(CsvNumber(1e-8f), "0");
    EXPECT_EQ(CsvNumber(54000), "54000");
}

// The capture file, read and exported: a header and one numbered line per
// record, the values as the capture had them.
TEST(CsvExport, CaptureToCsvFile) {
    const fs::path dir = TempDir();
    const fs::path dat = dir / "drive.dat", csv = dir / "drive.csv";
    {
        cCaptureFile f;
        ASSERT_TRUE(f.Open(dat.string()));
        f.WriteRecord({float(120 / 51.0), 0.45f, 2000, 150});
        f.WriteRecord({0, 0, 0, 0});
        f.WriteRecord({5, 0.8f, 54000, 255});
    }
    std::ofstream(dat, std::ios::app | std::ios::binary) << "broken line\r\n";
    sCaptureData d;
    ASSERT_EQ(ReadCaptureFile(dat.string(), d).Status, eReadStatus::Ok);
    std::string error;
    ASSERT_TRUE(WriteCsv(csv.string(), d, &error)) << error;
    EXPECT_EQ(Slurp(csv),
              "record,tps_v,lambda_v,rpm,valve\r\n"
              "1,2.352941,0.45,2000,150\r\n"
              "2,0,0,0,0\r\n"
              "3,5,0.8,54000,255\r\n");
    // Nothing is left beside it.
    int files = 0;
    for (const auto& e : fs::directory_iterator(dir)) files += e.is_regular_file();
    EXPECT_EQ(files, 2);
    fs::remove_all(dir);
}

TEST(CsvExport, FailedWriteLeavesTheTargetAndNoTemporaryFile) {
    // The target name is taken by a folder that is not empty: the final
    // rename fails, as a full disk or a lost medium would make a step fail.
    const fs::path dir = TempDir();
    const fs::path csv = dir / "taken.csv";
    fs::create_directories(csv);
    std::ofstream(csv / "inside") << "kept";
    sCaptureData d;
    for (auto& v : d.Values) v = {1, 2, 3};
    std::string error;
    EXPECT_FALSE(WriteCsv(csv.string(), d, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(Slurp(csv / "inside"), "kept");
    int entries = 0;
    for (const auto& e : fs::directory_iterator(dir)) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 1);
    fs::remove_all(dir);
}

TEST(CsvExport, UnwritableFolderFailsWithAReason) {
    sCaptureData d;
    std::string error;
    EXPECT_FALSE(WriteCsv("/nonexistent-zv/out.csv", d, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(WriteCsv("", d, &error));
}
