#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "core/Folders.h"

namespace Folders {

const char Separator = '/';

bool IsSeparator(char c) { return c == '/'; }

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string ExecutableDir() {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec || exe.empty()) return {};
    return exe.parent_path().string();
}

std::string UserSettingsFile() {
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home) base = std::string(home) + "/.config";
    else base = "/tmp";
    return base + "/zvbasic/zvbasic.ini";
}

std::string UserDataDir() {
    std::string base;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/') base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home) base = std::string(home) + "/.local/share";
    else return std::string();
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    return base + "/zvbasic";
}

bool Exists(const std::string& path) { return !path.empty() && ::access(path.c_str(), F_OK) == 0; }

bool Writable(const std::string& path) { return !path.empty() && ::access(path.c_str(), W_OK) == 0; }

int MakeFolders(const std::string& folder) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    const size_t slash = folder.find_last_of('/');
    if (slash != std::string::npos && slash > 0) {
        if (int code = MakeFolders(folder.substr(0, slash))) return code;
    }
    if (::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) return errno;
    if (::stat(folder.c_str(), &st) != 0) return errno;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

std::vector<sFile> RegularFiles(const std::string& folder) {
    std::vector<sFile> out;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return out;
    while (const dirent* e = ::readdir(dir)) {
        const std::string path = folder + "/" + e->d_name;
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        out.push_back({e->d_name, std::int64_t(st.st_size)});
    }
    ::closedir(dir);
    return out;
}

std::tm LocalTime(std::time_t when, long& utcOffsetSeconds) {
    std::tm local{};
    ::localtime_r(&when, &local);
    utcOffsetSeconds = local.tm_gmtoff;
    return local;
}

std::time_t FromUtc(std::tm utc) { return ::timegm(&utc); }

}  // namespace Folders
