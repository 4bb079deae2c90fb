// Where the programs' own files live, and the few folder operations the core
// needs, one file per system (FoldersPosix.cpp, FoldersWin32.cpp). Paths are
// UTF-8 on every system.
//
//                      Linux                          Windows
// program folder       /proc/self/exe                 GetModuleFileNameW
// per-user settings    $XDG_CONFIG_HOME/zvbasic       %APPDATA%\zvbasic
//                      (~/.config/zvbasic)
// per-user data        $XDG_DATA_HOME/zvbasic         %LOCALAPPDATA%\zvbasic
//                      (~/.local/share/zvbasic)       (the backups below it)
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace Folders {

// The folder separator the system writes ('/' or '\'); both are accepted on
// Windows.
extern const char Separator;
// True for a folder separator of this system.
bool IsSeparator(char c);
// The folder part of `path` ("." when it has none).
std::string FolderOf(const std::string& path);

// Folder of the running executable (links resolved); empty when unknown.
std::string ExecutableDir();
// The per-user settings file zvbasic.ini.
std::string UserSettingsFile();
// The per-user data folder of the programs (backups go below it); empty when
// the system gives none (no HOME).
std::string UserDataDir();

bool Exists(const std::string& path);
// Whether this user may write the file, or create files in the folder.
bool Writable(const std::string& path);
// Makes `folder` and its missing parents. 0 or an errno value.
int MakeFolders(const std::string& folder);

struct sFile {
    std::string Name;
    std::int64_t Size = 0;
};
// The regular files in `folder` (links followed), in no particular order.
std::vector<sFile> RegularFiles(const std::string& folder);

// The local time of `when` and its offset from UTC in seconds.
std::tm LocalTime(std::time_t when, long& utcOffsetSeconds);
// The time of a broken-down UTC time.
std::time_t FromUtc(std::tm utc);

}  // namespace Folders
