// Reading capture files (*.dat) of the visualisation screen: the header line,
// then one record of four quoted numbers per line, gap lines where the ECU was
// away, and a time line at the end. Lines that are not records are counted,
// never fatal; a file of any size or content gives the records
// it holds. No Qt: the viewer, its command line and the tests share it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace Capture {

// The four columns of a record, in file order.
enum eTrace : int { TraceTps = 0, TraceLambda, TraceRpm, TraceValve, TraceCount };

// A value that its float does not hold to the file's six decimals (a large
// number with a fraction, "499.999999" kept as 500): the value as written,
// for the figures that bin values (see ExactValue).
struct sExactValue {
    uint64_t Record = 0;
    int Trace = 0;
    double Value = 0;
};

// A gap line: the ECU was away for Seconds before record Record (counted
// from the file's first record, dropped ones included).
struct sGap {
    uint64_t Record = 0;
    double Seconds = 0;
};

struct sCaptureData {
    std::vector<float> Values[TraceCount];  // one entry per record and column
    std::vector<sExactValue> Exact;         // by record, then trace; usually empty
    uint64_t Lines = 0;                     // lines seen, a last line without line end included
    uint64_t SkippedLines = 0;              // lines that are neither a record nor the header
    uint64_t HeaderLines = 0;               // header lines (more than one: captures joined together)
    uint64_t DroppedRecords = 0;            // good records beyond the record limit, not kept
    bool LastLineCut = false;               // the file ends inside a line (no line end)
    uint64_t Bytes = 0;                     // bytes read
    uint64_t WholeLineBytes = 0;            // bytes up to and with the last line end
    // What the last line judged was, so that a cut last line can be judged
    // again when the file has grown.
    enum class eLine { None, Record, Header, Skipped, Dropped, Time, Gap } LastLine = eLine::None;
    // The gap lines, in file order (neither records nor skipped lines). A
    // reader that empties the columns as it goes (ReadCaptureFileInPieces)
    // keeps them all, at the record numbers of the piece they came in.
    std::vector<sGap> Gaps;
    // The time lines the capture's writer adds when it closes the file: the
    // seconds each part recorded (added up) and how many records the file
    // held at the last one.
    uint64_t TimeLines = 0;
    double Seconds = 0;
    double LastSeconds = 0;  // of the last time line, to take it back when cut
    uint64_t RecordsTimed = 0;
    // The file as it was read, to notice another file put under its name or
    // the file written anew in place: its identity and last change, and its
    // first bytes and those before Bytes.
    uint64_t Device = 0, Inode = 0;
    int64_t ChangedNs = 0;
    std::string Head, Tail;

    size_t Records() const { return Values[TraceTps].size(); }
    // Whether the seconds the capture recorded are known: each part (each
    // header) ended with its time line and no record came after the last.
    // Older captures, and one whose writer never closed it (a power loss),
    // have no known time.
    bool TimeKnown() const {
        return TimeLines > 0 && TimeLines >= HeaderLines && RecordsTimed == Records() + DroppedRecords;
    }
    // The seconds the ECU was away, all gaps added up.
    double GapSeconds() const;
    // The recorded seconds that belong to records: the time lines' less the
    // gaps' (only meaningful when TimeKnown).
    double RecordSeconds() const;
    float Value(int trace, size_t record) const { return Values[trace][record]; }
    // The value as written in the file, to six decimals.
    double ExactValue(int trace, size_t record) const;
    // Keeps the first `records` records (and every gap line).
    void Truncate(size_t records);
    void Clear();
};

// Turns bytes into records, fed in pieces of any size (a line may be split
// anywhere). Lines longer than MaxLineLength are skipped without being kept.
class cCaptureParser {
public:
    static constexpr size_t MaxLineLength = 1024;

    // Records beyond maxRecords are counted in DroppedRecords, not stored.
    explicit cCaptureParser(sCaptureData& out, uint64_t maxRecords = UINT64_MAX);
    void Feed(const char* data, size_t size);
    // Ends the input: a last line without line end is judged like any other.
    void Finish();

    // One line without its line end (a trailing CR is allowed): true when it
    // is a record, whose four values then go to `values`.
    static bool ParseRecord(const char* begin, const char* end, float values[TraceCount]);
    static bool ParseRecord(const char* begin, const char* end, double values[TraceCount]);
    static bool IsHeader(const char* begin, const char* end);
    // The time line ("\"SECONDS\" \"20.104000\""): true with its seconds.
    static bool ParseTime(const char* begin, const char* end, double& seconds);
    // The gap line ("\"GAP\" \"12.345678\""): true with its seconds.
    static bool ParseGap(const char* begin, const char* end, double& seconds);

    // A parser that starts at a line start in the middle of the input (no
    // byte order mark there), for reading what a growing file has added.
    void StartsMidway() { AtStart = false; }

private:
    sCaptureData& Out;
    uint64_t MaxRecords;
    std::string Partial;    // the start of a line split between two pieces
    bool Overlong = false;  // inside a line longer than MaxLineLength
    bool AtStart = true;    // nothing fed yet (a byte order mark may follow)
    void Line(const char* begin, const char* end);
};

// Parses a whole buffer (also the entry point for fuzzing).
sCaptureData ParseCapture(const void* data, size_t size);
inline sCaptureData ParseCapture(const std::string& text) { return ParseCapture(text.data(), text.size()); }

// NotAFile: a pipe, device or socket, refused at once (reading one would
// wait for a writer for ever).
enum class eReadStatus { Ok, CannotOpen, ReadError, Cancelled, OutOfMemory, NotAFile };

struct sReadResult {
    eReadStatus Status = eReadStatus::Ok;
    int Errno = 0;  // for CannotOpen and ReadError
};

// Called now and then with the bytes read so far and the file size; returning
// false cancels the reading (the records read so far are kept).
using tProgress = std::function<bool(uint64_t done, uint64_t total)>;

// The most records kept in memory: half of the physical memory at the
// memory a record takes in the viewer, at least 1,000,000.
uint64_t DefaultRecordLimit();

// Reads a capture file in pieces into `out` (cleared first). Whatever the
// outcome, `out` holds the records read until then.
sReadResult ReadCaptureFile(const std::string& path, sCaptureData& out, const tProgress& progress = {},
                            uint64_t maxRecords = DefaultRecordLimit());

// Whether the file can be opened for reading as a capture (a regular file).
sReadResult CheckCaptureFile(const std::string& path);

// Reads a capture file without keeping it: after each piece `take` gets the
// records parsed so far in `out` (and the counts), and empties its columns
// to keep the memory small; returning false stops the reading (Cancelled).
// Refuses what ReadCaptureFile refuses.
sReadResult ReadCaptureFileInPieces(const std::string& path, sCaptureData& out,
                                    const std::function<bool(sCaptureData&)>& take);

// Whether the file at `path` may differ from what `data` holds (changed in
// any way since; a file that is not there has nothing new): a cheap look
// before ReadMoreOfCaptureFile.
bool CaptureFileMayHaveChanged(const std::string& path, const sCaptureData& data);

// Reads what the file at `path` has gained since `data` was read from it
// (a capture still being recorded): new records are appended, and a last
// line that was cut is judged again with its rest. A file that is no longer
// the one read is read anew from its start (`restarted` set): another file
// moved or copied over it, or one that is shorter or whose bytes read so far
// changed.
sReadResult ReadMoreOfCaptureFile(const std::string& path, sCaptureData& data, bool& restarted,
                                  uint64_t maxRecords = DefaultRecordLimit());

}  // namespace Capture
