// The safe writer and the regular-file checks on Windows: replacing and
// creating files whole, binary contents, names in any script, a file held
// by another program, and devices, folders and read-only files refused.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "core/Backup.h"
#include "core/RegularFile.h"
#include "core/SafeWrite.h"

#include "tests/windows/WinTestKit.h"

namespace {

// Names that the ANSI code page of a German, Polish or Russian machine
// cannot all hold at once.
const char* const kNames[] = {
    "plain.zv2",
    "Fahrzeug \xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F.zv2",  // äöüß
    "auto \xC5\x82\xC3\xB3"
    "d\xC5\xBA.zv2",                                         // łódź
    "\xD0\xBC\xD0\xB0\xD1\x88\xD0\xB8\xD0\xBD\xD0\xB0.zv2",  // машина
};

// Only CR LF as written: a text-mode write would double the CRs.
const std::string kContents = "1\r\n2\r\n\n255\r\n";

size_t Temporaries(const cWinTempDir& dir) {
    size_t n = 0;
    for (const auto& e : std::filesystem::directory_iterator(Utf8Path(dir.Path)))
        if (Utf8(e.path().filename()).rfind(".zv", 0) == 0) ++n;
    return n;
}

class FilesWin32Names : public ::testing::TestWithParam<const char*> {};

TEST_P(FilesWin32Names, ReplaceCreatesThenReplacesWhole) {
    const cWinTempDir dir("zv \xC3\xA4\xD0\xB6");  // the folder too
    const std::string path = dir / GetParam();
    std::string error;
    ASSERT_TRUE(SafeWrite::ReplaceFile(path, "old contents, longer than the new", &error)) << error;
    ASSERT_TRUE(SafeWrite::ReplaceFile(path, kContents, &error)) << error;
    EXPECT_EQ(ReadAll(path), kContents);
    std::string back;
    ASSERT_TRUE(RegularFile::ReadSmall(path, 4096, back, error, "too long")) << error;
    EXPECT_EQ(back, kContents);
    EXPECT_EQ(Temporaries(dir), 0u);
}

TEST_P(FilesWin32Names, CreateNewNeverReplaces) {
    const cWinTempDir dir;
    const std::string path = dir / GetParam();
    std::string error;
    bool exists = true;
    ASSERT_TRUE(SafeWrite::CreateNew(path, kContents, &error, &exists)) << error;
    EXPECT_FALSE(exists);
    EXPECT_FALSE(SafeWrite::CreateNew(path, "other", &error, &exists));
    EXPECT_TRUE(exists);
    EXPECT_EQ(ReadAll(path), kContents);
    EXPECT_EQ(Temporaries(dir), 0u);
}

TEST_P(FilesWin32Names, WrittenDescriptorIsBinary) {
    const cWinTempDir dir;
    const std::string path = dir / GetParam();
    std::string error;
    const int fd = RegularFile::OpenForWriting(path, error);
    ASSERT_GE(fd, 0) << error;
    EXPECT_EQ(RegularFile::Write(fd, kContents.data(), kContents.size()), (long long)kContents.size());
    EXPECT_EQ(RegularFile::Close(fd), 0);
    EXPECT_EQ(ReadAll(path), kContents);
}

INSTANTIATE_TEST_SUITE_P(Names, FilesWin32Names, ::testing::ValuesIn(kNames));

struct sRefusal {
    const char* What;
    std::string (*Target)(const cWinTempDir&);
};

class FilesWin32Refused : public ::testing::TestWithParam<sRefusal> {};

// Nothing but a regular file that may be written is replaced, and a refused
// save leaves no temporary file behind.
TEST_P(FilesWin32Refused, ReplaceRefusesAndLeavesNothing) {
    const cWinTempDir dir;
    const std::string target = GetParam().Target(dir);
    const std::string before = ReadAll(target);
    std::string error;
    EXPECT_FALSE(SafeWrite::ReplaceFile(target, kContents, &error)) << GetParam().What;
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(ReadAll(target), before);
    EXPECT_EQ(Temporaries(dir), 0u);
}

TEST_P(FilesWin32Refused, CheckOutputRefuses) {
    const cWinTempDir dir;
    std::string error;
    EXPECT_FALSE(RegularFile::CheckOutput(GetParam().Target(dir), error)) << GetParam().What;
}

INSTANTIATE_TEST_SUITE_P(Cases, FilesWin32Refused,
                         ::testing::Values(sRefusal{"a folder",
                                                    [](const cWinTempDir& d) {
                                                        CreateDirectoryW(Utf16::Widen(d / "folder.zv2").c_str(),
                                                                         nullptr);
                                                        return d / "folder.zv2";
                                                    }},
                                           sRefusal{"a read-only file",
                                                    [](const cWinTempDir& d) {
                                                        WriteAll(d / "locked.zv2", "keep");
                                                        SetFileAttributesW(Utf16::Widen(d / "locked.zv2").c_str(),
                                                                           FILE_ATTRIBUTE_READONLY);
                                                        return d / "locked.zv2";
                                                    }},
                                           sRefusal{"a file in a folder that is not there",
                                                    [](const cWinTempDir& d) { return d / "missing\\x.zv2"; }}));

// A file another program holds open (a report in a PDF viewer, a CSV in a
// spreadsheet): the save tries again for a moment and succeeds once the file
// is let go; a file still held is said plainly, stays whole and leaves no
// temporary. Held with delete sharing, the system may let the replacement
// through; if not, the same plain failure.
TEST(FilesWin32, AFileHeldByAnotherProgramIsWaitedForThenSaidPlainly) {
    struct sCase {
        const char* What;
        DWORD Share;
        int LetGoAt;  // the try after which the holder closes it (0: never)
        int Saved;    // 1 saved, 0 refused, -1 either
    };
    const sCase cases[] = {
        {"held, let go while the save waits", FILE_SHARE_READ, 3, 1},
        {"held all the time", FILE_SHARE_READ | FILE_SHARE_WRITE, 0, 0},
        {"held with delete sharing", FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0, -1},
    };
    for (const sCase& c : cases) {
        SCOPED_TRACE(c.What);
        const cWinTempDir dir;
        const std::string path = dir / "report.pdf";
        ASSERT_TRUE(WriteAll(path, "old"));
        HANDLE held =
            CreateFileW(Utf16::Widen(path).c_str(), GENERIC_READ, c.Share, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        int tries = 0;
        SafeWrite::SetHeldFileRetryHook([&](int attempt) {
            tries = attempt;
            if (attempt == c.LetGoAt) {
                CloseHandle(held);
                held = INVALID_HANDLE_VALUE;
            }
        });
        std::string error;
        const bool saved = SafeWrite::ReplaceFile(path, kContents, &error);
        SafeWrite::SetHeldFileRetryHook({});
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
        if (c.Saved >= 0) {
            EXPECT_EQ(saved, c.Saved == 1) << error;
        }
        EXPECT_EQ(ReadAll(path), saved ? kContents : "old");
        if (!saved) {
            EXPECT_EQ(error, "the file is open in another program; close it and try again");
            EXPECT_EQ(tries, 19);  // waited its second
        }
        if (c.LetGoAt) {
            EXPECT_EQ(tries, c.LetGoAt);
        }
        EXPECT_EQ(Temporaries(dir), 0u);
    }
}

// The devices Windows keeps under every name are no files to read.
TEST(FilesWin32, DevicesAreNotRegularFiles) {
    for (const char* device : {"NUL", "\\\\.\\NUL"}) {
        std::string text, error;
        EXPECT_FALSE(RegularFile::ReadSmall(device, 4096, text, error, "too long")) << device;
        EXPECT_EQ(error, RegularFile::NotRegular) << device;
        EXPECT_EQ(RegularFile::OpenForWriting(device, error), -1) << device;
    }
}

// Stale temporaries of a killed save go; one a save still holds stays.
TEST(FilesWin32, StaleTemporariesGoUnlessHeld) {
    const cWinTempDir dir;
    ASSERT_TRUE(WriteAll(dir / ".zvAbC123", "stale"));
    ASSERT_TRUE(WriteAll(dir / ".zvHeld00", "held"));
    ASSERT_TRUE(WriteAll(dir / ".zvtoolong1", "not ours"));
    HANDLE held =
        CreateFileW(Utf16::Widen(dir / ".zvHeld00").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(SafeWrite::ClearStaleTemporaries(dir.Path, 0), 1);
    CloseHandle(held);
    EXPECT_EQ(ReadAll(dir / ".zvAbC123"), "<missing>");
    EXPECT_EQ(ReadAll(dir / ".zvHeld00"), "held");
    EXPECT_EQ(ReadAll(dir / ".zvtoolong1"), "not ours");
}

// A backup's name holds the local time with its offset (+hhmm), and reads
// back as the same moment.
TEST(FilesWin32, BackupNameReadsBackAsTheSameTime) {
    for (std::time_t when : {std::time_t(0) + 86400, std::time_t(1780000000), std::time_t(1800000000)}) {
        const std::string name = Backup::FileName(when, "2.5/3.0");
        Backup::sEntry entry;
        ASSERT_TRUE(Backup::ParseName(name, entry)) << name;
        EXPECT_EQ(entry.When, std::int64_t(when)) << name;
    }
}

// Backups go into a folder made with its parents, and list newest first.
TEST(FilesWin32, BackupsAreWrittenAndListed) {
    const cWinTempDir dir("zv backups \xD0\xB6");
    const std::string folder = dir / "a\\b";
    const Backup::sResult first = Backup::Save(folder, "2.5/3.0", "1\r\n", 1800000000);
    ASSERT_EQ(first.Outcome, Backup::eOutcome::Written) << first.Error;
    const Backup::sResult same = Backup::Save(folder, "2.5/3.0", "1\r\n", 1800000100);
    EXPECT_EQ(same.Outcome, Backup::eOutcome::Unchanged);
    const Backup::sResult second = Backup::Save(folder, "2.5/3.0", "2\r\n", 1800000000);
    ASSERT_EQ(second.Outcome, Backup::eOutcome::Written) << second.Error;
    const auto list = Backup::List(folder);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].Path, second.Path);
    EXPECT_EQ(ReadAll(list[0].Path), "2\r\n");
}

}  // namespace
