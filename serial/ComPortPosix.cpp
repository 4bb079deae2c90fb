// cComPort on a POSIX terminal device.
//
// The device is opened synchronous (blocking) and exclusive. Reads and writes
// wait with poll() on the device and on a self-pipe, so the time limits of
// SetTimeouts hold and SignalStop ends a wait at once; no read or write ever
// blocks in the kernel beyond those limits (VMIN = VTIME = 0, and a byte is
// written only when poll reports room for it).
//
// Line errors: a terminal device reports framing and parity errors and breaks
// only as marks in the data (PARMRK with INPCK). While abort-on-error is on,
// the port sets those flags and turns every mark into the operation-aborted
// case: the receive side is purged and the read returns false, and the next
// read works again. While it is off the flags are clear and a damaged byte is
// delivered as it came, the way a Windows port without abort-on-error does.
// A dropped line (hang-up, EIO, device gone) is a device failure, not a line
// error: the failed flag is set and sError raised, so the link reopens.

#include <dirent.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "serial/ComPort.h"

const char cComPort::ExtraPortSeparator = ':';

namespace {

const char* const kSource = "ComPort";

bool SpeedCode(int baud, speed_t& code) {
    static const struct {
        int Baud;
        speed_t Code;
    } table[] = {
        {50, B50},     {75, B75},       {110, B110},     {134, B134},     {150, B150},       {200, B200},
        {300, B300},   {600, B600},     {1200, B1200},   {1800, B1800},   {2400, B2400},     {4800, B4800},
        {9600, B9600}, {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}, {230400, B230400},
    };
    for (const auto& entry : table)
        if (entry.Baud == baud) {
            code = entry.Code;
            return true;
        }
    return false;
}

int RemainingMs(std::chrono::steady_clock::time_point deadline) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

struct cComPort::sSys {
    int Fd = -1;
    int WakeRead = -1;  // self-pipe: SignalStop writes a byte to wake a poll
    int WakeWrite = -1;
    termios SavedLine{};  // the device's line settings when it was opened
};

cComPort::cComPort(std::shared_ptr<cWaitHub> hub) : Sys(std::make_unique<sSys>()), StopEvent(std::move(hub)) {
    int fds[2];
    if (pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0) throw sError(kSource, __LINE__, errno);
    Sys->WakeRead = fds[0];
    Sys->WakeWrite = fds[1];
}

cComPort::~cComPort() {
    Close();
    ::close(Sys->WakeRead);
    ::close(Sys->WakeWrite);
}

bool cComPort::IsOpen() const { return Sys->Fd >= 0; }

void cComPort::SignalStop() {
    StopEvent.Set();
    const uint8_t one = 1;
    // A full pipe already wakes every poll; nothing else can go wrong here.
    [[maybe_unused]] ssize_t n = ::write(Sys->WakeWrite, &one, 1);
}

void cComPort::DrainWake() {
    uint8_t buf[64];
    while (::read(Sys->WakeRead, buf, sizeof buf) > 0) {}
}

void cComPort::Open(const std::string& name) {
    Close();
    // A failed earlier open left the flag set with nothing open to close.
    Failed = false;
    if (NameSink) NameSink(name);
    SetName(name);

    int fd = ::open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        OpenError = err;
        Fail(__LINE__, err);
    }
    OpenError = 0;

    // Only a terminal device will do: a directory, a plain file, /dev/null or
    // a pipe would accept reads and writes and never answer.
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        int err = errno;
        ::close(fd);
        Fail(__LINE__, err);
    }
    if (!S_ISCHR(st.st_mode)) {
        ::close(fd);
        Fail(__LINE__, ENOTTY);
    }
    // Held by this port alone, before anything touches the line: another
    // program (a second copy, zvbasic-cli) that has the device open keeps its
    // advisory lock, and this open then ends here, having sent nothing,
    // flushed nothing and changed no setting. The lock goes with the
    // descriptor. The exclusive mode below keeps out programs that take no
    // lock (except those of root).
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno == EWOULDBLOCK ? EBUSY : errno;
        ::close(fd);
        OpenError = err;
        Fail(__LINE__, err);
    }
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        int err = errno;
        ::close(fd);
        Fail(__LINE__, err);
    }
    // Synchronous from here on; the waits are done with poll().
    int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        int err = errno;
        ::close(fd);
        Fail(__LINE__, err);
    }
    // Not shared: further opens of the device fail with EBUSY.
    if (ioctl(fd, TIOCEXCL) != 0) {
        int err = errno;
        ::close(fd);
        Fail(__LINE__, err);
    }
    Sys->Fd = fd;
    Written = false;
    // Close puts the device back the way it was found.
    Sys->SavedLine = tio;
    Marks.Reset();
    AbortOnError = false;
    // What came in before is stale. The output side is left alone: whatever
    // is still on its way there was sent by the program before this one (on
    // a pseudo-terminal, bytes not yet read by the other end), and throwing
    // it away could cut that program's last frame in two.
    if (tcflush(Sys->Fd, TCIFLUSH) != 0) Fail(__LINE__, errno);
}

void cComPort::Close() {
    if (Sys->Fd < 0) return;
    // The bytes written are let go out first (three take 25 ms at 1200
    // baud), for at most a fifth of a second: discarding them would leave
    // the ECU half a frame, which would swallow the next program's
    // handshake. Output that is stuck is discarded after that, so closing
    // never waits for it.
    const auto drainEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
    int queued = 0;
    while (ioctl(Sys->Fd, TIOCOUTQ, &queued) == 0 && queued > 0 && std::chrono::steady_clock::now() < drainEnd)
        ::poll(nullptr, 0, 2);
    tcflush(Sys->Fd, queued > 0 ? TCIOFLUSH : TCIFLUSH);
    // The line settings the device had before Open (speed, raw mode, flow
    // control, modem line handling). A device that has gone away refuses;
    // nothing is left to restore then.
    tcsetattr(Sys->Fd, TCSANOW, &Sys->SavedLine);
    // The exclusive flag can outlive this descriptor (a pseudo-terminal keeps
    // it while its master is open), which would lock out the next open.
    ioctl(Sys->Fd, TIOCNXCL);
    ::close(Sys->Fd);
    Sys->Fd = -1;
    SetName(std::string());
    Failed = false;
    AbortOnError = false;
    Marks.Reset();
}

void cComPort::SetBaudRate(int baud) {
    RequireOpen(__LINE__);
    termios tio{};
    if (tcgetattr(Sys->Fd, &tio) != 0) Fail(__LINE__, errno);
    speed_t code;
    if (!SpeedCode(baud, code)) Fail(__LINE__, EINVAL);

    // Raw binary input: no break or parity handling, no stripping, no CR/NL
    // translation, no XON/XOFF in either direction.
    tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP | INLCR | IGNCR | ICRNL |
                                          IXON | IXOFF | IXANY);
#ifdef IUCLC
    tio.c_iflag &= ~static_cast<tcflag_t>(IUCLC);
#endif
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    // 8 data bits, no parity, 1 stop bit, modem lines ignored, receiver on,
    // no hardware flow control.
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB);
#ifdef CRTSCTS
    tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
#endif
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    // Reads return what is there at once; the time limit is kept by poll().
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (cfsetispeed(&tio, code) != 0 || cfsetospeed(&tio, code) != 0) Fail(__LINE__, errno);
    if (tcsetattr(Sys->Fd, TCSANOW, &tio) != 0) Fail(__LINE__, errno);

    // tcsetattr succeeds when any part was applied; the speed must have been.
    termios check{};
    if (tcgetattr(Sys->Fd, &check) != 0) Fail(__LINE__, errno);
    if (cfgetospeed(&check) != code) Fail(__LINE__, EINVAL);

    AbortOnError = false;
    Marks.Reset();

    // DTR and RTS low. A pseudo-terminal has no modem lines and says so.
    int lines = TIOCM_DTR | TIOCM_RTS;
    if (ioctl(Sys->Fd, TIOCMBIC, &lines) != 0 && errno != ENOTTY && errno != EINVAL) Fail(__LINE__, errno);
}

void cComPort::SetAbortOnError(bool on) {
    RequireOpen(__LINE__);
    termios tio{};
    if (tcgetattr(Sys->Fd, &tio) != 0) Fail(__LINE__, errno);
    if (on) {
        // Mark framing and parity errors and breaks in the data.
        tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | IGNPAR | ISTRIP);
        tio.c_iflag |= INPCK | PARMRK;
    } else {
        tio.c_iflag &= ~static_cast<tcflag_t>(INPCK | PARMRK);
    }
    if (tcsetattr(Sys->Fd, TCSANOW, &tio) != 0) Fail(__LINE__, errno);
    AbortOnError = on;
    Marks.Reset();
}

void cComPort::SetTimeouts(int readLimitMs, int writeLimitMs) {
    RequireOpen(__LINE__);
    // A one-byte transfer waits at most limit + 1 ms per byte.
    ReadLimitMs = std::max(readLimitMs, 0);
    WriteLimitMs = std::max(writeLimitMs, 0);
}

void cComPort::SetQueueSizes(int /*inSize*/, int /*outSize*/) {
    // The terminal driver sizes its own queues: nothing to set, but the port
    // must be open, as for every other setting.
    RequireOpen(__LINE__);
}

void cComPort::ClearAndPurgeRx() {
    if (Sys->Fd < 0) return;
    tcflush(Sys->Fd, TCIFLUSH);
    Marks.Reset();
}

void cComPort::ClearAndPurgeTx() {
    // Only this port's own bytes are discarded: before it has written any,
    // what waits on the output side is the tail of the program before it
    // (on a pseudo-terminal, bytes the far end has not read yet).
    if (Sys->Fd < 0 || !Written) return;
    tcflush(Sys->Fd, TCOFLUSH);
}

int cComPort::WaitDevice(short events, std::chrono::steady_clock::time_point deadline, int line, bool despiteStop) {
    for (;;) {
        pollfd fds[2] = {{Sys->Fd, events, 0}, {Sys->WakeRead, POLLIN, 0}};
        int rc = ::poll(fds, despiteStop ? 1 : 2, RemainingMs(deadline));
        if (rc < 0) {
            if (errno == EINTR) continue;
            Fail(line, errno);
        }
        if (rc == 0) {
            if (RemainingMs(deadline) > 0) continue;
            return 0;
        }
        if (fds[0].revents & POLLNVAL) Fail(line, EBADF);
        if (fds[0].revents) return fds[0].revents;
        // Only the wake-up pipe. Drain it before looking at the event, so a
        // SignalStop that comes after the look writes a new byte and wakes
        // the next poll. A stale byte (the owner reset the event) is dropped.
        DrainWake();
        if (IsStopSignalled()) return -1;
    }
}

int cComPort::ReadRaw(uint8_t& byte, std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        int revents = WaitDevice(POLLIN, deadline, __LINE__);
        if (revents <= 0) return 0;
        uint8_t b;
        ssize_t n = ::read(Sys->Fd, &b, 1);
        if (n == 1) {
            byte = b;
            return 1;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) Fail(__LINE__, errno);
        // Nothing to read although poll woke: a hang-up (the line dropped,
        // the adapter was pulled). Otherwise wait on within the limit.
        if (revents & (POLLHUP | POLLERR)) Fail(__LINE__, EIO);
    }
}

bool cComPort::ReadByte(uint8_t& byte) {
    RequireOpen(__LINE__);
    if (IsStopSignalled()) return false;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ReadLimitMs + 1);
    for (;;) {
        uint8_t raw;
        if (ReadRaw(raw, deadline) == 0) {
            if (Marks.InMark()) ClearAndPurgeRx();  // a mark cut short counts as a line error
            return false;
        }
        if (!AbortOnError) {
            byte = raw;
            return true;
        }
        uint8_t data;
        switch (Marks.Feed(raw, data)) {
        case cLineMarkDecoder::eResult::Data: byte = data; return true;
        case cLineMarkDecoder::eResult::LineError:
            // The operation-aborted case: clear, purge, and report no byte.
            ClearAndPurgeRx();
            return false;
        case cLineMarkDecoder::eResult::NeedMore: break;
        }
    }
}

bool cComPort::WriteByte(uint8_t byte) { return Write(byte, false); }

bool cComPort::FinishByte(uint8_t byte) { return Write(byte, true); }

bool cComPort::Write(uint8_t byte, bool despiteStop) {
    RequireOpen(__LINE__);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(WriteLimitMs + 1);
    for (;;) {
        int revents = WaitDevice(POLLOUT, deadline, __LINE__, despiteStop);
        if (revents <= 0) return false;  // no room in time, or stopped
        ssize_t n = ::write(Sys->Fd, &byte, 1);
        if (n == 1) {
            Written = true;
            return true;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) Fail(__LINE__, errno);
        if (revents & (POLLHUP | POLLERR)) Fail(__LINE__, EIO);
    }
}

// ---------------------------------------------------------------------------
// Listing the ports

namespace {

bool HasPrefixAndNumber(const std::string& name, const char* prefix) {
    size_t len = std::strlen(prefix);
    if (name.size() <= len || name.compare(0, len, prefix) != 0) return false;
    return std::all_of(name.begin() + static_cast<long>(len), name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// An on-board port name exists on most machines whether or not a UART is
// there. One with a device behind it in /sys counts; for a real character
// device the driver is also asked for the UART type, and an unknown type (or
// an open that the driver refuses for want of hardware) leaves it out. A
// device that cannot be asked for other reasons (permission, busy) is listed,
// so opening it shows the reason.
bool OnBoardPortPresent(const std::string& devPath, const std::string& sysRoot, const std::string& name) {
    if (!Exists(sysRoot + "/class/tty/" + name + "/device")) return false;
    struct stat st {};
    if (::stat(devPath.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return true;
    int fd = ::open(devPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno != EIO && errno != ENXIO && errno != ENODEV;
    serial_struct info{};
    bool present = true;
    if (ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type == PORT_UNKNOWN) present = false;
    ::close(fd);
    return present;
}

}  // namespace

std::vector<std::string> cComPort::EnumeratePorts() { return EnumeratePorts("/dev", "/sys"); }

std::vector<std::string> cComPort::EnumeratePorts(const std::string& devRoot, const std::string& sysRoot) {
    std::vector<std::string> ports;
    if (!devRoot.empty()) {
        if (DIR* dir = ::opendir(devRoot.c_str())) {
            while (dirent* entry = ::readdir(dir)) {
                std::string name = entry->d_name;
                std::string path = devRoot + "/" + name;
                if (HasPrefixAndNumber(name, "ttyUSB") || HasPrefixAndNumber(name, "ttyACM")) ports.push_back(path);
                else if (HasPrefixAndNumber(name, "ttyS") && !sysRoot.empty() &&
                         OnBoardPortPresent(path, sysRoot, name))
                    ports.push_back(path);
            }
            ::closedir(dir);
        }
    }
    return WithExtraPorts(std::move(ports));
}
