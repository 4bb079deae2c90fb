// zvbasic-cli's automatic backups: a backup before anything changes the ECU,
// nothing changed when the read fails, the listing, a backup folder that
// cannot be written, and the backup named whatever ends a change. The
// commands run in this process on the ECU in memory; Ctrl+C in the middle of
// a write goes to the program itself on a line at the ECU's speed.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tools/ecusim/EcuSimulator.h"

#include "tests/TestKit.h"

#include "CliRunner.h"
#include "MemoryCli.h"

namespace fs = std::filesystem;
using testkit::Slurp;

namespace {

// closed, switch, type, div, level, min rpm, max rpm, min, max, h0, h1, h2, lambda, cyl, coil
const char* const kFile = "0\r\n101\r\n1\r\n1\r\n1\r\n30\r\n12\r\n61\r\n141\r\n111\r\n96\r\n86\r\n2\r\n6\r\n3\r\n";

// Runs the test with XDG_DATA_HOME (also inherited by zvbasic-cli) in a folder of its own.
class CliBackup : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("XDG_DATA_HOME");
        Saved = old ? old : "";
        HadOld = old != nullptr;
        SetDataHome((Dir.Path / "data").string());
    }
    void TearDown() override {
        if (HadOld) ::setenv("XDG_DATA_HOME", Saved.c_str(), 1);
        else ::unsetenv("XDG_DATA_HOME");
    }
    void SetDataHome(const std::string& path) { ::setenv("XDG_DATA_HOME", path.c_str(), 1); }
    fs::path Folder() const { return Dir.Path / "data" / "zvbasic" / "backups"; }
    // A command on the ECU (its port added); Cli: one that needs no ECU.
    clitest::sMemoryRun Run(const std::vector<std::string>& args) { return Line.Run(args); }
    clitest::sMemoryRun Cli(const std::vector<std::string>& args) { return Line.Offline(args); }
    static sSimOptions Options() {
        sSimOptions o;
        o.Version = 48;
        o.Instant = true;
        return o;
    }
    std::vector<uint8_t> Changes() const {
        std::vector<uint8_t> out;
        for (uint8_t c : Sim.Commands())
            if ((c & 0xF0) == 0xC0 || c == 0x63) out.push_back(c);
        return out;
    }

    testkit::cTempDir Dir;
    linktest::cMemoryEcu Sim{Options()};
    clitest::cMemoryCli Line{Sim};
    std::string Saved;
    bool HadOld = false;
};

}  // namespace

TEST_F(CliBackup, WriteBacksTheEcuUpBeforeChangingItAndListsTheBackups) {
    const std::string before = (Dir.Path / "before.zv2").string(), file = (Dir.Path / "file.zv2").string();
    auto run = Run({"--quiet", "--no-backup", "read", "-o", before});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_FALSE(fs::exists(Folder()));
    std::ofstream(file, std::ios::binary) << kFile;

    run = Run({"write", file});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    const std::string tell = "zvbasic-cli: backup of the ECU's settings: ";
    const size_t at = run.Err.find(tell);
    ASSERT_NE(at, std::string::npos) << run.Err;
    EXPECT_LT(at, run.Err.find("writing settings")) << run.Err;
    const std::string path = run.Err.substr(at + tell.size(), run.Err.find('\n', at) - at - tell.size());
    EXPECT_EQ(fs::path(path).parent_path(), Folder());
    EXPECT_EQ(Slurp(path), Slurp(before));  // what the ECU held before the write

    // The verifying read made a second backup, of the new values: newest first.
    run = Cli({"backups", "--json"});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    const std::string newest = Cli({"backups", "--latest"}).Out;
    ASSERT_FALSE(newest.empty());
    EXPECT_EQ(Slurp(newest.substr(0, newest.size() - 1)), kFile);
    const std::string second = "{\"time\":";
    EXPECT_EQ(run.Out.find("\"path\":\"" + newest.substr(0, newest.size() - 1) + "\""), run.Out.find("\"path\""))
        << run.Out;
    EXPECT_NE(run.Out.find("\"identity\":\"2.5/3.0\",\"path\":\"" + path + "\"}]"), std::string::npos) << run.Out;
    int entries = 0;
    for (size_t i = run.Out.find(second); i != std::string::npos; i = run.Out.find(second, i + 1)) ++entries;
    EXPECT_EQ(entries, 2) << run.Out;

    // Writing the same file again: the ECU already holds it and its newest
    // backup too, so no new file; --json names that backup.
    run = Run({"--quiet", "--json", "write", file});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_NE(run.Out.find("\"backup\":\"" + newest.substr(0, newest.size() - 1) + "\""), std::string::npos) << run.Out;
    EXPECT_EQ(std::distance(fs::directory_iterator(Folder()), fs::directory_iterator()), 2);
}

// When the read before a change fails, the ECU is not touched and nothing is backed up.
TEST_F(CliBackup, WriteAndFactoryChangeNothingWhenTheirReadFails) {
    const std::string file = (Dir.Path / "file.zv2").string();
    std::ofstream(file, std::ios::binary) << kFile;
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--quiet", "write", file},
                                                 {"--quiet", "write", "--no-store", file},
                                                 {"--quiet", "factory", "--yes"}}) {
        Sim.SetFault(eSimFault::SilenceAfter, 2);  // identified, then silent
        auto run = Run(args);
        EXPECT_EQ(run.Exit, 4) << args[1] << ": " << run.Err;
        EXPECT_TRUE(Changes().empty()) << args[1];
        for (uint8_t c : Sim.Commands()) EXPECT_NE(c, 0xCF) << args[1];
        EXPECT_FALSE(fs::exists(Folder())) << args[1];
        Sim.SetFault(eSimFault::None);
    }
}

TEST_F(CliBackup, AnUnwritableFolderIsOneLineAndNoOtherExitCode) {
    std::ofstream(Dir.Path / "file") << "x";
    SetDataHome((Dir.Path / "file").string());  // a file where the folder should be
    auto run = Run({"--quiet", "read"});
    EXPECT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(std::count(run.Err.begin(), run.Err.end(), '\n'), 1) << run.Err;
    EXPECT_EQ(run.Err.rfind("zvbasic-cli: no backup of the ECU's settings: ", 0), 0u) << run.Err;
    EXPECT_FALSE(run.Out.empty());

    run = Cli({"backups", "--latest"});
    EXPECT_EQ(run.Exit, 5);
    EXPECT_EQ(run.Out, "");
    run = Cli({"backups", "--json"});
    EXPECT_EQ(run.Exit, 0);
    EXPECT_EQ(run.Out, "[]\n");
}

// Files named like backups that are none (an impossible moment, contents
// that are no whole vehicle file) are neither listed nor the newest backup,
// and do not make the same values be backed up again.
TEST_F(CliBackup, JunkInTheFolderIsNoBackup) {
    auto run = Run({"--quiet", "read"});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    const std::string real = Cli({"backups", "--latest"}).Out;
    ASSERT_FALSE(real.empty());
    const struct {
        const char* Name;
        const char* Contents;
    } junk[] = {
        {"2099-13-45_99-99-99+9999_ECU-2.5-3.0.zv2", kFile},                   // no such moment
        {"2098-02-30_10-00-00+0100_ECU-2.5-3.0.zv2", kFile},                   // no 30 February
        {"2097-01-01_10-00-00+0100_ECU-2.5-3.0.zv2", "not a vehicle file\n"},  // a valid moment, junk inside
        {"2096-01-01_10-00-00+0100_ECU-2.5-3.0.zv2", "1\r\n2\r\n"},            // cut short
        {"2095-01-01_10-00-00+0100_ECU-2.5-3.0.zv2", ""},                      // empty
    };
    for (const auto& j : junk) std::ofstream(Folder() / j.Name, std::ios::binary) << j.Contents;

    run = Cli({"backups", "--latest"});
    EXPECT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(run.Out, real);
    run = Cli({"backups"});
    EXPECT_EQ(std::count(run.Out.begin(), run.Out.end(), '\n'), 1) << run.Out;
    for (const auto& j : junk) EXPECT_EQ(run.Out.find(j.Name), std::string::npos) << j.Name;

    // The ECU still holds what the real backup holds: no new file.
    run = Run({"--quiet", "read"});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(std::distance(fs::directory_iterator(Folder()), fs::directory_iterator()), 1 + std::size(junk));
}

// Whatever ends a write or a factory reset after its backup was made (the
// ECU silent in the middle, the store refused, the read back cut, Ctrl+C),
// the one JSON object names the backup that puts the car back.
TEST_F(CliBackup, EveryJsonObjectOfAChangeNamesItsBackup) {
    const std::string file = (Dir.Path / "file.zv2").string();
    std::ofstream(file, std::ios::binary) << kFile;
    const std::array<uint8_t, 16> held = Sim.Settings();
    // What the ECU holds before.
    const std::string before = (Dir.Path / "before.zv2").string();
    ASSERT_EQ(Run({"--quiet", "--no-backup", "read", "-o", before}).Exit, 0);

    // The ECU falls silent after a step of the command (the answer to its
    // frame, whatever the link polled before it), or refuses the store.
    const struct {
        const char* Case;
        std::vector<std::string> Args;
        eSimFault Fault;
        int SilentAt;    // silent once a frame with this command is answered (-1: never)
        bool Interrupt;  // SIGINT at the first change sent, to an ECU at line speed
        int Exit;
    } cases[] = {
        {"silent mid-write", {"write", file}, eSimFault::None, 0xC3, false, 4},
        {"store refused", {"write", file}, eSimFault::RefuseStore, -1, false, 4},
        {"read back cut", {"write", file}, eSimFault::None, 0x63, false, 4},
        {"Ctrl+C mid-write", {"write", file}, eSimFault::None, -1, true, 130},
        {"factory, silent after", {"factory", "--yes"}, eSimFault::None, 0xCF, false, 4},
    };
    // At 1200 baud the rest of a write and its read back take more than a
    // second after the first change: Ctrl+C comes in the middle.
    sSimOptions lineSpeed = Options();
    lineSpeed.Instant = false;
    cEcuSimulator slow(lineSpeed);
    slow.Start();
    slow.SetSettings(held);
    const auto changing = [&] {
        for (uint8_t code : slow.Commands())
            if ((code & 0xF0) == 0xC0) return true;
        return false;
    };
    for (const auto& c : cases) {
        if (c.Interrupt && CliExe().empty()) continue;  // zvbasic-cli not built (ZV_BIN_DIR)
        fs::remove_all(Folder());
        Sim.SetSettings(held);
        Sim.SetFault(eSimFault::None);
        Sim.ClearLog();
        Sim.SetFault(c.Fault);
        Sim.SilenceAfterCommand(c.SilentAt);
        std::vector<std::string> args = {"--quiet", "--json"};
        args.insert(args.end(), c.Args.begin(), c.Args.end());
        clitest::sMemoryRun run;
        if (c.Interrupt) {
            // The program itself, which takes the signal as a fitter's Ctrl+C.
            args.insert(args.begin(), {"--port", slow.DevicePath()});
            const sCliRun child = RunCli(CliExe(), args, changing, SIGINT);
            run = {child.Exit, child.Out, child.Err};
        } else {
            run = Run(args);
        }
        EXPECT_EQ(run.Exit, c.Exit) << c.Case << ": " << run.Err;
        EXPECT_EQ(std::count(run.Out.begin(), run.Out.end(), '\n'), 1) << c.Case << ": " << run.Out;
        const std::string key = "\"backup\":\"";
        const size_t at = run.Out.find(key);
        ASSERT_NE(at, std::string::npos) << c.Case << ": " << run.Out;
        const std::string path = run.Out.substr(at + key.size(), run.Out.find('"', at + key.size()) - at - key.size());
        EXPECT_EQ(fs::path(path).parent_path(), Folder()) << c.Case;
        EXPECT_NE(run.Out.find("\"error\":"), std::string::npos) << c.Case << ": " << run.Out;
        EXPECT_EQ(Slurp(path), Slurp(before)) << c.Case;  // what the ECU held before
    }
    Sim.SetFault(eSimFault::None);
    Sim.SilenceAfterCommand(-1);
}
