#include "formats/CsvExport.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <functional>

#include "core/RegularFile.h"
#include "core/SafeWrite.h"

#include "formats/CaptureFile.h"

namespace Capture {

namespace {

bool WriteAll(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        const long long n = RegularFile::Write(fd, data.data() + done, data.size() - done);
        if (n < 0) return false;
        done += size_t(n);
    }
    return true;
}

// Writes the records [first, last) numbered from `number`, in pieces of
// about a megabyte.
bool WriteRecords(int fd, std::string& buf, const sCaptureData& data, size_t first, size_t last, uint64_t number) {
    float v[TraceCount];
    for (size_t r = first; r < last; ++r) {
        for (int t = 0; t < TraceCount; ++t) v[t] = data.Values[t][r];
        AppendCsvLine(buf, number++, v);
        if (buf.size() >= (size_t(1) << 20)) {
            if (!WriteAll(fd, buf)) return false;
            buf.clear();
        }
    }
    return true;
}

bool WriteLines(int fd, const sCaptureData& data, size_t first, size_t last) {
    std::string buf;
    buf.reserve((size_t(1) << 20) + 256);
    buf += CsvHeader();
    last = std::min(last, data.Records());
    first = std::min(first, last);
    return WriteRecords(fd, buf, data, first, last, first + 1) && WriteAll(fd, buf);
}

}  // namespace

const char* CsvHeader() { return "record,tps_v,lambda_v,rpm,valve\r\n"; }

std::string CsvNumber(float value) {
    std::string s = cCaptureFile::FormatNumber(double(value));
    const size_t point = s.find('.');
    if (point != std::string::npos) {
        size_t end = s.size();
        while (end > point + 1 && s[end - 1] == '0') --end;
        if (end == point + 1) --end;
        s.resize(end);
    }
    if (s == "-0") s = "0";
    return s;
}

void AppendCsvLine(std::string& out, uint64_t number, const float values[TraceCount]) {
    char buf[24];
    auto res = std::to_chars(buf, buf + sizeof buf, number);
    out.append(buf, res.ptr);
    for (int t = 0; t < TraceCount; ++t) {
        out += ',';
        out += CsvNumber(values[t]);
    }
    out += "\r\n";
}

bool WriteCsv(const std::string& path, const sCaptureData& data, std::string* error) {
    return WriteCsvRange(path, data, 0, data.Records(), error);
}

bool WriteCsvRange(const std::string& path, const sCaptureData& data, size_t first, size_t last, std::string* error) {
    return SafeWrite::ReplaceStreamed(
        path,
        [&](int fd, int& code) {
            if (WriteLines(fd, data, first, last)) return true;
            code = errno;
            return false;
        },
        error);
}

bool ConvertCaptureToCsv(const std::string& capturePath, const std::string& path, sCaptureData& counts,
                         uint64_t& records, sReadResult& read, std::string* error) {
    // The capture is checked before anything is written.
    records = 0;
    read = CheckCaptureFile(capturePath);
    if (read.Status != eReadStatus::Ok) return false;
    bool readFailed = false;
    const bool ok = SafeWrite::ReplaceStreamed(
        path,
        [&](int fd, int& code) {
            std::string buf;
            buf.reserve((size_t(1) << 20) + 256);
            buf += CsvHeader();
            uint64_t number = 1;
            bool written = true;
            read = ReadCaptureFileInPieces(capturePath, counts, [&](sCaptureData& d) {
                written = WriteRecords(fd, buf, d, 0, d.Records(), number);
                number += d.Records();
                d.Truncate(0);
                return written;
            });
            if (!written || !WriteAll(fd, buf)) {
                code = errno;
                return false;
            }
            if (read.Status != eReadStatus::Ok) {
                readFailed = true;
                code = -1;
                return false;
            }
            records = number - 1;
            return true;
        },
        readFailed ? nullptr : error);
    if (readFailed && error) error->clear();
    return ok;
}

}  // namespace Capture
