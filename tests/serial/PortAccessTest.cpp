// A port the user may not open is reported with the group he must join, in
// the language in force; other failures get no such advice.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <string>

#include "core/Error.h"
#include "core/Translate.h"

#include "serial/ComPort.h"
#include "serial/PortAccess.h"

namespace {

std::string TempFile(const char* tag) {
    std::string path = "/tmp/zvport_" + std::string(tag) + "_" + std::to_string(::getpid());
    std::ofstream(path) << "";
    return path;
}

TEST(PortAccess, GroupIsReadFromTheDevice) {
    EXPECT_EQ(PortGroup("/nonexistent/ttyUSB9"), "dialout");
    EXPECT_EQ(PortGroup(""), "dialout");
    const std::string path = TempFile("group");
    // A device of another named group: that group is named.
    const struct group* other = ::getgrnam("uucp");
    if (!other) other = ::getgrnam("tty");
    if (other && ::chown(path.c_str(), uid_t(-1), other->gr_gid) == 0) {
        ASSERT_EQ(::chmod(path.c_str(), 0660), 0);
        EXPECT_EQ(PortGroup(path), other->gr_name);
        // A group that may only write (a pseudo-terminal's) is no advice.
        ASSERT_EQ(::chmod(path.c_str(), 0620), 0);
        EXPECT_EQ(PortGroup(path), "dialout");
        ASSERT_EQ(::chmod(path.c_str(), 0660), 0);
    }
    // root's group: joining it is no advice; dialout is.
    if (::chown(path.c_str(), uid_t(-1), 0) == 0) {
        EXPECT_EQ(PortGroup(path), "dialout");
    }
    ::unlink(path.c_str());
}

TEST(PortAccess, OnlyARefusedOpenGetsTheAdvice) {
    Translate::SetLanguage("en");
    for (int code : {0, ENOENT, EIO, ENOTTY, -1}) EXPECT_EQ(PortPermissionHint("/dev/ttyUSB0", code), "") << code;
    EXPECT_EQ(PortPermissionHint("/dev/ttyUSB0", EBUSY), "The port is in use by another program.");
    for (int code : {EACCES, EPERM}) {
        const std::string hint = PortPermissionHint("/nonexistent/ttyUSB0", code);
        EXPECT_NE(hint.find("group dialout"), std::string::npos) << hint;
        EXPECT_NE(hint.find("sudo adduser $USER dialout"), std::string::npos) << hint;
        EXPECT_NE(hint.find("log in again"), std::string::npos) << hint;
        EXPECT_NE(hint.back(), '\n');
    }
}

TEST(PortAccess, AdviceIsTranslated) {
    const char* bin = std::getenv("ZV_BIN_DIR");
    ASSERT_NE(bin, nullptr);
    Translate::Init(std::string(bin) + "/locale");
    const struct {
        const char* code;
        const char* word;
    } cases[] = {{"de", "Gruppe dialout"}, {"pl", "grupy dialout"}, {"ru", "группу dialout"}, {"en", "group dialout"}};
    for (const auto& c : cases) {
        Translate::SetLanguage(c.code);
        const std::string hint = PortPermissionHint("/nonexistent/ttyUSB0", EACCES);
        EXPECT_NE(hint.find(c.word), std::string::npos) << c.code << ": " << hint;
        EXPECT_NE(hint.find("sudo adduser $USER dialout"), std::string::npos) << c.code << ": " << hint;
    }
    Translate::SetLanguage("en");
}

// The port records why its last open failed; a refused open is EACCES. Root
// may open anything, so the refused open runs in a child that gives up root.
TEST(PortAccess, RefusedOpenIsRecordedByThePort) {
    const std::string path = TempFile("refused");
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0) {
            if (::chown(path.c_str(), 0, 0) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(10);
        } else if (::chmod(path.c_str(), 0) != 0) {
            ::_exit(11);
        }
        cComPort port;
        try {
            port.Open(path);
            ::_exit(12);
        } catch (const sError& e) {
            if (e.Code != EACCES) ::_exit(13);
        }
        if (port.LastOpenError() != EACCES) ::_exit(14);
        if (PortPermissionHint(path, port.LastOpenError()).empty()) ::_exit(15);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ::unlink(path.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "10 setup, 12 opened, 13 other error, 14 not recorded, 15 no advice";

    // An open that fails otherwise records that code; one that gets the
    // device open clears it.
    cComPort port;
    EXPECT_THROW(port.Open("/nonexistent/ttyUSB9"), sError);
    EXPECT_EQ(port.LastOpenError(), ENOENT);
    EXPECT_THROW(port.Open("/dev/null"), sError);  // opens, then is no terminal
    EXPECT_EQ(port.LastOpenError(), 0);
}

}  // namespace
