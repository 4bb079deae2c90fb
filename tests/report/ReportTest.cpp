// The fitting report's content: which settings each ECU version lists, the
// before and now values in the language in force with the changed ones
// marked, the identity taken from a backup's name, and the drive figures.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/Translate.h"

#include "formats/CaptureData.h"
#include "formats/SettingsText.h"

#include "report/Report.h"

namespace {

std::string BinDir() {
    const char* bin = std::getenv("ZV_BIN_DIR");
    return bin ? bin : ".";
}

class ReportContent : public ::testing::Test {
protected:
    void SetUp() override { Translate::Init(BinDir() + "/locale"); }
    void TearDown() override { Translate::SetLanguage("en"); }
};

std::vector<int> Positions(const Report::sContent& c) {
    std::vector<int> out;
    for (const Report::sRow& r : c.Rows) out.push_back(r.Position);
    return out;
}

}  // namespace

TEST_F(ReportContent, EachVersionListsItsSettingsAndMarksExactlyTheChangedOnes) {
    struct sCase {
        int IdVersion, Version;
        std::vector<int> Positions;
    };
    const sCase cases[] = {
        {0x25, 0x16, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},          // 22: no level sensor, speed source
        {0x25, 0x2F, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}},      // 47: the old protocol
        {0x25, 0x30, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12, 13, 14}},  // 48: counts, no speed source
        {-1, -1, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}},  // two files: every setting
    };
    // Changes at the first and last positions and one in between, and a
    // change at a position the version does not carry (never marked).
    const int changed[] = {0, 6, 14, 15};
    for (const sCase& c : cases) {
        Report::sInput in;
        in.IdVersion = c.IdVersion;
        in.Version = c.Version;
        for (int pos : changed) in.Now[pos] = uint8_t(in.Before[pos] + 1);
        const Report::sContent content = Report::Build(in);
        EXPECT_EQ(Positions(content), c.Positions) << c.Version;
        int marked = 0;
        for (const Report::sRow& r : content.Rows) {
            const bool want = r.Position == 0 || r.Position == 6 || r.Position == 14;
            EXPECT_EQ(r.Changed, want) << c.Version << " " << r.Field;
            EXPECT_EQ(r.BeforeRaw, in.Before[r.Position]);
            EXPECT_EQ(r.NowRaw, in.Now[r.Position]);
            marked += r.Changed;
        }
        EXPECT_EQ(content.ChangedCount, marked);
        EXPECT_EQ(content.Identity.empty(), c.Version < 0);
    }
}

TEST_F(ReportContent, ValuesAreShownWithUnitsAndListTextsInEveryLanguage) {
    sSettings rec;
    rec.LambdaType = 8;        // no sensor
    rec.TPSSwitchLevel = 101;  // volts
    rec.TPSType = 7;           // outside its list
    rec.MinRPMCode = 27;
    rec.MaxRPMCode = 0;  // inactive
    rec.RPMDiv = 2;      // "one coil          (x0,5)"
    rec.LPGLevType = 5;  // six types from 55
    struct sCase {
        const char* Language;
        int Position;
        const char* Key;   // the list or unit text, translated
        const char* Tail;  // what follows it
    };
    const sCase cases[] = {
        {"de", 0, "No sensor", ""},        {"pl", 0, "No sensor", ""},      {"ru", 0, "No sensor", ""},
        {"en", 0, "No sensor", ""},        {"de", 5, "Inactive", ""},       {"ru", 5, "Inactive", ""},
        {"pl", 11, "one coil (x0,5)", ""}, {"en", 12, "Lovato 90 ohm", ""}, {"ru", 12, "Lovato 90 ohm", ""},
    };
    for (const sCase& c : cases) {
        Translate::SetLanguage(c.Language);
        std::string want = c.Key;
        if (c.Position == 11) want = _(SettingsText::RpmSources[2]);
        else want = _(c.Key);
        // Runs of blanks that line up a list on the screen are one blank on paper.
        std::string collapsed;
        for (char ch : want)
            if (ch != ' ' || (!collapsed.empty() && collapsed.back() != ' ')) collapsed += ch;
        if (c.Language != std::string("en") && c.Position != 12) {
            EXPECT_NE(collapsed, c.Key) << c.Language << ": not translated";
        }
        EXPECT_EQ(Report::ValueText(rec, 0x37, c.Position), collapsed + c.Tail) << c.Language << " " << c.Position;
        EXPECT_EQ(collapsed.find("  "), std::string::npos);
    }
    Translate::SetLanguage("ru");
    EXPECT_EQ(Report::ValueText(rec, 0x30, 1), "1.98 V");
    EXPECT_EQ(Report::ValueText(rec, 0x30, 3), "7");  // a list value outside its list as its number
    EXPECT_EQ(Report::ValueText(rec, 0x30, 4), std::string("2000 ") + _("RPM"));
    EXPECT_EQ(Report::ValueText(rec, 0x30, 12), "5");  // two types only below 55
}

TEST_F(ReportContent, RowNamesAreOneLineAndUniqueInEveryLanguage) {
    for (const char* language : {"en", "de", "pl", "ru"}) {
        Translate::SetLanguage(language);
        const Report::sContent c = Report::Build(Report::sInput{});
        ASSERT_EQ(c.Rows.size(), 15u);
        for (size_t i = 0; i < c.Rows.size(); ++i) {
            const std::string& name = c.Rows[i].Name;
            EXPECT_FALSE(name.empty()) << language << " " << c.Rows[i].Field;
            EXPECT_EQ(name.find('\n'), std::string::npos) << language << " " << name;
            EXPECT_NE(name.back(), ':') << language << " " << name;
            for (size_t j = 0; j < i; ++j) EXPECT_NE(name, c.Rows[j].Name) << language;
        }
    }
}

TEST_F(ReportContent, TheIdentityComesFromABackupsName) {
    struct sCase {
        const char* Text;
        bool Ok;
        int Id, Version;
    };
    const sCase cases[] = {
        {"2.5/3.0", true, 0x25, 0x30}, {"0.0/F.F", true, 0x00, 0xFF},
        {"2.5/3.7", true, 0x25, 0x37}, {"2.5-3.0", false, 0, 0},
        {"25/30", false, 0, 0},        {"2.5/3.0 ", false, 0, 0},
        {"2.5/3.g", false, 0, 0},      {"", false, 0, 0},
    };
    for (const sCase& c : cases) {
        int id = -1, version = -1;
        EXPECT_EQ(Report::ParseIdentity(c.Text, id, version), c.Ok) << c.Text;
        if (!c.Ok) continue;
        EXPECT_EQ(id, c.Id) << c.Text;
        EXPECT_EQ(version, c.Version) << c.Text;
    }
}

TEST_F(ReportContent, TheDriveGivesItsRecordsDurationAndRichShare) {
    // Lambda on the rich threshold is not rich; just above it is.
    const std::string text =
        "\"TPS\" \"LAMBDA\" \"RPM\" \"VALVE\"\r\n"
        "\"1.000000\",\"0.450000\",\"800.000000\",\"40.000000\"\r\n"
        "\"2.000000\",\"0.450001\",\"2500.000000\",\"90.000000\"\r\n"
        "\"4.500000\",\"0.900000\",\"4100.000000\",\"120.000000\"\r\n"
        "\"0.500000\",\"0.100000\",\"900.000000\",\"30.000000\"\r\n";
    // The time is the capture's own (its writer's last line); a capture
    // without it (an older one, one cut by a power loss) has no known time,
    // whatever the ECU: the polling cycle says nothing of it.
    for (const bool timed : {false, true}) {
        const Capture::sCaptureData d = Capture::ParseCapture(text + (timed ? "\"SECONDS\" \"20.000000\"\r\n" : ""));
        Report::sInput in;
        in.Drive = &d;
        in.DriveFile = "/tmp/a folder/drive.dat";
        for (int version : {-1, 0x30}) {
            in.IdVersion = in.Version = version;
            const Report::sContent c = Report::Build(in);
            ASSERT_TRUE(c.HasDrive);
            EXPECT_EQ(c.Drive.File, "drive.dat");
            EXPECT_EQ(c.Drive.Records, 4u);
            EXPECT_EQ(c.Drive.Rich, 2u);
            EXPECT_DOUBLE_EQ(c.Drive.RichShare, 0.5);
            EXPECT_FLOAT_EQ(c.Drive.RpmMax, 4100);
            EXPECT_FLOAT_EQ(c.Drive.ValveMin, 30);
            EXPECT_FLOAT_EQ(c.Drive.ValveMax, 120);
            EXPECT_EQ(c.Drive.TimeKnown, timed);
            EXPECT_DOUBLE_EQ(c.Drive.Seconds, timed ? 20 : 0);
            EXPECT_DOUBLE_EQ(c.Drive.SecondsPerRecord, timed ? 5 : 0);
            // A time not known is no time of 0 s.
            const std::string json = Report::Json(c);
            EXPECT_EQ(json.find("\"seconds\":null") != std::string::npos, !timed) << json;
            EXPECT_EQ(json.find("\"seconds\":20.0,") != std::string::npos, timed) << json;
        }
    }
    // The seconds the ECU was away (a gap line) stay in the drive's
    // duration but are no record's time.
    {
        const Capture::sCaptureData d = Capture::ParseCapture(
            text + "\"GAP\" \"12.000000\"\r\n" + "\"0.500000\",\"0.100000\",\"900.000000\",\"30.000000\"\r\n" +
            "\"SECONDS\" \"22.000000\"\r\n");
        Report::sInput in;
        in.Drive = &d;
        const Report::sContent c = Report::Build(in);
        EXPECT_DOUBLE_EQ(c.Drive.SecondsPerRecord, 2);
        const std::string json = Report::Json(c);
        EXPECT_NE(json.find("\"seconds\":22.0,\"gaps\":1,\"gap_seconds\":12.0,"), std::string::npos) << json;
    }
    struct sDuration {
        double Seconds;
        const char* Text;
    };
    for (const sDuration& t : {sDuration{0, "0:00"},
                               {59.4, "0:59"},
                               {59.6, "1:00"},
                               {3599, "59:59"},
                               {3600, "1:00:00"},
                               {-1, "0:00"},
                               {90061, "25:01:01"}})
        EXPECT_EQ(Report::DurationText(t.Seconds), t.Text) << t.Seconds;
}

TEST_F(ReportContent, JsonCarriesEveryRowAndEscapesTheFittersText) {
    Report::sInput in;
    in.IdVersion = 0x25;
    in.Version = 0x30;
    in.Now.StepPosMin = 77;
    in.Vehicle = "AB \"12\"\n3";
    in.BeforeFile = "/home/x/2026-12-08_14-03-27+0100_ECU-2.5-3.0.zv2";
    const std::string json = Report::Json(Report::Build(in));
    EXPECT_NE(json.find("\"vehicle\":\"AB \\\"12\\\"\\n3\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"fitter\":null"), std::string::npos) << json;
    EXPECT_NE(json.find("\"before_file\":\"2026-12-08_14-03-27+0100_ECU-2.5-3.0.zv2\""), std::string::npos) << json;
    EXPECT_NE(json.find("{\"field\":\"StepPosMin\",\"name\":\"Valve minimal open\",\"before_raw\":50,\"before\":"
                        "\"50\",\"now_raw\":77,\"now\":\"77\",\"changed\":true}"),
              std::string::npos)
        << json;
    EXPECT_NE(json.find("\"changed\":1,"), std::string::npos) << json;
    EXPECT_NE(json.find("\"drive\":null}\n"), std::string::npos) << json;
}
