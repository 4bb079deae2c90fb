// Where zvbasic.ini and the backups live on Windows: beside the executable
// in an unpacked folder that may be written, otherwise the user's own
// folders; and the program folder from the system.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "core/Backup.h"
#include "core/Folders.h"
#include "core/Ini.h"

#include "tests/windows/WinTestKit.h"

namespace {

struct sFolderOfCase {
    const char* Path;
    const char* Folder;
};

class FoldersWin32FolderOf : public ::testing::TestWithParam<sFolderOfCase> {};

TEST_P(FoldersWin32FolderOf, TakesBothSeparators) {
    EXPECT_EQ(Folders::FolderOf(GetParam().Path), GetParam().Folder) << GetParam().Path;
}

INSTANTIATE_TEST_SUITE_P(Cases, FoldersWin32FolderOf,
                         ::testing::Values(sFolderOfCase{"C:\\zv\\zvbasic.ini", "C:\\zv"},
                                           sFolderOfCase{"C:/zv/sub/car.zv2", "C:/zv/sub"},
                                           sFolderOfCase{"C:\\car.zv2", "C:\\"}, sFolderOfCase{"C:car.zv2", "C:."},
                                           sFolderOfCase{"car.zv2", "."},
                                           sFolderOfCase{"\\\\server\\share\\car.zv2", "\\\\server\\share"}));

enum class eLayout { Portable, NoCatalogues, ReadOnlyIni };

struct sIniCase {
    const char* What;
    eLayout Layout;
    bool Beside;  // written beside the executable, else in %APPDATA%
};

class FoldersWin32Ini : public ::testing::TestWithParam<sIniCase> {};

TEST_P(FoldersWin32Ini, ChoosesWhereTheSettingsGo) {
    const cWinTempDir program("zv program \xC5\x82");
    const cWinTempDir appData("zv appdata \xD0\xB6");
    const cWinScopedEnv env("APPDATA", appData.Path.c_str());
    if (GetParam().Layout != eLayout::NoCatalogues) {
        ASSERT_TRUE(CreateDirectoryW(Utf16::Widen(program / "locale").c_str(), nullptr));
    }
    if (GetParam().Layout == eLayout::ReadOnlyIni) {
        ASSERT_TRUE(WriteAll(program / "zvbasic.ini", "COM: COM3\r\nLanguage: pl\r\n"));
        SetFileAttributesW(Utf16::Widen(program / "zvbasic.ini").c_str(), FILE_ATTRIBUTE_READONLY);
    }
    const std::string user = appData.Path + "\\zvbasic\\zvbasic.ini";
    EXPECT_EQ(cIni::UserPath(), user);
    const std::string path = cIni::WritePath(program.Path);
    EXPECT_EQ(path, GetParam().Beside ? program / "zvbasic.ini" : user) << GetParam().What;

    // What is saved there is what the next start reads.
    cIni ini;
    ini.Port = "COM5";
    ini.Language = "de";
    ASSERT_TRUE(ini.Save(path)) << path;
    cIni back;
    EXPECT_TRUE(back.Load(cIni::ReadPath(program.Path)));
    EXPECT_EQ(back.Port, "COM5");
    EXPECT_EQ(back.Language, "de");
    SetFileAttributesW(Utf16::Widen(program / "zvbasic.ini").c_str(), FILE_ATTRIBUTE_NORMAL);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FoldersWin32Ini,
    ::testing::Values(sIniCase{"an unpacked folder that may be written", eLayout::Portable, true},
                      sIniCase{"a folder without the program's catalogues", eLayout::NoCatalogues, false},
                      sIniCase{"a read-only zvbasic.ini beside the program", eLayout::ReadOnlyIni, false}));

TEST(FoldersWin32, BackupsGoUnderLocalAppData) {
    const cWinTempDir local("zv local \xC3\xA4");
    const cWinScopedEnv env("LOCALAPPDATA", local.Path.c_str());
    EXPECT_EQ(Folders::UserDataDir(), local.Path + "\\zvbasic");
    EXPECT_EQ(Backup::Folder(), local.Path + "\\zvbasic\\backups");
}

TEST(FoldersWin32, ProgramFolderIsTheExecutables) {
    wchar_t exe[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH);
    ASSERT_GT(n, 0u);
    const std::string expected = Folders::FolderOf(Utf16::Narrow(std::wstring(exe, n)));
    EXPECT_EQ(Folders::ExecutableDir(), expected);
    EXPECT_FALSE(expected.empty());
}

TEST(FoldersWin32, WritableTellsFoldersAndFiles) {
    const cWinTempDir dir;
    EXPECT_TRUE(Folders::Writable(dir.Path));
    ASSERT_TRUE(WriteAll(dir / "f", "x"));
    EXPECT_TRUE(Folders::Writable(dir / "f"));
    SetFileAttributesW(Utf16::Widen(dir / "f").c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(Folders::Writable(dir / "f"));
    SetFileAttributesW(Utf16::Widen(dir / "f").c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_FALSE(Folders::Writable(dir / "missing"));
    // The probe file of the folder test is gone again.
    size_t entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(Utf8Path(dir.Path))) ++entries;
    EXPECT_EQ(entries, 1u);
}

}  // namespace
