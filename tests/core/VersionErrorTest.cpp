#include <gtest/gtest.h>

#include <cerrno>

#include "core/Error.h"
#include "core/Version.h"

TEST(VersionText, ShortAndBuildTextsOfTheCompiledVersion) {
    EXPECT_EQ(GetVersionText('v'), "v. 3.2");
    EXPECT_EQ(GetVersionText('b'), "build: 3.2.8.0\n");
}

TEST(VersionText, PartsAreUnsignedSixteenBit) {
    sVersion v{10, 0, 255, 65535, true};
    EXPECT_EQ(FormatVersionText('v', v), "v. 10.0");
    EXPECT_EQ(FormatVersionText('b', v), "build: 10.0.255.65535\n");
}

TEST(VersionText, UnavailableVersionGivesUnknownForBothKinds) {
    sVersion none;
    EXPECT_EQ(FormatVersionText('v', none), "unknown");
    EXPECT_EQ(FormatVersionText('b', none), "unknown");
}

TEST(SystemErrorText, UnknownAndNegativeCodes) {
    EXPECT_EQ(SystemErrorText(123456), "UNKNOWN ERROR (123456 = 0x0001E240)");
    EXPECT_EQ(SystemErrorText(-1), "UNKNOWN ERROR (-1 = 0xFFFFFFFF)");
}

TEST(ErrorRecord, TwoConstructors) {
    sError plain("ComPort", 12);
    EXPECT_EQ(plain.File, "ComPort");
    EXPECT_EQ(plain.Line, "12");
    EXPECT_EQ(plain.Code, -1);
    EXPECT_TRUE(plain.Text.empty());

    sError withCode("CommThread", 7, EACCES);
    EXPECT_EQ(withCode.Code, EACCES);
    EXPECT_EQ(withCode.Text, SystemErrorText(EACCES));
}
