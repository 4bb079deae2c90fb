// The capture file (*.dat) of the visualisation screen: a header line of four
// quoted column names, then one line of four quoted numbers per polling cycle,
// CR LF line ends, six decimals with a point whatever the locale. Closing the
// file adds one line with the time it recorded, "\"SECONDS\" \"20.104000\""
// (from opening to closing, on a clock that no change of the system's time
// moves), so that a drive's duration is the drive's; older files have none,
// and older readers pass over it as one line that is not a record. Where the
// ECU was away (a loose connector) and the capture went on after it, a gap
// line in the same style, "\"GAP\" \"12.345678\"", stands before the first
// record after it with the seconds from the failure to that record (or before
// the time line, when the capture ended before the ECU was back): those
// seconds are part of the recorded time but of no record. Each record
// goes to the system as it is written, so a crash loses at most the record in
// hand, and a record that cannot be written whole (a full disk) is cut off
// again: the file always ends with a whole line.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

#include "link/Protocol.h"  // the live value numbers (eLive)

// One capture record: the live values as the link's conversions take them
// (TakeLiveValue).
struct sLiveSample {
    float TPSVolts = 0;     // throttle volts, not clamped
    float LambdaVolts = 0;  // lambda volts after the type clamp
    int32_t RPM = 0;
    int32_t ValvePos = 0;
};

// Which live values of the polling cycle in hand have come. A record holds
// the values of one cycle read since the link was last cut: a reconnection
// resumes the poll in the middle of a cycle, and values from before the drop
// must not fill its gaps. The capture writes a record at the cycle's last
// value only when Whole().
class cCycleValues {
public:
    // Live value k has come.
    void Take(int k);
    // Every value of the live poll has come since the start or the last Cut.
    bool Whole() const;
    // The link was cut: the values seen so far are of an older cycle.
    void Cut() { Seen = 0; }

private:
    unsigned Seen = 0;  // bit k: live value k
};

class cCaptureFile {
public:
    cCaptureFile() = default;
    ~cCaptureFile();
    cCaptureFile(const cCaptureFile&) = delete;
    cCaptureFile& operator=(const cCaptureFile&) = delete;

    // Creates or empties the file and writes the header. False (and stays
    // closed) when the file cannot be opened or the header not written
    // (WriteFailed tells the two apart; Error says why). Only a regular file
    // is taken (see RegularFile).
    bool Open(const std::string& path);
    // Why the last Open failed: RegularFile::NotRegular (a catalogue key) or
    // the system's text.
    const std::string& Error() const { return OpenError; }
    // Appends one record. False when it could not be written whole (a full
    // disk, a file size limit); errno then tells why, and the part that was
    // written is cut off again, so the file ends with the last whole record.
    // The file stays open.
    bool WriteRecord(const sLiveSample& sample);
    // Appends a gap line (the ECU was away for `seconds`), as WriteRecord.
    bool WriteGap(double seconds);
    // The last Open, WriteRecord or WriteGap failed while writing.
    bool WriteFailed() const { return WriteError; }
    // Adds the time line and closes the file: the seconds since Open, or
    // `seconds` when the caller knows better (those of its poll).
    void Close(double seconds = -1);
    bool IsOpen() const { return Fd >= 0; }

    static const char* Header();  // "\"TPS\" \"LAMBDA\" \"RPM\" \"VALVE\"\r\n"
    static std::string FormatRecord(const sLiveSample& sample);
    // The time line: "\"SECONDS\" \"20.104000\"\r\n".
    static std::string FormatTime(double seconds);
    // The gap line: "\"GAP\" \"12.345678\"\r\n".
    static std::string FormatGap(double seconds);
    // A number in fixed notation with six decimals and a point.
    static std::string FormatNumber(double value);

private:
    int Fd = -1;
    uint64_t Whole = 0;  // bytes up to the end of the last whole line written
    std::chrono::steady_clock::time_point Opened;
    bool WriteError = false;
    std::string OpenError;
    // Writes all of `data` at the end of the whole lines; on failure cuts
    // the file back to them. 0, or an errno value.
    int Append(const std::string& data);
    bool WriteLine(const std::string& line);
};
