// Helpers of the fuzz targets: a file in memory that the readers open by
// path, and a check that stops the run with a message (a fuzz finding).
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzzkit {

// One anonymous memory file per target, rewritten for every input; the
// readers open it through /proc/self/fd like any other path.
class cMemFile {
public:
    explicit cMemFile(const char* name) {
        Fd = ::memfd_create(name, 0);
        if (Fd < 0) {
            std::perror("memfd_create");
            std::abort();
        }
        Path = "/proc/self/fd/" + std::to_string(Fd);
    }
    const std::string& Set(const uint8_t* data, size_t size) {
        if (::ftruncate(Fd, 0) != 0 || (size > 0 && ::pwrite(Fd, data, size, 0) != ssize_t(size))) {
            std::perror("memory file");
            std::abort();
        }
        return Path;
    }

private:
    int Fd = -1;
    std::string Path;
};

[[noreturn]] inline void Fail(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

}  // namespace fuzzkit

#define FUZZ_CHECK(cond)                   \
    do {                                   \
        if (!(cond)) fuzzkit::Fail(#cond); \
    } while (0)
