#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <vector>

#include "core/SafeWrite.h"

namespace SafeWrite {

namespace {

constexpr int kMaxLinkHops = 40;  // as the kernel allows when it resolves a path
constexpr int kNameAttempts = 100;

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Follows symbolic links from `path` to the file they end at (which need not
// exist). 0 and `target`/`st`/`exists` set, or an errno value.
int Resolve(const std::string& path, std::string& target, struct stat& st, bool& exists) {
    target = path;
    for (int hops = 0;; ++hops) {
        if (::lstat(target.c_str(), &st) != 0) {
            if (errno != ENOENT) return errno;
            exists = false;
            return 0;
        }
        if (!S_ISLNK(st.st_mode)) {
            exists = true;
            return 0;
        }
        if (hops >= kMaxLinkHops) return ELOOP;
        std::vector<char> buf(PATH_MAX + 1);
        const ssize_t n = ::readlink(target.c_str(), buf.data(), buf.size());
        if (n < 0) return errno;
        if (size_t(n) >= buf.size()) return ENAMETOOLONG;
        std::string next(buf.data(), size_t(n));
        if (next.empty()) return ENOENT;
        if (next[0] != '/') next = FolderOf(target) + "/" + next;
        target = next;
    }
}

// Creates a new file ".zv" plus six random characters in `folder`, with
// 0666 less the umask, for writing. The descriptor, or -1 with errno set.
int CreateTemporary(const std::string& folder, std::string& name) {
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937 random(std::random_device{}() ^ unsigned(::getpid()) ^
                                     unsigned(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::uniform_int_distribution<int> pick(0, int(sizeof kChars) - 2);
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        name = folder + "/.zv";
        for (int i = 0; i < 6; ++i) name += kChars[pick(random)];
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd >= 0) (void)::flock(fd, LOCK_EX | LOCK_NB);  // ours until closed (see ClearStaleTemporaries)
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

// A temporary file of ours: ".zv" and six letters or digits.
bool TemporaryName(const char* name) {
    if (std::strncmp(name, ".zv", 3) != 0 || std::strlen(name) != 9) return false;
    for (int i = 3; i < 9; ++i) {
        const char c = name[i];
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
    }
    return true;
}

}  // namespace

int ClearStaleTemporaries(const std::string& folder, int minimumAgeSeconds) {
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) return 0;
    DIR* dir = ::fdopendir(dirFd);
    if (!dir) {
        ::close(dirFd);
        return 0;
    }
    const time_t now = ::time(nullptr);
    int removed = 0;
    while (const dirent* e = ::readdir(dir)) {
        if (!TemporaryName(e->d_name)) continue;
        struct stat st {};
        if (::fstatat(dirFd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
            st.st_uid != ::geteuid() || now - st.st_mtime < minimumAgeSeconds)
            continue;
        // A save holds its temporary file locked while it writes; one that
        // can be locked belongs to no running save.
        const int fd = ::openat(dirFd, e->d_name, O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
        if (fd < 0) continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::unlinkat(dirFd, e->d_name, 0) == 0) ++removed;
        ::close(fd);
    }
    ::closedir(dir);
    return removed;
}

namespace {

int WriteAll(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return ENOSPC;
        done += size_t(n);
    }
    return 0;
}

// Makes the folder's entries durable (a rename or a new link).
void SyncFolder(const std::string& folder) {
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}

// Gives the synced temporary file `from` the name `to` unless that name is
// taken (EEXIST). A hard link does it in one step; file systems without hard
// links are given a rename that refuses to replace; where the kernel knows
// neither, the name is checked just before a plain rename.
int LinkNoReplace(const std::string& from, const std::string& to) {
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return 0;
    }
    int code = errno;
    if (code == EEXIST) return code;
    if (code != EPERM && code != EOPNOTSUPP && code != ENOSYS && code != EMLINK) return code;
#ifdef SYS_renameat2
    if (::syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), 1u /* RENAME_NOREPLACE */) == 0)
        return 0;
    code = errno;
    if (code != EINVAL && code != ENOSYS) return code;
#endif
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0) return EEXIST;
    if (::rename(from.c_str(), to.c_str()) != 0) return errno;
    return 0;
}

}  // namespace

bool CreateNew(const std::string& path, const std::string& data, std::string* error, bool* exists) {
    if (exists) *exists = false;
    const auto fail = [error, exists](int code) {
        if (exists && code == EEXIST) *exists = true;
        if (error) *error = std::strerror(code);
        return false;
    };
    if (path.empty()) return fail(ENOENT);
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) return fail(EEXIST);
    const std::string folder = FolderOf(path);
    ClearStaleTemporaries(folder);
    std::string temporary;
    const int fd = CreateTemporary(folder, temporary);
    if (fd < 0) return fail(errno);
    int code = WriteAll(fd, data);
    if (code == 0 && ::fsync(fd) != 0) code = errno;
    if (::close(fd) != 0 && code == 0) code = errno;
    if (code == 0) code = LinkNoReplace(temporary, path);
    if (code != 0) {
        ::unlink(temporary.c_str());
        return fail(code);
    }
    SyncFolder(folder);
    return true;
}

bool ReplaceFile(const std::string& path, const std::string& data, std::string* error) {
    const auto fail = [error](int code, const char* text = nullptr) {
        if (error) *error = text ? text : std::strerror(code);
        return false;
    };
    if (path.empty()) return fail(ENOENT);

    std::string target;
    struct stat old {};
    bool exists = false;
    if (int code = Resolve(path, target, old, exists)) return fail(code);
    if (exists) {
        // Never opened: opening a named pipe for writing would block, and
        // renaming over a device would put a plain file in its place.
        if (S_ISDIR(old.st_mode)) return fail(EISDIR);
        if (!S_ISREG(old.st_mode)) return fail(EINVAL, "not a regular file");
        if (::access(target.c_str(), W_OK) != 0) return fail(errno);
    }

    const std::string folder = FolderOf(target);
    ClearStaleTemporaries(folder);
    std::string temporary;
    const int fd = CreateTemporary(folder, temporary);
    if (fd < 0) return fail(errno);

    int code = 0;
    if (exists) {
        // Owner first: changing it may clear permission bits.
        if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
            // Only the owner's own group change may be refused; the bits
            // below are what matters.
        }
        if (::fchmod(fd, old.st_mode & 07777) != 0) code = errno;
    }
    if (code == 0) code = WriteAll(fd, data);
    if (code == 0 && ::fsync(fd) != 0) code = errno;
    if (::close(fd) != 0 && code == 0) code = errno;
    if (code == 0 && ::rename(temporary.c_str(), target.c_str()) != 0) code = errno;
    if (code != 0) {
        ::unlink(temporary.c_str());
        return fail(code);
    }
    // Make the rename itself durable.
    SyncFolder(folder);
    return true;
}

bool ReplaceStreamed(const std::string& path, const std::function<bool(int fd, int& code)>& body, std::string* error) {
    auto fail = [&](int code) {
        if (code >= 0 && error) *error = std::strerror(code ? code : EIO);
        return false;
    };
    int code = 0;
    if (path == "-") return body(STDOUT_FILENO, code) ? true : fail(code);
    if (path.empty()) return fail(ENOENT);

    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path target(path);
    if (fs::is_symlink(target, ec)) {
        fs::path real = fs::weakly_canonical(target, ec);
        if (!ec) target = real;
    }
    mode_t mode = 0666;
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) return fail(S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
        if (::access(target.c_str(), W_OK) != 0) return fail(errno);
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode &= ~mask;
    }
    std::string tmp = target.string() + ".XXXXXX";
    const int fd = ::mkstemp(tmp.data());
    if (fd < 0) return fail(errno);
    (void)::fchmod(fd, mode);
    bool ok = body(fd, code);
    if (ok && ::fsync(fd) != 0) {
        ok = false;
        code = errno;
    }
    if (::close(fd) != 0 && ok) {
        ok = false;
        code = errno;
    }
    if (ok && ::rename(tmp.c_str(), target.c_str()) != 0) {
        ok = false;
        code = errno;
    }
    if (!ok) {
        ::unlink(tmp.c_str());
        return fail(code);
    }
    return true;
}

}  // namespace SafeWrite
