// Replacing settings files safely: what the helper refuses, what it keeps,
// and that both writers of the program (zvbasic.ini, vehicle files) go
// through it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>

#include "core/Ini.h"
#include "core/SafeWrite.h"

#include "formats/VehicleFile.h"

#include "tests/TestKit.h"

namespace fs = std::filesystem;

namespace {

class SafeWriteTest : public ::testing::Test {
protected:
    void SetUp() override {
        Dir = fs::temp_directory_path() / ("zvsafe_" + std::to_string(::getpid()) + "_" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(Dir);
        fs::create_directories(Dir);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(Dir, ec);
    }
    static std::string Slurp(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static void Put(const fs::path& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }
    std::set<std::string> Names() const {
        std::set<std::string> out;
        for (const auto& e : fs::directory_iterator(Dir)) out.insert(e.path().filename().string());
        return out;
    }
    // Runs fn in a child process; its return value is the exit status.
    static int InChild(const std::function<int()>& fn) { return testkit::InChild(fn); }
    fs::path Dir;
};

// Named pipes, devices, folders and links to them are refused without being
// opened (a pipe nobody reads would block the writer for ever) and stay what
// they were; this holds for the helper and for both of the program's files.
TEST_F(SafeWriteTest, NonRegularTargetsAreRefusedAndStayAsTheyWere) {
    const fs::path fifo = Dir / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    fs::create_symlink(fifo, Dir / "to-pipe");
    fs::create_directory(Dir / "folder");
    std::vector<fs::path> targets = {fifo, Dir / "to-pipe", Dir / "folder"};
    // A character device of our own (the null device's numbers): only root
    // may make one. The real /dev/null is never touched by the test.
    const fs::path device = Dir / "null";
    if (::mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) targets.push_back(device);

    for (const fs::path& target : targets) {
        SCOPED_TRACE(target.string());
        const fs::file_type type = fs::symlink_status(target).type();
        std::string error;
        EXPECT_FALSE(SafeWrite::ReplaceFile(target.string(), "data\n", &error));
        EXPECT_FALSE(error.empty());
        EXPECT_FALSE(VehicleFile::Write(target.string(), sSettings{}));
        cIni ini;
        ini.Language = "en";
        EXPECT_FALSE(ini.Save(target.string()));
        EXPECT_EQ(fs::symlink_status(target).type(), type);
    }
    EXPECT_TRUE(fs::is_fifo(fifo));
    // Nothing else appeared in the folder.
    std::set<std::string> want = {"pipe", "to-pipe", "folder"};
    if (targets.size() == 4) want.insert("null");
    EXPECT_EQ(Names(), want);
}

// A symbolic link (relative, chained, or pointing to a file still to be
// made) is followed: its target gets the data, the link stays a link.
TEST_F(SafeWriteTest, SymbolicLinksAreFollowedToTheirTarget) {
    fs::create_directory(Dir / "real");
    Put(Dir / "real" / "a.zv2", "old\n");
    fs::create_symlink("real/a.zv2", Dir / "one");
    fs::create_symlink("one", Dir / "two");
    ASSERT_TRUE(SafeWrite::ReplaceFile((Dir / "two").string(), "new\n"));
    EXPECT_TRUE(fs::is_symlink(Dir / "two"));
    EXPECT_TRUE(fs::is_symlink(Dir / "one"));
    EXPECT_EQ(Slurp(Dir / "real" / "a.zv2"), "new\n");

    fs::create_symlink("real/b.ini", Dir / "dangling");
    ASSERT_TRUE(SafeWrite::ReplaceFile((Dir / "dangling").string(), "made\n"));
    EXPECT_TRUE(fs::is_symlink(Dir / "dangling"));
    EXPECT_EQ(Slurp(Dir / "real" / "b.ini"), "made\n");

    fs::create_symlink("loop2", Dir / "loop1");
    fs::create_symlink("loop1", Dir / "loop2");
    EXPECT_FALSE(SafeWrite::ReplaceFile((Dir / "loop1").string(), "x"));
    EXPECT_TRUE(fs::is_symlink(Dir / "loop1"));
    EXPECT_EQ(Names(), (std::set<std::string>{"real", "one", "two", "dangling", "loop1", "loop2"}));
}

// The replacement keeps the old file's permission bits, for both files of
// the program (zvbasic.ini used to come back as 0644); a new file gets the
// usual 0666 less the umask.
TEST_F(SafeWriteTest, ReplacementKeepsThePermissionBits) {
    const fs::path ini = Dir / "zvbasic.ini", vehicle = Dir / "v.zv2";
    Put(ini, "COM: COM1\r\nLanguage: de\r\n");
    Put(vehicle, "1\r\n");
    ::chmod(ini.c_str(), 0600);
    ::chmod(vehicle.c_str(), 0640);
    cIni settings;
    settings.Language = "pl";
    ASSERT_TRUE(settings.Save(ini.string()));
    ASSERT_TRUE(VehicleFile::Write(vehicle.string(), sSettings{}));
    struct stat st {};
    ASSERT_EQ(::stat(ini.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    ASSERT_EQ(::stat(vehicle.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(Slurp(ini), "COM: \r\nLanguage: pl\r\n");

    const mode_t mask = ::umask(027);
    ASSERT_TRUE(SafeWrite::ReplaceFile((Dir / "fresh").string(), "x"));
    ::umask(mask);
    ASSERT_EQ(::stat((Dir / "fresh").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

// The temporary name is short: a file name of 250 characters, which the
// folder allows (up to 255), can be saved and replaced, for both files.
TEST_F(SafeWriteTest, LongFileNamesThatFitTheFolderCanBeSaved) {
    const std::string stem(246, 'v');
    const fs::path vehicle = Dir / (stem + ".zv2");
    ASSERT_EQ(vehicle.filename().string().size(), 250u);
    std::string error;
    EXPECT_TRUE(VehicleFile::Write(vehicle.string(), sSettings{}, &error)) << error;
    EXPECT_TRUE(VehicleFile::Write(vehicle.string(), sSettings{}, &error)) << error;
    EXPECT_EQ(Slurp(vehicle), VehicleFile::Format(sSettings{}));
    const fs::path ini = Dir / (std::string(239, 'i') + "zvbasic.ini");
    cIni settings;
    settings.Language = "ru";
    EXPECT_TRUE(settings.Save(ini.string()));
    EXPECT_TRUE(settings.Save(ini.string()));
    EXPECT_EQ(Names().size(), 2u);
}

// Any failure on the way leaves the old file as it was and no temporary
// file behind: a full disk (the file size limit), a write-protected file, a
// folder that cannot be written, a missing folder.
TEST_F(SafeWriteTest, FailuresLeaveTheOldFileWhole) {
    const fs::path p = Dir / "v.zv2";
    Put(p, "old contents\n");
    EXPECT_EQ(InChild([&] {
                  ::signal(SIGXFSZ, SIG_IGN);  // the write then fails with EFBIG
                  struct rlimit lim {
                      4, 4
                  };
                  if (::setrlimit(RLIMIT_FSIZE, &lim) != 0) return 2;
                  std::string error;
                  return SafeWrite::ReplaceFile(p.string(), "much longer new contents\n", &error) || error.empty() ? 1
                                                                                                                   : 0;
              }),
              0);
    EXPECT_EQ(Slurp(p), "old contents\n");

    // Rights are checked by an ordinary user (root may write anything).
    auto asUser = [](const std::function<int()>& fn) {
        return [fn] {
            if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) return 2;
            return fn();
        };
    };
    fs::permissions(Dir, fs::perms::all);
    ::chmod(p.c_str(), 0444);
    EXPECT_EQ(InChild(asUser([&] { return SafeWrite::ReplaceFile(p.string(), "new\n") ? 1 : 0; })), 0);
    ::chmod(p.c_str(), 0666);
    ::chmod(Dir.c_str(), 0555);
    EXPECT_EQ(InChild(asUser([&] { return SafeWrite::ReplaceFile(p.string(), "new\n") ? 1 : 0; })), 0);
    ::chmod(Dir.c_str(), 0755);
    EXPECT_EQ(Slurp(p), "old contents\n");

    EXPECT_FALSE(SafeWrite::ReplaceFile((Dir / "no" / "v.zv2").string(), "x"));
    EXPECT_FALSE(SafeWrite::ReplaceFile("", "x"));
    EXPECT_EQ(Names(), std::set<std::string>{"v.zv2"});
}

}  // namespace

// Temporary files that a killed save left behind go with the next save or
// backup in that folder; anything else stays: a save still running (its
// file locked or recent), other names, other kinds of files.
TEST_F(SafeWriteTest, StaleTemporariesOfKilledSavesAreCleared) {
    struct sCase {
        const char* Name;
        bool Old;     // last changed an hour ago
        bool Folder;  // a folder instead of a file
        bool Locked;  // held by a save still running
        bool Cleared;
    };
    const sCase cases[] = {
        {".zvAb3xY9", true, false, false, true},    {".zv000000", true, false, false, true},
        {".zvRecent", false, false, false, false},  {".zvLocked", true, false, true, false},
        {".zvFolder", true, true, false, false},    {".zvShort", true, false, false, false},
        {".zvTooLong7", true, false, false, false}, {".zvAb-xY9", true, false, false, false},
        {"zvAb3xY9x", true, false, false, false},   {".ZVAb3xY9", true, false, false, false},
    };
    for (const auto& save : {std::function<bool(const std::string&)>(
                                 [](const std::string& p) { return SafeWrite::ReplaceFile(p, "new\n"); }),
                             std::function<bool(const std::string&)>(
                                 [](const std::string& p) { return SafeWrite::CreateNew(p, "new\n"); })}) {
        std::vector<int> held;
        for (const sCase& c : cases) {
            const fs::path p = Dir / c.Name;
            if (c.Folder) fs::create_directory(p);
            else Put(p, "part of a save");
            if (c.Old) {
                const timespec times[2] = {{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
                ASSERT_EQ(::utimensat(AT_FDCWD, p.c_str(), times, 0), 0);
            }
            if (c.Locked) {
                const int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
                ASSERT_GE(fd, 0);
                ASSERT_EQ(::flock(fd, LOCK_EX), 0);
                held.push_back(fd);
            }
        }
        ASSERT_TRUE(save((Dir / "car.zv2").string()));
        EXPECT_EQ(Slurp(Dir / "car.zv2"), "new\n");
        for (const sCase& c : cases) EXPECT_EQ(fs::exists(Dir / c.Name), !c.Cleared) << c.Name;
        for (int fd : held) ::close(fd);
        for (const auto& e : fs::directory_iterator(Dir)) fs::remove_all(e.path());
    }
}
