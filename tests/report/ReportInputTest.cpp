// What the report is made from, judged once for the screen and the command
// line: the vehicle files of its columns, the identity in a backup's name,
// the capture of the drive by the viewer's rule, and the backups that may
// hold the settings before the job.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "core/RegularFile.h"

#include "formats/VehicleFile.h"

#include "report/ReportInput.h"

#include "tests/TestKit.h"

namespace fs = std::filesystem;
using ReportInput::eFault;

namespace {

const char* const kWhole = "51\r\n101\r\n1\r\n1\r\n1\r\n27\r\n0\r\n50\r\n150\r\n100\r\n90\r\n80\r\n2\r\n4\r\n1\r\n";
const char* const kHeader = "\"TPS\" \"LAMBDA\" \"RPM\" \"VALVE\"\r\n";
const char* const kRecord = "\"1.000000\",\"0.450000\",\"800.000000\",\"40.000000\"\r\n";

}  // namespace

TEST(ReportInput, VehicleFilesAreTakenOnlyWhole) {
    testkit::cTempDir tmp;
    const struct {
        const char* Case;
        std::string Text;
        eFault Fault;
        int Line;
    } cases[] = {
        {"whole", kWhole, eFault::None, 0},
        {"last line without its end", std::string(kWhole).substr(0, std::string(kWhole).size() - 2), eFault::None, 0},
        {"a letter", std::string(kWhole).replace(4, 3, "x"), eFault::Damaged, 2},
        {"cut short", "51\r\n101\r\n", eFault::Damaged, 3},
        {"too long", std::string(5000, '1'), eFault::CannotRead, 0},
    };
    for (const auto& c : cases) {
        const std::string path = (tmp.Path / "v.zv2").string();
        std::ofstream(path, std::ios::binary | std::ios::trunc) << c.Text;
        sSettings rec{};
        ReportInput::sFault fault;
        EXPECT_EQ(ReportInput::ReadSettings(path, rec, fault), c.Fault == eFault::None) << c.Case;
        EXPECT_EQ(fault.Fault, c.Fault) << c.Case;
        EXPECT_EQ(fault.Line, c.Line) << c.Case;
        if (c.Fault == eFault::None) {
            EXPECT_EQ(rec.StepPosMin, 50) << c.Case;
        }
    }
    sSettings rec{};
    ReportInput::sFault fault;
    EXPECT_FALSE(ReportInput::ReadSettings((tmp.Path / "missing.zv2").string(), rec, fault));
    EXPECT_EQ(fault.Fault, eFault::CannotRead);
    EXPECT_FALSE(fault.Detail.empty());
}

TEST(ReportInput, TheIdentityComesFromABackupsNameOnly) {
    const struct {
        const char* Path;
        int Id, Version;  // -1: no identity
    } cases[] = {
        {"/b/2026-12-08_14-03-27+0100_ECU-2.5-3.0.zv2", 0x25, 0x30},
        {"2026-12-08_14-03-27_ECU-2.5-1.6_2.zv2", 0x25, 0x16},
        {"/b/2099-13-45_99-99-99+9999_ECU-2.5-3.0.zv2", -1, -1},
        {"/b/2026-12-08_14-03-27+0100_ECU-junk.zv2", -1, -1},
        {"/b/car.zv2", -1, -1},
    };
    for (const auto& c : cases) {
        int id = -1, version = -1;
        EXPECT_EQ(ReportInput::IdentityOfName(c.Path, id, version), c.Id >= 0) << c.Path;
        EXPECT_EQ(id, c.Id) << c.Path;
        EXPECT_EQ(version, c.Version) << c.Path;
    }
}

// The viewer's rule: a last line cut off is left out and told; any other
// line that is no record, or no record at all, is no capture for a report.
TEST(ReportInput, ADriveIsEveryRecordOfACapture) {
    testkit::cTempDir tmp;
    const std::string r = kRecord;
    const struct {
        const char* Case;
        std::string Text;
        eFault Fault;
        bool Cut;
        size_t Records;
    } cases[] = {
        {"whole", kHeader + r + r, eFault::None, false, 2},
        {"closed with its time", kHeader + r + r + "\"SECONDS\" \"0.700000\"\r\n", eFault::None, false, 2},
        {"cut by a power loss", kHeader + r + r + "\"1.000000\",\"0.4", eFault::None, true, 2},
        {"last record without its line end", kHeader + r + r.substr(0, r.size() - 2), eFault::None, false, 2},
        {"a line inside that is no record", kHeader + r + "garbage\r\n" + r, eFault::NotACapture, false, 2},
        {"garbage, then cut", kHeader + r + "garbage\r\n" + "\"1.0", eFault::NotACapture, true, 1},
        {"the header alone", kHeader, eFault::NoRecords, false, 0},
        {"a text file", "dear customer\r\n", eFault::NotACapture, false, 0},
    };
    for (const auto& c : cases) {
        const std::string path = (tmp.Path / "d.dat").string();
        std::ofstream(path, std::ios::binary | std::ios::trunc) << c.Text;
        Capture::sCaptureData d;
        ReportInput::sFault fault;
        bool cut = true;
        EXPECT_EQ(ReportInput::ReadDrive(path, d, fault, cut), c.Fault == eFault::None) << c.Case;
        EXPECT_EQ(fault.Fault, c.Fault) << c.Case;
        EXPECT_EQ(cut, c.Cut) << c.Case;
        EXPECT_EQ(d.Records(), c.Records) << c.Case;
    }
    const std::string fifo = (tmp.Path / "pipe.dat").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    Capture::sCaptureData d;
    ReportInput::sFault fault;
    bool cut = false;
    EXPECT_FALSE(ReportInput::ReadDrive(fifo, d, fault, cut));
    EXPECT_EQ(fault.Fault, eFault::CannotRead);
    EXPECT_EQ(fault.Detail, RegularFile::NotRegular);
}

// Every backup of the identity older than now may be the car before the
// job, newest first; other identities, later backups, now's own file and
// junk never are.
TEST(ReportInput, TheCandidatesForBeforeAreTheOlderBackupsOfTheIdentity) {
    testkit::cTempDir tmp;
    const std::string folder = tmp.Path.string();
    const char* const names[] = {
        "2026-12-07_16-00-00+0100_ECU-2.5-3.0.zv2",    // the day before
        "2026-12-08_09-00-00+0100_ECU-2.5-3.0.zv2",    // this morning
        "2026-12-08_09-30-00+0100_ECU-2.5-3.7.zv2",    // another ECU model
        "2026-12-08_10-00-00+0100_ECU-2.5-3.0.zv2",    // now
        "2026-12-08_10-00-00+0100_ECU-2.5-3.0_2.zv2",  // later in the same second
        "2026-12-08_11-00-00+0100_ECU-2.5-3.0.zv2",    // later
    };
    for (const char* n : names) std::ofstream(tmp.Path / n, std::ios::binary) << kWhole;
    std::ofstream(tmp.Path / "2026-12-08_08-00-00+0100_ECU-2.5-3.0.zv2", std::ios::binary) << "junk\r\n";
    std::ofstream(tmp.Path / "2026-02-30_08-00-00+0100_ECU-2.5-3.0.zv2", std::ios::binary) << kWhole;
    const auto names_of = [](const std::vector<ReportInput::sCandidate>& list) {
        std::vector<std::string> out;
        for (const auto& c : list) out.push_back(c.Entry.Name);
        return out;
    };
    const std::string now = folder + "/2026-12-08_10-00-00+0100_ECU-2.5-3.0.zv2";
    const auto list = ReportInput::BeforeCandidates(folder, 0x25, 0x30, now);
    EXPECT_EQ(names_of(list), (std::vector<std::string>{"2026-12-08_09-00-00+0100_ECU-2.5-3.0.zv2",
                                                        "2026-12-07_16-00-00+0100_ECU-2.5-3.0.zv2"}));
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list[0].Settings.StepPosMax, 150);
    // Now the newest backup: every older one; now read from the ECU: all.
    EXPECT_EQ(ReportInput::BeforeCandidates(folder, 0x25, 0x30, folder + "/" + names[5]).size(), 4u);
    EXPECT_EQ(ReportInput::BeforeCandidates(folder, 0x25, 0x30, "").size(), 5u);
}
