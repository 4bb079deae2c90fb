// What zvbasic-cli compares and prints: the settings an ECU holds after a
// vehicle file was written to it, differences, names and JSON.
#include <gtest/gtest.h>

#include "formats/SettingsText.h"

#include "cli/CliFormat.h"

using CliFormat::ExpectedReadBack;

namespace {

// A file's settings unlike the defaults in every field.
sSettings FileSettings() {
    sSettings f;
    f.LambdaType = 2;
    f.TPSSwitchLevel = 100;
    f.TPSClosedLevel = 200;  // falling sensor
    f.TPSType = 1;
    f.MinRPMCode = 30;
    f.MaxRPMCode = 11;
    f.StepPosMin = 40;
    f.StepPosMax = 160;
    f.StepPosH0 = 120;
    f.StepPosH1 = 110;
    f.StepPosH2 = 100;
    f.RPMDiv = 2;
    f.LPGLevType = 3;
    f.CylCount = 6;
    f.CoilCount = 3;
    f.Reserved15 = 9;
    return f;
}

}  // namespace

TEST(CliReadBack, OldEcuHoldsTheWholeBlockAfterTheDirectionRule) {
    const sSettings before;  // as read: defaults
    const sSettings got = ExpectedReadBack(before, FileSettings(), 47);
    EXPECT_EQ(got.TPSSwitchLevel, 100);  // falling: bit 0 clear
    EXPECT_EQ(got.TPSClosedLevel, 255);  // rebuilt as a read rebuilds it
    EXPECT_EQ(got.MinRPMCode, 30);
    EXPECT_EQ(got.RPMDiv, 2);
    EXPECT_EQ(got.LPGLevType, 3);
    // Not carried by an old ECU: as before.
    EXPECT_EQ(got.CylCount, before.CylCount);
    EXPECT_EQ(got.CoilCount, before.CoilCount);
    EXPECT_EQ(got.Reserved15, before.Reserved15);

    // Version 22 has no level sensor setting.
    EXPECT_EQ(ExpectedReadBack(before, FileSettings(), 22).LPGLevType, before.LPGLevType);
    // A rising sensor gets bit 0 set; no sensor is written as 1.
    sSettings rising = FileSettings();
    rising.TPSClosedLevel = 10;
    EXPECT_EQ(ExpectedReadBack(before, rising, 47).TPSSwitchLevel, 101);
    sSettings none = FileSettings();
    none.TPSType = 0;
    const sSettings noneGot = ExpectedReadBack(before, none, 47);
    EXPECT_EQ(noneGot.TPSSwitchLevel, 1);
    EXPECT_EQ(noneGot.TPSType, 0);
}

// Below 25 a speed from 128 loses its top bit on the way (doubled in 8 bits
// 200 is 144, halved back 72): the file's own value is expected, so the
// loss shows as a difference instead of agreeing with itself; write refuses
// such a file first.
TEST(CliReadBack, BelowVersion25ASpeedIsExpectedAsTheFileGivesIt) {
    sSettings f = FileSettings();
    f.MinRPMCode = 200;
    f.MaxRPMCode = 60;
    const sSettings got = ExpectedReadBack(sSettings{}, f, 24);
    EXPECT_EQ(got.MinRPMCode, 200);
    EXPECT_EQ(got.MaxRPMCode, 60);
    EXPECT_EQ(ExpectedReadBack(sSettings{}, f, 25).MinRPMCode, 200);
    EXPECT_NE(CliFormat::UnholdableValue(f, 24).find("line 6: 200 is above 127"), std::string::npos);
    f.MinRPMCode = 127;
    EXPECT_EQ(CliFormat::UnholdableValue(f, 24), "");
    f.MaxRPMCode = 128;
    EXPECT_NE(CliFormat::UnholdableValue(f, 24).find("line 7: 128"), std::string::npos);
    EXPECT_EQ(CliFormat::UnholdableValue(f, 25), "");
}

TEST(CliReadBack, NewEcuHoldsTheTwelveUpdatesAsLoaded) {
    sSettings before;
    before.Reserved15 = 7;
    before.RPMDiv = 0;
    const sSettings got = ExpectedReadBack(before, FileSettings(), 48);
    EXPECT_EQ(got.TPSSwitchLevel, 100);  // falling: bit 0 clear...
    EXPECT_EQ(got.TPSClosedLevel, 255);  // ...and rebuilt from it
    EXPECT_EQ(got.CylCount, 6);
    EXPECT_EQ(got.CoilCount, 3);
    EXPECT_EQ(got.LPGLevType, 3);
    EXPECT_EQ(got.RPMDiv, 0);      // no such parameter from 48
    EXPECT_EQ(got.Reserved15, 7);  // read only
    // The throttle goes by the direction rule, as the configuration screen
    // sends it, and what the ECU makes of it is compared: an ECU holding a
    // rising sensor at 121 differs from each of these files.
    sSettings ecu = before;
    Conv::RebuildTps(ecu, 121);
    const struct {
        int Closed, Switch, Type;
        int Switch48, Closed48, Type48;
    } tps[] = {
        {0, 121, 0, 1, 0, 0},      // not connected: 1
        {200, 61, 1, 60, 255, 1},  // falling: bit 0 clear
        {10, 100, 1, 101, 0, 1},   // rising: bit 0 set
        {0, 120, 1, 121, 0, 1},    // rising at 120 is what the ECU holds
    };
    for (const auto& c : tps) {
        sSettings f = FileSettings();
        f.TPSClosedLevel = uint8_t(c.Closed);
        f.TPSSwitchLevel = uint8_t(c.Switch);
        f.TPSType = uint8_t(c.Type);
        const sSettings held = ExpectedReadBack(ecu, f, 48);
        EXPECT_EQ(held.TPSSwitchLevel, c.Switch48) << c.Closed << "/" << c.Switch << "/" << c.Type;
        EXPECT_EQ(held.TPSClosedLevel, c.Closed48) << c.Closed << "/" << c.Switch << "/" << c.Type;
        EXPECT_EQ(held.TPSType, c.Type48) << c.Closed << "/" << c.Switch << "/" << c.Type;
        bool throttleDiffers = false;
        for (const auto& d : CliFormat::Differences(held, ecu)) throttleDiffers |= d.Position >= 1 && d.Position <= 3;
        EXPECT_EQ(throttleDiffers, c.Switch48 != 121) << c.Closed << "/" << c.Switch << "/" << c.Type;
    }
}

TEST(CliReadBack, AnEcuThatHoldsTheFileShowsNoDifference) {
    for (int version : {22, 24, 47, 48, 60}) {
        const sSettings held = ExpectedReadBack(sSettings{}, FileSettings(), version);
        EXPECT_TRUE(CliFormat::Differences(ExpectedReadBack(held, FileSettings(), version), held).empty()) << version;
        sSettings changed = held;
        changed.StepPosH2 = 99;
        const auto diffs = CliFormat::Differences(ExpectedReadBack(changed, FileSettings(), version), changed);
        ASSERT_EQ(diffs.size(), 1u) << version;
        EXPECT_EQ(diffs[0].Position, 10);
        EXPECT_EQ(diffs[0].Expected, 100);
        EXPECT_EQ(diffs[0].Actual, 99);
    }
}

TEST(CliText, SettingNamesAreTheScreensLabelsOnOneLine) {
    EXPECT_EQ(SettingsText::PlainName("Throttle\nopen\nlow\nspeed"), "Throttle open low speed");
    EXPECT_EQ(SettingsText::PlainName("Gas switch on rotation speed:"), "Gas switch on rotation speed");
    EXPECT_EQ(SettingsText::PlainName("  F6  Throttle closed"), "Throttle closed");
    EXPECT_EQ(SettingsText::PlainName(" TPS "), "TPS");
    EXPECT_EQ(SettingsText::PlainName("Fuel"), "Fuel");  // F not followed by a digit stays
}

TEST(CliText, RowsFollowTheVersionAndShowValuesInTheirUnits) {
    sSettings s;
    s.LambdaType = 8;
    s.MaxRPMCode = 0;
    s.LPGLevType = 4;
    auto names = [](const std::vector<SettingsText::sRow>& rows) {
        std::vector<std::string> out;
        for (const auto& r : rows) out.push_back(r.Field);
        return out;
    };
    const auto old22 = SettingsText::Rows(s, 22);
    EXPECT_EQ(names(old22), (std::vector<std::string>{"LambdaType", "TPSSwitchLevel", "TPSClosedLevel", "TPSType",
                                                      "MinRPMCode", "MaxRPMCode", "StepPosMin", "StepPosMax",
                                                      "StepPosH0", "StepPosH1", "StepPosH2", "RPMDiv"}));
    EXPECT_EQ(SettingsText::Rows(s, 47).size(), 13u);  // + level sensor
    const auto now = names(SettingsText::Rows(s, 55));
    EXPECT_EQ(now.back(), "CoilCount");
    EXPECT_EQ(std::count(now.begin(), now.end(), "RPMDiv"), 0);

    EXPECT_EQ(old22[0].Value, "No sensor");
    EXPECT_EQ(old22[1].Value, "1.98");
    EXPECT_STREQ(old22[1].Unit, "V");
    EXPECT_EQ(old22[4].Value, "2000");
    EXPECT_EQ(old22[5].Value, "Inactive");
    EXPECT_STREQ(old22[5].Unit, "");
    EXPECT_EQ(SettingsText::Row(s, 55, 12).Value, "Lovato");
    EXPECT_EQ(SettingsText::Row(s, 54, 12).Value, "4");  // two types only up to 54
    s.LambdaType = 6;
    EXPECT_EQ(SettingsText::Row(s, 48, 0).Value, "6");
}

TEST(CliText, JsonStringsAreEscaped) {
    EXPECT_EQ(CliFormat::JsonString("a\"b\\c\nd\x01"), "\"a\\\"b\\\\c\\nd\\u0001\"");
    EXPECT_EQ(CliFormat::JsonString("/dev/pts/3"), "\"/dev/pts/3\"");
}

TEST(CliText, DifferencesNameTheSettingWithBothValues) {
    sSettings file, ecu;
    file.MinRPMCode = 54;
    ecu.MinRPMCode = 27;
    const auto diffs = CliFormat::Differences(file, ecu);
    EXPECT_EQ(CliFormat::DifferencesText(diffs, file, ecu, 48),
              "Gas switch on rotation speed: file 1000 RPM, ECU 2000 RPM\n");
    EXPECT_EQ(CliFormat::DifferencesJson(diffs, file, ecu, 48),
              "[{\"field\":\"MinRPMCode\",\"name\":\"Gas switch on rotation speed\",\"file_raw\":54,"
              "\"file_value\":1000,\"file_text\":\"1000\",\"ecu_raw\":27,\"ecu_value\":2000,\"ecu_text\":\"2000\","
              "\"unit\":\"RPM\"}]");
}
