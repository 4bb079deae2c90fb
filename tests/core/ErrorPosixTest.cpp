// The C library's texts of the system's error codes (ErrorPosix.cpp). The
// Windows build has Windows' own texts there, tested in PortListWin32Test.
#include <gtest/gtest.h>

#include <cerrno>

#include "core/Error.h"

TEST(SystemErrorText, KnownCodeCarriesSystemTextAndBracket) {
    EXPECT_EQ(SystemErrorText(ENOENT), "No such file or directory (2 = 0x00000002)");
    EXPECT_EQ(SystemErrorText(0), "Success (0 = 0x00000000)");
}
