// Windows test helpers: a new temporary folder (removed at the end) and an
// environment variable set for one scope, both with UTF-8 names.
#pragma once

#include <stdlib.h>
#include <windows.h>

#include <filesystem>
#include <optional>
#include <string>

#include "core/Utf16Win32.h"

inline std::filesystem::path Utf8Path(const std::string& path) {
    return std::filesystem::path(reinterpret_cast<const char8_t*>(path.c_str()));
}

inline std::string Utf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

class cWinTempDir {
public:
    // `name` may hold any characters; the folder is made in the user's
    // temporary folder.
    explicit cWinTempDir(const std::string& name = "zvtest") {
        wchar_t base[MAX_PATH + 1];
        const DWORD n = GetTempPathW(MAX_PATH + 1, base);
        for (unsigned i = 0; n > 0 && i < 1000; ++i) {
            const std::wstring path = std::wstring(base, n) + Utf16::Widen(name) + L"_" +
                                      std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(i);
            if (CreateDirectoryW(path.c_str(), nullptr)) {
                Path = Utf16::Narrow(path);
                break;
            }
        }
    }
    ~cWinTempDir() {
        std::error_code ec;
        std::filesystem::remove_all(Utf8Path(Path), ec);
    }
    cWinTempDir(const cWinTempDir&) = delete;
    cWinTempDir& operator=(const cWinTempDir&) = delete;

    std::string operator/(const std::string& name) const { return Path + "\\" + name; }

    std::string Path;
};

class cWinScopedEnv {
public:
    cWinScopedEnv(const char* name, const char* value) : Name(Utf16::Widen(name)) {
        if (const wchar_t* old = _wgetenv(Name.c_str())) Saved = old;
        Set(value ? std::optional<std::wstring>(Utf16::Widen(value)) : std::nullopt);
    }
    ~cWinScopedEnv() { Set(Saved); }
    cWinScopedEnv(const cWinScopedEnv&) = delete;
    cWinScopedEnv& operator=(const cWinScopedEnv&) = delete;

private:
    // _wputenv_s sets both the C runtime's copy and the process's.
    void Set(const std::optional<std::wstring>& value) { _wputenv_s(Name.c_str(), value ? value->c_str() : L""); }

    std::wstring Name;
    std::optional<std::wstring> Saved;
};

inline std::string ReadAll(const std::string& path) {
    std::string text;
    HANDLE h =
        CreateFileW(Utf16::Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<missing>";
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) text.append(buf, got);
    CloseHandle(h);
    return text;
}

inline bool WriteAll(const std::string& path, const std::string& text) {
    HANDLE h = CreateFileW(Utf16::Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD put = 0;
    const bool ok = WriteFile(h, text.data(), DWORD(text.size()), &put, nullptr) && put == text.size();
    CloseHandle(h);
    return ok;
}
