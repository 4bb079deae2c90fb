#include "formats/CaptureData.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include "core/RegularFile.h"

#include "link/Settings.h"

#include "formats/CaptureFile.h"

namespace Capture {

namespace {

constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8, 1e9,
                             1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18};

inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }
inline bool IsDigit(char c) { return unsigned(c - '0') < 10u; }

// A number in fixed notation ("-12.345600"); anything else that reads as a
// finite decimal number (an exponent, very many digits) goes the slow way.
// Returns the position after the number, or nullptr.
const char* ParseNumber(const char* p, const char* e, double& v) {
    // The writer's own form first: an optional minus, up to nine digits, a
    // point and six decimals, read without a check per digit.
    {
        const char* q = p;
        const bool minus = q < e && *q == '-';
        if (minus) ++q;
        const char* from = q;
        const char* most = e - q > 9 ? q + 9 : e;
        uint64_t m = 0;
        while (q < most && IsDigit(*q)) m = m * 10 + unsigned(*q++ - '0');
        if (q > from && e - q >= 7 && *q == '.') {
            const unsigned d0 = unsigned(q[1] - '0'), d1 = unsigned(q[2] - '0'), d2 = unsigned(q[3] - '0'),
                           d3 = unsigned(q[4] - '0'), d4 = unsigned(q[5] - '0'), d5 = unsigned(q[6] - '0');
            const bool digits = (d0 < 10) & (d1 < 10) & (d2 < 10) & (d3 < 10) & (d4 < 10) & (d5 < 10);
            const bool ends = q + 7 == e || !(IsDigit(q[7]) || q[7] == 'e' || q[7] == 'E');
            if (digits && ends) {
                m = m * 1000000 + d0 * 100000 + d1 * 10000 + d2 * 1000 + d3 * 100 + d4 * 10 + d5;
                // Below 2^53 both operands are exact and the division rounds
                // once, as the general way below does.
                v = double(m) / 1e6;
                if (minus) v = -v;
                return q + 7;
            }
        }
    }
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

}  // namespace

double sCaptureData::ExactValue(int trace, size_t record) const {
    if (!Exact.empty()) {
        auto it = std::lower_bound(Exact.begin(), Exact.end(), std::make_pair(uint64_t(record), trace),
                                   [](const sExactValue& e, const std::pair<uint64_t, int>& k) {
                                       return std::make_pair(e.Record, e.Trace) < k;
                                   });
        if (it != Exact.end() && it->Record == record && it->Trace == trace) return it->Value;
    }
    return Values[trace][record];
}

double sCaptureData::GapSeconds() const {
    double sum = 0;
    for (const sGap& g : Gaps) sum += g.Seconds;
    return sum;
}

double sCaptureData::RecordSeconds() const { return std::max(0.0, Seconds - GapSeconds()); }

void sCaptureData::Truncate(size_t records) {
    for (auto& v : Values)
        if (v.size() > records) v.resize(records);
    while (!Exact.empty() && Exact.back().Record >= records) Exact.pop_back();
}

void sCaptureData::Clear() {
    for (auto& v : Values) v = std::vector<float>();
    Exact = std::vector<sExactValue>();
    Gaps = std::vector<sGap>();
    Lines = SkippedLines = HeaderLines = DroppedRecords = Bytes = WholeLineBytes = 0;
    LastLineCut = false;
    LastLine = eLine::None;
    TimeLines = RecordsTimed = 0;
    Seconds = LastSeconds = 0;
    Device = Inode = 0;
    ChangedNs = 0;
    Head.clear();
    Tail.clear();
}

cCaptureParser::cCaptureParser(sCaptureData& out, uint64_t maxRecords) : Out(out), MaxRecords(maxRecords) {}

bool cCaptureParser::ParseRecord(const char* begin, const char* end, float values[TraceCount]) {
    double v[TraceCount];
    if (!ParseRecord(begin, end, v)) return false;
    for (int i = 0; i < TraceCount; ++i) values[i] = float(v[i]);
    return true;
}

bool cCaptureParser::ParseRecord(const char* p, const char* e, double values[TraceCount]) {
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
        if (!std::isfinite(float(v))) return false;
        values[i] = v;
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

namespace {
// A line of a name and one quoted number of seconds ("\"NAME\" \"1.5\"").
bool ParseNamedSeconds(const char* p, const char* e, const char* start, double& seconds) {
    if (e > p && e[-1] == '\r') --e;
    const size_t n = std::strlen(start);
    const char* kStart = start;
    if (size_t(e - p) < n + 2 || std::memcmp(p, kStart, n) != 0 || e[-1] != '"') return false;
    double v = 0;
    const char* q = ParseNumber(p + n, e - 1, v);
    if (q != e - 1 || !std::isfinite(v) || v < 0) return false;
    seconds = v;
    return true;
}
}  // namespace

bool cCaptureParser::ParseTime(const char* p, const char* e, double& seconds) {
    return ParseNamedSeconds(p, e, "\"SECONDS\" \"", seconds);
}

bool cCaptureParser::ParseGap(const char* p, const char* e, double& seconds) {
    return ParseNamedSeconds(p, e, "\"GAP\" \"", seconds);
}

// Judges one line (without its line end) and remembers what it was, so that
// a last line without line end can be taken back when the file grows.
void cCaptureParser::Line(const char* begin, const char* end) {
    ++Out.Lines;
    double v[TraceCount];
    if (ParseRecord(begin, end, v)) {
        if (Out.Records() >= MaxRecords) {
            ++Out.DroppedRecords;
            Out.LastLine = sCaptureData::eLine::Dropped;
            return;
        }
        const uint64_t record = Out.Records();
        for (int i = 0; i < TraceCount; ++i) {
            const float f = float(v[i]);
            // Below 8 a float keeps six decimals (its error stays under half
            // a millionth); whole numbers up to 2^24 it keeps exactly.
            if (double(f) != v[i] && std::fabs(v[i]) >= 8 && std::llround(double(f) * 1e6) != std::llround(v[i] * 1e6))
                Out.Exact.push_back({record, i, v[i]});
            Out.Values[i].push_back(f);
        }
        Out.LastLine = sCaptureData::eLine::Record;
    } else if (IsHeader(begin, end)) {
        ++Out.HeaderLines;
        Out.LastLine = sCaptureData::eLine::Header;
    } else if (double seconds = 0; ParseTime(begin, end, seconds)) {
        ++Out.TimeLines;
        Out.Seconds += seconds;
        Out.LastSeconds = seconds;
        Out.RecordsTimed = Out.Records() + Out.DroppedRecords;
        Out.LastLine = sCaptureData::eLine::Time;
    } else if (ParseGap(begin, end, seconds)) {
        Out.Gaps.push_back({Out.Records() + Out.DroppedRecords, seconds});
        Out.LastLine = sCaptureData::eLine::Gap;
    } else {
        ++Out.SkippedLines;
        Out.LastLine = sCaptureData::eLine::Skipped;
    }
}

void cCaptureParser::Feed(const char* p, size_t size) {
    const char* e = p + size;
    if (size > 0) {
        for (const char* q = p + size; q != p; --q)
            if (q[-1] == '\n') {
                Out.WholeLineBytes = Out.Bytes + uint64_t(q - p);
                break;
            }
        Out.Bytes += size;
    }
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
        Out.LastLine = sCaptureData::eLine::Skipped;
        Out.LastLineCut = true;
    } else if (!Partial.empty()) {
        Line(Partial.data(), Partial.data() + Partial.size());
        Out.LastLineCut = true;
    }
    Partial.clear();
    Overlong = false;
}

sCaptureData ParseCapture(const void* data, size_t size) {
    sCaptureData out;
    cCaptureParser parser(out);
    parser.Feed(static_cast<const char*>(data), size);
    parser.Finish();
    return out;
}

uint64_t DefaultRecordLimit() {
    constexpr uint64_t kBytesPerRecord = 32;  // values, min/max pyramid and growth room
    const uint64_t limit = RegularFile::PhysicalMemory() / 2 / kBytesPerRecord;
    return std::max<uint64_t>(limit, 1000000);
}

namespace {

// Opens a capture for reading without waiting: a pipe or a device would
// block the open or the reads for ever, so only regular files are read.
sReadResult OpenRegular(const std::string& path, int& fd, RegularFile::sFileInfo& st) {
    fd = RegularFile::OpenForReading(path);
    if (fd < 0) return {eReadStatus::CannotOpen, errno};
    if (!RegularFile::Info(fd, st)) {
        const int code = errno;
        RegularFile::Close(fd);
        fd = -1;
        return {eReadStatus::CannotOpen, code};
    }
    if (!st.Regular) {
        const bool dir = st.Folder;
        RegularFile::Close(fd);
        fd = -1;
        return {dir ? eReadStatus::CannotOpen : eReadStatus::NotAFile, dir ? EISDIR : 0};
    }
    RegularFile::Blocking(fd);
    return {};
}

// Feeds the file from its current position to its end (as far as it was
// when reading began) to the parser, in pieces.
sReadResult FeedFile(int fd, uint64_t from, uint64_t total, cCaptureParser& parser, const tProgress& progress) {
    constexpr size_t kChunk = size_t(4) << 20;
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[kChunk]);
    if (!buffer) return {eReadStatus::OutOfMemory, ENOMEM};
    uint64_t done = from;
    for (;;) {
        size_t want = kChunk;
        if (total > done) want = size_t(std::min<uint64_t>(kChunk, total - done));
        const long long n = RegularFile::Read(fd, buffer.get(), want);
        if (n < 0) return {eReadStatus::ReadError, errno};
        if (n == 0) break;
        parser.Feed(buffer.get(), size_t(n));
        done += uint64_t(n);
        if (progress && !progress(done, std::max(total, done))) return {eReadStatus::Cancelled, 0};
        if (done >= total) break;  // what was there when reading began
    }
    return {};
}

constexpr size_t kMarkBytes = 64;

// `n` bytes at `at`, fewer at the end of the file.
std::string ReadAt(int fd, uint64_t at, size_t n) {
    std::string out(n, '\0');
    size_t got = 0;
    while (got < n) {
        const long long r = RegularFile::ReadAt(fd, out.data() + got, n - got, at + got);
        if (r <= 0) break;
        got += size_t(r);
    }
    out.resize(got);
    return out;
}

// What tells this file and these bytes of it from another (see sCaptureData).
void Remember(int fd, const RegularFile::sFileInfo& st, sCaptureData& d) {
    d.Device = st.Device;
    d.Inode = st.Inode;
    d.ChangedNs = st.ChangedNs;
    d.Head = ReadAt(fd, 0, size_t(std::min<uint64_t>(kMarkBytes, d.Bytes)));
    const uint64_t tail = std::min<uint64_t>(kMarkBytes, d.Bytes);
    d.Tail = ReadAt(fd, d.Bytes - tail, size_t(tail));
}

// Whether the open file is still the one `d` was read from, its bytes so far
// unchanged.
bool SameFile(int fd, const RegularFile::sFileInfo& st, const sCaptureData& d) {
    if (st.Device != d.Device || st.Inode != d.Inode || st.Size < d.Bytes) return false;
    return ReadAt(fd, 0, d.Head.size()) == d.Head && ReadAt(fd, d.Bytes - d.Tail.size(), d.Tail.size()) == d.Tail;
}

void EqualColumns(sCaptureData& out) {
    size_t n = out.Values[0].size();
    for (auto& v : out.Values) n = std::min(n, v.size());
    out.Truncate(n);
}

}  // namespace

sReadResult ReadCaptureFile(const std::string& path, sCaptureData& out, const tProgress& progress,
                            uint64_t maxRecords) {
    out.Clear();
    int fd = -1;
    RegularFile::sFileInfo st;
    sReadResult result = OpenRegular(path, fd, st);
    if (fd < 0) return result;
    RegularFile::AdviseSequential(fd);
    const uint64_t total = st.Size;
    try {
        // Room for the records a file of this size can hold in the writer's
        // format (at least 45 bytes a line); a file written differently
        // grows the columns as usual.
        const uint64_t expected = std::min<uint64_t>(total / 45 + 16, maxRecords);
        for (auto& v : out.Values) v.reserve(size_t(expected));
    } catch (const std::bad_alloc&) {
        for (auto& v : out.Values) v = std::vector<float>();
    }
    cCaptureParser parser(out, maxRecords);
    try {
        result = FeedFile(fd, 0, total, parser, progress);
        parser.Finish();
    } catch (const std::bad_alloc&) {
        result = {eReadStatus::OutOfMemory, ENOMEM};
    }
    // Columns of equal length whatever happened in the middle of a record.
    EqualColumns(out);
    Remember(fd, st, out);
    RegularFile::Close(fd);
    return result;
}

sReadResult CheckCaptureFile(const std::string& path) {
    int fd = -1;
    RegularFile::sFileInfo st;
    const sReadResult result = OpenRegular(path, fd, st);
    if (fd >= 0) RegularFile::Close(fd);
    return result;
}

sReadResult ReadCaptureFileInPieces(const std::string& path, sCaptureData& out,
                                    const std::function<bool(sCaptureData&)>& take) {
    out.Clear();
    int fd = -1;
    RegularFile::sFileInfo st;
    sReadResult result = OpenRegular(path, fd, st);
    if (fd < 0) return result;
    RegularFile::AdviseSequential(fd);
    cCaptureParser parser(out);
    bool taken = true;
    try {
        result = FeedFile(fd, 0, st.Size, parser, [&](uint64_t, uint64_t) { return taken = take(out); });
        if (taken && result.Status == eReadStatus::Ok) {
            parser.Finish();
            if (!take(out)) result.Status = eReadStatus::Cancelled;
        }
    } catch (const std::bad_alloc&) {
        result = {eReadStatus::OutOfMemory, ENOMEM};
    }
    RegularFile::Close(fd);
    return result;
}

sReadResult ReadMoreOfCaptureFile(const std::string& path, sCaptureData& data, bool& restarted, uint64_t maxRecords) {
    restarted = false;
    int fd = -1;
    RegularFile::sFileInfo st;
    sReadResult result = OpenRegular(path, fd, st);
    if (fd < 0) return result;
    const uint64_t size = st.Size;
    if (!SameFile(fd, st, data)) {
        // Another file under the old name, or this one written anew: what
        // was read of it is no longer there.
        RegularFile::Close(fd);
        restarted = true;
        return ReadCaptureFile(path, data, {}, maxRecords);
    }
    if (size == data.Bytes) {
        data.ChangedNs = st.ChangedNs;
        RegularFile::Close(fd);
        return result;
    }
    // The last line without line end is judged again with what follows it.
    const uint64_t from = data.LastLineCut ? data.WholeLineBytes : data.Bytes;
    if (data.LastLineCut) {
        --data.Lines;
        switch (data.LastLine) {
        case sCaptureData::eLine::Record:
            if (data.Records() > 0) data.Truncate(data.Records() - 1);
            break;
        case sCaptureData::eLine::Header: --data.HeaderLines; break;
        case sCaptureData::eLine::Skipped: --data.SkippedLines; break;
        case sCaptureData::eLine::Dropped: --data.DroppedRecords; break;
        case sCaptureData::eLine::Time:
            --data.TimeLines;
            data.Seconds -= data.LastSeconds;
            break;
        case sCaptureData::eLine::Gap:
            if (!data.Gaps.empty()) data.Gaps.pop_back();
            break;
        case sCaptureData::eLine::None: ++data.Lines; break;
        }
        data.LastLineCut = false;
        data.LastLine = sCaptureData::eLine::None;
    }
    data.Bytes = from;
    if (!RegularFile::Seek(fd, from)) {
        const int code = errno;
        RegularFile::Close(fd);
        return {eReadStatus::ReadError, code};
    }
    cCaptureParser parser(data, maxRecords);
    if (from > 0) parser.StartsMidway();
    try {
        result = FeedFile(fd, from, size, parser, {});
        parser.Finish();
    } catch (const std::bad_alloc&) {
        result = {eReadStatus::OutOfMemory, ENOMEM};
    }
    EqualColumns(data);
    Remember(fd, st, data);
    RegularFile::Close(fd);
    return result;
}

bool CaptureFileMayHaveChanged(const std::string& path, const sCaptureData& data) {
    RegularFile::sFileInfo st;
    if (!RegularFile::InfoOf(path, st)) return false;  // gone for now: nothing new to read
    return st.Size != data.Bytes || st.Device != data.Device || st.Inode != data.Inode ||
           st.ChangedNs != data.ChangedNs;
}

}  // namespace Capture
