// The far end of a serial line for tests: a pseudo-terminal pair whose slave
// path is opened by cComPort, while the test reads and writes the master side
// (usually on a thread of its own, playing a scripted device).
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

class cPtyPeer {
public:
    using tClock = std::chrono::steady_clock;
    struct sByte {
        uint8_t Value;
        tClock::time_point Time;  // when the master side read it
    };

    cPtyPeer() {
        Master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (Master < 0 || grantpt(Master) != 0 || unlockpt(Master) != 0) throw std::runtime_error("no pseudo-terminal");
        char name[128];
        if (ptsname_r(Master, name, sizeof name) != 0) throw std::runtime_error("no pseudo-terminal name");
        Slave = name;
    }
    ~cPtyPeer() { CloseMaster(); }
    cPtyPeer(const cPtyPeer&) = delete;
    cPtyPeer& operator=(const cPtyPeer&) = delete;

    const std::string& SlavePath() const { return Slave; }
    int MasterFd() const { return Master; }

    void Write(const std::vector<uint8_t>& bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = ::write(Master, bytes.data() + done, bytes.size() - done);
            if (n <= 0) throw std::runtime_error("pseudo-terminal write failed");
            done += static_cast<size_t>(n);
        }
    }

    // One byte within `limit`; false on time-out or when the slave side is gone.
    bool Read(sByte& out, std::chrono::milliseconds limit) {
        pollfd p{Master, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(limit.count())) <= 0) return false;
        uint8_t b;
        if (::read(Master, &b, 1) != 1) return false;
        out = {b, tClock::now()};
        return true;
    }

    // Up to `count` bytes, each within `limit` of the one before.
    std::vector<sByte> ReadUpTo(size_t count, std::chrono::milliseconds limit) {
        std::vector<sByte> got;
        sByte b;
        while (got.size() < count && Read(b, limit)) got.push_back(b);
        return got;
    }

    static std::vector<uint8_t> Values(const std::vector<sByte>& bytes) {
        std::vector<uint8_t> v;
        for (const sByte& b : bytes) v.push_back(b.Value);
        return v;
    }

    // The line drops: the slave side sees a hang-up.
    void CloseMaster() {
        if (Master >= 0) ::close(Master);
        Master = -1;
    }

private:
    int Master = -1;
    std::string Slave;
};
