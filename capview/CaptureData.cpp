#include "capview/CaptureData.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>
#include <exception>
#include <thread>

#include "link/CommThread.h"
#include "link/Settings.h"
#include "screens/CaptureFile.h"

namespace Capture {

namespace {

constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,
                             1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18};

inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }
inline bool IsDigit(char c) { return unsigned(c - '0') < 10u; }

// A number in fixed notation ("-12.345600"); anything else that reads as a
// finite decimal number (an exponent, very many digits) goes the slow way.
// Returns the position after the number, or nullptr.
const char* ParseNumber(const char* p, const char* e, double& v) {
    const char* start = p;
    bool neg = false;
    if (p < e && (*p == '-' || *p == '+')) {
        neg = *p == '-';
        ++p;
    }
    uint64_t m = 0;
    int digits = 0, frac = 0;
    while (p < e && IsDigit(*p)) {
        m = m * 10 + unsigned(*p - '0');
        ++digits;
        ++p;
    }
    if (p < e && *p == '.') {
        ++p;
        while (p < e && IsDigit(*p)) {
            m = m * 10 + unsigned(*p - '0');
            ++digits;
            ++frac;
            ++p;
        }
    }
    if (digits == 0) return nullptr;
    if (digits <= 18 && !(p < e && (*p == 'e' || *p == 'E'))) {
        // Both operands are exact, and the division rounds once: the same
        // double as a full decimal conversion gives.
        v = double(m) / kPow10[frac];
        if (neg) v = -v;
        return p;
    }
    const char* from = start + (*start == '+' ? 1 : 0);
    auto res = std::from_chars(from, e, v, std::chars_format::general);
    if (res.ec != std::errc()) return nullptr;
    return res.ptr;
}

// The same reading as ParseNumber for a number that is followed by a byte
// that ends it (the line's LF, CR or closing quote, or the terminating zero
// of a string): no bounds checks in the digit loops.
inline const char* ParseNumberSentinel(const char* p, const char* e, double& v) {
    const char* start = p;
    const bool neg = *p == '-';
    if (neg || *p == '+') ++p;
    uint64_t m = 0;
    const char* d = p;
    while (IsDigit(*p)) m = m * 10 + unsigned(*p++ - '0');
    int digits = int(p - d), frac = 0;
    if (*p == '.' && digits <= 12 && e - p >= 8) {
        // Six decimals, as the capture writer prints them, eight bytes at a
        // time: the six digits and the byte after them (still inside the
        // line, or its end byte) are read in one go.
        uint64_t w;
        std::memcpy(&w, p + 1, 8);
        const uint64_t six = w & 0x0000FFFFFFFFFFFFull;
        const bool allDigits = ((six & 0x0000F0F0F0F0F0F0ull) == 0x0000303030303030ull) &&
                               (((six + 0x0000060606060606ull) & 0x0000F0F0F0F0F0F0ull) == 0x0000303030303030ull);
        if (allDigits && !IsDigit(p[7])) {
            uint64_t v8 = ((six << 16) | 0x3030u) - 0x3030303030303030ull;  // "00" and the six digits
            v8 = (v8 * 10) + (v8 >> 8);
            v8 = (((v8 & 0x000000FF000000FFull) * (100 + (1000000ull << 32))) +
                  (((v8 >> 16) & 0x000000FF000000FFull) * (1 + (10000ull << 32)))) >> 32;
            m = m * 1000000 + v8;
            p += 7;
            digits += 6;
            frac = 6;
            if (*p != 'e' && *p != 'E') {
                v = double(m) / kPow10[frac];
                if (neg) v = -v;
                return p;
            }
            return ParseNumber(start, e, v);
        }
    }
    if (*p == '.') {
        const char* f = ++p;
        while (IsDigit(*p)) m = m * 10 + unsigned(*p++ - '0');
        frac = int(p - f);
        digits += frac;
    }
    if (digits == 0 || p > e) return nullptr;
    if (digits <= 18 && *p != 'e' && *p != 'E') {
        v = double(m) / kPow10[frac];
        if (neg) v = -v;
        return p;
    }
    return ParseNumber(start, e, v);
}

// ParseRecord for a line whose end byte is not part of a number (see above).
inline bool ParseRecordSentinel(const char* p, const char* e, float values[TraceCount]) {
    if (e > p && e[-1] == '\r') --e;
    for (int i = 0; i < TraceCount; ++i) {
        while (IsBlank(*p) && p < e) ++p;
        const bool quoted = *p == '"' && p < e;
        if (quoted) ++p;
        double v;
        p = ParseNumberSentinel(p, e, v);
        if (!p) return false;
        if (quoted) {
            if (p >= e || *p != '"') return false;
            ++p;
        }
        while (p < e && IsBlank(*p)) ++p;
        const float f = float(v);
        if (!std::isfinite(f)) return false;
        values[i] = f;
        if (i + 1 < TraceCount) {
            if (p >= e || *p != ',') return false;
            ++p;
        }
    }
    return p == e;
}

}  // namespace

void sCaptureData::Clear() {
    for (auto& v : Values) v = std::vector<float>();
    Lines = SkippedLines = HeaderLines = DroppedRecords = 0;
    LastLineCut = false;
}

cCaptureParser::cCaptureParser(sCaptureData& out, uint64_t maxRecords) : Out(out), MaxRecords(maxRecords) {}

bool cCaptureParser::ParseRecord(const char* p, const char* e, float values[TraceCount]) {
    if (e > p && e[-1] == '\r') --e;
    for (int i = 0; i < TraceCount; ++i) {
        while (p < e && IsBlank(*p)) ++p;
        const bool quoted = p < e && *p == '"';
        if (quoted) ++p;
        double v;
        p = ParseNumber(p, e, v);
        if (!p) return false;
        if (quoted) {
            if (p >= e || *p != '"') return false;
            ++p;
        }
        while (p < e && IsBlank(*p)) ++p;
        const float f = float(v);
        if (!std::isfinite(f)) return false;
        values[i] = f;
        if (i + 1 < TraceCount) {
            if (p >= e || *p != ',') return false;
            ++p;
        }
    }
    return p == e;
}

bool cCaptureParser::IsHeader(const char* begin, const char* end) {
    if (end > begin && end[-1] == '\r') --end;
    const char* header = cCaptureFile::Header();
    size_t n = std::strlen(header);
    while (n > 0 && (header[n - 1] == '\n' || header[n - 1] == '\r')) --n;
    return size_t(end - begin) == n && std::memcmp(begin, header, n) == 0;
}

void cCaptureParser::TakeUnfinishedLine(cCaptureParser& from) {
    Partial = std::move(from.Partial);
    Overlong = from.Overlong;
    from.Partial.clear();
    from.Overlong = false;
}

// Every line handed here ends before a byte that cannot be part of a number:
// the LF found in the input, or the zero after a string's characters.
void cCaptureParser::Line(const char* begin, const char* end) {
    ++Out.Lines;
    float v[TraceCount];
    if (ParseRecordSentinel(begin, end, v)) {
        if (Out.Records() >= MaxRecords) {
            ++Out.DroppedRecords;
            return;
        }
        for (int i = 0; i < TraceCount; ++i) Out.Values[i].push_back(v[i]);
    } else if (IsHeader(begin, end)) {
        ++Out.HeaderLines;
    } else {
        ++Out.SkippedLines;
    }
}

void cCaptureParser::Feed(const char* p, size_t size) {
    const char* e = p + size;
    if (AtStart && size > 0) {
        // A byte order mark that an editor may have put in front.
        static const char bom[] = "\xEF\xBB\xBF";
        size_t have = Partial.size();
        while (have < 3 && p < e && *p == bom[have]) {
            Partial += *p++;
            ++have;
        }
        if (have == 3) {
            Partial.clear();
            AtStart = false;
        } else if (p < e) {
            AtStart = false;  // not a mark: the bytes kept are the line's start
        } else {
            return;  // still inside a possible mark
        }
    }
    if (!Partial.empty() || Overlong) {
        const char* nl = static_cast<const char*>(std::memchr(p, '\n', size_t(e - p)));
        if (!nl) {
            if (!Overlong) {
                Partial.append(p, e);
                if (Partial.size() > MaxLineLength) {
                    Overlong = true;
                    Partial.clear();
                    Partial.shrink_to_fit();
                }
            }
            return;
        }
        if (Overlong) {
            ++Out.Lines;
            ++Out.SkippedLines;
            Overlong = false;
        } else {
            Partial.append(p, nl);
            Line(Partial.data(), Partial.data() + Partial.size());
            Partial.clear();
        }
        p = nl + 1;
    }
    while (p < e) {
        const char* nl = static_cast<const char*>(std::memchr(p, '\n', size_t(e - p)));
        if (!nl) {
            if (size_t(e - p) > MaxLineLength) Overlong = true;
            else Partial.assign(p, e);
            return;
        }
        Line(p, nl);
        p = nl + 1;
    }
}

void cCaptureParser::Finish() {
    if (Overlong) {
        ++Out.Lines;
        ++Out.SkippedLines;
        Out.LastLineCut = true;
    } else if (!Partial.empty()) {
        Line(Partial.data(), Partial.data() + Partial.size());
        Out.LastLineCut = true;
    }
    Partial.clear();
    Overlong = false;
}

// Appends the records and counts of `from` (read after `to`), keeping at
// most maxRecords.
static void Append(sCaptureData& to, const sCaptureData& from, uint64_t maxRecords) {
    const size_t room = size_t(std::min<uint64_t>(maxRecords - std::min<uint64_t>(maxRecords, to.Records()), from.Records()));
    for (int t = 0; t < TraceCount; ++t)
        to.Values[t].insert(to.Values[t].end(), from.Values[t].begin(), from.Values[t].begin() + long(room));
    to.Lines += from.Lines;
    to.SkippedLines += from.SkippedLines;
    to.HeaderLines += from.HeaderLines;
    to.DroppedRecords += from.DroppedRecords + (from.Records() - room);
}

sCaptureData ParseCapture(const void* data, size_t size) {
    sCaptureData out;
    cCaptureParser parser(out);
    parser.Feed(static_cast<const char*>(data), size);
    parser.Finish();
    return out;
}

uint64_t DefaultRecordLimit() {
    const long pages = ::sysconf(_SC_PHYS_PAGES), pageSize = ::sysconf(_SC_PAGESIZE);
    constexpr uint64_t kBytesPerRecord = 32;  // values, min/max pyramid and growth room
    uint64_t limit = 0;
    if (pages > 0 && pageSize > 0) limit = uint64_t(pages) * uint64_t(pageSize) / 2 / kBytesPerRecord;
    return std::max<uint64_t>(limit, 1000000);
}

sReadResult ReadCaptureFile(const std::string& path, sCaptureData& out, const tProgress& progress,
                            uint64_t maxRecords) {
    out.Clear();
    sReadResult result;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {eReadStatus::CannotOpen, errno};
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int code = S_ISDIR(st.st_mode) ? EISDIR : (errno ? errno : EINVAL);
        ::close(fd);
        return {eReadStatus::CannotOpen, code};
    }
    (void)::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    const uint64_t total = uint64_t(st.st_size);

    // Large pieces; each is parsed in two halves at once, the second half
    // starting after a line end near the middle.
    constexpr size_t kChunk = size_t(16) << 20;
    constexpr size_t kSplitFrom = size_t(1) << 20;
    try {
        // Room for the records a file of this size can hold in the writer's
        // format (at least 45 bytes a line); a file written differently
        // grows the columns as usual.
        const uint64_t expected = std::min<uint64_t>(total / 45 + 16, maxRecords);
        for (auto& v : out.Values) v.reserve(size_t(expected));
    } catch (const std::bad_alloc&) {
        for (auto& v : out.Values) v = std::vector<float>();
    }
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[kChunk]);
    if (!buffer) {
        ::close(fd);
        return {eReadStatus::OutOfMemory, ENOMEM};
    }
    cCaptureParser parser(out, maxRecords);
    sCaptureData second;
    uint64_t done = 0;
    try {
        for (;;) {
            // Fill the piece (reads may come back short).
            size_t have = 0;
            bool eof = false;
            while (have < kChunk) {
                const ssize_t n = ::read(fd, buffer.get() + have, kChunk - have);
                if (n < 0) {
                    if (errno == EINTR) continue;
                    result = {eReadStatus::ReadError, errno};
                    break;
                }
                if (n == 0) {
                    eof = true;
                    break;
                }
                have += size_t(n);
                if (total && done + have >= total) break;
            }
            const char* data = buffer.get();
            const char* cut = nullptr;
            if (have >= kSplitFrom)
                cut = static_cast<const char*>(std::memchr(data + have / 2, '\n', have - have / 2));
            if (cut && size_t(cut + 1 - data) < have) {
                ++cut;
                // The second half's columns keep their memory from piece to
                // piece.
                for (auto& v : second.Values) v.clear();
                second.Lines = second.SkippedLines = second.HeaderLines = second.DroppedRecords = 0;
                cCaptureParser secondParser(second, maxRecords);
                secondParser.StartsMidway();
                std::exception_ptr failure;
                std::thread helper([&] {
                    try {
                        for (auto& v : second.Values) v.reserve(size_t(data + have - cut) / 45 + 16);
                        secondParser.Feed(cut, size_t(data + have - cut));
                    } catch (...) {
                        failure = std::current_exception();
                    }
                });
                parser.Feed(data, size_t(cut - data));
                helper.join();
                if (failure) std::rethrow_exception(failure);
                Append(out, second, maxRecords);
                parser.TakeUnfinishedLine(secondParser);
            } else {
                parser.Feed(data, have);
            }
            done += have;
            if (result.Status != eReadStatus::Ok) break;
            if (progress && !progress(done, std::max(total, done))) {
                result.Status = eReadStatus::Cancelled;
                break;
            }
            if (eof || have == 0) break;
        }
        parser.Finish();
    } catch (const std::bad_alloc&) {
        result = {eReadStatus::OutOfMemory, ENOMEM};
    }
    // Columns of equal length whatever happened in the middle of a record.
    size_t n = out.Values[0].size();
    for (auto& v : out.Values) n = std::min(n, v.size());
    for (auto& v : out.Values) v.resize(n);
    ::close(fd);
    return result;
}

double PollCycleSeconds(int ecuVersion) {
    // One frame: three bytes out, each after the pacing pause, and three
    // bytes back; a byte is ten bits on the line (8N1).
    const double byteMs = 10.0 * 1000.0 / cCommThread::BaudRate;
    const double frameMs = 3 * (Ecu::BytePauseMs(ecuVersion) + byteMs) + 3 * byteMs;
    const double stepMs = double(cCommThread::IdleWait.count()) + frameMs;
    return std::size(cCommThread::LivePollParams) * stepMs / 1000.0;
}

}  // namespace Capture
