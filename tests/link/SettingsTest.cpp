#include <gtest/gtest.h>

#include "link/CommThread.h"
#include "link/Settings.h"

TEST(SettingsRecord, DefaultsAndChangedTest) {
    sSettings d;
    const uint8_t expected[16] = {0, 101, 51, 1, 27, 9, 50, 150, 100, 90, 80, 1, 1, 4, 1, 1};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(d[i], expected[i]) << "position " << i;

    WorkSettings = EcuSettings = sSettings{};
    EXPECT_FALSE(SettingsChanged());
    WorkSettings.Reserved15 = 2;  // even the byte no screen shows counts
    EXPECT_TRUE(SettingsChanged());
    WorkSettings = sSettings{};
}

TEST(ThrottleRule, RebuildFromParameterOne) {
    struct sCase {
        uint8_t v, sw, closed, type;
    } cases[] = {{1, 1, 0, 0}, {0x64, 0x64, 255, 1}, {0x65, 0x65, 0, 1}, {0, 0, 255, 1}, {255, 255, 0, 1}};
    for (auto c : cases) {
        sSettings s;
        Conv::RebuildTps(s, c.v);
        EXPECT_EQ(s.TPSSwitchLevel, c.sw) << int(c.v);
        EXPECT_EQ(s.TPSClosedLevel, c.closed) << int(c.v);
        EXPECT_EQ(s.TPSType, c.type) << int(c.v);
    }
}

TEST(ThrottleRule, ValueSentAndAppliedInPlace) {
    sSettings rising;  // 101 over 51: rising, bit 0 set
    rising.TPSSwitchLevel = 100;
    EXPECT_EQ(Conv::TpsParamValue(rising), 101);
    sSettings falling;
    falling.TPSSwitchLevel = 101;
    falling.TPSClosedLevel = 200;
    EXPECT_EQ(Conv::TpsParamValue(falling), 100);
    sSettings none;
    none.TPSType = 0;
    EXPECT_EQ(Conv::TpsParamValue(none), 1);
    Conv::ApplyTpsDirection(none);
    EXPECT_EQ(none.TPSSwitchLevel, 1);
    EXPECT_EQ(none.TPSClosedLevel, 0);
    Conv::ApplyTpsDirection(falling);
    EXPECT_EQ(falling.TPSSwitchLevel, 100);
    EXPECT_EQ(falling.TPSClosedLevel, 200);
    // A value sent and read back rebuilds the same direction.
    sSettings back;
    Conv::RebuildTps(back, Conv::TpsParamValue(falling));
    EXPECT_TRUE(Conv::TpsFalling(back));
}

TEST(ParameterMaps, ReadStoresByGeneration) {
    // Old protocol: parameter 9 is RPMDiv, 10 the level type only above 22.
    sSettings s;
    Ecu::StoreReadParam(s, 23, 9, 2);
    Ecu::StoreReadParam(s, 23, 10, 0);
    EXPECT_EQ(s.RPMDiv, 2);
    EXPECT_EQ(s.LPGLevType, 0);
    sSettings t;
    Ecu::StoreReadParam(t, 22, 10, 0);
    EXPECT_EQ(t, sSettings{});
    // New protocol: 9 CylCount, 10 CoilCount, 11 Reserved15, 12 LPGLevType.
    sSettings n;
    Ecu::StoreReadParam(n, 48, 9, 6);
    Ecu::StoreReadParam(n, 48, 10, 3);
    Ecu::StoreReadParam(n, 48, 11, 7);
    Ecu::StoreReadParam(n, 48, 12, 5);
    EXPECT_EQ(n.CylCount, 6);
    EXPECT_EQ(n.CoilCount, 3);
    EXPECT_EQ(n.Reserved15, 7);
    EXPECT_EQ(n.LPGLevType, 5);
    EXPECT_EQ(n.RPMDiv, 1);
    EXPECT_EQ(Ecu::ReadCount(22), 10);
    EXPECT_EQ(Ecu::ReadCount(23), 11);
    EXPECT_EQ(Ecu::ReadCount(47), 11);
    EXPECT_EQ(Ecu::ReadCount(48), 13);
}

TEST(ParameterMaps, RpmCodesDoubledBelowVersion25InEightBits) {
    sSettings s;
    Ecu::StoreReadParam(s, 24, 2, 54);
    Ecu::StoreReadParam(s, 24, 3, 19);
    EXPECT_EQ(s.MinRPMCode, 27);
    EXPECT_EQ(s.MaxRPMCode, 9);
    Ecu::StoreReadParam(s, 25, 2, 54);
    EXPECT_EQ(s.MinRPMCode, 54);

    sSettings w;
    EXPECT_EQ(Ecu::OldWriteValue(w, 24, 2), 54);
    EXPECT_EQ(Ecu::OldWriteValue(w, 25, 2), 27);
    w.MinRPMCode = 200;  // the upper bit is lost
    EXPECT_EQ(Ecu::OldWriteValue(w, 24, 2), uint8_t(400));
    EXPECT_EQ(Ecu::OldWriteValue(w, 22, 9), w.RPMDiv);
    EXPECT_EQ(Ecu::OldWriteValue(w, 23, 10), w.LPGLevType);
}

TEST(Conversions, RpmAndPeriod) {
    EXPECT_EQ(Conv::PeriodToRpm(27), 2000);
    EXPECT_EQ(Conv::PeriodToRpm(0), 0);
    EXPECT_EQ(Conv::PeriodToRpm(1), 54000);
    EXPECT_EQ(Conv::RpmToPeriod(1000), 54);
    EXPECT_EQ(Conv::RpmToPeriod(6000), 9);
    EXPECT_EQ(Conv::RpmToPeriod(100), 255);  // does not wrap in the byte
    EXPECT_EQ(Conv::RpmToPeriod(0), 0);
}

TEST(Conversions, ThrottleVoltsAndPercent) {
    EXPECT_DOUBLE_EQ(Conv::RawToVolts(255), 5.0);
    EXPECT_DOUBLE_EQ(Conv::RawToVolts(0), 0.0);
    EXPECT_EQ(Conv::TpsPercent(51, false), 20);
    EXPECT_EQ(Conv::TpsPercent(51, true), 80);
    EXPECT_EQ(Conv::TpsPercent(255, false), 100);
    EXPECT_EQ(Conv::TpsPercent(255, true), 0);
    // Not rounded to whole percent: the gauges move smoothly.
    EXPECT_DOUBLE_EQ(Conv::TpsPercent(128, false), 12800.0 / 255);
    EXPECT_DOUBLE_EQ(Conv::TpsPercent(128, true), 12700.0 / 255);
}

TEST(Conversions, LambdaByTypeAndVersion) {
    struct sCase {
        int r, version, type;
        std::optional<int> value;
    } cases[] = {{3, 47, 0, -3},  {63, 47, 1, 255},          {7, 47, 2, 51},  {0, 47, 3, 259}, {10, 47, 4, 40},
                 {17, 47, 5, 17}, {17, 47, 8, std::nullopt}, {60, 48, 0, 60}, {60, 48, 8, 60}};
    for (auto c : cases)
        EXPECT_EQ(Conv::LambdaValue(c.r, c.version, c.type), c.value) << c.r << " " << c.version << " " << c.type;

    EXPECT_DOUBLE_EQ(Conv::LambdaVolts(-3, 0), 0.0);
    EXPECT_DOUBLE_EQ(Conv::LambdaVolts(60, 0), 1.0);
    EXPECT_NEAR(Conv::LambdaVolts(40, 4), 0.8, 1e-6);  // 0.78 raised to the floor
    EXPECT_NEAR(Conv::LambdaVolts(255, 1), 5.0, 1e-6);
    EXPECT_NEAR(Conv::LambdaVolts(300, 3), 5.0, 1e-6);
    EXPECT_NEAR(Conv::LambdaVolts(300, 5), 300 / 51.0, 1e-5);  // type 5 is not clamped

    // The clamp alone, for volts kept from an earlier value when the type
    // changes: 3 V is cut to 1 V for type 2, left for type 8 (0..5 V).
    EXPECT_DOUBLE_EQ(Conv::ClampLambdaVolts(3.0, 2), 1.0);
    EXPECT_DOUBLE_EQ(Conv::ClampLambdaVolts(3.0, 8), 3.0);
    EXPECT_DOUBLE_EQ(Conv::ClampLambdaVolts(-0.5, 3), 0.0);
    EXPECT_DOUBLE_EQ(Conv::ClampLambdaVolts(1.7, 4), 1.6);
    EXPECT_DOUBLE_EQ(Conv::ClampLambdaVolts(-7.0, 6), -7.0);
}

TEST(Conversions, PollCycleFollowsTheEcusPacing) {
    // Six reads per record; the slower pacing below version 32 makes each
    // frame longer.
    EXPECT_GT(cCommThread::PollCycleSeconds(31), cCommThread::PollCycleSeconds(32));
    EXPECT_EQ(cCommThread::PollCycleSeconds(32), cCommThread::PollCycleSeconds(48));
    EXPECT_NEAR(cCommThread::PollCycleSeconds(48), 6 * (0.050 + 3 * 0.010 + 6 * 10.0 / 1200), 1e-9);
}

TEST(Conversions, LiveValuesTakenInPollingOrder) {
    struct sSample {
        float TPSVolts = 0, LambdaVolts = 0;
        int RPM = 0, ValvePos = 0;
    } s;
    // One sample through a run of live values; the lambda is shown before
    // the clamp and kept after it, and a lambda that is not used keeps the
    // last one, clamped again by the type now set.
    struct sStep {
        int k, r, version, type;
        float shown;
        sSample after;
    } steps[] = {
        {LiveTPS, 51, 48, 0, 0.0f, {1.0f, 0.0f, 0, 0}},
        {LiveRPM, 27, 48, 0, 0.0f, {1.0f, 0.0f, 2000, 0}},
        {LiveStepper, 150, 48, 0, 0.0f, {1.0f, 0.0f, 2000, 150}},
        {LiveLambda, 60, 48, 8, float(60 / 51.0), {1.0f, float(60 / 51.0), 2000, 150}},
        {LiveLambda, 17, 47, 8, float(60 / 51.0), {1.0f, float(60 / 51.0), 2000, 150}},  // not used
        {LiveLambda, 60, 48, 0, float(60 / 51.0), {1.0f, 1.0f, 2000, 150}},
        {LiveLambda, 3, 47, 0, float(-3 / 51.0), {1.0f, 0.0f, 2000, 150}},
        {LiveFuel, 2, 48, 0, 0.0f, {1.0f, 0.0f, 2000, 150}},  // changes nothing
        {LiveLPGLevel, 9, 48, 0, 0.0f, {1.0f, 0.0f, 2000, 150}},
        {LiveRPM, 0, 48, 0, 0.0f, {1.0f, 0.0f, 0, 150}},
    };
    int n = 0;
    for (const sStep& c : steps) {
        EXPECT_FLOAT_EQ(Conv::TakeLiveValue(s, c.k, c.r, c.version, c.type), c.shown) << "step " << n;
        EXPECT_FLOAT_EQ(s.TPSVolts, c.after.TPSVolts) << "step " << n;
        EXPECT_FLOAT_EQ(s.LambdaVolts, c.after.LambdaVolts) << "step " << n;
        EXPECT_EQ(s.RPM, c.after.RPM) << "step " << n;
        EXPECT_EQ(s.ValvePos, c.after.ValvePos) << "step " << n;
        ++n;
    }
}

TEST(Conversions, LevelIndexAndLamps) {
    EXPECT_EQ(Conv::LevelIndex(0xC0, 51), 0);
    EXPECT_EQ(Conv::LevelIndex(0x00, 51), 6);
    EXPECT_EQ(Conv::LevelIndex(0xE0, 51), 7);
    EXPECT_EQ(Conv::LevelIndex(3, 52), 3);
    EXPECT_EQ(Conv::LevelIndex(200, 52), -56);
    EXPECT_STREQ(Conv::LevelLampPattern(0), "100000");
    EXPECT_STREQ(Conv::LevelLampPattern(3), "011000");
    EXPECT_STREQ(Conv::LevelLampPattern(7), "011111");
    EXPECT_STREQ(Conv::LevelLampPattern(9), "000000");
    EXPECT_STREQ(Conv::LevelLampPattern(-56), "000000");
}

TEST(EcuIdentity, TypeAndNibbles) {
    EXPECT_STREQ(Ecu::TypeName(47), "ZORVA Basic");
    EXPECT_STREQ(Ecu::TypeName(48), "ZORVA Basic +");
    EXPECT_EQ(Ecu::NibbleText(0x25), "2.5");
    EXPECT_EQ(Ecu::NibbleText(0x31), "3.1");
    EXPECT_EQ(Ecu::BytePauseMs(0), 50);
    EXPECT_EQ(Ecu::BytePauseMs(31), 50);
    EXPECT_EQ(Ecu::BytePauseMs(32), 10);
}

TEST(UpdateRecord, ParameterLowValueHigh) {
    sUpdate u(15, 0xB4);
    EXPECT_EQ(u.Raw, 0xB40F);
    EXPECT_EQ(u.Param(), 15);
    EXPECT_EQ(u.Value(), 0xB4);
}

// A read after a reconnection that keeps the unsaved edits: positions that
// were not edited follow the ECU; an edited position keeps the edit, and the
// ECU's copy takes the ECU's value unless that equals the edit (the ECU may
// hold it unstored, so it must still count as changed).
TEST(SettingsRecord, KeepEditsOverReadTakesTheEcusValuesOnlyWhereNothingWasEdited) {
    struct sCase {
        const char* Name;
        uint8_t Work, Ecu, Read;    // one position before the read
        uint8_t WantWork, WantEcu;  // after it
    } cases[] = {
        {"not edited, ECU unchanged", 5, 5, 5, 5, 5},           {"not edited, ECU changed", 5, 5, 7, 7, 7},
        {"edited, ECU still has the old value", 9, 5, 5, 9, 5}, {"edited, ECU holds the edit unstored", 9, 5, 9, 9, 5},
        {"edited, ECU has a third value", 9, 5, 7, 9, 7},
    };
    for (const sCase& c : cases) {
        sSettings work, ecu, read;
        work.StepPosH1 = c.Work;
        ecu.StepPosH1 = c.Ecu;
        read.StepPosH1 = c.Read;
        read.StepPosMin = 77;  // not edited anywhere: taken over
        KeepEditsOverRead(work, ecu, read);
        EXPECT_EQ(work.StepPosH1, c.WantWork) << c.Name;
        EXPECT_EQ(ecu.StepPosH1, c.WantEcu) << c.Name;
        EXPECT_EQ(work.StepPosMin, 77) << c.Name;
        EXPECT_EQ(ecu.StepPosMin, 77) << c.Name;
        EXPECT_EQ(!(work == ecu), c.Work != c.Ecu) << c.Name;
    }
}

// After a reconnection: the ECU is taken for the one read before only where
// every position reads as before or as the fitter edited it.
TEST(SettingsRecord, SameVehicleOnlyWhereEveryPositionReadsAsBeforeOrAsEdited) {
    struct sCase {
        const char* Name;
        uint8_t Work, Ecu, Read;  // one position
        bool Same;
    } cases[] = {
        {"not edited, unchanged", 5, 5, 5, true},
        {"not edited, changed", 5, 5, 7, false},
        {"edited, ECU lost the unstored edit", 9, 5, 5, true},
        {"edited, ECU holds the edit", 9, 5, 9, true},
        {"edited, ECU has a third value", 9, 5, 7, false},
    };
    for (const sCase& c : cases) {
        for (int pos : {0, 7, 15}) {
            sSettings work, ecu, read;
            work[pos] = c.Work;
            ecu[pos] = c.Ecu;
            read[pos] = c.Read;
            EXPECT_EQ(Ecu::SameVehicle(work, ecu, read), c.Same) << c.Name << " at " << pos;
        }
    }
}
