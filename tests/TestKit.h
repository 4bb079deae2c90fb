// Small helpers shared by the test programs: reading a whole file, a
// temporary folder that is removed with everything in it, an environment
// variable set for one scope, and a function run in a child process.
#pragma once

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace testkit {

// The whole file as bytes; empty when it cannot be read.
inline std::string Slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A new, empty folder under the system's temporary folder, removed (with
// write permission given back first) when the object goes.
class cTempDir {
public:
    explicit cTempDir(const std::string& prefix = "zvtest") {
        std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "XXXXXX")).string();
        if (::mkdtemp(pattern.data())) Path = pattern;
    }
    ~cTempDir() {
        std::error_code ec;
        std::filesystem::permissions(Path, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(Path, ec);
    }
    cTempDir(const cTempDir&) = delete;
    cTempDir& operator=(const cTempDir&) = delete;

    // The names of the entries in the folder.
    std::vector<std::string> Names() const {
        std::vector<std::string> out;
        for (const auto& e : std::filesystem::directory_iterator(Path)) out.push_back(e.path().filename().string());
        return out;
    }

    std::filesystem::path Path;
};

// Sets (or, with nullptr, removes) an environment variable until the end of
// the scope, whichever way the scope is left: a failed ASSERT returns from
// the test, and the next test must still see the variable as it was.
class cScopedEnv {
public:
    cScopedEnv(const char* name, const char* value) : Name(name) {
        if (const char* old = ::getenv(name)) Saved = old;
        Set(value);
    }
    cScopedEnv(const char* name, const std::string& value) : cScopedEnv(name, value.c_str()) {}
    // Leaves the variable as it is now and puts it back at the end of the
    // scope, for code under test that changes it.
    explicit cScopedEnv(const char* name) : Name(name) {
        if (const char* old = ::getenv(name)) Saved = old;
    }
    ~cScopedEnv() { Set(Saved ? Saved->c_str() : nullptr); }
    cScopedEnv(const cScopedEnv&) = delete;
    cScopedEnv& operator=(const cScopedEnv&) = delete;

    // A new value within the same scope; the old one still comes back.
    void Set(const char* value) {
        if (value) ::setenv(Name.c_str(), value, 1);
        else ::unsetenv(Name.c_str());
    }

private:
    std::string Name;
    std::optional<std::string> Saved;
};

// Runs `fn` in a child process, so that resource limits, a change of user or
// an exit stay out of the test program. Returns fn's result as the child's
// exit status (0 to 125), 125 when fn threw, 128 + the signal when the child
// was killed, -1 when no child could be made. With `asNobody`, a test run as
// root runs fn as the unprivileged user 65534 (root passes permission checks
// and exclusive opens); the child exits with 126 when it cannot drop root.
inline int InChild(const std::function<int()>& fn, bool asNobody = false) {
    const pid_t pid = ::fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        if (asNobody && ::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(126);
        int status = 125;
        try {
            status = fn();
        } catch (...) {}
        ::_exit(status);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

}  // namespace testkit
