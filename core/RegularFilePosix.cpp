#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "core/RegularFile.h"

namespace RegularFile {

namespace {

bool Fail(std::string& error, int err) {
    error = std::strerror(err);
    return false;
}

void FillInfo(const struct stat& st, sFileInfo& info) {
    info.Regular = S_ISREG(st.st_mode);
    info.Folder = S_ISDIR(st.st_mode);
    info.Size = uint64_t(st.st_size);
    info.Device = uint64_t(st.st_dev);
    info.Inode = uint64_t(st.st_ino);
    info.ChangedNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

}  // namespace

int OpenForReading(const std::string& path) {
    // Non-blocking, so that a named pipe without a writer cannot hold the
    // open; the caller refuses it right after.
    return ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
}

// Drops O_NONBLOCK again once the file is known to be a regular file.
void Blocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) (void)::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
}

bool Info(int fd, sFileInfo& info) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return false;
    FillInfo(st, info);
    return true;
}

bool InfoOf(const std::string& path, sFileInfo& info) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    FillInfo(st, info);
    return true;
}

long long Read(int fd, void* buffer, size_t n) {
    for (;;) {
        const ssize_t r = ::read(fd, buffer, n);
        if (r < 0 && errno == EINTR) continue;
        return r;
    }
}

long long Write(int fd, const void* data, size_t n) {
    for (;;) {
        const ssize_t r = ::write(fd, data, n);
        if (r < 0 && errno == EINTR) continue;
        return r;
    }
}

int Close(int fd) { return ::close(fd) == 0 ? 0 : errno; }

int Truncate(int fd, uint64_t size) { return ::ftruncate(fd, off_t(size)) == 0 ? 0 : errno; }

bool Seek(int fd, uint64_t at) { return ::lseek(fd, off_t(at), SEEK_SET) >= 0; }

long long ReadAt(int fd, void* buffer, size_t n, uint64_t at) {
    for (;;) {
        const ssize_t r = ::pread(fd, buffer, n, off_t(at));
        if (r < 0 && errno == EINTR) continue;
        return r;
    }
}

int Sync(int fd) { return ::fsync(fd) == 0 ? 0 : errno; }

void AdviseSequential(int fd) { (void)::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL); }

uint64_t PhysicalMemory() {
    const long pages = ::sysconf(_SC_PHYS_PAGES), pageSize = ::sysconf(_SC_PAGESIZE);
    return pages > 0 && pageSize > 0 ? uint64_t(pages) * uint64_t(pageSize) : 0;
}

int OpenForWriting(const std::string& path, std::string& error) {
    // No O_TRUNC yet: a device or pipe is refused untouched. A named pipe
    // without a reader fails the open (ENXIO) instead of waiting for one.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0666);
    if (fd < 0) {
        error = errno == ENXIO ? NotRegular : std::strerror(errno);
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        error = std::strerror(errno);
        ::close(fd);
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        error = NotRegular;
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
            error = NotRegular;
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
