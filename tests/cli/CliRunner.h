// Runs zvbasic-cli as a child process and collects its exit code, standard
// output and standard error; optionally sends it a signal once a condition
// holds.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

struct sCliRun {
    int Exit = -1;  // exit code, or 128 + signal when the child was killed
    std::string Out;
    std::string Err;
};

// The program built beside the tests (ZV_BIN_DIR), or empty.
inline std::string CliExe() {
    const char* dir = std::getenv("ZV_BIN_DIR");
    if (!dir) return std::string();
    std::string exe = std::string(dir) + "/zvbasic-cli";
    return ::access(exe.c_str(), X_OK) == 0 ? exe : std::string();
}

// `signalWhen` is checked every 20 ms; when it holds, `signal` is sent once.
// The child is killed after `limitMs`.
// With `uid` >= 0 (only when running as root) the child runs as that user.
inline sCliRun RunCli(const std::string& exe, const std::vector<std::string>& args,
                      const std::function<bool()>& signalWhen = {}, int signal = SIGINT, int limitMs = 30000,
                      int uid = -1) {
    sCliRun run;
    int out[2], err[2];
    if (::pipe(out) != 0 || ::pipe(err) != 0) return run;
    // Built before the fork: the child of a process with threads running may
    // only make async-signal-safe calls until it execs (no allocation).
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(exe.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = ::fork();
    if (pid < 0) {
        for (int fd : {out[0], out[1], err[0], err[1]}) ::close(fd);
        return run;
    }
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        ::close(out[0]);
        ::close(err[0]);
        if (uid >= 0 && (::setgid(gid_t(uid)) != 0 || ::setuid(uid_t(uid)) != 0)) ::_exit(126);
        ::execv(exe.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    const auto start = std::chrono::steady_clock::now();
    bool signalled = false;
    int open = 2;
    while (open > 0) {
        pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
        ::poll(fds, 2, 20);
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
            char buf[4096];
            ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                (i == 0 ? run.Out : run.Err).append(buf, size_t(n));
            } else {
                ::close(fds[i].fd);
                (i == 0 ? out[0] : err[0]) = -1;
                --open;
            }
        }
        if (!signalled && signalWhen && signalWhen()) {
            ::kill(pid, signal);
            signalled = true;
        }
        if (std::chrono::steady_clock::now() - start > std::chrono::milliseconds(limitMs)) {
            ::kill(pid, SIGKILL);
            break;
        }
    }
    if (out[0] >= 0) ::close(out[0]);
    if (err[0] >= 0) ::close(err[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.Exit = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}
