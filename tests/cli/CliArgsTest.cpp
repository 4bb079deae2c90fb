// The command line of zvbasic-cli.
#include <gtest/gtest.h>

#include "cli/CliArgs.h"

namespace {

sCliArgs Parse(std::vector<std::string> args) {
    sCliArgs out;
    std::string error;
    EXPECT_TRUE(ParseCliArgs(args, out, error)) << error;
    return out;
}

std::string Refused(std::vector<std::string> args) {
    sCliArgs out;
    std::string error;
    EXPECT_FALSE(ParseCliArgs(args, out, error));
    return error;
}

}  // namespace

TEST(CliArgs, TakesEachCommandWithItsArguments) {
    sCliArgs a = Parse({"--port", "/dev/ttyUSB0", "--json", "--quiet", "read", "-o", "car.zv2"});
    EXPECT_EQ(a.Port, "/dev/ttyUSB0");
    EXPECT_TRUE(a.Json);
    EXPECT_TRUE(a.Quiet);
    EXPECT_EQ(a.Command, "read");
    EXPECT_EQ(a.File, "car.zv2");

    a = Parse({"write", "car.zv2", "--no-store", "--port=/dev/ttyS1"});
    EXPECT_EQ(a.Command, "write");
    EXPECT_EQ(a.File, "car.zv2");
    EXPECT_TRUE(a.NoStore);
    EXPECT_EQ(a.Port, "/dev/ttyS1");

    a = Parse({"live", "--count", "5", "--csv"});
    EXPECT_EQ(a.Count, 5);
    EXPECT_TRUE(a.Csv);
    a = Parse({"capture", "drive.dat", "--seconds", "2.5"});
    EXPECT_EQ(a.File, "drive.dat");
    EXPECT_DOUBLE_EQ(a.Seconds, 2.5);
    EXPECT_TRUE(Parse({"factory", "--yes"}).Yes);
    EXPECT_TRUE(Parse({"backups", "--latest"}).Latest);
    EXPECT_TRUE(Parse({"--no-backup", "write", "car.zv2"}).NoBackup);
    EXPECT_EQ(Parse({"read"}).File, "");  // no -o: the table
    EXPECT_TRUE(Parse({"--help"}).Help);
    // A file name may start like a number or be "-"-free but odd.
    EXPECT_EQ(Parse({"diff", "2024 car.zv2"}).File, "2024 car.zv2");
}

TEST(CliArgs, RefusesWhatIsMissingMisplacedOrUnknown) {
    EXPECT_EQ(Refused({}), "no command given");
    EXPECT_EQ(Refused({"erase"}), "unknown command 'erase'");
    EXPECT_EQ(Refused({"read", "--force"}), "unknown option '--force'");
    EXPECT_EQ(Refused({"write"}), "write needs exactly one file name");
    EXPECT_EQ(Refused({"diff", "a.zv2", "b.zv2"}), "diff needs exactly one file name");
    EXPECT_EQ(Refused({"identify", "now"}), "identify takes no argument 'now'");
    EXPECT_EQ(Refused({"--port"}), "--port needs a value");
    EXPECT_EQ(Refused({"--port=", "read"}), "--port needs a device name");
    EXPECT_EQ(Refused({"read", "-o"}), "-o needs a file name");
    EXPECT_EQ(Refused({"write", "a.zv2", "-o", "b.zv2"}), "-o does not go with write");
    EXPECT_EQ(Refused({"read", "--no-store"}), "--no-store does not go with read");
    EXPECT_EQ(Refused({"write", "a.zv2", "--yes"}), "--yes does not go with write");
    EXPECT_EQ(Refused({"capture", "a.dat", "--count", "3"}), "--count does not go with capture");
    EXPECT_EQ(Refused({"live", "--seconds", "3"}), "--seconds does not go with live");
    EXPECT_EQ(Refused({"read", "--latest"}), "--latest does not go with read");
    EXPECT_EQ(Refused({"backups", "old"}), "backups takes no argument 'old'");
    EXPECT_EQ(Refused({"--json", "live", "--csv"}), "--csv and --json do not go together");
    EXPECT_EQ(Refused({"--json", "capture", "-"}),
              "capture - (the records on standard output) and --json do not go together");
}

TEST(CliArgs, CountsAndSecondsMustBePositiveNumbers) {
    for (const char* bad : {"0", "-3", "3x", "", "1e3", "99999999999999999999"})
        EXPECT_NE(Refused({"live", "--count", bad}).find("--count needs a whole number above 0"), std::string::npos)
            << bad;
    for (const char* bad : {"0", "-1", "soon", "inf", "nan", "1e999"})
        EXPECT_NE(Refused({"capture", "a.dat", "--seconds", bad}).find("--seconds needs a number above 0"),
                  std::string::npos)
            << bad;
}
