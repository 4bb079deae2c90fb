#include <gtest/gtest.h>

#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <utility>

#include "link/Protocol.h"

#include "formats/VehicleFile.h"

#include "tests/TestKit.h"

namespace fs = std::filesystem;

namespace {

sSettings Defaults() {  // what the reader makes of an empty file
    sSettings s;
    s.TPSClosedLevel = 0;
    s.TPSSwitchLevel = 51;
    s.TPSType = 1;
    s.RPMDiv = 1;
    s.LPGLevType = 0;
    s.MinRPMCode = 27;
    s.MaxRPMCode = 9;
    s.StepPosMin = 50;
    s.StepPosMax = 150;
    s.StepPosH0 = 100;
    s.StepPosH1 = 90;
    s.StepPosH2 = 80;
    s.LambdaType = 0;
    s.CylCount = 4;
    s.CoilCount = 1;
    return s;
}

sSettings Filled(uint8_t base) {  // every byte distinct
    sSettings s;
    for (int i = 0; i < 16; ++i) s[i] = uint8_t(base + 7 * i);
    return s;
}

using testkit::Slurp;

using TempDir = testkit::cTempDir;

// Resource limits and user changes stay out of the test runner.
using testkit::InChild;

}  // namespace

struct sReadCase {
    const char* Name;
    std::string Text;
    sSettings Expected;
};

class VehicleFileRead : public ::testing::TestWithParam<sReadCase> {};

TEST_P(VehicleFileRead, FieldByFieldWithDefaults) {
    sSettings rec = Filled(3);
    uint8_t reserved = rec.Reserved15;
    VehicleFile::Parse(GetParam().Text, rec);
    sSettings expected = GetParam().Expected;
    expected.Reserved15 = reserved;  // never stored in the file
    for (int i = 0; i < 16; ++i) EXPECT_EQ(int(rec[i]), int(expected[i])) << "position " << i;
}

static sSettings LettersInLine6() {
    sSettings s = Defaults();
    s.TPSClosedLevel = 10;
    s.TPSSwitchLevel = 20;
    s.TPSType = 0;
    s.RPMDiv = 2;
    s.LPGLevType = 3;
    return s;
}

static sSettings AllValues() {
    sSettings s;
    const int positions[15] = {2, 1, 3, 11, 12, 4, 5, 6, 7, 8, 9, 10, 0, 13, 14};
    for (int i = 0; i < 15; ++i) s[positions[i]] = uint8_t(i + 1);
    return s;
}

static sSettings MissingLine15() {
    sSettings s = AllValues();
    s.CylCount = 4;
    s.CoilCount = 1;
    return s;
}

static sSettings LowBits() {
    sSettings s = Defaults();
    s.TPSClosedLevel = 44;   // 300
    s.TPSSwitchLevel = 255;  // -1
    s.TPSType = 0;           // 256
    s.RPMDiv = 0x2A;         // 2^64 + 42: exact low bits of a huge number
    s.LPGLevType = 7;        // +7
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VehicleFileRead,
    ::testing::Values(
        sReadCase{"Empty", "", Defaults()}, sReadCase{"OnlyBlanks", " \r\n\t\r\n", Defaults()},
        sReadCase{"LettersInLine6", "10\r\n20\r\n0\r\n2\r\n3\r\nabc\r\n9\r\n1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\n",
                  LettersInLine6()},
        sReadCase{"OneLine", "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15", AllValues()},
        sReadCase{"UnixLineEnds", "1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n12\n13\n14\n15\n", AllValues()},
        sReadCase{"MissingLine15", "1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\n9\r\n10\r\n11\r\n12\r\n13\r\n14\r\n",
                  MissingLine15()},
        sReadCase{"ThirteenLines", "1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\n9\r\n10\r\n11\r\n12\r\n13\r\n",
                  MissingLine15()},
        sReadCase{"LowEightBits", "300\r\n-1\r\n256\r\n18446744073709551658\r\n+7\r\n", LowBits()},
        sReadCase{"LoneSignStops", "10\r\n20\r\n0\r\n2\r\n3\r\n- 5\r\n", LettersInLine6()},
        sReadCase{"TrailingText", "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 junk", AllValues()}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(VehicleFile, FormatIsFifteenCrLfLinesInFileOrder) {
    sSettings s = AllValues();
    EXPECT_EQ(VehicleFile::Format(s),
              "1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\n9\r\n10\r\n11\r\n12\r\n13\r\n14\r\n15\r\n");
    sSettings big;
    for (int i = 0; i < 16; ++i) big[i] = 255;
    EXPECT_EQ(VehicleFile::Format(big).find('-'), std::string::npos);
    EXPECT_NE(VehicleFile::Format(big).find("255\r\n"), std::string::npos);
}

TEST(VehicleFile, RoundTripGivesTheSameBytesAndSettings) {
    TempDir dir;
    fs::path a = dir.Path / "a.zv2", b = dir.Path / "b.zv2";
    sSettings s = Filled(200);  // wraps: values from 200 up through 0
    ASSERT_TRUE(VehicleFile::Write(a.string(), s));
    sSettings back = Filled(1);
    ASSERT_TRUE(VehicleFile::Read(a.string(), back));
    back.Reserved15 = s.Reserved15;
    EXPECT_EQ(back, s);
    ASSERT_TRUE(VehicleFile::Write(b.string(), back));
    EXPECT_EQ(Slurp(a), Slurp(b));
    // Writing the same settings over the file again gives identical bytes.
    std::string first = Slurp(a);
    ASSERT_TRUE(VehicleFile::Write(a.string(), s));
    EXPECT_EQ(Slurp(a), first);
    EXPECT_EQ(dir.Names().size(), 2u);  // no temporary files left
}

TEST(VehicleFile, ReadOfAMissingFileLeavesTheSettingsAlone) {
    TempDir dir;
    sSettings s = Filled(9), before = s;
    EXPECT_FALSE(VehicleFile::Read((dir.Path / "none.zv2").string(), s));
    EXPECT_EQ(s, before);
}

TEST(VehicleFile, ReplacingKeepsTheOldPermissions) {
    TempDir dir;
    fs::path p = dir.Path / "v.zv2";
    ASSERT_TRUE(VehicleFile::Write(p.string(), Filled(1)));
    fs::permissions(p, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_TRUE(VehicleFile::Write(p.string(), Filled(2)));
    EXPECT_EQ(fs::status(p).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST(VehicleFile, WriteThroughASymlinkReplacesItsTarget) {
    TempDir dir;
    fs::path real = dir.Path / "real.zv2", link = dir.Path / "link.zv2";
    ASSERT_TRUE(VehicleFile::Write(real.string(), Filled(1)));
    fs::create_symlink(real, link);
    ASSERT_TRUE(VehicleFile::Write(link.string(), Filled(2)));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Slurp(real), VehicleFile::Format(Filled(2)));
}

TEST(VehicleFile, UnwritableFolderFailsAndKeepsTheOldFile) {
    TempDir dir;
    fs::path p = dir.Path / "v.zv2";
    ASSERT_TRUE(VehicleFile::Write(p.string(), Filled(1)));
    std::string old = Slurp(p);
    fs::permissions(dir.Path, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                  fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    int status = InChild([&] {
        // root ignores folder permissions: run as an ordinary user instead
        if (::geteuid() == 0) {
            struct passwd* nobody = ::getpwnam("nobody");
            uid_t uid = nobody ? nobody->pw_uid : 65534;
            gid_t gid = nobody ? nobody->pw_gid : 65534;
            if (::setgid(gid) != 0 || ::setuid(uid) != 0) return 2;
        }
        std::string error;
        bool ok = VehicleFile::Write(p.string(), Filled(2), &error);
        return ok || error.empty() ? 1 : 0;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Slurp(p), old);
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"v.zv2"});
}

TEST(VehicleFile, WriteProtectedFileFailsAndStaysAsItWas) {
    TempDir dir;
    fs::path p = dir.Path / "v.zv2";
    ASSERT_TRUE(VehicleFile::Write(p.string(), Filled(1)));
    const std::string old = Slurp(p);
    fs::permissions(p, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    fs::permissions(dir.Path, fs::perms::all);  // the folder itself is writable
    int status = InChild([&] {
        if (::geteuid() == 0) {  // root may write anything: run as an ordinary user
            struct passwd* nobody = ::getpwnam("nobody");
            uid_t uid = nobody ? nobody->pw_uid : 65534;
            gid_t gid = nobody ? nobody->pw_gid : 65534;
            if (::setgid(gid) != 0 || ::setuid(uid) != 0) return 2;
        }
        std::string error;
        bool ok = VehicleFile::Write(p.string(), Filled(2), &error);
        return ok || error.empty() ? 1 : 0;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Slurp(p), old);
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"v.zv2"});
}

TEST(VehicleFile, FullDiskFailsAndKeepsTheOldFile) {
    TempDir dir;
    fs::path p = dir.Path / "v.zv2";
    sSettings small;
    for (int i = 0; i < 16; ++i) small[i] = 0;  // 45 bytes of file
    ASSERT_TRUE(VehicleFile::Write(p.string(), small));
    std::string old = Slurp(p);
    int status = InChild([&] {
        ::signal(SIGXFSZ, SIG_IGN);  // the write then fails with EFBIG
        struct rlimit lim {
            20, 20
        };
        if (::setrlimit(RLIMIT_FSIZE, &lim) != 0) return 2;
        sSettings big;
        for (int i = 0; i < 16; ++i) big[i] = 255;  // 75 bytes
        return VehicleFile::Write(p.string(), big) ? 1 : 0;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Slurp(p), old);
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"v.zv2"});
}

TEST(VehicleFile, MissingFolderFails) {
    TempDir dir;
    EXPECT_FALSE(VehicleFile::Write((dir.Path / "no" / "v.zv2").string(), Filled(1)));
    EXPECT_FALSE(VehicleFile::Write("", Filled(1)));
}

TEST(VehicleFile, TwelveUpdatesInSendingOrder) {
    sSettings s = Filled(10);
    auto u = VehicleFile::Updates(s);
    ASSERT_EQ(u.size(), 12u);
    const int params[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12};
    const int positions[12] = {0, 1, 4, 5, 6, 7, 8, 9, 10, 13, 14, 12};
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(u[i].Param(), params[i]);
        EXPECT_EQ(u[i].Value(), i == 1 ? Conv::TpsParamValue(s) : s[positions[i]]) << "param " << params[i];
    }
    // Parameter 1 goes by the throttle direction rule, as the configuration
    // screen sends it; a file without the counts sends neither of them.
    const struct {
        int Closed, Switch, Type, Param1;
    } tps[] = {{0, 121, 0, 1}, {200, 61, 1, 60}, {51, 100, 1, 101}, {51, 101, 1, 101}, {255, 150, 1, 150}};
    for (const auto& c : tps) {
        s.TPSClosedLevel = uint8_t(c.Closed);
        s.TPSSwitchLevel = uint8_t(c.Switch);
        s.TPSType = uint8_t(c.Type);
        EXPECT_EQ(VehicleFile::Updates(s)[1].Value(), c.Param1) << c.Closed << " " << c.Switch << " " << c.Type;
    }
    const auto without = VehicleFile::Updates(s, false);
    ASSERT_EQ(without.size(), 10u);
    for (const sUpdate& x : without)
        EXPECT_TRUE(x.Param() != P_CYL_COUNT && x.Param() != P_COIL_COUNT) << int(x.Param());
    EXPECT_EQ(without.back().Param(), 12);
}

// "Load from file" of an older file keeps the record's counts; a whole file
// and a damaged one (the reader's defaults) take the file's.
TEST(VehicleFile, AnOlderFileKeepsTheCounts) {
    const struct {
        const char* Text;
        bool Held;
        int Cyl, Coil;
    } cases[] = {
        {"0\r\n101\r\n1\r\n1\r\n1\r\n30\r\n12\r\n61\r\n141\r\n111\r\n96\r\n86\r\n2\r\n8\r\n4\r\n", true, 8, 4},
        {"0\r\n101\r\n1\r\n1\r\n1\r\n30\r\n12\r\n61\r\n141\r\n111\r\n96\r\n86\r\n2\r\n", false, 6, 3},
        {"0\n101\n1\n1\n1\n30\n12\n61\n141\n111\n96\n86\n2\n5\n", false, 6, 3},
    };
    for (const auto& c : cases) {
        sSettings rec;
        rec.CylCount = 6;
        rec.CoilCount = 3;
        EXPECT_EQ(VehicleFile::LoadText(c.Text, rec), c.Held) << c.Text;
        EXPECT_EQ(rec.CylCount, c.Cyl) << c.Text;
        EXPECT_EQ(rec.CoilCount, c.Coil) << c.Text;
        EXPECT_EQ(rec.StepPosMin, 61) << c.Text;
    }
}

// The strict check, as zvbasic-cli makes it before a write or a comparison
// (Exact) and the data transfer screen before it loads a file (Tolerant: the
// last line may lack its line end, empty lines after it are no fault): the
// first fault, by line, of files the lenient reader would take.
TEST(VehicleFileCheck, NamesTheFirstBadLine) {
    using F = VehicleFile::eLineFault;
    auto lines = [](int n, const char* end = "\r\n") {
        std::string s;
        for (int i = 0; i < n; ++i) s += std::to_string(i * 17) + end;
        return s;
    };
    std::string letters = lines(15);
    letters.replace(letters.find("85"), 2, "ab");  // line 6
    std::string cut = lines(6);
    cut.resize(cut.size() - 3);  // the file ends in the middle of line 6's number
    struct sOutcome {
        F Kind;
        int Line;
    };
    struct sCase {
        const char* Name;
        std::string Text;
        sOutcome Exact, Tolerant;
    } cases[] = {
        {"written by the program", lines(15), {F::None, 0}, {F::None, 0}},
        {"old file of 13 lines", lines(13), {F::None, 0}, {F::None, 0}},
        {"LF ends, no end after the last",
         lines(15, "\n").substr(0, lines(15, "\n").size() - 1),
         {F::NoLineEnd, 15},
         {F::None, 0}},
        {"empty lines after the last", lines(15) + "\r\n\r\n", {F::Extra, 16}, {F::None, 0}},
        {"leading zeros", "007\r\n" + lines(14), {F::None, 0}, {F::None, 0}},
        {"empty file", "", {F::Missing, 1}, {F::Missing, 1}},
        {"three lines", lines(3), {F::Missing, 4}, {F::Missing, 4}},
        {"cut in a number", cut, {F::NoLineEnd, 6}, {F::Missing, 7}},
        {"fourteen lines", lines(14), {F::Missing, 15}, {F::Missing, 15}},
        {"sixteen lines", lines(16), {F::Extra, 16}, {F::Extra, 16}},
        {"letters on line 6", letters, {F::NotANumber, 6}, {F::NotANumber, 6}},
        {"300", "300\r\n" + lines(14), {F::TooLarge, 1}, {F::TooLarge, 1}},
        {"1000 with zeros", "01000\r\n" + lines(14), {F::TooLarge, 1}, {F::TooLarge, 1}},
        {"minus one", lines(2) + "-1\r\n" + lines(12), {F::NotANumber, 3}, {F::NotANumber, 3}},
        {"a blank", lines(4) + " 5\r\n" + lines(10), {F::NotANumber, 5}, {F::NotANumber, 5}},
        {"an empty line inside", lines(7) + "\r\n" + lines(7), {F::NotANumber, 8}, {F::NotANumber, 8}},
        {"all on one line", "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15\r\n", {F::NotANumber, 1}, {F::NotANumber, 1}},
    };
    for (const sCase& c : cases) {
        for (const auto& [end, want] : {std::pair{VehicleFile::eFileEnd::Exact, c.Exact},
                                        std::pair{VehicleFile::eFileEnd::Tolerant, c.Tolerant}}) {
            const VehicleFile::sStrictCheck check = VehicleFile::CheckStrict(c.Text, end);
            const char* mode = end == VehicleFile::eFileEnd::Exact ? "exact" : "tolerant";
            EXPECT_EQ(check.Fault, want.Kind) << c.Name << ", " << mode;
            EXPECT_EQ(check.Line, want.Line) << c.Name << ", " << mode;
            EXPECT_EQ(check.WellFormed(), want.Kind == F::None) << c.Name << ", " << mode;
        }
    }
}
