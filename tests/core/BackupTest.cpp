// The automatic backups: names, the duplicate rule, never over an existing
// file, the listing order, and failures that leave nothing behind.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>

#include "core/Backup.h"
#include "core/SafeWrite.h"

#include "tests/TestKit.h"

namespace fs = std::filesystem;
using testkit::Slurp;

namespace {
// The clock's zone for one test (a POSIX TZ string: no zone files needed).
class cZone {
public:
    explicit cZone(const char* tz) {
        const char* old = std::getenv("TZ");
        Had = old != nullptr;
        Saved = old ? old : "";
        Set(tz);
    }
    ~cZone() {
        if (Had) ::setenv("TZ", Saved.c_str(), 1);
        else ::unsetenv("TZ");
        ::tzset();
    }
    void Set(const char* tz) {
        ::setenv("TZ", tz, 1);
        ::tzset();
    }

private:
    bool Had = false;
    std::string Saved;
};

// 2026-12-08 14:03:27 local time.
std::time_t At(int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 11;
    t.tm_mday = 8;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return std::mktime(&t);
}
}  // namespace

TEST(Backup, NamesSortByTimeAndAreSafeEverywhere) {
    cZone zone("CET-1");
    EXPECT_EQ(Backup::FileName(At(14, 3, 27), "2.5/3.0"), "2026-12-08_14-03-27+0100_ECU-2.5-3.0.zv2");
    zone.Set("NST3:30");
    EXPECT_EQ(Backup::FileName(At(14, 3, 27), "2.5/3.0"), "2026-12-08_14-03-27-0330_ECU-2.5-3.0.zv2");
    EXPECT_EQ(Backup::IdentityPart("2.5/3.12"), "ECU-2.5-3.12");
    EXPECT_EQ(Backup::IdentityPart("a:b\\c*?<>|\"_ x."), "ECU-a-b-c--------x-");

    struct sCase {
        const char* Name;
        bool Backup;
        const char* Identity;
        int Suffix;
        const char* Time;
        std::int64_t When;  // UTC; 0: an older name, taken as local time
    } cases[] = {
        {"2026-12-08_14-03-27+0100_ECU-2.5-3.0.zv2", true, "2.5/3.0", 1, "2026-12-08 14:03:27+01:00", 1796735007},
        {"2026-12-08_14-03-27-0330_ECU-2.5-3.0_3.zv2", true, "2.5/3.0", 3, "2026-12-08 14:03:27-03:30", 1796751207},
        {"2026-12-08_14-03-27+0000_ECU-2.5-3.0.zv2", true, "2.5/3.0", 1, "2026-12-08 14:03:27+00:00", 1796738607},
        {"2026-12-08_14-03-27_ECU-2.5-3.0.zv2", true, "2.5/3.0", 1, "2026-12-08 14:03:27", 0},
        {"2026-12-08_14-03-27_ECU-2.5-3.0_3.zv2", true, "2.5/3.0", 3, "2026-12-08 14:03:27", 0},
        {"2026-12-08_14-03-27_ECU-2.5-3.0_1.zv2", false, "", 0, "", 0},
        {"2026-12-08_14-03-27+01_ECU-2.5-3.0.zv2", false, "", 0, "", 0},
        {"2026-12-08_14-03-27+0100ECU-2.5-3.0.zv2", false, "", 0, "", 0},
        {"2026-12-08_14-03-27_ECU-.zv2", false, "", 0, "", 0},
        {"2026-12-08_14-03-27_ECU-2.5-3.0.zv2~", false, "", 0, "", 0},
        {"2026-1x-08_14-03-27_ECU-2.5-3.0.zv2", false, "", 0, "", 0},
        {"vehicle.zv2", false, "", 0, "", 0},
    };
    for (const sCase& c : cases) {
        Backup::sEntry e;
        EXPECT_EQ(Backup::ParseName(c.Name, e), c.Backup) << c.Name;
        if (!c.Backup) continue;
        EXPECT_EQ(e.Identity, c.Identity) << c.Name;
        EXPECT_EQ(e.Suffix, c.Suffix) << c.Name;
        EXPECT_EQ(e.Time, c.Time) << c.Name;
        EXPECT_EQ(e.When, c.When ? c.When : std::int64_t(At(14, 3, 27))) << c.Name;
    }
}

// Only a moment that can be makes a backup's name: junk that sorts first
// ("2099-13-45") would otherwise be the newest backup.
TEST(Backup, NamesWithAnImpossibleMomentAreNoBackups) {
    const struct {
        const char* Stamp;
        bool Real;
    } cases[] = {
        {"2099-13-45_99-99-99+9999", false}, {"2026-00-08_14-03-27+0100", false}, {"2026-12-00_14-03-27+0100", false},
        {"2026-12-32_14-03-27+0100", false}, {"2026-04-31_14-03-27+0100", false}, {"2026-02-29_14-03-27+0100", false},
        {"2100-02-29_14-03-27+0100", false}, {"2026-12-08_24-00-00+0100", false}, {"2026-12-08_14-60-00+0100", false},
        {"2026-12-08_14-03-60+0100", false}, {"2026-12-08_14-03-27+1500", false}, {"2026-12-08_14-03-27-0060", false},
        {"1969-12-31_23-59-59+0000", false}, {"2026-13-08_14-03-27", false},      {"2028-02-29_14-03-27+0100", true},
        {"2000-02-29_00-00-00-1200", true},  {"2026-12-31_23-59-59+1400", true},  {"2026-04-30_00-00-00", true},
        {"2099-01-01_00-00-00+0000", true},
    };
    for (const auto& c : cases) {
        Backup::sEntry e;
        const std::string name = std::string(c.Stamp) + "_ECU-2.5-3.0.zv2";
        EXPECT_EQ(Backup::ParseName(name, e), c.Real) << name;
    }
}

// With a check of the contents, a file named like a backup that is no
// backup inside lists as nothing and does not stand in for the newest
// backup in the duplicate rule.
TEST(Backup, ListAndSaveTakeOnlyWholeFilesAsBackups) {
    cZone zone("UTC0");
    testkit::cTempDir tmp;
    const std::string folder = tmp.Path.string();
    const auto whole = [](const std::string& text) { return text.rfind("ok", 0) == 0; };
    const std::string a = "ok 1\r\n";
    ASSERT_EQ(Backup::Save(folder, "2.5/3.0", a, At(14, 0, 0), whole).Outcome, Backup::eOutcome::Written);
    // Newer junk of the same ECU: wrong contents, and a file too long to be one.
    std::ofstream(tmp.Path / "2026-12-08_15-00-00+0000_ECU-2.5-3.0.zv2") << "junk\r\n";
    std::ofstream(tmp.Path / "2026-12-08_16-00-00+0000_ECU-2.5-3.0.zv2") << "ok" << std::string(5000, ' ');
    std::ofstream(tmp.Path / "2099-13-45_99-99-99+9999_ECU-2.5-3.0.zv2") << a;

    const auto list = Backup::List(folder, whole);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].Name, "2026-12-08_14-00-00+0000_ECU-2.5-3.0.zv2");
    EXPECT_EQ(Backup::List(folder).size(), 3u);  // by names alone

    const auto r = Backup::Save(folder, "2.5/3.0", a, At(17, 0, 0), whole);
    EXPECT_EQ(r.Outcome, Backup::eOutcome::Unchanged);
    EXPECT_EQ(r.Path, list[0].Path);
    EXPECT_EQ(Backup::Save(folder, "2.5/3.0", "ok 2\r\n", At(17, 0, 0), whole).Outcome, Backup::eOutcome::Written);
}

TEST(Backup, FolderFollowsXdgDataHome) {
    testkit::cScopedEnv xdg("XDG_DATA_HOME", "/data/x/");
    EXPECT_EQ(Backup::Folder(), "/data/x/zvbasic/backups");
    xdg.Set("relative");  // not absolute: ignored
    const char* home = std::getenv("HOME");
    if (home && *home) {
        EXPECT_EQ(Backup::Folder(), std::string(home) + "/.local/share/zvbasic/backups");
    }
}

// One new file per changed content, none for the same content, a suffix in
// the same second, each identity judged by its own newest backup.
TEST(Backup, SaveWritesOnlyWhatIsNotBackedUpYet) {
    cZone zone("UTC0");
    testkit::cTempDir tmp;
    const std::string folder = (tmp.Path / "deep" / "zvbasic" / "backups").string();  // made when missing
    const std::string a = "1\r\n2\r\n", b = "1\r\n3\r\n";

    auto r = Backup::Save(folder, "2.5/3.0", a, At(14, 3, 27));
    ASSERT_EQ(r.Outcome, Backup::eOutcome::Written) << r.Error;
    EXPECT_EQ(r.Path, folder + "/2026-12-08_14-03-27+0000_ECU-2.5-3.0.zv2");
    EXPECT_EQ(Slurp(r.Path), a);

    r = Backup::Save(folder, "2.5/3.0", a, At(14, 5, 0));
    EXPECT_EQ(r.Outcome, Backup::eOutcome::Unchanged);
    EXPECT_EQ(r.Path, folder + "/2026-12-08_14-03-27+0000_ECU-2.5-3.0.zv2");

    r = Backup::Save(folder, "2.5/3.0", b, At(14, 3, 27));  // same second, the name is taken
    ASSERT_EQ(r.Outcome, Backup::eOutcome::Written) << r.Error;
    EXPECT_EQ(r.Path, folder + "/2026-12-08_14-03-27+0000_ECU-2.5-3.0_2.zv2");
    EXPECT_EQ(Slurp(folder + "/2026-12-08_14-03-27+0000_ECU-2.5-3.0.zv2"), a);

    // Back to the first values: the newest holds others, so a third file.
    r = Backup::Save(folder, "2.5/3.0", a, At(14, 10, 0));
    EXPECT_EQ(r.Outcome, Backup::eOutcome::Written);
    // Another ECU with the same values has no backup of its own yet.
    r = Backup::Save(folder, "2.5/3.1", a, At(14, 11, 0));
    EXPECT_EQ(r.Outcome, Backup::eOutcome::Written);

    const auto list = Backup::List(folder);
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].Name, "2026-12-08_14-11-00+0000_ECU-2.5-3.1.zv2");
    EXPECT_EQ(list[1].Name, "2026-12-08_14-10-00+0000_ECU-2.5-3.0.zv2");
    EXPECT_EQ(list[2].Name, "2026-12-08_14-03-27+0000_ECU-2.5-3.0_2.zv2");
    EXPECT_EQ(list[3].Name, "2026-12-08_14-03-27+0000_ECU-2.5-3.0.zv2");
    EXPECT_EQ(list[0].Identity, "2.5/3.1");
    // Nothing else in the folder: no temporary file left.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 4);
}

TEST(Backup, UnusableFoldersFailAndLeaveNothing) {
    testkit::cTempDir tmp;
    std::ofstream(tmp.Path / "file") << "x";
    auto r = Backup::Save((tmp.Path / "file" / "backups").string(), "2.5/3.0", "1\r\n", At(1, 2, 3));
    EXPECT_EQ(r.Outcome, Backup::eOutcome::Failed);
    EXPECT_NE(r.Error.find("file"), std::string::npos) << r.Error;
    EXPECT_EQ(Backup::Save("", "2.5/3.0", "1\r\n", At(1, 2, 3)).Outcome, Backup::eOutcome::Failed);

    if (::geteuid() != 0) {  // root writes anywhere
        const fs::path locked = tmp.Path / "locked";
        fs::create_directory(locked);
        fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
        r = Backup::Save(locked.string(), "2.5/3.0", "1\r\n", At(1, 2, 3));
        EXPECT_EQ(r.Outcome, Backup::eOutcome::Failed);
        fs::permissions(locked, fs::perms::owner_all);
        EXPECT_TRUE(fs::is_empty(locked));
    }
}

// A new file never replaces anything under its name, not even a dangling link.
TEST(Backup, CreateNewNeverReplaces) {
    testkit::cTempDir tmp;
    const fs::path file = tmp.Path / "f.zv2", link = tmp.Path / "l.zv2";
    std::ofstream(file) << "old";
    fs::create_symlink(tmp.Path / "nowhere", link);
    for (const fs::path& p : {file, link}) {
        bool exists = false;
        std::string error;
        EXPECT_FALSE(SafeWrite::CreateNew(p.string(), "new", &error, &exists)) << p;
        EXPECT_TRUE(exists) << p;
    }
    EXPECT_EQ(Slurp(file), "old");
    EXPECT_FALSE(fs::exists(tmp.Path / "nowhere"));
    EXPECT_TRUE(SafeWrite::CreateNew((tmp.Path / "n.zv2").string(), "new"));
    EXPECT_EQ(Slurp(tmp.Path / "n.zv2"), "new");
    EXPECT_EQ(tmp.Names().size(), 3u);
}

TEST(Backup, WriterMakesBackupsInTurnOffTheCallersThread) {
    cZone zone("UTC0");
    testkit::cTempDir tmp;
    std::vector<std::string> contents;
    std::thread::id caller = std::this_thread::get_id(), writer;
    {
        Backup::cWriter w([&](const Backup::sJob& job, const Backup::sResult& r) {
            writer = std::this_thread::get_id();
            if (r.Outcome == Backup::eOutcome::Written) contents.push_back(job.Contents);
        });
        for (const char* c : {"1\r\n", "1\r\n", "2\r\n", "3\r\n"})
            w.Submit({tmp.Path.string(), "2.5/3.0", c, At(9, 0, 0)});
        w.Flush();
        EXPECT_EQ(contents, (std::vector<std::string>{"1\r\n", "2\r\n", "3\r\n"}));
        w.Submit({tmp.Path.string(), "2.5/3.0", "4\r\n", At(9, 0, 0)});
    }  // the destructor finishes what was handed over
    EXPECT_EQ(contents.size(), 4u);
    EXPECT_NE(writer, caller);
    EXPECT_EQ(Backup::List(tmp.Path.string()).front().Name, "2026-12-08_09-00-00+0000_ECU-2.5-3.0_4.zv2");
}

// Backups made while the clock's zone changed (travel, the end of summer
// time) list in the order they were made, and the duplicate check looks at
// the one made last; older names without an offset list among them.
TEST(Backup, OrderIsTheOrderMadeWhateverTheZone) {
    testkit::cTempDir tmp;
    const std::string folder = tmp.Path.string();
    cZone zone("UTC0");
    const std::time_t t = At(14, 0, 0);
    std::ofstream(tmp.Path / "2026-12-08_01-00-00_ECU-2.5-3.0.zv2") << "0\r\n";  // an older name, hours before
    zone.Set("JST-9");
    ASSERT_EQ(Backup::Save(folder, "2.5/3.0", "1\r\n", t).Outcome, Backup::eOutcome::Written);  // 23:00 local
    zone.Set("UTC0");
    ASSERT_EQ(Backup::Save(folder, "2.5/3.0", "2\r\n", t + 60).Outcome, Backup::eOutcome::Written);  // 14:01
    zone.Set("EST5");
    ASSERT_EQ(Backup::Save(folder, "2.5/3.0", "1\r\n", t + 120).Outcome, Backup::eOutcome::Written);  // 09:02
    EXPECT_EQ(Backup::Save(folder, "2.5/3.0", "1\r\n", t + 180).Outcome, Backup::eOutcome::Unchanged);
    zone.Set("UTC0");
    std::vector<std::string> names;
    for (const Backup::sEntry& e : Backup::List(folder)) names.push_back(e.Name);
    EXPECT_EQ(names, (std::vector<std::string>{
                         "2026-12-08_09-02-00-0500_ECU-2.5-3.0.zv2", "2026-12-08_14-01-00+0000_ECU-2.5-3.0.zv2",
                         "2026-12-08_23-00-00+0900_ECU-2.5-3.0.zv2", "2026-12-08_01-00-00_ECU-2.5-3.0.zv2"}));
}

// The duplicate check reads no file of another size than a backup's: a huge
// file under a backup's name costs neither the time nor the memory to read it.
TEST(Backup, DuplicateCheckComparesSizesFirst) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the memory limit below does not go with a sanitizer's shadow memory";
#else
    testkit::cTempDir tmp;
    cZone zone("UTC0");
    const fs::path big = tmp.Path / "2026-12-08_15-00-00+0000_ECU-2.5-3.0.zv2";
    { std::ofstream(big) << ""; }
    fs::resize_file(big, std::uintmax_t(1) << 31);  // sparse: no disk space
    const pid_t pid = ::fork();
    if (pid == 0) {
        struct rlimit lim {
            rlim_t(1) << 30, rlim_t(1) << 30
        };
        ::setrlimit(RLIMIT_AS, &lim);
        try {
            const auto r = Backup::Save(tmp.Path.string(), "2.5/3.0", "1\r\n", At(14, 0, 0));
            ::_exit(r.Outcome == Backup::eOutcome::Written ? 0 : 1);
        } catch (...) {
            ::_exit(2);  // out of memory: the file was read
        }
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
#endif
}
