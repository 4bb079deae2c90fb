// The reads that every system does the same way, on the system side of
// RegularFilePosix.cpp or RegularFileWin32.cpp.
#include "core/RegularFile.h"

#include <cerrno>
#include <cstring>

namespace RegularFile {

namespace {

bool Fail(std::string& error, int err) {
    error = std::strerror(err);
    return false;
}

// A regular file opened for reading, or -1: `error` then holds why
// (NotRegular for a pipe, a device or a folder).
int OpenRegular(const std::string& path, std::string& error) {
    const int fd = OpenForReading(path);
    if (fd < 0) {
        Fail(error, errno);
        return -1;
    }
    sFileInfo info;
    if (!Info(fd, info)) {
        const int err = errno;
        Close(fd);
        Fail(error, err);
        return -1;
    }
    if (!info.Regular) {
        Close(fd);
        error = NotRegular;
        return -1;
    }
    Blocking(fd);
    return fd;
}

}  // namespace

bool ReadSmall(const std::string& path, size_t limit, std::string& text, std::string& error, const char* tooLong) {
    const int fd = OpenRegular(path, error);
    if (fd < 0) return false;
    text.clear();
    char buf[4096];
    for (;;) {
        const long long n = Read(fd, buf, sizeof buf);
        if (n < 0) {
            const int err = errno;
            Close(fd);
            return Fail(error, err);
        }
        if (n == 0) break;
        text.append(buf, size_t(n));
        // The file may grow while it is read: never more than the limit.
        if (text.size() > limit) {
            Close(fd);
            text.clear();
            error = tooLong;
            return false;
        }
    }
    Close(fd);
    return true;
}

bool ReadHead(const std::string& path, size_t limit, std::string& text) {
    std::string error;
    const int fd = OpenRegular(path, error);
    if (fd < 0) return false;
    text.assign(limit, '\0');
    size_t got = 0;
    while (got < limit) {
        const long long n = Read(fd, text.data() + got, limit - got);
        if (n <= 0) break;
        got += size_t(n);
    }
    Close(fd);
    text.resize(got);
    return true;
}

}  // namespace RegularFile
