#include <windows.h>

#include <cerrno>
#include <cstdlib>

#include "core/Folders.h"
#include "core/Utf16Win32.h"

namespace Folders {

const char Separator = '\\';

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    if (slash == std::string::npos) {
        // "C:name" is in the current folder of drive C.
        if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2) + ".";
        return ".";
    }
    // The root of a drive keeps its separator: "C:\".
    if (slash == 0 || (slash == 2 && path[1] == ':')) return path.substr(0, slash + 1);
    return path.substr(0, slash);
}

std::string ExecutableDir() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), DWORD(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) {
            buffer.resize(n);
            break;
        }
        if (buffer.size() >= 32768) return {};
        buffer.resize(buffer.size() * 2);
    }
    return FolderOf(Utf16::Narrow(buffer));
}

namespace {

// An environment variable in UTF-8; empty when it is not set.
std::string Environment(const wchar_t* name) {
    const DWORD n = GetEnvironmentVariableW(name, nullptr, 0);
    if (n == 0) return {};
    std::wstring value(n, L'\0');
    const DWORD got = GetEnvironmentVariableW(name, value.data(), n);
    value.resize(got < n ? got : 0);
    return Utf16::Narrow(value);
}

std::string Trimmed(std::string folder) {
    while (folder.size() > 3 && IsSeparator(folder.back())) folder.pop_back();
    return folder;
}

}  // namespace

std::string UserSettingsFile() {
    std::string base = Trimmed(Environment(L"APPDATA"));
    if (base.empty()) base = Trimmed(Environment(L"USERPROFILE"));
    if (base.empty()) base = Trimmed(Environment(L"TEMP"));
    return base + "\\zvbasic\\zvbasic.ini";
}

std::string UserDataDir() {
    std::string base = Trimmed(Environment(L"LOCALAPPDATA"));
    if (base.empty()) base = Trimmed(Environment(L"APPDATA"));
    if (base.empty()) return {};
    return base + "\\zvbasic";
}

bool Exists(const std::string& path) {
    return !path.empty() && GetFileAttributesW(Utf16::Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool Writable(const std::string& path) {
    if (path.empty()) return false;
    const std::wstring wide = Utf16::Widen(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        if (attributes & FILE_ATTRIBUTE_READONLY) return false;
        // The access rights decide: open it for writing, changing nothing.
        HANDLE h = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_SHARING_VIOLATION;
        CloseHandle(h);
        return true;
    }
    // A folder's read-only attribute says nothing about its rights (Program
    // Files is not marked, yet a user may not write there): try a file that
    // goes when it is closed.
    for (unsigned attempt = 0; attempt < 16; ++attempt) {
        const std::wstring probe = wide + L"\\.zvprobe" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                                   std::to_wstring(GetTickCount() + attempt);
        HANDLE h = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            CloseHandle(h);
            return true;
        }
        if (GetLastError() != ERROR_FILE_EXISTS) return false;
    }
    return false;
}

int MakeFolders(const std::string& folder) {
    const DWORD attributes = GetFileAttributesW(Utf16::Widen(folder).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? 0 : ENOTDIR;
    const std::string parent = FolderOf(folder);
    if (parent != folder && parent != "." && !parent.empty() && !(parent.size() <= 3 && parent.back() == '\\')) {
        if (int code = MakeFolders(parent)) return code;
    }
    if (!CreateDirectoryW(Utf16::Widen(folder).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return Utf16::Errno(GetLastError());
    const DWORD made = GetFileAttributesW(Utf16::Widen(folder).c_str());
    if (made == INVALID_FILE_ATTRIBUTES) return Utf16::Errno(GetLastError());
    return (made & FILE_ATTRIBUTE_DIRECTORY) ? 0 : ENOTDIR;
}

std::vector<sFile> RegularFiles(const std::string& folder) {
    std::vector<sFile> out;
    WIN32_FIND_DATAW found{};
    HANDLE find = FindFirstFileW(Utf16::Widen(folder + "\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return out;
    do {
        if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) continue;
        const std::int64_t size = (std::int64_t(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
        out.push_back({Utf16::Narrow(found.cFileName), size});
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return out;
}

std::tm LocalTime(std::time_t when, long& utcOffsetSeconds) {
    std::tm local{};
    localtime_s(&local, &when);
    // The offset is the local time read as if it were UTC, less the time.
    std::tm copy = local;
    utcOffsetSeconds = long(_mkgmtime(&copy) - when);
    return local;
}

std::time_t FromUtc(std::tm utc) { return _mkgmtime(&utc); }

}  // namespace Folders
