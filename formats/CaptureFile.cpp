#include "formats/CaptureFile.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <limits>
#include <optional>

#include <unistd.h>

#include "core/RegularFile.h"
#include "link/Settings.h"

sLiveSample LiveSample;

float TakeLiveValue(sLiveSample& s, int k, int r, int ecuVersion, int lambdaType) {
    switch (k) {
    case LiveTPS: s.TPSVolts = float(Conv::RawToVolts(r)); break;
    case LiveRPM: s.RPM = Conv::PeriodToRpm(r); break;
    case LiveStepper: s.ValvePos = r; break;
    case LiveLambda: {
        if (const std::optional<int> value = Conv::LambdaValue(r, ecuVersion, lambdaType))
            s.LambdaVolts = float(Conv::RawToVolts(*value));
        const float shown = s.LambdaVolts;
        s.LambdaVolts = float(Conv::ClampLambdaVolts(s.LambdaVolts, lambdaType));
        return shown;
    }
    default: break;
    }
    return s.LambdaVolts;
}

void cCycleValues::Take(int k) {
    if (k >= 0 && k < 32) Seen |= 1u << k;
}

bool cCycleValues::Whole() const {
    for (int k : VisPollParams)
        if (!(Seen & (1u << k))) return false;
    return true;
}

cCaptureFile::~cCaptureFile() { Close(); }

const char* cCaptureFile::Header() { return "\"TPS\" \"LAMBDA\" \"RPM\" \"VALVE\"\r\n"; }

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

bool cCaptureFile::Open(const std::string& path) {
    Close();
    WriteError = false;
    OpenError.clear();
    if (path.empty()) {
        OpenError = std::strerror(ENOENT);
        return false;
    }
    // Only a regular file: a named pipe or a device is refused without
    // waiting for another program to open its other end.
    const int fd = RegularFile::OpenForWriting(path, OpenError);
    if (fd < 0) return false;
    File = ::fdopen(fd, "wb");
    if (!File) {
        OpenError = std::strerror(errno);
        ::close(fd);
        return false;
    }
    if (std::fputs(Header(), File) < 0 || std::fflush(File) != 0) {
        const int err = errno;
        WriteError = true;
        OpenError = std::strerror(err);
        Close();
        errno = err;
        return false;
    }
    return true;
}

bool cCaptureFile::WriteRecord(const sLiveSample& sample) {
    if (!File) return false;
    std::string line = FormatRecord(sample);
    const bool whole = std::fwrite(line.data(), 1, line.size(), File) == line.size();
    const bool ok = std::fflush(File) == 0 && whole;
    WriteError = !ok;
    return ok;
}

void cCaptureFile::Close() {
    if (!File) return;
    std::fclose(File);
    File = nullptr;
}
