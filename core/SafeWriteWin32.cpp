// Windows: the new contents go into a temporary file of the same folder
// (CreateFileW with CREATE_NEW and no sharing, so no other program opens it
// and ClearStaleTemporaries cannot take it while it is written), are flushed
// to the disk (FlushFileBuffers), and the temporary file then takes the name
// with MoveFileExW: MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH for a
// replacement, without replacing for a new file (which fails when the name
// is taken, in the same step). Paths are UTF-8, converted at the call.
//
// Another program may hold the file: a report open in a PDF viewer, a CSV in
// a spreadsheet, a virus scanner reading the new file for a moment. A move
// refused for that is tried again for about a second; then the failure says
// so ("the file is open in another program"), the old file stays whole and
// the temporary file goes.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>

#include "core/Folders.h"
#include "core/SafeWrite.h"
#include "core/Translate.h"
#include "core/Utf16Win32.h"

namespace SafeWrite {

namespace {

constexpr int kNameAttempts = 100;
// A move refused by another program's open file: tried this often, this far
// apart (about a second in all).
constexpr int kMoveTries = 20;
constexpr DWORD kMoveWaitMs = 50;
// The failure code of a file that stayed held (the errno values are
// positive; -1 is a failure the caller's body reported itself).
constexpr int kHeldByOther = -2;

std::function<void(int)>& RetryHook() {
    static std::function<void(int)> hook;
    return hook;
}

std::wstring Wide(const std::string& path) { return Utf16::Widen(path); }

// A temporary file of ours: ".zv" and six letters or digits.
bool TemporaryName(const std::wstring& name) {
    if (name.size() != 9 || name.compare(0, 3, L".zv") != 0) return false;
    for (size_t i = 3; i < 9; ++i) {
        const wchar_t c = name[i];
        if (!((c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9'))) return false;
    }
    return true;
}

// Creates ".zv" plus six random characters in `folder`: the handle, or
// INVALID_HANDLE_VALUE with `code` set (an errno value).
HANDLE CreateTemporary(const std::string& folder, std::string& name, int& code) {
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937 random(std::random_device{}() ^ unsigned(GetCurrentProcessId()) ^
                                     unsigned(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::uniform_int_distribution<int> pick(0, int(sizeof kChars) - 2);
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        name = folder + "\\.zv";
        for (int i = 0; i < 6; ++i) name += kChars[pick(random)];
        HANDLE h =
            CreateFileW(Wide(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) return h;
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) {
            code = Utf16::Errno(GetLastError());
            return h;
        }
    }
    code = EEXIST;
    return INVALID_HANDLE_VALUE;
}

// Writes `data` and flushes it to the disk, then closes: 0 or an errno value.
int WriteAndClose(HANDLE h, const std::string& data) {
    int code = 0;
    size_t done = 0;
    while (code == 0 && done < data.size()) {
        DWORD put = 0;
        const DWORD want = DWORD(std::min<size_t>(data.size() - done, 1u << 20));
        if (!WriteFile(h, data.data() + done, want, &put, nullptr)) code = Utf16::Errno(GetLastError());
        else if (put == 0) code = ENOSPC;
        done += put;
    }
    if (code == 0 && !FlushFileBuffers(h)) code = Utf16::Errno(GetLastError());
    if (!CloseHandle(h) && code == 0) code = Utf16::Errno(GetLastError());
    return code;
}

// The file a path ends at when links are followed; the path itself when it
// is no link or does not exist.
std::string Resolve(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return path;
    HANDLE h =
        CreateFileW(Wide(path).c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return path;
    std::wstring buffer(32768, L'\0');
    const DWORD n = GetFinalPathNameByHandleW(h, buffer.data(), DWORD(buffer.size()), FILE_NAME_NORMALIZED);
    CloseHandle(h);
    if (n == 0 || n >= buffer.size()) return path;
    buffer.resize(n);
    // "\\?\C:\..." to "C:\...", "\\?\UNC\server\..." to "\\server\...".
    if (buffer.compare(0, 8, L"\\\\?\\UNC\\") == 0) buffer = L"\\\\" + buffer.substr(8);
    else if (buffer.compare(0, 4, L"\\\\?\\") == 0) buffer = buffer.substr(4);
    return Utf16::Narrow(buffer);
}

}  // namespace

int ClearStaleTemporaries(const std::string& folder, int minimumAgeSeconds) {
    WIN32_FIND_DATAW found{};
    HANDLE find = FindFirstFileW(Wide(folder + "\\.zv*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return 0;
    FILETIME nowFt{};
    GetSystemTimeAsFileTime(&nowFt);
    const int64_t now = (int64_t(nowFt.dwHighDateTime) << 32) | nowFt.dwLowDateTime;
    int removed = 0;
    do {
        if (!TemporaryName(found.cFileName)) continue;
        if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE))
            continue;
        const int64_t changed =
            (int64_t(found.ftLastWriteTime.dwHighDateTime) << 32) | found.ftLastWriteTime.dwLowDateTime;
        if ((now - changed) / 10000000 < minimumAgeSeconds) continue;
        // A save still running holds its file without sharing: the delete
        // is refused then.
        if (DeleteFileW(Wide(folder + "\\" + Utf16::Narrow(found.cFileName)).c_str())) ++removed;
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return removed;
}

void SetHeldFileRetryHook(std::function<void(int attempt)> hook) { RetryHook() = std::move(hook); }

namespace {
// Whether another program has `path` open without letting it be deleted
// (the share mode that stops a replacement).
bool HeldByOther(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), DELETE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
        return false;
    }
    const DWORD error = GetLastError();
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

// Moves `from` to `to`, trying again while another program holds either:
// 0, kHeldByOther or an errno value.
int Move(const std::string& from, const std::string& to, DWORD flags) {
    const std::wstring source = Wide(from), target = Wide(to);
    for (int attempt = 1;; ++attempt) {
        if (MoveFileExW(source.c_str(), target.c_str(), flags)) return 0;
        const DWORD error = GetLastError();
        const bool held = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
                          (error == ERROR_ACCESS_DENIED && (HeldByOther(target) || HeldByOther(source)));
        if (!held) return Utf16::Errno(error);
        if (attempt >= kMoveTries) return kHeldByOther;
        if (RetryHook()) RetryHook()(attempt);
        Sleep(kMoveWaitMs);
    }
}

std::string FailureText(int code) {
    if (code == kHeldByOther) return _("the file is open in another program; close it and try again");
    return std::strerror(code ? code : EIO);
}

// Writes `data` into a new temporary file in `folder`, flushed, and moves it
// to `target` with `moveFlags`; the temporary is gone on failure. 0,
// kHeldByOther or errno.
int WriteAndMove(const std::string& folder, const std::string& data, const std::string& target, DWORD moveFlags) {
    ClearStaleTemporaries(folder);
    std::string temporary;
    int code = 0;
    HANDLE h = CreateTemporary(folder, temporary, code);
    if (h == INVALID_HANDLE_VALUE) return code;
    code = WriteAndClose(h, data);
    if (code == 0) code = Move(temporary, target, moveFlags);
    if (code != 0) DeleteFileW(Wide(temporary).c_str());
    return code;
}
}  // namespace

bool CreateNew(const std::string& path, const std::string& data, std::string* error, bool* exists) {
    if (exists) *exists = false;
    const auto fail = [error, exists](int code) {
        if (exists && code == EEXIST) *exists = true;
        if (error) *error = FailureText(code);
        return false;
    };
    if (path.empty()) return fail(ENOENT);
    if (GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES) return fail(EEXIST);
    // Without MOVEFILE_REPLACE_EXISTING the move fails when the name was
    // taken meanwhile: never over anything.
    if (const int code = WriteAndMove(Folders::FolderOf(path), data, path, MOVEFILE_WRITE_THROUGH)) return fail(code);
    return true;
}

bool ReplaceFile(const std::string& path, const std::string& data, std::string* error) {
    const auto fail = [error](int code, const char* text = nullptr) {
        if (error) *error = text ? text : FailureText(code);
        return false;
    };
    if (path.empty()) return fail(ENOENT);
    const std::string target = Resolve(path);
    const DWORD attributes = GetFileAttributesW(Wide(target).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) return fail(EISDIR);
        // A device name (NUL, COM1) or a pipe is no file to replace.
        HANDLE probe =
            CreateFileW(Wide(target).c_str(), FILE_READ_ATTRIBUTES,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (probe != INVALID_HANDLE_VALUE) {
            const DWORD type = GetFileType(probe);
            CloseHandle(probe);
            if (type != FILE_TYPE_DISK) return fail(EINVAL, "not a regular file");
        }
        if (attributes & FILE_ATTRIBUTE_READONLY) return fail(EACCES);
    } else if (GetLastError() != ERROR_FILE_NOT_FOUND) {
        return fail(Utf16::Errno(GetLastError()));
    }

    if (const int code =
            WriteAndMove(Folders::FolderOf(target), data, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return fail(code);
    return true;
}

bool ReplaceStreamed(const std::string& path, const std::function<bool(int fd, int& code)>& body, std::string* error) {
    auto fail = [&](int code) {
        if (code != -1 && error) *error = FailureText(code);
        return false;
    };
    int code = 0;
    if (path == "-") {
        // Standard output in binary mode: the lines end in CR LF already.
        std::fflush(stdout);
        _setmode(_fileno(stdout), _O_BINARY);
        return body(_fileno(stdout), code) ? true : fail(code);
    }
    if (path.empty()) return fail(ENOENT);
    const std::string target = Resolve(path);
    const DWORD attributes = GetFileAttributesW(Wide(target).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) return fail(EISDIR);
        if (attributes & FILE_ATTRIBUTE_READONLY) return fail(EACCES);
    }
    const std::string folder = Folders::FolderOf(target);
    ClearStaleTemporaries(folder);
    std::string temporary;
    HANDLE h = CreateTemporary(folder, temporary, code);
    if (h == INVALID_HANDLE_VALUE) return fail(code);
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(h);
        DeleteFileW(Wide(temporary).c_str());
        return fail(EMFILE);
    }
    bool ok = body(fd, code);
    if (ok && !FlushFileBuffers(h)) {
        ok = false;
        code = Utf16::Errno(GetLastError());
    }
    if (_close(fd) != 0 && ok) {
        ok = false;
        code = errno;
    }
    if (ok) {
        code = Move(temporary, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
        ok = code == 0;
    }
    if (!ok) {
        DeleteFileW(Wide(temporary).c_str());
        return fail(code);
    }
    return true;
}

}  // namespace SafeWrite
