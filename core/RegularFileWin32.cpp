// Windows: descriptors of the C runtime (_wopen, _open_osfhandle) in binary
// mode, over handles opened with CreateFileW. A device name (NUL, CON, COM1)
// or a pipe is a character device or a pipe to GetFileType, never a regular
// file.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "core/Folders.h"
#include "core/RegularFile.h"
#include "core/Utf16Win32.h"

namespace RegularFile {

namespace {

bool Fail(std::string& error, int err) {
    error = std::strerror(err);
    return false;
}

HANDLE HandleOf(int fd) { return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

// 100 ns ticks since 1601 to nanoseconds since 1970.
int64_t UnixNs(const FILETIME& t) {
    const int64_t ticks = (int64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    return (ticks - 116444736000000000LL) * 100;
}

bool InfoOfHandle(HANDLE h, sFileInfo& info) {
    info = sFileInfo();
    const DWORD type = GetFileType(h);
    if (type != FILE_TYPE_DISK) {
        // A device or a pipe: there, but no file.
        if (type == FILE_TYPE_UNKNOWN && GetLastError() != NO_ERROR) {
            errno = Utf16::Errno(GetLastError());
            return false;
        }
        return true;
    }
    BY_HANDLE_FILE_INFORMATION data{};
    if (!GetFileInformationByHandle(h, &data)) {
        errno = Utf16::Errno(GetLastError());
        return false;
    }
    info.Folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    info.Regular = !info.Folder && !(data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE);
    info.Size = (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    info.Device = data.dwVolumeSerialNumber;
    info.Inode = (uint64_t(data.nFileIndexHigh) << 32) | data.nFileIndexLow;
    info.ChangedNs = UnixNs(data.ftLastWriteTime);
    return true;
}

}  // namespace

int OpenForReading(const std::string& path) {
    HANDLE h =
        CreateFileW(Utf16::Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        // A folder cannot be opened as a file: say so as Linux does.
        const DWORD err = GetLastError();
        const DWORD attributes = GetFileAttributesW(Utf16::Widen(path).c_str());
        errno = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) ? EISDIR
                                                                                                 : Utf16::Errno(err);
        return -1;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(h);
        errno = EMFILE;
    }
    return fd;
}

// Windows opens every file for blocking reads; nothing to change.
void Blocking(int) {}

bool Info(int fd, sFileInfo& info) {
    HANDLE h = HandleOf(fd);
    if (h == INVALID_HANDLE_VALUE) {
        errno = EBADF;
        return false;
    }
    return InfoOfHandle(h, info);
}

bool InfoOf(const std::string& path, sFileInfo& info) {
    // Attributes only: neither the file's contents nor a device is touched;
    // FILE_FLAG_BACKUP_SEMANTICS lets a folder be opened too.
    HANDLE h = CreateFileW(Utf16::Widen(path).c_str(), FILE_READ_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        errno = Utf16::Errno(GetLastError());
        return false;
    }
    const bool ok = InfoOfHandle(h, info);
    CloseHandle(h);
    return ok;
}

long long Read(int fd, void* buffer, size_t n) { return _read(fd, buffer, unsigned(std::min<size_t>(n, INT_MAX))); }

long long Write(int fd, const void* data, size_t n) { return _write(fd, data, unsigned(std::min<size_t>(n, INT_MAX))); }

int Close(int fd) { return _close(fd) == 0 ? 0 : errno; }

int Truncate(int fd, uint64_t size) { return _chsize_s(fd, static_cast<__int64>(size)); }

bool Seek(int fd, uint64_t at) { return _lseeki64(fd, static_cast<__int64>(at), SEEK_SET) >= 0; }

long long ReadAt(int fd, void* buffer, size_t n, uint64_t at) {
    // A positioned read moves a synchronous handle's position: it is put
    // back, as pread leaves it.
    const __int64 position = _lseeki64(fd, 0, SEEK_CUR);
    if (position < 0 || _lseeki64(fd, static_cast<__int64>(at), SEEK_SET) < 0) return -1;
    const long long got = Read(fd, buffer, n);
    const int err = errno;
    _lseeki64(fd, position, SEEK_SET);
    errno = err;
    return got;
}

int Sync(int fd) {
    HANDLE h = HandleOf(fd);
    if (h == INVALID_HANDLE_VALUE) return EBADF;
    return FlushFileBuffers(h) ? 0 : Utf16::Errno(GetLastError());
}

// Windows reads ahead by itself on files read from start to end.
void AdviseSequential(int) {}

uint64_t PhysicalMemory() {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    return GlobalMemoryStatusEx(&status) ? uint64_t(status.ullTotalPhys) : 0;
}

int OpenForWriting(const std::string& path, std::string& error) {
    // Not emptied yet: a device (NUL, COM1) or a pipe is refused untouched.
    HANDLE h = CreateFileW(Utf16::Widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        Fail(error, Utf16::Errno(GetLastError()));
        return -1;
    }
    sFileInfo info;
    if (!InfoOfHandle(h, info)) {
        Fail(error, errno);
        CloseHandle(h);
        return -1;
    }
    if (!info.Regular) {
        error = NotRegular;
        CloseHandle(h);
        return -1;
    }
    if (!SetEndOfFile(h)) {
        Fail(error, Utf16::Errno(GetLastError()));
        CloseHandle(h);
        return -1;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
    if (fd < 0) {
        Fail(error, EMFILE);
        CloseHandle(h);
    }
    return fd;
}

bool CheckOutput(const std::string& path, std::string& error) {
    sFileInfo info;
    if (InfoOf(path, info)) {
        if (!info.Regular) {
            error = NotRegular;
            return false;
        }
        if (!Folders::Writable(path)) return Fail(error, EACCES);
        return true;
    }
    if (errno != ENOENT) return Fail(error, errno);
    const std::string folder = Folders::FolderOf(path);
    if (!InfoOf(folder, info)) return Fail(error, errno);
    if (!info.Folder) return Fail(error, ENOTDIR);
    if (!Folders::Writable(folder)) return Fail(error, EACCES);
    return true;
}

}  // namespace RegularFile
