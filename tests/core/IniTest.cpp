#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "core/Ini.h"

#include "tests/TestKit.h"

namespace fs = std::filesystem;

namespace {

class IniTest : public ::testing::Test {
protected:
    void Write(const std::string& bytes) { std::ofstream(Path, std::ios::binary) << bytes; }
    std::string Read() const { return testkit::Slurp(Path); }
    testkit::cTempDir Temp{"zvini"};
    fs::path Dir = Temp.Path;
    std::string Path = (Dir / "zvbasic.ini").string();
};

struct sLoadCase {
    const char* Name;
    std::string Bytes;
    bool Result;
    const char* Port;
    const char* Language;
    bool Enabled;
};

TEST_F(IniTest, LoadRecognisesLinesLikeFormattedScanning) {
    const sLoadCase cases[] = {
        {"only COM", "COM: COM3\r\n", false, "COM3", "", false},
        {"COM and language", "COM: COM2\r\nLanguage: pl\r\n", true, "COM2", "pl", false},
        {"no space after colon", "COM:COM4\nLanguage: de\n", true, "COM4", "de", false},
        {"tab and spaces", "COM:\t  /dev/ttyUSB0\nLanguage:\tru\n", true, "/dev/ttyUSB0", "ru", false},
        {"prefix only does not count", "COM: \nLanguage: de\n", false, "", "de", false},
        {"extra words ignored", "COM: COM1 extra\nLanguage: en", true, "COM1", "en", false},
        {"enabled without line end", "COM: COM1\r\nLanguage: de\r\nENABLED", true, "COM1", "de", true},
        {"enabled counts as a line", "COM: COM1\nENABLED\n", true, "COM1", "", true},
        {"leading blank", "COM: COM1\n ENABLED\n", false, "COM1", "", false},
        {"trailing blank", "COM: COM1\nENABLED \n", false, "COM1", "", false},
        {"lower case", "COM: COM1\nenabled\n", false, "COM1", "", false},
        {"two language lines count twice", "Language: de\nLanguage: ru\n", true, "", "ru", false},
        {"indented prefix does not match", " COM: COM1\nLanguage: de\n", false, "", "de", false},
        {"lower-case prefix does not match", "com: COM1\nLanguage: de\n", false, "", "de", false},
        {"zero byte ends the scan", std::string("COM: COM1\n\0Language: de\n", 24), false, "COM1", "", false},
        {"empty file", "", false, "", "", false},
        {"CR alone ends no line", "COM: COM1\rLanguage: de\r", false, "COM1Language:", "", false},
    };
    for (const sLoadCase& c : cases) {
        SCOPED_TRACE(c.Name);
        Write(c.Bytes);
        cIni ini;
        EXPECT_EQ(ini.Load(Path), c.Result);
        EXPECT_EQ(ini.Port, c.Port);
        EXPECT_EQ(ini.Language, c.Language);
        EXPECT_EQ(ini.Enabled, c.Enabled);
    }
}

TEST_F(IniTest, LoadLooksAtTheFirst1024BytesOnly) {
    // Padding lines, then a COM line that straddles byte 1024: dropped.
    std::string head = "Language: pl\n";
    std::string pad;
    while (head.size() + pad.size() < 1020) pad += "#\n";
    std::string bytes = head + pad;
    bytes.resize(1020, '#');
    bytes += "\nCOM: COM9\nENABLED\n";  // the COM line starts at byte 1021
    ASSERT_GT(bytes.size(), 1024u);
    Write(bytes);
    cIni ini;
    EXPECT_FALSE(ini.Load(Path));
    EXPECT_EQ(ini.Language, "pl");
    EXPECT_EQ(ini.Port, "");
    EXPECT_FALSE(ini.Enabled);

    // 1100 bytes whose recognised lines lie in the first kilobyte.
    std::string good = "COM: COM7\r\nLanguage: de\r\n";
    good.resize(1100, 'x');
    Write(good);
    cIni ini2;
    EXPECT_TRUE(ini2.Load(Path));
    EXPECT_EQ(ini2.Port, "COM7");

    // An unterminated line that ends exactly at byte 1024 is dropped as well.
    std::string exact(1024 - 10, '\n');
    exact += "ENABLED";
    exact.resize(1024, 'Z');
    exact = "COM: COM5\n" + exact.substr(10);
    ASSERT_EQ(exact.size(), 1024u);
    Write(exact);
    cIni ini3;
    EXPECT_FALSE(ini3.Load(Path));
    EXPECT_FALSE(ini3.Enabled);
}

TEST_F(IniTest, MissingFileIsNotLoaded) {
    cIni ini;
    EXPECT_FALSE(ini.Load((Dir / "none.ini").string()));
    EXPECT_TRUE(ini.Port.empty());
}

// A settings file that is not a regular file is not read, and reading it
// does not wait: a named pipe would block start-up until a writer came.
TEST_F(IniTest, OnlyRegularFilesAreRead) {
    struct {
        const char* Name;
        void (*Make)(const fs::path&);
    } cases[] = {
        {"named pipe", [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); }},
        {"link to a named pipe",
         [](const fs::path& p) {
             ASSERT_EQ(::mkfifo((p.string() + ".fifo").c_str(), 0600), 0);
             fs::create_symlink(p.string() + ".fifo", p);
         }},
        {"folder", [](const fs::path& p) { fs::create_directory(p); }},
    };
    for (const auto& c : cases) {
        const fs::path p = Dir / (std::string("kind_") + std::to_string(&c - cases) + ".ini");
        c.Make(p);
        // In a child: a blocked read ends with the alarm instead of hanging
        // the test run.
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::alarm(20);
            cIni ini;
            ::_exit(ini.Load(p.string()) ? 1 : 0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << c.Name << ": status " << status;
    }
}

TEST_F(IniTest, SaveWritesTheThreeLinesAndLoadsThemBack) {
    cIni ini;
    ini.Port = "/dev/ttyUSB0";
    ini.Language = "pl";
    ini.Enabled = true;
    ASSERT_TRUE(ini.Save(Path));
    EXPECT_EQ(Read(), "COM: /dev/ttyUSB0\r\nLanguage: pl\r\nENABLED");
    cIni back;
    EXPECT_TRUE(back.Load(Path));
    EXPECT_EQ(back.Port, ini.Port);
    EXPECT_EQ(back.Language, ini.Language);
    EXPECT_TRUE(back.Enabled);

    cIni plain;  // empty port, no ENABLED
    plain.Language = "de";
    ASSERT_TRUE(plain.Save(Path));
    EXPECT_EQ(Read(), "COM: \r\nLanguage: de\r\n");
    // Nothing but the file itself is left in the folder.
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir), fs::directory_iterator()), 1);
}

// A port name that could not be read back as written (a line feed planting
// a line of its own, other control characters, blanks, a name beyond the
// path limit or one that pushes the other lines past the 1024 bytes Load
// reads) is not written: the port loaded from the file stays, and every
// line is read back.
TEST_F(IniTest, UnfitPortNamesKeepTheSavedPortAndEveryLine) {
    const std::string unfit[] = {"/dev/ttyS0\nENABLED",
                                 "/dev/tty\rUSB0",
                                 std::string("/dev/tty\x01", 9),
                                 "/dev/my port",
                                 "/dev/" + std::string(1000, 'x'),
                                 "/dev/" + std::string(5000, 'x'),
                                 "/dev/tty\x7f"};
    for (bool enabled : {false, true}) {
        for (const std::string& port : unfit) {
            SCOPED_TRACE(port.substr(0, 40));
            Write("COM: /dev/ttyUSB1\r\nLanguage: de\r\n");
            cIni ini;
            ASSERT_TRUE(ini.Load(Path));
            ini.Port = port;  // the link opened this name
            ini.Language = "pl";
            ini.Enabled = enabled;
            ASSERT_TRUE(ini.Save(Path));
            EXPECT_EQ(Read(), std::string("COM: /dev/ttyUSB1\r\nLanguage: pl\r\n") + (enabled ? "ENABLED" : ""));
            cIni back;
            EXPECT_TRUE(back.Load(Path));
            EXPECT_EQ(back.Port, "/dev/ttyUSB1");
            EXPECT_EQ(back.Language, "pl");
            EXPECT_EQ(back.Enabled, enabled);
        }
    }
    // Without a file loaded there is no old port: the line stays empty.
    cIni fresh;
    fresh.Port = "/dev/ttyUSB0\nENABLED";
    fresh.Language = "en";
    ASSERT_TRUE(fresh.Save(Path));
    EXPECT_EQ(Read(), "COM: \r\nLanguage: en\r\n");
    // The longest name that still leaves room for the other lines is kept.
    cIni longest;
    longest.Language = "ru";
    longest.Enabled = true;
    longest.Port = "/" + std::string(1024 - std::string("COM: \r\nLanguage: ru\r\nENABLED").size() - 2, 'p');
    ASSERT_TRUE(longest.Save(Path));
    cIni back;
    EXPECT_TRUE(back.Load(Path));
    EXPECT_EQ(back.Port, longest.Port);
    EXPECT_TRUE(back.Enabled);
}

TEST_F(IniTest, FailedSaveLeavesTheOldFileIntact) {
    Write("COM: COM1\r\nLanguage: de\r\n");
    cIni ini;
    ini.Port = "COM2";
    ini.Language = "ru";
    if (::geteuid() != 0) {
        // A read-only folder: the temporary file cannot be made.
        fs::permissions(Dir, fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_FALSE(ini.Save(Path));
        fs::permissions(Dir, fs::perms::owner_all);
        EXPECT_EQ(Read(), "COM: COM1\r\nLanguage: de\r\n");
    }
    // The rename fails (the name is taken by a folder that is not empty):
    // false, and no temporary file is left behind. Works for root too.
    const std::string blocked = (Dir / "blocked.ini").string();
    fs::create_directories(fs::path(blocked) / "inside");
    EXPECT_FALSE(ini.Save(blocked));
    EXPECT_TRUE(fs::is_directory(fs::path(blocked) / "inside"));
    for (const auto& entry : fs::directory_iterator(Dir))
        EXPECT_TRUE(entry.path() == Path || entry.path() == blocked) << entry.path();
    // A folder that cannot exist (a file is in its place).
    EXPECT_FALSE(ini.Save(Path + "/sub/zvbasic.ini"));
    EXPECT_EQ(Read(), "COM: COM1\r\nLanguage: de\r\n");
}

// Where the file is read and written. Run as an ordinary user in a child
// process (root may write into any folder).
TEST_F(IniTest, ReadBesideTheProgramWriteThereWhenPossibleElsePerUser) {
    const fs::path exe = Dir / "bin", user = Dir / "cfg";
    // A portable layout: the catalogues beside the executable.
    fs::create_directories(exe / "locale");
    fs::create_directories(user);
    std::ofstream(exe / "zvbasic.ini") << "COM: /dev/ttyS3\r\nLanguage: pl\r\n";
    fs::permissions(Dir, fs::perms::all);
    fs::permissions(user, fs::perms::all);
    fs::permissions(exe, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read |
                             fs::perms::others_exec);
    const std::string beside = (exe / "zvbasic.ini").string();
    const std::string perUser = (user / "zvbasic" / "zvbasic.ini").string();
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
        ::setenv("XDG_CONFIG_HOME", user.c_str(), 1);
        int code = 10;
        auto check = [&code](bool ok) {
            ++code;
            if (!ok) ::_exit(code);
        };
        // A read-only installation with its own file: that file is read, the
        // per-user one written.
        check(cIni::UserPath() == perUser);
        check(cIni::ReadPath(exe.string()) == beside);
        check(cIni::WritePath(exe.string()) == perUser);
        cIni ini;
        check(ini.Load(cIni::ReadPath(exe.string())) && ini.Language == "pl");
        ini.Language = "ru";
        check(ini.Save(cIni::WritePath(exe.string())));
        // Next start: what was written is what is read.
        check(cIni::ReadPath(exe.string()) == perUser);
        cIni next;
        check(next.Load(cIni::ReadPath(exe.string())) && next.Language == "ru" && next.Port == "/dev/ttyS3");
        // A folder without a file of its own: the per-user file.
        check(cIni::ReadPath((Dir / "nowhere").string()) == perUser);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "check number " << WEXITSTATUS(status) - 10;

    // A writable program folder: read and written there.
    const testkit::cScopedEnv configHome("XDG_CONFIG_HOME", user.string());
    fs::permissions(exe, fs::perms::owner_all);
    EXPECT_EQ(cIni::ReadPath(exe.string()), beside);
    EXPECT_EQ(cIni::WritePath(exe.string()), beside);
    // Saving to the per-user file makes its folder.
    fs::remove_all(user / "zvbasic");
    cIni ini;
    ini.Language = "en";
    EXPECT_TRUE(ini.Save(cIni::UserPath()));
    EXPECT_TRUE(fs::exists(perUser));
}

// An installed program (no catalogues beside it, as in /usr/bin) writes only
// the per-user file, even where it could write beside itself (run by root),
// and does not read a file left beside it: that file would override every
// user's settings and outlive the package.
TEST_F(IniTest, InstalledProgramUsesOnlyThePerUserFile) {
    const fs::path bin = Dir / "usr" / "bin", user = Dir / "cfg";
    fs::create_directories(bin);
    fs::create_directories(Dir / "usr" / "share" / "zvbasic" / "locale");
    std::ofstream(bin / "zvbasic.ini") << "COM: /dev/ttyS3\r\nLanguage: pl\r\n";
    const testkit::cScopedEnv configHome("XDG_CONFIG_HOME", user.string());
    const std::string perUser = (user / "zvbasic" / "zvbasic.ini").string();
    EXPECT_EQ(cIni::WritePath(bin.string()), perUser);
    EXPECT_EQ(cIni::ReadPath(bin.string()), perUser);
    // The same folder made portable: beside the executable again.
    fs::create_directories(bin / "locale");
    EXPECT_EQ(cIni::WritePath(bin.string()), (bin / "zvbasic.ini").string());
    EXPECT_EQ(cIni::ReadPath(bin.string()), (bin / "zvbasic.ini").string());
}

// A Windows installation has its catalogues beside the programs, and its
// folder may be writable (wine, an old installation): the installer's marker
// sends the settings to the per-user file. A file an earlier version left in
// the folder is read until the per-user file is there.
TEST_F(IniTest, InstallerMarkerSendsTheSettingsToThePerUserFile) {
    const fs::path program = Dir / "ZVBasic", user = Dir / "cfg";
    fs::create_directories(program / "locale");
    std::ofstream(program / cIni::InstalledMarker) << "Installed by the ZVBasic installer.\r\n";
    const testkit::cScopedEnv configHome("XDG_CONFIG_HOME", user.string());
    const std::string beside = (program / "zvbasic.ini").string();
    const std::string perUser = (user / "zvbasic" / "zvbasic.ini").string();
    EXPECT_EQ(cIni::WritePath(program.string()), perUser);
    EXPECT_EQ(cIni::ReadPath(program.string()), perUser);
    std::ofstream(beside) << "COM: COM3\r\nLanguage: pl\r\n";
    EXPECT_EQ(cIni::ReadPath(program.string()), beside);
    cIni ini;
    ASSERT_TRUE(ini.Load(cIni::ReadPath(program.string())));
    ASSERT_TRUE(ini.Save(cIni::WritePath(program.string())));
    EXPECT_EQ(cIni::ReadPath(program.string()), perUser);
    // Without the marker (the zip unpacked): beside the program.
    fs::remove(program / cIni::InstalledMarker);
    EXPECT_EQ(cIni::WritePath(program.string()), beside);
}

}  // namespace

// The workshop the fitting report names: written after the program's lines,
// read back whole, and never able to break the file's other lines.
TEST_F(IniTest, TheReportSectionKeepsTheWorkshopAndBreaksNoOtherLine) {
    struct sCase {
        const char* Name;
        std::string Workshop;
        std::vector<std::string> Address;
        bool Enabled;
        std::string WantWorkshop;
        std::vector<std::string> WantAddress;
    };
    const std::string longLine = std::string(118, 'x') + "\xC3\xA4" + "yyy";  // "ä" across the cut
    const sCase cases[] = {
        {"none", "", {}, true, "", {}},
        {"name and lines",
         "Auto Gas Kowalski",
         {"ul. Polna 1", "00-950 Warszawa"},
         false,
         "Auto Gas Kowalski",
         {"ul. Polna 1", "00-950 Warszawa"}},
        {"after ENABLED", "Werkstatt Müller", {"Hauptstr. 2"}, true, "Werkstatt Müller", {"Hauptstr. 2"}},
        {"line ends and blanks",
         "  A\r\nCOM: /dev/evil  ",
         {"B\nLanguage: xx"},
         true,
         "A  COM: /dev/evil",
         {"B Language: xx"}},
        {"too many lines", "W", {"1", "2", "3", "4", "5"}, false, "W", {"1", "2", "3", "4"}},
        {"long lines", longLine, {longLine}, true, std::string(118, 'x'), {std::string(118, 'x')}},
    };
    for (const sCase& c : cases) {
        cIni out;
        out.Port = "/dev/ttyUSB0";
        out.Language = "de";
        out.Enabled = c.Enabled;
        out.ReportName = c.Workshop;
        out.ReportAddress = c.Address;
        ASSERT_TRUE(out.Save(Path)) << c.Name;
        cIni in;
        EXPECT_TRUE(in.Load(Path)) << c.Name;
        EXPECT_EQ(in.Port, "/dev/ttyUSB0") << c.Name;
        EXPECT_EQ(in.Language, "de") << c.Name;
        EXPECT_EQ(in.Enabled, c.Enabled) << c.Name;
        EXPECT_EQ(in.ReportName, c.WantWorkshop) << c.Name;
        EXPECT_EQ(in.ReportAddress, c.WantAddress) << c.Name;
    }
    // The program's lines inside the report section are the section's own.
    Write("COM: COM1\r\nLanguage: ru\r\n[Report]\r\nName: N\r\nLanguage: pl\r\n");
    cIni in;
    EXPECT_TRUE(in.Load(Path));
    EXPECT_EQ(in.Language, "ru");
    EXPECT_EQ(in.ReportName, "N");
}
