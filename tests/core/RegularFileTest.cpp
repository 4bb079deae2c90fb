// Reading and writing only regular files: named pipes, devices and folders
// are refused at once, whoever holds their other end.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include "core/RegularFile.h"

#include "tests/TestKit.h"

namespace fs = std::filesystem;

namespace {

// A place in the temporary folder made into one kind of file.
struct sKind {
    const char* Name;
    std::function<std::string(const fs::path& dir)> Make;  // returns the path
    bool ReadOk;
    const char* ReadError;  // NotRegular, "long" or "" for the system's text
    bool WriteOk;
    const char* WriteError;  // as above
};

std::string Write(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
    return p.string();
}

std::string Fifo(const fs::path& dir) {
    const fs::path p = dir / "pipe.zv2";
    ::mkfifo(p.c_str(), 0600);
    return p.string();
}

const sKind kKinds[] = {
    {"small regular file", [](const fs::path& d) { return Write(d / "car.zv2", "1\r\n2\r\n"); }, true, "", true, ""},
    {"empty regular file", [](const fs::path& d) { return Write(d / "empty.zv2", ""); }, true, "", true, ""},
    {"file over the limit", [](const fs::path& d) { return Write(d / "big.zv2", std::string(101, '1')); }, false,
     "long", true, ""},
    {"named pipe nobody opened", Fifo, false, RegularFile::NotRegular, false, RegularFile::NotRegular},
    {"link to /dev/zero",
     [](const fs::path& d) {
         fs::create_symlink("/dev/zero", d / "zero.zv2");
         return (d / "zero.zv2").string();
     },
     false, RegularFile::NotRegular, false, RegularFile::NotRegular},
    {"/dev/null", [](const fs::path&) { return std::string("/dev/null"); }, false, RegularFile::NotRegular, false,
     RegularFile::NotRegular},
    {"folder", [](const fs::path& d) { return d.string(); }, false, RegularFile::NotRegular, false, ""},
    {"missing file", [](const fs::path& d) { return (d / "none.zv2").string(); }, false, "", true, ""},
};

class RegularFileKinds : public ::testing::TestWithParam<sKind> {};

void ExpectError(const std::string& error, const char* expected) {
    if (std::strcmp(expected, "long") == 0) EXPECT_EQ(error, "too long");
    else if (*expected) EXPECT_EQ(error, expected);
    else EXPECT_FALSE(error.empty());
}

}  // namespace

TEST_P(RegularFileKinds, ReadSmallTakesOnlyRegularFilesUnderTheLimit) {
    const sKind& kind = GetParam();
    testkit::cTempDir dir;
    const std::string path = kind.Make(dir.Path);
    std::string text = "old", error;
    const bool ok = RegularFile::ReadSmall(path, 100, text, error, "too long");
    EXPECT_EQ(ok, kind.ReadOk) << error;
    if (!ok) ExpectError(error, kind.ReadError);
}

TEST_P(RegularFileKinds, OpenForWritingTakesOnlyRegularFiles) {
    const sKind& kind = GetParam();
    testkit::cTempDir dir;
    const std::string path = kind.Make(dir.Path);
    std::string error;
    const int fd = RegularFile::OpenForWriting(path, error);
    EXPECT_EQ(fd >= 0, kind.WriteOk) << error;
    if (fd < 0) {
        ExpectError(error, kind.WriteError);
        return;
    }
    // Opened from its start: an old file is emptied.
    struct stat st {};
    ASSERT_EQ(::fstat(fd, &st), 0);
    EXPECT_EQ(st.st_size, 0);
    EXPECT_EQ(::write(fd, "x", 1), 1);
    ::close(fd);
    EXPECT_EQ(testkit::Slurp(path), "x");
}

INSTANTIATE_TEST_SUITE_P(Kinds, RegularFileKinds, ::testing::ValuesIn(kKinds),
                         [](const ::testing::TestParamInfo<sKind>& info) {
                             std::string name;
                             for (const char* c = info.param.Name; *c; ++c)
                                 name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                             return name;
                         });

// A named pipe whose other end another program holds: still no file, and
// nothing is read from it or written into it.
TEST(RegularFile, PipeWithAReaderOrWriterIsRefusedToo) {
    testkit::cTempDir dir;
    const std::string path = Fifo(dir.Path);
    const int reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const int writer = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(::write(writer, "1\r\n", 3), 3);
    std::string text, error;
    EXPECT_FALSE(RegularFile::ReadSmall(path, 100, text, error, "too long"));
    EXPECT_EQ(error, RegularFile::NotRegular);
    EXPECT_EQ(RegularFile::OpenForWriting(path, error), -1);
    EXPECT_EQ(error, RegularFile::NotRegular);
    char got[8] = {};
    EXPECT_EQ(::read(reader, got, sizeof got), 3) << "the pipe's bytes were taken";
    ::close(writer);
    ::close(reader);
}
