#include "core/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace RegularFile {

namespace {

bool Fail(std::string& error, int err) {
    error = std::strerror(err);
    return false;
}

// Drops O_NONBLOCK again once the file is known to be a regular file.
void Blocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) (void)::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
}

}  // namespace

bool ReadSmall(const std::string& path, size_t limit, std::string& text, std::string& error, const char* tooLong) {
    // Non-blocking, so that a named pipe without a writer cannot hold the
    // open; it is refused right after.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return Fail(error, errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        return Fail(error, err);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        error = NOT_REGULAR;
        return false;
    }
    Blocking(fd);
    text.clear();
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            ::close(fd);
            return Fail(error, err);
        }
        if (n == 0) break;
        text.append(buf, size_t(n));
        // The file may grow while it is read: never more than the limit.
        if (text.size() > limit) {
            ::close(fd);
            text.clear();
            error = tooLong;
            return false;
        }
    }
    ::close(fd);
    return true;
}

int OpenForWriting(const std::string& path, std::string& error) {
    // No O_TRUNC yet: a device or pipe is refused untouched. A named pipe
    // without a reader fails the open (ENXIO) instead of waiting for one.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0666);
    if (fd < 0) {
        error = errno == ENXIO ? NOT_REGULAR : std::strerror(errno);
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        error = std::strerror(errno);
        ::close(fd);
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        error = NOT_REGULAR;
        ::close(fd);
        return -1;
    }
    if (::ftruncate(fd, 0) != 0) {
        error = std::strerror(errno);
        ::close(fd);
        return -1;
    }
    Blocking(fd);
    return fd;
}

bool CheckOutput(const std::string& path, std::string& error) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            error = NOT_REGULAR;
            return false;
        }
        if (::access(path.c_str(), W_OK) != 0) return Fail(error, errno);
        return true;
    }
    if (errno != ENOENT) return Fail(error, errno);
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    if (::stat(folder.c_str(), &st) != 0) return Fail(error, errno);
    if (!S_ISDIR(st.st_mode)) return Fail(error, ENOTDIR);
    if (::access(folder.c_str(), W_OK | X_OK) != 0) return Fail(error, errno);
    return true;
}

}  // namespace RegularFile
