#include "capview/CsvExport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>

#include "screens/CaptureFile.h"

namespace Capture {

namespace {

bool WriteAll(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += size_t(n);
    }
    return true;
}

// Writes the lines in pieces of about a megabyte.
bool WriteLines(int fd, const sCaptureData& data) {
    std::string buf;
    buf.reserve((size_t(1) << 20) + 256);
    buf += CsvHeader();
    float v[TraceCount];
    for (size_t r = 0; r < data.Records(); ++r) {
        for (int t = 0; t < TraceCount; ++t) v[t] = data.Values[t][r];
        AppendCsvLine(buf, r + 1, v);
        if (buf.size() >= (size_t(1) << 20)) {
            if (!WriteAll(fd, buf)) return false;
            buf.clear();
        }
    }
    return WriteAll(fd, buf);
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
    auto fail = [&](int code) {
        if (error) *error = std::strerror(code ? code : EIO);
        return false;
    };
    if (path == "-") return WriteLines(STDOUT_FILENO, data) ? true : fail(errno);
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
    bool ok = WriteLines(fd, data);
    int code = ok ? 0 : errno;
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

}  // namespace Capture
