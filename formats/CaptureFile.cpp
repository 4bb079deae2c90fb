#include "formats/CaptureFile.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <limits>
#include <optional>

#include "core/RegularFile.h"

#include "link/Settings.h"

void cCycleValues::Take(int k) {
    if (k >= 0 && k < 32) Seen |= 1u << k;
}

bool cCycleValues::Whole() const {
    for (int k : LivePollParams)
        if (!(Seen & (1u << k))) return false;
    return true;
}

cCaptureFile::~cCaptureFile() { Close(); }

const char* cCaptureFile::Header() { return "\"TPS\" \"LAMBDA\" \"RPM\" \"VALVE\"\r\n"; }

std::string cCaptureFile::FormatTime(double seconds) {
    return "\"SECONDS\" \"" + FormatNumber(seconds < 0 ? 0 : seconds) + "\"\r\n";
}

std::string cCaptureFile::FormatGap(double seconds) {
    return "\"GAP\" \"" + FormatNumber(seconds < 0 ? 0 : seconds) + "\"\r\n";
}

std::string cCaptureFile::FormatNumber(double value) {
    char buf[400];  // the largest doubles need about 310 digits before the point
    auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 6);
    if (res.ec != std::errc()) return "0.000000";
    return std::string(buf, res.ptr);
}

std::string cCaptureFile::FormatRecord(const sLiveSample& s) {
    std::string line;
    line.reserve(64);
    const double values[4] = {double(s.TPSVolts), double(s.LambdaVolts), double(s.RPM), double(s.ValvePos)};
    for (int i = 0; i < 4; ++i) {
        if (i) line += ',';
        line += '"';
        line += FormatNumber(values[i]);
        line += '"';
    }
    line += "\r\n";
    return line;
}

int cCaptureFile::Append(const std::string& data) {
    size_t done = 0;
    int code = 0;
    while (done < data.size()) {
        const long long n = RegularFile::Write(Fd, data.data() + done, data.size() - done);
        if (n < 0) {
            code = errno;
            break;
        }
        if (n == 0) {
            code = ENOSPC;
            break;
        }
        done += size_t(n);
    }
    if (code == 0) {
        Whole += done;
        return 0;
    }
    // A torn line would join the next record into one bad line: the part
    // written goes again (a pipe cannot be cut; nothing to do there).
    if (done > 0 && RegularFile::Truncate(Fd, Whole) == 0) (void)RegularFile::Seek(Fd, Whole);
    return code;
}

bool cCaptureFile::Open(const std::string& path) {
    Close();
    WriteError = false;
    Whole = 0;
    OpenError.clear();
    if (path.empty()) {
        OpenError = std::strerror(ENOENT);
        return false;
    }
    // Only a regular file: a named pipe or a device is refused without
    // waiting for another program to open its other end.
    Fd = RegularFile::OpenForWriting(path, OpenError);
    if (Fd < 0) return false;
    Opened = std::chrono::steady_clock::now();
    if (const int code = Append(Header())) {
        WriteError = true;
        OpenError = std::strerror(code);
        Close();
        errno = code;
        return false;
    }
    return true;
}

bool cCaptureFile::WriteRecord(const sLiveSample& sample) { return WriteLine(FormatRecord(sample)); }

bool cCaptureFile::WriteGap(double seconds) { return WriteLine(FormatGap(seconds)); }

bool cCaptureFile::WriteLine(const std::string& line) {
    if (Fd < 0) return false;
    const int code = Append(line);
    WriteError = code != 0;
    if (code) errno = code;
    return code == 0;
}

void cCaptureFile::Close(double seconds) {
    if (Fd < 0) return;
    if (seconds < 0) seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - Opened).count();
    // A file whose header could not be written gets no time either.
    if (Whole > 0) (void)Append(FormatTime(seconds));
    RegularFile::Close(Fd);
    Fd = -1;
}
